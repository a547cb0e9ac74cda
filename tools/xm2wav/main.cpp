// xm2wav: renders an Extended Module song to a RIFF WAV file (44,100 Hz,
// 16-bit, stereo) through the same block fill as the presentation's audio
// thread, so the file sounds exactly as the presentation plays the song.
//
//   xm2wav [--seconds N] INPUT.xm OUTPUT.wav
//
// Without --seconds it renders one pass of the song: it stops where the song
// first comes back to a row it has already played in the same pattern-loop
// state, and after 20 minutes at the latest.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "file_bytes.h"
#include "mixer.h"
#include "music_channel.h"
#include "music_engine.h"
#include "offline_render.h"
#include "song.h"
#include "wav_file.h"

namespace {

constexpr int64_t passLimitSeconds = 20 * 60;
// RIFF sizes are 32-bit: this keeps the file below 4 GiB.
constexpr double longestRequestSeconds = 24000.0;
constexpr int exitLoadFailure = 1;
constexpr int exitUsage = 2;

constexpr int progressBarWidth = 40;
constexpr int progressBlocksBetweenUpdates = 50;  // about one second of sound

void printUsage() {
    std::fprintf(stderr,
                 "usage: xm2wav [--seconds N] INPUT.xm OUTPUT.wav\n"
                 "  Renders the song to 44,100 Hz 16-bit stereo WAV. Without --seconds, renders\n"
                 "  one pass of the song (until it returns to a row already played; 20 minutes at most).\n");
}

void putLittle16(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

// Watches the rows the song plays. A row counts as a return when the song
// has already played it with every channel's pattern-loop counter the same:
// the passes of a pattern loop differ in their counters, while a jump back
// to an earlier place repeats them.
struct PassTracker {
    TickHandler replay = nullptr;
    std::set<std::vector<int32_t>> visited;
    int64_t framesBeforeTick = 0;
    int32_t lastTickFrames = 0;
    bool returned = false;
    int64_t returnFrame = 0;
};

PassTracker tracker;

void trackingTick(MusicEngine& engine, Song* song) {
    tracker.framesBeforeTick += tracker.lastTickFrames;
    const bool rowStart = song->tick == 0;
    std::vector<int32_t> key;
    if (rowStart && !tracker.returned) {
        key.reserve(2 + static_cast<size_t>(song->channelCount));
        key.push_back(0);
        key.push_back(0);
        const MusicChannel* channels = engine.channels;
        for (int32_t channel = 0; channel < song->channelCount; ++channel) {
            key.push_back(channels[channel].patternLoopCount);
        }
    }
    tracker.replay(engine, song);
    // fillBlock gives every tick at least one frame.
    tracker.lastTickFrames = song->framesPerTick > 0 ? song->framesPerTick : 1;
    if (rowStart && !tracker.returned) {
        key[0] = song->orderPosition;
        key[1] = song->row;
        if (!tracker.visited.insert(std::move(key)).second) {
            tracker.returned = true;
            tracker.returnFrame = tracker.framesBeforeTick;
        }
    }
}

void showProgress(int64_t written, int64_t total, bool knownLength) {
    const double seconds = static_cast<double>(written) / mixRate;
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

bool parseSeconds(const char* text, double& seconds) {
    char* end = nullptr;
    errno = 0;
    seconds = std::strtod(text, &end);
    return errno == 0 && end != text && *end == '\0' && std::isfinite(seconds) && seconds > 0.0 &&
           seconds <= longestRequestSeconds;
}

}  // namespace

int main(int argumentCount, char** arguments) {
    double requestedSeconds = 0.0;
    bool secondsGiven = false;
    std::vector<const char*> paths;
    for (int index = 1; index < argumentCount; ++index) {
        const char* argument = arguments[index];
        if (std::strcmp(argument, "--seconds") == 0) {
            if (index + 1 >= argumentCount || !parseSeconds(arguments[index + 1], requestedSeconds)) {
                std::fprintf(stderr, "xm2wav: --seconds needs a number of seconds above 0 and at most %.0f\n",
                             longestRequestSeconds);
                return exitUsage;
            }
            secondsGiven = true;
            ++index;
        } else if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
            printUsage();
            return 0;
        } else {
            paths.push_back(argument);
        }
    }
    if (paths.size() != 2) {
        printUsage();
        return exitUsage;
    }
    const char* inputPath = paths[0];
    const char* outputPath = paths[1];

    std::vector<uint8_t> bytes;
    if (!readFileBytes(inputPath, bytes)) {
        std::fprintf(stderr, "xm2wav: cannot read %s: %s\n", inputPath, std::strerror(errno));
        return exitLoadFailure;
    }
    Song* song = loadSongFromMemory(bytes.data(), bytes.size(), nullptr);
    if (song == nullptr) {
        std::fprintf(stderr, "xm2wav: %s does not load: not an Extended Module song, or damaged beyond use\n",
                     inputPath);
        return exitLoadFailure;
    }

    FILE* output = std::fopen(outputPath, "wb");
    if (output == nullptr) {
        std::fprintf(stderr, "xm2wav: cannot create %s: %s\n", outputPath, std::strerror(errno));
        freeSong(song);
        return exitLoadFailure;
    }
    uint8_t header[wavHeaderSize];
    buildStereoWavHeader(header, 0, mixRate);
    bool writeFailed = std::fwrite(header, 1, sizeof header, output) != sizeof header;

    OfflineRender* render = beginOfflineRender(song);
    if (!secondsGiven) {
        tracker.replay = song->tickHandler;
        song->tickHandler = trackingTick;
    }
    const int64_t frameLimit = secondsGiven ? std::llround(requestedSeconds * mixRate) : passLimitSeconds * mixRate;
    const bool showBar = isatty(fileno(stderr)) != 0;
    std::vector<uint8_t> pcmBytes(static_cast<size_t>(blockLength) * bytesPerOutputFrame);
    int64_t written = 0;
    int64_t blocks = 0;
    while (render != nullptr && !writeFailed && written < frameLimit) {
        const int16_t* block = renderOfflineBlock(render);
        if (block == nullptr) {
            break;
        }
        int64_t end = std::min<int64_t>(written + blockLength, frameLimit);
        if (tracker.returned) {
            end = std::min(end, tracker.returnFrame);
        }
        const int64_t frames = std::max<int64_t>(end - written, 0);
        for (int64_t sample = 0; sample < frames * outputChannelCount; ++sample) {
            putLittle16(pcmBytes.data() + 2 * sample, static_cast<uint16_t>(block[sample]));
        }
        const size_t byteCount = static_cast<size_t>(frames) * bytesPerOutputFrame;
        writeFailed = std::fwrite(pcmBytes.data(), 1, byteCount, output) != byteCount;
        written += frames;
        if (showBar && ++blocks % progressBlocksBetweenUpdates == 0) {
            showProgress(written, frameLimit, secondsGiven);
        }
        if (tracker.returned && written >= tracker.returnFrame) {
            break;
        }
    }
    if (showBar) {
        showProgress(written, written, secondsGiven);
        std::fputc('\n', stderr);
    }
    endOfflineRender(render);
    freeSong(song);

    buildStereoWavHeader(header, static_cast<uint32_t>(written * bytesPerOutputFrame), mixRate);
    writeFailed = writeFailed || render == nullptr || std::fseek(output, 0, SEEK_SET) != 0 ||
                  std::fwrite(header, 1, sizeof header, output) != sizeof header;
    writeFailed = (std::fclose(output) != 0) || writeFailed;
    if (writeFailed) {
        std::fprintf(stderr, "xm2wav: writing %s failed\n", outputPath);
        return exitLoadFailure;
    }
    return 0;
}
