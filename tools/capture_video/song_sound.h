// The embedded song as the presentation plays it from start-up, rendered
// offline through the engine's own block fill (the path the audio thread
// takes), one stretch at a time.
#pragma once

#include <cstdint>
#include <string>

struct Song;
struct OfflineRender;

class SongSound {
public:
    // Loads the embedded song; on failure ready() is false and error() says why.
    SongSound();
    ~SongSound();
    SongSound(SongSound&& other) noexcept;
    SongSound& operator=(SongSound&& other) noexcept;
    SongSound(const SongSound&) = delete;
    SongSound& operator=(const SongSound&) = delete;

    bool ready() const { return song_ != nullptr; }
    const std::string& error() const { return error_; }

    // Sound frames of one pass of the song: up to where it first comes back
    // to a row it has already played in the same pattern-loop state (20
    // minutes at most). Renders the song through once.
    int64_t onePassFrames();

    // Starts the song from its beginning, as start-up does.
    bool start();
    // The next stretch of at most `wanted` stereo frames (interleaved left,
    // right), valid until the next call; its length goes to `count`. Null
    // when the render fails.
    const int16_t* next(int64_t wanted, int32_t& count);

private:
    void release();

    Song* song_ = nullptr;
    OfflineRender* render_ = nullptr;
    const int16_t* block_ = nullptr;  // the current block and how much of it is used
    int32_t blockUsed_ = 0;
    std::string error_;
};
