// The capture tool's command line.
#pragma once

#include <string>
#include <vector>

inline constexpr int defaultCaptureWidth = 1920;
inline constexpr int defaultCaptureHeight = 1080;
inline constexpr int defaultFramesPerSecond = 60;
inline constexpr int smallestSide = 2;
inline constexpr int largestSide = 8192;
inline constexpr int largestFramesPerSecond = 240;
inline constexpr double longestCaptureSeconds = 3600.0;

struct CaptureOptions {
    int width = defaultCaptureWidth;
    int height = defaultCaptureHeight;
    int framesPerSecond = defaultFramesPerSecond;
    double seconds = 0.0;  // 0: one pass of the song
    bool lossless = false;
    double stillSeconds = -1.0;  // at 0 or later: one PNG of the frame at this time instead of a video
    bool printStats = false;
    bool replaceExisting = false;  // --force: an existing file may be replaced
    std::string outputPath;  // filled with the default when not given
};

enum class ParseOutcome { Capture, Help, Version, UsageError };

struct ParsedCommandLine {
    ParseOutcome outcome = ParseOutcome::Capture;
    CaptureOptions options;
    std::string error;  // one line, for UsageError
};

ParsedCommandLine parseCaptureOptions(const std::vector<std::string>& arguments);

// The frames a capture of `seconds` holds at `framesPerSecond`: at least one.
long long captureFrameCount(double seconds, int framesPerSecond);

extern const char captureUsage[];
