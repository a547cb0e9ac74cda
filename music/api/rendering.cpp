// Rendering: blocks of the engine's mix, shaped by the master gain and the
// stereo separation, handed out in the form each render call asks for.
#include "module.h"

#include <algorithm>
#include <cstring>

using namespace intro_music::engine;

namespace {

using intro_music::Module;
using namespace intro_music::detail;

constexpr float floatFullScale = 1.0f / 32768.0f;  // 16-bit full scale is 1.0

// Gain and stereo separation on a mixed block, when either is not neutral.
void shapeBlock(const Module& module, float* block) {
    const float gain = module.masterGain;
    if (module.separation != separationNeutral) {
        const float width = static_cast<float>(module.separation) / static_cast<float>(separationNeutral);
        for (int32_t frame = 0; frame < blockLength; ++frame) {
            float* values = block + frame * outputChannelCount;
            const float middle = (values[0] + values[1]) * 0.5f;
            const float side = (values[0] - values[1]) * 0.5f * width;
            values[0] = (middle + side) * gain;
            values[1] = (middle - side) * gain;
        }
    } else if (gain != 1.0f) {
        for (int32_t value = 0; value < blockLength * outputChannelCount; ++value) {
            block[value] *= gain;
        }
    }
}

void produceBlock(Module& module) {
    mixBlock(module.engine, module.mixBuffer);
    shapeBlock(module, module.mixBuffer);
    module.blockConverted = false;
    module.blockFramesLeft = blockLength;
}

// The output forms: where `count` frames of the current block, from `first`, go.
enum class Form { Stereo16, StereoFloat, Mono16, MonoFloat };

void deliver(Module& module, Form form, void* destination, int32_t written, int32_t first, int32_t count) {
    const float* mixed = module.mixBuffer + static_cast<size_t>(first) * outputChannelCount;
    switch (form) {
        case Form::Stereo16: {
            if (!module.blockConverted) {
                convertToPcm16(module.block, module.mixBuffer, blockLength);
                module.blockConverted = true;
            }
            std::memcpy(static_cast<int16_t*>(destination) + static_cast<size_t>(written) * outputChannelCount,
                        module.block + static_cast<size_t>(first) * outputChannelCount,
                        static_cast<size_t>(count) * outputChannelCount * sizeof(int16_t));
            return;
        }
        case Form::StereoFloat: {
            float* out = static_cast<float*>(destination) + static_cast<size_t>(written) * outputChannelCount;
            for (int32_t value = 0; value < count * outputChannelCount; ++value) {
                out[value] = mixed[value] * floatFullScale;
            }
            return;
        }
        case Form::Mono16: {
            float mono[blockLength];
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

int32_t renderFrames(Module* module, Form form, void* frames, int32_t frameCount) {
    if (module == nullptr || frames == nullptr || frameCount <= 0) {
        return 0;
    }
    int32_t written = 0;
    while (written < frameCount) {
        if (module->endFrame >= 0 && module->framesHanded >= module->endFrame) {
            break;
        }
        if (module->blockFramesLeft == 0 && form == Form::StereoFloat && frameCount - written >= blockLength &&
            module->endFrame < 0) {
            // A whole block of float frames is mixed straight into the caller's buffer.
            float* block = static_cast<float*>(frames) + static_cast<size_t>(written) * outputChannelCount;
            mixBlock(module->engine, block);
            shapeBlock(*module, block);
            for (int32_t value = 0; value < blockLength * outputChannelCount; ++value) {
                block[value] *= floatFullScale;
            }
            // The end of the pass may have been found inside this block: hand out no more than it.
            const int64_t handed = module->endFrame >= 0
                                       ? std::clamp<int64_t>(module->endFrame - module->framesHanded, 0, blockLength)
                                       : blockLength;
            written += static_cast<int32_t>(handed);
            module->framesHanded += handed;
            continue;
        }
        if (module->blockFramesLeft == 0) {
            produceBlock(*module);
        }
        int64_t take = std::min<int64_t>(frameCount - written, module->blockFramesLeft);
        if (module->endFrame >= 0) {
            take = std::min(take, module->endFrame - module->framesHanded);
        }
        deliver(*module, form, frames, written, blockLength - module->blockFramesLeft, static_cast<int32_t>(take));
        written += static_cast<int32_t>(take);
        module->blockFramesLeft -= static_cast<int32_t>(take);
        module->framesHanded += take;
    }
    return written;
}


}  // namespace

namespace intro_music {
namespace detail {

// Renders and drops frames (a seek within a row).
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
