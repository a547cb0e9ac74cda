// Starting and stopping playback of a loaded song: the sound device, the
// 100-block output ring and the audio thread that keeps it filled.
#pragma once

struct Song;

// Restarts the song from its beginning: stops any running playback, resets
// the voices and the song, pre-mixes the whole ring on the calling thread,
// starts the device and the audio thread. False for a null song, when the
// file callbacks are not all registered, when no device can be opened or
// when no thread can be created; a failed start leaves nothing open.
bool startPlayback(Song* song);
// Stops whatever is playing and joins the audio thread. False only for null.
bool stopPlayback(Song* song);
// True while the audio thread is inside a block fill.
bool playbackMixingNow();

// The reset every start from the beginning goes through: every voice silent,
// the song's play state and its channels as at its first row.
void prepareSongStart(Song* song);
