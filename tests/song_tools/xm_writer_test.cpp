#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "xm_writer.h"

#ifdef INTRO_HAVE_LIBXMP
#include <xmp.h>
#endif

namespace {

using xm_writer::Cell;
using xm_writer::InstrumentData;
using xm_writer::LoopKind;
using xm_writer::ModuleData;
using xm_writer::PatternData;
using xm_writer::SampleData;

constexpr size_t patternHeaderLength = 9;
constexpr size_t instrumentHeaderWithSamples = 263;
constexpr size_t instrumentHeaderWithoutSamples = 29;
constexpr size_t sampleHeaderLength = 40;

uint16_t u16(const std::vector<uint8_t>& bytes, size_t offset) {
    return static_cast<uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

uint32_t u32(const std::vector<uint8_t>& bytes, size_t offset) {
    return u16(bytes, offset) | static_cast<uint32_t>(u16(bytes, offset + 2)) << 16;
}

ModuleData twoChannelModule() {
    ModuleData module;
    module.name = "unit";
    module.channelCount = 2;
    module.orders = {0};
    PatternData pattern;
    pattern.rowCount = 1;
    pattern.cells = {Cell{49, 2, 0, 0, 0}, Cell{}};
    module.patterns.push_back(pattern);
    return module;
}

}  // namespace

// The header fields sit at the offsets the format defines.
TEST(XmWriterHeader, FieldsAtTheirOffsets) {
    ModuleData module = twoChannelModule();
    module.name = "abc";
    module.restartPosition = 1;
    module.orders = {0, 0, 0};
    module.flags = 1;
    module.defaultSpeed = 3;
    module.defaultBpm = 140;
    const std::vector<uint8_t> bytes = xm_writer::writeModule(module);

    const std::string expected = std::string("Extended Module: abc") + std::string(17, ' ') + '\x1A';
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 38), expected);
    EXPECT_EQ(u16(bytes, 58), 0x0104);
    EXPECT_EQ(u32(bytes, xm_writer::headerSizeOffset), xm_writer::headerSize);
    EXPECT_EQ(u16(bytes, xm_writer::songLengthOffset), 3);
    EXPECT_EQ(u16(bytes, xm_writer::restartPositionOffset), 1);
    EXPECT_EQ(u16(bytes, xm_writer::channelCountOffset), 2);
    EXPECT_EQ(u16(bytes, xm_writer::patternCountOffset), 1);
    EXPECT_EQ(u16(bytes, xm_writer::instrumentCountOffset), 0);
    EXPECT_EQ(u16(bytes, xm_writer::flagsOffset), 1);
    EXPECT_EQ(u16(bytes, xm_writer::defaultSpeedOffset), 3);
    EXPECT_EQ(u16(bytes, xm_writer::defaultBpmOffset), 140);
    EXPECT_EQ(u32(bytes, xm_writer::firstPatternOffset), patternHeaderLength);
}

// Cells use the packed form: a flag byte with bit 7, then only the non-zero fields.
TEST(XmWriterPatterns, CellsArePackedWithoutZeroFields) {
    ModuleData module = twoChannelModule();
    module.patterns[0].rowCount = 2;
    module.patterns[0].cells = {Cell{0x31, 2, 0, 0, 0}, Cell{}, Cell{97, 0, 0x50, 0x0C, 0x20}, Cell{1, 1, 1, 1, 1}};
    const std::vector<uint8_t> bytes = xm_writer::writeModule(module);

    const size_t header = xm_writer::firstPatternOffset;
    EXPECT_EQ(bytes[header + 4], 0);           // packing type
    EXPECT_EQ(u16(bytes, header + 5), 2);      // rows
    const std::vector<uint8_t> expected = {0x83, 0x31, 0x02, 0x80, 0x9D, 97, 0x50, 0x0C, 0x20,
                                           0x9F, 1,    1,    1,    1,    1};
    EXPECT_EQ(u16(bytes, header + 7), expected.size());
    const std::vector<uint8_t> packed(bytes.begin() + header + patternHeaderLength,
                                      bytes.begin() + header + patternHeaderLength + expected.size());
    EXPECT_EQ(packed, expected);
}

// A pattern without notes stores packed size 0 and no data, whether its cells are listed or not.
TEST(XmWriterPatterns, EmptyPatternsStoreNoData) {
    ModuleData module = twoChannelModule();
    module.patterns[0].rowCount = 64;
    module.patterns[0].cells.assign(128, Cell{});
    module.patterns.push_back(PatternData{});
    const std::vector<uint8_t> bytes = xm_writer::writeModule(module);

    EXPECT_EQ(bytes.size(), xm_writer::firstPatternOffset + 2 * patternHeaderLength);
    EXPECT_EQ(u16(bytes, xm_writer::firstPatternOffset + 7), 0);
    EXPECT_EQ(u16(bytes, xm_writer::firstPatternOffset + patternHeaderLength + 5), 64);
    EXPECT_EQ(u16(bytes, xm_writer::firstPatternOffset + patternHeaderLength + 7), 0);
}

// Instrument headers are 29 bytes without samples and 263 with; sample lengths
// and loops are in bytes; data is delta coded at its own width.
TEST(XmWriterInstruments, HeadersAndDeltaCodedSamples) {
    ModuleData module = twoChannelModule();
    module.patterns[0].cells.assign(2, Cell{});
    InstrumentData empty;
    empty.name = "none";
    InstrumentData eightBit;
    SampleData small;
    small.frames = {10, 0, 0, -128, 127};
    small.loop = LoopKind::PingPong;
    small.loopStart = 1;
    small.loopLength = 3;
    small.volume = 40;
    small.finetune = -16;
    small.relativeNote = 12;
    eightBit.samples.push_back(small);
    eightBit.sampleMap.fill(0);
    InstrumentData sixteenBit;
    SampleData wide;
    wide.sixteenBit = true;
    wide.frames = {32767, -32768, 0};
    wide.loop = LoopKind::Forward;
    wide.loopStart = 1;
    wide.loopLength = 2;
    sixteenBit.samples.push_back(wide);
    module.instruments = {empty, eightBit, sixteenBit};
    const std::vector<uint8_t> bytes = xm_writer::writeModule(module);

    const size_t first = xm_writer::firstPatternOffset + patternHeaderLength;
    EXPECT_EQ(u32(bytes, first), instrumentHeaderWithoutSamples);
    EXPECT_EQ(u16(bytes, first + 27), 0);

    const size_t second = first + instrumentHeaderWithoutSamples;
    EXPECT_EQ(u32(bytes, second), instrumentHeaderWithSamples);
    EXPECT_EQ(u16(bytes, second + 27), 1);
    EXPECT_EQ(u32(bytes, second + 29), sampleHeaderLength);
    const size_t smallHeader = second + instrumentHeaderWithSamples;
    EXPECT_EQ(u32(bytes, smallHeader), 5u);
    EXPECT_EQ(u32(bytes, smallHeader + 4), 1u);
    EXPECT_EQ(u32(bytes, smallHeader + 8), 3u);
    EXPECT_EQ(bytes[smallHeader + 12], 40);
    EXPECT_EQ(static_cast<int8_t>(bytes[smallHeader + 13]), -16);
    EXPECT_EQ(bytes[smallHeader + 14], 0x02);
    EXPECT_EQ(bytes[smallHeader + 16], 12);
    const size_t smallData = smallHeader + sampleHeaderLength;
    const std::vector<uint8_t> smallDeltas = {10, 246, 0, 128, 255};
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + smallData, bytes.begin() + smallData + 5), smallDeltas);

    const size_t third = smallData + 5;
    EXPECT_EQ(u32(bytes, third), instrumentHeaderWithSamples);
    const size_t wideHeader = third + instrumentHeaderWithSamples;
    EXPECT_EQ(u32(bytes, wideHeader), 6u);
    EXPECT_EQ(u32(bytes, wideHeader + 4), 2u);
    EXPECT_EQ(u32(bytes, wideHeader + 8), 4u);
    EXPECT_EQ(bytes[wideHeader + 14], 0x11);
    const size_t wideData = wideHeader + sampleHeaderLength;
    EXPECT_EQ(u16(bytes, wideData), 0x7FFF);
    EXPECT_EQ(u16(bytes, wideData + 2), 0x0001);  // -32768 - 32767 wraps to 1
    EXPECT_EQ(u16(bytes, wideData + 4), 0x8000);
    EXPECT_EQ(bytes.size(), wideData + 6);
}

#ifdef INTRO_HAVE_LIBXMP
// A mature player reads back the same song: counts, events and sample frames.
TEST(XmWriterRoundTrip, LibxmpReadsWhatWasWritten) {
    ModuleData module;
    module.channelCount = 4;
    module.orders = {1, 0, 1};
    module.restartPosition = 1;
    PatternData first;
    first.rowCount = 16;
    first.cells.assign(64, Cell{});
    first.cells[5] = Cell{61, 1, 0x30, 0x04, 0x42};
    first.cells[9] = Cell{97, 0, 0, 0, 0};
    module.patterns = {first, PatternData{32, {}}};
    InstrumentData instrument;
    SampleData sample;
    sample.sixteenBit = true;
    for (int frame = 0; frame < 100; ++frame) sample.frames.push_back(static_cast<int16_t>(frame * 300 - 15000));
    sample.loop = LoopKind::Forward;
    sample.loopStart = 20;
    sample.loopLength = 60;
    instrument.samples.push_back(sample);
    module.instruments = {instrument};
    std::vector<uint8_t> bytes = xm_writer::writeModule(module);

    xmp_context context = xmp_create_context();
    ASSERT_EQ(xmp_load_module_from_memory(context, bytes.data(), static_cast<long>(bytes.size())), 0);
    xmp_module_info info;
    xmp_get_module_info(context, &info);
    const xmp_module* loaded = info.mod;
    EXPECT_EQ(loaded->chn, 4);
    EXPECT_EQ(loaded->len, 3);
    EXPECT_EQ(loaded->rst, 1);
    EXPECT_EQ(loaded->ins, 1);
    EXPECT_EQ(loaded->xxp[0]->rows, 16);
    EXPECT_EQ(loaded->xxp[1]->rows, 32);
    // libxmp numbers notes from C-0 = 13 and stores key-off as 129.
    const xmp_event& note = loaded->xxt[loaded->xxp[0]->index[1]]->event[1];
    EXPECT_EQ(note.note, 61 + 12);
    EXPECT_EQ(note.ins, 1);
    EXPECT_EQ(note.vol, 0x30 - 0x10 + 1);
    EXPECT_EQ(note.fxt, 4);
    EXPECT_EQ(note.fxp, 0x42);
    EXPECT_EQ(loaded->xxt[loaded->xxp[0]->index[1]]->event[2].note, XMP_KEY_OFF);
    const xmp_sample& read = loaded->xxs[0];
    EXPECT_EQ(read.len, 100);
    EXPECT_EQ(read.lps, 20);
    EXPECT_EQ(read.lpe, 80);
    const auto* frames = reinterpret_cast<const int16_t*>(read.data);
    // The player overwrites the frames after the loop end with its own padding.
    for (int frame = 0; frame < 80; ++frame) EXPECT_EQ(frames[frame], sample.frames[static_cast<size_t>(frame)]);
    xmp_release_module(context);
    xmp_free_context(context);
}
#endif
