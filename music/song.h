// The loaded song: header values, order table, unpacked patterns, instruments
// and 16-bit samples, plus the play state that the replayer advances.
#pragma once

#include <cstddef>
#include <cstdint>

#include "playback_rules.h"

namespace intro_music::engine {

inline constexpr int maxChannels = 32;
inline constexpr int maxSamplesPerInstrument = 16;
inline constexpr int envelopePointCapacity = 12;
inline constexpr int orderTableSize = 256;
inline constexpr int sampleMapSize = 96;
inline constexpr int sampleGuardFrames = 8;  // zero frames allocated after every sample
inline constexpr int nameLength = 22;        // instrument and sample names in the file

enum LoopType : uint8_t { LoopNone = 1, LoopForward = 2, LoopPingPong = 4 };

enum EnvelopeFlags : uint8_t { EnvelopeOn = 1, EnvelopeSustain = 2, EnvelopeLoop = 4 };

struct Sample {
    int16_t* data;  // length + sampleGuardFrames frames; null when length is 0
    uint32_t length;
    uint32_t loopStart;
    uint32_t loopLength;
    uint8_t volume;
    int8_t finetune;        // as set-finetune leaves it while playing
    int8_t loadedFinetune;  // as the file gives it: every start goes back to it
    int32_t panning;
    uint8_t bitsPerSample;
    uint8_t loopType;
    int8_t relativeNote;
    char name[nameLength + 1];
};

struct EnvelopePoint {
    uint16_t x;
    uint16_t y;
};

struct Instrument {
    int32_t sampleCount;
    Sample* samples[maxSamplesPerInstrument];
    uint8_t sampleMap[sampleMapSize];
    EnvelopePoint volumeEnvelope[envelopePointCapacity];
    EnvelopePoint panningEnvelope[envelopePointCapacity];
    uint8_t volumePointCount;
    uint8_t panningPointCount;
    uint8_t volumeSustainPoint, volumeLoopStart, volumeLoopEnd;
    uint8_t panningSustainPoint, panningLoopStart, panningLoopEnd;
    uint8_t volumeEnvelopeFlags, panningEnvelopeFlags;
    uint8_t vibratoType, vibratoSweep, vibratoDepth, vibratoRate;
    uint16_t fadeout;  // twice the file's value
    char name[nameLength + 1];
};

struct Cell {
    uint8_t note;  // 0 none, 1..96 notes, 255 key-off
    uint8_t instrument;
    uint8_t volume;
    uint8_t effect;
    uint8_t parameter;
};
static_assert(sizeof(Cell) == 5);

inline constexpr uint8_t keyOffNote = 255;

struct Pattern {
    int32_t rowCount;
    Cell* cells;  // rowCount x channelCount
};

struct Song;
struct MusicEngine;
// Runs one replayer tick of the song on the engine that plays it.
using TickHandler = void (*)(MusicEngine& engine, Song* song);
// Fills a sample's buffer instead of the file (buffer, byte count, bits per
// sample, instrument index, sample index).
using SampleDataHook = void (*)(void* buffer, uint32_t byteCount, int bitsPerSample, int instrumentIndex,
                                int sampleIndex);

// Damage the loader worked round: parts the file ends before, or lacks.
struct LoadDamage {
    int32_t cutPatterns;      // patterns whose packed cells the file ends inside
    int32_t missingPatterns;  // patterns the order list names but the file does not hold
    int32_t cutInstruments;   // instrument or sample headers the file ends inside
    int32_t cutSamples;       // samples whose data the file ends inside or before
};

struct Song {
    Pattern* patterns;
    Instrument* instruments;
    int32_t framesLeftInTick;
    int32_t framesPerTick;
    int16_t songLength;
    int16_t restartPosition;
    int16_t channelCount;
    int32_t usedPatternCount;
    int32_t patternSlotCount;
    int16_t instrumentCount;
    uint16_t flags;  // bit 0: linear frequency table
    int16_t defaultSpeed;
    int16_t defaultBpm;
    uint8_t orderTable[orderTableSize];
    uint8_t initialGlobalVolume;
    // Play state.
    int32_t globalVolume;
    uint8_t globalVolumeSlideMemory;
    int32_t tick;
    int32_t speed;
    int32_t bpm;
    int32_t row;
    int32_t orderPosition;
    int32_t patternDelayTicks;
    int32_t nextRow;
    int32_t nextOrder;
    // The tracker's row flow: the row the next jump lands on, the order a
    // position jump chose (-1: the next one), and which jumps are due.
    int32_t breakRow;
    int32_t jumpOrder;
    uint8_t loopJumpDue;
    uint8_t patternJumpDue;
    TickHandler tickHandler;
    SampleDataHook sampleDataHook;
    PlaybackRules rules;  // zero: the presentation's rules
    LoadDamage damage;
    // Both names are padded with spaces, as the tracker pads them, and the
    // program is not the reference player's tracker; other programs leave
    // zeros or fill the program name to its last byte.
    bool savedByTheTracker;
    // Saved by a version of the reference player's own tracker that played
    // the finetune's lowest bits (before 1.22.07.19): its songs are tuned by them.
    bool playsFinetuneLowBits;
    // How the song is rendered; 0 means the default (mixRate, factors of 1).
    int32_t outputRate;  // frames per second
    double tempoFactor;  // scales the tempo: ticks are that much shorter
    double pitchFactor;  // scales every voice's playback rate
};

inline constexpr uint16_t linearFrequencyFlag = 1;

// Shared all-zero records for missing instruments and sample slots. Nothing
// writes them after start-up, so every engine may read them at any time.
extern Sample emptySample;
extern Instrument emptyInstrument;

// Loads through the registered file callbacks; null on failure.
Song* loadSong(const char* name, SampleDataHook sampleDataHook);
// Loads from a memory block through the same parser; null on failure.
Song* loadSongFromMemory(const void* data, size_t size, SampleDataHook sampleDataHook);
// Releases the song. False for null. Stop any playback of the song first:
// the engine that plays it must not run while the song goes away.
bool freeSong(Song* song);

}  // namespace intro_music::engine
