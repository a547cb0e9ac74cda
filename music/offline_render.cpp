#include "offline_render.h"

#include <cstdlib>
#include <new>

#include "mixer.h"
#include "music_engine.h"
#include "replayer.h"

namespace intro_music::engine {

struct OfflineRender {
    MusicEngine engine;
    Song* song;
    float* mixBuffer;  // one block of stereo float frames
    int16_t pcm[blockLength * outputChannelCount];
};

OfflineRender* beginOfflineRender(Song* song) {
    if (song == nullptr) {
        return nullptr;
    }
    auto* render = new (std::nothrow) OfflineRender{};
    if (render == nullptr) {
        return nullptr;
    }
    render->mixBuffer = static_cast<float*>(std::calloc(size_t{blockLength} * outputChannelCount, sizeof(float)));
    if (render->mixBuffer == nullptr) {
        delete render;
        return nullptr;
    }
    render->song = song;
    prepareSongStart(render->engine, song);
    // A ring of one block: every fill lands in the same place.
    render->engine.output = MixerOutput{song, render->mixBuffer, render->pcm, 1, 0};
    return render;
}

const int16_t* renderOfflineBlock(OfflineRender* render) {
    if (render == nullptr) {
        return nullptr;
    }
    fillBlock(render->engine);
    return render->pcm;
}

MusicEngine* offlineRenderEngine(OfflineRender* render) { return render != nullptr ? &render->engine : nullptr; }

void endOfflineRender(OfflineRender* render) {
    if (render == nullptr) {
        return;
    }
    std::free(render->mixBuffer);
    delete render;
}

}  // namespace intro_music::engine
