// RIFF WAV files of 16-bit stereo PCM (or another rate, channel count and
// float samples), for the tools that render songs.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr size_t wavHeaderSize = 44;

struct WavFormat {
    int32_t sampleRate;
    uint16_t channels;
    bool floatSamples;  // 32-bit IEEE float instead of 16-bit PCM
};

// The 44-byte header for dataBytes of the given format.
void buildWavHeader(uint8_t* header, uint32_t dataBytes, const WavFormat& format);

// The canonical 44-byte header for dataBytes of 16-bit stereo PCM.
void buildStereoWavHeader(uint8_t* header, uint32_t dataBytes, int32_t sampleRate);

// False when the file cannot be written completely.
bool writeStereoWav(const char* path, const int16_t* interleaved, size_t frameCount, int32_t sampleRate);
