// The interpolation filters the mixer resamples voices with, other than the
// linear one: polyphase FIR tables in 16-bit fixed point. Every table is
// worked out from scratch with additions, multiplications, divisions and
// square roots only (no library sine or Bessel function), so every platform
// builds the same coefficients and renders the same bytes.
#pragma once

#include <cstdint>

namespace intro_music::engine {

// How a module's voices are resampled. Zero is linear, the presentation's
// sound; the others are chosen per module.
enum class Interpolation : uint8_t { Linear = 0, Nearest, Cubic, Sinc };

// The fraction's upper 8 bits choose one of 256 phases; the next 15 bits
// weigh the step from that phase's coefficients to the next one's.
inline constexpr int firPhaseBits = 8;
inline constexpr int firPhaseCount = 1 << firPhaseBits;
inline constexpr int firWeightBits = 15;
// The longest filter reaches this many frames to either side of a position.
inline constexpr int firLongestHalf = 48;

// One filter. Frame i + f (0 <= f < 1) of a voice is, with p the phase of f
// and w its 15-bit weight (0..32767):
//   c[t] = c0[p][t] + ((dc[p][t] x w + 2^14) >> 15)     (16-bit, rounded)
//   value = float(sum over t of c[t] x d[i - half + 1 + t]) x outputScale
// The sum is an exact 32-bit integer (the coefficient sums are bounded so
// that no 16-bit input overflows it), so any order of adding gives the same
// bits: SIMD and scalar paths agree exactly.
struct FirKernel {
    int32_t taps;  // a multiple of 4; a multiple of 16 for the windowed sincs
    int32_t half;  // taps / 2
    // firPhaseCount rows of 2 x taps values: c0 (the phase's coefficients),
    // then dc (the next phase's minus this one's). 64-byte aligned.
    const int16_t* rows;
    float outputScale;  // 1 / the coefficients' fixed-point one
};

// The 4-point cubic (Catmull-Rom) filter.
const FirKernel& cubicKernel();
// The windowed sinc for a voice stepping `step` frames (32.32) per output
// frame: one cutoff at the sample's own Nyquist frequency up to a step of
// one frame, a cutoff that follows the step above it (an anti-alias filter).
const FirKernel& sincKernel(uint64_t step);

}  // namespace intro_music::engine
