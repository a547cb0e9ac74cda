#include "mixer_avx2.h"

#if INTRO_MIXER_HAS_AVX2

#include <immintrin.h>

#include <bit>
#include <cstring>

#include "mixer_frame.h"
#include "mixer_resampled.h"
#include "song.h"

namespace intro_music::engine {

#define INTRO_AVX2 __attribute__((target("avx2")))
// The filters' helpers always inline: a call between them costs more than
// the few instructions each holds, and the longer filters grow past what the
// compiler otherwise inlines.
#define INTRO_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

namespace {

// A step of at most one frame keeps eight frames within nine sample frames.
constexpr uint64_t oneFrameStep = uint64_t{1} << mixFractionBits;

// The sample frames of eight output frames: for the positions
// p_k = position + k x step, k = 0..7, the frames d[i_k] (first) and
// d[i_k + 1] (second) and the fractions of p_k, i_k being p_k's frame index.
// The lanes hold the frames in the order 0, 1, 4, 5, 2, 3, 6, 7: one unpack
// per half then puts each frame's value beside itself in output order.
struct EightFrames {
    __m256i first;
    __m256i second;
    __m256i fractions;
};

// Steps of at most one frame keep the eight frames within d[i_0 .. i_0 + 8]:
// two loads and a permutation replace eight loads. i_0 lies before the end
// of the sample, so the loads stay inside the guard frames that follow it.
static_assert(sampleGuardFrames >= 8, "the eight-frame loads read up to 8 frames past a played frame");
struct NearFrames {
    // k x step as 64-bit lanes, frames 0 to 3 in one register and 4 to 7 in
    // the other: one shuffle per 128-bit half collects the upper or the
    // lower 32 bits of all eight in the lane order 0, 1, 4, 5, 2, 3, 6, 7.
    __m256i steps0123;
    __m256i steps4567;
};

INTRO_AVX2 inline NearFrames nearFrames(uint64_t step) {
    const auto times = [&](uint64_t frame) { return static_cast<long long>(frame * step); };
    return {_mm256_setr_epi64x(times(0), times(1), times(2), times(3)),
            _mm256_setr_epi64x(times(4), times(5), times(6), times(7))};
}

INTRO_AVX2 inline EightFrames readEight(NearFrames& reader, const int16_t* data, uint64_t position, uint64_t) {
    // The fraction of the position plus k x step: its lower 32 bits are the
    // fraction of p_k, its upper 32 bits i_k - i_0 (0..7).
    const __m256i start = _mm256_set1_epi64x(static_cast<long long>(static_cast<uint32_t>(position)));
    const __m256 a = _mm256_castsi256_ps(_mm256_add_epi64(start, reader.steps0123));
    const __m256 b = _mm256_castsi256_ps(_mm256_add_epi64(start, reader.steps4567));
    const __m256i offsets = _mm256_castps_si256(_mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)));
    const int16_t* base = data + (position >> mixFractionBits);
    const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base));      // d[i_0 .. i_0 + 7]
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + 1));  // d[i_0 + 1 .. i_0 + 8]
    return {_mm256_permutevar8x32_epi32(_mm256_cvtepi16_epi32(here), offsets),
            _mm256_permutevar8x32_epi32(_mm256_cvtepi16_epi32(next), offsets),
            _mm256_castps_si256(_mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)))};
}

// Longer steps: one load per frame. The fractions advance in their own
// lanes, modulo 2^32.
struct FarFrames {
    __m256i fractions;
    __m256i fractionStep;
};

INTRO_AVX2 inline FarFrames farFrames(uint64_t position, uint64_t step) {
    const auto at = [&](uint64_t frame) { return static_cast<int32_t>(position + frame * step); };
    return {_mm256_setr_epi32(at(0), at(1), at(4), at(5), at(2), at(3), at(6), at(7)),
            _mm256_set1_epi32(static_cast<int32_t>(8 * step))};
}

// The frame at a position and the one after it, as the low and high halves
// of one 32-bit load.
inline int32_t framePair(const int16_t* data, uint64_t position) {
    static_assert(std::endian::native == std::endian::little, "frame pairs are read little-endian");
    int32_t pair;
    std::memcpy(&pair, data + (position >> mixFractionBits), sizeof pair);
    return pair;
}

INTRO_AVX2 inline EightFrames readEight(FarFrames& reader, const int16_t* data, uint64_t position, uint64_t step) {
    const __m256i pairs = _mm256_setr_epi32(
        framePair(data, position), framePair(data, position + step), framePair(data, position + 4 * step),
        framePair(data, position + 5 * step), framePair(data, position + 2 * step),
        framePair(data, position + 3 * step), framePair(data, position + 6 * step),
        framePair(data, position + 7 * step));
    const __m256i fractions = reader.fractions;
    reader.fractions = _mm256_add_epi32(reader.fractions, reader.fractionStep);
    return {_mm256_srai_epi32(_mm256_slli_epi32(pairs, 16), 16), _mm256_srai_epi32(pairs, 16), fractions};
}

// interpolateFrame() for eight frames: s = d[i] + (d[i + 1] - d[i]) x w, w the
// upper 31 bits of the fraction x 2^-31.
INTRO_AVX2 inline __m256 interpolateEight(const EightFrames& frames) {
    const __m256 first = _mm256_cvtepi32_ps(frames.first);
    const __m256 second = _mm256_cvtepi32_ps(frames.second);
    const __m256 weight =
        _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_srli_epi32(frames.fractions, 1)), _mm256_set1_ps(mixWeightScale));
    return _mm256_add_ps(first, _mm256_mul_ps(_mm256_sub_ps(second, first), weight));
}

// out[2k] += s_k x left_k, out[2k + 1] += s_k x right_k for the eight frames
// (values in the lane order 0, 1, 4, 5, 2, 3, 6, 7), with the gains given as
// [left_0, right_0, left_1, ...] in two registers.
INTRO_AVX2 inline void addEight(float* out, __m256 values, __m256 gains0to3, __m256 gains4to7) {
    // [s0 s0 s1 s1 | s2 s2 s3 s3] and [s4 s4 s5 s5 | s6 s6 s7 s7]: frames 0-3 and 4-7 in output order.
    const __m256 frames0to3 = _mm256_unpacklo_ps(values, values);
    const __m256 frames4to7 = _mm256_unpackhi_ps(values, values);
    _mm256_storeu_ps(out, _mm256_add_ps(_mm256_loadu_ps(out), _mm256_mul_ps(frames0to3, gains0to3)));
    _mm256_storeu_ps(out + 8, _mm256_add_ps(_mm256_loadu_ps(out + 8), _mm256_mul_ps(frames4to7, gains4to7)));
}

// Constant gains: out += s x [left, right] for `octets` times eight frames.
template <typename Reader>
INTRO_AVX2 uint64_t steadyOctets(Reader reader, const int16_t* data, uint64_t position, uint64_t step, float*& out,
                                 int32_t octets, __m256 gains) {
    for (; octets > 0; --octets) {
        addEight(out, interpolateEight(readEight(reader, data, position, step)), gains, gains);
        position += 8 * step;
        out += 16;
    }
    return position;
}

// Ramping gains: gain = [left, right] of the next frame; each frame's gains
// are the previous frame's plus the deltas, one addition at a time as in the
// single-frame loop (the upper two lanes stay 0 and are never used). Gives
// the gains of eight frames as addEight() takes them and moves gain on.
// [left, right, 0, 0]. Built by an unpack: the compiler's own way to zero
// the upper half is a move encoding some instruction-set simulators (as
// valgrind, which the speed measurements use) do not know.
INTRO_AVX2_INLINE __m128 gainPair(float left, float right) {
    return _mm_unpacklo_ps(_mm_set_ss(left), _mm_set_ss(right));
}

struct RampGains {
    __m128 gain;
    __m128 delta;
    INTRO_AVX2 void nextEight(__m256& gains0to3, __m256& gains4to7) {
        __m128 frameGains[8];
        for (__m128& frameGain : frameGains) {
            frameGain = gain;
            gain = _mm_add_ps(gain, delta);
        }
        gains0to3 = _mm256_setr_m128(_mm_movelh_ps(frameGains[0], frameGains[1]),
                                     _mm_movelh_ps(frameGains[2], frameGains[3]));
        gains4to7 = _mm256_setr_m128(_mm_movelh_ps(frameGains[4], frameGains[5]),
                                     _mm_movelh_ps(frameGains[6], frameGains[7]));
    }
};

template <typename Reader>
INTRO_AVX2 uint64_t rampOctets(Reader reader, const int16_t* data, uint64_t position, uint64_t step, float*& out,
                               int32_t octets, RampGains& gains) {
    for (; octets > 0; --octets) {
        __m256 gains0to3;
        __m256 gains4to7;
        gains.nextEight(gains0to3, gains4to7);
        addEight(out, interpolateEight(readEight(reader, data, position, step)), gains0to3, gains4to7);
        position += 8 * step;
        out += 16;
    }
    return position;
}

// Sixteen taps of firValue()'s sum for one frame, as eight partial sums.
INTRO_AVX2_INLINE __m256i firSixteen(const int16_t* row, const int16_t* frames, __m256i weight, int32_t taps,
                                     int32_t tap) {
    const __m256i here = _mm256_load_si256(reinterpret_cast<const __m256i*>(row + tap));
    const __m256i toNext = _mm256_load_si256(reinterpret_cast<const __m256i*>(row + taps + tap));
    const __m256i coefficients = _mm256_add_epi16(here, _mm256_mulhrs_epi16(toNext, weight));
    const __m256i values = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(frames + tap));
    return _mm256_madd_epi16(coefficients, values);
}

// The filter's sum for one frame, as eight partial sums: firValue()'s
// coefficients, sixteen taps at a time, from the frame's coefficient row,
// its first tap's frame and its weight (in every 16-bit lane). Taps: the
// kernel's taps when known when compiled, else 0 and `taps` says.
template <int32_t Taps>
INTRO_AVX2_INLINE __m256i firPartialSums(const int16_t* row, const int16_t* frames, __m256i weight, int32_t taps) {
    if constexpr (Taps != 0) taps = Taps;
    __m256i sums = firSixteen(row, frames, weight, taps, 0);
    // Written out when the length is known: a loop of two to five keeps a counter and a copy each frame.
#pragma GCC unroll 8
    for (int32_t tap = 16; tap < taps; tap += 16) {
        sums = _mm256_add_epi32(sums, firSixteen(row, frames, weight, taps, tap));
    }
    return sums;
}

// Where frame k of eight sits in the lanes of a plan and of firEight().
constexpr int32_t laneOfFrame[8] = {0, 1, 4, 5, 2, 3, 6, 7};

// Where the filter reads for eight frames. Frame by frame, the row, the
// first tap and the weight cost more scalar work than the filter's own
// vector work, so they are worked out for eight frames at once in vector
// lanes and stored here, to be loaded back as each frame needs them.
struct alignas(32) FirOctet {
    // Frame k: [2k] its fraction, [2k + 1] its first tap's frame relative to
    // the first tap of the plan's first frame (only the latter is read).
    int32_t fractionsAndFrames[16];
    // In the lane order 0, 1, 4, 5, 2, 3, 6, 7: each frame's coefficient row
    // as a byte offset in the table, and its weight in both 16-bit halves.
    int32_t rowBytes[8];
    int32_t weights[8];
};

// A plan's weights as two registers, each half of one holding the weights of
// frames 0, 1, 4, 5 and of the other those of 2, 3, 6, 7: one in-lane
// shuffle then spreads a frame's weight over a whole register, where a
// broadcast from memory would take one more load per frame, and the loads
// are what the filter runs short of.
struct OctetWeights {
    __m256i frames0145;
    __m256i frames2367;
};

INTRO_AVX2_INLINE OctetWeights octetWeights(const FirOctet& plan) {
    const __m256i weights = _mm256_load_si256(reinterpret_cast<const __m256i*>(plan.weights));
    return {_mm256_permute4x64_epi64(weights, _MM_SHUFFLE(1, 0, 1, 0)),
            _mm256_permute4x64_epi64(weights, _MM_SHUFFLE(3, 2, 3, 2))};
}

template <int32_t Frame>
INTRO_AVX2_INLINE __m256i frameWeight(const OctetWeights& weights) {
    constexpr int32_t lane = laneOfFrame[Frame];
    constexpr int32_t index = lane % 4;
    return _mm256_shuffle_epi32(lane < 4 ? weights.frames0145 : weights.frames2367,
                                _MM_SHUFFLE(index, index, index, index));
}

// Plans eight frames from `low` and `high`: for k = 0..3 and 4..7, the
// 64-bit lanes hold the first frame's fraction plus k x step, whose lower
// half is frame k's fraction and whose upper half its frame offset.
template <int32_t Taps>
INTRO_AVX2_INLINE void planOctet(FirOctet& plan, __m256i low, __m256i high, int32_t taps) {
    auto* fractionsAndFrames = reinterpret_cast<__m256i*>(plan.fractionsAndFrames);
    _mm256_store_si256(fractionsAndFrames, low);
    _mm256_store_si256(fractionsAndFrames + 1, high);
    // The eight fractions in one register, frames 0, 1, 4, 5 in the low half.
    const __m256i fractions = _mm256_castps_si256(
        _mm256_shuffle_ps(_mm256_castsi256_ps(low), _mm256_castsi256_ps(high), _MM_SHUFFLE(2, 0, 2, 0)));
    const __m256i phases = _mm256_srli_epi32(fractions, 32 - firPhaseBits);
    constexpr auto stride = static_cast<uint32_t>(2 * Taps * sizeof(int16_t));
    __m256i rowBytes;
    if constexpr (Taps != 0 && std::has_single_bit(stride)) {
        rowBytes = _mm256_slli_epi32(phases, std::countr_zero(stride));
    } else {
        rowBytes = _mm256_mullo_epi32(phases, _mm256_set1_epi32(2 * taps * static_cast<int32_t>(sizeof(int16_t))));
    }
    _mm256_store_si256(reinterpret_cast<__m256i*>(plan.rowBytes), rowBytes);
    // The fraction's 15 bits below the phase, copied into both 16-bit halves.
    const __m256i doubled = _mm256_shuffle_epi8(
        _mm256_srli_epi32(fractions, 32 - firPhaseBits - firWeightBits),
        _mm256_setr_epi8(0, 1, 0, 1, 4, 5, 4, 5, 8, 9, 8, 9, 12, 13, 12, 13, 0, 1, 0, 1, 4, 5, 4, 5, 8, 9, 8, 9, 12,
                         13, 12, 13));
    _mm256_store_si256(reinterpret_cast<__m256i*>(plan.weights),
                       _mm256_and_si256(doubled, _mm256_set1_epi16((1 << firWeightBits) - 1)));
}

// One frame of a plan: firPartialSums() from its row, taps and weight.
template <int32_t Taps, int32_t Frame>
INTRO_AVX2_INLINE __m256i plannedSums(const FirOctet& plan, const OctetWeights& weights, const int16_t* rows,
                                      const int16_t* frames, int32_t taps) {
    const int16_t* row = reinterpret_cast<const int16_t*>(reinterpret_cast<const char*>(rows) +
                                                          plan.rowBytes[laneOfFrame[Frame]]);
    return firPartialSums<Taps>(row, frames + plan.fractionsAndFrames[2 * Frame + 1], frameWeight<Frame>(weights),
                                taps);
}

// The sums of frames `Frame` and `Frame + 1` of a plan, each lane now adding
// two of a frame's partial sums: [a0 + a2, b0 + b2, a1 + a3, b1 + b3] per
// half. Integer sums are exact in any order. Unpacks and additions rather
// than horizontal additions, which some processors run at a fraction of the
// speed; the pairs are added as they come, so few registers stay live.
template <int32_t Taps, int32_t Frame>
INTRO_AVX2_INLINE __m256i firPair(const FirOctet& plan, const OctetWeights& weights, const int16_t* rows,
                                  const int16_t* frames, int32_t taps) {
    const __m256i first = plannedSums<Taps, Frame>(plan, weights, rows, frames, taps);
    const __m256i second = plannedSums<Taps, Frame + 1>(plan, weights, rows, frames, taps);
    return _mm256_add_epi32(_mm256_unpacklo_epi32(first, second), _mm256_unpackhi_epi32(first, second));
}

// Two pairs' sums folded once more: [a, b, c, d] per half, each lane the sum
// of a quarter of its frame's taps (the low half of the register holding the
// sums of the low four of each eight).
INTRO_AVX2_INLINE __m256i foldPairs(__m256i pair, __m256i otherPair) {
    return _mm256_add_epi32(_mm256_unpacklo_epi64(pair, otherPair), _mm256_unpackhi_epi64(pair, otherPair));
}

// firValue() for the eight frames of a plan, `frames` pointing at the first
// tap of the plan's first frame, in the lane order 0, 1, 4, 5, 2, 3, 6, 7.
template <int32_t Taps>
INTRO_AVX2_INLINE __m256 firEight(const FirOctet& plan, const int16_t* rows, const int16_t* frames, int32_t taps,
                                  __m256 scale) {
    // Frames 0, 1, 4, 5 in one register and 2, 3, 6, 7 in the other, each
    // half holding the sums of one half of the taps' partial sums.
    const OctetWeights weights = octetWeights(plan);
    const __m256i first = foldPairs(firPair<Taps, 0>(plan, weights, rows, frames, taps),
                                    firPair<Taps, 4>(plan, weights, rows, frames, taps));
    const __m256i second = foldPairs(firPair<Taps, 2>(plan, weights, rows, frames, taps),
                                     firPair<Taps, 6>(plan, weights, rows, frames, taps));
    const __m256i whole = _mm256_add_epi32(_mm256_permute2x128_si256(first, second, 0x20),
                                           _mm256_permute2x128_si256(first, second, 0x31));
    return _mm256_mul_ps(_mm256_cvtepi32_ps(whole), scale);
}

// firPartialSums() of the frame at `position`, its row, first tap and
// weight worked out on the spot.
template <int32_t Taps>
INTRO_AVX2_INLINE __m256i directSums(const FirKernel& kernel, const int16_t* base, uint64_t position, int32_t taps) {
    const int16_t* frames = base + (position >> mixFractionBits) - (taps / 2 - 1);
    const auto fraction = static_cast<uint32_t>(position);
    const int16_t* row = kernel.rows + static_cast<size_t>(fraction >> (32 - firPhaseBits)) * 2 * taps;
    constexpr uint32_t weightMask = (uint32_t{1} << firWeightBits) - 1;
    const __m256i weight =
        _mm256_set1_epi16(static_cast<int16_t>((fraction >> (32 - firPhaseBits - firWeightBits)) & weightMask));
    return firPartialSums<Taps>(row, frames, weight, taps);
}

// firPair() and firEight() for a pass of a single octet, each frame worked
// out on the spot: there the plan's store and reload would lie on the way
// from the position to the sums, with nothing else to do meanwhile.
template <int32_t Taps>
INTRO_AVX2_INLINE __m256i directPair(const FirKernel& kernel, const int16_t* base, uint64_t position, uint64_t step,
                                     int32_t taps) {
    const __m256i one = directSums<Taps>(kernel, base, position, taps);
    const __m256i other = directSums<Taps>(kernel, base, position + step, taps);
    return _mm256_add_epi32(_mm256_unpacklo_epi32(one, other), _mm256_unpackhi_epi32(one, other));
}

template <int32_t Taps>
INTRO_AVX2_INLINE __m256 directEight(const FirKernel& kernel, const int16_t* base, uint64_t position, uint64_t step,
                                     int32_t taps, __m256 scale) {
    const __m256i first = foldPairs(directPair<Taps>(kernel, base, position, step, taps),
                                    directPair<Taps>(kernel, base, position + 4 * step, step, taps));
    const __m256i second = foldPairs(directPair<Taps>(kernel, base, position + 2 * step, step, taps),
                                     directPair<Taps>(kernel, base, position + 6 * step, step, taps));
    const __m256i whole = _mm256_add_epi32(_mm256_permute2x128_si256(first, second, 0x20),
                                           _mm256_permute2x128_si256(first, second, 0x31));
    return _mm256_mul_ps(_mm256_cvtepi32_ps(whole), scale);
}

// Constant gains for a filter's eight frames.
struct SteadyFirGains {
    __m256 gains;
    INTRO_AVX2 void add(float* out, __m256 values) { addEight(out, values, gains, gains); }
};

// Ramping gains for a filter's eight frames.
struct RampFirGains {
    RampGains ramp;
    INTRO_AVX2 void add(float* out, __m256 values) {
        __m256 gains0to3;
        __m256 gains4to7;
        ramp.nextEight(gains0to3, gains4to7);
        addEight(out, values, gains0to3, gains4to7);
    }
};

// firValue() for one frame: the frames after the last whole eight.
template <int32_t Taps>
INTRO_AVX2_INLINE float firOne(const FirKernel& kernel, const int16_t* base, uint64_t position, int32_t taps) {
    const __m256i sums = directSums<Taps>(kernel, base, position, taps);
    __m128i half = _mm_add_epi32(_mm256_castsi256_si128(sums), _mm256_extracti128_si256(sums, 1));
    half = _mm_add_epi32(half, _mm_shuffle_epi32(half, _MM_SHUFFLE(1, 0, 3, 2)));
    half = _mm_add_epi32(half, _mm_shuffle_epi32(half, _MM_SHUFFLE(2, 3, 0, 1)));
    return static_cast<float>(_mm_cvtsi128_si32(half)) * kernel.outputScale;
}

// Octets planned at a time: a few kilobytes of stack at most, and frame
// offsets far inside 32 bits at the largest step (2^16 frames).
constexpr int32_t plannedOctets = 8;

// The filter over `octets` times eight frames. The plans of a group are all
// stored before the first is read, so no load waits on the store just made.
template <int32_t Taps, typename Gains>
INTRO_AVX2_INLINE uint64_t firOctets(const FirKernel& kernel, const int16_t* base, uint64_t position, uint64_t step,
                                     float*& out, int32_t octets, Gains& gains) {
    if (octets == 0) return position;
    const int32_t taps = Taps != 0 ? Taps : kernel.taps;
    const auto times = [step](uint64_t frame) { return static_cast<long long>(frame * step); };
    const __m256i steps0123 = _mm256_setr_epi64x(times(0), times(1), times(2), times(3));
    const __m256i steps4567 = _mm256_setr_epi64x(times(4), times(5), times(6), times(7));
    const __m256i octetStep = _mm256_set1_epi64x(times(8));
    const __m256 scale = _mm256_set1_ps(kernel.outputScale);
    const int16_t* const rows = kernel.rows;
    // Kept in a register: the stores to the output could otherwise be the caller's pointer.
    float* cursor = out;
    if (octets == 1) {
        gains.add(cursor, directEight<Taps>(kernel, base, position, step, taps, scale));
        out = cursor + 16;
        return position + 8 * step;
    }
    FirOctet plans[plannedOctets];
    while (octets > 0) {
        const int32_t count = octets < plannedOctets ? octets : plannedOctets;
        const __m256i start = _mm256_set1_epi64x(static_cast<long long>(static_cast<uint32_t>(position)));
        __m256i low = _mm256_add_epi64(start, steps0123);
        __m256i high = _mm256_add_epi64(start, steps4567);
        for (int32_t octet = 0; octet < count; ++octet) {
            planOctet<Taps>(plans[octet], low, high, taps);
            low = _mm256_add_epi64(low, octetStep);
            high = _mm256_add_epi64(high, octetStep);
        }
        const int16_t* frames = base + (position >> mixFractionBits) - (taps / 2 - 1);
        for (int32_t octet = 0; octet < count; ++octet) {
            gains.add(cursor, firEight<Taps>(plans[octet], rows, frames, taps, scale));
            cursor += 16;
        }
        position += static_cast<uint64_t>(count) * 8 * step;
        octets -= count;
    }
    out = cursor;
    return position;
}

// The filter over `frames` frames: the whole octets added to the output
// with `gains`, the values of the frames after them left in `tail` for the
// caller to add one by one.
template <int32_t Taps, typename Gains>
INTRO_AVX2 uint64_t firFrames(const FirKernel& kernel, const int16_t* base, uint64_t position, uint64_t step,
                              float*& out, int32_t frames, Gains& gains, float* tail) {
    position = firOctets<Taps>(kernel, base, position, step, out, frames >> 3, gains);
    const int32_t taps = Taps != 0 ? Taps : kernel.taps;
    for (int32_t frame = 0; frame < (frames & 7); ++frame) {
        tail[frame] = firOne<Taps>(kernel, base, position, taps);
        position += step;
    }
    return position;
}

// The lengths the filters have (16 taps up to a step of one frame, 32 to 80
// above it), each compiled with its length fixed.
template <typename Gains>
INTRO_AVX2 uint64_t firFramesOfAnyLength(const FirKernel& kernel, const int16_t* base, uint64_t position,
                                         uint64_t step, float*& out, int32_t frames, Gains& gains, float* tail) {
    switch (kernel.taps) {
        case 16:
            return firFrames<16>(kernel, base, position, step, out, frames, gains, tail);
        case 32:
            return firFrames<32>(kernel, base, position, step, out, frames, gains, tail);
        case 48:
            return firFrames<48>(kernel, base, position, step, out, frames, gains, tail);
        case 64:
            return firFrames<64>(kernel, base, position, step, out, frames, gains, tail);
        case 80:
            return firFrames<80>(kernel, base, position, step, out, frames, gains, tail);
        default:
            return firFrames<0>(kernel, base, position, step, out, frames, gains, tail);
    }
}

// Filters whose taps are not a multiple of 16 (the cubic) use the portable loops.
INTRO_AVX2 uint64_t firSteadyAvx2(const FirKernel& kernel, const int16_t* base, uint64_t position, uint64_t step,
                                  float* out, int32_t frames, float leftGain, float rightGain) {
    if (kernel.taps % 16 != 0) {
        return portableFirLoops.steady(kernel, base, position, step, out, frames, leftGain, rightGain);
    }
    SteadyFirGains gains{_mm256_setr_ps(leftGain, rightGain, leftGain, rightGain, leftGain, rightGain, leftGain,
                                        rightGain)};
    float tail[7];
    position = firFramesOfAnyLength(kernel, base, position, step, out, frames, gains, tail);
    for (int32_t frame = 0; frame < (frames & 7); ++frame) {
        out[0] += tail[frame] * leftGain;
        out[1] += tail[frame] * rightGain;
        out += 2;
    }
    return position;
}

INTRO_AVX2 uint64_t firRampAvx2(const FirKernel& kernel, const int16_t* base, uint64_t position, uint64_t step,
                                float* out, int32_t frames, float& leftGain, float& rightGain, float leftDelta,
                                float rightDelta) {
    if (kernel.taps % 16 != 0) {
        return portableFirLoops.ramp(kernel, base, position, step, out, frames, leftGain, rightGain, leftDelta,
                                     rightDelta);
    }
    RampFirGains gains{{gainPair(leftGain, rightGain), gainPair(leftDelta, rightDelta)}};
    float tail[7];
    position = firFramesOfAnyLength(kernel, base, position, step, out, frames, gains, tail);
    const __m128 gain = gains.ramp.gain;
    float left = _mm_cvtss_f32(gain);
    float right = _mm_cvtss_f32(_mm_shuffle_ps(gain, gain, _MM_SHUFFLE(1, 1, 1, 1)));
    for (int32_t frame = 0; frame < (frames & 7); ++frame) {
        out[0] += tail[frame] * left;
        out[1] += tail[frame] * right;
        out += 2;
        left += leftDelta;
        right += rightDelta;
    }
    leftGain = left;
    rightGain = right;
    return position;
}

}  // namespace

const FirLoops avx2FirLoops{firSteadyAvx2, firRampAvx2};

bool cpuRunsAvx2() {
    // Also checks that the operating system saves the 256-bit registers.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

INTRO_AVX2 uint64_t mixSteadyAvx2(const int16_t* data, uint64_t position, uint64_t step, float* out,
                                  int32_t frames, float leftGain, float rightGain) {
    const __m256 gains = _mm256_setr_ps(leftGain, rightGain, leftGain, rightGain, leftGain, rightGain, leftGain,
                                        rightGain);
    const int32_t octets = frames >> 3;
    position = step <= oneFrameStep
                   ? steadyOctets(nearFrames(step), data, position, step, out, octets, gains)
                   : steadyOctets(farFrames(position, step), data, position, step, out, octets, gains);
    for (int32_t frame = 0; frame < (frames & 7); ++frame) {
        position = mixOneFrame(data, position, step, out, leftGain, rightGain);
        out += 2;
    }
    return position;
}

INTRO_AVX2 uint64_t mixRampAvx2(const int16_t* data, uint64_t position, uint64_t step, float* out,
                                int32_t frames, float& leftGain, float& rightGain, float leftDelta,
                                float rightDelta) {
    RampGains gains{gainPair(leftGain, rightGain), gainPair(leftDelta, rightDelta)};
    const int32_t octets = frames >> 3;
    position = step <= oneFrameStep
                   ? rampOctets(nearFrames(step), data, position, step, out, octets, gains)
                   : rampOctets(farFrames(position, step), data, position, step, out, octets, gains);
    const __m128 gain = gains.gain;
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

INTRO_AVX2 int32_t convertToPcm16Avx2(int16_t* pcm, const float* input, int32_t count, float lowest,
                                      float highest) {
    const __m256 low = _mm256_set1_ps(lowest);
    const __m256 high = _mm256_set1_ps(highest);
    int32_t index = 0;
    for (; index + 16 <= count; index += 16) {
        // max(value, lowest) gives lowest for NaN, as the other paths do.
        const __m256 first = _mm256_min_ps(_mm256_max_ps(_mm256_loadu_ps(input + index), low), high);
        const __m256 second = _mm256_min_ps(_mm256_max_ps(_mm256_loadu_ps(input + index + 8), low), high);
        // The pack works per 128-bit half: put the quarters back in order.
        const __m256i packed = _mm256_packs_epi32(_mm256_cvtps_epi32(first), _mm256_cvtps_epi32(second));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(pcm + index),
                            _mm256_permute4x64_epi64(packed, _MM_SHUFFLE(3, 1, 2, 0)));
    }
    return index;
}

}  // namespace intro_music::engine

#endif
