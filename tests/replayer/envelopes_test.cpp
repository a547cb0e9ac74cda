// Volume and panning envelopes, fade-out and auto-vibrato, tick by tick.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>

#include "envelopes.h"
#include "song_fixture.h"
#include "waveforms.h"

using namespace intro_music::engine;

namespace {

class Envelopes : public SongFixture {};

void setVolumeEnvelope(Instrument& instrument, std::initializer_list<EnvelopePoint> points, uint8_t flags) {
    std::copy(points.begin(), points.end(), instrument.volumeEnvelope);
    instrument.volumePointCount = static_cast<uint8_t>(points.size());
    instrument.volumeEnvelopeFlags = flags;
}

// The (0,64)-(10,0) volume envelope, switched on with the given flags.
void fallingEnvelope(Instrument& instrument, uint8_t flags) {
    setVolumeEnvelope(instrument, {{0, 64}, {10, 0}}, flags);
}

// Each row: one envelope, fade-out or auto-vibrato rule, the instrument it needs, the watched value after each tick.
TEST_F(Envelopes, TickByTick) {
    constexpr uint8_t keyOff = keyOffNote;
    const TickCase cases[] = {
        {"(0,64)-(10,0): 64 on the note's tick, falling 419430/65536 per tick, 0 from tick 10", Watch::EnvelopeOutput,
         {{49, 1}}, {64, 57, 51, 44, 38, 32, 25, 19, 12, 6, 0, 0},
         {.setup = [](Instrument& instrument) { fallingEnvelope(instrument, EnvelopeOn); }}},
        {"sustain at point 0 holds until key-off; the fall starts on the key-off tick", Watch::EnvelopeOutput,
         {{49, 1}, {}, {keyOff}}, {64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 57, 51},
         {.setup = [](Instrument& instrument) { fallingEnvelope(instrument, EnvelopeOn | EnvelopeSustain); }}},
        {"the fade-out starts on the key-off tick itself", Watch::Fadeout,
         {{49, 1}, {}, {keyOff}}, {65536, 65536, 65536, 65536, 65536 - 3 * 1000},
         {.every = 3, .setup = [](Instrument& instrument) {
             fallingEnvelope(instrument, EnvelopeOn | EnvelopeSustain);
             instrument.fadeout = 1000;
         }}},
        {"loop 1..3 with sustain at 3 is never held at point 3: the loop jump comes first", Watch::EnvelopeOutput,
         {{49, 1}}, {0, 20, 40, 30, 20, 40, 40, 30, 20, 40, 40, 30}, {.setup = [](Instrument& instrument) {
             setVolumeEnvelope(instrument, {{0, 0}, {2, 40}, {4, 20}, {6, 60}, {20, 0}},
                               EnvelopeOn | EnvelopeSustain | EnvelopeLoop);
             instrument.volumeLoopStart = 1;
             instrument.volumeLoopEnd = instrument.volumeSustainPoint = 3;
         }}},
        {"a damaged falling segment whose next point lies behind the tick falls on for ever: the output floors at 0",
         Watch::EnvelopeOutput, {{49, 1}}, {64, 48, 32, 16, 0, 0, 0, 0, 0, 0, 0, 0}, {.setup = [](Instrument& instrument) {
             setVolumeEnvelope(instrument, {{0, 64}, {4, 0}, {2, 64}}, EnvelopeOn);
         }}},
        {"a single-point envelope holds its level, also after a key-off", Watch::EnvelopeOutput,
         {{49, 1}, {keyOff}}, Values(12, 48),
         {.setup = [](Instrument& instrument) { setVolumeEnvelope(instrument, {{0, 48}}, EnvelopeOn); }}},
        {"without a volume envelope a key-off silences the note on its first tick", Watch::VoiceVolume,
         {{49, 1}, {keyOff}}, {127, 127, 127, 127, 127, 127, 0, 0}},
        {"fade-out 4095 (stored doubled) runs out in 9 ticks, unheard without an envelope", Watch::Fadeout,
         {{49, 1}, {keyOff}}, {65536, 65536, 65536, 65536, 65536, 65536, 57346, 49156, 40966, 32776, 24586, 16396,
                                8206, 16, 0},
         {.setup = [](Instrument& instrument) { instrument.fadeout = 4095 * 2; }}},
        {"with the envelope on, the fade-out lowers the final volume from the key-off (effect 20, any parameter)",
         Watch::VoiceVolume, {{49, 1}, {0, 0, 0, 20, 0x37}}, {127, 127, 127, 127, 127, 127, 63, 0},
         {.setup = [](Instrument& instrument) {
             setVolumeEnvelope(instrument, {{0, 64}, {100, 64}}, EnvelopeOn);
             instrument.fadeout = 32768;
         }}},
        {"the panning envelope moves the final panning", Watch::VoicePan, {{49, 1}}, {128, 96, 64, 32, 0},
         {.setup = [](Instrument& instrument) {
             instrument.panningEnvelope[0] = {0, 32};
             instrument.panningEnvelope[1] = {4, 0};
             instrument.panningPointCount = 2;
             instrument.panningEnvelopeFlags = EnvelopeOn;
         }}},
        {"the panning envelope goes on after a shorter volume envelope has finished", Watch::VoicePan, {{49, 1}},
         {128, 96, 64, 32, 0}, {.setup = [](Instrument& instrument) {
             setVolumeEnvelope(instrument, {{0, 64}, {1, 64}}, EnvelopeOn);
             instrument.panningEnvelope[0] = {0, 32};
             instrument.panningEnvelope[1] = {4, 0};
             instrument.panningPointCount = 2;
             instrument.panningEnvelopeFlags = EnvelopeOn;
         }}},
        {"set envelope position interpolates within a segment, or ends past the last point", Watch::EnvelopeOutput,
         {{49, 1, 0, 21, 5}, {0, 0, 0, 21, 30}}, {32, 25, 19, 12, 6, 0, 0},
         {.setup = [](Instrument& instrument) { fallingEnvelope(instrument, EnvelopeOn); }}},
        {"L03 at a point's x stays before it: 63 by the slope, then the sustain point (3,64) holds",
         Watch::EnvelopeOutput, {{49, 1, 0, 21, 3}}, {63, 64, 64, 64}, {.setup = [](Instrument& instrument) {
             setVolumeEnvelope(instrument, {{0, 0}, {3, 64}, {10, 0}}, EnvelopeOn | EnvelopeSustain);
             instrument.volumeSustainPoint = 1;
         }}},
        {"set envelope position does nothing while the volume envelope is off", Watch::EnvelopeOutput,
         {{49, 1, 0, 21, 5}}, {64}, {.setup = [](Instrument& instrument) { fallingEnvelope(instrument, 0); }}},
        {"auto-vibrato square, depth 8, rate 64: +8, +8, -8, -8, added to the vibrato effect's offset",
         Watch::PeriodOffset, {{49, 1}, {0, 0, 0, 4, 0x0F}}, {8, 8, -8, -8, 8, 8, -8},
         {.setup = [](Instrument& instrument) {
             instrument.vibratoType = 1;
             instrument.vibratoDepth = 8;
             instrument.vibratoRate = 64;
         }}},
        {"auto-vibrato sweep 4: 0/4 of the depth on the note's tick, then 1/4, 2/4, 3/4 and full",
         Watch::PeriodOffset, {{49, 1}}, {0, 4, 8, 12, 16, 16}, {.setup = [](Instrument& instrument) {
             instrument.vibratoType = 1;
             instrument.vibratoDepth = 16;
             instrument.vibratoSweep = 4;
         }}},
    };
    for (const TickCase& script : cases) expectTicks(script);
}

// The four auto-vibrato waveforms; types above 3 give no vibrato.
TEST(AutoVibratoWave, Waveforms) {
    const int cases[][3] = {  // type, position, value
        {0, 0, 0},    {0, 64, 63},  {0, 192, -63}, {1, 127, 64},  {1, 128, -64}, {2, 0, 0},     {2, 127, -64},
        {2, 128, 64}, {2, 255, 0},  {3, 0, 0},     {3, 128, 64},  {3, 129, -64}, {3, 255, -1},  {4, 64, 0},
        {7, 200, 0},  {255, 0, 0},  {255, 64, 0},
    };
    for (const auto& [type, position, value] : cases) {
        EXPECT_EQ(autoVibratoWaveValue(type, position), value) << type << " at " << position;
    }
}

// Damaged envelopes: counts above 12 and loop, sustain or end indices past the stored points read
// nothing outside the 12 points; equal x values give a flat segment instead of a division by zero.
TEST(EnvelopeStep, DamagedEnvelopesStayInside) {
    MusicChannel channel{};
    EnvelopePoint points[envelopePointCapacity] = {};
    int32_t point = 0, tick = 0, output = 0, value = 0, slope = 0;
    uint8_t finished = 0;
    auto step = [&](uint8_t flags, int32_t count, int32_t sustain, int32_t loopStart, int32_t loopEnd) {
        envelopeStep(channel, point, tick, flags, count, points, sustain, loopStart, loopEnd, output, value, finished,
                     slope, UpdateVolume);
    };
    for (int index = 0; index < envelopePointCapacity; ++index)
        points[index] = {static_cast<uint16_t>(index == 5 ? 4 : index), static_cast<uint16_t>(index)};
    for (int count = 0; count < 40; ++count) step(EnvelopeOn | EnvelopeLoop | EnvelopeSustain, 200, 250, 240, 230);
    EXPECT_EQ(point, 5);  // x of point 5 is below its predecessor: never reached
    EXPECT_EQ(finished, 0);

    // A loop start past the stored points is ignored; the end stops the envelope.
    point = tick = value = finished = 0;
    points[5] = {5, 5};
    for (int count = 0; count < 40 && finished == 0; ++count) step(EnvelopeOn | EnvelopeLoop, 13, 11, 20, 0);
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(output, 11);

    // Two points at the same x: slope 0, no division.
    points[0] = {3, 10};
    points[1] = {3, 50};
    points[2] = {9, 50};
    point = value = finished = 0;
    tick = 3;
    step(EnvelopeOn, 3, 0, 0, 0);
    EXPECT_EQ(slope, 0);
    EXPECT_EQ(output, 10);
}

// Extreme point values and a far envelope position saturate instead of overflowing; no points reads nothing.
TEST(EnvelopeStep, ExtremeValuesSaturate) {
    MusicChannel channel{};
    Instrument instrument{};
    instrument.volumeEnvelope[1] = {1, 65535};  // point 2 at x 0 goes back: never reached
    instrument.volumePointCount = 3;
    instrument.volumeEnvelopeFlags = EnvelopeOn;
    for (int step = 0; step < 100; ++step) stepEnvelopesAndFadeout(channel, instrument, false);
    EXPECT_EQ(channel.volumeEnvelopeFinished, 0);
    EXPECT_EQ(channel.volumeEnvelopeValue, 2147483647);
    setVolumeEnvelopePosition(channel, instrument, 0);
    EXPECT_EQ(channel.volumeEnvelopeOutput, 0);
    instrument.volumePointCount = 0;
    setVolumeEnvelopePosition(channel, instrument, 10);
    EXPECT_EQ(channel.volumeEnvelopeOutput, 0);
}

// Envelope outputs stay within 0..64 whatever the points say: a point of 65535 (damaged file) plays at full level,
// on a segment, at its end, at a sustain point and through the set-envelope-position effect.
TEST(EnvelopeStep, OutputsAreLimitedToFullLevel) {
    struct Case {
        const char* rule;
        uint8_t flags;
        int32_t steps;
    };
    const Case cases[] = {
        {"on the segment towards the loud point", EnvelopeOn, 3},
        {"at the last point", EnvelopeOn, 20},
        {"held at a sustain point", EnvelopeOn | EnvelopeSustain, 20},
    };
    for (const Case& rule : cases) {
        MusicChannel channel{};
        Instrument instrument{};
        instrument.volumeEnvelope[0] = {0, 64};
        instrument.volumeEnvelope[1] = {4, 65535};
        instrument.volumePointCount = 2;
        instrument.volumeSustainPoint = 1;
        instrument.volumeEnvelopeFlags = rule.flags;
        for (int step = 0; step < rule.steps; ++step) stepEnvelopesAndFadeout(channel, instrument, step == 0);
        EXPECT_EQ(channel.volumeEnvelopeOutput, fullEnvelopeVolume) << rule.rule;
    }
    MusicChannel channel{};
    Instrument instrument{};
    instrument.volumeEnvelope[0] = {0, 0};
    instrument.volumeEnvelope[1] = {100, 65535};
    instrument.volumePointCount = 2;
    instrument.volumeEnvelopeFlags = EnvelopeOn;
    setVolumeEnvelopePosition(channel, instrument, 50);
    EXPECT_EQ(channel.volumeEnvelopeOutput, fullEnvelopeVolume) << "set position halfway";
    setVolumeEnvelopePosition(channel, instrument, 200);
    EXPECT_EQ(channel.volumeEnvelopeOutput, fullEnvelopeVolume) << "set position past the end";
}

}  // namespace
