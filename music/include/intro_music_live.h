/* intro_music_live.h - plays an intro_music module through the sound device,
   from C++ (intro_music::startLive, ...) and from C (intro_music_live_start, ...).

   Needs SDL2 (link intro_music::live, or pkg-config intro_music_live). The
   device pulls frames with render on its own thread; while a module plays,
   use it only through the calls below, which take the device's lock. After
   stopping, the module is the caller's again.

       intro_music::Error error{};
       intro_music::LivePlayer* live = intro_music::startLive(song, &error);
       while (live != nullptr && !intro_music::liveEnded(live)) sleepABit();
       intro_music::stopLive(live);
   In C:
       intro_music_error error = {0};
       intro_music_live* live = intro_music_live_start(song, &error);
       while (live && !intro_music_live_ended(live)) sleep_a_bit();
       intro_music_live_stop(live);

   THREADING: the calls below may come from any one thread at a time (the
   program's), while the device's thread renders; each takes the device's lock.

   SIGNALS: SIGINT and SIGTERM stay the program's own (SDL is asked not to
   catch them unless the program has set SDL_HINT_NO_SIGNAL_HANDLERS itself).

   ERRORS: start returns null and fills the error when no device opens (code
   CannotOpen) or the module is null (InvalidArgument). Each player opens its
   own device; a driver with a single device (SDL's dummy and disk drivers)
   takes one player at a time. Null players are accepted everywhere and do
   nothing (the seeks then fail with InvalidArgument).
*/
#ifndef INTRO_MUSIC_LIVE_H
#define INTRO_MUSIC_LIVE_H

#include "intro_music_c.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct intro_music_live intro_music_live;

/* Opens the default sound device at the module's output rate and plays the
   module from where it stands. */
intro_music_live* intro_music_live_start(intro_music_module* module, intro_music_error* error);
/* Closes the device (the frames not yet heard are dropped); NULL is ignored. */
void intro_music_live_stop(intro_music_live* live);
/* 1 pauses, 0 plays on. */
void intro_music_live_set_paused(intro_music_live* live, int32_t paused);
int32_t intro_music_live_paused(const intro_music_live* live);
/* 1 once the module has ended and the device has taken its last frame. */
int32_t intro_music_live_ended(const intro_music_live* live);
/* intro_music_get_position of the module, under the device's lock. */
intro_music_position intro_music_live_get_position(const intro_music_live* live);
/* The seeks of intro_music_c.h, under the device's lock: 1 when the song
   moved (it then plays on, also after it had ended), else 0 with the error. */
int32_t intro_music_live_seek_to_order(intro_music_live* live, int32_t order, intro_music_error* error);
int32_t intro_music_live_seek_to_time(intro_music_live* live, double seconds, intro_music_error* error);
/* intro_music_channel_level under the device's lock: meters while playing. */
int32_t intro_music_live_channel_level(const intro_music_live* live, int32_t channel, float* left, float* right);
/* intro_music_set_master_gain under the device's lock: 1, or 0 (nothing changes) outside 0..16. */
int32_t intro_music_live_set_gain(intro_music_live* live, double gain);
/* intro_music_set_interpolation under the device's lock: 1, or 0 with the error for an unknown mode. */
int32_t intro_music_live_set_interpolation(intro_music_live* live, int32_t mode, intro_music_error* error);

#ifdef __cplusplus
}  // extern "C"

#include "intro_music.h"

namespace intro_music {

struct LivePlayer;

// Opens the default sound device at the module's output rate and plays the
// module from where it stands.
LivePlayer* startLive(Module* module, Error* error);
// Closes the device (the frames not yet heard are dropped); null is ignored.
void stopLive(LivePlayer* live);

void setLivePaused(LivePlayer* live, bool paused);
bool livePaused(const LivePlayer* live);
// True once the module has ended and the device has taken its last frame.
bool liveEnded(const LivePlayer* live);
// position() of the module, under the device's lock.
Position livePosition(const LivePlayer* live);
// The seeks of intro_music.h under the device's lock; a song that moved plays on.
bool liveSeekToOrder(LivePlayer* live, int32_t order, Error* error);
bool liveSeekToTime(LivePlayer* live, double seconds, Error* error);
// setInterpolation under the device's lock: heard from the device's next request.
bool liveSetInterpolation(LivePlayer* live, Interpolation interpolation, Error* error);
// channelLevel() under the device's lock: meters while playing.
bool liveChannelLevel(const LivePlayer* live, int32_t channel, float* left, float* right);
// setMasterGain under the device's lock: heard from the device's next request.
bool setLiveGain(LivePlayer* live, double gain);

}  // namespace intro_music
#endif

#endif /* INTRO_MUSIC_LIVE_H */
