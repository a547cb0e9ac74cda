// The song loader on small files written in the test, and on damaged variants of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <vector>

#include "file_callbacks.h"
#include "replayer.h"
#include "song.h"
#include "test_songs.h"
#include "xm_writer.h"

using namespace intro_music::engine;

using namespace test_songs;
using xm_writer::LoopKind;
using xm_writer::ModuleData;

namespace {

// Instrument header fields that the tests patch, from the instrument's start.
constexpr size_t instrumentSampleCountField = 27;
constexpr size_t volumePointCountField = 225;
constexpr size_t panningPointCountField = 226;
constexpr size_t volumeSustainField = 227;
// Sample header fields, from the sample header's start.
constexpr size_t sampleLengthField = 0;
constexpr size_t sampleLoopStartField = 4;
constexpr size_t sampleTypeField = 14;
// Pattern header field: the row count.
constexpr size_t patternRowsField = 5;

using CellFields = std::array<int, 5>;
CellFields fields(const Cell& cell) { return {cell.note, cell.instrument, cell.volume, cell.effect, cell.parameter}; }

// Puts raw packed bytes into a pattern that was written empty.
std::vector<uint8_t> withPatternData(std::vector<uint8_t> bytes, int pattern, const std::vector<uint8_t>& data) {
    const size_t offset = patternOffset(bytes, pattern);
    EXPECT_EQ(get16(bytes, offset + 7), 0) << "the pattern must be written empty";
    put16(bytes, offset + 7, static_cast<uint16_t>(data.size()));
    bytes.insert(bytes.begin() + static_cast<long>(offset + patternHeaderBytes), data.begin(), data.end());
    return bytes;
}

xm_writer::SampleData sixteenBitSample(std::vector<int16_t> frames) {
    xm_writer::SampleData sample = eightBitSample(std::move(frames));
    sample.sixteenBit = true;
    return sample;
}

}  // namespace

// Any byte of the signature that differs, letter case included, refuses the file; a good one gets the replayer.
TEST(SongLoader, SignatureMustMatchByteForByte) {
    const std::vector<uint8_t> good = xm_writer::writeModule(basicModule());
    const SongPointer song = load(good);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->tickHandler, &replayTick);
    for (size_t index = 0; index < 17; ++index) {
        std::vector<uint8_t> bad = good;
        bad[index] ^= 0x20;  // 'E' -> 'e', ' ' -> '\0', ...
        EXPECT_EQ(load(bad), nullptr) << "byte " << index;
    }
    EXPECT_EQ(loadSongFromMemory(nullptr, 100, nullptr), nullptr);
    EXPECT_EQ(loadSongFromMemory(good.data(), 10, nullptr), nullptr);
}

// The tracker pads the song's name and its own with spaces; other programs leave zeros or fill the field. The
// reference player's tracker names its version: before 1.22.07.19 it played the finetune's lowest bits.
TEST(SongLoader, TellsWhichProgramSavedTheFile) {
    struct Row {
        const char* rule;
        const char* programName;
        int zeroAt;  // a byte of the names made zero, -1 for none
        bool savedByTheTracker;
        bool playsFinetuneLowBits = false;
    };
    constexpr int songNameEnd = 17 + 19;
    constexpr int programNameEnd = 38 + 19;
    const Row rows[] = {
        {"both names padded with spaces", "a tracker", -1, true},
        {"a song name ended with zeros", "a tracker", songNameEnd, false},
        {"a program name ended with zeros", "a tracker", programNameEnd, false},
        {"a program name filling its 20 bytes", "a program name of 20", -1, false},
        {"the reference tracker pads like the tracker but names itself", "OpenMPT 1.22.07.19", -1, false},
        {"its versions before that one play the finetune's lowest bits", "OpenMPT 1.20.00.39", -1, false, true},
        {"and the later ones do not", "OpenMPT 1.31.06.00", -1, false, false},
    };
    for (const Row& row : rows) {
        ModuleData module = basicModule();
        module.name = "song";
        module.trackerName = row.programName;
        std::vector<uint8_t> bytes = xm_writer::writeModule(module);
        if (row.zeroAt >= 0) bytes[static_cast<size_t>(row.zeroAt)] = 0;
        const SongPointer song = load(bytes);
        ASSERT_NE(song, nullptr) << row.rule;
        EXPECT_EQ(song->savedByTheTracker, row.savedByTheTracker) << row.rule;
        EXPECT_EQ(song->playsFinetuneLowBits, row.playsFinetuneLowBits) << row.rule;
    }
}

// An empty pattern (packed size 0) takes 9 bytes and gives empty rows. Packed cells: 0x80 alone is empty, 0x83 is
// note and instrument, bytes below 0x80 start a 5-byte cell; note 97 is key-off, instruments above 128 are 0.
TEST(SongLoader, EmptyPackedAndUnpackedCells) {
    ModuleData module = basicModule();
    module.channelCount = 7;
    module.orders = {0, 1};
    module.patterns.resize(2);
    module.patterns[1].rowCount = 1;
    const std::vector<uint8_t> data = {
        0x80,                          // empty
        0x83, 0x31, 0x02,              // note 0x31, instrument 2
        0x00, 0x05, 0x10, 0x0C, 0x20,  // unpacked, note 0
        0x9D, 0x0A, 0x30, 0x01, 0x02,  // note, volume, effect, parameter (no instrument)
        0x83, 97, 128,                 // key-off; the highest instrument number
        0x83, 12, 200,                 // instrument beyond 128
        0x61, 129, 0, 0, 0,            // unpacked note 97
    };
    const SongPointer song = load(withPatternData(xm_writer::writeModule(module), 1, data));
    ASSERT_NE(song, nullptr);
    ASSERT_EQ(song->patterns[0].rowCount, 64);
    for (int index = 0; index < 64 * 7; ++index) EXPECT_EQ(fields(song->patterns[0].cells[index]), CellFields{});
    const CellFields expected[] = {{0, 0, 0, 0, 0},          {0x31, 2, 0, 0, 0},      {0, 5, 0x10, 0x0C, 0x20},
                                   {0x0A, 0, 0x30, 1, 2},    {keyOffNote, 128, 0, 0, 0}, {12, 0, 0, 0, 0},
                                   {keyOffNote, 0, 0, 0, 0}};
    for (int index = 0; index < 7; ++index) EXPECT_EQ(fields(song->patterns[1].cells[index]), expected[index]) << index;
    EXPECT_EQ(song->instruments[0].samples[0]->length, 8u);  // the instrument right after the decoded bytes
}

// Patterns named by the used orders but missing from the file are 64 empty rows; orders past the song length
// don't count.
TEST(SongLoader, MissingPatternsAreAddedEmpty) {
    ModuleData module = basicModule();
    module.patterns.resize(6);
    module.orders = {0, 9, 3};
    std::vector<uint8_t> bytes = xm_writer::writeModule(module);
    bytes[xm_writer::orderTableOffset + 3] = 200;  // beyond the song length
    const SongPointer song = load(bytes);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->usedPatternCount, 10);
    EXPECT_EQ(song->patternSlotCount, 10);
    for (int index = 6; index < 10; ++index) {
        ASSERT_EQ(song->patterns[index].rowCount, 64);
        ASSERT_NE(song->patterns[index].cells, nullptr);
        EXPECT_EQ(song->patterns[index].cells[64 * 2 - 1].note, 0);
    }
    module.orders = {1};  // more patterns in the file than the orders use
    const SongPointer fewer = load(xm_writer::writeModule(module));
    ASSERT_NE(fewer, nullptr);
    EXPECT_EQ(fewer->usedPatternCount, 2);
    EXPECT_EQ(fewer->patternSlotCount, 6);
}

// An instrument without samples points every slot at the shared empty sample; the next instrument starts at its
// start + header size.
TEST(SongLoader, InstrumentWithoutSamples) {
    ModuleData module = basicModule();
    module.instruments.insert(module.instruments.begin(), xm_writer::InstrumentData{});
    std::vector<uint8_t> bytes = xm_writer::writeModule(module);
    const size_t start = instrumentOffset(bytes, 0);
    put32(bytes, start, 40);  // a longer header: 11 bytes of padding to skip
    bytes.insert(bytes.begin() + static_cast<long>(start + 29), 11, 0xEE);
    const SongPointer song = load(bytes);
    ASSERT_NE(song, nullptr);
    ASSERT_EQ(song->instrumentCount, 2);
    EXPECT_EQ(song->instruments[0].sampleCount, 0);
    for (Sample* slot : song->instruments[0].samples) EXPECT_EQ(slot, &emptySample);
    EXPECT_EQ(song->instruments[1].samples[0]->length, 8u);
    EXPECT_EQ(song->instruments[1].samples[1], &emptySample);
}

// The fadeout is stored doubled; an envelope without points is off, one with a single point stays on.
TEST(SongLoader, InstrumentEnvelopesAndFadeout) {
    ModuleData module = basicModule();
    module.instruments.push_back(module.instruments[0]);
    xm_writer::InstrumentData& instrument = module.instruments[0];
    instrument.volumeEnvelope = {.points = {{0, 64}, {10, 32}, {20, 0}}, .sustainPoint = 1, .flags = 3};
    instrument.panningEnvelope = {.points = {{0, 32}}, .flags = 1};
    instrument.fadeout = 300;
    module.instruments[1].volumeEnvelope.flags = 1;
    const SongPointer song = load(xm_writer::writeModule(module));
    ASSERT_NE(song, nullptr);
    const Instrument& loaded = song->instruments[0];
    EXPECT_EQ(loaded.volumePointCount, 3);
    EXPECT_EQ(loaded.volumeEnvelope[1].x, 10);
    EXPECT_EQ(loaded.volumeEnvelope[1].y, 32);
    EXPECT_EQ(loaded.volumeSustainPoint, 1);
    EXPECT_EQ(loaded.panningEnvelopeFlags, 1);
    EXPECT_EQ(song->instruments[1].volumeEnvelopeFlags, 0);
    EXPECT_EQ(loaded.fadeout, 600);
}

// Each row: one sample of 100 frames as written, and the loop the loader makes of it. The frame after the loop repeats
// the loop's first frame (forward) or its last (ping-pong); a sample without loop is followed by 8 zero frames.
TEST(SongLoader, SampleLoopsAndGuardFrames) {
    struct Case {
        const char* rule;
        bool sixteenBit;
        LoopKind kind;
        uint32_t start, length;  // as written, in frames
        uint8_t loopType;
        uint32_t loadedStart, loadedLength;
    };
    const Case cases[] = {
        {"no loop covers the whole sample", false, LoopKind::None, 0, 0, LoopNone, 0, 100},
        {"forward loop", false, LoopKind::Forward, 10, 50, LoopForward, 10, 50},
        {"ping-pong loop", false, LoopKind::PingPong, 20, 30, LoopPingPong, 20, 30},
        {"ping-pong loop to the end", false, LoopKind::PingPong, 4, 96, LoopPingPong, 4, 96},
        {"a loop of length 0 plays the whole sample once", false, LoopKind::Forward, 40, 0, LoopNone, 0, 100},
        {"16-bit byte counts are halved into frames", true, LoopKind::Forward, 30, 60, LoopForward, 30, 60},
        {"a loop ending beyond the sample is trimmed to it", false, LoopKind::Forward, 10, 5000, LoopForward, 10, 90},
        {"a loop that starts at the sample's end is dropped", false, LoopKind::Forward, 100, 10, LoopNone, 0, 100},
    };
    ModuleData module = basicModule();
    module.instruments[0].samples.clear();
    std::vector<int16_t> frames(100);
    for (int index = 0; index < 100; ++index) frames[index] = static_cast<int16_t>(index - 50);
    for (const Case& given : cases) {
        xm_writer::SampleData sample = eightBitSample(frames);
        sample.sixteenBit = given.sixteenBit;
        sample.loop = given.kind;
        sample.loopStart = given.start;
        sample.loopLength = given.length;
        module.instruments[0].samples.push_back(sample);
    }
    std::vector<uint8_t> bytes = xm_writer::writeModule(module);
    const SongPointer song = load(bytes);
    ASSERT_NE(song, nullptr);
    for (size_t index = 0; index < std::size(cases); ++index) {
        const Case& given = cases[index];
        SCOPED_TRACE(given.rule);
        const Sample& loaded = *song->instruments[0].samples[index];
        const int scale = given.sixteenBit ? 1 : 256;
        EXPECT_EQ(loaded.length, 100u);
        EXPECT_EQ(loaded.loopType, given.loopType);
        EXPECT_EQ(loaded.loopStart, given.loadedStart);
        EXPECT_EQ(loaded.loopLength, given.loadedLength);
        EXPECT_EQ(loaded.data[0], -50 * scale);
        const uint32_t end = given.loadedStart + given.loadedLength;
        if (given.loopType == LoopNone) {
            for (int guard = 0; guard < sampleGuardFrames; ++guard) EXPECT_EQ(loaded.data[100 + guard], 0) << guard;
        } else {
            const int repeated = given.loopType == LoopForward ? frames[given.loadedStart] : frames[end - 1];
            EXPECT_EQ(loaded.data[end], repeated * scale);
        }
    }

    // Both loop bits mean ping-pong.
    std::vector<uint8_t> bothBits = bytes;
    bothBits[sampleHeaderOffset(bytes, 0, 1) + sampleTypeField] |= 0x03;
    EXPECT_EQ(load(bothBits)->instruments[0].samples[1]->loopType, LoopPingPong);
    // A 16-bit sample of 201 bytes drops its last byte: 100 frames, the next sample's data read one byte early.
    const size_t wide = sampleHeaderOffset(bytes, 0, 5);
    put32(bytes, wide + sampleLengthField, 201);
    put32(bytes, wide + sampleLoopStartField, 61);
    const SongPointer odd = load(bytes);
    ASSERT_NE(odd, nullptr);
    EXPECT_EQ(odd->instruments[0].samples[5]->length, 100u);
    EXPECT_EQ(odd->instruments[0].samples[5]->loopStart, 30u);
}

// 8-bit deltas 10, 246, 0 decode to 2560, 0, 0 and wrap at 8 bits; 16-bit deltas wrap modulo 65536.
TEST(SongLoader, DeltaDecoding) {
    ModuleData module = basicModule();
    module.instruments[0] = instrumentWith(
        {eightBitSample({10, 0, 0}), sixteenBitSample({32767, -32768, 0, -1}), eightBitSample({127, -128, 127})});
    const std::vector<uint8_t> bytes = xm_writer::writeModule(module);
    const size_t data = sampleHeaderOffset(bytes, 0, 0) + 3 * sampleHeaderBytes;
    const auto stored = bytes.begin() + static_cast<long>(data);
    ASSERT_EQ(std::vector<uint8_t>(stored, stored + 3), (std::vector<uint8_t>{10, 246, 0}));
    const SongPointer song = load(bytes);
    ASSERT_NE(song, nullptr);
    const std::vector<std::vector<int16_t>> expected = {
        {2560, 0, 0}, {32767, -32768, 0, -1}, {127 * 256, -128 * 256, 127 * 256}};
    for (size_t sample = 0; sample < expected.size(); ++sample) {
        const int16_t* decoded = song->instruments[0].samples[sample]->data;
        EXPECT_EQ(std::vector<int16_t>(decoded, decoded + expected[sample].size()), expected[sample]) << sample;
    }
}

// The sample hook supplies the frames instead of the file (no delta decoding), with its byte count, depth and indices.
TEST(SongLoader, SampleDataHook) {
    ModuleData module = basicModule();
    module.instruments.push_back(instrumentWith({eightBitSample({1, 1}), sixteenBitSample({1, 1, 1})}));
    static std::vector<std::vector<int>> calls;
    calls.clear();
    const SampleDataHook hook = [](void* buffer, uint32_t byteCount, int bits, int instrument, int sample) {
        calls.push_back({static_cast<int>(byteCount), bits, instrument, sample});
        std::memset(buffer, 0x11, byteCount);
    };
    const SongPointer song = load(xm_writer::writeModule(module), hook);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(calls, (std::vector<std::vector<int>>{{8, 8, 0, 0}, {2, 8, 1, 0}, {6, 16, 1, 1}}));
    EXPECT_EQ(song->instruments[1].samples[0]->data[1], 0x1100);
    EXPECT_EQ(song->instruments[1].samples[1]->data[2], 0x1111);
    EXPECT_EQ(song->sampleDataHook, hook);
}

// Each row: one 16-bit header field patched. Refused: what has no safe reading, or what mature players refuse
// too; everything else loads.
TEST(SongLoader, HeaderLimits) {
    const std::vector<uint8_t> good = xm_writer::writeModule(basicModule());
    const size_t rows = patternOffset(good, 0) + patternRowsField;
    const size_t samples = instrumentOffset(good, 0) + instrumentSampleCountField;
    struct Patch {
        const char* rule;
        size_t offset;
        uint16_t value;
        bool loads;
    };
    const Patch patches[] = {
        {"no channels: nothing to play", xm_writer::channelCountOffset, 0, false},
        {"more channels than the replayer holds", xm_writer::channelCountOffset, 33, false},
        {"as many channels as the replayer holds", xm_writer::channelCountOffset, 32, true},
        {"more than 256 patterns", xm_writer::patternCountOffset, 257, false},
        {"more than 128 instruments, the rest past the file", xm_writer::instrumentCountOffset, 129, true},
        {"255 instruments", xm_writer::instrumentCountOffset, 255, true},
        {"more than 255 instruments", xm_writer::instrumentCountOffset, 256, false},
        {"song length 0: the first pattern plays", xm_writer::songLengthOffset, 0, true},
        {"more orders than the order table holds", xm_writer::songLengthOffset, 257, false},
        {"a pattern of 0 rows: 64 rows", rows, 0, true},
        {"a pattern of more than 256 rows", rows, 257, false},
        {"a pattern of 256 rows", rows, 256, true},
        {"more than 16 samples: the first 16 are kept", samples, 17, true},
    };
    for (const Patch& patch : patches) {
        std::vector<uint8_t> bytes = good;
        put16(bytes, patch.offset, patch.value);
        EXPECT_EQ(load(bytes) != nullptr, patch.loads) << patch.rule;
    }
    std::vector<uint8_t> bytes = good;
    put16(bytes, xm_writer::songLengthOffset, 0);
    bytes[xm_writer::orderTableOffset] = 5;
    const SongPointer song = load(bytes);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->songLength, 1);
    EXPECT_EQ(song->orderTable[0], 0);
    put16(bytes, rows, 0);
    EXPECT_EQ(load(bytes)->patterns[0].rowCount, 64);
}

// A two-pattern song with notes on rows 0 and 4 of pattern 0 and row 0 of pattern 1, an instrument with 20 samples
// (the map plays sample 15, the last kept one) and a second instrument after it.
ModuleData layoutModule() {
    ModuleData module = basicModule();
    module.orders = {0, 1};
    module.patterns = {{8, std::vector<xm_writer::Cell>(16)}, {8, std::vector<xm_writer::Cell>(16)}};
    module.patterns[0].cells[0] = {49, 1};
    module.patterns[0].cells[8] = {61, 2};
    module.patterns[1].cells[1] = {37, 1, 0, 0x0C, 0x20};
    module.instruments[0].samples.clear();
    for (int16_t index = 0; index < 20; ++index) {
        module.instruments[0].samples.push_back(eightBitSample(std::vector<int16_t>(10 + index, index)));
    }
    module.instruments[0].sampleMap.fill(15);
    module.instruments.push_back(instrumentWith({sixteenBitSample({1000, -1000, 500})}));
    return module;
}

// Every layout of the song reads to the same patterns and samples: pattern headers longer than 9 bytes, the older
// versions that put all instruments first and the sample data last (0x0102 and before with one-byte row counts), and the
// samples past an instrument's 16 skipped with their data.
TEST(SongLoader, LayoutsReadAlike) {
    struct Case {
        const char* rule;
        uint16_t version;
        uint32_t headerPadding;
    };
    const Case cases[] = {
        {"the current layout", xm_writer::currentFormatVersion, 0},
        {"pattern headers 7 bytes longer than 9", xm_writer::currentFormatVersion, 7},
        {"version 0x0103: instruments, patterns, then the sample data", xm_writer::instrumentsFirstVersion, 0},
        {"version 0x0102: as 0x0103 with one-byte row counts", xm_writer::byteRowCountVersion, 0},
        {"version 0x0102 with longer pattern headers", xm_writer::byteRowCountVersion, 3},
        {"version 0x0101: one-byte row counts as 0x0102", 0x0101, 0},
        {"version 0x0100: one-byte row counts as 0x0102", 0x0100, 0},
    };
    for (const Case& rule : cases) {
        ModuleData module = layoutModule();
        module.version = std::max(rule.version, xm_writer::byteRowCountVersion);
        module.patternHeaderPadding = rule.headerPadding;
        std::vector<uint8_t> bytes = xm_writer::writeModule(module);
        put16(bytes, xm_writer::versionOffset, rule.version);  // the writer lays out 0x0102 at the oldest
        const SongPointer song = load(bytes);
        ASSERT_NE(song, nullptr) << rule.rule;
        EXPECT_EQ(song->patterns[0].rowCount, 8) << rule.rule;
        EXPECT_EQ(fields(song->patterns[0].cells[0]), (CellFields{49, 1, 0, 0, 0})) << rule.rule;
        EXPECT_EQ(fields(song->patterns[0].cells[8]), (CellFields{61, 2, 0, 0, 0})) << rule.rule;
        EXPECT_EQ(fields(song->patterns[1].cells[1]), (CellFields{37, 1, 0, 0x0C, 0x20})) << rule.rule;
        const Instrument& many = song->instruments[0];
        ASSERT_EQ(many.sampleCount, 16) << rule.rule;
        EXPECT_EQ(many.samples[15]->length, 25u) << rule.rule;
        EXPECT_EQ(many.samples[15]->data[24], 15 * 256) << rule.rule;
        EXPECT_EQ(many.sampleMap[48], 15) << rule.rule;
        const Sample& after = *song->instruments[1].samples[0];
        ASSERT_EQ(after.length, 3u) << rule.rule;
        EXPECT_EQ(after.data[0], 1000) << rule.rule;
        EXPECT_EQ(after.data[2], 500) << rule.rule;
    }
}

// Cells come from a pattern's packed bytes only: cells they do not reach stay empty, a cell cut in the middle keeps
// the fields it has, and the next pattern starts right after the packed size.
TEST(SongLoader, CellsOnlyFromThePackedBytes) {
    ModuleData module = basicModule();
    module.channelCount = 1;
    module.orders = {0, 1};
    module.patterns = {{4, {}}, {1, {}}};
    const std::vector<uint8_t> data = {
        0x83, 0x31, 0x02,  // row 0: note, instrument
        0x8F, 0x20,        // row 1: note, instrument, volume, effect; cut after the note
    };
    std::vector<uint8_t> bytes = withPatternData(xm_writer::writeModule(module), 1, {0x81, 0x25});
    bytes = withPatternData(bytes, 0, data);
    const SongPointer song = load(bytes);
    ASSERT_NE(song, nullptr);
    const CellFields expected[] = {{0x31, 2, 0, 0, 0}, {0x20, 0, 0, 0, 0}, {}, {}};
    for (int row = 0; row < 4; ++row) EXPECT_EQ(fields(song->patterns[0].cells[row]), expected[row]) << "row " << row;
    EXPECT_EQ(fields(song->patterns[1].cells[0]), (CellFields{0x25, 0, 0, 0, 0}));
    EXPECT_EQ(song->instruments[0].samples[0]->length, 8u);
}

// With more than 128 instruments, cell instrument numbers up to the instrument count name them; above it they are
// no instrument.
TEST(SongLoader, InstrumentNumbersUpToTheInstrumentCount) {
    ModuleData module = basicModule();
    module.channelCount = 3;
    module.instruments.resize(130);
    module.patterns[0] = {1, {{49, 130}, {49, 131}, {49, 129}}};
    const SongPointer song = load(xm_writer::writeModule(module));
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->instrumentCount, 130);
    EXPECT_EQ(song->patterns[0].cells[0].instrument, 130);
    EXPECT_EQ(song->patterns[0].cells[1].instrument, 0);
    EXPECT_EQ(song->patterns[0].cells[2].instrument, 129);
}

// Sloppy values are mended: restart past the end -> 0, speed into 1..255, tempo into 32..255 (nothing divides by 0).
TEST(SongLoader, MendsSloppyHeaderValues) {
    const int cases[][6] = {  // restart, speed, tempo as written; as loaded
        {1, 0, 0, 0, 1, 32},
        {0, 6, 31, 0, 6, 32},
        {0, 40000, 60000, 0, 255, 255},
    };
    std::vector<uint8_t> bytes = xm_writer::writeModule(basicModule());
    for (const auto& [restart, speed, tempo, loadedRestart, loadedSpeed, loadedTempo] : cases) {
        put16(bytes, xm_writer::restartPositionOffset, static_cast<uint16_t>(restart));
        put16(bytes, xm_writer::defaultSpeedOffset, static_cast<uint16_t>(speed));
        put16(bytes, xm_writer::defaultBpmOffset, static_cast<uint16_t>(tempo));
        const SongPointer song = load(bytes);
        ASSERT_NE(song, nullptr);
        EXPECT_EQ(song->restartPosition, loadedRestart);
        EXPECT_EQ(song->defaultSpeed, loadedSpeed);
        EXPECT_EQ(song->defaultBpm, loadedTempo);
    }
}

// Envelope point counts above 12 are taken as 12 and point indices stay inside the 12-point arrays.
TEST(SongLoader, MendsEnvelopeCounts) {
    ModuleData module = basicModule();
    module.instruments[0].volumeEnvelope = {.points = {{0, 64}, {4, 0}}, .flags = 1};
    std::vector<uint8_t> bytes = xm_writer::writeModule(module);
    const size_t start = instrumentOffset(bytes, 0);
    bytes[start + volumePointCountField] = 200;
    bytes[start + panningPointCountField] = 13;
    bytes[start + volumeSustainField] = 250;
    const SongPointer song = load(bytes);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->instruments[0].volumePointCount, 12);
    EXPECT_EQ(song->instruments[0].panningPointCount, 12);
    EXPECT_LT(song->instruments[0].volumeSustainPoint, envelopePointCapacity);
    EXPECT_EQ(song->instruments[0].volumeEnvelopeFlags, 1);
}

// Sample data cut short by the end of the file keeps what is there, zeros after; samples wholly past the end are empty.
TEST(SongLoader, MendsTruncatedSampleData) {
    ModuleData module = basicModule();
    // Every delta differs from 0, so file bytes left behind in the buffer would show.
    std::vector<int16_t> ramp(100);
    for (size_t frame = 0; frame < ramp.size(); ++frame) ramp[frame] = static_cast<int16_t>(frame % 2 ? 50 : -50);
    module.instruments[0].samples = {eightBitSample(ramp), sixteenBitSample(std::vector<int16_t>(50, 1000))};
    const std::vector<uint8_t> whole = xm_writer::writeModule(module);
    // The 8-bit sample keeps 59 frames, the 16-bit one nothing.
    SongPointer song = load(std::vector<uint8_t>(whole.begin(), whole.end() - 100 - 41));
    ASSERT_NE(song, nullptr);
    const Sample& cut = *song->instruments[0].samples[0];
    EXPECT_EQ(cut.length, 100u);
    EXPECT_EQ(cut.data[58], -50 * 256);
    for (uint32_t frame = 59; frame < cut.length; ++frame) EXPECT_EQ(cut.data[frame], 0) << "frame " << frame;
    EXPECT_EQ(song->instruments[0].samples[1]->length, 0u);
    EXPECT_EQ(song->instruments[0].samples[1]->data, nullptr);
    // 49 bytes of the 16-bit sample: 24 whole frames and half a frame.
    song = load(std::vector<uint8_t>(whole.begin(), whole.end() - 51));
    ASSERT_NE(song, nullptr);
    const Sample& half = *song->instruments[0].samples[1];
    EXPECT_EQ(half.length, 50u);
    EXPECT_EQ(half.data[23], 1000);
    EXPECT_EQ(half.data[24], 0);
}

// Patterns start at 60 + header size, even when the header is shorter than the orders in use (they are then read
// from the bytes that follow); sizes past the file or past 32 bits stay bounded.
TEST(SongLoader, MendsHeaderSizes) {
    const std::vector<uint8_t> good = xm_writer::writeModule(basicModule());
    // A header that holds only the one order in use: patterns follow at 60 + 21.
    std::vector<uint8_t> shortHeader = good;
    shortHeader.erase(shortHeader.begin() + xm_writer::orderTableOffset + 1,
                      shortHeader.begin() + static_cast<long>(xm_writer::firstPatternOffset));
    put32(shortHeader, xm_writer::headerSizeOffset, 21);
    SongPointer song = load(shortHeader);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->patterns[0].rowCount, 64);
    EXPECT_EQ(song->instruments[0].samples[0]->data[0], 256);
    // Two orders in use but room for one: the second is the pattern header's first byte (its length 0x100 + 9).
    ModuleData module = basicModule();
    module.orders = {0, 0};
    module.patternHeaderPadding = 0x100;
    std::vector<uint8_t> shorterThanOrders = xm_writer::writeModule(module);
    shorterThanOrders.erase(shorterThanOrders.begin() + xm_writer::orderTableOffset + 1,
                            shorterThanOrders.begin() + static_cast<long>(xm_writer::firstPatternOffset));
    put32(shorterThanOrders, xm_writer::headerSizeOffset, 21);
    song = load(shorterThanOrders);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->orderTable[1], 9);
    EXPECT_EQ(song->patterns[0].rowCount, 64);
    EXPECT_EQ(song->instruments[0].samples[0]->data[0], 256);

    // A header that ends past the file leaves nothing of the song: refused, however large the size (60 + size
    // does not fit 32 bits for the largest).
    const uint32_t pastTheEnd = static_cast<uint32_t>(good.size() - xm_writer::headerSizeOffset + 1);
    for (const uint32_t size : {pastTheEnd, 0x7FFFFFFFu, 0xFFFFFFC4u, 0xFFFFFFF0u}) {
        std::vector<uint8_t> huge = good;
        put32(huge, xm_writer::headerSizeOffset, size);
        EXPECT_EQ(load(huge), nullptr) << size;
    }
    std::vector<uint8_t> toTheEnd = good;
    put32(toTheEnd, xm_writer::headerSizeOffset, pastTheEnd - 1);
    song = load(toTheEnd);  // ends exactly at the end: nothing after it, empty patterns
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->patterns[0].rowCount, 64);
    // Instrument header sizes: below the sample count's end, or far past the file.
    for (const uint32_t size : {0u, 4u, 28u, 100u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        std::vector<uint8_t> bytes = good;
        put32(bytes, instrumentOffset(good, 0), size);
        EXPECT_NE(load(bytes), nullptr) << size;
    }
}

// Every prefix of a file and random damage either load or are refused, never touching memory outside (run under
// AddressSanitizer).
TEST(SongLoader, DamagedFilesNeverReadOutside) {
    ModuleData module = basicModule();
    module.channelCount = 3;
    module.orders = {0, 1, 0};
    module.patterns.resize(2);
    module.patterns[1] = {4, {{1, 1, 0x20, 1, 2}, {97}, {0, 0, 0, 0x0C, 0x40}}};
    xm_writer::SampleData wide = sixteenBitSample(std::vector<int16_t>(30, -7));
    wide.loop = LoopKind::PingPong;
    wide.loopStart = 3;
    wide.loopLength = 20;
    module.instruments.push_back(instrumentWith({wide, eightBitSample({1, 2, 3})}));
    module.instruments[0].volumeEnvelope.points = {{0, 64}, {5, 10}, {9, 0}};
    const std::vector<uint8_t> good = xm_writer::writeModule(module);
    int loaded = 0;
    for (size_t length = 0; length <= good.size(); ++length) {
        loaded += load(std::vector<uint8_t>(good.begin(), good.begin() + static_cast<long>(length))) != nullptr;
    }
    EXPECT_GT(loaded, 0);
    std::mt19937 random(12345);
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> bytes = good;
        for (int change = 1 + static_cast<int>(random() % 8); change > 0; --change) {
            bytes[17 + random() % (bytes.size() - 17)] = static_cast<uint8_t>(random());  // keep the signature
        }
        load(bytes);
    }
}

// loadSong reads through the registered callbacks; unset callbacks or a failed open give null.
TEST(SongLoader, LoadsThroughFileCallbacks) {
    static std::vector<uint8_t> file;
    static size_t position;
    static int openCount, closeCount;
    file = xm_writer::writeModule(basicModule());
    openCount = closeCount = 0;
    setFileCallbacks(nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(loadSong("song", nullptr), nullptr);
    setFileCallbacks(
        [](const char* name) -> void* {
            ++openCount;
            position = 0;
            return std::strcmp(name, "song") == 0 ? &file : nullptr;
        },
        [](void*) { ++closeCount; },
        [](void* destination, int32_t count, void*) -> int32_t {
            const size_t delivered = std::min<size_t>(static_cast<size_t>(count), file.size() - position);
            std::memcpy(destination, file.data() + position, delivered);
            position += delivered;
            return static_cast<int32_t>(delivered);
        },
        [](void*, int32_t offset, uint8_t origin) {
            const size_t base = origin == 0 ? 0 : origin == 1 ? position : file.size();
            position = static_cast<size_t>(std::clamp<int64_t>(static_cast<int64_t>(base) + offset, 0,
                                                                static_cast<int64_t>(file.size())));
        },
        [](void*) -> int32_t { return static_cast<int32_t>(position); });
    Song* song = loadSong("song", nullptr);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->instruments[0].samples[0]->data[7], 8 * 256);
    EXPECT_EQ(openCount, 1);
    EXPECT_EQ(closeCount, 1);
    EXPECT_EQ(loadSong("other", nullptr), nullptr);
    EXPECT_EQ(closeCount, 1);  // nothing opened, nothing closed
    EXPECT_TRUE(freeSong(song));
    EXPECT_FALSE(freeSong(nullptr));
    setFileCallbacks(nullptr, nullptr, nullptr, nullptr, nullptr);
}

// Registering with any slot null clears all five.
TEST(FileCallbacks, OneNullSlotClearsAll) {
    const FileOpen open = [](const char*) -> void* { return nullptr; };
    const FileClose close = [](void*) {};
    const FileRead read = [](void*, int32_t, void*) -> int32_t { return 0; };
    const FileSeek seek = [](void*, int32_t, uint8_t) {};
    const FileTell tell = [](void*) -> int32_t { return 0; };
    setFileCallbacks(open, close, read, seek, tell);
    EXPECT_TRUE(fileCallbacksComplete());
    setFileCallbacks(open, close, read, nullptr, tell);
    EXPECT_FALSE(fileCallbacksComplete());
    EXPECT_EQ(fileCallbacks().open, nullptr);
    EXPECT_EQ(fileCallbacks().tell, nullptr);
}
