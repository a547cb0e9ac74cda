// The embedded song as the presentation plays it from start-up, rendered
// offline through the music library (the engine's own block fill, as the
// audio thread uses it), one stretch at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace intro_music {
struct Module;
}

class SongSound {
public:
    // Loads the embedded song; on failure ready() is false and error() says why.
    SongSound();
    ~SongSound();
    SongSound(SongSound&& other) noexcept;
    SongSound& operator=(SongSound&& other) noexcept;
    SongSound(const SongSound&) = delete;
    SongSound& operator=(const SongSound&) = delete;

    bool ready() const { return module_ != nullptr; }
    const std::string& error() const { return error_; }

    // Sound frames of one pass of the song, as the library finds it (20
    // minutes at most).
    int64_t onePassFrames() const { return onePassFrames_; }

    // The next stretch of at most `wanted` stereo frames (interleaved left,
    // right), valid until the next call; its length goes to `count`. The song
    // keeps playing past its end as the presentation's does. Null when the
    // render fails.
    const int16_t* next(int64_t wanted, int32_t& count);

private:
    void release();

    intro_music::Module* module_ = nullptr;
    int64_t onePassFrames_ = 0;
    std::vector<int16_t> stretch_;  // allocated once
    std::string error_;
};
