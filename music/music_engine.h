// Everything the playback of one song needs besides the song itself: the
// replayer's channel table, the mixer's voice table and where the block fill
// writes. Whoever plays a song (live playback, an offline render) owns one
// engine; engines share nothing, so several songs can play at the same time
// in one process, each on its own engine.
#pragma once

#include "mixer.h"
#include "mixer_voice.h"
#include "music_channel.h"

namespace intro_music::engine {

struct MusicEngine {
    MusicChannel channels[maxChannels];
    MixerVoice voices[voiceTableSize];
    MixerOutput output;
    void* driver;  // whoever drives the engine, for its tick handler; may stay null
    // Per pattern channel, a factor on what its voices add to the mix; null
    // (the default) leaves every channel as it is. Set by whoever drives.
    const float* channelGains;
    // Set by the tick handler to end the block being mixed where its tick
    // starts (a pass ends there, or its driver wants a say before the tick's
    // frames); mixFrames clears it.
    bool endBlockAfterTick;
};

}  // namespace intro_music::engine
