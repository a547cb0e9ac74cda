// The effect column and the volume column, tick by tick.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "song_fixture.h"
#include "waveforms.h"

using namespace intro_music::engine;

namespace {

class Effects : public SongFixture {};

// The sine table peaks at 255 and mirrors after position 16; the ramp wraps at 256.
TEST(Waveforms, SineAndRampValues) {
    const int sine[] = {0, 25, 49, 74, 97, 120, 142, 162, 181, 197, 212, 225, 236, 244, 251, 254, 255};
    for (int k = 0; k <= 16; ++k) {
        EXPECT_EQ(sineWaveValue(k), sine[k]) << k;
        EXPECT_EQ(sineWaveValue(-k), sine[k]) << k;
        EXPECT_EQ(sineWaveValue(32 - k), sine[k]) << k;
    }
    const int ramp[][2] = {{0, 0}, {31, 248}, {-32, 255}, {-1, 7}};
    for (const auto& [position, value] : ramp) EXPECT_EQ(rampWaveValue(position), value) << position;
}

// Each row: one effect rule, the cells of channel 0 row by row, the watched value after each tick (speed 6).
TEST_F(Effects, TickByTick) {
    const int up4 = amigaPeriod(52, 0) - 1712, up7 = amigaPeriod(55, 0) - 1712;
    const int note49 = amigaPeriod(49, 0);
    const TickCase cases[] = {
        {"arpeggio: note, +x, +y semitones by tick through the Amiga table", Watch::PeriodOffset,
         {{49, 1, 0, 0, 0x47}}, {0, up4, up7, 0, up4, up7}},
        {"linear arpeggio: 64 units per semitone", Watch::PeriodOffset,
         {{49, 1, 0, 0, 0x47}}, {0, 256, 448, 0, 256, 448}, {.linear = true}},
        {"arpeggio 0x00 leaves the pitch alone", Watch::PeriodOffset, {{49, 1, 0, 0, 0}}, Values(6, 0)},
        {"portamento up stops at 56; portamento down has no bound and keeps its memory", Watch::Period,
         {{49, 1, 0, 1, 0xFF}, {0, 0, 0, 2, 0x10}, {0, 0, 0, 2, 0}},
         {1712, 692, 56, 56, 56, 56, 56, 120, 184, 248, 312, 376, 376, 440, 504, 568, 632, 696}},
        {"tone portamento glides 4 x speed per tick; parameter 0 keeps the speed and retargets", Watch::Period,
         {{49, 1}, {61, 0, 0, 3, 0x10}, {37, 0, 0, 3, 0}},
         {1712, 1712, 1712, 1712, 1712, 1712, 1712, 1648, 1584, 1520, 1456, 1392, 1392, 1456, 1520, 1584, 1648, 1712}},
        {"tone portamento stops exactly at the target", Watch::Period,
         {{49, 1}, {50, 0, 0, 3, 0xFF}}, {1712, 1712, 1712, 1712, 1712, 1712, 1712, note49, note49}},
        {"volume slide: the high nibble wins over the low one", Watch::Volume,
         {{49, 1, 0x20, 10, 0x21}, {0, 0, 0, 10, 0x0F}, {0, 0, 0, 10, 0}},
         {16, 18, 20, 22, 24, 26, 26, 11, 0, 0, 0, 0, 0}},
        {"volume column 0x65 slides on every tick, 0x85 on the first only, 0x9F fine up, 0x51 nothing",
         Watch::Volume, {{49, 1, 0x65}, {0, 0, 0x85}, {0, 0, 0x9F}, {0, 0, 0x51}},
         {59, 54, 49, 44, 39, 34, 29, 29, 29, 29, 29, 29, 44, 44, 44, 44, 44, 44, 44, 44, 44, 44, 44, 44}},
        {"volume column panning 0xC3, then slides left and right without bound", Watch::Panning,
         {{49, 1, 0x50}, {0, 0, 0xC3}, {0, 0, 0xDF}, {0, 0, 0xEF}},
         {128, 128, 128, 128, 128, 128, 48, 48, 48, 48, 48, 48, 33, 18, 3, -12, -27, -42, -27, -12, 3, 18, 33, 48}},
        {"volume column tone portamento: speed 16 x value, kept for effect 3; the note's period is set at once",
         Watch::Period, {{49, 1}, {61, 0, 0xF1}, {49, 0, 0, 3, 0}},
         {1712, 1712, 1712, 1712, 1712, 1712, 856, 856, 856, 856, 856, 856, 856, 920, 984, 1048, 1112, 1176}},
        {"volume column 0xF0 keeps gliding at the speed 0xF1 set", Watch::Period, {{49, 1}, {61, 0, 0xF1}, {0, 0, 0xF0}},
         {1712, 1712, 1712, 1712, 1712, 1712, 1712, 1648, 1584, 1520, 1456, 1392, 1392, 1328, 1264}, {.tracker = true}},
        {"volume column 0xA sets the vibrato speed, 0xB the depth and vibrates on later ticks",
         Watch::PeriodOffset, {{49, 1, 0xA8}, {0, 0, 0xBF}}, {0, 0, 0, 0, 0, 0, 0, 0, -84, -116, -84}},
        {"vibrato: sine offsets with the low two bits cleared, negative on the rising half; 0 keeps the memory",
         Watch::PeriodOffset, {{49, 1, 0, 4, 0x8F}, {0, 0, 0, 4, 0}}, {0, 0, -84, -116, -84, 0, 84, 84}},
        {"square vibrato waveform (14/4 2)", Watch::PeriodOffset,
         {{49, 1, 0, 14, 0x42}, {0, 0, 0, 4, 0x8F}}, {0, 0, 0, 0, 0, 0, -116, -116, -116, -116, -116, 116}},
        {"tremolo keeps volume + offset within 0..64; the last offset stays in the volume when it stops",
         Watch::Heard, {{49, 1, 0x20, 7, 0x4F}, {0, 0, 0, 0, 0}}, {16, 16, 38, 58, 64, 64, 64}},
        {"tremolo's falling half lowers the volume, not below 0", Watch::Heard,
         {{49, 1, 0x18, 7, 0x8F}, {0, 0, 0, 7, 0}}, {8, 8, 50, 64, 50, 8, 8, 0, 0, 0, 8, 50}},
        {"note delay 0 suppresses the row's note; a delay of 3 starts the next note on tick 3", Watch::Period,
         {{49, 1, 0, 14, 0xD0}, {61, 1, 0x20, 14, 0xD3}}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 856, 856, 856}},
        {"a delayed note runs the volume column's first-tick form on its tick", Watch::Volume,
         {{49, 1, 0, 14, 0xD0}, {61, 1, 0x20, 14, 0xD3}}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 16, 16, 16}},
        {"note cut on tick y; y = 0 never cuts", Watch::Volume, {{49, 1, 0, 14, 0xC0}, {0, 0, 0, 14, 0xC2}},
         {64, 64, 64, 64, 64, 64, 64, 64, 0, 0, 0, 0}},
        {"multi-retrigger 0x83 at speed 6 retriggers on tick 3 only", Watch::VoiceIndex,
         {{49, 1, 0, 27, 0x83}}, {0, 0, 0, 32, 32, 32}},
        {"multi-retrigger volume mode 8 leaves the volume alone", Watch::Volume,
         {{49, 1, 0x30, 27, 0x83}}, {32, 32, 32, 32, 32, 32}},
        {"multi-retrigger volume modes x2/3, x3/2, -16 stay within 0..64; interval 0 does nothing", Watch::Volume,
         {{49, 1, 0, 27, 0x61}, {0, 0, 0, 27, 0xE1}, {0, 0, 0, 27, 0x51}, {0, 0, 0x42, 27, 0xF0}},
         {64, 42, 28, 18, 12, 8, 8, 12, 18, 27, 40, 60, 60, 44, 28, 12, 0, 0, 50, 50, 50, 50, 50, 50}},
        {"multi-retrigger x2/3 multiplies before it divides: 50 gives 33", Watch::Volume,
         {{49, 1, 0x42, 27, 0x61}}, {50, 33, 22, 14, 9, 6}},
        {"retrigger 14/9 restarts the note every y ticks; y = 0 never does", Watch::VoiceIndex,
         {{49, 1, 0, 14, 0x92}, {0, 0, 0, 14, 0x90}}, {0, 0, 32, 32, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"tremor 0x21 sounds 3 ticks and silences 2, counting across rows; an instrument restarts it",
         Watch::VoiceVolume, {{49, 1, 0, 29, 0x21}, {0, 0, 0, 29, 0}, {0, 1, 0, 29, 0}},
         {127, 127, 127, 0, 0, 127, 127, 127, 127, 127, 127, 0}, {.speed = 4}},
        {"a tremor counter already past a shortened cycle starts the cycle again", Watch::VoiceVolume,
         {{49, 1, 0, 29, 0xFF}, {0, 0, 0, 29, 0x01}}, {127, 127, 127, 127, 127, 127, 0, 127, 0, 0, 127, 0}},
        {"fine and extra-fine portamento move once per row, each with its own memory", Watch::Period,
         {{49, 1, 0, 14, 0x12}, {0, 0, 0, 14, 0x10}, {0, 0, 0, 14, 0x23}, {0, 0, 0, 33, 0x15}, {0, 0, 0, 33, 0x10},
          {0, 0, 0, 33, 0x21}},
         {1704, 1696, 1708, 1703, 1698, 1699}, {.every = 6}},
        {"fine volume slides share one memory and stay within 0..64", Watch::Volume,
         {{49, 1, 0x30, 14, 0xA5}, {0, 0, 0, 14, 0xB0}, {0, 0, 0, 14, 0xAF}, {0, 0, 0, 14, 0xA0}, {0, 0, 0, 14, 0xA0}},
         {37, 32, 47, 62, 64}, {.every = 6}},
        {"set volume is not bounded; a slide up brings it down to 64", Watch::Volume,
         {{49, 1, 0, 12, 0x80}, {0, 0, 0, 10, 0x10}}, {128, 128, 128, 128, 128, 128, 128, 64}},
        {"global volume: set at most 64, slides down with memory, slides up to 64", Watch::GlobalVolume,
         {{49, 1, 0, 16, 0x70}, {0, 0, 0, 17, 0x03}, {0, 0, 0, 17, 0}, {0, 0, 0, 17, 0xF0}}, {64, 49, 34, 64},
         {.every = 6}},
        {"panning slide stays within 0..255; set panning and coarse panning", Watch::Panning,
         {{49, 1, 0, 8, 250}, {0, 0, 0, 25, 0x20}, {0, 0, 0, 14, 0x83}, {0, 0, 0, 25, 0x0F}},
         {250, 250, 250, 250, 250, 250, 250, 252, 254, 255, 255, 255, 48, 48, 48, 48, 48, 48, 48, 33, 18, 3, 0, 0}},
        {"effects beyond the table leave the pitch alone", Watch::Period,
         {{49, 1, 0, 200, 0xFF}, {0, 0, 0, 34, 0xFF}}, {1712, 1712}, {.every = 6}},
        {"effects beyond the table leave the volume alone", Watch::Volume,
         {{49, 1, 0, 200, 0xFF}, {0, 0, 0, 34, 0xFF}}, {64, 64}, {.every = 6}},
    };
    for (const TickCase& script : cases) expectTicks(script);
}

// Sample offset below the loop end starts the note there (parameter 0 repeats it); at or past the loop end the
// playing voice restarts at 0 instead.
TEST_F(Effects, SampleOffsetAndLoopEnd) {
    auto offset4096 = [this](uint32_t loopLength) {
        makeSong(1, 1, 16);
        addInstrument({.length = 8000, .loopLength = loopLength, .loopType = LoopForward});
        put(0, 0, 49, 1);
        put(1, 0, 49, 0, 0, 9, 0x10);
        put(2, 0, 49, 0, 0, 9, 0x00);
        start();
        runRows(1);
        voice(0).position = 3000;
        replayTick(engine, &song);
    };
    offset4096(4096);
    EXPECT_EQ(channel(0).voice, &voice(0));
    EXPECT_EQ(voice(0).position, 0);
    offset4096(4097);
    EXPECT_EQ(channel(0).voice, &voice(32));
    EXPECT_EQ(voice(32).position, 4096);
    runRows(1);
    EXPECT_EQ(channel(0).voice, &voice(0));
    EXPECT_EQ(voice(0).position, 4096);
}

// A restart forgets the play before: H00 on the first row then slides by nothing, not by the last H's amount.
TEST_F(Effects, RestartForgetsTheGlobalVolumeSlideMemory) {
    makeSong(1, 1, 4);
    addInstrument();
    put(0, 0, 0, 0, 0, 17, 0x03);
    start();
    runRows(1);
    ASSERT_LT(song.globalVolume, 64);
    put(0, 0, 0, 0, 0, 17, 0x00);
    start();
    runRows(1);
    EXPECT_EQ(song.globalVolume, 64);
}

// Set finetune writes into the sample (heard from the next note); the shared empty sample stays zero.
TEST_F(Effects, SetFinetune) {
    expectTicks({"finetune 7 from the next note on", Watch::Period,
                 {{49, 1, 0, 14, 0x57}, {49, 0}, {49, 5, 0, 14, 0x57}}, {1712, amigaPeriod(48, 7)}, {.every = 6}});
    EXPECT_EQ(samples[0].finetune, 7);
    runRows(1);
    EXPECT_EQ(emptySample.finetune, 0);
}

// During a vibrato the voice plays the period with this tick's offset, in both frequency modes: the pitch memo is
// worked out again whenever the offset moves, never served stale.
TEST_F(Effects, VibratoReachesTheVoicesFrequency) {
    for (const bool linear : {false, true}) {
        SCOPED_TRACE(linear ? "linear" : "Amiga");
        makeSong(1, 1, 16, linear);
        addInstrument();
        put(0, 0, 49, 1, 0, 4, 0x48);
        put(1, 0, 0, 0, 0, 4, 0x00);
        start();
        std::vector<int> offsets;
        std::vector<int> frequencies;
        for (int tick = 0; tick < 12; ++tick) {
            replayTick(engine, &song);
            int32_t expected = 0;
            ASSERT_TRUE(periodFrequency(&song, channel(0).period, channel(0).periodOffset, &expected));
            EXPECT_EQ(voice(0).frequency, expected) << "tick " << tick << ", offset " << channel(0).periodOffset;
            offsets.push_back(channel(0).periodOffset);
            frequencies.push_back(voice(0).frequency);
        }
        std::sort(offsets.begin(), offsets.end());
        std::sort(frequencies.begin(), frequencies.end());
        EXPECT_GT(std::unique(offsets.begin(), offsets.end()) - offsets.begin(), 3) << "the vibrato moves the offset";
        EXPECT_GT(std::unique(frequencies.begin(), frequencies.end()) - frequencies.begin(), 3);
    }
}

// Waveform nibbles of 4 or more keep the vibrato and tremolo positions when an instrument is given.
TEST_F(Effects, WaveformRetriggerBit) {
    makeSong(1, 1, 16);
    addInstrument();
    put(0, 0, 49, 1, 0, 14, 0x44);
    put(1, 0, 49, 1, 0, 14, 0x70);
    put(2, 0, 49, 1);
    put(3, 0, 0, 0, 0, 14, 0x72);
    put(4, 0, 0, 0, 0, 14, 0x40);
    start();
    replayTick(engine, &song);
    channel(0).vibratoPosition = 12;
    channel(0).tremoloPosition = 9;
    runTicks(6);
    EXPECT_EQ(channel(0).vibratoPosition, 12);
    EXPECT_EQ(channel(0).tremoloPosition, 0);
    EXPECT_EQ(channel(0).waveformControl, 0x04);
    runTicks(18);
    EXPECT_EQ(channel(0).waveformControl, 0x20) << "E72 then E40: the tremolo nibble stays";
}

}  // namespace
