// Samples stored as 4-bit ADPCM (sample header byte 17 = 0xAD): decoding, odd
// lengths, cut files, and the layout of what follows such a sample.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "song.h"
#include "test_songs.h"
#include "xm_writer.h"

#ifdef INTRO_HAVE_LIBXMP
#include <xmp.h>
#endif

using namespace test_songs;
using xm_writer::ModuleData;

namespace {

constexpr size_t sampleEncodingField = 17;
constexpr uint8_t adpcmMark = 0xAD;
constexpr size_t adpcmTableBytes = 16;
// Table deltas by index, as the rows below use them.
constexpr std::array<int8_t, 16> table = {0, 1, 2, 4, 8, 16, 32, 64, -1, -2, -4, -8, -16, -32, -64, -128};

// Instrument 0: the ADPCM sample, then an 8-bit sample; instrument 1: another 8-bit sample.
ModuleData adpcmModule(uint32_t frames, uint16_t version = xm_writer::currentFormatVersion) {
    ModuleData module = basicModule();
    module.version = version;
    xm_writer::SampleData packed = eightBitSample(std::vector<int16_t>(frames, 0));
    packed.adpcm = true;
    packed.adpcmTable = table;
    module.instruments[0] = instrumentWith({packed, eightBitSample({5, 6, 7})});
    module.instruments.push_back(instrumentWith({eightBitSample({9, 10})}));
    return module;
}

// Where the ADPCM sample's data (table, then packed bytes) starts.
size_t adpcmDataOffset(const std::vector<uint8_t>& bytes) {
    return sampleHeaderOffset(bytes, 0, 0) + 2 * sampleHeaderBytes;
}

std::vector<int16_t> frames(const Sample& sample) {
    if (sample.data == nullptr) return {};
    return std::vector<int16_t>(sample.data, sample.data + sample.length);
}

std::vector<int16_t> widened(std::vector<int16_t> values) {
    for (int16_t& value : values) value = static_cast<int16_t>(value * 256);
    return values;
}

}  // namespace

// Each row: a sample's header length, its packed bytes (after the table above), how many of its data bytes the
// file holds (the file ends there), and the 8-bit frames it decodes to.
TEST(AdpcmSamples, DecodingRules) {
    constexpr int whole = -1;
    struct Row {
        const char* rule;
        uint32_t length;
        std::vector<uint8_t> packed;
        int bytesInFile;
        std::vector<int16_t> expected;
    };
    const std::vector<Row> rows = {
        {"two indices per byte, low nibble first; each adds its delta to a running value from 0", 4, {0x21, 0x8F},
         whole, {1, 3, -125, -126}},
        {"the running value wraps at 8 bits", 4, {0x77, 0x77}, whole, {64, -128, -64, 0}},
        {"an odd length takes a whole last byte, whose high nibble is no frame", 3, {0x11, 0x71}, whole, {1, 2, 3}},
        {"no frames: the table is still stored, and skipped", 0, {}, whole, {}},
        {"a cut file keeps the length; frames past the packed bytes present are 0", 6, {0x11, 0x11, 0x11},
         static_cast<int>(adpcmTableBytes) + 1, {1, 2, 0, 0, 0, 0}},
        {"a cut table leaves no frames", 4, {0x11, 0x11}, 10, {}},
    };
    for (const Row& row : rows) {
        std::vector<uint8_t> bytes = xm_writer::writeModule(adpcmModule(row.length));
        const size_t data = adpcmDataOffset(bytes);
        ASSERT_EQ(bytes.at(sampleHeaderOffset(bytes, 0, 0) + sampleEncodingField), adpcmMark) << row.rule;
        ASSERT_EQ(std::memcmp(&bytes[data], table.data(), adpcmTableBytes), 0) << row.rule;
        ASSERT_EQ(row.packed.size(), (row.length + 1) / 2) << row.rule;
        std::copy(row.packed.begin(), row.packed.end(), bytes.begin() + static_cast<long>(data + adpcmTableBytes));
        if (row.bytesInFile != whole) bytes.resize(data + static_cast<size_t>(row.bytesInFile));

        const SongPointer song = load(bytes);
        ASSERT_NE(song, nullptr) << row.rule;
        const Instrument& first = song->instruments[0];
        EXPECT_EQ(frames(*first.samples[0]), widened(row.expected)) << row.rule;
        if (row.bytesInFile == whole) {
            EXPECT_EQ(first.samples[0]->length, row.length) << row.rule;
            // What follows starts right after the packed bytes.
            EXPECT_EQ(frames(*first.samples[1]), widened({5, 6, 7})) << row.rule;
            EXPECT_EQ(frames(*song->instruments[1].samples[0]), widened({9, 10})) << row.rule;
        }
    }
}

// The older layout (all sample data after the patterns) reads the same ADPCM bytes the same way.
TEST(AdpcmSamples, OlderLayoutReadsAlike) {
    for (const uint16_t version : {xm_writer::currentFormatVersion, xm_writer::instrumentsFirstVersion}) {
        ModuleData module = adpcmModule(0, version);
        module.instruments[0].samples[0].frames = {1, 3, 7, 15, 31};
        const SongPointer song = load(xm_writer::writeModule(module));
        ASSERT_NE(song, nullptr) << version;
        EXPECT_EQ(frames(*song->instruments[0].samples[0]), widened({1, 3, 7, 15, 31})) << version;
        EXPECT_EQ(frames(*song->instruments[0].samples[1]), widened({5, 6, 7})) << version;
        EXPECT_EQ(frames(*song->instruments[1].samples[0]), widened({9, 10})) << version;
    }
}

// The mark counts for 8-bit samples only: a 16-bit sample so marked is ordinary delta-coded 16-bit data, its length
// counted in bytes as usual.
TEST(AdpcmSamples, SixteenBitSamplesIgnoreTheMark) {
    ModuleData module = adpcmModule(0);
    xm_writer::SampleData wide = eightBitSample({1000, -1000, 30000});
    wide.sixteenBit = true;
    module.instruments[0].samples[0] = wide;
    std::vector<uint8_t> bytes = xm_writer::writeModule(module);
    bytes.at(sampleHeaderOffset(bytes, 0, 0) + sampleEncodingField) = adpcmMark;
    const SongPointer song = load(bytes);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(frames(*song->instruments[0].samples[0]), (std::vector<int16_t>{1000, -1000, 30000}));
    EXPECT_EQ(frames(*song->instruments[0].samples[1]), widened({5, 6, 7}));
    EXPECT_EQ(frames(*song->instruments[1].samples[0]), widened({9, 10}));
}

// The sample hook is asked for an ADPCM sample's frames as 8-bit data, one byte per frame; the file's packed bytes
// are skipped, so the next instrument is still found.
TEST(AdpcmSamples, SampleDataHookGetsFrames) {
    static std::vector<std::vector<int>> calls;
    calls.clear();
    const SampleDataHook hook = [](void* buffer, uint32_t byteCount, int bits, int instrument, int sample) {
        calls.push_back({static_cast<int>(byteCount), bits, instrument, sample});
        std::memset(buffer, 0, byteCount);
    };
    const SongPointer song = load(xm_writer::writeModule(adpcmModule(5)), hook);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(calls, (std::vector<std::vector<int>>{{5, 8, 0, 0}, {3, 8, 0, 1}, {2, 8, 1, 0}}));
}

// The writer picks, frame by frame, the delta that lands nearest (wrapping at 8 bits): exact where each step is in
// the table, and on a sine whose steps stay below 20 never more than half the gap between 16 and 32 off.
TEST(AdpcmSamples, WriterEncodesNearest) {
    ModuleData module = adpcmModule(0);
    module.instruments[0].samples[0].frames = {64, 96, -128, -120, -121, -121, 7};
    SongPointer song = load(xm_writer::writeModule(module));
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(frames(*song->instruments[0].samples[0]), widened({64, 96, -128, -120, -121, -121, 7}));

    std::vector<int16_t> sine(200);
    for (size_t frame = 0; frame < sine.size(); ++frame) {
        sine[frame] = static_cast<int16_t>(100 * std::sin(static_cast<double>(frame) * 0.2));
    }
    module.instruments[0].samples[0].frames = sine;
    song = load(xm_writer::writeModule(module));
    ASSERT_NE(song, nullptr);
    const std::vector<int16_t> decoded = frames(*song->instruments[0].samples[0]);
    ASSERT_EQ(decoded.size(), sine.size());
    for (size_t frame = 0; frame < sine.size(); ++frame) {
        EXPECT_NEAR(decoded[frame] / 256, sine[frame], 8) << frame;
    }
}

// Every prefix of a file with ADPCM samples, and random damage to it, loads or is refused without touching memory
// outside (run under AddressSanitizer): lengths past the file, odd ones and huge ones included.
TEST(AdpcmSamples, DamagedFilesNeverReadOutside) {
    ModuleData module = adpcmModule(0);
    module.instruments[0].samples[0].frames = {1, 3, 7, 15, 31, 63, 127};
    module.instruments[0].samples[0].loop = xm_writer::LoopKind::Forward;
    module.instruments[0].samples[0].loopStart = 2;
    module.instruments[0].samples[0].loopLength = 4;
    const std::vector<uint8_t> good = xm_writer::writeModule(module);
    for (size_t length = 0; length <= good.size(); ++length) {
        load(std::vector<uint8_t>(good.begin(), good.begin() + static_cast<long>(length)));
    }
    const size_t header = sampleHeaderOffset(good, 0, 0);
    for (const uint32_t length : {1u, 8u, 9u, 0x10000u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        std::vector<uint8_t> bytes = good;
        put32(bytes, header, length);
        EXPECT_NE(load(bytes), nullptr) << length;
    }
    std::mt19937 random(2024);
    for (int round = 0; round < 2000; ++round) {
        std::vector<uint8_t> bytes = good;
        for (int change = 1 + static_cast<int>(random() % 8); change > 0; --change) {
            bytes[17 + random() % (bytes.size() - 17)] = static_cast<uint8_t>(random());  // keep the signature
        }
        load(bytes);
    }
}

#ifdef INTRO_HAVE_LIBXMP
// A mature player decodes the same frames from random tables and packed bytes (an odd length included), and finds
// the sample after them where we do.
TEST(AdpcmSamples, DecodesAsLibxmpDoes) {
    std::mt19937 random(77);
    for (const uint32_t length : {1001u, 1000u, 1u}) {
        std::vector<uint8_t> bytes = xm_writer::writeModule(adpcmModule(length));
        const size_t data = adpcmDataOffset(bytes);
        for (size_t at = data; at < data + adpcmTableBytes + (length + 1) / 2; ++at) {
            bytes[at] = static_cast<uint8_t>(random());
        }
        const SongPointer song = load(bytes);
        ASSERT_NE(song, nullptr);

        xmp_context context = xmp_create_context();
        ASSERT_EQ(xmp_load_module_from_memory(context, bytes.data(), static_cast<long>(bytes.size())), 0);
        xmp_module_info info;
        xmp_get_module_info(context, &info);
        for (int sample = 0; sample < 3; ++sample) {
            const xmp_sample& theirs = info.mod->xxs[sample];
            const Sample& ours = sample < 2 ? *song->instruments[0].samples[sample] : *song->instruments[1].samples[0];
            ASSERT_EQ(static_cast<uint32_t>(theirs.len), ours.length) << length << " " << sample;
            std::vector<int16_t> expected;
            for (int frame = 0; frame < theirs.len; ++frame) {
                expected.push_back(static_cast<int16_t>(static_cast<int8_t>(theirs.data[frame]) * 256));
            }
            EXPECT_EQ(frames(ours), expected) << length << " " << sample;
        }
        xmp_release_module(context);
        xmp_free_context(context);
    }
}
#endif
