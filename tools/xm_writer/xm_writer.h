// Writes Extended Module files from plain records. Used by the song compiler
// and by the tests, which build small songs (and damaged variants) in memory.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace xm_writer {

struct Cell {
    uint8_t note = 0;        // 0 none, 1..96, 97 key-off
    uint8_t instrument = 0;  // 0 none, 1..128
    uint8_t volume = 0;      // volume-column byte, 0 none
    uint8_t effect = 0;
    uint8_t parameter = 0;
};

struct PatternData {
    int rowCount = 64;
    std::vector<Cell> cells;  // rowCount x channelCount, row by row; may be empty (all empty cells)
};

// Deltas for ADPCM samples: fine steps both ways, coarse ones for jumps.
inline constexpr std::array<int8_t, 16> defaultAdpcmTable = {0,  1,  2,  4,  8,  16,  32,  64,
                                                             -1, -2, -4, -8, -16, -32, -64, -128};

enum class LoopKind : uint8_t { None = 0, Forward = 1, PingPong = 2 };

struct SampleData {
    std::string name;
    bool sixteenBit = false;
    std::vector<int16_t> frames;  // 8-bit samples use the high byte's range: values -128..127
    uint32_t loopStart = 0;       // frames
    uint32_t loopLength = 0;      // frames
    LoopKind loop = LoopKind::None;
    uint8_t volume = 64;
    int8_t finetune = 0;
    uint8_t panning = 128;
    int8_t relativeNote = 0;
    // 8-bit samples only: stored as 4-bit ADPCM (header byte 17 = 0xAD), each
    // frame the table's delta that lands nearest it.
    bool adpcm = false;
    std::array<int8_t, 16> adpcmTable = defaultAdpcmTable;
};

struct EnvelopePoint {
    uint16_t x = 0;
    uint16_t y = 0;
};

struct EnvelopeData {
    std::vector<EnvelopePoint> points;  // at most 12 are written
    uint8_t sustainPoint = 0;
    uint8_t loopStart = 0;
    uint8_t loopEnd = 0;
    uint8_t flags = 0;  // bit 0 on, bit 1 sustain, bit 2 loop
};

struct InstrumentData {
    std::string name;
    std::array<uint8_t, 96> sampleMap{};  // sample slot per note
    EnvelopeData volumeEnvelope;
    EnvelopeData panningEnvelope;
    uint8_t vibratoType = 0;
    uint8_t vibratoSweep = 0;
    uint8_t vibratoDepth = 0;
    uint8_t vibratoRate = 0;
    uint16_t fadeout = 0;  // the file's value
    std::vector<SampleData> samples;
};

// Format versions the writer can lay a file out in.
inline constexpr uint16_t currentFormatVersion = 0x0104;  // patterns, then each instrument with its sample data
inline constexpr uint16_t instrumentsFirstVersion = 0x0103;  // instruments, patterns, then all sample data
inline constexpr uint16_t byteRowCountVersion = 0x0102;  // as 0x0103, row counts stored as one byte (rows - 1)

struct ModuleData {
    std::string name;
    std::string trackerName = "intro song compiler";
    uint16_t version = currentFormatVersion;
    uint32_t patternHeaderPadding = 0;  // extra bytes after each pattern header, counted in its length
    int channelCount = 8;
    int restartPosition = 0;
    uint16_t flags = 0;  // bit 0: linear frequency table
    int defaultSpeed = 6;
    int defaultBpm = 125;
    std::vector<uint8_t> orders;
    std::vector<PatternData> patterns;
    std::vector<InstrumentData> instruments;
};

// Header layout offsets that tests patch to build damaged files.
inline constexpr size_t signatureOffset = 0;
inline constexpr size_t versionOffset = 58;
inline constexpr size_t headerSizeOffset = 60;
inline constexpr size_t songLengthOffset = 64;
inline constexpr size_t restartPositionOffset = 66;
inline constexpr size_t channelCountOffset = 68;
inline constexpr size_t patternCountOffset = 70;
inline constexpr size_t instrumentCountOffset = 72;
inline constexpr size_t flagsOffset = 74;
inline constexpr size_t defaultSpeedOffset = 76;
inline constexpr size_t defaultBpmOffset = 78;
inline constexpr size_t orderTableOffset = 80;
inline constexpr size_t headerSize = 276;  // from offset 60: 20 bytes of fields + 256 orders
inline constexpr size_t firstPatternOffset = 60 + headerSize;

// Serialises the module: packed pattern data, delta-coded samples.
std::vector<uint8_t> writeModule(const ModuleData& module);

}  // namespace xm_writer
