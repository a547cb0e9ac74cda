/* intro_music_live.h - plays an intro_music Module through the sound device.

   Needs SDL2 (link intro_music::live, or pkg-config intro_music_live). The
   device pulls frames with intro_music::render on its own thread; while a
   Module plays, use it only through the calls below, which take the
   device's lock. After stopLive the Module is the caller's again.

       intro_music::Error error{};
       intro_music::LivePlayer* live = intro_music::startLive(song, &error);
       while (live != nullptr && !intro_music::liveEnded(live)) sleepABit();
       intro_music::stopLive(live);

   Signals: SIGINT and SIGTERM stay the program's own (SDL is asked not to
   catch them unless the program has set SDL_HINT_NO_SIGNAL_HANDLERS itself).

   Errors: startLive returns null and fills the Error when no device opens.
   Each LivePlayer opens its own device; a driver with a single device (SDL's
   dummy and disk drivers) takes one LivePlayer at a time.
*/
#pragma once

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
Position livePosition(const LivePlayer* live);
bool liveSeekToOrder(LivePlayer* live, int32_t order, Error* error);
bool liveSeekToTime(LivePlayer* live, double seconds, Error* error);
// setMasterGain on the playing module: heard from its next 20 ms block.
void setLiveGain(LivePlayer* live, double gain);

}  // namespace intro_music
