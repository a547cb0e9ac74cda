// Builds small songs directly as in-memory records (no loader involved) and
// drives the replayer over them tick by tick.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <vector>

#include "mixer_voice.h"
#include "music_channel.h"
#include "periods.h"
#include "replayer.h"
#include "song.h"

struct SampleShape {
    uint32_t length = 10000;
    uint32_t loopStart = 0;
    uint32_t loopLength = 0;  // 0: no loop (the whole sample)
    uint8_t loopType = LoopNone;
    uint8_t volume = 64;
    int8_t finetune = 0;
    int32_t panning = 128;
    int8_t relativeNote = 0;
};

class SongFixture : public ::testing::Test {
protected:
    static constexpr size_t maxInstruments = 16;

    // A song of one or more patterns of rowCount rows, all cells empty.
    void makeSong(int channelCount, int patternCount = 1, int rowCount = 64, bool linear = false) {
        patternCells.assign(patternCount, std::vector<Cell>(static_cast<size_t>(rowCount * channelCount)));
        patterns.resize(patternCount);
        for (int index = 0; index < patternCount; ++index) {
            patterns[index].rowCount = rowCount;
            patterns[index].cells = patternCells[index].data();
        }
        song = Song{};
        song.patterns = patterns.data();
        song.channelCount = static_cast<int16_t>(channelCount);
        song.patternSlotCount = patternCount;
        song.usedPatternCount = patternCount;
        song.songLength = static_cast<int16_t>(patternCount);
        for (int index = 0; index < patternCount; ++index) song.orderTable[index] = static_cast<uint8_t>(index);
        song.flags = linear ? linearFrequencyFlag : 0;
        song.defaultSpeed = 6;
        song.defaultBpm = 125;
        song.initialGlobalVolume = 64;
        song.tickHandler = replayTick;
        instruments.clear();
        instruments.reserve(maxInstruments);  // references handed out stay valid
    }

    // Changes a pattern's row count (cells beyond it stay allocated but unused).
    void setRowCount(int pattern, int rowCount) {
        patternCells[pattern].resize(static_cast<size_t>(rowCount * song.channelCount));
        patterns[pattern].cells = patternCells[pattern].data();
        patterns[pattern].rowCount = rowCount;
    }

    // Adds an instrument whose one sample plays every note.
    Instrument& addInstrument(const SampleShape& shape = SampleShape{}) {
        EXPECT_LT(instruments.size(), maxInstruments);
        samples.emplace_back();
        Sample& sample = samples.back();
        sampleFrames.emplace_back(shape.length + sampleGuardFrames, int16_t{0});
        sample.data = sampleFrames.back().data();
        sample.length = shape.length;
        sample.loopType = shape.loopType;
        sample.loopStart = shape.loopType == LoopNone ? 0 : shape.loopStart;
        sample.loopLength = shape.loopType == LoopNone ? shape.length : shape.loopLength;
        sample.volume = shape.volume;
        sample.finetune = shape.finetune;
        sample.panning = shape.panning;
        sample.bitsPerSample = 16;
        sample.relativeNote = shape.relativeNote;

        instruments.emplace_back();
        Instrument& instrument = instruments.back();
        instrument.sampleCount = 1;
        instrument.samples[0] = &sample;
        for (int slot = 1; slot < maxSamplesPerInstrument; ++slot) instrument.samples[slot] = &emptySample;
        song.instruments = instruments.data();
        song.instrumentCount = static_cast<int16_t>(instruments.size());
        return instrument;
    }

    Cell& cell(int pattern, int row, int channel) {
        return patternCells[pattern][static_cast<size_t>(row * song.channelCount + channel)];
    }
    Cell& cell(int row, int channel) { return cell(0, row, channel); }

    void put(int row, int channel, uint8_t note, uint8_t instrument = 0, uint8_t volume = 0, uint8_t effect = 0,
             uint8_t parameter = 0) {
        cell(row, channel) = Cell{note, instrument, volume, effect, parameter};
    }

    // The reset that every start of playback performs: silent voices, then the play state.
    void start() {
        MixerVoice* voices = mixerVoices();
        for (int index = 0; index < voiceTableSize; ++index) {
            voices[index] = MixerVoice{};
            voices[index].index = index;
            voices[index].stepInteger = 1;
        }
        resetSongPlayState(&song);
    }

    void runTicks(int count) {
        for (int index = 0; index < count; ++index) replayTick(&song);
    }

    // Runs whole rows at the current speed (no pattern delay).
    void runRows(int count) { runTicks(count * song.speed); }

    MusicChannel& channel(int index) { return musicChannels()[index]; }
    MixerVoice& voiceOf(int index) { return *musicChannels()[index].voice; }
    MixerVoice& voice(int index) { return mixerVoices()[index]; }

    Song song{};
    std::vector<std::vector<Cell>> patternCells;
    std::vector<Pattern> patterns;
    std::vector<Instrument> instruments;
    std::deque<Sample> samples;
    std::deque<std::vector<int16_t>> sampleFrames;
};
