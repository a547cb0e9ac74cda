// Instrument envelopes (volume and panning), the fade-out of released notes
// and the instrument's automatic vibrato, stepped once per tick.
#pragma once

#include <cstdint>

#include "music_channel.h"
#include "song.h"

namespace intro_music::engine {

inline constexpr int32_t envelopeFractionBits = 16;  // envelope values are 16.16 fixed point
inline constexpr int32_t fullEnvelopeVolume = 64;
inline constexpr int32_t centreEnvelopePanning = 32;
inline constexpr int32_t fullFadeoutVolume = 65536;

// Advances one envelope by one tick: holds at the sustain point until the
// note is released, jumps from the loop end to the loop start, and stops at
// the last point. The references point into the channel's state of that
// envelope; updateBit is set in the channel's updateFlags when it moves.
void envelopeStep(MusicChannel& channel, int32_t& point, int32_t& tick, uint8_t flags, uint8_t pointCount,
                  const EnvelopePoint* points, uint8_t loopEnd, uint8_t loopStart, uint8_t sustainPoint,
                  int32_t& output, int32_t& value, uint8_t& finished, int32_t& slope, uint8_t updateBit);

// Steps both envelopes and the fade-out of a channel; with silenceReleased
// (the first tick of a row) a released note without volume envelope goes silent.
void stepEnvelopesAndFadeout(MusicChannel& channel, const Instrument& instrument, bool silenceReleased);

// Adds this tick's instrument vibrato to periodOffset and moves it on.
void autoVibratoStep(MusicChannel& channel, const Instrument& instrument, const PlaybackRules& rules);

// Move the volume or the panning envelope to a given envelope time (when it is on).
void setVolumeEnvelopePosition(MusicChannel& channel, const Instrument& instrument, int32_t position);
void setPanningEnvelopePosition(MusicChannel& channel, const Instrument& instrument, int32_t position);

}  // namespace intro_music::engine
