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
using xm_writer::LoopKind;
using xm_writer::ModuleData;
using xm_writer::PatternData;
using xm_writer::SampleData;

constexpr size_t patternHeaderLength = 9;

uint16_t u16(const std::vector<uint8_t>& bytes, size_t offset) {
    return static_cast<uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

uint32_t u32(const std::vector<uint8_t>& bytes, size_t offset) {
    return u16(bytes, offset) | static_cast<uint32_t>(u16(bytes, offset + 2)) << 16;
}

std::vector<uint8_t> slice(const std::vector<uint8_t>& bytes, size_t offset, size_t length) {
    return {bytes.begin() + static_cast<long>(offset), bytes.begin() + static_cast<long>(offset + length)};
}

// Two channels, one order, one pattern of `rowCount` rows.
ModuleData twoChannelModule(int rowCount, std::vector<Cell> cells) {
    ModuleData module;
    module.name = "abc";
    module.channelCount = 2;
    module.orders = {0};
    module.patterns = {PatternData{rowCount, std::move(cells)}};
    return module;
}

}  // namespace

// The header's text and 16-bit fields sit at the offsets the format defines.
TEST(XmWriter, HeaderFieldsAtTheirOffsets) {
    ModuleData module = twoChannelModule(1, {});
    module.restartPosition = 1;
    module.orders = {0, 0, 0};
    module.flags = 1;
    module.defaultSpeed = 3;
    module.defaultBpm = 140;
    const std::vector<uint8_t> bytes = xm_writer::writeModule(module);
    const std::string signature = std::string("Extended Module: abc") + std::string(17, ' ') + '\x1A';
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 38), signature);
    // Version, song length, restart, channels, patterns, instruments, flags, speed, tempo.
    for (auto [offset, expected] : {std::pair{58, 0x0104}, {64, 3}, {66, 1}, {68, 2}, {70, 1}, {72, 0}, {74, 1},
                                    {76, 3}, {78, 140}}) {
        EXPECT_EQ(u16(bytes, offset), expected) << "offset " << offset;
    }
    EXPECT_EQ(u32(bytes, 60), 276u) << "header size";
    EXPECT_EQ(u32(bytes, 60 + 276), patternHeaderLength);
}

// Cells are packed: a flag byte with bit 7 and one bit per non-zero field, then those fields.
TEST(XmWriter, CellsArePackedWithoutZeroFields) {
    const std::vector<uint8_t> bytes = xm_writer::writeModule(twoChannelModule(
        2, {Cell{0x31, 2, 0, 0, 0}, Cell{}, Cell{97, 0, 0x50, 0x0C, 0x20}, Cell{1, 1, 1, 1, 1}}));
    const size_t header = xm_writer::firstPatternOffset;
    const std::vector<uint8_t> packed = {0x83, 0x31, 0x02, 0x80, 0x9D, 97, 0x50, 0x0C, 0x20, 0x9F, 1, 1, 1, 1, 1};
    EXPECT_EQ(bytes[header + 4], 0);       // packing type
    EXPECT_EQ(u16(bytes, header + 5), 2);  // rows
    EXPECT_EQ(u16(bytes, header + 7), packed.size());
    EXPECT_EQ(slice(bytes, header + patternHeaderLength, packed.size()), packed);
}

// A pattern without notes stores packed size 0 and no data, whether its cells are listed or not.
TEST(XmWriter, EmptyPatternsStoreNoData) {
    ModuleData module = twoChannelModule(64, std::vector<Cell>(128));
    module.patterns.push_back(PatternData{});
    const std::vector<uint8_t> bytes = xm_writer::writeModule(module);
    EXPECT_EQ(bytes.size(), xm_writer::firstPatternOffset + 2 * patternHeaderLength);
    EXPECT_EQ(u16(bytes, xm_writer::firstPatternOffset + 7), 0);
    EXPECT_EQ(u16(bytes, xm_writer::firstPatternOffset + patternHeaderLength + 5), 64);
    EXPECT_EQ(u16(bytes, xm_writer::firstPatternOffset + patternHeaderLength + 7), 0);
}

// Instrument headers are 29 bytes without samples and 263 with; sample lengths and loops count bytes;
// data is delta coded at its own width, wrapping.
TEST(XmWriter, InstrumentHeadersAndDeltaCodedSamples) {
    ModuleData module = twoChannelModule(1, {});
    const SampleData eightBit{.name = "", .sixteenBit = false, .frames = {10, 0, 0, -128, 127}, .loopStart = 1,
                              .loopLength = 3, .loop = LoopKind::PingPong, .volume = 40, .finetune = -16,
                              .panning = 128, .relativeNote = 12};
    const SampleData sixteenBit{.name = "", .sixteenBit = true, .frames = {32767, -32768, 0}, .loopStart = 1,
                                .loopLength = 2, .loop = LoopKind::Forward};
    module.instruments.resize(3);
    module.instruments[1].samples = {eightBit};
    module.instruments[2].samples = {sixteenBit};
    const std::vector<uint8_t> bytes = xm_writer::writeModule(module);

    const size_t first = xm_writer::firstPatternOffset + patternHeaderLength;
    EXPECT_EQ(u32(bytes, first), 29u);
    EXPECT_EQ(u16(bytes, first + 27), 0) << "sample count";
    const size_t second = first + 29;
    EXPECT_EQ(u32(bytes, second), 263u);
    EXPECT_EQ(u16(bytes, second + 27), 1);
    EXPECT_EQ(u32(bytes, second + 29), 40u) << "sample header size";
    const size_t eightBitHeader = second + 263;
    EXPECT_EQ(slice(bytes, eightBitHeader, 17),
              (std::vector<uint8_t>{5, 0, 0, 0, 1, 0, 0, 0, 3, 0, 0, 0, 40, 0xF0, 0x02, 128, 12}));
    EXPECT_EQ(slice(bytes, eightBitHeader + 40, 5), (std::vector<uint8_t>{10, 246, 0, 128, 255}));

    const size_t third = eightBitHeader + 40 + 5;
    const size_t sixteenBitHeader = third + 263;
    EXPECT_EQ(u32(bytes, third), 263u);
    EXPECT_EQ(slice(bytes, sixteenBitHeader, 15),
              (std::vector<uint8_t>{6, 0, 0, 0, 2, 0, 0, 0, 4, 0, 0, 0, 64, 0, 0x11}));
    // 32767, then -32768 - 32767 wrapping to 1, then 0 - (-32768) wrapping to -32768.
    EXPECT_EQ(slice(bytes, sixteenBitHeader + 40, 6), (std::vector<uint8_t>{0xFF, 0x7F, 0x01, 0x00, 0x00, 0x80}));
    EXPECT_EQ(bytes.size(), sixteenBitHeader + 40 + 6);
}

#ifdef INTRO_HAVE_LIBXMP
// A mature player reads back what was written: counts, rows, events and sample frames with their loop.
TEST(XmWriter, LibxmpReadsWhatWasWritten) {
    ModuleData module;
    module.channelCount = 4;
    module.orders = {1, 0, 1};
    module.restartPosition = 1;
    module.patterns = {PatternData{16, std::vector<Cell>(64)}, PatternData{32, {}}};
    module.patterns[0].cells[5] = Cell{61, 1, 0x30, 0x04, 0x42};
    module.patterns[0].cells[9] = Cell{97, 0, 0, 0, 0};
    SampleData sample{.name = "", .sixteenBit = true, .frames = {}, .loopStart = 20, .loopLength = 60,
                      .loop = LoopKind::Forward};
    for (int frame = 0; frame < 100; ++frame) sample.frames.push_back(static_cast<int16_t>(frame * 300 - 15000));
    module.instruments.resize(1);
    module.instruments[0].samples = {sample};
    std::vector<uint8_t> bytes = xm_writer::writeModule(module);

    xmp_context context = xmp_create_context();
    ASSERT_EQ(xmp_load_module_from_memory(context, bytes.data(), static_cast<long>(bytes.size())), 0);
    xmp_module_info info;
    xmp_get_module_info(context, &info);
    const xmp_module* loaded = info.mod;
    EXPECT_EQ(std::tie(loaded->chn, loaded->len, loaded->rst, loaded->ins), std::tuple(4, 3, 1, 1));
    EXPECT_EQ(loaded->xxp[0]->rows, 16);
    EXPECT_EQ(loaded->xxp[1]->rows, 32);
    // libxmp numbers notes from C-0 = 13, stores volume + 1 and key-off as 129.
    const xmp_event& note = loaded->xxt[loaded->xxp[0]->index[1]]->event[1];
    EXPECT_EQ(std::tie(note.note, note.ins, note.vol, note.fxt, note.fxp), std::tuple(61 + 12, 1, 0x20 + 1, 4, 0x42));
    EXPECT_EQ(loaded->xxt[loaded->xxp[0]->index[1]]->event[2].note, XMP_KEY_OFF);
    const xmp_sample& read = loaded->xxs[0];
    EXPECT_EQ(std::tie(read.len, read.lps, read.lpe), std::tuple(100, 20, 80));
    // The player overwrites the frames after the loop end with its own padding.
    const auto* frames = reinterpret_cast<const int16_t*>(read.data);
    EXPECT_TRUE(std::equal(frames, frames + 80, sample.frames.begin()));
    xmp_release_module(context);
    xmp_free_context(context);
}
#endif
