// Builds small songs directly as in-memory records (no loader involved) and
// drives the replayer over them tick by tick.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <vector>

#include "mixer_voice.h"
#include "music_channel.h"
#include "music_engine.h"
#include "periods.h"
#include "replayer.h"
#include "song.h"

using namespace intro_music::engine;

using Values = std::vector<int>;

struct SampleShape {
    uint32_t length = 10000;
    uint32_t loopStart = 0;
    uint32_t loopLength = 0;  // 0: no loop (the whole sample)
    uint8_t loopType = LoopNone;
    uint8_t volume = 64;
    int32_t panning = 128;
    int8_t relativeNote = 0;
};

// What a tick-by-tick case watches on channel 0 and its voice. Heard: the volume with the tremolo or tremor offset;
// VoiceIndex: 0 or 32, which of the channel's two voices plays.
enum class Watch {
    Period, PeriodOffset, Volume, Heard, Panning, EnvelopeOutput, Fadeout,
    VoiceVolume, VoicePan, VoiceIndex, GlobalVolume, VolumeSet, PanningEnvelopeOutput
};

struct TickOptions {
    bool linear = false;
    int speed = 6;
    int every = 1;                         // read the value after every `every` ticks
    void (*setup)(Instrument&) = nullptr;  // envelopes, fade-out, vibrato of instrument 1
    bool tracker = false;                  // the tracker's playback rules instead of the presentation's
};

// A cell whose unnamed trailing fields are empty.
struct ScriptCell {
    uint8_t note = 0, instrument = 0, volume = 0, effect = 0, parameter = 0;
};

// One rule as a script of channel-0 cells (one per row) and the watched value after each tick.
struct TickCase {
    const char* rule;
    Watch watch;
    std::vector<ScriptCell> rows;
    Values expected;
    TickOptions options{};
};

class SongFixture : public ::testing::Test {
protected:
    static constexpr size_t maxInstruments = 16;

    // A song of one or more patterns of rowCount rows, all cells empty.
    void makeSong(int channelCount, int patternCount = 1, int rowCount = 64, bool linear = false) {
        patternCells.assign(patternCount, std::vector<Cell>(static_cast<size_t>(rowCount * channelCount)));
        patterns.resize(patternCount);
        for (int index = 0; index < patternCount; ++index) {
            patterns[index] = Pattern{rowCount, patternCells[index].data()};
        }
        song = Song{};
        song.patterns = patterns.data();
        song.channelCount = static_cast<int16_t>(channelCount);
        song.patternSlotCount = song.usedPatternCount = patternCount;
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

    // Adds an instrument whose one sample plays every note.
    Instrument& addInstrument(const SampleShape& shape = SampleShape{}) {
        EXPECT_LT(instruments.size(), maxInstruments);
        sampleFrames.emplace_back(shape.length + sampleGuardFrames, int16_t{0});
        Sample& sample = samples.emplace_back();
        sample.data = sampleFrames.back().data();
        sample.length = shape.length;
        sample.loopType = shape.loopType;
        sample.loopStart = shape.loopType == LoopNone ? 0 : shape.loopStart;
        sample.loopLength = shape.loopType == LoopNone ? shape.length : shape.loopLength;
        sample.volume = shape.volume;
        sample.panning = shape.panning;
        sample.bitsPerSample = 16;
        sample.relativeNote = shape.relativeNote;

        Instrument& instrument = instruments.emplace_back();
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

    void put(int row, int channel, uint8_t note, uint8_t instrument = 0, uint8_t volume = 0, uint8_t effect = 0,
             uint8_t parameter = 0) {
        cell(0, row, channel) = Cell{note, instrument, volume, effect, parameter};
    }

    // The reset that every start of playback performs: silent voices, then the play state.
    void start() {
        for (int index = 0; index < voiceTableSize; ++index) {
            voice(index) = MixerVoice{};
            voice(index).index = index;
            voice(index).stepInteger = 1;
        }
        resetSongPlayState(engine, &song);
    }

    void runTicks(int count) {
        for (int index = 0; index < count; ++index) replayTick(engine, &song);
    }
    void runRows(int count) { runTicks(count * song.speed); }  // at the current speed, no pattern delay

    int watched(Watch watch) {
        const MusicChannel& played = channel(0);
        switch (watch) {
            case Watch::Period: return played.period;
            case Watch::PeriodOffset: return played.periodOffset;
            case Watch::Volume: return played.volume;
            case Watch::Heard: return played.volume + played.volumeOffset;
            case Watch::Panning: return played.panning;
            case Watch::EnvelopeOutput: return played.volumeEnvelopeOutput;
            case Watch::Fadeout: return played.fadeoutVolume;
            case Watch::VoiceVolume: return played.voice->volume;
            case Watch::VoicePan: return played.voice->pan;
            case Watch::VoiceIndex: return played.voice->index;
            case Watch::GlobalVolume: return song.globalVolume;
            case Watch::VolumeSet: return played.voice->volumeSet;
            case Watch::PanningEnvelopeOutput: return played.panningEnvelopeOutput;
        }
        return -1;
    }

    Values perTick(Watch watch, size_t count, int every = 1) {
        Values values;
        while (values.size() < count) {
            runTicks(every);
            values.push_back(watched(watch));
        }
        return values;
    }

    // One channel, one instrument, the case's cells on channel 0; then the watched value tick by tick.
    void expectTicks(const TickCase& script) {
        SCOPED_TRACE(script.rule);
        makeSong(1, 1, 16, script.options.linear);
        Instrument& instrument = addInstrument();
        if (script.options.setup != nullptr) script.options.setup(instrument);
        song.defaultSpeed = static_cast<int16_t>(script.options.speed);
        song.rules = script.options.tracker ? trackerRules : presentationRules;
        for (size_t row = 0; row < script.rows.size(); ++row) {
            const ScriptCell& given = script.rows[row];
            put(static_cast<int>(row), 0, given.note, given.instrument, given.volume, given.effect, given.parameter);
        }
        start();
        EXPECT_EQ(perTick(script.watch, script.expected.size(), script.options.every), script.expected);
    }

    MusicChannel& channel(int index) { return engine.channels[index]; }
    MixerVoice& voice(int index) { return engine.voices[index]; }

    MusicEngine engine{};
    Song song{};
    std::vector<std::vector<Cell>> patternCells;
    std::vector<Pattern> patterns;
    std::vector<Instrument> instruments;
    std::deque<Sample> samples;
    std::deque<std::vector<int16_t>> sampleFrames;
};
