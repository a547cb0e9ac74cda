#include "offline_render.h"

#include <cstdlib>
#include <new>

#include "mixer.h"
#include "playback.h"

struct OfflineRender {
    Song* song;
    float* mixBuffer;  // one block of stereo float frames
    int16_t pcm[blockLength * outputChannelCount];
};

namespace {
bool ownsMixer(const OfflineRender* render) {
    const MixerOutput& output = mixerOutput();
    return output.pcmRing == render->pcm && output.song == render->song && output.mixBuffer == render->mixBuffer;
}
}  // namespace

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
    stopPlayback(song);
    prepareSongStart(song);
    // A ring of one block: every fill lands in the same place.
    mixerOutput() = MixerOutput{song, render->mixBuffer, render->pcm, 1, 0};
    return render;
}

const int16_t* renderOfflineBlock(OfflineRender* render) {
    if (render == nullptr || !ownsMixer(render)) {
        return nullptr;
    }
    fillBlock();
    return render->pcm;
}

void endOfflineRender(OfflineRender* render) {
    if (render == nullptr) {
        return;
    }
    if (ownsMixer(render)) {
        mixerOutput() = MixerOutput{};
    }
    std::free(render->mixBuffer);
    delete render;
}
