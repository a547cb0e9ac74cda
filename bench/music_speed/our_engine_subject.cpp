// Our engine through the offline render: the same block fill as playback.
#include <algorithm>
#include <cstring>
#include <new>

#include "mixer.h"
#include "offline_render.h"
#include "render_subject.h"
#include "song.h"

using namespace intro_music::engine;

namespace {

constexpr int stereoChannels = 2;

struct OurEngineRender {
    Song* song;
    OfflineRender* render;
    const int16_t* block;    // the current block, null before the first
    size_t blockFramesLeft;  // frames of it not handed out yet
};

void* openOurEngine(const void* data, size_t size) {
    Song* song = loadSongFromMemory(data, size, nullptr);
    if (song == nullptr) {
        return nullptr;
    }
    OfflineRender* render = beginOfflineRender(song);
    auto* handle = render == nullptr ? nullptr : new (std::nothrow) OurEngineRender{song, render, nullptr, 0};
    if (handle == nullptr) {
        endOfflineRender(render);
        freeSong(song);
    }
    return handle;
}

// Blocks have their own length; carry what is left of one into the next call.
bool renderOurEngine(void* opaque, int16_t* interleaved, size_t frameCount) {
    auto* handle = static_cast<OurEngineRender*>(opaque);
    while (frameCount > 0) {
        if (handle->blockFramesLeft == 0) {
            handle->block = renderOfflineBlock(handle->render);
            if (handle->block == nullptr) {
                return false;
            }
            handle->blockFramesLeft = blockLength;
        }
        const size_t frames = std::min(frameCount, handle->blockFramesLeft);
        const int16_t* source = handle->block + (blockLength - handle->blockFramesLeft) * stereoChannels;
        std::memcpy(interleaved, source, frames * stereoChannels * sizeof(int16_t));
        interleaved += frames * stereoChannels;
        frameCount -= frames;
        handle->blockFramesLeft -= frames;
    }
    return true;
}

void closeOurEngine(void* opaque) {
    auto* handle = static_cast<OurEngineRender*>(opaque);
    endOfflineRender(handle->render);
    freeSong(handle->song);
    delete handle;
}

}  // namespace

const RenderSubject ourEngineSubject{"ours", openOurEngine, renderOurEngine, closeOurEngine};
