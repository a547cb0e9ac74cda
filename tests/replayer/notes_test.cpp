// Notes and instruments on tick 0, and what reaches the voice.
#include <gtest/gtest.h>

#include "song_fixture.h"

namespace {

class Notes : public SongFixture {};

// A note with an instrument starts its sample with the note's period, full volume and centre panning.
TEST_F(Notes, NoteStartsTheSample) {
    makeSong(2, 1, 8);
    addInstrument();
    put(0, 1, 49, 1);
    start();
    replayTick(&song);
    const MusicChannel& played = channel(1);
    EXPECT_EQ(played.note, 48);
    EXPECT_EQ(played.realNote, 48);
    EXPECT_EQ(played.period, 1712);
    EXPECT_EQ(played.notePeriod, 1712);
    const MixerVoice& output = voice(1);
    EXPECT_EQ(output.sample, &samples[0]);
    EXPECT_EQ(output.frequency, 8362);
    EXPECT_EQ(output.volume, 127);  // 127.5 truncated
    EXPECT_EQ(output.pan, 128);
    EXPECT_EQ(output.leftTarget, 63);
    EXPECT_EQ(output.rightTarget, 63);
    EXPECT_EQ(output.position, 0);
    EXPECT_EQ(output.direction, DirectionForward);
}

// Linear mode: the relative note shifts the played note; 8363 Hz at note 48.
TEST_F(Notes, LinearModeWithRelativeNote) {
    makeSong(1, 1, 8, true);
    SampleShape shape;
    shape.relativeNote = -12;
    addInstrument(shape);
    put(0, 0, 61, 1);
    start();
    replayTick(&song);
    EXPECT_EQ(channel(0).note, 60);
    EXPECT_EQ(channel(0).realNote, 48);
    EXPECT_EQ(channel(0).period, 4608);
    EXPECT_EQ(voice(0).frequency, 8363);
}

// A row without notes still refreshes every channel's frequency and volume.
TEST_F(Notes, EmptyRowRefreshesPitchAndVolume) {
    makeSong(1, 1, 8);
    addInstrument();
    put(0, 0, 49, 1);
    start();
    runRows(1);
    voice(0).frequency = 5;
    voice(0).volume = 5;
    replayTick(&song);
    EXPECT_EQ(voice(0).frequency, 8362);
    EXPECT_EQ(voice(0).volume, 127);
}

// A second note moves the channel to the partner voice; the old voice keeps its note with zero targets.
TEST_F(Notes, RetriggerSwapsToThePartnerVoice) {
    makeSong(3, 1, 8);
    addInstrument();
    put(0, 2, 49, 1);
    put(1, 2, 61, 1);
    put(2, 2, 49, 1);
    start();
    runRows(1);
    voice(2).position = 500;
    replayTick(&song);
    EXPECT_EQ(channel(2).voice, &voice(34));
    EXPECT_EQ(voice(2).sample, &samples[0]);
    EXPECT_EQ(voice(2).position, 500);
    EXPECT_EQ(voice(2).leftTarget, 0);
    EXPECT_EQ(voice(2).rightTarget, 0);
    EXPECT_EQ(voice(2).volume, 0);
    EXPECT_EQ(voice(34).index, 34);
    EXPECT_EQ(voice(34).sample, &samples[0]);
    EXPECT_EQ(voice(34).position, 0);
    EXPECT_EQ(voice(34).leftVolume, 0);
    EXPECT_EQ(voice(34).leftTarget, 63);
    EXPECT_EQ(voice(34).frequency, 14317056 / 856);
    runTicks(5);
    replayTick(&song);
    EXPECT_EQ(channel(2).voice, &voice(2));
    EXPECT_EQ(voice(34).leftTarget, 0);
    EXPECT_EQ(voice(2).index, 2);
}

// An idle voice is reused without a swap.
TEST_F(Notes, IdleVoiceIsReused) {
    makeSong(1, 1, 8);
    addInstrument();
    put(0, 0, 49, 1);
    put(1, 0, 49, 1);
    start();
    runRows(1);
    voice(0).sample = nullptr;  // the mixer reached the end of the sample
    replayTick(&song);
    EXPECT_EQ(channel(0).voice, &voice(0));
    EXPECT_EQ(voice(0).sample, &samples[0]);
}

// An instrument without a note resets volume, panning and envelopes but does not restart the sample.
TEST_F(Notes, InstrumentWithoutNote) {
    makeSong(1, 1, 8);
    SampleShape shape;
    shape.volume = 40;
    shape.panning = 200;
    addInstrument(shape);
    put(0, 0, 49, 1, 0, 12, 10);  // volume 10
    put(0 + 1, 0, 0, 1);
    start();
    runRows(1);
    EXPECT_EQ(channel(0).volume, 10);
    voice(0).position = 321;
    channel(0).fadeoutVolume = 5;
    replayTick(&song);
    EXPECT_EQ(channel(0).volume, 40);
    EXPECT_EQ(channel(0).panning, 200);
    EXPECT_EQ(channel(0).fadeoutVolume, 65536);
    EXPECT_EQ(channel(0).voice, &voice(0));
    EXPECT_EQ(voice(0).position, 321);
    EXPECT_EQ(voice(0).pan, 200);
}

// A note without an instrument starts the current instrument's sample and keeps volume and panning.
TEST_F(Notes, NoteWithoutInstrument) {
    makeSong(1, 1, 8);
    addInstrument();
    put(0, 0, 49, 1, 0, 12, 20);
    put(1, 0, 61);
    start();
    runRows(1);
    channel(0).panning = 90;
    replayTick(&song);
    EXPECT_EQ(channel(0).volume, 20);
    EXPECT_EQ(channel(0).panning, 90);
    EXPECT_EQ(channel(0).period, 856);
    EXPECT_EQ(channel(0).voice, &voice(32));
    EXPECT_EQ(voice(32).sample, &samples[0]);
}

// Key-off with an instrument resets and releases on the same tick; without a volume envelope it is silent.
TEST_F(Notes, KeyOffWithInstrument) {
    makeSong(1, 1, 8);
    addInstrument().fadeout = 100;
    put(0, 0, 49, 1);
    put(1, 0, keyOffNote, 1);
    put(2, 0, 61);
    start();
    runRows(1);
    replayTick(&song);
    EXPECT_EQ(channel(0).keyOff, 1);
    EXPECT_EQ(channel(0).volumeEnvelopeOutput, 0);
    EXPECT_EQ(channel(0).fadeoutVolume, 65536 - 100);
    EXPECT_EQ(voice(0).volume, 0);
    // A new note without an instrument stays released and silent; the fade-out goes on.
    runTicks(5);
    replayTick(&song);
    EXPECT_EQ(channel(0).keyOff, 1);
    EXPECT_EQ(voice(32).sample, &samples[0]);
    EXPECT_EQ(voice(32).volume, 0);
    EXPECT_EQ(channel(0).fadeoutVolume, 65536 - 7 * 100);
}

// Effect 20 releases like a key-off note, whatever its parameter.
TEST_F(Notes, KeyOffEffect) {
    makeSong(1, 1, 8);
    addInstrument();
    put(0, 0, 49, 1, 0, 20, 0x37);
    start();
    replayTick(&song);
    EXPECT_EQ(channel(0).keyOff, 1);
    EXPECT_EQ(voice(0).volume, 0);
}

// Tone portamento keeps the channel's note, sample and period; only notePeriod follows the cell.
TEST_F(Notes, TonePortamentoKeepsNoteAndSample) {
    makeSong(1, 1, 8);
    addInstrument();
    addInstrument();
    put(0, 0, 49, 1);
    put(1, 0, 61, 2, 0, 3, 0);
    start();
    runRows(1);
    channel(0).fadeoutVolume = 5;
    replayTick(&song);
    EXPECT_EQ(channel(0).note, 48);
    EXPECT_EQ(channel(0).instrument, 0);
    EXPECT_EQ(channel(0).sample, &samples[0]);
    EXPECT_EQ(channel(0).period, 1712);
    EXPECT_EQ(channel(0).notePeriod, 856);
    EXPECT_EQ(channel(0).tonePortaTarget, 856);
    EXPECT_EQ(channel(0).voice, &voice(0));  // no new note
    EXPECT_EQ(channel(0).fadeoutVolume, 65536);  // the cell instrument still resets
}

// An instrument beyond the song's instruments is silent but its effects keep running.
TEST_F(Notes, MissingInstrumentIsSilent) {
    makeSong(1, 1, 8);
    addInstrument();
    put(0, 0, 49, 9, 0x30, 10, 0x20);
    start();
    runRows(1);
    EXPECT_EQ(channel(0).instrument, 8);
    EXPECT_EQ(voice(0).sample, &emptySample);
    EXPECT_EQ(emptySample.data, nullptr);
    EXPECT_EQ(emptySample.length, 0u);
    EXPECT_EQ(channel(0).volume, 32 + 2 * 5);
}

// Cell notes past the sample map (a damaged song) select no sample and read nothing outside the map.
TEST_F(Notes, NotesPastTheSampleMap) {
    makeSong(1, 1, 8);
    addInstrument();
    put(0, 0, 120, 1);
    start();
    runRows(1);
    EXPECT_EQ(channel(0).note, 119);
    EXPECT_EQ(voice(0).sample, &emptySample);
}

// Final volume takes channel volume, envelope, fade-out and global volume together.
TEST_F(Notes, FinalVolumeProduct) {
    makeSong(1, 1, 8);
    addInstrument();
    put(0, 0, 49, 1, 0x30);  // volume 32
    put(1, 0, 0, 0, 0, 16, 32);  // global volume 32
    start();
    replayTick(&song);
    EXPECT_EQ(voice(0).volume, 63);  // 63.75
    runTicks(5);
    replayTick(&song);
    EXPECT_EQ(voice(0).volume, 31);  // 31.875
    EXPECT_EQ(voice(0).leftTarget, 31 * 128 / 255);
    EXPECT_EQ(voice(0).rightTarget, 127 * 31 / 255);
}

// Final panning: the panning envelope swings a centred channel the full range, limited to 0..255.
TEST_F(Notes, FinalPanningLimits) {
    makeSong(3, 1, 8);
    for (uint16_t level : {64, 0}) {
        SampleShape shape;
        Instrument& instrument = addInstrument(shape);
        instrument.panningEnvelope[0] = {0, level};
        instrument.panningEnvelope[1] = {10, level};
        instrument.panningPointCount = 2;
        instrument.panningEnvelopeFlags = EnvelopeOn;
    }
    put(0, 0, 49, 1);
    put(0, 1, 49, 2);
    put(0, 2, 49, 2, 0, 8, 255);
    start();
    replayTick(&song);
    EXPECT_EQ(voice(0).pan, 255);  // 128 + 4 x 32 = 256
    EXPECT_EQ(voice(1).pan, 0);    // 128 - 4 x 32
    EXPECT_EQ(voice(2).pan, 255);  // an edge panning does not move
}

}  // namespace
