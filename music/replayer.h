// Advances a song tick by tick and hands channel state to the mixer voices.
#pragma once

#include <cstdint>

#include "music_channel.h"
#include "song.h"

namespace intro_music::engine {

struct MusicEngine;

// The song's tick handler: row on tick 0, effects on later ticks, on the
// channels and voices of the engine that plays the song.
void replayTick(MusicEngine& engine, Song* song);
void processRow(MusicEngine& engine, Song* song);
void processTickEffects(MusicEngine& engine, Song* song);

// Amiga-mode period of a 0-based note (0..255) with a finetune (-128..127).
int32_t amigaPeriod(int32_t note, int32_t finetune);
// Linear-mode period.
int32_t linearPeriod(int32_t note, int32_t finetune);

void resetChannel(MusicChannel* channel, const Sample* sample);
// The two halves of resetChannel: volume and panning from the sample, and
// envelopes, fade-out, key-off, auto-vibrato and waveform positions restarted.
void resetVolumeAndPanning(MusicChannel& channel, const Sample* sample);
void restartEnvelopes(MusicChannel& channel);
// Releases the channel's note (see PlaybackRules::keyOffCutsVolume).
void releaseNote(MusicChannel& channel, const Instrument& instrument, const Song& song);
// Starts a 0-based note on the channel's instrument from its beginning, at
// the sample's finetune. False (nothing changes) when the note is not playable.
bool restartNote(Song* song, MusicChannel& channel, uint8_t note);
// The channel's voice must be one of the engine's voices.
void applyChannelToVoice(MusicEngine& engine, MusicChannel* channel, Sample* sample, Song* song);

// Resets the play state of the song and the engine's first channelCount
// channels (channel c bound to voice c); used by every start of playback.
void resetSongPlayState(MusicEngine& engine, Song* song);
// The reset every start from the beginning goes through: every voice of the
// engine silent, the song's play state and its channels as at its first row,
// and every sample's finetune as loaded (set-finetune changes it in play).
void prepareSongStart(MusicEngine& engine, Song* song);

}  // namespace intro_music::engine
