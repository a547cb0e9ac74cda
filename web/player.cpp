// The song player's engine side: one song at a time, loaded from bytes the
// page hands over, rendered in pieces that the page queues for its worklet.
// Everything goes through the music library's public interface.
#include <emscripten.h>

#include <intro_music.h>

#include <cstdint>
#include <cstdlib>

namespace {

intro_music::Module* song = nullptr;
intro_music::Error lastError{};
// One render's frames; the page copies them out before the next call.
constexpr int32_t maximumFramesPerRender = 1 << 16;
int16_t renderBuffer[maximumFramesPerRender * intro_music::channelsPerFrame];

}  // namespace

extern "C" {

// Replaces the current song with the one in the bytes; 0 when they are not a
// song (playerError then says why, in the library's words).
EMSCRIPTEN_KEEPALIVE int32_t playerLoad(const void* data, int32_t size) {
    intro_music::freeModule(song);
    song = intro_music::loadFromMemory(data, static_cast<size_t>(size), &lastError);
    return song != nullptr ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE const char* playerError() { return lastError.message; }

EMSCRIPTEN_KEEPALIVE void playerUnload() {
    intro_music::freeModule(song);
    song = nullptr;
}

EMSCRIPTEN_KEEPALIVE const char* playerTitle() {
    static intro_music::Metadata metadata{};
    metadata = intro_music::metadata(song);
    return metadata.title;
}

EMSCRIPTEN_KEEPALIVE double playerDurationSeconds() { return intro_music::metadata(song).durationSeconds; }

EMSCRIPTEN_KEEPALIVE int32_t playerOrderCount() { return intro_music::metadata(song).orders; }

// Renders up to frameCount frames (one pass of the song in all); returns how
// many, 0 at the end. They are at playerFrames().
EMSCRIPTEN_KEEPALIVE int32_t playerRender(int32_t frameCount) {
    if (frameCount > maximumFramesPerRender) {
        frameCount = maximumFramesPerRender;
    }
    return intro_music::render(song, renderBuffer, frameCount);
}

EMSCRIPTEN_KEEPALIVE const int16_t* playerFrames() { return renderBuffer; }

EMSCRIPTEN_KEEPALIVE int32_t playerOrder() { return intro_music::position(song).order; }

EMSCRIPTEN_KEEPALIVE int32_t playerRow() { return intro_music::position(song).row; }

EMSCRIPTEN_KEEPALIVE void playerRestart() { intro_music::restart(song); }

// Renders one pass of the current song without keeping it and returns the
// seconds of sound made: the engine's speed in this browser, for the benchmark.
EMSCRIPTEN_KEEPALIVE double playerRenderSeconds() {
    intro_music::restart(song);
    int64_t frames = 0;
    for (int32_t count; (count = intro_music::render(song, renderBuffer, maximumFramesPerRender)) > 0;) {
        frames += count;
    }
    intro_music::restart(song);
    return static_cast<double>(frames) / intro_music::frameRate;
}

}  // extern "C"
