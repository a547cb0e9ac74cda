// songplayer: plays songs through the sound device, one pass each, one after
// another. On a terminal it keeps one status line up to date and takes keys;
// otherwise it prints only one result line per song.
//
//   songplayer [--loops N] [--rules tracker|intro] [--interpolation I] SONG.xm...
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "clock_text.h"
#include "intro_music.h"
#include "interpolation_option.h"
#include "intro_music_live.h"
#include "rules_option.h"
#include "terminal.h"

namespace {

constexpr int exitFailure = 1;
constexpr int exitUsage = 2;
constexpr long mostLoops = 1000;
constexpr auto pollInterval = std::chrono::milliseconds(20);
constexpr int pollsPerStatus = 5;  // the status line changes ten times a second
constexpr double seekStepSeconds = 5.0;
// The volume keys step by a tenth of the song's own level, up to twice it.
constexpr int volumeStepPercent = 10;
constexpr int loudestPercent = 200;
const char* const clearLine = "\r\033[K";

// The signal that asked the player to end (SIGINT, SIGTERM), 0 while none has.
std::atomic<int> endingSignal{0};

extern "C" void noteEndingSignal(int signal) { endingSignal.store(signal); }

void printUsage(std::FILE* stream) {
    std::fprintf(stream,
                 "usage: songplayer [--loops N] [--rules R] [--interpolation I] SONG.xm...\n"
                 "Plays each song through the sound device, one pass (or N passes) each, in turn.\n"
                 "Keys on a terminal: space pauses and resumes, n plays the next song, q quits,\n"
                 "left and right go 5 seconds back and ahead, up and down to the previous and the\n"
                 "next order, + and - turn the volume up and down, i goes to the next interpolation\n"
                 "(nearest, linear, cubic, sinc).\n"
                 "The sound goes to SDL's default device; SDL_AUDIODRIVER chooses another driver,\n"
                 "e.g. SDL_AUDIODRIVER=dummy plays in silence where there is no sound device, or\n"
                 "SDL_AUDIODRIVER=disk writes the sound to the file SDL_DISKAUDIOFILE names.\n"
                 "  --loops N    play N passes of each song (default 1; 0 plays until stopped)\n"
                 "%s%s"
                 "  --version    print the version\n"
                 "  -h, --help   print this help\n"
                 "Exit status: 0 every song played; 1 a song could not be loaded, or no sound device\n"
                 "opened; 2 a wrong argument. SIGINT and SIGTERM end it by that signal.\n",
                 rulesOptionHelp, interpolationOptionHelp);
}

struct Options {
    long loops = 1;  // 0: until stopped
    intro_music::Rules rules = intro_music::Rules::Tracker;
    intro_music::Interpolation interpolation = intro_music::Interpolation::Linear;
    std::vector<std::string> songs;
};

enum class Parse { Run, Help, Version, Usage };

Parse parseArguments(int argumentCount, char** arguments, Options& options) {
    bool optionsEnded = false;
    for (int index = 1; index < argumentCount; ++index) {
        const std::string argument = arguments[index];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            options.songs.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--help" || argument == "-h") {
            return Parse::Help;
        } else if (argument == "--version") {
            return Parse::Version;
        } else if (argument == "--rules") {
            if (index + 1 >= argumentCount || !parseRulesName(arguments[index + 1], options.rules)) {
                std::fprintf(stderr, "songplayer: --rules needs tracker or intro\n");
                return Parse::Usage;
            }
            ++index;
        } else if (argument == "--interpolation") {
            if (index + 1 >= argumentCount || !parseInterpolationName(arguments[index + 1], options.interpolation)) {
                std::fprintf(stderr, "songplayer: --interpolation needs nearest, linear, cubic or sinc\n");
                return Parse::Usage;
            }
            ++index;
        } else if (argument == "--loops") {
            char* end = nullptr;
            errno = 0;
            options.loops = index + 1 < argumentCount ? std::strtol(arguments[index + 1], &end, 10) : 0;
            if (index + 1 >= argumentCount || errno != 0 || *end != '\0' || options.loops < 0 ||
                options.loops > mostLoops) {
                std::fprintf(stderr,
                             "songplayer: --loops needs a whole number of passes from 1 to %ld, or 0 for no end\n",
                             mostLoops);
                return Parse::Usage;
            }
            ++index;
        } else {
            std::fprintf(stderr, "songplayer: unknown option '%s' (songplayer --help lists them)\n",
                         argument.c_str());
            return Parse::Usage;
        }
    }
    if (options.songs.empty()) {
        std::fprintf(stderr, "songplayer: give at least one song\n");
        printUsage(stderr);
        return Parse::Usage;
    }
    return Parse::Run;
}

std::string fileName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

// "  Title" for the status line, "" for a song without one.
std::string titlePart(const intro_music::Metadata& info, const char* before, const char* after) {
    return info.title[0] == '\0' ? std::string() : before + std::string(info.title) + after;
}

void showStatus(const std::string& path, const intro_music::Metadata& info, const intro_music::Position& at,
                intro_music::Interpolation interpolation, bool paused, int volumePercent) {
    // Orders count from 1 here, as people count: the last reads "8 of 8".
    std::printf("%s%s%s  order %d of %d  row %2d  %s / %s  volume %d%%  %s%s", clearLine, fileName(path).c_str(),
                titlePart(info, "  ", "").c_str(), at.order + 1, info.orders, at.row, clockText(at.seconds, 1).c_str(),
                clockText(info.durationSeconds, 1).c_str(), volumePercent, interpolationName(interpolation),
                paused ? "  [paused]" : "");
    std::fflush(stdout);
}

enum class Outcome { Played, Skipped, Quit };

// Plays one song until it ends or a key says otherwise. False when no sound
// device opens, which ends the whole run.
bool playSong(const std::string& path, intro_music::Module* song, long loops, KeyReader& keys, bool statusLine,
              int& volumePercent, Outcome& outcome) {
    intro_music::setRepeatCount(song, loops == 0 ? -1 : static_cast<int32_t>(loops - 1));
    intro_music::setMasterGain(song, volumePercent / 100.0);
    const intro_music::Metadata info = intro_music::metadata(song);
    intro_music::Error error{};
    intro_music::LivePlayer* live = intro_music::startLive(song, &error);
    if (live == nullptr) {
        std::fprintf(stderr, "songplayer: %s (SDL_AUDIODRIVER=dummy plays in silence)\n", error.message);
        return false;
    }
    outcome = Outcome::Played;
    for (int poll = 0; !intro_music::liveEnded(live) && endingSignal.load() == 0; ++poll) {
        const KeyPress press = keys.poll();
        if (press.key == Key::Space) {
            intro_music::setLivePaused(live, !intro_music::livePaused(live));
        } else if (press.key == Key::Left || press.key == Key::Right) {
            // Within the first pass: from its start up to its last second.
            const double step = press.key == Key::Right ? seekStepSeconds : -seekStepSeconds;
            const double target = std::clamp(intro_music::livePosition(live).seconds + step, 0.0,
                                             std::max(info.durationSeconds - 1.0, 0.0));
            intro_music::liveSeekToTime(live, target, nullptr);
        } else if (press.key == Key::Up || press.key == Key::Down) {
            const int32_t order = intro_music::livePosition(live).order + (press.key == Key::Down ? 1 : -1);
            if (order >= 0 && order < info.orders) intro_music::liveSeekToOrder(live, order, nullptr);
        } else if (press.key == Key::Character && (press.character == '+' || press.character == '=' ||
                                                   press.character == '-' || press.character == '_')) {
            const int step = press.character == '+' || press.character == '=' ? volumeStepPercent : -volumeStepPercent;
            volumePercent = std::clamp(volumePercent + step, 0, loudestPercent);
            intro_music::setLiveGain(live, volumePercent / 100.0);
        } else if (press.key == Key::Character && (press.character == 'i' || press.character == 'I')) {
            const auto next = static_cast<intro_music::Interpolation>(
                (static_cast<int32_t>(intro_music::interpolation(song)) + 1) % std::size(interpolationNames));
            intro_music::liveSetInterpolation(live, next, nullptr);
        } else if (press.key == Key::Character && (press.character == 'n' || press.character == 'N')) {
            outcome = Outcome::Skipped;
            break;
        } else if (press.key == Key::Character && (press.character == 'q' || press.character == 'Q')) {
            outcome = Outcome::Quit;
            break;
        }
        if (statusLine && (poll % pollsPerStatus == 0 || press.key != Key::None)) {
            showStatus(path, info, intro_music::livePosition(live), intro_music::interpolation(song),
                       intro_music::livePaused(live), volumePercent);
        }
        std::this_thread::sleep_for(pollInterval);
    }
    const double seconds = intro_music::livePosition(live).seconds;
    intro_music::stopLive(live);
    if (endingSignal.load() != 0) {
        outcome = Outcome::Quit;
        if (statusLine) std::printf("%s", clearLine);
        std::fflush(stdout);
        return true;
    }
    const char* verb = outcome == Outcome::Played ? "played" : outcome == Outcome::Skipped ? "skipped" : "stopped";
    std::printf("%s%s %s%s at %s of %s\n", statusLine ? clearLine : "", verb, path.c_str(),
                titlePart(info, " (", ")").c_str(), clockText(seconds, 1).c_str(),
                clockText(info.durationSeconds, 1).c_str());
    std::fflush(stdout);
    return true;
}


// Plays every song in turn; the exit status.
int playAll(const Options& options) {
    intro_music::Interpolation interpolation = options.interpolation;
    KeyReader keys;
    const bool statusLine = isTerminal(stdout);
    bool anyFailed = false;
    int volumePercent = 100;  // kept from song to song
    for (const std::string& path : options.songs) {
        intro_music::Error error{};
        intro_music::Module* song = intro_music::loadFromFile(path.c_str(), &error);
        // A signal during a load that waits (a pipe, a slow disk) ends it and the run.
        if (endingSignal.load() != 0) {
            intro_music::freeModule(song);
            break;
        }
        if (song == nullptr) {
            std::fprintf(stderr, "songplayer: %s\n", error.message);
            anyFailed = true;
            continue;
        }
        if (options.rules != intro_music::Rules::Tracker && !intro_music::setRules(song, options.rules, &error)) {
            std::fprintf(stderr, "songplayer: %s\n", error.message);
            intro_music::freeModule(song);
            return exitFailure;
        }
        intro_music::setInterpolation(song, interpolation, nullptr);
        Outcome outcome = Outcome::Played;
        const bool played = playSong(path, song, options.loops, keys, statusLine, volumePercent, outcome);
        // A mode chosen with the key stays for the songs after.
        interpolation = intro_music::interpolation(song);
        intro_music::freeModule(song);
        if (!played) return exitFailure;
        if (outcome == Outcome::Quit) break;
    }
    return anyFailed ? exitFailure : 0;
}

}  // namespace

int main(int argumentCount, char** arguments) {
    Options options;
    switch (parseArguments(argumentCount, arguments, options)) {
        case Parse::Help: printUsage(stdout); return 0;
        case Parse::Version: std::printf("songplayer %s\n", intro_music::versionString()); return 0;
        case Parse::Usage: return exitUsage;
        case Parse::Run: break;
    }
    // Ctrl-C and kill end the player at once: the device is closed and the
    // terminal given back (the key reader's settings undone) before the
    // signal ends the process as it would have without a handler.
    // Without SA_RESTART, so that an open or read waiting on a pipe returns at the signal.
    struct sigaction ending {};
    ending.sa_handler = noteEndingSignal;
    sigemptyset(&ending.sa_mask);
    ending.sa_flags = 0;
    sigaction(SIGINT, &ending, nullptr);
    sigaction(SIGTERM, &ending, nullptr);
    const int status = playAll(options);
    if (const int signal = endingSignal.load(); signal != 0) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
    return status;
}
