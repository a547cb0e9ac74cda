// Starting and stopping playback of a loaded song: the sound device, the
// 100-block output ring and the audio thread that keeps it filled. Each
// Playback owns its own engine, device and thread; the caller owns the
// Playback.
#pragma once

#include <memory>

namespace intro_music::engine {

struct Song;
struct Playback;

// A stopped playback; null when memory runs out.
Playback* createPlayback();
// Stops the playback and releases it; null is ignored.
void destroyPlayback(Playback* playback);

struct PlaybackDeleter {
    void operator()(Playback* playback) const { destroyPlayback(playback); }
};
using PlaybackPointer = std::unique_ptr<Playback, PlaybackDeleter>;

// Restarts the song from its beginning: stops any running playback, resets
// the voices and the song, pre-mixes the whole ring on the calling thread,
// starts the device and the audio thread. False for a null playback or song,
// when the file callbacks are not all registered, when no device can be
// opened or when no thread can be created; a failed start leaves nothing open.
bool startPlayback(Playback* playback, Song* song);
// Stops whatever is playing and joins the audio thread. False only for null.
bool stopPlayback(Playback* playback, Song* song);
// True while the audio thread is inside a block fill.
bool playbackMixingNow(const Playback* playback);

}  // namespace intro_music::engine
