// trace_dump: plays a song through the offline render (the same block fill as
// the audio thread) and prints one line per replayer tick:
//
//   trace_dump [--ticks N] [--channels FIRST-LAST] INPUT.xm
//
// Each line holds the order position, row and tick, then per channel the
// note, instrument, period (+ this tick's offset), channel volume and panning,
// and the final volume and frequency of the voice the channel plays on.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "file_bytes.h"
#include "mixer_voice.h"
#include "music_channel.h"
#include "music_engine.h"
#include "offline_render.h"
#include "replayer.h"
#include "song.h"

namespace {

constexpr long defaultTickCount = 3000;  // one minute at speed 6, tempo 125
constexpr int exitLoadFailure = 1;
constexpr int exitUsage = 2;
constexpr int semitonesPerOctave = 12;

struct TraceOptions {
    long tickCount = defaultTickCount;
    int firstChannel = 0;
    int lastChannel = maxChannels - 1;
    const char* inputPath = nullptr;
};

struct TraceState {
    const TraceOptions* options = nullptr;
    long ticksPrinted = 0;
};

TraceState traceState;

void printUsage() {
    std::fprintf(stderr,
                 "usage: trace_dump [--ticks N] [--channels FIRST-LAST] INPUT.xm\n"
                 "  Prints the replayer state after every tick (default %ld ticks):\n"
                 "  order row tick | per channel: note instrument period[+offset] volume panning"
                 " > voice volume frequency\n",
                 defaultTickCount);
}

bool parseCount(const char* text, long* value) {
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || parsed < 0) return false;
    *value = parsed;
    return true;
}

bool parseChannelRange(const char* text, int* first, int* last) {
    int from = 0;
    int to = 0;
    char trailing = 0;
    if (std::sscanf(text, "%d-%d%c", &from, &to, &trailing) != 2) return false;
    if (from < 0 || to < from || to >= maxChannels) return false;
    *first = from;
    *last = to;
    return true;
}

bool parseArguments(int argumentCount, char** arguments, TraceOptions* options) {
    for (int index = 1; index < argumentCount; ++index) {
        const std::string argument = arguments[index];
        if (argument == "--ticks" && index + 1 < argumentCount) {
            if (!parseCount(arguments[++index], &options->tickCount)) return false;
        } else if (argument == "--channels" && index + 1 < argumentCount) {
            if (!parseChannelRange(arguments[++index], &options->firstChannel, &options->lastChannel)) return false;
        } else if (options->inputPath == nullptr && !argument.empty() && argument[0] != '-') {
            options->inputPath = arguments[index];
        } else {
            return false;
        }
    }
    return options->inputPath != nullptr;
}

// Tracker-style note name of a 0-based note ("C-4", "F#5").
std::string noteName(int note) {
    static const char* const names[semitonesPerOctave] = {"C-", "C#", "D-", "D#", "E-", "F-",
                                                          "F#", "G-", "G#", "A-", "A#", "B-"};
    return std::string(names[note % semitonesPerOctave]) + std::to_string(note / semitonesPerOctave);
}

void printChannel(const MusicChannel& channel) {
    std::printf(" | %s %02X %5d%+4d %3d %3d", noteName(channel.note).c_str(), channel.instrument + 1, channel.period,
                channel.periodOffset, channel.volume, channel.panning);
    const MixerVoice* voice = channel.voice;
    if (voice == nullptr || voice->sample == nullptr) {
        std::printf(" > --- -----");
    } else {
        std::printf(" > %3d %5d", voice->volume, voice->frequency);
    }
}

// Runs in place of the song's tick handler: the tick itself, then its line.
void tracedTick(MusicEngine& engine, Song* song) {
    const int32_t tick = song->tick;
    replayTick(engine, song);
    const TraceOptions& options = *traceState.options;
    if (traceState.ticksPrinted >= options.tickCount) return;
    std::printf("%3d %3d %2d", song->orderPosition, song->row, tick);
    const int lastChannel = std::min<int>(options.lastChannel, song->channelCount - 1);
    for (int index = options.firstChannel; index <= lastChannel; ++index) printChannel(engine.channels[index]);
    std::printf("\n");
    traceState.ticksPrinted += 1;
}

}  // namespace

int main(int argumentCount, char** arguments) {
    TraceOptions options;
    if (!parseArguments(argumentCount, arguments, &options)) {
        printUsage();
        return exitUsage;
    }
    std::vector<uint8_t> bytes;
    if (!readFileBytes(options.inputPath, bytes)) {
        std::fprintf(stderr, "trace_dump: cannot read %s\n", options.inputPath);
        return exitLoadFailure;
    }
    Song* song = loadSongFromMemory(bytes.data(), bytes.size(), nullptr);
    if (song == nullptr) {
        std::fprintf(stderr, "trace_dump: %s is not a song this player can load\n", options.inputPath);
        return exitLoadFailure;
    }
    OfflineRender* render = beginOfflineRender(song);
    if (render == nullptr) {
        std::fprintf(stderr, "trace_dump: cannot start rendering\n");
        freeSong(song);
        return exitLoadFailure;
    }
    traceState.options = &options;
    song->tickHandler = tracedTick;
    while (traceState.ticksPrinted < options.tickCount) {
        if (renderOfflineBlock(render) == nullptr) break;
    }
    endOfflineRender(render);
    song->tickHandler = replayTick;
    freeSong(song);
    return 0;
}
