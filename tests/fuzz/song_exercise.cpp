#include "song_exercise.h"

#include <bitset>

#include "offline_render.h"
#include "song.h"
#include "xm_format.h"

using namespace intro_music::engine;

namespace {

constexpr int32_t rowSlots = xm_format::maxRowCount;

// What the wrapped tick handler watches. The engine is single-threaded here
// (no playback runs), so one static record is enough.
struct PassWatch {
    TickHandler replay = nullptr;
    std::bitset<orderTableSize * rowSlots> rowsPlayed;
    std::bitset<orderTableSize> ordersPlayed;
    int32_t ordersReached = 0;
    bool cameBack = false;
};

PassWatch watch;

int32_t slotOf(int32_t value, int32_t slotCount) {
    return value >= 0 && value < slotCount ? value : slotCount - 1;
}

// Runs the replayer's tick, then notes the row it started, if it started one.
void watchingTick(MusicEngine& engine, Song* song) {
    const bool rowStart = song->tick == 0;
    watch.replay(engine, song);
    if (!rowStart) {
        return;
    }
    const int32_t order = slotOf(song->orderPosition, orderTableSize);
    const int32_t row = slotOf(song->row, rowSlots);
    if (!watch.ordersPlayed.test(static_cast<size_t>(order))) {
        watch.ordersPlayed.set(static_cast<size_t>(order));
        ++watch.ordersReached;
    }
    const size_t rowKey = static_cast<size_t>(order) * rowSlots + static_cast<size_t>(row);
    if (watch.rowsPlayed.test(rowKey)) {
        watch.cameBack = true;
    }
    watch.rowsPlayed.set(rowKey);
}

}  // namespace

ExerciseResult exerciseSong(const uint8_t* data, size_t size, int32_t blockBudget) {
    ExerciseResult result{};
    Song* song = loadSongFromMemory(data, size, nullptr);
    if (song == nullptr) {
        return result;
    }
    result.loaded = true;
    OfflineRender* render = beginOfflineRender(song);
    if (render != nullptr) {
        watch = PassWatch{};
        watch.replay = song->tickHandler;
        if (watch.replay != nullptr) {
            song->tickHandler = watchingTick;
        }
        const int32_t orderCount = song->songLength;
        while (result.blocksRendered < blockBudget) {
            const int16_t* block = renderOfflineBlock(render);
            if (block == nullptr) {
                break;
            }
            ++result.blocksRendered;
            if (watch.cameBack && watch.ordersReached >= orderCount) {
                result.passCompleted = true;
                break;
            }
        }
        result.ordersReached = watch.ordersReached;
        song->tickHandler = watch.replay;
        endOfflineRender(render);
    }
    freeSong(song);
    return result;
}
