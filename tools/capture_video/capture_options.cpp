#include "capture_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string_view>

const char captureUsage[] =
    "usage: capture_video [--size WxH] [--fps N] [--seconds S] [--lossless] [--output FILE]\n"
    "       capture_video --still S [--size WxH] [--fps N] [--output FILE.png]\n"
    "  Renders the presentation and its song off screen, frame by frame, into a video:\n"
    "  MP4 (H.264 + AAC) by default, MKV (FFV1 + FLAC) with --lossless.\n"
    "  --size WxH      picture size in pixels (default 1920x1080; even sides for MP4)\n"
    "  --fps N         frames per second, 1 to 240 (default 60); frame k shows k/N seconds\n"
    "  --seconds S     length (default: one pass of the song)\n"
    "  --output FILE   where to write (default intro.mp4, intro.mkv or intro.png); the name\n"
    "                  ends in .mp4, .mkv with --lossless or .png with --still; a device or\n"
    "                  pipe is written into as it is\n"
    "  --force         replace FILE if it exists\n"
    "  --lossless      lossless picture and sound\n"
    "  --still S       write only the frame at S seconds, as a PNG image\n"
    "  --stats         print the capture speed, split into render, read-back and encode\n"
    "  --version       print the version\n"
    "  -h, --help      print this help\n"
    "Exit status: 0 written; 1 the output could not be written or the capture failed;\n"
    "2 a wrong argument; 130 interrupted (nothing is left behind).\n";

namespace {

bool parseWholeNumber(std::string_view text, int lowest, int highest, int& value) {
    if (text.empty() || text.size() > 9) {
        return false;
    }
    int result = 0;
    for (char digit : text) {
        if (digit < '0' || digit > '9') {
            return false;
        }
        result = result * 10 + (digit - '0');
    }
    if (result < lowest || result > highest) {
        return false;
    }
    value = result;
    return true;
}

bool parseSize(std::string_view text, int& width, int& height) {
    const size_t cross = text.find('x');
    return cross != std::string_view::npos &&
           parseWholeNumber(text.substr(0, cross), smallestSide, largestSide, width) &&
           parseWholeNumber(text.substr(cross + 1), smallestSide, largestSide, height);
}

bool parseSeconds(const std::string& text, double lowest, double& seconds) {
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || end == text.c_str() || *end != '\0' || !std::isfinite(value) || value < lowest ||
        value > longestCaptureSeconds) {
        return false;
    }
    seconds = value;
    return true;
}

std::string lowerCase(std::string text) {
    for (char& character : text) {
        if (character >= 'A' && character <= 'Z') character = static_cast<char>(character - 'A' + 'a');
    }
    return text;
}

ParsedCommandLine usageError(std::string message) {
    ParsedCommandLine parsed;
    parsed.outcome = ParseOutcome::UsageError;
    parsed.error = std::move(message);
    return parsed;
}

}  // namespace

long long captureFrameCount(double seconds, int framesPerSecond) {
    const long long frames = std::llround(seconds * framesPerSecond);
    return frames > 0 ? frames : 1;
}

ParsedCommandLine parseCaptureOptions(const std::vector<std::string>& arguments) {
    ParsedCommandLine parsed;
    CaptureOptions& options = parsed.options;
    const std::string sideRange = std::to_string(smallestSide) + " to " + std::to_string(largestSide);
    for (size_t index = 0; index < arguments.size(); ++index) {
        const std::string& argument = arguments[index];
        if (argument == "--help" || argument == "-h") {
            parsed.outcome = ParseOutcome::Help;
            return parsed;
        }
        if (argument == "--version") {
            parsed.outcome = ParseOutcome::Version;
            return parsed;
        }
        if (argument == "--lossless") {
            options.lossless = true;
            continue;
        }
        if (argument == "--stats") {
            options.printStats = true;
            continue;
        }
        if (argument == "--force") {
            options.replaceExisting = true;
            continue;
        }
        const bool takesValue = argument == "--size" || argument == "--fps" || argument == "--seconds" ||
                                argument == "--output" || argument == "-o" || argument == "--still";
        if (!takesValue) {
            return usageError(argument.starts_with("-") ? "unknown option " + argument + " (see --help)"
                                                        : "unexpected argument " + argument + " (see --help)");
        }
        if (index + 1 >= arguments.size()) {
            return usageError(argument + " needs a value (see --help)");
        }
        const std::string& value = arguments[++index];
        if (argument == "--size") {
            if (!parseSize(value, options.width, options.height)) {
                return usageError("--size needs WIDTHxHEIGHT with each side from " + sideRange + ", not " + value);
            }
        } else if (argument == "--fps") {
            if (!parseWholeNumber(value, 1, largestFramesPerSecond, options.framesPerSecond)) {
                return usageError("--fps needs a whole number from 1 to " + std::to_string(largestFramesPerSecond) +
                                  ", not " + value);
            }
        } else if (argument == "--seconds") {
            if (!parseSeconds(value, 0.0, options.seconds) || options.seconds <= 0.0) {
                return usageError("--seconds needs a length above 0 and at most " +
                                  std::to_string(static_cast<int>(longestCaptureSeconds)) + ", not " + value);
            }
        } else if (argument == "--still") {
            if (!parseSeconds(value, 0.0, options.stillSeconds)) {
                return usageError("--still needs a time from 0 to " +
                                  std::to_string(static_cast<int>(longestCaptureSeconds)) + " seconds, not " + value);
            }
        } else {
            if (value.empty()) {
                return usageError(argument + " needs a file name");
            }
            options.outputPath = value;
        }
    }
    const bool still = options.stillSeconds >= 0.0;
    if (still && (options.lossless || options.seconds > 0.0)) {
        return usageError("--still writes one image: it takes no --lossless or --seconds");
    }
    // H.264 in 4:2:0 halves the colour planes in both directions.
    if (!still && !options.lossless && (options.width % 2 != 0 || options.height % 2 != 0)) {
        return usageError("an MP4 needs even sides, not " + std::to_string(options.width) + "x" +
                          std::to_string(options.height) + " (or use --lossless)");
    }
    const char* const extension = still ? ".png" : options.lossless ? ".mkv" : ".mp4";
    if (options.outputPath.empty()) {
        options.outputPath = std::string("intro") + extension;
    }
    if (options.outputPath == "-") {
        return usageError("the output cannot go to standard output; give a file name ending in " +
                          std::string(extension));
    }
    // A name with an extension says what it holds; a device or pipe usually has none.
    const std::string given = std::filesystem::path(options.outputPath).extension().string();
    if (!given.empty() && lowerCase(given) != extension) {
        const char* const holds = still             ? "a still is a PNG image"
                                  : options.lossless ? "--lossless writes Matroska"
                                                     : "the video is MP4 (Matroska with --lossless)";
        return usageError(options.outputPath + ": " + holds + "; name the file *" + extension);
    }
    return parsed;
}
