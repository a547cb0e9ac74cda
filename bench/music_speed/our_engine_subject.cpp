// Our engine as a user gets it: the public interface, loading included, at
// its default format (44,100 Hz, 16-bit stereo).
#include "intro_music.h"
#include "render_subject.h"

namespace {

void* openOurEngine(const void* data, size_t size) {
    intro_music::Module* module = intro_music::loadFromMemory(data, size, nullptr);
    intro_music::setRepeatCount(module, -1);  // as long as asked, like the other players
    return module;
}

bool renderOurEngine(void* handle, int16_t* interleaved, size_t frameCount) {
    auto* module = static_cast<intro_music::Module*>(handle);
    return intro_music::render(module, interleaved, static_cast<int32_t>(frameCount)) ==
           static_cast<int32_t>(frameCount);
}

void closeOurEngine(void* handle) { intro_music::freeModule(static_cast<intro_music::Module*>(handle)); }

}  // namespace

const RenderSubject ourEngineSubject{"ours", openOurEngine, renderOurEngine, closeOurEngine};
