// The live player on SDL2's audio device: SDL's thread calls render for
// every buffer it plays; the calls here take the device lock around the
// Module. The C calls hand over to the C++ ones.
#include "intro_music_live.h"

#include <SDL.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>

#include "../alsa_reports.h"
#include "api/c_error_copy.h"

namespace {

constexpr Uint16 callbackFrames = 1024;  // about 23 ms per buffer

}  // namespace

namespace intro_music {

struct LivePlayer {
    Module* module = nullptr;
    SDL_AudioDeviceID device = 0;
    bool paused = false;
    // Set by the device thread: once the module has ended, and once a buffer
    // after the last sounding one was asked for, so the last one has played.
    std::atomic<bool> renderEnded{false};
    std::atomic<bool> drained{false};
};

}  // namespace intro_music

namespace {

void fillBuffer(void* user, Uint8* stream, int length) {
    auto* live = static_cast<intro_music::LivePlayer*>(user);
    const int32_t frames = length / static_cast<int>(sizeof(int16_t) * intro_music::channelsPerFrame);
    auto* pcm = reinterpret_cast<int16_t*>(stream);
    if (live->renderEnded.load()) {
        live->drained.store(true);
    }
    const int32_t written = intro_music::render(live->module, pcm, frames);
    if (written < frames) {
        std::memset(pcm + written * intro_music::channelsPerFrame, 0,
                    static_cast<size_t>(frames - written) * sizeof(int16_t) * intro_music::channelsPerFrame);
        live->renderEnded.store(intro_music::ended(live->module));
    }
}

}  // namespace

namespace intro_music {

LivePlayer* startLive(Module* module, Error* error) {
    if (error != nullptr) {
        *error = Error{};
    }
    auto fail = [error](ErrorCode code, const char* message) -> LivePlayer* {
        if (error != nullptr) {
            error->code = code;
            std::snprintf(error->message, sizeof error->message, "%s", message);
        }
        return nullptr;
    };
    if (module == nullptr) {
        return fail(ErrorCode::InvalidArgument, "no module given");
    }
    // SDL's audio brings up its events, which would catch SIGINT and SIGTERM
    // for a queue nobody reads: the program would no longer end on Ctrl-C or
    // kill. The program's own handlers stay; a program that wants SDL's sets
    // the hint itself (this one is only a default).
    SDL_SetHintWithPriority(SDL_HINT_NO_SIGNAL_HANDLERS, "1", SDL_HINT_DEFAULT);
    // Errors come back in Error; SDL's own audio log lines (the file driver's
    // notices) and ALSA's reports would only clutter the program's terminal.
    SDL_LogSetPriority(SDL_LOG_CATEGORY_AUDIO, SDL_NUM_LOG_PRIORITIES);
    engine::silenceAlsaReports();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        char message[sizeof(Error::message)];
        std::snprintf(message, sizeof message, "no sound: %s", SDL_GetError());
        return fail(ErrorCode::CannotOpen, message);
    }
    auto* live = new (std::nothrow) LivePlayer{};
    if (live == nullptr) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return fail(ErrorCode::OutOfMemory, "out of memory");
    }
    live->module = module;
    SDL_AudioSpec desired{};
    desired.freq = outputRate(module);
    desired.format = AUDIO_S16SYS;
    desired.channels = channelsPerFrame;
    desired.samples = callbackFrames;
    desired.callback = fillBuffer;
    desired.userdata = live;
    SDL_AudioSpec obtained{};
    // No changes allowed: SDL converts to whatever the hardware wants.
    live->device = SDL_OpenAudioDevice(nullptr, 0, &desired, &obtained, 0);
    if (live->device == 0) {
        char message[sizeof(Error::message)];
        std::snprintf(message, sizeof message, "no sound device: %s", SDL_GetError());
        delete live;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return fail(ErrorCode::CannotOpen, message);
    }
    SDL_PauseAudioDevice(live->device, 0);
    return live;
}

void stopLive(LivePlayer* live) {
    if (live == nullptr) {
        return;
    }
    SDL_CloseAudioDevice(live->device);
    delete live;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void setLivePaused(LivePlayer* live, bool paused) {
    if (live != nullptr) {
        live->paused = paused;
        SDL_PauseAudioDevice(live->device, paused ? 1 : 0);
    }
}

bool livePaused(const LivePlayer* live) { return live != nullptr && live->paused; }

bool liveEnded(const LivePlayer* live) { return live != nullptr && live->drained.load(); }

Position livePosition(const LivePlayer* live) {
    if (live == nullptr) {
        return Position{};
    }
    SDL_LockAudioDevice(live->device);
    const Position at = position(live->module);
    SDL_UnlockAudioDevice(live->device);
    return at;
}

namespace {

// Runs a seek under the device's lock; a song that moved plays on.
template <typename Seek>
bool seekLive(LivePlayer* live, Seek seek) {
    SDL_LockAudioDevice(live->device);
    const bool moved = seek(live->module);
    if (moved) {
        live->renderEnded.store(false);
        live->drained.store(false);
    }
    SDL_UnlockAudioDevice(live->device);
    return moved;
}

}  // namespace

bool liveSeekToOrder(LivePlayer* live, int32_t order, Error* error) {
    if (live == nullptr) {
        return seekToOrder(nullptr, order, error);
    }
    return seekLive(live, [&](Module* module) { return seekToOrder(module, order, error); });
}

bool liveSeekToTime(LivePlayer* live, double seconds, Error* error) {
    if (live == nullptr) {
        return seekToTime(nullptr, seconds, error);
    }
    return seekLive(live, [&](Module* module) { return seekToTime(module, seconds, error); });
}

bool liveSetInterpolation(LivePlayer* live, Interpolation interpolation, Error* error) {
    if (live == nullptr) {
        return setInterpolation(nullptr, interpolation, error);
    }
    SDL_LockAudioDevice(live->device);
    const bool changed = setInterpolation(live->module, interpolation, error);
    SDL_UnlockAudioDevice(live->device);
    return changed;
}

bool liveChannelLevel(const LivePlayer* live, int32_t channel, float* left, float* right) {
    if (live == nullptr) {
        return false;
    }
    SDL_LockAudioDevice(live->device);
    const bool known = channelLevel(live->module, channel, left, right);
    SDL_UnlockAudioDevice(live->device);
    return known;
}

bool setLiveGain(LivePlayer* live, double gain) {
    if (live == nullptr) {
        return false;
    }
    SDL_LockAudioDevice(live->device);
    const bool changed = setMasterGain(live->module, gain);
    SDL_UnlockAudioDevice(live->device);
    return changed;
}

}  // namespace intro_music

// The C calls: the handle is the LivePlayer itself, the module the C++ one.
namespace {

intro_music::LivePlayer* unwrap(intro_music_live* live) { return reinterpret_cast<intro_music::LivePlayer*>(live); }

const intro_music::LivePlayer* unwrap(const intro_music_live* live) {
    return reinterpret_cast<const intro_music::LivePlayer*>(live);
}

using intro_music::c_interface::withError;

}  // namespace

extern "C" {

intro_music_live* intro_music_live_start(intro_music_module* module, intro_music_error* error) {
    return reinterpret_cast<intro_music_live*>(withError(error, [&](intro_music::Error* inner) {
        return intro_music::startLive(reinterpret_cast<intro_music::Module*>(module), inner);
    }));
}

void intro_music_live_stop(intro_music_live* live) { intro_music::stopLive(unwrap(live)); }

void intro_music_live_set_paused(intro_music_live* live, int32_t paused) {
    intro_music::setLivePaused(unwrap(live), paused != 0);
}

int32_t intro_music_live_paused(const intro_music_live* live) { return intro_music::livePaused(unwrap(live)) ? 1 : 0; }

int32_t intro_music_live_ended(const intro_music_live* live) { return intro_music::liveEnded(unwrap(live)) ? 1 : 0; }

intro_music_position intro_music_live_get_position(const intro_music_live* live) {
    const intro_music::Position at = intro_music::livePosition(unwrap(live));
    return intro_music_position{at.order, at.pattern, at.row, at.seconds, at.passesCompleted, at.speed, at.tempo};
}

int32_t intro_music_live_seek_to_order(intro_music_live* live, int32_t order, intro_music_error* error) {
    return withError(error, [&](intro_music::Error* inner) { return intro_music::liveSeekToOrder(unwrap(live), order, inner); })
               ? 1
               : 0;
}

int32_t intro_music_live_seek_to_time(intro_music_live* live, double seconds, intro_music_error* error) {
    return withError(error,
                     [&](intro_music::Error* inner) { return intro_music::liveSeekToTime(unwrap(live), seconds, inner); })
               ? 1
               : 0;
}

int32_t intro_music_live_channel_level(const intro_music_live* live, int32_t channel, float* left, float* right) {
    return intro_music::liveChannelLevel(unwrap(live), channel, left, right) ? 1 : 0;
}

int32_t intro_music_live_set_gain(intro_music_live* live, double gain) {
    return intro_music::setLiveGain(unwrap(live), gain) ? 1 : 0;
}

int32_t intro_music_live_set_interpolation(intro_music_live* live, int32_t mode, intro_music_error* error) {
    return withError(error,
                     [&](intro_music::Error* inner) {
                         return intro_music::liveSetInterpolation(
                             unwrap(live), static_cast<intro_music::Interpolation>(mode), inner);
                     })
               ? 1
               : 0;
}

}  // extern "C"
