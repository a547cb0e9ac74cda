// Damaged and hostile songs: random cells, wild envelopes and odd headers
// must keep the replayer inside its records (run under the sanitizers).
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "song_fixture.h"

namespace {

class Robustness : public SongFixture {
protected:
    // Random cells and instrument fields, counts and indices beyond their tables included.
    void fillRandomly(std::mt19937& random) {
        auto below = [&random](int limit) { return static_cast<uint8_t>(random() % static_cast<unsigned>(limit)); };
        for (auto& cells : patternCells) {
            for (Cell& cell : cells) {
                cell = Cell{below(256) < 160 ? below(98) : below(256), below(6), below(256), below(40), below(256)};
            }
        }
        for (Instrument& instrument : instruments) {
            for (int index = 0; index < envelopePointCapacity; ++index) {
                instrument.volumeEnvelope[index] = {below(40), below(256)};
                instrument.panningEnvelope[index] = {below(40), below(256)};
            }
            instrument.volumePointCount = below(16);
            instrument.panningPointCount = below(16);
            instrument.volumeSustainPoint = below(16);
            instrument.volumeLoopStart = below(16);
            instrument.volumeLoopEnd = below(16);
            instrument.panningSustainPoint = below(256);
            instrument.panningLoopStart = below(256);
            instrument.panningLoopEnd = below(16);
            instrument.volumeEnvelopeFlags = below(8);
            instrument.panningEnvelopeFlags = below(8);
            instrument.vibratoType = below(6);
            instrument.vibratoSweep = below(256);
            instrument.vibratoDepth = below(16);
            instrument.vibratoRate = below(256);
            instrument.fadeout = static_cast<uint16_t>(below(256) * 64);
            for (uint8_t& slot : instrument.sampleMap) slot = below(20);
        }
    }
};

// Random cells of every kind (effects 0..39, notes up to 255, missing instruments) in both frequency modes:
// the walk stays inside the song and every channel on its own pair of voices.
TEST_F(Robustness, RandomCellsAndEnvelopes) {
    std::mt19937 random(20240611);
    for (int round = 0; round < 6; ++round) {
        makeSong(4, 3, 16 + round * 8, round % 2 == 1);
        const SampleShape looped{.length = 3000, .loopStart = 1000, .loopLength = 1500, .loopType = LoopForward};
        addInstrument(looped);
        SampleShape pingPong = looped;
        pingPong.loopType = LoopPingPong;
        addInstrument(pingPong);
        addInstrument();
        fillRandomly(random);
        patterns[2].rowCount = 8;  // breaks and loops past it land outside
        song.restartPosition = static_cast<int16_t>(round - 2);
        start();
        for (int tick = 0; tick < 6000; ++tick) {
            replayTick(engine, &song);
            ASSERT_GE(song.orderPosition, 0) << tick;
            ASSERT_LT(song.orderPosition, song.songLength) << tick;
            for (int index = 0; index < song.channelCount; ++index) {
                const MixerVoice* playing = channel(index).voice;
                ASSERT_TRUE(playing == &voice(index) || playing == &voice(index + partnerVoiceDistance))
                    << "channel " << index << " tick " << tick;
            }
        }
    }
}

// Extreme slides for a long time: periods and panning saturate instead of overflowing.
TEST_F(Robustness, EndlessSlides) {
    for (bool linear : {false, true}) {
        makeSong(3, 2, 1, linear);
        addInstrument();
        song.restartPosition = 1;
        song.defaultSpeed = 31;
        put(0, 0, 1, 1);
        put(0, 1, 96, 1);
        put(0, 2, 49, 1);
        cell(1, 0, 0) = Cell{0, 0, 0xEF, 2, 0xFF};   // portamento down and panning slide right for ever
        cell(1, 0, 1) = Cell{0, 0, 0xDF, 14, 0x1F};  // fine portamento up and panning slide left for ever
        cell(1, 0, 2) = Cell{0, 0, 0, 33, 0x1F};     // extra fine portamento up for ever
        start();
        runTicks(200000);
        EXPECT_GT(channel(0).period, 0);
        EXPECT_LT(channel(1).period, 0);
        EXPECT_LT(channel(2).period, 0);
        EXPECT_GT(channel(0).panning, 255);
        EXPECT_LT(channel(1).panning, 0);
        EXPECT_EQ(voice(0).pan, 255);
        EXPECT_EQ(voice(1).pan, 0);
    }
}

// A hand-built loop reaching past its sample: an offset inside the loop but past the data starts at frame 0.
TEST_F(Robustness, SampleOffsetPastADamagedLoop) {
    makeSong(1, 1, 4);
    addInstrument({.length = 1000, .loopStart = 500, .loopLength = 2000, .loopType = LoopForward});
    put(0, 0, 49, 1, 0, 9, 0x05);  // offset 1280
    start();
    replayTick(engine, &song);
    EXPECT_EQ(voice(0).sample, &samples[0]);
    EXPECT_EQ(voice(0).position, 0);
}

// Odd headers built by hand: no instruments, no channels, no song length, a null pattern table.
TEST_F(Robustness, EmptyAndOddSongs) {
    makeSong(2, 1, 4);
    put(0, 0, 49, 1, 0x40, 9, 0x20);  // an offset past the empty sample's end starts nothing
    put(0, 1, 49, 1);
    song.instrumentCount = 0;
    song.instruments = nullptr;
    start();
    runTicks(100);
    EXPECT_EQ(voice(0).sample, nullptr);
    EXPECT_EQ(voice(1).sample, &emptySample);

    makeSong(0, 1, 4);
    start();
    runTicks(100);
    EXPECT_EQ(song.orderPosition, 0);

    makeSong(1, 1, 4);
    song.songLength = 0;
    song.patterns = nullptr;
    start();
    runTicks(100);
    EXPECT_EQ(song.orderPosition, 0);
    EXPECT_EQ(song.row, 99 / 6 % 64);
}

}  // namespace
