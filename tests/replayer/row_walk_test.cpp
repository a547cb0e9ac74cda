// The order and row walk: speed, restart, breaks, jumps, loops, delays and
// rows or patterns that the song does not have.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "song_fixture.h"

namespace {

using Position = std::pair<int, int>;  // order position, row

class RowWalk : public SongFixture {
protected:
    // Plays rows and records where each one was read (order, row).
    std::vector<Position> walk(int rowCount) {
        std::vector<Position> visited;
        for (int index = 0; index < rowCount; ++index) {
            EXPECT_EQ(song.tick, 0);
            replayTick(engine, &song);
            visited.emplace_back(song.orderPosition, song.row);
            while (song.tick != 0) replayTick(engine, &song);
        }
        return visited;
    }
};

// Each row: one flow rule, a song of one-channel or two-channel patterns with a few effects, the rows it visits.
TEST_F(RowWalk, FlowEffects) {
    struct Placed {
        int pattern, row, channel, effect, parameter;
    };
    struct Case {
        const char* rule;
        int channels, patternCount, rowCount, restart;
        std::vector<Placed> effects;
        std::vector<Position> expected;
    };
    const Case cases[] = {
        {"after the last order the song goes on at the restart position, for ever", 1, 3, 2, 1, {},
         {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {2, 1}, {1, 0}, {1, 1}, {2, 0}}},
        {"a restart position outside the song goes back to order 0", 1, 2, 1, 7, {}, {{0, 0}, {1, 0}, {0, 0}}},
        {"break rows above 63 become row 0; otherwise the decimal digits give the row", 1, 3, 64, 0,
         {{0, 0, 0, 13, 0x32}, {1, 32, 0, 13, 0x99}}, {{0, 0}, {1, 32}, {2, 0}}},
        {"a break on the last order goes to order 0, not to the restart position", 1, 2, 4, 1,
         {{1, 0, 0, 13, 0x02}}, {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {1, 0}, {0, 2}}},
        {"in channel order a break keeps an earlier jump's order; a later jump wins with row 0", 2, 4, 16, 0,
         {{0, 0, 0, 11, 2}, {0, 0, 1, 13, 0x05}, {2, 5, 0, 13, 0x07}, {2, 5, 1, 11, 1}}, {{0, 0}, {2, 5}, {1, 0}}},
        {"a jump beyond the song length goes to order 0", 1, 2, 2, 1, {{1, 0, 0, 11, 200}},
         {{0, 0}, {0, 1}, {1, 0}, {0, 0}}},
    };
    for (const Case& given : cases) {
        SCOPED_TRACE(given.rule);
        makeSong(given.channels, given.patternCount, given.rowCount);
        song.restartPosition = static_cast<int16_t>(given.restart);
        for (const Placed& at : given.effects) {
            cell(at.pattern, at.row, at.channel) =
                Cell{0, 0, 0, static_cast<uint8_t>(at.effect), static_cast<uint8_t>(at.parameter)};
        }
        start();
        EXPECT_EQ(walk(static_cast<int>(given.expected.size())), given.expected);
    }
}

// Pattern loop from row 8 to row 15 with count 2 plays those rows three times in all.
TEST_F(RowWalk, PatternLoopThreeTimes) {
    makeSong(1, 1, 32);
    put(8, 0, 0, 0, 0, 14, 0x60);
    put(15, 0, 0, 0, 0, 14, 0x62);
    start();
    std::vector<Position> expected;
    for (int row = 0; row <= 15; ++row) expected.emplace_back(0, row);
    for (int pass = 0; pass < 2; ++pass)
        for (int row = 8; row <= 15; ++row) expected.emplace_back(0, row);
    expected.emplace_back(0, 16);
    EXPECT_EQ(walk(static_cast<int>(expected.size())), expected);
}

// A row lasts `speed` ticks: the row is read on tick 0, effects run on ticks 1..speed-1.
TEST_F(RowWalk, RowLastsSpeedTicks) {
    makeSong(1, 1, 4);
    addInstrument();
    put(0, 0, 49, 1, 0x61);  // volume column: down 1 on the first tick and on every later tick
    start();
    EXPECT_EQ(perTick(Watch::Volume, 7), (Values{63, 62, 61, 60, 59, 58, 58}));
    EXPECT_EQ(song.row, 1);
    EXPECT_EQ(song.tick, 1);
}

// A jump to itself never ends; the song simply goes on.
TEST_F(RowWalk, EndlessJumpPlaysOn) {
    makeSong(1, 1, 8);
    put(2, 0, 0, 0, 0, 11, 0);
    start();
    runTicks(6 * 3000);
    EXPECT_EQ(song.orderPosition, 0);
    EXPECT_LE(song.row, 2);
}

// A break to a row the next pattern does not have plays an empty row there, then moves on.
TEST_F(RowWalk, BreakBeyondThePatternReadsNothingOutside) {
    makeSong(1, 3, 64);
    addInstrument();
    put(0, 0, 0, 0, 0, 13, 0x40);  // row 40
    patterns[1].rowCount = 32;      // its buffer holds a note at row 40 that must never be read
    cell(1, 40, 0) = Cell{49, 1, 0, 0, 0};
    start();
    EXPECT_EQ(walk(3), (std::vector<Position>{{0, 0}, {1, 40}, {2, 0}}));
    EXPECT_EQ(voice(0).sample, nullptr);
    EXPECT_EQ(voice(32).sample, nullptr);
}

// An order naming a missing pattern slot, or a pattern without cells, plays 64 or its rows and touches no channel.
TEST_F(RowWalk, MissingPatternsAreSkippedSafely) {
    makeSong(1, 3, 2);
    addInstrument();
    song.orderTable[1] = 200;  // beyond patternSlotCount
    patterns[2].cells = nullptr;
    patterns[2].rowCount = 3;
    put(0, 0, 49, 1);
    start();
    walk(2);
    channel(0).volume = 33;
    voice(0).frequency = 777;
    const std::vector<Position> visited = walk(64 + 3);
    EXPECT_EQ(visited[0], Position(1, 0));
    EXPECT_EQ(visited[63], Position(1, 63));
    EXPECT_EQ(visited[64], Position(2, 0));
    EXPECT_EQ(visited[66], Position(2, 2));
    EXPECT_EQ(channel(0).volume, 33);
    EXPECT_EQ(voice(0).frequency, 777);
    walk(1);  // back at order 0 the row is read again: a new note, volume 64
    EXPECT_EQ(channel(0).volume, 64);
}

// Speed below 32, tempo from 32 on; speed 0 plays one tick per row.
TEST_F(RowWalk, SpeedAndTempo) {
    makeSong(1, 1, 8);
    put(0, 0, 0, 0, 0, 15, 31);
    put(1, 0, 0, 0, 0, 15, 32);
    put(2, 0, 0, 0, 0, 15, 0);
    start();
    runTicks(31);
    EXPECT_EQ(song.speed, 31);
    replayTick(engine, &song);
    EXPECT_EQ(song.row, 1);
    EXPECT_EQ(song.bpm, 32);
    EXPECT_EQ(song.framesPerTick, 110250 / 32);
    runTicks(31);
    EXPECT_EQ(song.row, 2);
    EXPECT_EQ(song.speed, 0);
    EXPECT_EQ(song.tick, 0);
    runTicks(2);
    EXPECT_EQ(song.row, 4);
}

// Pattern delay: the row lasts speed x (y + 1) ticks.
TEST_F(RowWalk, PatternDelayLengthensTheRow) {
    makeSong(1, 1, 4);
    put(0, 0, 0, 0, 0, 14, 0xE2);
    start();
    runTicks(18);
    EXPECT_EQ(song.row, 0);
    EXPECT_EQ(song.tick, 0);
    replayTick(engine, &song);
    EXPECT_EQ(song.row, 1);
    EXPECT_EQ(song.patternDelayTicks, 0);
}

// More than 32 channels in a hand-built song: only the 32 channel records are used.
TEST_F(RowWalk, ChannelCountBeyondTheTable) {
    makeSong(40, 1, 2);
    addInstrument();
    put(0, 39, 49, 1);
    put(1, 31, 49, 1);
    start();
    runRows(2);
    EXPECT_NE(voice(31).sample, nullptr);
}

}  // namespace
