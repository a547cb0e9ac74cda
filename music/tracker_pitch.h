// The tracker's own pitch arithmetic: its Amiga periods (interpolated between
// the 8 finetune steps of its period table), its arpeggio note search over
// its note table (16 steps a semitone) and its period to frequency
// conversion, which keeps the fraction of a hertz.
#pragma once

#include <cstdint>

namespace intro_music::engine {

// Lowest and highest period a slide leaves on a channel.
inline constexpr int32_t trackerMinimumPeriod = 1;
inline constexpr int32_t trackerMaximumPeriod = 31999;

// Period of a 0-based note (relative note included) with a finetune -128..127.
// The tracker's note table has 16 steps a semitone, so it loses the
// finetune's lowest three bits; keepFinetuneLowBits plays them, as songs saved
// by a program that played them expect.
int32_t trackerNotePeriod(bool linear, int32_t note, int32_t finetune, bool keepFinetuneLowBits);

// The arpeggio's period: the note nearest the (possibly slid) period, moved
// up by `semitones`, never above the tracker's cap near note 96. With
// keepFinetuneLowBits the notes keep the finetune's lowest bits, as above.
int32_t trackerArpeggioPeriod(bool linear, int32_t period, int32_t finetune, int32_t semitones,
                              bool keepFinetuneLowBits);

// Playback rate in Hz of a period; 0 for a period that gives no pitch. The
// period is the tracker's 16-bit value: a slide past it wraps, and linear
// periods beyond its 12 octaves wrap round its octave shift.
double trackerFrequency(bool linear, int32_t period);

}  // namespace intro_music::engine
