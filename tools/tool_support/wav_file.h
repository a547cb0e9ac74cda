// RIFF WAV files of 16-bit stereo PCM, for the tools that render songs.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr size_t wavHeaderSize = 44;

// The canonical 44-byte header for dataBytes of 16-bit stereo PCM.
void buildStereoWavHeader(uint8_t* header, uint32_t dataBytes, int32_t sampleRate);

// False when the file cannot be written completely.
bool writeStereoWav(const char* path, const int16_t* interleaved, size_t frameCount, int32_t sampleRate);
