// One player whose rendering speed is measured: loads a song from memory and
// renders interleaved 16-bit stereo frames at 44,100 Hz.
#pragma once

#include <cstddef>
#include <cstdint>

struct RenderSubject {
    const char* name;
    // Null when the player refuses the song.
    void* (*open)(const void* data, size_t size);
    // False when fewer than frameCount frames could be rendered.
    bool (*render)(void* handle, int16_t* interleaved, size_t frameCount);
    void (*close)(void* handle);
};

extern const RenderSubject ourEngineSubject;
extern const RenderSubject libxmpSubject;
extern const RenderSubject libopenmptSubject;
