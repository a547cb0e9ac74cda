// Writes 16-bit stereo PCM as a canonical RIFF WAV file.
#pragma once

#include <cstddef>
#include <cstdint>

// False when the file cannot be written completely.
bool writeStereoWav(const char* path, const int16_t* interleaved, size_t frameCount, int32_t sampleRate);
