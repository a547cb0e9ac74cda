// The tracker's playback rules, each row a rule as the tracker plays it, tick by tick.
#include <gtest/gtest.h>

#include "song_fixture.h"
#include "tracker_pitch.h"

using namespace intro_music::engine;

namespace {

class TrackerRules : public SongFixture {};

constexpr uint8_t keyOff = keyOffNote;
constexpr TickOptions tracker{.tracker = true};
constexpr TickOptions trackerLinear{.linear = true, .tracker = true};

void sustainedEnvelope(Instrument& instrument) {
    instrument.volumeEnvelopeFlags = EnvelopeOn | EnvelopeSustain;
    instrument.volumePointCount = 2;
    instrument.volumeEnvelope[0] = {0, 64};
    instrument.volumeEnvelope[1] = {10, 64};
    instrument.volumeSustainPoint = 1;
    instrument.fadeout = 4096;
}

void fadeoutOnly(Instrument& instrument) { instrument.fadeout = 4096; }

void fallingEnvelope(Instrument& instrument) {
    instrument.volumeEnvelopeFlags = EnvelopeOn;
    instrument.volumePointCount = 2;
    instrument.volumeEnvelope[0] = {0, 64};
    instrument.volumeEnvelope[1] = {10, 0};
}

// A panning envelope from hard left, 2 a tick; alone, beside a sustained or beside a falling volume envelope.
void panningRamp(Instrument& instrument) {
    instrument.panningEnvelopeFlags = EnvelopeOn;
    instrument.panningPointCount = 2;
    instrument.panningEnvelope[0] = {0, 0};
    instrument.panningEnvelope[1] = {32, 64};
}

void panningRampBesideSustain(Instrument& instrument) {
    panningRamp(instrument);
    sustainedEnvelope(instrument);
}

void panningRampBesideFall(Instrument& instrument) {
    panningRamp(instrument);
    fallingEnvelope(instrument);
}

void autoVibrato(Instrument& instrument) {
    instrument.vibratoDepth = 8;
    instrument.vibratoRate = 64;
}

void sweptAutoVibrato(Instrument& instrument) {
    instrument.vibratoDepth = 15;
    instrument.vibratoRate = 64;
    instrument.vibratoSweep = 4;
}

TEST(TrackerPitch, TablesAndFrequencies) {
    struct Row {
        const char* rule;
        bool linear;
        int32_t period;
        double hertz;
    };
    const Row rows[] = {
        {"linear period 4608 is C-4 at 8363 Hz", true, 4608, 8363.0},
        {"an octave is 768 linear units", true, 4608 - 768, 16726.0},
        {"the fraction of a hertz is kept", true, 4607, 8370.53125},
        {"Amiga period 1712 is C-4 at 8363 Hz", false, 1712, 8363.0},
        {"periods are 16-bit: 65536 more is the same pitch", true, 65536 + 4608, 8363.0},
        {"period 0 has no pitch", true, 0, 0.0},
    };
    for (const Row& row : rows) EXPECT_DOUBLE_EQ(trackerFrequency(row.linear, row.period), row.hertz) << row.rule;

    EXPECT_EQ(trackerNotePeriod(false, 48, 0, false), 1712) << "Amiga C-4";
    EXPECT_EQ(trackerNotePeriod(false, 48, -128, false), 1814) << "Amiga finetune -128 is the table's step below C-4";
    EXPECT_EQ(trackerNotePeriod(true, 48, -128, false), 4672) << "linear finetune -128 is a semitone down";
    EXPECT_EQ(trackerNotePeriod(true, 48, -85, false), 4652) << "the table loses the finetune's lowest bits: -85 is -88";
    EXPECT_EQ(trackerNotePeriod(true, 48, -85, true), 4650) << "unless the song was saved to keep them";
    EXPECT_EQ(trackerNotePeriod(false, 48, 15, false), trackerNotePeriod(false, 48, 8, false))
        << "Amiga periods too: 15 is 8";
    EXPECT_EQ(2 * trackerNotePeriod(false, 48, -8, false),
              trackerNotePeriod(false, 48, 0, false) + trackerNotePeriod(false, 48, -16, false))
        << "Amiga finetune -8 lies halfway between C-4 and the table's step below";
    EXPECT_EQ(trackerArpeggioPeriod(true, 4608 - 20, 0, 0, false), 4608) << "the arpeggio rounds a slid period to a note";
    EXPECT_EQ(trackerArpeggioPeriod(true, 4608 - 40, 0, 1, false), 4608 - 128) << "and counts up from the nearest note";
    EXPECT_EQ(trackerArpeggioPeriod(true, 1600, 0, 12, false), 1540) << "capped a step below note 96";
    EXPECT_EQ(trackerArpeggioPeriod(true, 1608, -16, 1, false), 1540) << "finetunes -16..-9 reach the cap's own index";
    EXPECT_EQ(trackerArpeggioPeriod(true, 1608, -16, 0, false), 1608) << "one note below it is not capped";
    EXPECT_EQ(trackerArpeggioPeriod(true, 4622, -28, 7, false), 4622 - 448 + 2) << "its notes lose the finetune's low bits";
    EXPECT_EQ(trackerArpeggioPeriod(true, 4622, -28, 7, true), 4622 - 448) << "unless the song keeps them";
}

// Each row: one of the tracker's rules, the cells of channel 0 row by row, the watched value after each tick.
TEST_F(TrackerRules, TickByTick) {
    const TickCase cases[] = {
        {"arpeggio counts the ticks left in the row: low nibble, high nibble, note", Watch::PeriodOffset,
         {{49, 1, 0, 0, 0x47}}, {0, -448, -256, 0, -448, -256}, trackerLinear},
        {"past 16 ticks left the arpeggio reads on: none at 16, the low nibble above", Watch::PeriodOffset,
         {{49, 1, 0, 0, 0x47}}, {0, -448, 0, 0, -448}, {.linear = true, .speed = 18, .tracker = true}},
        {"the arpeggio note is capped a step below note 96", Watch::PeriodOffset, {{96, 1, 0, 0, 0x0C}},
         {0, -60, 0, 0, -60, 0}, trackerLinear},
        {"E5x beside a note sets its finetune (E50 lowest, E5F highest); the next note has the sample's again",
         Watch::Period, {{49, 1, 0, 14, 0x50}, {49, 1}, {49, 1, 0, 14, 0x5F}}, {4672, 4608, 4552},
         {.linear = true, .every = 6, .tracker = true}},
        {"portamento down stops at period 31999", Watch::Period, {{1, 1, 0, 2, 0xFF}},
         {27392, 28412, 29432, 30452, 31472, 31999}, tracker},
        {"portamento up goes down to period 1", Watch::Period, {{49, 1, 0, 1, 0xFF}},
         {4608, 3588, 2568, 1548, 528, 1}, trackerLinear},
        {"a note delay holds the whole cell: the note comes on its tick", Watch::Period,
         {{49, 1}, {61, 1, 0, 14, 0xD3}}, {4608, 4608, 4608, 4608, 4608, 4608, 4608, 4608, 4608, 3840, 3840},
         trackerLinear},
        {"a delayed note without instrument keeps the channel's volume", Watch::Volume,
         {{49, 1, 0x20}, {61, 0, 0, 14, 0xD2}}, {16, 16, 16, 16, 16, 16, 16, 16, 16, 16}, tracker},
        {"a note delay without a note plays the last note again", Watch::VoiceIndex,
         {{49, 1}, {0, 0, 0, 14, 0xD2}}, {0, 0, 0, 0, 0, 0, 0, 0, 32, 32}, tracker},
        {"ED0 is no delay: the note starts at once", Watch::Period, {{49, 1}, {61, 1, 0, 14, 0xD0}},
         {4608, 4608, 4608, 4608, 4608, 4608, 3840, 3840}, trackerLinear},
        {"a delayed key-off restarts the envelopes and releases nothing", Watch::Fadeout,
         {{49, 1}, {keyOff, 0, 0, 14, 0xD2}}, Values(12, 65536), {.setup = sustainedEnvelope, .tracker = true}},
        {"Kxx releases the note on tick xx: its fade-out starts on that tick", Watch::Fadeout, {{49, 1, 0, 20, 3}},
         {65536, 65536, 65536, 61440, 57344, 53248}, {.setup = sustainedEnvelope, .tracker = true}},
        {"K00 ignores the note beside it", Watch::Period, {{49, 1}, {61, 0, 0, 20, 0}},
         {4608, 4608, 4608, 4608, 4608, 4608, 4608, 4608}, trackerLinear},
        {"a key-off silences a note without volume envelope through its volume", Watch::Volume,
         {{49, 1}, {keyOff}}, {64, 64, 64, 64, 64, 64, 0, 0}, tracker},
        {"a volume beside the key-off brings the note back, and it fades", Watch::Volume,
         {{49, 1}, {keyOff, 0, 0x30}}, {64, 64, 64, 64, 64, 64, 32, 32}, {.setup = fadeoutOnly, .tracker = true}},
        {"a key-off with an instrument brings the volume back: the note fades instead of stopping", Watch::Volume,
         {{49, 1, 0x20}, {keyOff, 1}}, {16, 16, 16, 16, 16, 16, 64, 64}, {.setup = fadeoutOnly, .tracker = true}},
        {"E90 plays the note again on the first tick", Watch::VoiceIndex, {{49, 1}, {0, 0, 0, 14, 0x90}},
         {0, 0, 0, 0, 0, 0, 32, 32}, tracker},
        {"E90 plays the same note again", Watch::Period, {{49, 1}, {0, 0, 0, 14, 0x90}}, {4608, 4608},
         {.linear = true, .every = 6, .tracker = true}},
        {"EAx and EBx keep their own memories", Watch::Volume,
         {{49, 1, 0x30, 14, 0xA4}, {0, 0, 0, 14, 0xB2}, {0, 0, 0, 14, 0xA0}, {0, 0, 0, 14, 0xB0}},
         {36, 34, 38, 36}, {.every = 6, .tracker = true}},
        {"tremor T12 counts after the first tick (an instrument holds it off there): on for two, off for three",
         Watch::VoiceVolume,
         {{49, 1, 0, 29, 0x12}}, {127, 127, 127, 0, 0, 0, 127, 127}, {.speed = 8, .tracker = true}},
        {"a note the tremor silenced stays silent until an instrument number", Watch::VoiceVolume,
         {{49, 1, 0, 29, 0x11}, {}, {0, 1}}, {127, 127, 127, 0, 0, 0, 0, 0, 127, 127, 127, 127},
         {.speed = 4, .tracker = true}},
        {"the volume column's portamento glides to the note instead of starting it", Watch::Period,
         {{49, 1}, {61, 0, 0xF1}}, {4608, 4608, 4608, 4608, 4608, 4608, 4608, 4544, 4480}, trackerLinear},
        {"a 3xx beside it loses its parameter, and both slide", Watch::Period, {{49, 1}, {61, 0, 0xF1, 3, 0xFF}},
         {4608, 4608, 4608, 4608, 4608, 4608, 4608, 4480, 4352}, trackerLinear},
        {"vibrato moves the period by its full depth, up first", Watch::PeriodOffset, {{49, 1, 0, 4, 0x87}},
         {0, 0, 39, 55, 39, 0, -39, -55}, {.linear = true, .speed = 8, .tracker = true}},
        {"tremolo sets the volume on its rows' first tick too, where its wave stands", Watch::Heard,
         {{49, 1, 0x20, 14, 0x72}, {0, 0, 0, 7, 0x8F}}, {16, 16, 16, 16, 16, 16, 64, 64, 64, 64, 64, 0}, tracker},
        {"the tremolo's ramp turns over in the vibrato's falling half", Watch::Heard,
         {{49, 1, 0x10, 4, 0x80}, {0, 0, 0, 14, 0x71}, {0, 0, 0, 7, 0x4F}},
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 59, 59, 52, 44, 37, 29}, tracker},
        {"an instrument number without a note, even one the song lacks, brings back the playing sample's volume",
         Watch::Volume, {{49, 1, 0x20}, {0, 9}}, {16, 16, 16, 16, 16, 16, 64, 64}, tracker},
        {"before any note, an instrument number alone takes its own sample's volume", Watch::Volume, {{0, 1}},
         {64, 64}, tracker},
        {"glissando (E31): the tone portamento sounds whole notes, the nearest to its slid period", Watch::PeriodOffset,
         {{49, 1, 0, 14, 0x31}, {61, 0, 0, 3, 0x06}}, {0, 0, 0, 0, 0, 0, 0, 24, -16, 8, 32, -8}, trackerLinear},
        {"auto-vibrato moves before it is read and starts downwards", Watch::PeriodOffset, {{49, 1}},
         {-8, 0, 7, 0}, {.linear = true, .setup = autoVibrato, .tracker = true}},
        {"a held note's auto-vibrato sweeps up to its full depth and stays there", Watch::PeriodOffset, {{49, 1}},
         {-4, 0, 11, 0, -15, 0, 14, 0, -15}, {.linear = true, .setup = sweptAutoVibrato, .tracker = true}},
        {"each new note sweeps again from the start, though the last one's sweep had finished", Watch::PeriodOffset,
         {{49, 1}, {49, 1}}, {-4, 0, 11, 0, -15, 0, -4, 0, 11, 0, -15, 0},
         {.linear = true, .setup = sweptAutoVibrato, .tracker = true}},
        {"a note without a portamento leaves the glide's target: a later 3xx without a note glides on to it",
         Watch::Period, {{49, 1}, {61, 0, 0, 3, 0x08}, {49, 1}, {0, 0, 0, 3, 0}}, {4608, 4448, 4608, 4448},
         {.linear = true, .every = 6, .tracker = true}},
        {"a 3xx before any note beside a portamento has no target and does not glide", Watch::Period,
         {{49, 1}, {0, 0, 0, 3, 0x08}}, {4608, 4608}, {.linear = true, .every = 6, .tracker = true}},
        {"once a glide came down onto its target, a later one from a period above jumps there", Watch::Period,
         {{49, 1}, {61, 0, 0, 3, 0xFF}, {0, 0, 0, 2, 0x08}, {0, 0, 0, 3, 0x01}}, {4608, 3840, 4000, 3840},
         {.linear = true, .every = 6, .tracker = true}},
        {"a note beside a portamento aims afresh: from above it glides again", Watch::Period,
         {{49, 1}, {61, 0, 0, 3, 0xFF}, {49, 1}, {61, 0, 0, 3, 0x08}}, {4608, 3840, 4608, 4448},
         {.linear = true, .every = 6, .tracker = true}},
        {"after a row's first tick envelopes move after the effects: a note delayed to tick 2 moves its envelope at once",
         Watch::EnvelopeOutput, {{49, 1}, {49, 1, 0, 14, 0xD2}}, {64, 57, 51, 44, 38, 32, 25, 19, 64, 57, 51},
         {.setup = fallingEnvelope, .tracker = true}},
        {"on the first tick they move before: an envelope position set there is heard as set", Watch::EnvelopeOutput,
         {{49, 1}, {0, 0, 0, 21, 0x02}}, {64, 57, 51, 44, 38, 32, 51, 44, 38}, {.setup = fallingEnvelope, .tracker = true}},
        {"Lxx moves the panning envelope too when the volume envelope's sustain is on", Watch::PanningEnvelopeOutput,
         {{49, 1}, {0, 0, 0, 21, 16}}, {0, 2, 4, 6, 8, 10, 32, 34}, {.setup = panningRampBesideSustain, .tracker = true}},
        {"and leaves it alone when that sustain is off", Watch::PanningEnvelopeOutput, {{49, 1}, {0, 0, 0, 21, 16}},
         {0, 2, 4, 6, 8, 10, 12, 14}, {.setup = panningRampBesideFall, .tracker = true}},
        {"a volume set outright (Cxx) takes the short ramp on its tick only; slides glide", Watch::VolumeSet,
         {{49, 1}, {0, 0, 0, 12, 0x20}, {0, 0, 0, 10, 0x01}}, {1, 0, 1, 0, 0, 0}, {.speed = 2, .tracker = true}},
        {"so do the volume column's set volume and set panning, not its slides", Watch::VolumeSet,
         {{49, 1}, {0, 0, 0x30}, {0, 0, 0xC4}, {0, 0, 0x65}}, {1, 0, 1, 0, 1, 0, 0, 0},
         {.speed = 2, .tracker = true}},
        {"so do 8xx, E8x and an instrument number alone", Watch::VolumeSet,
         {{49, 1}, {0, 0, 0, 8, 0x40}, {0, 0, 0, 14, 0x83}, {0, 1}, {}}, {1, 0, 1, 0, 1, 0, 1, 0, 0, 0},
         {.speed = 2, .tracker = true}},
        {"and a new global volume, slid or set", Watch::VolumeSet,
         {{49, 1}, {0, 0, 0, 17, 0x01}, {0, 0, 0, 16, 0x20}, {}}, {1, 0, 0, 1, 1, 0, 0, 0},
         {.speed = 2, .tracker = true}},
    };
    for (const TickCase& script : cases) expectTicks(script);
}

// The same rows under the presentation's rules play differently: the switches are what tells them apart.
TEST_F(TrackerRules, PresentationRulesDiffer) {
    expectTicks({"presentation: arpeggio by tick mod 3", Watch::PeriodOffset, {{49, 1, 0, 0, 0x47}},
                 {0, 256, 448, 0, 256, 448}, {.linear = true}});
    expectTicks({"presentation: a 3xx without a note aims at the last note played", Watch::Period,
                 {{49, 1}, {61, 0, 0, 3, 0x08}, {49, 1}, {0, 0, 0, 3, 0}}, {4608, 4448, 4608, 4608},
                 {.linear = true, .every = 6}});
    expectTicks({"presentation: K00 with a note starts it", Watch::Period, {{49, 1}, {61, 0, 0, 20, 0}},
                 {4608, 4608, 4608, 4608, 4608, 4608, 3840, 3840}, {.linear = true}});
}

TEST_F(TrackerRules, OffsetOnlyWithAStartingNote) {
    makeSong(1, 1, 16, true);
    song.rules = trackerRules;
    addInstrument({.length = 8192});
    put(0, 0, 49, 1);
    put(1, 0, 61, 0, 0xF1, 9, 0x10);  // beside a portamento: ignored, not remembered
    put(2, 0, 49, 0, 0, 9, 0x20);     // 8192 frames in: the sample's end
    start();
    runRows(2);
    EXPECT_EQ(channel(0).sampleOffsetMemory, 0);
    EXPECT_NE(channel(0).voice->sample, nullptr);
    runRows(1);
    EXPECT_EQ(channel(0).voice->sample, nullptr) << "an offset at or past the end leaves the note silent";
}

// A global volume change on channel 1 reaches channel 0's voice on the same tick, with the short ramp.
TEST_F(TrackerRules, GlobalVolumeReachesEveryChannel) {
    makeSong(2, 1, 16);
    song.rules = trackerRules;
    addInstrument();
    put(0, 0, 49, 1);
    put(1, 1, 0, 0, 0, 16, 0x20);
    start();
    runRows(1);
    EXPECT_EQ(voice(0).volume, 127);
    EXPECT_EQ(voice(0).volumeSet, 0);
    replayTick(engine, &song);
    EXPECT_EQ(voice(0).volume, 63);
    EXPECT_EQ(voice(0).volumeSet, 1);
}

// The rows the song plays, order by order, under the tracker's row flow.
TEST_F(TrackerRules, RowFlow) {
    struct Placed {
        int pattern, row, channel;
        uint8_t effect, parameter;
    };
    struct Case {
        const char* rule;
        std::vector<Placed> cells;
        std::vector<std::pair<int, int>> orderAndRow;
        int restart = 0;
        int rows = 4;
    };
    const Case cases[] = {
        {"the pattern after a loop starts at the loop's row",
         {{0, 1, 0, 14, 0x60}, {0, 2, 0, 14, 0x61}},
         {{0, 0}, {0, 1}, {0, 2}, {0, 1}, {0, 2}, {0, 3}, {1, 1}, {1, 2}}},
        {"a pattern break goes to its row of the next order, and the order after it starts at row 0",
         {{0, 1, 0, 13, 0x02}}, {{0, 0}, {0, 1}, {1, 2}, {1, 3}, {2, 0}}},
        {"a position jump goes to its order; a break beside it sets the row", {{0, 0, 0, 11, 2}, {0, 0, 1, 13, 0x03}},
         {{0, 0}, {2, 3}}},
        {"a break row the pattern lacks starts it from the top", {{0, 0, 0, 13, 0x10}}, {{0, 0}, {1, 0}, {1, 1}}},
        {"a break to the row just past the last starts the pattern from the top", {{0, 0, 0, 13, 0x04}},
         {{0, 0}, {1, 0}, {1, 1}}},
        {"B00 jumps to order 0", {{0, 3, 0, 11, 0}}, {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {0, 0}, {0, 1}}},
        {"B00 on the last order goes to order 0, not to the restart position", {{2, 0, 0, 11, 0}},
         {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {1, 0}, {1, 1}, {1, 2}, {1, 3}, {2, 0}, {0, 0}}, 1},
        {"a jump past the last order goes to the restart position", {{0, 0, 0, 11, 7}}, {{0, 0}, {1, 0}, {1, 1}}, 1},
        {"D63 in 64-row patterns breaks to row 63, the last there is", {{0, 0, 0, 13, 0x63}}, {{0, 0}, {1, 63}, {2, 0}},
         0, 64},
    };
    for (const Case& given : cases) {
        SCOPED_TRACE(given.rule);
        makeSong(2, 3, given.rows);
        song.rules = trackerRules;
        song.restartPosition = static_cast<int16_t>(given.restart);
        addInstrument();
        for (const Placed& at : given.cells) {
            Cell& target = cell(at.pattern, at.row, at.channel);
            target.effect = at.effect;
            target.parameter = at.parameter;
        }
        start();
        std::vector<std::pair<int, int>> played;
        for (size_t index = 0; index < given.orderAndRow.size(); ++index) {
            replayTick(engine, &song);
            played.emplace_back(song.orderPosition, song.row);
            runTicks(song.speed - 1);
        }
        EXPECT_EQ(played, given.orderAndRow);
    }
}

}  // namespace
