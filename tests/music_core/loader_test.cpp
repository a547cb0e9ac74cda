#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "file_callbacks.h"
#include "replayer.h"
#include "song.h"
#include "test_songs.h"
#include "xm_writer.h"

using namespace test_songs;
using WriterCell = xm_writer::Cell;
using xm_writer::LoopKind;
using xm_writer::ModuleData;

namespace {

// Puts raw packed bytes into pattern 0 (written empty, so without data).
std::vector<uint8_t> withPatternData(std::vector<uint8_t> bytes, const std::vector<uint8_t>& data) {
    const size_t offset = patternOffset(bytes, 0);
    EXPECT_EQ(get16(bytes, offset + 7), 0) << "pattern 0 must be written empty";
    put16(bytes, offset + 7, static_cast<uint16_t>(data.size()));
    bytes.insert(bytes.begin() + static_cast<long>(offset + patternHeaderBytes), data.begin(), data.end());
    return bytes;
}

}  // namespace

// Any byte of the signature that differs, letter case included, refuses the file; a good one gets the replayer as tick handler.
TEST(SongLoader, SignatureMustMatchByteForByte) {
    const std::vector<uint8_t> good = xm_writer::writeModule(basicModule());
    const SongPointer song = load(good);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->tickHandler, &replayTick);
    EXPECT_EQ(song->initialGlobalVolume, 64);
    for (size_t index = 0; index < 17; ++index) {
        std::vector<uint8_t> bad = good;
        bad[index] ^= 0x20;  // 'E' -> 'e', ' ' -> '\0', ...
        EXPECT_EQ(load(bad), nullptr) << "byte " << index;
    }
    EXPECT_EQ(loadSongFromMemory(nullptr, 100, nullptr), nullptr);
    EXPECT_EQ(loadSongFromMemory(good.data(), 10, nullptr), nullptr);
}

// An empty pattern (packed size 0) takes 9 bytes and yields empty rows; the next pattern follows at once.
TEST(SongLoader, EmptyPatternConsumesOnlyItsHeader) {
    ModuleData module = basicModule();
    module.orders = {0, 1};
    module.patterns.resize(2);
    module.patterns[1].rowCount = 2;
    module.patterns[1].cells.resize(4);
    module.patterns[1].cells[3] = WriterCell{49, 1, 0x40, 0x0F, 0x06};
    const SongPointer song = load(xm_writer::writeModule(module));
    ASSERT_NE(song, nullptr);
    ASSERT_EQ(song->patterns[0].rowCount, 64);
    for (int index = 0; index < 64 * 2; ++index) {
        const ::Cell& cell = song->patterns[0].cells[index];
        EXPECT_EQ(cell.note | cell.instrument | cell.volume | cell.effect | cell.parameter, 0);
    }
    ASSERT_EQ(song->patterns[1].rowCount, 2);
    const ::Cell& cell = song->patterns[1].cells[3];
    EXPECT_EQ(cell.note, 49);
    EXPECT_EQ(cell.instrument, 1);
    EXPECT_EQ(cell.volume, 0x40);
    EXPECT_EQ(cell.effect, 0x0F);
    EXPECT_EQ(cell.parameter, 0x06);
}

// Packed cells: 0x80 alone is empty, 0x83 0x31 0x02 is note and instrument only, bytes below 0x80 start a 5-byte cell; note 97 is key-off, instruments above 128 are 0.
TEST(SongLoader, PackedAndUnpackedCells) {
    ModuleData module = basicModule();
    module.channelCount = 7;
    module.patterns[0].rowCount = 1;
    const std::vector<uint8_t> data = {
        0x80,                          // empty
        0x83, 0x31, 0x02,              // note 0x31, instrument 2
        0x00, 0x05, 0x10, 0x0C, 0x20,  // unpacked, note 0
        0x9D, 0x0A, 0x30, 0x01, 0x02,  // note, volume, effect, parameter (no instrument)
        0x83, 97, 128,                 // key-off; the highest instrument number
        0x83, 12, 200,                 // instrument beyond 128
        0x61, 129, 0, 0, 0,            // unpacked note 97; note 98 would stay as read
    };
    const SongPointer song = load(withPatternData(xm_writer::writeModule(module), data));
    ASSERT_NE(song, nullptr);
    const ::Cell* cells = song->patterns[0].cells;
    EXPECT_EQ(cells[0].note | cells[0].instrument | cells[0].volume | cells[0].effect | cells[0].parameter, 0);
    EXPECT_EQ(cells[1].note, 0x31);
    EXPECT_EQ(cells[1].instrument, 2);
    EXPECT_EQ(cells[1].volume | cells[1].effect | cells[1].parameter, 0);
    EXPECT_EQ(cells[2].note, 0);
    EXPECT_EQ(cells[2].instrument, 5);
    EXPECT_EQ(cells[2].volume, 0x10);
    EXPECT_EQ(cells[2].effect, 0x0C);
    EXPECT_EQ(cells[2].parameter, 0x20);
    EXPECT_EQ(cells[3].note, 0x0A);
    EXPECT_EQ(cells[3].instrument, 0);
    EXPECT_EQ(cells[3].volume, 0x30);
    EXPECT_EQ(cells[3].effect, 0x01);
    EXPECT_EQ(cells[3].parameter, 0x02);
    EXPECT_EQ(cells[4].note, keyOffNote);
    EXPECT_EQ(cells[4].instrument, 128);
    EXPECT_EQ(cells[5].note, 12);
    EXPECT_EQ(cells[5].instrument, 0);
    EXPECT_EQ(cells[6].note, keyOffNote);
    EXPECT_EQ(cells[6].instrument, 0);
    // The instrument that follows was found right after the decoded bytes.
    EXPECT_EQ(song->instruments[0].samples[0]->length, 8u);
}

// Patterns named by the used orders but missing from the file are 64 empty rows; orders past the song length don't count.
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

// An instrument without samples points every slot at the shared empty sample; the next one starts at its start + header size.
TEST(SongLoader, InstrumentWithoutSamples) {
    ModuleData module = basicModule();
    module.instruments.insert(module.instruments.begin(), xm_writer::InstrumentData{});
    std::vector<uint8_t> bytes = xm_writer::writeModule(module);
    const size_t start = instrumentOffset(bytes, 0);
    ASSERT_EQ(get32(bytes, start), 29u);
    // A longer header with 11 bytes of padding that must be skipped.
    put32(bytes, start, 40);
    bytes.insert(bytes.begin() + static_cast<long>(start + 29), 11, 0xEE);
    const SongPointer song = load(bytes);
    ASSERT_NE(song, nullptr);
    ASSERT_EQ(song->instrumentCount, 2);
    EXPECT_EQ(song->instruments[0].sampleCount, 0);
    for (Sample* slot : song->instruments[0].samples) {
        EXPECT_EQ(slot, &emptySample);
    }
    EXPECT_EQ(song->instruments[1].sampleCount, 1);
    EXPECT_EQ(song->instruments[1].samples[0]->length, 8u);
    EXPECT_EQ(song->instruments[1].samples[1], &emptySample);
}

// Instrument fields sit at their offsets; the fadeout is stored doubled; an envelope without points is off, one with a single point stays on.
TEST(SongLoader, InstrumentFields) {
    ModuleData module = basicModule();
    module.instruments.push_back(module.instruments[0]);
    xm_writer::InstrumentData& instrument = module.instruments[0];
    instrument.sampleMap[0] = 0;
    instrument.sampleMap[95] = 15;
    instrument.volumeEnvelope.points = {{0, 64}, {10, 32}, {20, 0}};
    instrument.volumeEnvelope.flags = 3;
    instrument.volumeEnvelope.sustainPoint = 1;
    instrument.panningEnvelope.points = {{0, 32}};
    instrument.panningEnvelope.flags = 1;
    module.instruments[1].volumeEnvelope.points = {};
    module.instruments[1].volumeEnvelope.flags = 1;
    instrument.vibratoRate = 4;
    instrument.fadeout = 300;
    const SongPointer song = load(xm_writer::writeModule(module));
    ASSERT_NE(song, nullptr);
    const Instrument& loaded = song->instruments[0];
    EXPECT_EQ(loaded.sampleMap[95], 15);
    EXPECT_EQ(loaded.volumePointCount, 3);
    EXPECT_EQ(loaded.volumeEnvelope[1].x, 10);
    EXPECT_EQ(loaded.volumeEnvelope[1].y, 32);
    EXPECT_EQ(loaded.volumeEnvelopeFlags, 3);
    EXPECT_EQ(loaded.volumeSustainPoint, 1);
    EXPECT_EQ(loaded.panningPointCount, 1);
    EXPECT_EQ(loaded.panningEnvelopeFlags, 1);
    EXPECT_EQ(song->instruments[1].volumeEnvelopeFlags, 0);
    EXPECT_EQ(loaded.vibratoRate, 4);
    EXPECT_EQ(loaded.fadeout, 600);
}

// Loop types: none covers the whole sample, both bits mean ping-pong, a loop of length 0 plays the whole sample once.
TEST(SongLoader, LoopTypes) {
    ModuleData module = basicModule();
    std::vector<xm_writer::SampleData> samples(4, eightBitSample(std::vector<int16_t>(100, 1)));
    samples[1].loop = LoopKind::Forward;
    samples[1].loopStart = 10;
    samples[1].loopLength = 50;
    samples[2].loop = LoopKind::PingPong;
    samples[2].loopStart = 20;
    samples[2].loopLength = 30;
    samples[3].loop = LoopKind::Forward;
    samples[3].loopStart = 40;
    samples[3].loopLength = 0;
    module.instruments[0] = instrumentWith(samples);
    std::vector<uint8_t> bytes = xm_writer::writeModule(module);
    const SongPointer song = load(bytes);
    ASSERT_NE(song, nullptr);
    Sample* const* loaded = song->instruments[0].samples;
    EXPECT_EQ(loaded[0]->loopType, LoopNone);
    EXPECT_EQ(loaded[0]->loopStart, 0u);
    EXPECT_EQ(loaded[0]->loopLength, 100u);
    EXPECT_EQ(loaded[1]->loopType, LoopForward);
    EXPECT_EQ(loaded[1]->loopStart, 10u);
    EXPECT_EQ(loaded[1]->loopLength, 50u);
    EXPECT_EQ(loaded[2]->loopType, LoopPingPong);
    EXPECT_EQ(loaded[3]->loopType, LoopNone);
    EXPECT_EQ(loaded[3]->loopStart, 0u);
    EXPECT_EQ(loaded[3]->loopLength, 100u);

    bytes[sampleHeaderOffset(bytes, 0, 1) + 14] |= 0x03;  // both loop bits
    const SongPointer both = load(bytes);
    ASSERT_NE(both, nullptr);
    EXPECT_EQ(both->instruments[0].samples[1]->loopType, LoopPingPong);
}

// 16-bit samples: byte counts are halved into frames (loops too), an odd byte length drops its last byte.
TEST(SongLoader, SixteenBitHalving) {
    ModuleData module = basicModule();
    xm_writer::SampleData sample;
    sample.sixteenBit = true;
    sample.frames.assign(500, 0);
    sample.frames[0] = -1000;
    sample.frames[499] = 30000;
    sample.loop = LoopKind::Forward;
    sample.loopStart = 100;
    sample.loopLength = 200;
    module.instruments[0] = instrumentWith({sample, eightBitSample({5})});
    std::vector<uint8_t> bytes = xm_writer::writeModule(module);
    const SongPointer song = load(bytes);
    ASSERT_NE(song, nullptr);
    const Sample& loaded = *song->instruments[0].samples[0];
    EXPECT_EQ(loaded.length, 500u);
    EXPECT_EQ(loaded.loopStart, 100u);
    EXPECT_EQ(loaded.loopLength, 200u);
    EXPECT_EQ(loaded.bitsPerSample, 16);
    EXPECT_EQ(loaded.data[0], -1000);
    EXPECT_EQ(loaded.data[499], 30000);

    // 1001 bytes: 500 frames read, and the next sample's data is read one byte early.
    const size_t header = sampleHeaderOffset(bytes, 0, 0);
    put32(bytes, header, 1001);
    put32(bytes, header + 4, 201);
    const SongPointer odd = load(bytes);
    ASSERT_NE(odd, nullptr);
    EXPECT_EQ(odd->instruments[0].samples[0]->length, 500u);
    EXPECT_EQ(odd->instruments[0].samples[0]->loopStart, 100u);
}

// 8-bit deltas 10, 246, 0 decode to 2560, 0, 0; 16-bit deltas wrap modulo 65536.
TEST(SongLoader, DeltaDecoding) {
    ModuleData module = basicModule();
    xm_writer::SampleData wide;
    wide.sixteenBit = true;
    wide.frames = {32767, -32768, 0, -1};
    module.instruments[0] = instrumentWith({eightBitSample({10, 0, 0}), wide, eightBitSample({127, -128, 127})});
    std::vector<uint8_t> bytes = xm_writer::writeModule(module);
    const size_t data = sampleHeaderOffset(bytes, 0, 0) + 3 * sampleHeaderBytes;
    ASSERT_EQ(bytes[data], 10);
    ASSERT_EQ(bytes[data + 1], 246);
    ASSERT_EQ(bytes[data + 2], 0);
    const SongPointer song = load(bytes);
    ASSERT_NE(song, nullptr);
    const int16_t* narrow = song->instruments[0].samples[0]->data;
    EXPECT_EQ(narrow[0], 2560);
    EXPECT_EQ(narrow[1], 0);
    EXPECT_EQ(narrow[2], 0);
    const int16_t* sixteen = song->instruments[0].samples[1]->data;
    EXPECT_EQ(sixteen[0], 32767);
    EXPECT_EQ(sixteen[1], -32768);
    EXPECT_EQ(sixteen[2], 0);
    EXPECT_EQ(sixteen[3], -1);
    const int16_t* extremes = song->instruments[0].samples[2]->data;
    EXPECT_EQ(extremes[0], 127 * 256);
    EXPECT_EQ(extremes[1], -128 * 256);
    EXPECT_EQ(extremes[2], 127 * 256);
}

// The frame after the loop repeats the loop's first frame (forward), its last (ping-pong), or stays 0; 8 zero frames follow every sample.
TEST(SongLoader, GuardFrames) {
    ModuleData module = basicModule();
    std::vector<int16_t> frames(16);
    for (int index = 0; index < 16; ++index) frames[index] = static_cast<int16_t>(index + 1);
    std::vector<xm_writer::SampleData> samples(3, eightBitSample(frames));
    samples[0].loop = LoopKind::Forward;
    samples[0].loopStart = 4;
    samples[0].loopLength = 8;
    samples[1].loop = LoopKind::PingPong;
    samples[1].loopStart = 4;
    samples[1].loopLength = 12;
    module.instruments[0] = instrumentWith(samples);
    const SongPointer song = load(xm_writer::writeModule(module));
    ASSERT_NE(song, nullptr);
    Sample* const* loaded = song->instruments[0].samples;
    EXPECT_EQ(loaded[0]->data[12], 5 * 256);   // copy of frame 4
    EXPECT_EQ(loaded[1]->data[16], 16 * 256);  // copy of frame 15
    for (int index = 16; index < 16 + sampleGuardFrames; ++index) {
        EXPECT_EQ(loaded[2]->data[index], 0) << index;
    }
    EXPECT_EQ(loaded[2]->data[15], 16 * 256);
}

// The sample hook supplies the frames instead of the file (no delta decoding), with its byte count, depth and indices.
TEST(SongLoader, SampleDataHook) {
    ModuleData module = basicModule();
    xm_writer::SampleData wide;
    wide.sixteenBit = true;
    wide.frames = {1, 1, 1};
    module.instruments.push_back(instrumentWith({eightBitSample({1, 1}), wide}));
    static std::vector<std::vector<int>> calls;
    calls.clear();
    const SampleDataHook hook = [](void* buffer, uint32_t byteCount, int bits, int instrument, int sample) {
        calls.push_back({static_cast<int>(byteCount), bits, instrument, sample});
        std::memset(buffer, 0x11, byteCount);
    };
    const SongPointer song = load(xm_writer::writeModule(module), hook);
    ASSERT_NE(song, nullptr);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0], (std::vector<int>{8, 8, 0, 0}));
    EXPECT_EQ(calls[1], (std::vector<int>{2, 8, 1, 0}));
    EXPECT_EQ(calls[2], (std::vector<int>{6, 16, 1, 1}));
    EXPECT_EQ(song->instruments[1].samples[0]->data[1], 0x1100);
    EXPECT_EQ(song->instruments[1].samples[1]->data[2], 0x1111);
    EXPECT_EQ(song->sampleDataHook, hook);
}

// Headers with no safe reading are refused: channels 0 or > 32, > 256 patterns, > 128 instruments, song length 0 or > 256, > 16 samples.
TEST(SongLoader, RefusesImpossibleHeaders) {
    const std::vector<uint8_t> good = xm_writer::writeModule(basicModule());
    struct Patch {
        size_t offset;
        uint16_t value;
    };
    const Patch patches[] = {
        {xm_writer::channelCountOffset, 0},     {xm_writer::channelCountOffset, 33},
        {xm_writer::patternCountOffset, 257},   {xm_writer::instrumentCountOffset, 129},
        {xm_writer::songLengthOffset, 0},       {xm_writer::songLengthOffset, 257},
    };
    for (const Patch& patch : patches) {
        std::vector<uint8_t> bad = good;
        put16(bad, patch.offset, patch.value);
        EXPECT_EQ(load(bad), nullptr) << "offset " << patch.offset << " value " << patch.value;
    }
    std::vector<uint8_t> tooManySamples = good;
    put16(tooManySamples, instrumentOffset(good, 0) + 27, 17);
    EXPECT_EQ(load(tooManySamples), nullptr);
    std::vector<uint8_t> thirtyTwoChannels = good;
    put16(thirtyTwoChannels, xm_writer::channelCountOffset, 32);
    EXPECT_NE(load(thirtyTwoChannels), nullptr);
}

// A pattern of 0 or more than 256 rows is refused; 256 rows load.
TEST(SongLoader, PatternRowLimits) {
    ModuleData module = basicModule();
    module.instruments.clear();
    std::vector<uint8_t> bytes = xm_writer::writeModule(module);
    const size_t rowsField = patternOffset(bytes, 0) + 5;
    put16(bytes, rowsField, 0);
    EXPECT_EQ(load(bytes), nullptr);
    put16(bytes, rowsField, 257);
    EXPECT_EQ(load(bytes), nullptr);
    put16(bytes, rowsField, 256);
    const SongPointer song = load(bytes);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->patterns[0].rowCount, 256);
}

// Sloppy values are mended: restart past the end -> 0, tempo outside 32..255 and speed 0 kept where nothing divides by 0.
TEST(SongLoader, MendsSloppyHeaderValues) {
    std::vector<uint8_t> bytes = xm_writer::writeModule(basicModule());
    put16(bytes, xm_writer::restartPositionOffset, 1);
    put16(bytes, xm_writer::defaultSpeedOffset, 0);
    put16(bytes, xm_writer::defaultBpmOffset, 0);
    SongPointer song = load(bytes);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->restartPosition, 0);
    EXPECT_EQ(song->defaultSpeed, 1);
    EXPECT_EQ(song->defaultBpm, 32);
    put16(bytes, xm_writer::defaultBpmOffset, 31);
    EXPECT_EQ(load(bytes)->defaultBpm, 32);
    put16(bytes, xm_writer::defaultBpmOffset, 60000);
    put16(bytes, xm_writer::defaultSpeedOffset, 40000);
    song = load(bytes);
    EXPECT_EQ(song->defaultBpm, 255);
    EXPECT_EQ(song->defaultSpeed, 255);
}

// Envelope point counts above 12 are taken as 12 and point indices stay inside the 12-point arrays.
TEST(SongLoader, MendsEnvelopeCounts) {
    ModuleData module = basicModule();
    module.instruments[0].volumeEnvelope.points = {{0, 64}, {4, 0}};
    module.instruments[0].volumeEnvelope.flags = 1;
    std::vector<uint8_t> bytes = xm_writer::writeModule(module);
    const size_t start = instrumentOffset(bytes, 0);
    bytes[start + 225] = 200;  // volume points
    bytes[start + 226] = 13;   // panning points
    bytes[start + 227] = 250;  // volume sustain point
    const SongPointer song = load(bytes);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->instruments[0].volumePointCount, 12);
    EXPECT_EQ(song->instruments[0].panningPointCount, 12);
    EXPECT_LT(song->instruments[0].volumeSustainPoint, envelopePointCapacity);
    EXPECT_EQ(song->instruments[0].volumeEnvelopeFlags, 1);
}

// A loop that ends beyond its sample is trimmed to it; one that starts beyond it is dropped.
TEST(SongLoader, MendsLoopsBeyondTheSample) {
    ModuleData module = basicModule();
    std::vector<xm_writer::SampleData> samples(2, eightBitSample(std::vector<int16_t>(100, 3)));
    for (auto& sample : samples) {
        sample.loop = LoopKind::Forward;
        sample.loopStart = 10;
        sample.loopLength = 10;
    }
    module.instruments[0] = instrumentWith(samples);
    std::vector<uint8_t> bytes = xm_writer::writeModule(module);
    put32(bytes, sampleHeaderOffset(bytes, 0, 0) + 8, 5000);  // loop length far past the end
    put32(bytes, sampleHeaderOffset(bytes, 0, 1) + 4, 100);   // loop start at the end
    const SongPointer song = load(bytes);
    ASSERT_NE(song, nullptr);
    const Sample& trimmed = *song->instruments[0].samples[0];
    EXPECT_EQ(trimmed.loopType, LoopForward);
    EXPECT_EQ(trimmed.loopStart, 10u);
    EXPECT_EQ(trimmed.loopLength, 90u);
    EXPECT_EQ(trimmed.data[100], trimmed.data[10]);  // guard frame inside the allocation
    const Sample& dropped = *song->instruments[0].samples[1];
    EXPECT_EQ(dropped.loopType, LoopNone);
    EXPECT_EQ(dropped.loopStart, 0u);
    EXPECT_EQ(dropped.loopLength, 100u);
}

// Sample data cut short by the end of the file keeps what is there, zeros after; samples wholly past the end are empty.
TEST(SongLoader, MendsTruncatedSampleData) {
    ModuleData module = basicModule();
    xm_writer::SampleData wide;
    wide.sixteenBit = true;
    wide.frames.assign(50, 1000);
    module.instruments[0] = instrumentWith({eightBitSample(std::vector<int16_t>(100, 7)), wide});
    std::vector<uint8_t> bytes = xm_writer::writeModule(module);
    bytes.resize(bytes.size() - 100 - 41);  // the 8-bit sample keeps 59 frames, the 16-bit one nothing
    SongPointer song = load(bytes);
    ASSERT_NE(song, nullptr);
    const Sample& cut = *song->instruments[0].samples[0];
    EXPECT_EQ(cut.length, 100u);
    EXPECT_EQ(cut.data[58], 7 * 256);
    EXPECT_EQ(cut.data[59], 0);
    EXPECT_EQ(cut.data[99], 0);
    EXPECT_EQ(song->instruments[0].samples[1]->length, 0u);
    EXPECT_EQ(song->instruments[0].samples[1]->data, nullptr);

    bytes = xm_writer::writeModule(module);
    bytes.resize(bytes.size() - 51);  // 49 bytes of the 16-bit sample: 24 whole frames and half a frame
    song = load(bytes);
    ASSERT_NE(song, nullptr);
    const Sample& half = *song->instruments[0].samples[1];
    EXPECT_EQ(half.length, 50u);
    EXPECT_EQ(half.data[23], 1000);
    EXPECT_EQ(half.data[24], 0);
}

// Patterns start at 60 + header size, never inside the orders in use; sizes past the file or past 32 bits stay bounded.
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
    // A size that would put the patterns back inside the orders is read as that same short header.
    put32(shortHeader, xm_writer::headerSizeOffset, 4);
    song = load(shortHeader);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->instruments[0].samples[0]->data[0], 256);
    std::vector<uint8_t> huge = good;
    put32(huge, xm_writer::headerSizeOffset, 0xFFFFFFF0u);
    EXPECT_EQ(load(huge), nullptr);  // nothing left to read there: a pattern of 0 rows

    // Instrument header sizes: below the sample count's end, or far past the file.
    for (const uint32_t size : {0u, 4u, 28u, 100u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        std::vector<uint8_t> bytes = good;
        put32(bytes, instrumentOffset(good, 0), size);
        EXPECT_NE(load(bytes), nullptr) << size;
    }
}

// Every prefix of a file and random damage either load or are refused, never touching memory outside (checked under ASan).
TEST(SongLoader, DamagedFilesNeverReadOutside) {
    ModuleData module = basicModule();
    module.channelCount = 3;
    module.orders = {0, 1, 0};
    module.patterns.resize(2);
    module.patterns[1].rowCount = 4;
    module.patterns[1].cells = {WriterCell{1, 1, 0x20, 1, 2}, WriterCell{97}, WriterCell{0, 0, 0, 0x0C, 0x40}};
    xm_writer::SampleData wide;
    wide.sixteenBit = true;
    wide.frames.assign(30, -7);
    wide.loop = LoopKind::PingPong;
    wide.loopStart = 3;
    wide.loopLength = 20;
    module.instruments.push_back(instrumentWith({wide, eightBitSample({1, 2, 3})}));
    module.instruments[0].volumeEnvelope.points = {{0, 64}, {5, 10}, {9, 0}};
    const std::vector<uint8_t> good = xm_writer::writeModule(module);
    int loaded = 0;
    for (size_t length = 0; length <= good.size(); ++length) {
        const std::vector<uint8_t> prefix(good.begin(), good.begin() + static_cast<long>(length));
        loaded += load(prefix) != nullptr ? 1 : 0;
    }
    EXPECT_GT(loaded, 0);
    std::mt19937 random(12345);
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> bytes = good;
        const int changes = 1 + static_cast<int>(random() % 8);
        for (int change = 0; change < changes; ++change) {
            const size_t at = 17 + random() % (bytes.size() - 17);  // keep the signature
            bytes[at] = static_cast<uint8_t>(random());
        }
        load(bytes);
    }
}

// loadSong reads through the registered callbacks; unset callbacks or a failed open give null.
TEST(SongLoader, LoadsThroughFileCallbacks) {
    static std::vector<uint8_t> file;
    static size_t position;
    static int openCount;
    static int closeCount;
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
            const size_t available = position < file.size() ? file.size() - position : 0;
            const size_t delivered = std::min<size_t>(static_cast<size_t>(count), available);
            std::memcpy(destination, file.data() + position, delivered);
            position += delivered;
            return static_cast<int32_t>(delivered);
        },
        [](void*, int32_t offset, uint8_t origin) {
            const int64_t base = origin == 0 ? 0 : origin == 1 ? static_cast<int64_t>(position) : static_cast<int64_t>(file.size());
            position = static_cast<size_t>(std::clamp<int64_t>(base + offset, 0, static_cast<int64_t>(file.size())));
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
    EXPECT_EQ(fileCallbacks().tell, tell);
    setFileCallbacks(open, close, read, nullptr, tell);
    EXPECT_FALSE(fileCallbacksComplete());
    EXPECT_EQ(fileCallbacks().open, nullptr);
    EXPECT_EQ(fileCallbacks().tell, nullptr);
}
