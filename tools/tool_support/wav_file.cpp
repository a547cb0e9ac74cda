#include "wav_file.h"

#include <bit>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint16_t pcmFormatTag = 1;
constexpr uint16_t floatFormatTag = 3;
constexpr uint16_t floatBitsPerSample = 32;
constexpr uint16_t channelCount = 2;
constexpr uint16_t bitsPerSample = 16;
constexpr uint32_t blockAlign = channelCount * bitsPerSample / 8;
constexpr uint32_t formatChunkSize = 16;
constexpr uint32_t headerBytesAfterRiffSize = 36;  // "WAVE" + format chunk + data chunk header

void putLittle16(uint8_t* out, uint16_t value) {
    out[0] = static_cast<uint8_t>(value);
    out[1] = static_cast<uint8_t>(value >> 8);
}

void putLittle32(uint8_t* out, uint32_t value) {
    for (int byte = 0; byte < 4; ++byte) {
        out[byte] = static_cast<uint8_t>(value >> (8 * byte));
    }
}

}  // namespace

void buildWavHeader(uint8_t* header, uint32_t dataBytes, const WavFormat& format) {
    const uint16_t bits = format.floatSamples ? floatBitsPerSample : bitsPerSample;
    const uint32_t frameBytes = uint32_t{format.channels} * bits / 8;
    std::memcpy(header, "RIFF", 4);
    putLittle32(header + 4, headerBytesAfterRiffSize + dataBytes);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    putLittle32(header + 16, formatChunkSize);
    putLittle16(header + 20, format.floatSamples ? floatFormatTag : pcmFormatTag);
    putLittle16(header + 22, format.channels);
    putLittle32(header + 24, static_cast<uint32_t>(format.sampleRate));
    putLittle32(header + 28, static_cast<uint32_t>(format.sampleRate) * frameBytes);
    putLittle16(header + 32, static_cast<uint16_t>(frameBytes));
    putLittle16(header + 34, bits);
    std::memcpy(header + 36, "data", 4);
    putLittle32(header + 40, dataBytes);
}

void buildStereoWavHeader(uint8_t* header, uint32_t dataBytes, int32_t sampleRate) {
    buildWavHeader(header, dataBytes, WavFormat{sampleRate, channelCount, false});
}

bool writeStereoWav(const char* path, const int16_t* interleaved, size_t frameCount, int32_t sampleRate) {
    uint8_t header[wavHeaderSize];
    buildStereoWavHeader(header, static_cast<uint32_t>(frameCount * blockAlign), sampleRate);
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        return false;
    }
    bool written = std::fwrite(header, 1, wavHeaderSize, file) == wavHeaderSize;
    // Samples are stored little-endian, as on the machines we build for.
    static_assert(std::endian::native == std::endian::little);
    written = written && std::fwrite(interleaved, blockAlign, frameCount, file) == frameCount;
    return std::fclose(file) == 0 && written;
}
