// Small songs for the engine tests: built with the XM writer, loaded from
// memory, patched byte by byte for damaged variants.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "song.h"
#include "xm_writer.h"

namespace test_songs {

using namespace intro_music::engine;

struct SongDeleter {
    void operator()(Song* song) const { freeSong(song); }
};
using SongPointer = std::unique_ptr<Song, SongDeleter>;

inline SongPointer load(const std::vector<uint8_t>& bytes, SampleDataHook hook = nullptr) {
    return SongPointer(loadSongFromMemory(bytes.data(), bytes.size(), hook));
}

inline void put16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value) {
    bytes.at(offset) = static_cast<uint8_t>(value);
    bytes.at(offset + 1) = static_cast<uint8_t>(value >> 8);
}

inline void put32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
    put16(bytes, offset, static_cast<uint16_t>(value));
    put16(bytes, offset + 2, static_cast<uint16_t>(value >> 16));
}

inline uint16_t get16(const std::vector<uint8_t>& bytes, size_t offset) {
    return static_cast<uint16_t>(bytes.at(offset) | (bytes.at(offset + 1) << 8));
}

inline uint32_t get32(const std::vector<uint8_t>& bytes, size_t offset) {
    return get16(bytes, offset) | (uint32_t{get16(bytes, offset + 2)} << 16);
}

// Layout of a written file, found by walking it as the format describes.
inline constexpr size_t patternHeaderBytes = 9;
inline constexpr size_t sampleHeaderBytes = 40;

inline size_t patternOffset(const std::vector<uint8_t>& bytes, int index) {
    size_t offset = xm_writer::firstPatternOffset;
    for (int pattern = 0; pattern < index; ++pattern) {
        offset += patternHeaderBytes + get16(bytes, offset + 7);
    }
    return offset;
}

// The bytes of a sample's data in the file: its length, or for 4-bit ADPCM
// (byte 17 = 0xAD, 8-bit) a 16-byte table and half a byte per frame.
inline size_t sampleDataBytes(const std::vector<uint8_t>& bytes, size_t sampleHeader) {
    const uint32_t length = get32(bytes, sampleHeader);
    const bool adpcm = bytes.at(sampleHeader + 17) == 0xAD && (bytes.at(sampleHeader + 14) & 0x10) == 0;
    return adpcm ? 16 + (size_t{length} + 1) / 2 : length;
}

inline size_t instrumentOffset(const std::vector<uint8_t>& bytes, int index) {
    size_t offset = patternOffset(bytes, get16(bytes, xm_writer::patternCountOffset));
    for (int instrument = 0; instrument < index; ++instrument) {
        const uint32_t headerSize = get32(bytes, offset);
        const uint16_t sampleCount = get16(bytes, offset + 27);
        size_t dataBytes = 0;
        for (int sample = 0; sample < sampleCount; ++sample) {
            dataBytes += sampleDataBytes(bytes, offset + headerSize + sample * sampleHeaderBytes);
        }
        offset += headerSize + sampleCount * sampleHeaderBytes + dataBytes;
    }
    return offset;
}

inline size_t sampleHeaderOffset(const std::vector<uint8_t>& bytes, int instrument, int sample) {
    const size_t start = instrumentOffset(bytes, instrument);
    return start + get32(bytes, start) + sample * sampleHeaderBytes;
}

inline xm_writer::SampleData eightBitSample(std::vector<int16_t> frames) {
    xm_writer::SampleData sample;
    sample.frames = std::move(frames);
    return sample;
}

inline xm_writer::InstrumentData instrumentWith(std::vector<xm_writer::SampleData> samples) {
    xm_writer::InstrumentData instrument;
    instrument.samples = std::move(samples);
    return instrument;
}

// Two channels, one empty 64-row pattern, one instrument with an 8-bit sample.
inline xm_writer::ModuleData basicModule() {
    xm_writer::ModuleData module;
    module.channelCount = 2;
    module.orders = {0};
    module.patterns.resize(1);
    module.instruments.push_back(instrumentWith({eightBitSample({1, 2, 3, 4, 5, 6, 7, 8})}));
    return module;
}

}  // namespace test_songs
