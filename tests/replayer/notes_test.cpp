// Notes and instruments on tick 0, and what reaches the voice.
#include <gtest/gtest.h>

#include "song_fixture.h"

namespace {

class Notes : public SongFixture {};

// A note with an instrument starts its sample on the channel's voice: period, 8362 Hz, volume 127.5 truncated, centre.
TEST_F(Notes, NoteStartsTheSample) {
    makeSong(2, 1, 8);
    addInstrument();
    put(0, 1, 49, 1);
    start();
    replayTick(engine, &song);
    EXPECT_EQ(channel(1).period, 1712);
    EXPECT_EQ(voice(1).sample, &samples[0]);
    EXPECT_EQ(voice(1).frequency, 8362);
    EXPECT_EQ(voice(1).volume, 127);
    EXPECT_EQ(voice(1).leftTarget, 63);
    EXPECT_EQ(voice(1).rightTarget, 63);
}

// A row without notes still refreshes every channel's frequency and volume.
TEST_F(Notes, EmptyRowRefreshesPitchAndVolume) {
    makeSong(1, 1, 8);
    addInstrument();
    put(0, 0, 49, 1);
    start();
    runRows(1);
    voice(0).frequency = voice(0).volume = 5;
    replayTick(engine, &song);
    EXPECT_EQ(voice(0).frequency, 8362);
    EXPECT_EQ(voice(0).volume, 127);
}

// A second note moves the channel to the partner voice, which ramps in; the old one keeps playing with zero targets.
TEST_F(Notes, RetriggerSwapsToThePartnerVoice) {
    makeSong(3, 1, 8);
    addInstrument();
    put(0, 2, 49, 1);
    put(1, 2, 61, 1);
    put(2, 2, 49, 1);
    start();
    runRows(1);
    voice(2).position = 500;
    replayTick(engine, &song);
    EXPECT_EQ(channel(2).voice, &voice(34));
    EXPECT_EQ(voice(2).position, 500);
    EXPECT_EQ(voice(2).leftTarget, 0);
    EXPECT_EQ(voice(2).rightTarget, 0);
    EXPECT_EQ(voice(34).index, 34);
    EXPECT_EQ(voice(34).sample, &samples[0]);
    EXPECT_EQ(voice(34).leftVolume, 0);
    EXPECT_EQ(voice(34).leftTarget, 63);
    runRows(1);
    EXPECT_EQ(channel(2).voice, &voice(2));
    EXPECT_EQ(voice(34).leftTarget, 0);
}

// Each row: one rule for notes and instruments, the cells of channel 0 row by row, the watched value after each tick.
TEST_F(Notes, TickByTick) {
    constexpr uint8_t keyOff = keyOffNote;
    const TickCase cases[] = {
        {"linear mode: the relative note shifts the played note", Watch::Period, {{61, 1}}, {4608},
         {.linear = true, .setup = [](Instrument& instrument) { instrument.samples[0]->relativeNote = -12; }}},
        {"a note without an instrument keeps the channel's volume", Watch::Volume,
         {{49, 1, 0x30, 8, 90}, {61}}, {32, 32}, {.every = 6}},
        {"a note without an instrument keeps the channel's panning", Watch::Panning,
         {{49, 1, 0x30, 8, 90}, {61}}, {90, 90}, {.every = 6}},
        {"a note without an instrument restarts the current sample on the partner voice", Watch::VoiceIndex,
         {{49, 1, 0x30, 8, 90}, {61}}, {0, 32}, {.every = 6}},
        {"key-off with an instrument releases on its tick; a later note without one stays released",
         Watch::VoiceVolume, {{49, 1}, {keyOff, 1}, {61}}, {127, 127, 127, 127, 127, 127, 0, 0, 0, 0, 0, 0, 0}},
        {"the fade-out runs from the key-off tick and goes on through a later note", Watch::Fadeout,
         {{49, 1}, {keyOff, 1}, {61}}, {65536, 65536 - 600, 65536 - 1200},
         {.every = 6, .setup = [](Instrument& instrument) { instrument.fadeout = 100; }}},
        {"final volume: channel volume 32 x global volume 32 of 127.5", Watch::VoiceVolume,
         {{49, 1, 0x30}, {0, 0, 0, 16, 32}}, {63, 63, 63, 63, 63, 63, 31}},
    };
    for (const TickCase& script : cases) expectTicks(script);
}

// An idle voice (the mixer reached the end of its sample) is reused without a swap.
TEST_F(Notes, IdleVoiceIsReused) {
    makeSong(1, 1, 8);
    addInstrument();
    put(0, 0, 49, 1);
    put(1, 0, 49, 1);
    start();
    runRows(1);
    voice(0).sample = nullptr;
    replayTick(engine, &song);
    EXPECT_EQ(channel(0).voice, &voice(0));
    EXPECT_EQ(voice(0).sample, &samples[0]);
}

// An instrument without a note resets volume, panning and fade-out but does not restart the sample.
TEST_F(Notes, InstrumentWithoutNote) {
    makeSong(1, 1, 8);
    addInstrument({.volume = 40, .panning = 200});
    put(0, 0, 49, 1, 0, 12, 10);  // volume 10
    put(1, 0, 0, 1);
    start();
    runRows(1);
    voice(0).position = 321;
    channel(0).fadeoutVolume = 5;
    replayTick(engine, &song);
    EXPECT_EQ(channel(0).volume, 40);
    EXPECT_EQ(voice(0).pan, 200);
    EXPECT_EQ(channel(0).fadeoutVolume, 65536);
    EXPECT_EQ(channel(0).voice, &voice(0));
    EXPECT_EQ(voice(0).position, 321);
}

// Tone portamento keeps the channel's note, sample and period; only the target follows the cell.
TEST_F(Notes, TonePortamentoKeepsNoteAndSample) {
    makeSong(1, 1, 8);
    addInstrument();
    addInstrument();
    put(0, 0, 49, 1);
    put(1, 0, 61, 2, 0, 3, 0);
    start();
    runRows(1);
    channel(0).fadeoutVolume = 5;
    replayTick(engine, &song);
    EXPECT_EQ(channel(0).note, 48);
    EXPECT_EQ(channel(0).sample, &samples[0]);
    EXPECT_EQ(channel(0).period, 1712);
    EXPECT_EQ(channel(0).tonePortaTarget, 856);
    EXPECT_EQ(channel(0).voice, &voice(0));      // no new note
    EXPECT_EQ(channel(0).fadeoutVolume, 65536);  // the cell's instrument still resets
}

// An instrument beyond the song's, or a sample map entry past the instrument's samples, plays the silent empty
// sample; effects keep running.
TEST_F(Notes, MissingInstrumentOrSampleIsSilent) {
    makeSong(2, 1, 8);
    addInstrument().sampleMap[59] = 20;
    put(0, 0, 49, 9, 0x30, 10, 0x20);
    put(0, 1, 60, 1);
    start();
    runRows(1);
    EXPECT_EQ(voice(0).sample, &emptySample);
    EXPECT_EQ(emptySample.data, nullptr);
    EXPECT_EQ(emptySample.length, 0u);
    EXPECT_EQ(channel(0).volume, 32 + 2 * 5);
    EXPECT_EQ(voice(1).sample, &emptySample);
}

// Final panning: the panning envelope swings a centred channel the full range, limited to 0..255.
TEST_F(Notes, FinalPanningLimits) {
    makeSong(3, 1, 8);
    for (uint16_t level : {64, 0}) {
        Instrument& instrument = addInstrument();
        instrument.panningEnvelope[0] = {0, level};
        instrument.panningEnvelope[1] = {10, level};
        instrument.panningPointCount = 2;
        instrument.panningEnvelopeFlags = EnvelopeOn;
    }
    put(0, 0, 49, 1);
    put(0, 1, 49, 2);
    put(0, 2, 49, 2, 0, 8, 255);
    start();
    replayTick(engine, &song);
    EXPECT_EQ(voice(0).pan, 255);  // 128 + 4 x 32 = 256
    EXPECT_EQ(voice(1).pan, 0);    // 128 - 4 x 32
    EXPECT_EQ(voice(2).pan, 255);  // an edge panning does not move
}

}  // namespace

// The period tables cover notes 0..118 once the sample's relative note is added. A note outside them does not
// start: the channel keeps its note and voice as if the cell had none, while the cell's instrument still resets it.
TEST_F(Notes, NotesOutsideThePeriodTablesDoNotStart) {
    struct Case {
        const char* rule;
        uint8_t cellNote;
        int8_t relativeNote;
        bool starts;
    };
    const Case cases[] = {
        {"C-0 with relative note 0 is note 0, the lowest", 1, 0, true},
        {"C-0 with relative note -1 is below the tables", 1, -1, false},
        {"B-7 with relative note 23 is note 118, the highest", 96, 23, true},
        {"B-7 with relative note 24 is above the tables", 96, 24, false},
        {"an invalid cell note beyond the sample map is above them as well", 120, 0, false},
    };
    makeSong(5, 1, 8);
    for (int index = 0; index < 5; ++index) {
        addInstrument({.volume = 40, .relativeNote = cases[index].relativeNote});
        put(0, index, cases[index].cellNote, static_cast<uint8_t>(index + 1));
    }
    start();
    runRows(1);
    for (int index = 0; index < 5; ++index) {
        const Case& rule = cases[index];
        EXPECT_EQ(voice(index).sample != nullptr, rule.starts) << rule.rule;
        EXPECT_EQ(channel(index).note, rule.starts ? rule.cellNote - 1 : 0) << rule.rule;
        EXPECT_EQ(channel(index).volume, 40) << rule.rule;  // the instrument number still counts
    }
}
