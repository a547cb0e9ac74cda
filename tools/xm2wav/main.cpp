// xm2wav: renders an Extended Module song to a RIFF WAV file (44,100 Hz,
// 16-bit, stereo unless asked otherwise) through the engine's public
// interface, by the tracker's rules or, with --rules intro, exactly as the presentation plays the song. Written to a temporary file
// beside the target and renamed when complete: an interrupted or failed
// render leaves no half file, and nothing is ever overwritten unasked. A
// device or pipe is written into as it is.
#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "clock_text.h"
#include "intro_music.h"
#include "output_file.h"
#include "interpolation_option.h"
#include "rules_option.h"
#include "terminal.h"
#include "wav_file.h"

namespace {

namespace fs = std::filesystem;

constexpr int exitFailure = 1;
constexpr int exitUsage = 2;
constexpr int exitInterrupted = 130;
// RIFF sizes are 32-bit: this keeps the file below 4 GiB.
constexpr double longestRequestSeconds = 24000.0;
constexpr long mostLoops = 1000;
// A stream whose length is not known yet: the largest sizes, as other tools write.
constexpr uint32_t streamingSize = 0xFFFFFFFF;
constexpr size_t riffSizeField = 4;
constexpr size_t dataSizeField = 40;
// A WAV file's RIFF size counts 36 header bytes and the data in 32 bits.
constexpr int64_t largestWavDataBytes = int64_t{0xFFFFFFFF} - 36;

constexpr int progressBarWidth = 40;
constexpr int32_t framesPerChunk = 884 * 50;  // about one second of sound: one write and one progress update
const char* const standardStream = "-";

std::atomic<bool> interrupted{false};

extern "C" void noteInterrupt(int) { interrupted.store(true); }

void printUsage(std::FILE* stream) {
    std::fprintf(stream,
                 "usage: xm2wav [options] SONG.xm OUT.wav\n"
                 "       xm2wav [--rate N] [--rules R] --info SONG.xm\n"
                 "Renders the song to a 44,100 Hz 16-bit stereo WAV file: one pass of the song (until it\n"
                 "returns to a row it has already played; 20 minutes at most), unless told otherwise.\n"
                 "  --seconds N  render N seconds instead (at most %.0f, and less than 4 GiB of sound)\n"
                 "  --loops N    render N passes of the song (default 1)\n"
                 "  --rate N     frames per second, %d to %d (default %d)\n"
                 "  --float      32-bit float samples (full scale 1.0, not clipped)\n"
                 "  --mono       one channel, the mean of left and right\n"
                 "  --start T    begin at a time of the first pass: MM:SS, MM:SS.ss or seconds\n"
                 "  --order N    begin at order N, at row 0 unless --row says otherwise\n"
                 "  --row R      with --order: begin at row R of that order\n"
                 "  --force      replace OUT.wav if it exists\n"
                 "  --raw        write headerless little-endian PCM instead of a WAV file\n"
                 "  --info       print the song's metadata and one-pass duration (at --rate); render nothing\n"
                 "%s%s"
                 "  --version    print the version\n"
                 "  -h, --help   print this help\n"
                 "OUT.wav may be - for standard output (a WAV header of unknown length, or --raw).\n"
                 "Exit status: 0 written; 1 the song or the output could not be read or written (one\n"
                 "line says why); 2 a wrong argument; 130 interrupted (nothing is left behind).\n",
                 longestRequestSeconds, intro_music::lowestFrameRate, intro_music::highestFrameRate,
                 intro_music::frameRate, rulesOptionHelp, interpolationOptionHelp);
}

struct Options {
    double seconds = 0.0;
    long loops = 0;  // 0: not given
    bool force = false;
    bool raw = false;
    bool info = false;
    intro_music::Rules rules = intro_music::Rules::Tracker;
    intro_music::Interpolation interpolation = intro_music::Interpolation::Linear;
    int32_t rate = intro_music::frameRate;
    bool floatSamples = false;
    bool mono = false;
    double start = -1.0;  // -1: not given
    long order = -1;
    long row = -1;
    std::vector<std::string> paths;
};

enum class Parse { Run, Help, Version, Usage };

bool parseSeconds(const char* text, double& seconds) {
    char* end = nullptr;
    errno = 0;
    seconds = std::strtod(text, &end);
    return errno == 0 && end != text && *end == '\0' && std::isfinite(seconds) && seconds > 0.0 &&
           seconds <= longestRequestSeconds;
}

bool parseLoops(const char* text, long& loops) {
    char* end = nullptr;
    errno = 0;
    loops = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && loops >= 1 && loops <= mostLoops;
}

bool parseWhole(const char* text, long lowest, long highest, long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && value >= lowest && value <= highest;
}

// MM:SS, MM:SS.ss or plain seconds.
bool parseStart(const char* text, double& seconds) {
    char* end = nullptr;
    errno = 0;
    const double first = std::strtod(text, &end);
    if (errno != 0 || end == text || !std::isfinite(first) || first < 0.0) return false;
    if (*end == '\0') {
        seconds = first;
        return true;
    }
    if (*end != ':' || first != std::floor(first)) return false;
    const char* rest = end + 1;
    const double second = std::strtod(rest, &end);
    if (errno != 0 || end == rest || *end != '\0' || !(second >= 0.0 && second < 60.0)) return false;
    seconds = first * 60.0 + second;
    return true;
}

Parse parseArguments(int argumentCount, char** arguments, Options& options) {
    bool optionsEnded = false;
    for (int index = 1; index < argumentCount; ++index) {
        const std::string argument = arguments[index];
        const bool isOption = !optionsEnded && argument.size() > 1 && argument[0] == '-';
        if (!isOption) {
            options.paths.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--help" || argument == "-h") {
            return Parse::Help;
        } else if (argument == "--version") {
            return Parse::Version;
        } else if (argument == "--force") {
            options.force = true;
        } else if (argument == "--raw") {
            options.raw = true;
        } else if (argument == "--info") {
            options.info = true;
        } else if (argument == "--seconds") {
            if (index + 1 >= argumentCount || !parseSeconds(arguments[index + 1], options.seconds)) {
                std::fprintf(stderr, "xm2wav: --seconds needs a number of seconds above 0 and at most %.0f\n",
                             longestRequestSeconds);
                return Parse::Usage;
            }
            ++index;
        } else if (argument == "--rules") {
            if (index + 1 >= argumentCount || !parseRulesName(arguments[index + 1], options.rules)) {
                std::fprintf(stderr, "xm2wav: --rules needs tracker or intro\n");
                return Parse::Usage;
            }
            ++index;
        } else if (argument == "--interpolation") {
            if (index + 1 >= argumentCount || !parseInterpolationName(arguments[index + 1], options.interpolation)) {
                std::fprintf(stderr, "xm2wav: --interpolation needs nearest, linear, cubic or sinc\n");
                return Parse::Usage;
            }
            ++index;
        } else if (argument == "--float") {
            options.floatSamples = true;
        } else if (argument == "--mono") {
            options.mono = true;
        } else if (argument == "--rate") {
            long rate = 0;
            if (index + 1 >= argumentCount ||
                !parseWhole(arguments[index + 1], intro_music::lowestFrameRate, intro_music::highestFrameRate, rate)) {
                std::fprintf(stderr, "xm2wav: --rate needs a whole number of frames per second from %d to %d\n",
                             intro_music::lowestFrameRate, intro_music::highestFrameRate);
                return Parse::Usage;
            }
            options.rate = static_cast<int32_t>(rate);
            ++index;
        } else if (argument == "--start") {
            if (index + 1 >= argumentCount || !parseStart(arguments[index + 1], options.start)) {
                std::fprintf(stderr, "xm2wav: --start needs a time: MM:SS, MM:SS.ss or seconds\n");
                return Parse::Usage;
            }
            ++index;
        } else if (argument == "--order" || argument == "--row") {
            long& value = argument == "--order" ? options.order : options.row;
            if (index + 1 >= argumentCount || !parseWhole(arguments[index + 1], 0, 255, value)) {
                std::fprintf(stderr, "xm2wav: %s needs a whole number from 0 to 255\n", argument.c_str());
                return Parse::Usage;
            }
            ++index;
        } else if (argument == "--loops") {
            if (index + 1 >= argumentCount || !parseLoops(arguments[index + 1], options.loops)) {
                std::fprintf(stderr, "xm2wav: --loops needs a whole number of passes from 1 to %ld\n", mostLoops);
                return Parse::Usage;
            }
            ++index;
        } else {
            std::fprintf(stderr, "xm2wav: unknown option '%s' (xm2wav --help lists them)\n", argument.c_str());
            return Parse::Usage;
        }
    }
    if (options.seconds > 0.0 && options.loops > 0) {
        std::fprintf(stderr, "xm2wav: give --seconds or --loops, not both\n");
        return Parse::Usage;
    }
    if (options.start >= 0.0 && options.order >= 0) {
        std::fprintf(stderr, "xm2wav: give --start or --order, not both\n");
        return Parse::Usage;
    }
    if (options.row >= 0 && options.order < 0) {
        std::fprintf(stderr, "xm2wav: --row goes with --order\n");
        return Parse::Usage;
    }
    const double frameBytes = (options.mono ? 1 : 2) * (options.floatSamples ? 4 : 2);
    if (options.seconds * options.rate * frameBytes > static_cast<double>(UINT32_MAX - wavHeaderSize)) {
        std::fprintf(stderr, "xm2wav: %.0f s at that rate and format are more than a WAV file holds (4 GiB)\n",
                     options.seconds);
        return Parse::Usage;
    }
    const size_t wanted = options.info ? 1 : 2;
    if (options.paths.size() != wanted) {
        std::fprintf(stderr, options.info ? "xm2wav: --info takes one song\n" : "xm2wav: give a song and an output file\n");
        printUsage(stderr);
        return Parse::Usage;
    }
    return Parse::Run;
}

void printInfo(const char* path, const intro_music::Metadata& info, intro_music::Rules rules) {
    std::printf("file:        %s\n", path);
    std::printf("title:       %s\n", info.title);
    std::printf("tracker:     %s\n", info.trackerName);
    std::printf("channels:    %d\n", info.channels);
    std::printf("orders:      %d (restart at %d)\n", info.orders, info.restartPosition);
    std::printf("patterns:    %d\n", info.patterns);
    std::printf("instruments: %d\n", info.instruments);
    std::printf("samples:     %d\n", info.samples);
    std::printf("frequencies: %s\n", info.linearFrequencies ? "linear" : "Amiga");
    std::printf("speed:       %d ticks a row, tempo %d\n", info.initialSpeed, info.initialBpm);
    std::printf("rules:       %s\n", rulesName(rules));
    std::printf("duration:    %s (one pass, %.3f s)\n", clockText(info.durationSeconds, 2).c_str(),
                info.durationSeconds);
}

void showProgress(int64_t written, int64_t total, bool knownLength, int32_t rate) {
    const double seconds = static_cast<double>(written) / rate;
    if (knownLength) {
        const double share = total > 0 ? static_cast<double>(written) / static_cast<double>(total) : 1.0;
        const int filled = static_cast<int>(share * progressBarWidth);
        std::fprintf(stderr, "\r[%-*.*s] %3d%% %6.1f s", progressBarWidth, filled,
                     "########################################", static_cast<int>(share * 100.0), seconds);
    } else {
        std::fprintf(stderr, "\rrendering one pass: %6.1f s", seconds);
    }
    std::fflush(stderr);
}

// Where the render goes: standard output, a device or pipe written as it
// comes, or a temporary file renamed onto the target at the end.
struct Destination {
    std::FILE* file = nullptr;
    bool toStandardOutput = false;
    std::optional<OutputFile> output;
    // The length is not known while writing: the header says so, and is
    // corrected at the end only if the stream turns out to be a plain file.
    bool streaming() const { return toStandardOutput || (output && output->direct()); }
};

bool openDestination(const std::string& inputPath, const std::string& path, bool force, Destination& destination) {
    if (path == standardStream && isTerminal(stdout)) {
        std::fprintf(stderr, "xm2wav: standard output is a terminal; redirect it to a file or a program\n");
        return false;
    }
    if (path == standardStream) {
        setBinaryOutput(stdout);
        destination.file = stdout;
        destination.toStandardOutput = true;
        return true;
    }
    std::error_code code;
    if (fs::exists(path, code) && fs::equivalent(inputPath, path, code)) {
        std::fprintf(stderr, "xm2wav: %s is the song itself; refusing to write onto it\n", path.c_str());
        return false;
    }
    OutputFile& output = destination.output.emplace(path, force);
    destination.file = output.ready() ? output.stream() : nullptr;
    if (destination.file == nullptr) {
        std::fprintf(stderr, "xm2wav: %s\n", output.error().c_str());
        return false;
    }
    return true;
}

void discard(Destination& destination) {
    destination.output.reset();
    destination.file = nullptr;
}

bool writeHeader(std::FILE* file, uint32_t dataBytes, bool streaming, const WavFormat& format) {
    uint8_t header[wavHeaderSize];
    buildWavHeader(header, dataBytes, format);
    if (streaming) {
        for (const size_t field : {riffSizeField, dataSizeField}) {
            for (int byte = 0; byte < 4; ++byte) header[field + byte] = static_cast<uint8_t>(streamingSize >> (8 * byte));
        }
    }
    return std::fwrite(header, 1, sizeof header, file) == sizeof header;
}

// The rendered values as the file stores them, little-endian: the values
// themselves on a little-endian machine, a swapped copy in `swapped` otherwise.
const void* littleEndian(const void* values, size_t count, int32_t bytesPerValue, std::vector<uint8_t>& swapped) {
    if constexpr (std::endian::native == std::endian::little) {
        return values;
    } else {
        const auto* from = static_cast<const uint8_t*>(values);
        const auto width = static_cast<size_t>(bytesPerValue);
        for (size_t index = 0; index < count; ++index) {
            for (size_t byte = 0; byte < width; ++byte) {
                swapped[index * width + byte] = from[index * width + width - 1 - byte];
            }
        }
        return swapped.data();
    }
}

}  // namespace

int main(int argumentCount, char** arguments) {
    Options options;
    switch (parseArguments(argumentCount, arguments, options)) {
        case Parse::Help: printUsage(stdout); return 0;
        case Parse::Version: std::printf("xm2wav %s\n", intro_music::versionString()); return 0;
        case Parse::Usage: return exitUsage;
        case Parse::Run: break;
    }
    const std::string& inputPath = options.paths[0];

    intro_music::Error error{};
    intro_music::Module* song = intro_music::loadFromFile(inputPath.c_str(), &error);
    if (song == nullptr) {
        std::fprintf(stderr, "xm2wav: %s\n", error.message);
        return exitFailure;
    }
    if (options.rules != intro_music::Rules::Tracker && !intro_music::setRules(song, options.rules, &error)) {
        std::fprintf(stderr, "xm2wav: %s\n", error.message);
        intro_music::freeModule(song);
        return exitFailure;
    }
    if (!intro_music::setInterpolation(song, options.interpolation, &error)) {
        std::fprintf(stderr, "xm2wav: %s\n", error.message);
        intro_music::freeModule(song);
        return exitFailure;
    }
    // The rate before --info, which gives the one-pass length at that rate.
    if (!intro_music::setOutputRate(song, options.rate, &error)) {
        std::fprintf(stderr, "xm2wav: %s\n", error.message);
        intro_music::freeModule(song);
        return exitUsage;
    }
    if (options.info) {
        printInfo(inputPath.c_str(), intro_music::metadata(song), options.rules);
        for (int32_t index = 0; index < intro_music::loadWarningCount(song); ++index) {
            std::printf("warning:     %s\n", intro_music::loadWarning(song, index));
        }
        intro_music::freeModule(song);
        return 0;
    }
    for (int32_t index = 0; index < intro_music::loadWarningCount(song); ++index) {
        std::fprintf(stderr, "xm2wav: warning: %s\n", intro_music::loadWarning(song, index));
    }
    // Where the render begins.
    const bool placed = (options.start < 0.0 || intro_music::seekToTime(song, options.start, &error)) &&
                        (options.order < 0 || intro_music::seekToRow(song, static_cast<int32_t>(options.order),
                                                                     static_cast<int32_t>(std::max(options.row, 0L)),
                                                                     &error));
    if (!placed) {
        std::fprintf(stderr, "xm2wav: %s\n", error.message);
        intro_music::freeModule(song);
        return exitUsage;
    }
    const WavFormat format{options.rate, static_cast<uint16_t>(options.mono ? 1 : 2), options.floatSamples};
    const int32_t valuesPerFrame = format.channels;
    const int32_t bytesPerValue = options.floatSamples ? 4 : 2;
    const int32_t bytesPerFrame = valuesPerFrame * bytesPerValue;
    const int64_t largestWavFrames = largestWavDataBytes / bytesPerFrame;

    const std::string& outputPath = options.paths[1];
    const bool secondsGiven = options.seconds > 0.0;
    const bool header = !options.raw;
    const long passes = std::max(options.loops, 1L);
    // Only a WAV file of whole passes needs their length up front (one more
    // pass of the song, ticks only): --seconds and --raw start at once.
    // Later passes may differ from the first a little: the render itself stops too if it outgrows the file.
    const double expectedSeconds =
        header && !secondsGiven ? intro_music::metadata(song).durationSeconds * static_cast<double>(passes) : 0.0;
    if (expectedSeconds * options.rate > static_cast<double>(largestWavFrames)) {
        std::fprintf(stderr,
                     "xm2wav: %ld passes of %s last about %.0f s, more than a WAV file holds (%.0f s); "
                     "ask for fewer --loops or --raw\n",
                     passes, inputPath.c_str(), expectedSeconds,
                     static_cast<double>(largestWavFrames) / options.rate);
        intro_music::freeModule(song);
        return exitUsage;
    }
    Destination destination;
    if (!openDestination(inputPath, outputPath, options.force, destination)) {
        intro_music::freeModule(song);
        return exitFailure;
    }
    std::signal(SIGINT, noteInterrupt);
    std::signal(SIGTERM, noteInterrupt);

    const int64_t frameLimit = secondsGiven ? std::llround(options.seconds * options.rate) : INT64_MAX;
    intro_music::setRepeatCount(song, secondsGiven ? -1 : static_cast<int32_t>(passes - 1));
    bool writeFailed = header && !writeHeader(destination.file, 0, destination.streaming(), format);
    bool outgrown = false;
    const bool showBar = isTerminal(stderr);
    const size_t chunkValues = static_cast<size_t>(framesPerChunk) * static_cast<size_t>(valuesPerFrame);
    std::vector<int16_t> frames(options.floatSamples ? 0 : chunkValues);
    std::vector<float> floatFrames(options.floatSamples ? chunkValues : 0);
    const bool swapNeeded = std::endian::native != std::endian::little;
    std::vector<uint8_t> bytes(swapNeeded ? chunkValues * static_cast<size_t>(bytesPerValue) : 0);
    int64_t written = 0;
    while (!writeFailed && !interrupted.load() && written < frameLimit) {
        const auto wanted = static_cast<int32_t>(std::min<int64_t>(framesPerChunk, frameLimit - written));
        const int32_t count = options.floatSamples
                                  ? (options.mono ? intro_music::renderMonoFloat(song, floatFrames.data(), wanted)
                                                  : intro_music::renderFloat(song, floatFrames.data(), wanted))
                                  : (options.mono ? intro_music::renderMono(song, frames.data(), wanted)
                                                  : intro_music::render(song, frames.data(), wanted));
        if (count == 0) break;
        // A file whose header must state its length ends before that length no longer fits.
        if (header && !destination.streaming() && written + count > largestWavFrames) {
            outgrown = true;
            break;
        }
        const size_t valueCount = static_cast<size_t>(count) * static_cast<size_t>(valuesPerFrame);
        const size_t byteCount = valueCount * static_cast<size_t>(bytesPerValue);
        const void* rendered = options.floatSamples ? static_cast<const void*>(floatFrames.data()) : frames.data();
        writeFailed = std::fwrite(littleEndian(rendered, valueCount, bytesPerValue, bytes), 1, byteCount,
                                  destination.file) != byteCount;
        written += count;
        if (showBar) showProgress(written, frameLimit, secondsGiven, options.rate);
    }
    if (showBar) {
        showProgress(written, written, secondsGiven, options.rate);
        std::fputc('\n', stderr);
    }
    intro_music::freeModule(song);
    const int writeErrno = errno;

    if (interrupted.load() || outgrown) {
        discard(destination);
        if (outgrown) {
            std::fprintf(stderr, "xm2wav: the render outgrew what a WAV file holds; %s not written (--raw has no limit)\n",
                         outputPath.c_str());
            return exitFailure;
        }
        std::fprintf(stderr, "xm2wav: interrupted; %s not written\n", outputPath.c_str());
        return exitInterrupted;
    }
    if (destination.streaming()) {
        // Redirected into a file from its start: the header can tell the true length after all.
        const int64_t dataBytes = written * bytesPerFrame;
        if (!writeFailed && header && written <= largestWavFrames && std::fflush(destination.file) == 0 &&
            std::ftell(destination.file) == static_cast<long>(wavHeaderSize + dataBytes) &&
            std::fseek(destination.file, 0, SEEK_SET) == 0) {
            writeFailed = !writeHeader(destination.file, static_cast<uint32_t>(dataBytes), false, format);
        }
        writeFailed = std::fflush(destination.file) != 0 || writeFailed;
        if (destination.output && !destination.output->commit()) {
            std::fprintf(stderr, "xm2wav: %s\n", destination.output->error().c_str());
            return exitFailure;
        }
        if (writeFailed) {
            std::fprintf(stderr, "xm2wav: writing to %s failed: %s\n",
                         destination.toStandardOutput ? "standard output" : outputPath.c_str(), std::strerror(writeErrno));
            discard(destination);
            return exitFailure;
        }
        return 0;
    }
    if (!writeFailed && header) {
        writeFailed = std::fseek(destination.file, 0, SEEK_SET) != 0 ||
                      !writeHeader(destination.file, static_cast<uint32_t>(written * bytesPerFrame), false, format);
    }
    if (writeFailed) {
        discard(destination);
        std::fprintf(stderr, "xm2wav: writing %s failed: %s\n", outputPath.c_str(), std::strerror(writeErrno));
        return exitFailure;
    }
    if (!destination.output->commit()) {
        std::fprintf(stderr, "xm2wav: %s\n", destination.output->error().c_str());
        return exitFailure;
    }
    return 0;
}
