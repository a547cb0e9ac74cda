// trace_dump: plays a song through the engine's public interface and prints
// one line per replayer tick: the order position, row and tick, then per
// channel the note, instrument, period (+ this tick's offset), channel volume
// and panning, and the final volume and frequency of the voice it plays on.
// A channel on which nothing sounds is shown as idle. It stops where the song
// comes back to a row it has played (one pass), or after --ticks ticks.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "intro_music.h"
#include "rules_option.h"

namespace {

constexpr long defaultTickCount = 3000;  // one minute at speed 6, tempo 125
constexpr int largestChannelCount = 32;
constexpr int exitFailure = 1;
constexpr int exitUsage = 2;
constexpr int semitonesPerOctave = 12;
constexpr int32_t framesPerRender = 256;

struct TraceOptions {
    long tickCount = defaultTickCount;
    int firstChannel = 0;
    int lastChannel = largestChannelCount - 1;
    bool channelsGiven = false;
    const char* inputPath = nullptr;
    intro_music::Rules rules = intro_music::Rules::Tracker;
};

struct TraceState {
    const TraceOptions* options = nullptr;
    long ticksPrinted = 0;
    bool songEnded = false;
    std::vector<intro_music::ChannelState> channels;
};

void printUsage(std::FILE* stream) {
    std::fprintf(stream,
                 "usage: trace_dump [--ticks N] [--channels FIRST-LAST | --channels N] [--rules R] SONG.xm\n"
                 "Prints the replayer state after every tick, for one pass of the song (until it comes\n"
                 "back to a row it has played) or at most --ticks ticks (default %ld):\n"
                 "  order row tick | per channel: note instrument period[+offset] volume panning"
                 " > voice volume frequency\n"
                 "Bases: the note is a name (C-4, F#5); the instrument is hexadecimal (01..FF);\n"
                 "everything else is decimal: order, row and tick from 0, period and its signed\n"
                 "offset, channel volume 0..64, panning 0..255, voice volume 0..127, frequency in Hz.\n"
                 "A channel on which nothing sounds shows \"idle\" in place of its note and instrument.\n"
                 "  --ticks N    print at most N ticks (default %ld)\n"
                 "  --channels C  the channels shown: FIRST-LAST, or one channel N; from 0 to 31\n"
                 "%s"
                 "  --version    print the version\n"
                 "  -h, --help   print this help\n"
                 "Exit status: 0 traced; 1 the song could not be read; 2 a wrong argument, or\n"
                 "channels the song does not have.\n",
                 defaultTickCount, defaultTickCount, rulesOptionHelp);
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
    const int read = std::sscanf(text, "%d-%d%c", &from, &to, &trailing);
    if (read == 1 && std::strchr(text, '-') == nullptr && std::sscanf(text, "%d%c", &from, &trailing) == 1) {
        to = from;  // one channel
    } else if (read != 2) {
        return false;
    }
    if (from < 0 || to < from || to >= largestChannelCount) return false;
    *first = from;
    *last = to;
    return true;
}

enum class Parse { Run, Help, Version, Usage };

Parse parseArguments(int argumentCount, char** arguments, TraceOptions* options) {
    for (int index = 1; index < argumentCount; ++index) {
        const std::string argument = arguments[index];
        if (argument == "--help" || argument == "-h") return Parse::Help;
        if (argument == "--version") return Parse::Version;
        if (argument == "--rules") {
            if (index + 1 >= argumentCount || !parseRulesName(arguments[index + 1], options->rules)) {
                std::fprintf(stderr, "trace_dump: --rules needs tracker or intro\n");
                return Parse::Usage;
            }
            ++index;
        } else if (argument == "--ticks" || argument == "--channels") {
            const bool ticks = argument == "--ticks";
            if (index + 1 >= argumentCount ||
                (ticks ? !parseCount(arguments[index + 1], &options->tickCount)
                       : !parseChannelRange(arguments[index + 1], &options->firstChannel, &options->lastChannel))) {
                std::fprintf(stderr, ticks ? "trace_dump: --ticks needs a whole number of ticks\n"
                                           : "trace_dump: --channels needs FIRST-LAST or N, from 0 to 31\n");
                return Parse::Usage;
            }
            options->channelsGiven = options->channelsGiven || !ticks;
            ++index;
        } else if (argument.size() > 1 && argument[0] == '-') {
            std::fprintf(stderr, "trace_dump: unknown option '%s' (trace_dump --help lists them)\n", argument.c_str());
            return Parse::Usage;
        } else if (options->inputPath == nullptr) {
            options->inputPath = arguments[index];
        } else {
            std::fprintf(stderr, "trace_dump: give one song\n");
            return Parse::Usage;
        }
    }
    if (options->inputPath == nullptr) {
        std::fprintf(stderr, "trace_dump: give one song\n");
        printUsage(stderr);
        return Parse::Usage;
    }
    return Parse::Run;
}

// Tracker-style note name of a 0-based note ("C-4", "F#5").
std::string noteName(int note) {
    static const char* const names[semitonesPerOctave] = {"C-", "C#", "D-", "D#", "E-", "F-",
                                                          "F#", "G-", "G#", "A-", "A#", "B-"};
    return std::string(names[note % semitonesPerOctave]) + std::to_string(note / semitonesPerOctave);
}

void printChannel(const intro_music::ChannelState& channel) {
    if (channel.active) {
        std::printf(" | %s %02X", noteName(channel.note).c_str(), channel.instrument);
    } else {
        std::printf(" | idle  ");
    }
    std::printf(" %5d%+4d %3d %3d", channel.period, channel.periodOffset, channel.volume, channel.panning);
    if (channel.active) {
        std::printf(" > %3d %5d", channel.voiceVolume, channel.frequency);
    } else {
        std::printf(" > --- -----");
    }
}

void printTick(void* user, const intro_music::Module* module, const intro_music::TickInfo& tick) {
    auto& state = *static_cast<TraceState*>(user);
    const TraceOptions& options = *state.options;
    if (state.ticksPrinted >= options.tickCount || state.songEnded) return;
    // The tick that comes back to a played row begins the next pass: not traced.
    if (intro_music::position(module).passesCompleted > 0) {
        state.songEnded = true;
        return;
    }
    const int32_t count =
        intro_music::channelStates(module, state.channels.data(), static_cast<int32_t>(state.channels.size()));
    std::printf("%3d %3d %2d", tick.order, tick.row, tick.tick);
    const int lastChannel = std::min<int>(options.lastChannel, count - 1);
    for (int index = options.firstChannel; index <= lastChannel; ++index) printChannel(state.channels[index]);
    std::printf("\n");
    state.ticksPrinted += 1;
}

}  // namespace

int main(int argumentCount, char** arguments) {
    TraceOptions options;
    switch (parseArguments(argumentCount, arguments, &options)) {
        case Parse::Help: printUsage(stdout); return 0;
        case Parse::Version: std::printf("trace_dump %s\n", intro_music::versionString()); return 0;
        case Parse::Usage: return exitUsage;
        case Parse::Run: break;
    }
    intro_music::Error error{};
    intro_music::Module* song = intro_music::loadFromFile(options.inputPath, &error);
    if (song == nullptr) {
        std::fprintf(stderr, "trace_dump: %s\n", error.message);
        return exitFailure;
    }
    if (options.rules != intro_music::Rules::Tracker && !intro_music::setRules(song, options.rules, &error)) {
        std::fprintf(stderr, "trace_dump: %s\n", error.message);
        intro_music::freeModule(song);
        return exitFailure;
    }
    // Channels asked for that the song does not have: none at all is a
    // mistake, some of them a warning, and the trace shows the rest.
    const int32_t songChannels = intro_music::metadata(song).channels;
    if (options.channelsGiven && options.lastChannel >= songChannels) {
        const bool noneLeft = options.firstChannel >= songChannels;
        std::fprintf(stderr, "trace_dump: %sthe song has %d channels (0 to %d); --channels %d-%d %s\n",
                     noneLeft ? "" : "warning: ", songChannels, songChannels - 1, options.firstChannel,
                     options.lastChannel, noneLeft ? "shows none of them" : "shows only those");
        if (noneLeft) {
            intro_music::freeModule(song);
            return exitUsage;
        }
    }
    TraceState state{&options, 0, false, std::vector<intro_music::ChannelState>(largestChannelCount)};
    intro_music::setTickObserver(song, printTick, &state);
    std::vector<int16_t> frames(static_cast<size_t>(framesPerRender) * intro_music::channelsPerFrame);
    while (state.ticksPrinted < options.tickCount && !state.songEnded) {
        if (intro_music::render(song, frames.data(), framesPerRender) == 0) break;
    }
    intro_music::freeModule(song);
    return std::fflush(stdout) == 0 ? 0 : exitFailure;
}
