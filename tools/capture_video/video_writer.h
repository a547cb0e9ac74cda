// Encodes the captured pictures and sound into one file with FFmpeg's
// libraries: an MP4 of H.264 (4:2:0, BT.709) and AAC, or, lossless, a
// Matroska file of FFV1 and FLAC. Deterministic: the same input gives the
// same bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct VideoFormat {
    int width;
    int height;
    int framesPerSecond;
    bool lossless;
};

class VideoWriter {
public:
    // Opens `path` (any existing file there is replaced) and writes the
    // header; on failure ready() is false and error() says why.
    VideoWriter(const std::string& path, const VideoFormat& format);
    ~VideoWriter();
    VideoWriter(VideoWriter&&) noexcept;
    VideoWriter& operator=(VideoWriter&&) noexcept;
    VideoWriter(const VideoWriter&) = delete;
    VideoWriter& operator=(const VideoWriter&) = delete;

    bool ready() const;
    const std::string& error() const;

    // The next picture: width x height pixels of four bytes (B, G, R, unused),
    // bottom row first, as the GL read-back gives them.
    bool addPicture(const uint8_t* bottomUpPixels);
    // More sound: 44,100 Hz stereo frames, interleaved left, right.
    bool addSound(const int16_t* interleaved, int64_t frameCount);
    // Drains the encoders and completes the file; nothing may follow.
    bool finish();

private:
    struct Encoding;
    std::unique_ptr<Encoding> encoding_;
};
