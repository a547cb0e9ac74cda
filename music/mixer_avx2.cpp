#include "mixer_avx2.h"

#if INTRO_MIXER_HAS_AVX2

#include <immintrin.h>

#include <bit>
#include <cstring>

#include "mixer_frame.h"

#define INTRO_AVX2 __attribute__((target("avx2")))

namespace {

// The frame at a position and the one after it, as the low and high halves
// of one 32-bit load.
inline int32_t framePair(const int16_t* data, uint64_t position) {
    static_assert(std::endian::native == std::endian::little, "frame pairs are read little-endian");
    int32_t pair;
    std::memcpy(&pair, data + (position >> mixFractionBits), sizeof pair);
    return pair;
}

// interpolateFrame() for the eight positions position + k x step, k = 0..7:
// s = d[p] + (d[p + 1] - d[p]) x w. The fractions come in their own lanes,
// advancing modulo 2^32.
INTRO_AVX2 inline __m256 interpolateEight(const int16_t* data, uint64_t position, uint64_t step,
                                          __m256i fractions) {
    const __m256i pairs = _mm256_setr_epi32(
        framePair(data, position), framePair(data, position + step), framePair(data, position + 2 * step),
        framePair(data, position + 3 * step), framePair(data, position + 4 * step),
        framePair(data, position + 5 * step), framePair(data, position + 6 * step),
        framePair(data, position + 7 * step));
    const __m256 first = _mm256_cvtepi32_ps(_mm256_srai_epi32(_mm256_slli_epi32(pairs, 16), 16));
    const __m256 second = _mm256_cvtepi32_ps(_mm256_srai_epi32(pairs, 16));
    const __m256 weight =
        _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_srli_epi32(fractions, 1)), _mm256_set1_ps(mixWeightScale));
    return _mm256_add_ps(first, _mm256_mul_ps(_mm256_sub_ps(second, first), weight));
}

// The fractions of position + k x step, k = 0..7.
INTRO_AVX2 inline __m256i eightFractions(uint64_t position, uint64_t step) {
    const auto at = [&](uint64_t frame) { return static_cast<int32_t>(position + frame * step); };
    return _mm256_setr_epi32(at(0), at(1), at(2), at(3), at(4), at(5), at(6), at(7));
}

// out[2k] += s_k x left_k, out[2k + 1] += s_k x right_k for the eight frames,
// with the gains given as [left_0, right_0, left_1, ...] in two registers.
INTRO_AVX2 inline void addEight(float* out, __m256 values, __m256 gains0to3, __m256 gains4to7) {
    // [s0 s0 s1 s1 | s4 s4 s5 s5] and [s2 s2 s3 s3 | s6 s6 s7 s7], then frames 0-3 and 4-7 in output order.
    const __m256 low = _mm256_unpacklo_ps(values, values);
    const __m256 high = _mm256_unpackhi_ps(values, values);
    const __m256 frames0to3 = _mm256_permute2f128_ps(low, high, 0x20);
    const __m256 frames4to7 = _mm256_permute2f128_ps(low, high, 0x31);
    _mm256_storeu_ps(out, _mm256_add_ps(_mm256_loadu_ps(out), _mm256_mul_ps(frames0to3, gains0to3)));
    _mm256_storeu_ps(out + 8, _mm256_add_ps(_mm256_loadu_ps(out + 8), _mm256_mul_ps(frames4to7, gains4to7)));
}

}  // namespace

bool cpuRunsAvx2() {
    // Also checks that the operating system saves the 256-bit registers.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

INTRO_AVX2 uint64_t mixSteadyAvx2(const int16_t* data, uint64_t position, uint64_t step, float* out,
                                  int32_t frames, float leftGain, float rightGain) {
    const __m256 gains = _mm256_setr_ps(leftGain, rightGain, leftGain, rightGain, leftGain, rightGain, leftGain,
                                        rightGain);
    __m256i fractions = eightFractions(position, step);
    const __m256i fractionStep = _mm256_set1_epi32(static_cast<int32_t>(8 * step));
    for (int32_t octet = frames >> 3; octet > 0; --octet) {
        addEight(out, interpolateEight(data, position, step, fractions), gains, gains);
        fractions = _mm256_add_epi32(fractions, fractionStep);
        position += 8 * step;
        out += 16;
    }
    for (int32_t frame = 0; frame < (frames & 7); ++frame) {
        position = mixOneFrame(data, position, step, out, leftGain, rightGain);
        out += 2;
    }
    return position;
}

INTRO_AVX2 uint64_t mixRampAvx2(const int16_t* data, uint64_t position, uint64_t step, float* out,
                                int32_t frames, float& leftGain, float& rightGain, float leftDelta,
                                float rightDelta) {
    // [left, right] of the next frame; each frame's gains are the previous
    // frame's plus the deltas, one addition at a time as in the single-frame
    // loop (the upper two lanes stay 0 and are never used).
    __m128 gain = _mm_setr_ps(leftGain, rightGain, 0.0f, 0.0f);
    const __m128 delta = _mm_setr_ps(leftDelta, rightDelta, 0.0f, 0.0f);
    __m256i fractions = eightFractions(position, step);
    const __m256i fractionStep = _mm256_set1_epi32(static_cast<int32_t>(8 * step));
    for (int32_t octet = frames >> 3; octet > 0; --octet) {
        __m128 frameGains[8];
        for (__m128& frameGain : frameGains) {
            frameGain = gain;
            gain = _mm_add_ps(gain, delta);
        }
        const __m256 gains0to3 = _mm256_setr_m128(_mm_movelh_ps(frameGains[0], frameGains[1]),
                                                  _mm_movelh_ps(frameGains[2], frameGains[3]));
        const __m256 gains4to7 = _mm256_setr_m128(_mm_movelh_ps(frameGains[4], frameGains[5]),
                                                  _mm_movelh_ps(frameGains[6], frameGains[7]));
        addEight(out, interpolateEight(data, position, step, fractions), gains0to3, gains4to7);
        fractions = _mm256_add_epi32(fractions, fractionStep);
        position += 8 * step;
        out += 16;
    }
    float left = _mm_cvtss_f32(gain);
    float right = _mm_cvtss_f32(_mm_shuffle_ps(gain, gain, _MM_SHUFFLE(1, 1, 1, 1)));
    for (int32_t frame = 0; frame < (frames & 7); ++frame) {
        position = mixOneFrame(data, position, step, out, left, right);
        out += 2;
        left += leftDelta;
        right += rightDelta;
    }
    leftGain = left;
    rightGain = right;
    return position;
}

#endif
