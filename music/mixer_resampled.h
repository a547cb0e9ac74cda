// The mixer's resampling by the interpolations other than linear (which
// stays in mixer.cpp, exactly as the presentation has always played it):
// sample-and-hold, the 4-point cubic and the windowed sinc. A pass of a
// voice comes here with the position, step and gains the linear pass would
// use, and leaves with the same next position: only the values differ.
#pragma once

#include <cstddef>
#include <cstdint>

#include "resampling_kernels.h"
#include "sample_seams.h"

namespace intro_music::engine {

struct Sample;

// One output frame of a filter: the formula of FirKernel, read from `base`
// at a 32.32 position relative to it. Every path computes exactly this.
inline float firValue(const FirKernel& kernel, const int16_t* base, uint64_t position) {
    const int16_t* frames = base + (position >> 32) - (kernel.half - 1);
    const auto fraction = static_cast<uint32_t>(position);
    const int16_t* row = kernel.rows + static_cast<std::size_t>(fraction >> (32 - firPhaseBits)) * 2 * kernel.taps;
    constexpr uint32_t weightMask = (uint32_t{1} << firWeightBits) - 1;
    const auto weight = static_cast<int32_t>((fraction >> (32 - firPhaseBits - firWeightBits)) & weightMask);
    // Unsigned sums wrap exactly as the SIMD additions do (they never need to).
    uint32_t sum = 0;
    for (int32_t tap = 0; tap < kernel.taps; ++tap) {
        const int32_t coefficient = row[tap] + ((row[kernel.taps + tap] * weight + 0x4000) >> 15);
        sum += static_cast<uint32_t>(coefficient * frames[tap]);
    }
    return static_cast<float>(static_cast<int32_t>(sum)) * kernel.outputScale;
}

// A filter's loops over frames whose taps all lie in `base`: constant
// gains, or gains moving by a delta every frame (left in the gains after).
struct FirLoops {
    uint64_t (*steady)(const FirKernel& kernel, const int16_t* base, uint64_t position, uint64_t step, float* out,
                       int32_t frames, float leftGain, float rightGain);
    uint64_t (*ramp)(const FirKernel& kernel, const int16_t* base, uint64_t position, uint64_t step, float* out,
                     int32_t frames, float& leftGain, float& rightGain, float leftDelta, float rightDelta);
};
extern const FirLoops portableFirLoops;

// The gains of a pass: steady, or ramping by the deltas each frame.
struct PassGains {
    float left;
    float right;
    float leftDelta;
    float rightDelta;
    bool ramping;
};

// What a pass needs of its voice besides position and step.
struct ResampledVoice {
    const Sample* sample;
    SampleLoop loop;
    bool looped;  // the voice has passed its loop's end
};

// Mixes `frames` frames from `position` (32.32 frames of the sample),
// moving by signedStep (two's complement when going backward); returns the
// next position. The frames never reach past the pass's boundary, as in
// the linear pass.
uint64_t mixResampled(Interpolation mode, const FirLoops& loops, const ResampledVoice& voice, uint64_t position,
                      uint64_t signedStep, bool backward, float* out, int32_t frames, PassGains& gains);

}  // namespace intro_music::engine
