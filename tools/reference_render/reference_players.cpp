#include "reference_players.h"

#include <libopenmpt/libopenmpt.h>
#include <xmp.h>

#include <cstring>

namespace {

constexpr int stereoChannels = 2;
constexpr int loopForever = 0;          // libxmp's loop count for endless play
constexpr int32_t repeatForever = -1;   // libopenmpt's repeat count for endless play
// libopenmpt's interpolation filter lengths, in taps, by ReferenceInterpolation.
constexpr int32_t filterLengths[] = {1, 2, 4, 8};

}  // namespace

struct ReferencePlayer {
    ReferencePlayerKind kind;
    xmp_context xmp;
    openmpt_module* openmpt;
};

bool parseReferencePlayerKind(const char* name, ReferencePlayerKind* kind) {
    if (std::strcmp(name, "libxmp") == 0) {
        *kind = ReferencePlayerKind::Libxmp;
        return true;
    }
    if (std::strcmp(name, "libopenmpt") == 0) {
        *kind = ReferencePlayerKind::Libopenmpt;
        return true;
    }
    return false;
}

bool parseReferenceInterpolation(const char* name, ReferenceInterpolation* interpolation) {
    constexpr const char* names[] = {"nearest", "linear", "cubic", "sinc"};
    for (int index = 0; index < 4; ++index) {
        if (std::strcmp(name, names[index]) == 0) {
            *interpolation = static_cast<ReferenceInterpolation>(index);
            return true;
        }
    }
    return false;
}

const char* referencePlayerName(ReferencePlayerKind kind) {
    return kind == ReferencePlayerKind::Libxmp ? "libxmp" : "libopenmpt";
}

static ReferencePlayer* openLibxmp(const void* data, size_t size, ReferenceInterpolation interpolation) {
    if (interpolation == ReferenceInterpolation::Sinc) {
        return nullptr;
    }
    const int mode = interpolation == ReferenceInterpolation::Nearest ? XMP_INTERP_NEAREST
                     : interpolation == ReferenceInterpolation::Cubic ? XMP_INTERP_SPLINE
                                                                      : XMP_INTERP_LINEAR;
    xmp_context context = xmp_create_context();
    if (context == nullptr) {
        return nullptr;
    }
    if (xmp_load_module_from_memory(context, data, static_cast<long>(size)) != 0) {
        xmp_free_context(context);
        return nullptr;
    }
    if (xmp_start_player(context, referenceSampleRate, 0) != 0) {
        xmp_release_module(context);
        xmp_free_context(context);
        return nullptr;
    }
    // The chosen interpolation and no low-pass filter, as our mixer does.
    if (xmp_set_player(context, XMP_PLAYER_INTERP, mode) != 0 ||
        xmp_set_player(context, XMP_PLAYER_DSP, 0) != 0) {
        xmp_end_player(context);
        xmp_release_module(context);
        xmp_free_context(context);
        return nullptr;
    }
    return new ReferencePlayer{ReferencePlayerKind::Libxmp, context, nullptr};
}

static ReferencePlayer* openLibopenmpt(const void* data, size_t size, ReferenceInterpolation interpolation) {
    int error = 0;
    const char* errorMessage = nullptr;
    openmpt_module* module = openmpt_module_create_from_memory2(data, size, openmpt_log_func_silent, nullptr,
                                                                nullptr, nullptr, &error, &errorMessage, nullptr);
    openmpt_free_string(errorMessage);
    if (module == nullptr) {
        return nullptr;
    }
    openmpt_module_set_render_param(module, OPENMPT_MODULE_RENDER_INTERPOLATIONFILTER_LENGTH,
                                    filterLengths[static_cast<int>(interpolation)]);
    openmpt_module_set_repeat_count(module, repeatForever);
    return new ReferencePlayer{ReferencePlayerKind::Libopenmpt, nullptr, module};
}

ReferencePlayer* openReferencePlayer(ReferencePlayerKind kind, const void* data, size_t size,
                                     ReferenceInterpolation interpolation) {
    return kind == ReferencePlayerKind::Libxmp ? openLibxmp(data, size, interpolation)
                                               : openLibopenmpt(data, size, interpolation);
}

size_t renderReferenceFrames(ReferencePlayer* player, int16_t* interleaved, size_t frameCount) {
    if (player->kind == ReferencePlayerKind::Libopenmpt) {
        size_t written = 0;
        while (written < frameCount) {
            const size_t got = openmpt_module_read_interleaved_stereo(
                player->openmpt, referenceSampleRate, frameCount - written, interleaved + written * stereoChannels);
            if (got == 0) {
                break;
            }
            written += got;
        }
        return written;
    }
    constexpr size_t frameBytes = stereoChannels * sizeof(int16_t);
    // xmp_play_buffer takes an int byte count: feed it in bounded pieces.
    constexpr size_t piece = 1 << 16;
    size_t written = 0;
    while (written < frameCount) {
        const size_t frames = frameCount - written < piece ? frameCount - written : piece;
        if (xmp_play_buffer(player->xmp, interleaved + written * stereoChannels, static_cast<int>(frames * frameBytes),
                            loopForever) != 0) {
            break;
        }
        written += frames;
    }
    return written;
}

double referenceDurationSeconds(ReferencePlayer* player) {
    if (player->kind == ReferencePlayerKind::Libopenmpt) {
        return openmpt_module_get_duration_seconds(player->openmpt);
    }
    xmp_frame_info info{};
    xmp_get_frame_info(player->xmp, &info);
    constexpr double millisecondsPerSecond = 1000;
    return info.total_time / millisecondsPerSecond;
}

void closeReferencePlayer(ReferencePlayer* player) {
    if (player == nullptr) {
        return;
    }
    if (player->kind == ReferencePlayerKind::Libxmp) {
        xmp_end_player(player->xmp);
        xmp_release_module(player->xmp);
        xmp_free_context(player->xmp);
    } else {
        openmpt_module_destroy(player->openmpt);
    }
    delete player;
}
