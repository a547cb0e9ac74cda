// Rendering: one pipeline for every output form. Each piece of a render call
// is mixed (never more frames than the call still wants, so nothing is
// mixed ahead of what is handed out and every setting is heard from the next
// call), shaped by the master gain and the stereo separation, converted to
// the form asked for and delivered; the end of the last pass is found in one
// place, where the engine stops the piece at the tick that ends it.
#include "module.h"

#include <algorithm>
#include <cstring>

using namespace intro_music::engine;

namespace {

using intro_music::Module;
using namespace intro_music::detail;

constexpr float floatFullScale = 1.0f / 32768.0f;  // 16-bit full scale is 1.0

// Gain and stereo separation on `frames` mixed frames, when either is not neutral.
void shape(const Module& module, float* mixed, int32_t frames) {
    const float gain = module.masterGain;
    if (module.separation != separationNeutral) {
        const float width = static_cast<float>(module.separation) / static_cast<float>(separationNeutral);
        for (int32_t frame = 0; frame < frames; ++frame) {
            float* values = mixed + frame * outputChannelCount;
            const float middle = (values[0] + values[1]) * 0.5f;
            const float side = (values[0] - values[1]) * 0.5f * width;
            values[0] = (middle + side) * gain;
            values[1] = (middle - side) * gain;
        }
    } else if (gain != 1.0f) {
        for (int32_t value = 0; value < frames * outputChannelCount; ++value) {
            mixed[value] *= gain;
        }
    }
}

enum class Form { Stereo16, StereoFloat, Mono16, MonoFloat };

// Converts `count` shaped frames into the caller's buffer, from frame `written` on.
void deliver(const float* mixed, Form form, void* destination, int32_t written, int32_t count) {
    switch (form) {
        case Form::Stereo16:
            convertToPcm16(static_cast<int16_t*>(destination) + static_cast<size_t>(written) * outputChannelCount,
                           mixed, count);
            return;
        case Form::StereoFloat: {
            float* out = static_cast<float*>(destination) + static_cast<size_t>(written) * outputChannelCount;
            for (int32_t value = 0; value < count * outputChannelCount; ++value) {
                out[value] = mixed[value] * floatFullScale;
            }
            return;
        }
        case Form::Mono16: {
            float mono[intro_music::pieceFrames];
            for (int32_t frame = 0; frame < count; ++frame) {
                mono[frame] = (mixed[2 * frame] + mixed[2 * frame + 1]) * 0.5f;
            }
            convertValuesToPcm16(static_cast<int16_t*>(destination) + written, mono, count);
            return;
        }
        case Form::MonoFloat: {
            float* out = static_cast<float*>(destination) + written;
            for (int32_t frame = 0; frame < count; ++frame) {
                out[frame] = (mixed[2 * frame] + mixed[2 * frame + 1]) * 0.5f * floatFullScale;
            }
            return;
        }
    }
}

// Frames the next piece may hold. By the presentation's rules the pieces
// also end on its 884-frame grid (counted from the start or the seek), where
// the presentation's blocks end and its volume ramps are rounded.
int32_t pieceLength(const Module& module, int32_t wanted) {
    int64_t length = std::min<int64_t>(wanted, intro_music::pieceFrames);
    if (module.rules == intro_music::Rules::Presentation) {
        length = std::min<int64_t>(length, blockLength - module.framesHanded % blockLength);
    }
    if (module.endFrame >= 0) {
        length = std::min(length, module.endFrame - module.framesHanded);
    }
    return static_cast<int32_t>(length);
}

int32_t renderFrames(Module* module, Form form, void* frames, int32_t frameCount) {
    if (module == nullptr || frames == nullptr || frameCount <= 0) {
        return 0;
    }
    int32_t written = 0;
    while (written < frameCount && !intro_music::ended(module)) {
        const int32_t wanted = pieceLength(*module, frameCount - written);
        const int32_t mixed = mixFrames(module->engine, module->mixBuffer, wanted);
        shape(*module, module->mixBuffer, mixed);
        deliver(module->mixBuffer, form, frames, written, mixed);
        written += mixed;
        module->framesHanded += mixed;
        // A tick that starts right after the last frame handed out runs now:
        // position() then tells where the next frame plays, and ended() is
        // true as soon as the last frame of the last pass is out.
        Song* song = module->song.get();
        if (song->framesLeftInTick <= 0) {
            startNextTick(module->engine);
        }
        // The last pass ended at the tick the piece stopped before (or inside
        // it, for a pass cut at the longest length).
        if (module->endInTick >= 0) {
            module->endFrame = module->framesHanded + module->endInTick;
            module->endInTick = -1;
        }
    }
    return written;
}

}  // namespace

namespace intro_music {
namespace detail {

void skipFrames(Module& module, int64_t count) {
    float scratch[blockLength];
    while (count > 0) {
        const auto chunk = static_cast<int32_t>(std::min<int64_t>(count, blockLength));
        if (renderFrames(&module, Form::MonoFloat, scratch, chunk) < chunk) {
            return;
        }
        count -= chunk;
    }
}

}  // namespace detail

// Out of memory while tracking the passes ends the render.
int32_t render(Module* module, int16_t* frames, int32_t frameCount) {
    return withoutExceptions<int32_t>(nullptr, 0, [&] { return renderFrames(module, Form::Stereo16, frames, frameCount); });
}

int32_t renderFloat(Module* module, float* frames, int32_t frameCount) {
    return withoutExceptions<int32_t>(nullptr, 0,
                                      [&] { return renderFrames(module, Form::StereoFloat, frames, frameCount); });
}

int32_t renderMono(Module* module, int16_t* frames, int32_t frameCount) {
    return withoutExceptions<int32_t>(nullptr, 0, [&] { return renderFrames(module, Form::Mono16, frames, frameCount); });
}

int32_t renderMonoFloat(Module* module, float* frames, int32_t frameCount) {
    return withoutExceptions<int32_t>(nullptr, 0,
                                      [&] { return renderFrames(module, Form::MonoFloat, frames, frameCount); });
}

}  // namespace intro_music
