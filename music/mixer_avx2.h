// The mixer's eight-frame loops for CPUs with AVX2. They are compiled for
// AVX2 function by function, so the rest of the program still runs on any
// x86 CPU; the mixer calls them only after asking the CPU.
#pragma once

#include <cstdint>

namespace intro_music::engine {

// Only on x86 outside Windows: GCC does not keep the 32-byte stack alignment
// that spilled AVX registers need on Windows.
#if (defined(__x86_64__) || defined(__i386__)) && !defined(_WIN32) && defined(__GNUC__)
#define INTRO_MIXER_HAS_AVX2 1
#else
#define INTRO_MIXER_HAS_AVX2 0
#endif

#if INTRO_MIXER_HAS_AVX2
struct FirLoops;
// The interpolation filters' loops (mixer_resampled.h), eight frames at a time.
extern const FirLoops avx2FirLoops;

// True when the CPU and the operating system run AVX2 code.
bool cpuRunsAvx2();

// Constant gains; returns the position after the pass.
uint64_t mixSteadyAvx2(const int16_t* data, uint64_t position, uint64_t step, float* out, int32_t frames,
                       float leftGain, float rightGain);
// Gains that move by a fixed delta every frame; leaves the gains of the
// frame after the pass in leftGain and rightGain.
uint64_t mixRampAvx2(const int16_t* data, uint64_t position, uint64_t step, float* out, int32_t frames,
                     float& leftGain, float& rightGain, float leftDelta, float rightDelta);
// Converts whole groups of sixteen values to 16-bit as the SSE2 and scalar
// conversion does (clamped, rounded half to even); returns how many it did.
int32_t convertToPcm16Avx2(int16_t* pcm, const float* input, int32_t count, float lowest, float highest);
#endif

}  // namespace intro_music::engine
