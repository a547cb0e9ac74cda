#include "song_exercise.h"

#include <algorithm>
#include <bitset>
#include <vector>

#include "intro_music.h"
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

namespace {

// Choices for the public-interface run, drawn from the input itself so that a
// saved input replays exactly as the fuzzer ran it.
class Choices {
public:
    Choices(const uint8_t* data, size_t size) {
        for (size_t index = 0; index < size; ++index) state_ = (state_ ^ data[index]) * 0x100000001B3ull;
    }
    uint32_t next(uint32_t range) {
        state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(state_ >> 33) % range;
    }

private:
    uint64_t state_ = 0xCBF29CE484222325ull;
};

// The interface a user drives: render in odd chunk sizes, seek, change the
// repeat count, the rate (once: each new rate scans the whole first pass
// again, seconds for a long song under the sanitizers) and the tempo and
// pitch factors, restart, read the position, the channels and their levels,
// up to a frame budget (1 s of sound: the block fill is the same code the run
// above already drives for up to 10 s).
void exercisePublicInterface(const uint8_t* data, size_t size) {
    constexpr int32_t frameBudget = intro_music::frameRate;
    constexpr int32_t chunkSizes[] = {1, 3, 17, 255, 882, 1024, 4097};
    constexpr int32_t rates[] = {8000, 44100, 48000};
    constexpr double factors[] = {0.25, 1.0, 4.0, 0.0};  // 0 is refused
    intro_music::Error error{};
    intro_music::Module* module = intro_music::loadFromMemory(data, size, &error);
    if (module == nullptr) return;
    Choices choices(data, size);
    const intro_music::Metadata info = intro_music::metadata(module);
    std::vector<int16_t> frames(2 * 4097);
    intro_music::ChannelState states[maxChannels];
    bool rateChanged = false;
    for (int32_t rendered = 0; rendered < frameBudget;) {
        switch (choices.next(8)) {
            case 0: intro_music::seekToOrder(module, static_cast<int32_t>(choices.next(info.orders + 2)) - 1, &error); break;
            case 1: intro_music::setRepeatCount(module, static_cast<int32_t>(choices.next(4)) - 1); break;
            case 2: intro_music::restart(module); break;
            case 3:
                if (!rateChanged) intro_music::setOutputRate(module, rates[choices.next(std::size(rates))], &error);
                rateChanged = true;
                break;
            case 4: intro_music::setTempoFactor(module, factors[choices.next(std::size(factors))]); break;
            case 5: intro_music::setPitchFactor(module, factors[choices.next(std::size(factors))]); break;
            default: break;
        }
        const int32_t chunk = chunkSizes[choices.next(std::size(chunkSizes))];
        const int32_t count = intro_music::render(module, frames.data(), chunk);
        static_cast<void>(intro_music::position(module));
        static_cast<void>(intro_music::channelStates(module, states, static_cast<int32_t>(std::size(states))));
        float left = 0.0f;
        float right = 0.0f;
        static_cast<void>(intro_music::channelLevel(module, 0, &left, &right));
        if (count == 0 && intro_music::ended(module)) intro_music::restart(module);
        rendered += std::max(count, 1);
    }
    intro_music::freeModule(module);
}

}  // namespace

ExerciseResult exerciseSong(const uint8_t* data, size_t size, int32_t blockBudget) {
    ExerciseResult result{};
    exercisePublicInterface(data, size);
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
