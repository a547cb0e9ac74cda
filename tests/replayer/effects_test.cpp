// The effect column and the volume column, tick by tick.
#include <gtest/gtest.h>

#include <vector>

#include "song_fixture.h"
#include "waveforms.h"

namespace {

class Effects : public SongFixture {
protected:
    // One channel, one instrument, Amiga periods unless asked otherwise.
    void makeSimpleSong(bool linear = false, const SampleShape& shape = SampleShape{}) {
        makeSong(1, 1, 16, linear);
        addInstrument(shape);
    }

    // The channel's value after each tick of the next `count` ticks.
    template <typename Read>
    std::vector<int> perTick(int count, Read read) {
        std::vector<int> values;
        for (int index = 0; index < count; ++index) {
            replayTick(&song);
            values.push_back(read());
        }
        return values;
    }

    std::vector<int> volumes(int count) {
        return perTick(count, [this] { return channel(0).volume; });
    }
    std::vector<int> periods(int count) {
        return perTick(count, [this] { return channel(0).period; });
    }
    std::vector<int> periodOffsets(int count) {
        return perTick(count, [this] { return channel(0).periodOffset; });
    }
    std::vector<int> voiceVolumes(int count) {
        return perTick(count, [this] { return voiceOf(0).volume; });
    }
};

using Values = std::vector<int>;

// The sine table peaks at 255 and mirrors after position 16; the ramp wraps at 256.
TEST(Waveforms, SineAndRampValues) {
    const int sine[] = {0, 25, 49, 74, 97, 120, 142, 162, 181, 197, 212, 225, 236, 244, 251, 254, 255};
    for (int k = 0; k <= 16; ++k) {
        EXPECT_EQ(sineWaveValue(k), sine[k]) << k;
        EXPECT_EQ(sineWaveValue(-k), sine[k]) << k;
        EXPECT_EQ(sineWaveValue(32 - k), sine[k]) << k;
    }
    EXPECT_EQ(rampWaveValue(0), 0);
    EXPECT_EQ(rampWaveValue(31), 248);
    EXPECT_EQ(rampWaveValue(-32), 255);
    EXPECT_EQ(rampWaveValue(-1), 7);
}

// Arpeggio cycles note, +x, +y semitones by tick; in Amiga mode through the period table.
TEST_F(Effects, ArpeggioInBothModes) {
    makeSimpleSong();
    put(0, 0, 49, 1, 0, 0, 0x47);
    start();
    const int base = amigaPeriod(48, 0);
    EXPECT_EQ(periodOffsets(6), (Values{0, amigaPeriod(52, 0) - base, amigaPeriod(55, 0) - base, 0,
                                        amigaPeriod(52, 0) - base, amigaPeriod(55, 0) - base}));
    makeSimpleSong(true);
    put(0, 0, 49, 1, 0, 0, 0x47);
    start();
    EXPECT_EQ(periodOffsets(4), (Values{0, 256, 448, 0}));
    EXPECT_EQ(voiceOf(0).frequency, 8363);
}

// Arpeggio 0x00 leaves the pitch alone.
TEST_F(Effects, ArpeggioZeroDoesNothing) {
    makeSimpleSong();
    put(0, 0, 49, 1, 0, 0, 0x00);
    start();
    EXPECT_EQ(periodOffsets(6), Values(6, 0));
}

// Portamento up stops at period 56; portamento down has no bound; both keep their memories.
TEST_F(Effects, PortamentoLimitsAndMemory) {
    makeSimpleSong();
    put(0, 0, 49, 1, 0, 1, 0xFF);
    put(1, 0, 0, 0, 0, 2, 0x10);
    put(2, 0, 0, 0, 0, 2, 0x00);
    start();
    replayTick(&song);
    channel(0).period = 100;
    replayTick(&song);
    EXPECT_EQ(channel(0).period, 56);
    runTicks(4);
    EXPECT_EQ(periods(6), (Values{56, 120, 184, 248, 312, 376}));
    EXPECT_EQ(periods(2), (Values{376, 440}));
}

// Tone portamento glides 4 x speed per tick; parameter 0 keeps the speed and still retargets.
TEST_F(Effects, TonePortamentoMemoryAndRetarget) {
    makeSimpleSong();
    put(0, 0, 49, 1);
    put(1, 0, 61, 0, 0, 3, 0x10);  // to period 856 at 64 per tick
    put(2, 0, 37, 0, 0, 3, 0x00);  // back to 3424, same speed
    start();
    runRows(1);
    EXPECT_EQ(periods(6), (Values{1712, 1648, 1584, 1520, 1456, 1392}));
    EXPECT_EQ(voiceOf(0).frequency, 14317056 / 1392);
    EXPECT_EQ(periods(3), (Values{1392, 1456, 1520}));
    EXPECT_EQ(channel(0).tonePortaTarget, 3424);
    EXPECT_EQ(channel(0).voice, &voice(0));  // no note restarted
}

// Tone portamento stops exactly at the target.
TEST_F(Effects, TonePortamentoStopsAtTarget) {
    makeSimpleSong();
    put(0, 0, 49, 1);
    put(1, 0, 50, 0, 0, 3, 0xFF);
    start();
    runRows(1);
    EXPECT_EQ(periods(3), (Values{1712, amigaPeriod(49, 0), amigaPeriod(49, 0)}));
}

// Volume slide: the high nibble wins over the low one.
TEST_F(Effects, VolumeSlideNibblePriority) {
    makeSimpleSong();
    put(0, 0, 49, 1, 0x20, 10, 0x21);
    put(1, 0, 0, 0, 0, 10, 0x0F);
    put(2, 0, 0, 0, 0, 10, 0x00);
    start();
    EXPECT_EQ(volumes(6), (Values{16, 18, 20, 22, 24, 26}));
    EXPECT_EQ(volumes(6), (Values{26, 11, 0, 0, 0, 0}));
    EXPECT_EQ(volumes(1), (Values{0}));
}

// Volume column 0x65 slides on the first tick and every later tick; 0x85 on the first only.
TEST_F(Effects, VolumeColumnSlideForms) {
    makeSimpleSong();
    put(0, 0, 49, 1, 0x65);
    put(1, 0, 0, 0, 0x85);
    put(2, 0, 0, 0, 0x9F);
    put(3, 0, 0, 0, 0x51);
    start();
    EXPECT_EQ(volumes(6), (Values{59, 54, 49, 44, 39, 34}));
    EXPECT_EQ(volumes(6), (Values{29, 29, 29, 29, 29, 29}));
    EXPECT_EQ(volumes(1), (Values{44}));
    runTicks(5);
    EXPECT_EQ(volumes(1), (Values{44}));  // 0x51 does nothing
}

// Volume column set volume, panning, and panning slides without bound (final panning limits).
TEST_F(Effects, VolumeColumnVolumeAndPanning) {
    makeSimpleSong();
    put(0, 0, 49, 1, 0x50);
    put(1, 0, 0, 0, 0xC3);
    put(2, 0, 0, 0, 0xDF);
    put(3, 0, 0, 0, 0xEF);
    start();
    replayTick(&song);
    EXPECT_EQ(channel(0).volume, 64);
    runTicks(5);
    replayTick(&song);
    EXPECT_EQ(channel(0).panning, 48);
    runTicks(5);
    runTicks(6);
    EXPECT_EQ(channel(0).panning, 48 - 6 * 15);
    EXPECT_EQ(voiceOf(0).pan, 0);
    runTicks(6);
    EXPECT_EQ(channel(0).panning, 48);
}

// Volume column tone portamento: speed 16 x value; a note in the same cell is already at its target.
TEST_F(Effects, VolumeColumnTonePortamento) {
    makeSimpleSong();
    put(0, 0, 49, 1);
    put(1, 0, 61, 0, 0xF1);
    put(2, 0, 49, 0, 0xF0);
    start();
    runRows(1);
    replayTick(&song);
    EXPECT_EQ(channel(0).period, 856);
    EXPECT_EQ(channel(0).tonePortaSpeed, 16);
    EXPECT_EQ(channel(0).voice, &voice(0));  // the note did not restart
    runTicks(5);
    EXPECT_EQ(periods(3), (Values{1712, 1712, 1712}));
}

// Volume column vibrato: 0xA sets the speed, 0xB sets the depth and vibrates on later ticks.
TEST_F(Effects, VolumeColumnVibrato) {
    makeSimpleSong();
    put(0, 0, 49, 1, 0xA8);
    put(1, 0, 0, 0, 0xBF);
    start();
    runRows(1);
    EXPECT_EQ(channel(0).vibratoSpeed, 8);
    EXPECT_EQ(periodOffsets(5), (Values{0, 0, -84, -116, -84}));
    EXPECT_EQ(channel(0).vibratoDepth, 15);
}

// Vibrato: sine offsets with the low two bits cleared, negative on the rising half.
TEST_F(Effects, VibratoOffsets) {
    makeSimpleSong();
    put(0, 0, 49, 1, 0, 4, 0x8F);
    put(1, 0, 0, 0, 0, 4, 0x00);
    start();
    EXPECT_EQ(periodOffsets(6), (Values{0, 0, -84, -116, -84, 0}));
    EXPECT_EQ(channel(0).vibratoPosition, -24);
    EXPECT_EQ(periodOffsets(2), (Values{84, 84}));
    channel(0).waveformControl = 2;  // square
    EXPECT_EQ(periodOffsets(1), (Values{116}));
}

// Tremolo offsets keep volume + offset within 0..64; the last offset stays in the volume when the tremolo stops.
TEST_F(Effects, TremoloOffsetAndCarryOver) {
    makeSimpleSong();
    put(0, 0, 49, 1, 0x20, 7, 0x4F);
    put(1, 0, 0, 0, 0, 0, 0);
    start();
    EXPECT_EQ(perTick(6, [this] { return channel(0).volumeOffset; }), (Values{0, 0, 22, 42, 48, 48}));
    EXPECT_EQ(channel(0).volume, 16);
    replayTick(&song);
    EXPECT_EQ(channel(0).volume, 64);
    EXPECT_EQ(channel(0).volumeOffset, 0);
}

// On the falling half the tremolo lowers the volume, but not below 0.
TEST_F(Effects, TremoloNegativeHalf) {
    makeSimpleSong();
    put(0, 0, 49, 1, 0x18, 7, 0x8F);
    start();
    runTicks(1);
    channel(0).tremoloPosition = -16;
    EXPECT_EQ(perTick(2, [this] { return channel(0).volumeOffset; }), (Values{-8, -8}));
    EXPECT_EQ(channel(0).volume, 8);
}

// Sample offset below the loop end starts the note there; at or past it the playing voice restarts at 0.
TEST_F(Effects, SampleOffsetAndLoopEnd) {
    SampleShape shape;
    shape.length = 8000;
    shape.loopType = LoopForward;
    shape.loopStart = 0;
    shape.loopLength = 4096;
    makeSimpleSong(false, shape);
    put(0, 0, 49, 1);
    put(1, 0, 49, 0, 0, 9, 0x10);
    start();
    runRows(1);
    voice(0).position = 3000;
    replayTick(&song);
    EXPECT_EQ(channel(0).voice, &voice(0));
    EXPECT_EQ(voice(0).position, 0);
    EXPECT_EQ(voice(0).startOffset, 0u);

    shape.loopLength = 4097;
    makeSimpleSong(false, shape);
    put(0, 0, 49, 1);
    put(1, 0, 49, 0, 0, 9, 0x10);
    put(2, 0, 49, 0, 0, 9, 0x00);  // memory
    start();
    runRows(1);
    replayTick(&song);
    EXPECT_EQ(channel(0).voice, &voice(32));
    EXPECT_EQ(voice(32).position, 4096);
    EXPECT_EQ(voice(32).startOffset, 0u);
    runTicks(5);
    replayTick(&song);
    EXPECT_EQ(channel(0).voice, &voice(0));
    EXPECT_EQ(voice(0).position, 4096);
}

// Note delay 0 suppresses the row's note for the whole row; a delay of 3 starts it on tick 3.
TEST_F(Effects, NoteDelay) {
    makeSimpleSong();
    put(0, 0, 49, 1, 0, 14, 0xD0);
    put(1, 0, 61, 1, 0x20, 14, 0xD3);
    start();
    runRows(1);
    EXPECT_EQ(voice(0).sample, nullptr);
    EXPECT_EQ(voice(32).sample, nullptr);
    EXPECT_EQ(channel(0).volume, 0);
    EXPECT_EQ(channel(0).period, 0);
    runTicks(3);
    EXPECT_EQ(voice(0).sample, nullptr);
    replayTick(&song);
    EXPECT_EQ(voice(0).sample, &samples[0]);
    EXPECT_EQ(channel(0).period, 856);
    EXPECT_EQ(channel(0).volume, 16);  // the volume column's first-tick form ran again
    EXPECT_EQ(voice(0).frequency, 14317056 / 856);
}

// Note cut on tick y; y = 0 never cuts.
TEST_F(Effects, NoteCut) {
    makeSimpleSong();
    put(0, 0, 49, 1, 0, 14, 0xC0);
    put(1, 0, 0, 0, 0, 14, 0xC2);
    start();
    EXPECT_EQ(volumes(6), Values(6, 64));
    EXPECT_EQ(volumes(6), (Values{64, 64, 0, 0, 0, 0}));
}

// Multi-retrigger 0x83 at speed 6 retriggers on tick 3 only, refreshing but not changing the volume.
TEST_F(Effects, MultiRetriggerEveryThirdTick) {
    makeSimpleSong();
    put(0, 0, 49, 1, 0, 27, 0x83);
    start();
    std::vector<int> swaps;
    MixerVoice* current = channel(0).voice;
    for (int tick = 0; tick < 6; ++tick) {
        replayTick(&song);
        swaps.push_back(channel(0).voice != current ? 1 : 0);
        current = channel(0).voice;
    }
    EXPECT_EQ(swaps, (Values{0, 0, 0, 1, 0, 0}));
    EXPECT_EQ(channel(0).volume, 64);
}

// Multi-retrigger volume modes, limited to 0..64; interval 0 never retriggers.
TEST_F(Effects, MultiRetriggerVolumeModes) {
    makeSimpleSong();
    put(0, 0, 49, 1, 0, 27, 0x61);  // x 2/3 every tick
    put(1, 0, 0, 0, 0, 27, 0xE1);   // x 3/2
    put(2, 0, 0, 0, 0, 27, 0x51);   // -16
    put(3, 0, 0, 0, 0, 27, 0xF0);   // interval 0: nothing
    start();
    EXPECT_EQ(volumes(6), (Values{64, 42, 28, 18, 12, 8}));
    EXPECT_EQ(volumes(6), (Values{8, 12, 18, 27, 40, 60}));
    EXPECT_EQ(volumes(6), (Values{60, 44, 28, 12, 0, 0}));
    channel(0).volume = 50;
    EXPECT_EQ(volumes(6), Values(6, 50));
}

// Tremor 0x21 sounds 3 ticks and silences 2, counting across rows; a new instrument restarts it.
TEST_F(Effects, TremorAcrossRows) {
    makeSimpleSong();
    song.defaultSpeed = 4;
    put(0, 0, 49, 1, 0, 29, 0x21);
    put(1, 0, 0, 0, 0, 29, 0x00);
    put(2, 0, 0, 1, 0, 29, 0x00);
    start();
    EXPECT_EQ(voiceVolumes(8), (Values{127, 127, 127, 0, 0, 127, 127, 127}));
    EXPECT_EQ(voiceVolumes(4), (Values{127, 127, 127, 0}));
}

// A tremor counter already past a shortened cycle starts the cycle again.
TEST_F(Effects, TremorShortenedCycle) {
    makeSimpleSong();
    put(0, 0, 49, 1, 0, 29, 0xFF);
    put(1, 0, 0, 0, 0, 29, 0x00);
    start();
    runRows(1);
    channel(0).tremorCounter = 20;
    channel(0).tremorOnTicks = 1;
    channel(0).tremorOffTicks = 1;
    EXPECT_EQ(voiceVolumes(3), (Values{0, 127, 0}));
}

// Fine and extra-fine portamento move once per row; their memories are separate.
TEST_F(Effects, FinePortamentos) {
    makeSimpleSong();
    put(0, 0, 49, 1, 0, 14, 0x12);
    put(1, 0, 0, 0, 0, 14, 0x10);
    put(2, 0, 0, 0, 0, 14, 0x23);
    put(3, 0, 0, 0, 0, 33, 0x15);
    put(4, 0, 0, 0, 0, 33, 0x10);
    put(5, 0, 0, 0, 0, 33, 0x21);
    start();
    EXPECT_EQ(periods(6), Values(6, 1712 - 8));
    EXPECT_EQ(periods(6), Values(6, 1712 - 16));
    EXPECT_EQ(periods(6), Values(6, 1712 - 4));
    EXPECT_EQ(periods(6), Values(6, 1712 - 9));
    EXPECT_EQ(periods(6), Values(6, 1712 - 14));
    EXPECT_EQ(periods(6), Values(6, 1712 - 13));
}

// Fine volume slides share one memory and stay within 0..64.
TEST_F(Effects, FineVolumeSlides) {
    makeSimpleSong();
    put(0, 0, 49, 1, 0x30, 14, 0xA5);
    put(1, 0, 0, 0, 0, 14, 0xB0);
    put(2, 0, 0, 0, 0, 14, 0xAF);
    put(3, 0, 0, 0, 0, 14, 0xA0);
    start();
    EXPECT_EQ(volumes(6), Values(6, 37));
    EXPECT_EQ(volumes(6), Values(6, 32));
    EXPECT_EQ(volumes(6), Values(6, 47));
    EXPECT_EQ(volumes(6), Values(6, 62));
}

// Set volume is not bounded; a slide up brings it down to 64.
TEST_F(Effects, SetVolumeAboveRange) {
    makeSimpleSong();
    put(0, 0, 49, 1, 0, 12, 0x80);
    put(1, 0, 0, 0, 0, 10, 0x10);
    start();
    EXPECT_EQ(volumes(1), (Values{128}));
    EXPECT_EQ(voiceOf(0).volume, 255);
    runTicks(5);
    EXPECT_EQ(volumes(2), (Values{128, 64}));
}

// Global volume: set at most 64; slides in both directions without an update flag of their own.
TEST_F(Effects, GlobalVolume) {
    makeSimpleSong();
    put(0, 0, 49, 1, 0, 16, 0x70);
    put(1, 0, 0, 0, 0, 17, 0x03);
    put(2, 0, 0, 0, 0, 17, 0x00);
    put(3, 0, 0, 0, 0, 17, 0x00);
    start();
    replayTick(&song);
    EXPECT_EQ(song.globalVolume, 64);
    runTicks(5);
    runRows(1);
    EXPECT_EQ(song.globalVolume, 64 - 15);
    runRows(1);
    EXPECT_EQ(song.globalVolume, 64 - 30);
    song.globalVolumeSlideMemory = 0xF0;
    runRows(1);
    EXPECT_EQ(song.globalVolume, 64);
}

// Panning slide stays within 0..255; set panning and coarse panning.
TEST_F(Effects, Panning) {
    makeSimpleSong();
    put(0, 0, 49, 1, 0, 8, 250);
    put(1, 0, 0, 0, 0, 25, 0x20);
    put(2, 0, 0, 0, 0, 14, 0x83);
    put(3, 0, 0, 0, 0, 25, 0x0F);
    start();
    EXPECT_EQ(perTick(12, [this] { return channel(0).panning; }),
              (Values{250, 250, 250, 250, 250, 250, 250, 252, 254, 255, 255, 255}));
    runRows(1);
    EXPECT_EQ(channel(0).panning, 48);
    runRows(1);
    EXPECT_EQ(channel(0).panning, 0);
}

// Set finetune writes into the sample (heard from the next note); the shared empty sample stays zero.
TEST_F(Effects, SetFinetune) {
    makeSimpleSong();
    put(0, 0, 49, 1, 0, 14, 0x57);
    put(1, 0, 49, 0);
    put(2, 0, 49, 5, 0, 14, 0x57);
    start();
    replayTick(&song);
    EXPECT_EQ(samples[0].finetune, 7);
    EXPECT_EQ(channel(0).period, 1712);
    runTicks(5);
    replayTick(&song);
    EXPECT_EQ(channel(0).period, amigaPeriod(48, 7));
    runTicks(5);
    replayTick(&song);
    EXPECT_EQ(emptySample.finetune, 0);
}

// Waveform nibbles of 4 or more keep the vibrato and tremolo positions when an instrument is given.
TEST_F(Effects, WaveformRetriggerBit) {
    makeSimpleSong();
    put(0, 0, 49, 1, 0, 14, 0x44);
    put(1, 0, 49, 1, 0, 14, 0x70);
    put(2, 0, 49, 1);
    start();
    replayTick(&song);
    channel(0).vibratoPosition = 12;
    channel(0).tremoloPosition = 9;
    runTicks(5);
    replayTick(&song);
    EXPECT_EQ(channel(0).vibratoPosition, 12);
    EXPECT_EQ(channel(0).tremoloPosition, 0);
    EXPECT_EQ(channel(0).waveformControl, 0x04);
}

// Retrigger 14/9 restarts the note every y ticks; y = 0 never does.
TEST_F(Effects, Retrigger) {
    makeSimpleSong();
    put(0, 0, 49, 1, 0, 14, 0x92);
    put(1, 0, 0, 0, 0, 14, 0x90);
    start();
    std::vector<int> voices;
    for (int tick = 0; tick < 12; ++tick) {
        replayTick(&song);
        voices.push_back(channel(0).voice == &voice(0) ? 0 : 32);
    }
    EXPECT_EQ(voices, (Values{0, 0, 32, 32, 0, 0, 0, 0, 0, 0, 0, 0}));
}

// Effects numbered beyond the table do nothing.
TEST_F(Effects, UnknownEffects) {
    makeSimpleSong();
    put(0, 0, 49, 1, 0, 200, 0xFF);
    put(1, 0, 0, 0, 0, 34, 0xFF);
    start();
    runRows(2);
    EXPECT_EQ(channel(0).volume, 64);
    EXPECT_EQ(channel(0).period, 1712);
}

}  // namespace
