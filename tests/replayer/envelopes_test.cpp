// Volume and panning envelopes, fade-out and auto-vibrato, tick by tick.
#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "envelopes.h"
#include "song_fixture.h"
#include "waveforms.h"

namespace {

using Values = std::vector<int>;

class Envelopes : public SongFixture {
protected:
    Instrument& makeEnvelopeSong(std::initializer_list<EnvelopePoint> points, uint8_t flags) {
        makeSong(1, 1, 16);
        Instrument& instrument = addInstrument();
        int index = 0;
        for (const EnvelopePoint& point : points) instrument.volumeEnvelope[index++] = point;
        instrument.volumePointCount = static_cast<uint8_t>(points.size());
        instrument.volumeEnvelopeFlags = flags;
        return instrument;
    }

    Values envelopeOutputs(int count) {
        Values values;
        for (int index = 0; index < count; ++index) {
            replayTick(&song);
            values.push_back(channel(0).volumeEnvelopeOutput);
        }
        return values;
    }
};

// Points (0,64)-(10,0): 64 on the instrument's tick, then falling 419430/65536 per tick, 0 and finished at tick 10.
TEST_F(Envelopes, LinearSegmentValues) {
    makeEnvelopeSong({{0, 64}, {10, 0}}, EnvelopeOn);
    put(0, 0, 49, 1);
    start();
    EXPECT_EQ(envelopeOutputs(12), (Values{64, 57, 51, 44, 38, 32, 25, 19, 12, 6, 0, 0}));
    EXPECT_EQ(channel(0).volumeEnvelopeFinished, 1);
    EXPECT_EQ(channel(0).volumeEnvelopeSlope, -419430);
}

// Sustain at point 0 holds until key-off; on the key-off tick the segment starts, the fall follows.
TEST_F(Envelopes, SustainReleasedByKeyOff) {
    Instrument& instrument = makeEnvelopeSong({{0, 64}, {10, 0}}, EnvelopeOn | EnvelopeSustain);
    instrument.volumeSustainPoint = 0;
    instrument.fadeout = 1000;
    put(0, 0, 49, 1);
    put(2, 0, keyOffNote);
    start();
    EXPECT_EQ(envelopeOutputs(12), Values(12, 64));
    EXPECT_EQ(channel(0).fadeoutVolume, 65536);
    EXPECT_EQ(envelopeOutputs(3), (Values{64, 57, 51}));
    EXPECT_EQ(channel(0).fadeoutVolume, 65536 - 3 * 1000);  // the fade-out starts on the key-off tick itself
}

// A loop from point 1 to point 3 with sustain at 3 is never held at point 3: the loop jump comes first.
TEST_F(Envelopes, LoopJumpsBeforeSustain) {
    Instrument& instrument =
        makeEnvelopeSong({{0, 0}, {2, 40}, {4, 20}, {6, 60}, {20, 0}}, EnvelopeOn | EnvelopeSustain | EnvelopeLoop);
    instrument.volumeLoopStart = 1;
    instrument.volumeLoopEnd = 3;
    instrument.volumeSustainPoint = 3;
    put(0, 0, 49, 1);
    start();
    EXPECT_EQ(envelopeOutputs(12), (Values{0, 20, 40, 30, 20, 40, 40, 30, 20, 40, 40, 30}));
    EXPECT_EQ(channel(0).volumeEnvelopeFinished, 0);
}

// A single-point volume envelope holds its level, also after a key-off (only the fade-out can lower it).
TEST_F(Envelopes, SinglePointHoldsThroughKeyOff) {
    makeEnvelopeSong({{0, 48}}, EnvelopeOn);
    put(0, 0, 49, 1);
    put(1, 0, keyOffNote);
    start();
    EXPECT_EQ(envelopeOutputs(12), Values(12, 48));
    EXPECT_EQ(channel(0).volumeEnvelopeFinished, 1);
    EXPECT_EQ(channel(0).keyOff, 1);
}

// Without a volume envelope a key-off silences the note on its first tick; the fade-out runs unheard.
TEST_F(Envelopes, KeyOffWithoutEnvelope) {
    makeSong(1, 1, 16);
    addInstrument().fadeout = 4095 * 2;
    put(0, 0, 49, 1);
    put(1, 0, keyOffNote);
    start();
    runRows(1);
    replayTick(&song);
    EXPECT_EQ(channel(0).volumeEnvelopeOutput, 0);
    EXPECT_EQ(voiceOf(0).volume, 0);
    runTicks(7);
    EXPECT_EQ(channel(0).fadeoutVolume, 65536 - 8 * 8190);
    replayTick(&song);
    EXPECT_EQ(channel(0).fadeoutVolume, 0);  // 9 ticks for a file value of 4095
}

// With the volume envelope on, the fade-out lowers the final volume from the key-off tick on.
TEST_F(Envelopes, FadeoutWithEnvelope) {
    Instrument& instrument = makeEnvelopeSong({{0, 64}, {100, 64}}, EnvelopeOn);
    instrument.fadeout = 32768;
    put(0, 0, 49, 1);
    put(1, 0, 0, 0, 0, 20, 0);
    start();
    runRows(1);
    EXPECT_EQ(voiceOf(0).volume, 127);
    replayTick(&song);
    EXPECT_EQ(voiceOf(0).volume, 63);
    replayTick(&song);
    EXPECT_EQ(voiceOf(0).volume, 0);
}

// The panning envelope moves the final panning.
TEST_F(Envelopes, PanningEnvelope) {
    makeSong(1, 1, 16);
    Instrument& instrument = addInstrument();
    instrument.panningEnvelope[0] = {0, 32};
    instrument.panningEnvelope[1] = {4, 0};
    instrument.panningPointCount = 2;
    instrument.panningEnvelopeFlags = EnvelopeOn;
    put(0, 0, 49, 1);
    start();
    Values pans;
    for (int tick = 0; tick < 5; ++tick) {
        replayTick(&song);
        pans.push_back(voiceOf(0).pan);
    }
    EXPECT_EQ(pans, (Values{128, 96, 64, 32, 0}));
}

// Set envelope position (effect 21) interpolates within a segment, or finishes past the last point.
TEST_F(Envelopes, SetEnvelopePosition) {
    makeEnvelopeSong({{0, 64}, {10, 0}}, EnvelopeOn);
    put(0, 0, 49, 1, 0, 21, 5);
    put(1, 0, 0, 0, 0, 21, 30);
    start();
    EXPECT_EQ(envelopeOutputs(3), (Values{32, 25, 19}));
    EXPECT_EQ(channel(0).volumeEnvelopeTick, 7);
    runTicks(3);
    EXPECT_EQ(envelopeOutputs(1), (Values{0}));
    EXPECT_EQ(channel(0).volumeEnvelopeFinished, 1);
}

// Envelope positions are not moved when the volume envelope is off.
TEST_F(Envelopes, SetEnvelopePositionNeedsTheEnvelope) {
    makeEnvelopeSong({{0, 64}, {10, 0}}, 0);
    put(0, 0, 49, 1, 0, 21, 5);
    start();
    EXPECT_EQ(envelopeOutputs(1), (Values{64}));
}

// Auto-vibrato square wave: +8, +8, -8, -8 with depth 8 and rate 64, added to the effect offset.
TEST_F(Envelopes, AutoVibratoSquare) {
    makeSong(1, 1, 16);
    Instrument& instrument = addInstrument();
    instrument.vibratoType = 1;
    instrument.vibratoDepth = 8;
    instrument.vibratoRate = 64;
    put(0, 0, 49, 1);
    put(1, 0, 0, 0, 0, 4, 0x0F);  // vibrato at position 0: offset 0 on the first tick
    start();
    Values offsets;
    for (int tick = 0; tick < 7; ++tick) {
        replayTick(&song);
        offsets.push_back(channel(0).periodOffset);
    }
    EXPECT_EQ(offsets, (Values{8, 8, -8, -8, 8, 8, -8}));
    EXPECT_EQ(voiceOf(0).frequency, 14317056 / (1712 - 8));
}

// Auto-vibrato sweep 4: 0/4 of the depth on the instrument's tick, then 1/4, 2/4, 3/4 and full.
TEST_F(Envelopes, AutoVibratoSweep) {
    makeSong(1, 1, 16);
    Instrument& instrument = addInstrument();
    instrument.vibratoType = 1;
    instrument.vibratoDepth = 16;
    instrument.vibratoSweep = 4;
    instrument.vibratoRate = 0;
    put(0, 0, 49, 1);
    start();
    Values offsets;
    for (int tick = 0; tick < 6; ++tick) {
        replayTick(&song);
        offsets.push_back(channel(0).periodOffset);
    }
    EXPECT_EQ(offsets, (Values{0, 4, 8, 12, 16, 16}));
}

// The four auto-vibrato waveforms and the undefined types above 3.
TEST(AutoVibratoWave, Waveforms) {
    EXPECT_EQ(autoVibratoWaveValue(0, 0), 0);
    EXPECT_EQ(autoVibratoWaveValue(0, 64), 63);
    EXPECT_EQ(autoVibratoWaveValue(0, 192), -63);
    EXPECT_EQ(autoVibratoWaveValue(1, 127), 64);
    EXPECT_EQ(autoVibratoWaveValue(1, 128), -64);
    EXPECT_EQ(autoVibratoWaveValue(2, 0), 0);
    EXPECT_EQ(autoVibratoWaveValue(2, 127), -64);
    EXPECT_EQ(autoVibratoWaveValue(2, 128), 64);
    EXPECT_EQ(autoVibratoWaveValue(2, 255), 0);
    EXPECT_EQ(autoVibratoWaveValue(3, 0), 0);
    EXPECT_EQ(autoVibratoWaveValue(3, 128), 64);
    EXPECT_EQ(autoVibratoWaveValue(3, 129), -64);
    EXPECT_EQ(autoVibratoWaveValue(3, 255), -1);
    for (int type : {4, 7, 255})
        for (int position : {0, 64, 200}) EXPECT_EQ(autoVibratoWaveValue(type, position), 0);
}

// Damaged envelopes: counts above 12 and loop, sustain or end indices past the stored points read
// nothing outside the 12 points; equal x values give a flat segment instead of a division by zero.
TEST(EnvelopeStep, DamagedEnvelopesStayInside) {
    MusicChannel channel{};
    EnvelopePoint points[envelopePointCapacity] = {};
    for (int index = 0; index < envelopePointCapacity; ++index)
        points[index] = {static_cast<uint16_t>(index == 5 ? 4 : index), static_cast<uint16_t>(index)};
    int32_t point = 0, tick = 0, output = 0, value = 0, slope = 0;
    uint8_t finished = 0;
    for (int step = 0; step < 40; ++step) {
        envelopeStep(channel, point, tick, EnvelopeOn | EnvelopeLoop | EnvelopeSustain, 200, points, 250, 240, 230,
                     output, value, finished, slope, UpdateVolume);
    }
    EXPECT_EQ(point, 5);  // x of point 5 is below its predecessor: never reached
    EXPECT_EQ(finished, 0);

    // A loop start past the stored points is ignored; the end stops the envelope.
    point = 0;
    tick = 0;
    value = 0;
    finished = 0;
    for (int index = 0; index < envelopePointCapacity; ++index)
        points[index] = {static_cast<uint16_t>(index), static_cast<uint16_t>(index)};
    for (int step = 0; step < 40 && finished == 0; ++step) {
        envelopeStep(channel, point, tick, EnvelopeOn | EnvelopeLoop, 13, points, 11, 20, 0, output, value, finished,
                     slope, UpdateVolume);
    }
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(output, 11);

    // Two points at the same x: slope 0, no division.
    points[0] = {3, 10};
    points[1] = {3, 50};
    points[2] = {9, 50};
    point = 0;
    tick = 3;
    value = 0;
    finished = 0;
    envelopeStep(channel, point, tick, EnvelopeOn, 3, points, 0, 0, 0, output, value, finished, slope, UpdateVolume);
    EXPECT_EQ(slope, 0);
    EXPECT_EQ(output, 10);
}

// Extreme point values and a far envelope position saturate instead of overflowing.
TEST(EnvelopeStep, ExtremeValuesSaturate) {
    MusicChannel channel{};
    Instrument instrument{};
    instrument.volumeEnvelope[0] = {0, 0};
    instrument.volumeEnvelope[1] = {1, 65535};
    instrument.volumeEnvelope[2] = {0, 0};  // x going back: never reached
    instrument.volumePointCount = 3;
    instrument.volumeEnvelopeFlags = EnvelopeOn;
    for (int step = 0; step < 100; ++step) stepEnvelopesAndFadeout(channel, instrument, false);
    EXPECT_EQ(channel.volumeEnvelopeFinished, 0);
    EXPECT_EQ(channel.volumeEnvelopeValue, 2147483647);
    setVolumeEnvelopePosition(channel, instrument, 0);
    EXPECT_EQ(channel.volumeEnvelopeOutput, 0);
    // No points at all: nothing is read.
    instrument.volumePointCount = 0;
    setVolumeEnvelopePosition(channel, instrument, 10);
    EXPECT_EQ(channel.volumeEnvelopeOutput, 0);
}

}  // namespace
