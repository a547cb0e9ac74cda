// RIFF WAV files of 16-bit stereo PCM, for the tools that render songs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

inline constexpr size_t wavHeaderSize = 44;

// The canonical 44-byte header for dataBytes of 16-bit stereo PCM.
void buildStereoWavHeader(uint8_t* header, uint32_t dataBytes, int32_t sampleRate);

// False when the file cannot be written completely.
bool writeStereoWav(const char* path, const int16_t* interleaved, size_t frameCount, int32_t sampleRate);

// A WAV file written as the frames come: a placeholder header first, the
// frames through a large buffer so that the file sees few, large writes, and
// the header with the final size at the end.
class StereoWavStream {
public:
    StereoWavStream() = default;
    StereoWavStream(const StereoWavStream&) = delete;
    StereoWavStream& operator=(const StereoWavStream&) = delete;
    ~StereoWavStream();  // closes an unfinished file as it is

    // False when the file cannot be created.
    bool open(const char* path, int32_t sampleRate);
    // False once anything could not be written.
    bool append(const int16_t* interleaved, size_t frameCount);
    // Writes the final header and closes; false when any write failed.
    bool finish();

private:
    std::FILE* file_ = nullptr;
    std::unique_ptr<char[]> buffer_;
    int32_t sampleRate_ = 0;
    uint64_t dataBytes_ = 0;
    bool failed_ = false;
};
