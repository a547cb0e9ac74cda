// bench_music [--seconds N] [--runs N] [SONG.xm | FOLDER]...
// Measures how fast our engine renders each song compared with two mature
// players: the real-time factor is seconds of audio rendered per CPU second,
// loading excluded, the median of several runs. Prints one line per song, the
// geometric means and our ratio to each player.
#include <time.h>

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
#include "render_subject.h"

namespace {

constexpr int32_t sampleRate = 44100;
constexpr int stereoChannels = 2;
// Frames handed to a player per call, the same for every player.
constexpr size_t chunkFrames = 4096;
constexpr double defaultSeconds = 60;
constexpr int defaultRuns = 9;

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

// Median real-time factor over the runs; 0 when the player fails the song.
double realTimeFactor(const RenderSubject& subject, const std::vector<unsigned char>& song, double seconds,
                      int runs) {
    const size_t frameCount = static_cast<size_t>(seconds * sampleRate);
    std::vector<int16_t> chunk(chunkFrames * stereoChannels);
    std::vector<double> factors;
    for (int run = 0; run < runs; ++run) {
        const double elapsed = timeOneRender(subject, song, frameCount, &chunk);
        if (elapsed < 0) {
            return 0;
        }
        factors.push_back(seconds / std::max(elapsed, 1e-9));
    }
    std::sort(factors.begin(), factors.end());
    const size_t middle = factors.size() / 2;
    return factors.size() % 2 == 1 ? factors[middle] : (factors[middle - 1] + factors[middle]) / 2;
}

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

void printUsage() {
    std::fprintf(stderr, "usage: bench_music [--seconds N] [--runs N] [SONG.xm | FOLDER]...\n");
}

}  // namespace

int main(int argumentCount, char** arguments) {
    double seconds = defaultSeconds;
    int runs = defaultRuns;
    std::vector<std::filesystem::path> songs;
    for (int index = 1; index < argumentCount; ++index) {
        if (std::strcmp(arguments[index], "--seconds") == 0 && index + 1 < argumentCount) {
            seconds = std::atof(arguments[++index]);
        } else if (std::strcmp(arguments[index], "--runs") == 0 && index + 1 < argumentCount) {
            runs = std::atoi(arguments[++index]);
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

    std::printf("Real-time factor (seconds of audio per CPU second), %g s of audio, median of %d runs\n", seconds,
                runs);
    std::printf("%-46s %10s %10s %10s %12s %16s\n", "song", subjects[0]->name, subjects[1]->name, subjects[2]->name,
                "ours/libxmp", "ours/libopenmpt");
    double logSums[subjectCount] = {};
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
        bool allMeasured = true;
        for (int subject = 0; subject < subjectCount; ++subject) {
            factors[subject] = realTimeFactor(*subjects[subject], song, seconds, runs);
            allMeasured = allMeasured && factors[subject] > 0;
        }
        std::printf("%-46s", path.stem().c_str());
        for (double factor : factors) {
            if (factor > 0) {
                std::printf(" %10.1f", factor);
            } else {
                std::printf(" %10s", "failed");
            }
        }
        if (!allMeasured) {
            std::printf("\n");
            ++failures;
            continue;
        }
        std::printf(" %12.2f %16.2f\n", factors[0] / factors[1], factors[0] / factors[2]);
        for (int subject = 0; subject < subjectCount; ++subject) {
            logSums[subject] += std::log(factors[subject]);
        }
        slowerSongs += factors[0] <= factors[1] || factors[0] <= factors[2];
        ++measured;
    }
    if (measured > 0) {
        double means[subjectCount];
        for (int subject = 0; subject < subjectCount; ++subject) {
            means[subject] = std::exp(logSums[subject] / measured);
        }
        std::printf("%-46s %10.1f %10.1f %10.1f %12.2f %16.2f\n", "geometric mean", means[0], means[1], means[2],
                    means[0] / means[1], means[0] / means[2]);
        std::printf("songs where ours is not faster than both: %d of %d\n", slowerSongs, measured);
    }
    if (failures > 0) {
        std::printf("songs that could not be measured: %d\n", failures);
    }
    return failures > 0 ? 1 : 0;
}
