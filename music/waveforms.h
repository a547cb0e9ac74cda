// Waveform values of the vibrato, tremolo and auto-vibrato generators.
#pragma once

#include <cstdint>

namespace intro_music::engine {

// Vibrato and tremolo positions run over -32..31 (one period).
inline constexpr int32_t waveformPositionCount = 64;
inline constexpr int32_t waveformPositionMaximum = 31;

// Sine magnitude 0..255 at a vibrato/tremolo position (any value; taken modulo 64).
int32_t sineWaveValue(int32_t position);
// Ramp value 0..255 at a vibrato/tremolo position (any value; taken modulo 64).
int32_t rampWaveValue(int32_t position);
// The ramp at `position`, turned over in the half of the wave that
// `turnPosition` is in (rampWaveValue uses the position itself).
int32_t rampWaveValueTurnedBy(int32_t position, int32_t turnPosition);

// Auto-vibrato positions run over 0..255 (one period).
inline constexpr int32_t autoVibratoPositionCount = 256;

// Signed auto-vibrato value -64..64 of an instrument's waveform type at a
// position 0..255; types without a waveform give 0.
int32_t autoVibratoWaveValue(int32_t type, int32_t position);
// The tracker's auto-vibrato waveforms (-64..64) at a position 0..255:
// sine and ramps start downwards, the square starts low.
int32_t trackerAutoVibratoWaveValue(int32_t type, int32_t position);

}  // namespace intro_music::engine
