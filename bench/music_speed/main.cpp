// bench_music [--seconds N] [--runs N] [--programs] [SONG.xm | FOLDER]...
// Measures how fast our library renders each song compared with two mature
// players: the real-time factor is seconds of audio rendered per CPU second
// of the rendering thread, loading excluded, the fastest of several runs. Next
// to it, the whole-process CPU time of a child process that loads the song,
// renders it and exits (fastest of as many runs). Prints one line per song,
// the geometric means, our ratio to each player and the slowest ratio. The
// players take turns run by run, so the ratios compare like with like.
// Then what the library's settings cost (48 kHz against 44.1 kHz, float
// against 16-bit, the tracker's rules against the presentation's, per second of
// sound), what each interpolation costs against the players' filters of the
// same length, and the start-up cost: a process that loads the longest song
// and renders 0.01 s. Last, the programs as users run them, whole processes
// writing a WAV file: xm2wav against reference_render's libxmp renderer, each
// song and a 0.01 s render of the longest one (--programs: only these).
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "file_bytes.h"
#include "intro_music.h"
#include "reference_players.h"
#include "render_subject.h"

namespace {

constexpr int32_t sampleRate = 44100;
constexpr int stereoChannels = 2;
// Frames handed to a player per call, the same for every player.
constexpr size_t chunkFrames = 4096;
constexpr double defaultSeconds = 120;
// A 60 ms process varies by 10-20 % from run to run on a small shared
// machine, and other work only ever adds time: the fastest of nine runs is
// the steadiest figure of what a player itself costs.
constexpr int defaultRuns = 9;
// Eleven players and modes a song: fewer runs keep the table to minutes.
constexpr int interpolationRuns = 3;
constexpr double startupSeconds = 0.01;
constexpr int startupRuns = 21;

const RenderSubject* const subjects[] = {&ourEngineSubject, &libxmpSubject, &libopenmptSubject};
constexpr int subjectCount = sizeof subjects / sizeof subjects[0];

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// CPU seconds to render frameCount frames once, or a negative value when the
// player refuses the song or stops early.
double timeOneRender(const RenderSubject& subject, const std::vector<unsigned char>& song, size_t frameCount,
                     std::vector<int16_t>* chunk) {
    void* handle = subject.open(song.data(), song.size());
    if (handle == nullptr) {
        return -1;
    }
    bool complete = true;
    const double start = threadCpuSeconds();
    for (size_t done = 0; done < frameCount && complete; done += chunkFrames) {
        complete = subject.render(handle, chunk->data(), std::min(chunkFrames, frameCount - done));
    }
    const double elapsed = threadCpuSeconds() - start;
    subject.close(handle);
    return complete ? elapsed : -1;
}

double lowest(const std::vector<double>& values) { return *std::min_element(values.begin(), values.end()); }
double highest(const std::vector<double>& values) { return *std::max_element(values.begin(), values.end()); }

// User plus system CPU seconds of a child process that loads the song,
// renders it and exits; negative when the child fails.
double timeOneProcess(const RenderSubject& subject, const std::vector<unsigned char>& song, size_t frameCount) {
    std::fflush(stdout);
    const pid_t child = fork();
    if (child < 0) {
        return -1;
    }
    if (child == 0) {
        // The parent's freed heap is shared with this child until written: give it back, so that
        // the player's allocations start from fresh pages, as in a process of its own.
        malloc_trim(0);
        std::vector<int16_t> chunk(chunkFrames * stereoChannels);
        void* handle = subject.open(song.data(), song.size());
        bool complete = handle != nullptr;
        for (size_t done = 0; done < frameCount && complete; done += chunkFrames) {
            complete = subject.render(handle, chunk.data(), std::min(chunkFrames, frameCount - done));
        }
        if (handle != nullptr) {
            subject.close(handle);
        }
        _exit(complete ? 0 : 1);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return -1;
    }
    const auto seconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) * 1e-6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Measures every player on one song, run by run in turn so that a change in
// the machine's load falls on all of them alike: the highest real-time factor
// and the lowest whole-process CPU seconds of each. False when a player
// fails the song (its figures are then 0).
bool measureSong(const std::vector<unsigned char>& song, double seconds, int runs, double* factors,
                 double* processTimes) {
    const size_t frameCount = static_cast<size_t>(seconds * sampleRate);
    std::vector<int16_t> chunk(chunkFrames * stereoChannels);
    std::vector<double> factorRuns[subjectCount];
    std::vector<double> processRuns[subjectCount];
    bool failed[subjectCount] = {};
    for (int run = 0; run < runs; ++run) {
        for (int subject = 0; subject < subjectCount; ++subject) {
            if (failed[subject]) {
                continue;
            }
            const double elapsed = timeOneRender(*subjects[subject], song, frameCount, &chunk);
            const double process = timeOneProcess(*subjects[subject], song, frameCount);
            failed[subject] = elapsed < 0 || process < 0;
            factorRuns[subject].push_back(seconds / std::max(elapsed, 1e-9));
            processRuns[subject].push_back(std::max(process, 1e-6));
        }
    }
    bool allMeasured = true;
    for (int subject = 0; subject < subjectCount; ++subject) {
        factors[subject] = failed[subject] ? 0 : highest(factorRuns[subject]);
        processTimes[subject] = failed[subject] ? 0 : lowest(processRuns[subject]);
        allMeasured = allMeasured && !failed[subject];
    }
    return allMeasured;
}

// The smallest of our ratios to libxmp, with the song it belongs to.
struct SlowestRatio {
    double ratio = 0;
    std::string song;

    void offer(double candidate, const std::string& name) {
        if (song.empty() || candidate < ratio) {
            ratio = candidate;
            song = name;
        }
    }
};

void collectSongs(const char* argument, std::vector<std::filesystem::path>* songs) {
    const std::filesystem::path path(argument);
    std::error_code error;
    if (!std::filesystem::is_directory(path, error)) {
        songs->push_back(path);
        return;
    }
    std::vector<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::directory_iterator(path, error)) {
        std::string extension = entry.path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char letter) { return static_cast<char>(std::tolower(letter)); });
        if (entry.is_regular_file() && extension == ".xm") {
            found.push_back(entry.path());
        }
    }
    std::sort(found.begin(), found.end());
    songs->insert(songs->end(), found.begin(), found.end());
}

// Thread CPU seconds per second of sound for one setting of the library.
// Default: the tracker's rules at 44,100 Hz, 16-bit.
enum class Setting { Default, Rate48000, Float, PresentationRules };

double settingCost(const std::vector<unsigned char>& song, double seconds, Setting setting) {
    intro_music::Module* module = intro_music::loadFromMemory(song.data(), song.size(), nullptr);
    if (module == nullptr) return -1;
    intro_music::setRepeatCount(module, -1);
    if (setting == Setting::PresentationRules) intro_music::setRules(module, intro_music::Rules::Presentation, nullptr);
    const int32_t rate = setting == Setting::Rate48000 ? 48000 : intro_music::frameRate;
    intro_music::setOutputRate(module, rate, nullptr);
    const auto frames = static_cast<size_t>(seconds * rate);
    std::vector<int16_t> pcm(chunkFrames * stereoChannels);
    std::vector<float> mix(chunkFrames * stereoChannels);
    const double start = threadCpuSeconds();
    for (size_t done = 0; done < frames; done += chunkFrames) {
        const auto count = static_cast<int32_t>(std::min(chunkFrames, frames - done));
        if (setting == Setting::Float) {
            intro_music::renderFloat(module, mix.data(), count);
        } else {
            intro_music::render(module, pcm.data(), count);
        }
    }
    const double elapsed = threadCpuSeconds() - start;
    intro_music::freeModule(module);
    return elapsed / seconds;
}

// 48 kHz, float and the tracker's rules against the default (or, for the
// rules, against the presentation's), per second of sound: the geometric mean
// and the worst song.
void measureSettings(const std::vector<std::filesystem::path>& songs, double seconds, int runs) {
    double rateLogSum = 0;
    double floatLogSum = 0;
    double rulesLogSum = 0;
    SlowestRatio worstRate;
    SlowestRatio worstFloat;
    SlowestRatio worstRules;
    int measured = 0;
    std::printf("\nLibrary settings: thread CPU per second of sound, %g s, fastest of %d runs.\n", seconds, runs);
    std::printf("%-46s %14s %14s %14s\n", "song", "48k/44.1k", "float/16-bit", "tracker/intro");
    for (const auto& path : songs) {
        std::vector<unsigned char> song;
        if (!readFileBytes(path, song)) continue;
        std::vector<double> costs[4];
        for (int run = 0; run < runs; ++run) {
            for (const Setting setting :
                 {Setting::Default, Setting::Rate48000, Setting::Float, Setting::PresentationRules}) {
                costs[static_cast<int>(setting)].push_back(settingCost(song, seconds, setting));
            }
        }
        const double base = lowest(costs[0]);
        if (!(base > 0)) continue;
        const double rateRatio = lowest(costs[1]) / base;
        const double floatRatio = lowest(costs[2]) / base;
        const double rulesRatio = base / lowest(costs[3]);
        std::printf("%-46s %14.3f %14.3f %14.3f\n", path.stem().c_str(), rateRatio, floatRatio, rulesRatio);
        rateLogSum += std::log(rateRatio);
        floatLogSum += std::log(floatRatio);
        rulesLogSum += std::log(rulesRatio);
        // "Slowest" keeps the smallest value: offer the inverse to keep the largest cost.
        worstRate.offer(1 / rateRatio, path.stem().string());
        worstFloat.offer(1 / floatRatio, path.stem().string());
        worstRules.offer(1 / rulesRatio, path.stem().string());
        ++measured;
    }
    if (measured > 0) {
        std::printf("%-46s %14.3f %14.3f %14.3f\n", "geometric mean", std::exp(rateLogSum / measured),
                    std::exp(floatLogSum / measured), std::exp(rulesLogSum / measured));
        std::printf("costliest 48 kHz against 44.1 kHz: %.3f (%s)\n", 1 / worstRate.ratio, worstRate.song.c_str());
        std::printf("costliest float against 16-bit:     %.3f (%s)\n", 1 / worstFloat.ratio, worstFloat.song.c_str());
        std::printf("costliest tracker's rules against the presentation's: %.3f (%s)\n", 1 / worstRules.ratio,
                    worstRules.song.c_str());
    }
}

// Our engine in one interpolation mode.
template <intro_music::Interpolation mode>
void* openOursIn(const void* data, size_t size) {
    void* module = ourEngineSubject.open(data, size);
    intro_music::setInterpolation(static_cast<intro_music::Module*>(module), mode, nullptr);
    return module;
}

template <ReferencePlayerKind kind, ReferenceInterpolation mode>
void* openReferenceIn(const void* data, size_t size) {
    return openReferencePlayer(kind, data, size, mode);
}

bool renderReferenceIn(void* handle, int16_t* interleaved, size_t frameCount) {
    return renderReferenceFrames(static_cast<ReferencePlayer*>(handle), interleaved, frameCount) == frameCount;
}

void closeReferenceIn(void* handle) { closeReferencePlayer(static_cast<ReferencePlayer*>(handle)); }

// Per interpolation (nearest, linear, cubic, sinc): ours, libxmp (nearest,
// linear, spline; it has no longer filter) and libopenmpt (1, 2, 4, 8 taps).
constexpr int modeCount = 4;
constexpr const char* modeNames[modeCount] = {"nearest", "linear", "cubic", "sinc"};
const RenderSubject oursByMode[modeCount] = {
    {"ours", openOursIn<intro_music::Interpolation::Nearest>, ourEngineSubject.render, ourEngineSubject.close},
    {"ours", openOursIn<intro_music::Interpolation::Linear>, ourEngineSubject.render, ourEngineSubject.close},
    {"ours", openOursIn<intro_music::Interpolation::Cubic>, ourEngineSubject.render, ourEngineSubject.close},
    {"ours", openOursIn<intro_music::Interpolation::Sinc>, ourEngineSubject.render, ourEngineSubject.close},
};
const RenderSubject libxmpByMode[modeCount - 1] = {
    {"libxmp", openReferenceIn<ReferencePlayerKind::Libxmp, ReferenceInterpolation::Nearest>, renderReferenceIn,
     closeReferenceIn},
    {"libxmp", openReferenceIn<ReferencePlayerKind::Libxmp, ReferenceInterpolation::Linear>, renderReferenceIn,
     closeReferenceIn},
    {"libxmp", openReferenceIn<ReferencePlayerKind::Libxmp, ReferenceInterpolation::Cubic>, renderReferenceIn,
     closeReferenceIn},
};
const RenderSubject libopenmptByMode[modeCount] = {
    {"libopenmpt", openReferenceIn<ReferencePlayerKind::Libopenmpt, ReferenceInterpolation::Nearest>,
     renderReferenceIn, closeReferenceIn},
    {"libopenmpt", openReferenceIn<ReferencePlayerKind::Libopenmpt, ReferenceInterpolation::Linear>,
     renderReferenceIn, closeReferenceIn},
    {"libopenmpt", openReferenceIn<ReferencePlayerKind::Libopenmpt, ReferenceInterpolation::Cubic>,
     renderReferenceIn, closeReferenceIn},
    {"libopenmpt", openReferenceIn<ReferencePlayerKind::Libopenmpt, ReferenceInterpolation::Sinc>,
     renderReferenceIn, closeReferenceIn},
};

// Whole-process CPU per second of sound of every player in every mode: the
// geometric mean over the songs, and the ratios the sinc mode is held to.
void measureInterpolations(const std::vector<std::filesystem::path>& songs, double seconds, int runs) {
    const auto frames = static_cast<size_t>(seconds * sampleRate);
    // Per mode: ours, libxmp, libopenmpt (null where a player lacks the mode).
    const RenderSubject* table[modeCount][3];
    for (int mode = 0; mode < modeCount; ++mode) {
        table[mode][0] = &oursByMode[mode];
        table[mode][1] = mode < modeCount - 1 ? &libxmpByMode[mode] : nullptr;
        table[mode][2] = &libopenmptByMode[mode];
    }
    double logSums[modeCount][3] = {};
    int measured = 0;
    for (const auto& path : songs) {
        std::vector<unsigned char> song;
        if (!readFileBytes(path, song)) continue;
        double best[modeCount][3] = {};
        bool complete = true;
        for (int run = 0; run < runs; ++run) {
            for (int mode = 0; mode < modeCount; ++mode) {
                for (int player = 0; player < 3; ++player) {
                    if (table[mode][player] == nullptr) continue;
                    const double time = timeOneProcess(*table[mode][player], song, frames);
                    complete = complete && time > 0;
                    double& kept = best[mode][player];
                    kept = kept == 0 ? time : std::min(kept, time);
                }
            }
        }
        if (!complete) continue;
        for (int mode = 0; mode < modeCount; ++mode) {
            for (int player = 0; player < 3; ++player) {
                if (table[mode][player] != nullptr) logSums[mode][player] += std::log(best[mode][player] / seconds);
            }
        }
        ++measured;
    }
    if (measured == 0) return;
    std::printf("\nInterpolation: process CPU (ms) per second of sound, a process that loads a song, renders\n"
                "%g s and exits, fastest of %d runs, geometric mean over %d songs. libxmp's cubic is its\n"
                "spline; it has no sinc. libopenmpt's filters: 1, 2, 4 and 8 taps.\n",
                seconds, runs, measured);
    std::printf("%-10s %10s %10s %12s\n", "mode", "ours", "libxmp", "libopenmpt");
    double means[modeCount][3] = {};
    for (int mode = 0; mode < modeCount; ++mode) {
        for (int player = 0; player < 3; ++player) means[mode][player] = std::exp(logSums[mode][player] / measured);
        std::printf("%-10s %10.3f ", modeNames[mode], means[mode][0] * 1e3);
        if (table[mode][1] != nullptr) {
            std::printf("%10.3f ", means[mode][1] * 1e3);
        } else {
            std::printf("%10s ", "-");
        }
        std::printf("%12.3f\n", means[mode][2] * 1e3);
    }
    constexpr int linear = 1;
    constexpr int sinc = 3;
    std::printf("ours sinc against libxmp linear: %.2fx as fast\n", means[linear][1] / means[sinc][0]);
    std::printf("ours sinc against libopenmpt 8-tap: %.2fx as fast\n", means[sinc][2] / means[sinc][0]);
    std::printf("ours sinc against ours linear: costs %.2fx\n", means[sinc][0] / means[linear][0]);
}

// A process that loads the longest song (one pass) and renders 0.01 s: what
// a render pays before its first sound.
void measureStartup(const std::vector<std::filesystem::path>& songs) {
    std::vector<unsigned char> longest;
    std::string name;
    double longestSeconds = 0;
    for (const auto& path : songs) {
        std::vector<unsigned char> song;
        if (!readFileBytes(path, song)) continue;
        intro_music::Module* module = intro_music::loadFromMemory(song.data(), song.size(), nullptr);
        const double seconds = intro_music::metadata(module).durationSeconds;
        intro_music::freeModule(module);
        if (seconds > longestSeconds) {
            longestSeconds = seconds;
            longest = std::move(song);
            name = path.stem().string() + " (" + std::to_string(static_cast<int>(seconds)) + " s)";
        }
    }
    if (longest.empty()) return;
    std::printf("\nStart-up: process CPU (ms) to load %s and render %g s, fastest of %d runs.\n", name.c_str(),
                startupSeconds, startupRuns);
    const auto frames = static_cast<size_t>(startupSeconds * sampleRate);
    std::vector<double> times[subjectCount];
    for (int run = 0; run < startupRuns; ++run) {
        for (int subject = 0; subject < subjectCount; ++subject) {
            times[subject].push_back(timeOneProcess(*subjects[subject], longest, frames));
        }
    }
    for (int subject = 0; subject < subjectCount; ++subject) {
        std::printf("  %-12s %8.1f\n", subjects[subject]->name, lowest(times[subject]) * 1e3);
    }
}

// User plus system CPU seconds of a program run to its end, its messages
// into `messages`; negative when it fails.
double timeProgram(const std::vector<std::string>& command, const std::string& messages) {
    std::fflush(stdout);
    const pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        if (std::freopen(messages.c_str(), "w", stderr) == nullptr) _exit(127);
        std::vector<char*> arguments;
        for (const std::string& argument : command) arguments.push_back(const_cast<char*>(argument.c_str()));
        arguments.push_back(nullptr);
        execv(arguments[0], arguments.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    const auto seconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) * 1e-6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

#if defined(INTRO_XM2WAV) && defined(INTRO_REFERENCE_RENDER)
// What xm2wav aims at, whole process against the libxmp renderer.
constexpr double programMeanTarget = 3.5;
constexpr double programSongTarget = 2.5;
constexpr double programStartupTarget = 1.5;  // at most this much of the renderer's CPU

// Fastest process CPU of xm2wav and of the libxmp renderer for one render, taking turns.
bool timePrograms(const std::string& song, double seconds, int runs, const std::string& folder, double* ours,
                  double* theirs) {
    char length[32];
    std::snprintf(length, sizeof length, "%g", seconds);
    const std::vector<std::string> xm2wav{INTRO_XM2WAV, "--seconds", length, "--force", song, folder + "/ours.wav"};
    const std::vector<std::string> reference{INTRO_REFERENCE_RENDER, "--player", "libxmp", "--seconds", length,
                                             song, folder + "/libxmp.wav"};
    std::vector<double> ourRuns;
    std::vector<double> theirRuns;
    for (int run = 0; run < runs; ++run) {
        ourRuns.push_back(timeProgram(xm2wav, folder + "/messages"));
        theirRuns.push_back(timeProgram(reference, folder + "/messages"));
    }
    *ours = lowest(ourRuns);
    *theirs = lowest(theirRuns);
    return *ours > 0 && *theirs > 0 && highest(ourRuns) > 0 && highest(theirRuns) > 0;
}

void measurePrograms(const std::vector<std::filesystem::path>& songs, double seconds, int runs) {
    char pattern[] = "/tmp/bench-music-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return;
    const std::string folder = pattern;
    std::printf("\nPrograms: process CPU (ms) of xm2wav and of a small libxmp renderer (reference_render), each\n"
                "loading the song and writing %g s to a WAV file, fastest of %d runs.\n", seconds, runs);
    std::printf("%-46s %10s %10s %13s\n", "song", "xm2wav", "libxmp", "libxmp/ours");
    double logSum = 0;
    int measured = 0;
    SlowestRatio slowest;
    std::string longest;
    double longestSeconds = 0;
    for (const auto& path : songs) {
        double ours = 0;
        double theirs = 0;
        if (!timePrograms(path.string(), seconds, runs, folder, &ours, &theirs)) {
            std::printf("%-46s failed\n", path.stem().c_str());
            continue;
        }
        std::printf("%-46s %10.1f %10.1f %13.2f\n", path.stem().c_str(), ours * 1e3, theirs * 1e3, theirs / ours);
        logSum += std::log(theirs / ours);
        slowest.offer(theirs / ours, path.stem().string());
        ++measured;
        std::vector<unsigned char> bytes;
        intro_music::Module* module = readFileBytes(path, bytes)
                                          ? intro_music::loadFromMemory(bytes.data(), bytes.size(), nullptr)
                                          : nullptr;
        const double duration = module != nullptr ? intro_music::metadata(module).durationSeconds : 0;
        intro_music::freeModule(module);
        if (duration > longestSeconds) {
            longestSeconds = duration;
            longest = path.string();
        }
    }
    if (measured > 0) {
        const double mean = std::exp(logSum / measured);
        std::printf("geometric mean libxmp/ours: %.2f (target at least %.1f): %s\n", mean, programMeanTarget,
                    mean >= programMeanTarget ? "met" : "NOT MET");
        std::printf("slowest song: %.2f, %s (target at least %.1f on every song): %s\n", slowest.ratio,
                    slowest.song.c_str(), programSongTarget, slowest.ratio >= programSongTarget ? "met" : "NOT MET");
    }
    double ours = 0;
    double theirs = 0;
    if (!longest.empty() && timePrograms(longest, startupSeconds, startupRuns, folder, &ours, &theirs)) {
        std::printf("%g s of the longest song, %s: xm2wav %.1f ms, libxmp %.1f ms, ours/libxmp %.2f "
                    "(target at most %.1f): %s\n",
                    startupSeconds, std::filesystem::path(longest).stem().c_str(), ours * 1e3, theirs * 1e3,
                    ours / theirs, programStartupTarget, ours / theirs <= programStartupTarget ? "met" : "NOT MET");
    }
    std::filesystem::remove_all(folder);
}
#endif

void printUsage() {
    std::fprintf(stderr, "usage: bench_music [--seconds N] [--runs N] [--programs] [SONG.xm | FOLDER]...\n");
}

}  // namespace

int main(int argumentCount, char** arguments) {
    double seconds = defaultSeconds;
    int runs = defaultRuns;
    bool programsOnly = false;
    std::vector<std::filesystem::path> songs;
    for (int index = 1; index < argumentCount; ++index) {
        if (std::strcmp(arguments[index], "--seconds") == 0 && index + 1 < argumentCount) {
            seconds = std::atof(arguments[++index]);
        } else if (std::strcmp(arguments[index], "--runs") == 0 && index + 1 < argumentCount) {
            runs = std::atoi(arguments[++index]);
        } else if (std::strcmp(arguments[index], "--programs") == 0) {
            programsOnly = true;
        } else if (arguments[index][0] == '-') {
            printUsage();
            return 2;
        } else {
            collectSongs(arguments[index], &songs);
        }
    }
#ifdef INTRO_DEFAULT_SONG_FOLDER
    if (argumentCount == 1 || songs.empty()) {
        collectSongs(INTRO_DEFAULT_SONG_FOLDER, &songs);
    }
#endif
    if (songs.empty() || !(seconds > 0) || runs < 1) {
        printUsage();
        return 2;
    }

#if defined(INTRO_XM2WAV) && defined(INTRO_REFERENCE_RENDER)
    if (programsOnly) {
        measurePrograms(songs, seconds, runs);
        return 0;
    }
#endif
    std::printf("Real-time factor: seconds of audio per CPU second of the rendering thread, loading excluded;\n"
                "process CPU: milliseconds of user + system time of a process that loads, renders and exits.\n"
                "%g s of audio, fastest of %d runs each.\n\n",
                seconds, runs);
    std::printf("%-46s %-61s   %s\n", "", "--------------------- real-time factor ----------------------",
                "------------ process CPU (ms) ------------");
    std::printf("%-46s %8s %9s %10s %13s %16s   %8s %8s %10s %13s\n", "song", subjects[0]->name, subjects[1]->name,
                subjects[2]->name, "ours/libxmp", "ours/libopenmpt", subjects[0]->name, subjects[1]->name,
                subjects[2]->name, "ours/libxmp");
    double logSums[subjectCount] = {};
    double processLogSums[subjectCount] = {};
    SlowestRatio slowest;
    SlowestRatio slowestProcess;
    int measured = 0;
    int failures = 0;
    int slowerSongs = 0;
    for (const auto& path : songs) {
        std::vector<unsigned char> song;
        if (!readFileBytes(path, song)) {
            std::printf("%-46s cannot be read\n", path.filename().c_str());
            ++failures;
            continue;
        }
        double factors[subjectCount];
        double processTimes[subjectCount];
        const bool allMeasured = measureSong(song, seconds, runs, factors, processTimes);
        const std::string name = path.stem().string();
        std::printf("%-46s", name.c_str());
        if (!allMeasured) {
            std::printf(" failed:");
            for (int subject = 0; subject < subjectCount; ++subject) {
                if (!(factors[subject] > 0 && processTimes[subject] > 0)) {
                    std::printf(" %s", subjects[subject]->name);
                }
            }
            std::printf("\n");
            ++failures;
            continue;
        }
        std::printf(" %8.0f %9.0f %10.0f %13.2f %16.2f   %8.1f %8.1f %10.1f %13.2f\n", factors[0], factors[1],
                    factors[2], factors[0] / factors[1], factors[0] / factors[2], processTimes[0] * 1e3,
                    processTimes[1] * 1e3, processTimes[2] * 1e3, processTimes[1] / processTimes[0]);
        for (int subject = 0; subject < subjectCount; ++subject) {
            logSums[subject] += std::log(factors[subject]);
            processLogSums[subject] += std::log(processTimes[subject]);
        }
        slowest.offer(factors[0] / factors[1], name);
        slowestProcess.offer(processTimes[1] / processTimes[0], name);
        slowerSongs += factors[0] <= factors[1] || factors[0] <= factors[2];
        ++measured;
    }
    if (measured > 0) {
        double means[subjectCount];
        double processMeans[subjectCount];
        for (int subject = 0; subject < subjectCount; ++subject) {
            means[subject] = std::exp(logSums[subject] / measured);
            processMeans[subject] = std::exp(processLogSums[subject] / measured);
        }
        std::printf("%-46s %8.0f %9.0f %10.0f %13.2f %16.2f   %8.1f %8.1f %10.1f %13.2f\n", "geometric mean",
                    means[0], means[1], means[2], means[0] / means[1], means[0] / means[2], processMeans[0] * 1e3,
                    processMeans[1] * 1e3, processMeans[2] * 1e3, processMeans[1] / processMeans[0]);
        std::printf("slowest ours/libxmp, real-time factor: %.2f (%s)\n", slowest.ratio, slowest.song.c_str());
        std::printf("slowest ours/libxmp, process CPU:      %.2f (%s)\n", slowestProcess.ratio,
                    slowestProcess.song.c_str());
        std::printf("songs where ours is not faster than both: %d of %d\n", slowerSongs, measured);
    }
    if (failures > 0) {
        std::printf("songs that could not be measured: %d\n", failures);
    }
    measureSettings(songs, seconds, runs);
    measureInterpolations(songs, seconds, interpolationRuns);
    measureStartup(songs);
#if defined(INTRO_XM2WAV) && defined(INTRO_REFERENCE_RENDER)
    measurePrograms(songs, seconds, runs);
#endif
    return failures > 0 ? 1 : 0;
}
