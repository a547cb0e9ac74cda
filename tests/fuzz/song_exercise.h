// Drives the music engine with arbitrary bytes: load from memory, play what
// loads through the block fill, free; then the same bytes through the public
// interface as a user drives it (renders in odd chunk sizes, seeks, repeat
// counts, restarts, positions and channel states, chosen from the bytes).
// Shared by the fuzzer and by the replay test, so every saved input runs
// exactly as the fuzzer ran it.
#pragma once

#include <cstddef>
#include <cstdint>

// 10 s of sound: a small song (a few short patterns) plays through all of
// its orders well within it, and one input stays well under a second even
// with every channel sounding under the sanitizers.
inline constexpr int32_t exerciseBlockBudget = 500;

struct ExerciseResult {
    bool loaded;
    int32_t blocksRendered;
    int32_t ordersReached;  // distinct order positions played
    bool passCompleted;     // every order played and the song came back to a row already played
};

// Loads the bytes as a song; when they load, plays the song until it has
// played every order position and come back to a row it already played, or
// until blockBudget blocks are rendered; then frees it. The public-interface
// run comes first and reports nothing: it only must not fail.
ExerciseResult exerciseSong(const uint8_t* data, size_t size, int32_t blockBudget = exerciseBlockBudget);
