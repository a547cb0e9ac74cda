// Damaged and hostile songs: random cells, wild envelopes and odd headers
// must keep the replayer inside its records (run under the sanitizers).
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "song_fixture.h"

namespace {

class Robustness : public SongFixture {
protected:
    void fillRandomly(std::mt19937& random) {
        std::uniform_int_distribution<int> byte(0, 255);
        for (auto& cells : patternCells) {
            for (Cell& cell : cells) {
                cell.note = static_cast<uint8_t>(byte(random) < 160 ? byte(random) % 98 : byte(random));
                cell.instrument = static_cast<uint8_t>(byte(random) % 6);
                cell.volume = static_cast<uint8_t>(byte(random));
                cell.effect = static_cast<uint8_t>(byte(random) % 40);
                cell.parameter = static_cast<uint8_t>(byte(random));
            }
        }
        for (Instrument& instrument : instruments) {
            for (int index = 0; index < envelopePointCapacity; ++index) {
                instrument.volumeEnvelope[index] = {static_cast<uint16_t>(byte(random) % 40),
                                                    static_cast<uint16_t>(byte(random))};
                instrument.panningEnvelope[index] = {static_cast<uint16_t>(byte(random) % 40),
                                                     static_cast<uint16_t>(byte(random))};
            }
            instrument.volumePointCount = static_cast<uint8_t>(byte(random) % 16);
            instrument.panningPointCount = static_cast<uint8_t>(byte(random) % 16);
            instrument.volumeSustainPoint = static_cast<uint8_t>(byte(random) % 16);
            instrument.volumeLoopStart = static_cast<uint8_t>(byte(random) % 16);
            instrument.volumeLoopEnd = static_cast<uint8_t>(byte(random) % 16);
            instrument.panningSustainPoint = static_cast<uint8_t>(byte(random));
            instrument.panningLoopStart = static_cast<uint8_t>(byte(random));
            instrument.panningLoopEnd = static_cast<uint8_t>(byte(random) % 16);
            instrument.volumeEnvelopeFlags = static_cast<uint8_t>(byte(random) % 8);
            instrument.panningEnvelopeFlags = static_cast<uint8_t>(byte(random) % 8);
            instrument.vibratoType = static_cast<uint8_t>(byte(random) % 6);
            instrument.vibratoSweep = static_cast<uint8_t>(byte(random));
            instrument.vibratoDepth = static_cast<uint8_t>(byte(random) % 16);
            instrument.vibratoRate = static_cast<uint8_t>(byte(random));
            instrument.fadeout = static_cast<uint16_t>(byte(random) * 64);
            for (uint8_t& slot : instrument.sampleMap) slot = static_cast<uint8_t>(byte(random) % 20);
        }
    }

    // Every channel stays on its own pair of voices and the walk stays inside the song.
    void checkInvariants(int tick) {
        ASSERT_GE(song.orderPosition, 0) << tick;
        ASSERT_LT(song.orderPosition, song.songLength) << tick;
        for (int index = 0; index < song.channelCount; ++index) {
            MixerVoice* voice = channel(index).voice;
            ASSERT_TRUE(voice == &mixerVoices()[index] || voice == &mixerVoices()[index + partnerVoiceDistance])
                << "channel " << index << " tick " << tick;
        }
    }
};

// Random cells of every kind (effects 0..39, notes up to 255, missing instruments) in both frequency modes.
TEST_F(Robustness, RandomCellsAndEnvelopes) {
    std::mt19937 random(20240611);
    for (int round = 0; round < 6; ++round) {
        makeSong(4, 3, 16 + round * 8, round % 2 == 1);
        SampleShape looped;
        looped.length = 3000;
        looped.loopType = LoopForward;
        looped.loopStart = 1000;
        looped.loopLength = 1500;
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
            replayTick(&song);
            checkInvariants(tick);
            if (HasFatalFailure()) return;
        }
    }
}

// Extreme slides for a long time: periods and panning saturate instead of overflowing.
TEST_F(Robustness, EndlessSlides) {
    for (bool linear : {false, true}) {
        makeSong(3, 2, 1, linear);
        addInstrument();
        song.restartPosition = 1;
        put(0, 0, 1, 1);
        put(0, 1, 96, 1);
        put(0, 2, 49, 1);
        cell(1, 0, 0) = Cell{0, 0, 0xEF, 2, 0xFF};    // portamento down and panning slide right for ever
        cell(1, 0, 1) = Cell{0, 0, 0xDF, 14, 0x1F};   // fine portamento up and panning slide left for ever
        cell(1, 0, 2) = Cell{0, 0, 0, 33, 0x1F};      // extra fine portamento up for ever
        song.defaultSpeed = 31;
        start();
        for (int tick = 0; tick < 200000; ++tick) replayTick(&song);
        EXPECT_GT(channel(0).period, 0);
        EXPECT_LT(channel(1).period, 0);
        EXPECT_LT(channel(2).period, 0);
        EXPECT_GT(channel(0).panning, 255);
        EXPECT_LT(channel(1).panning, 0);
        EXPECT_EQ(voice(0).pan, 255);
        EXPECT_EQ(voice(1).pan, 0);
    }
}

// A hand-built loop that reaches past its sample: a sample offset inside the loop but past the
// sample's end starts the note at frame 0 instead of outside the data.
TEST_F(Robustness, SampleOffsetPastADamagedLoop) {
    makeSong(1, 1, 4);
    SampleShape shape;
    shape.length = 1000;
    shape.loopType = LoopForward;
    shape.loopStart = 500;
    shape.loopLength = 2000;
    addInstrument(shape);
    put(0, 0, 49, 1, 0, 9, 0x05);  // offset 1280
    start();
    replayTick(&song);
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
