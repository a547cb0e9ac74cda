// bench_presentation [--runs N] [--frames N] [--warm-up N]
// Start-up and frame times of the real presentation, run on the current
// display (see run_bench_presentation for the virtual screens).
//
// Each run starts this program again as a fresh process, which goes through
// the presentation's own start-up, main loop and shutdown for a fixed number
// of frames. Start-up is measured from just before the process is created to
// the return of the first buffer swap, with the share spent in each of its
// costly steps, and set against a bare full-screen window presenting one
// clear (what the window system and GL driver cost on their own). Frame time
// is the interval between buffer swaps after a few warm-up frames, during
// which every allocation is counted (there should be none).
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "gl_loader.h"
#include "probes.h"
#include "shell.h"
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

namespace {

constexpr int defaultRuns = 5;
constexpr int defaultFrames = 300;
constexpr int defaultWarmUpFrames = 10;
constexpr double firstFrameTargetMs = 150.0;
constexpr const char* launchVariable = "INTRO_TIMING_LAUNCH_NS";
constexpr const char* reportVariable = "INTRO_TIMING_REPORT_FD";
constexpr const char* childFlag = "--child";
constexpr const char* floorFlag = "--floor";

double milliseconds(int64_t nanoseconds) { return static_cast<double>(nanoseconds) / 1e6; }

// ---- The measured process ----------------------------------------------

void writeReport(int descriptor, const std::string& text) {
    size_t written = 0;
    while (written < text.size()) {
        const ssize_t count = write(descriptor, text.data() + written, text.size() - written);
        if (count <= 0) {
            return;
        }
        written += static_cast<size_t>(count);
    }
}

// When the harness created this process, and where the report goes.
struct Launch {
    int64_t time;
    int reportDescriptor;
};

bool readLaunch(Launch& launch) {
    const char* launchText = std::getenv(launchVariable);
    const char* reportText = std::getenv(reportVariable);
    if (launchText == nullptr || reportText == nullptr) {
        std::fprintf(stderr, "bench_presentation: %s and %s are for the harness itself\n", childFlag, floorFlag);
        return false;
    }
    launch = {std::strtoll(launchText, nullptr, 10), std::atoi(reportText)};
    return true;
}

// What the GL stack alone costs: the same full-screen window with nothing
// but a clear presented, so that the presentation's own share can be told.
int runFloor() {
    markMainThread();
    Launch launch{};
    if (!readLaunch(launch)) {
        return 2;
    }
    if (glfwInit() != GLFW_TRUE) {
        return 1;
    }
    GLFWmonitor* monitor = glfwGetPrimaryMonitor();
    const GLFWvidmode* mode = monitor != nullptr ? glfwGetVideoMode(monitor) : nullptr;
    GLFWwindow* window = mode != nullptr ? glfwCreateWindow(mode->width, mode->height, "floor", monitor, nullptr)
                                         : nullptr;
    if (window == nullptr) {
        glfwTerminate();
        return 1;
    }
    glfwMakeContextCurrent(window);
    auto clearColor = reinterpret_cast<PFNGLCLEARCOLORPROC>(glfwGetProcAddress("glClearColor"));
    auto clear = reinterpret_cast<PFNGLCLEARPROC>(glfwGetProcAddress("glClear"));
    if (clearColor == nullptr || clear == nullptr) {
        glfwTerminate();
        return 1;
    }
    clearColor(0.3f, 0.3f, 0.3f, 1.0f);
    clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glfwSwapBuffers(window);
    const int64_t presented = frameLog().presentedAt[0];
    glfwTerminate();
    writeReport(launch.reportDescriptor, "first_frame " + std::to_string(presented - launch.time) + "\n");
    return 0;
}

// The presentation's main, with the probes noting where the time goes.
int runMeasured(int frames, int warmUpFrames) {
    markMainThread();
    const int64_t mainEntry = monotonicNanoseconds();
    Launch startedAt{};
    if (!readLaunch(startedAt)) {
        return 2;
    }
    const int64_t launch = startedAt.time;
    const int reportDescriptor = startedAt.reportDescriptor;

    FrameLog& log = frameLog();
    log.countFromFrame = warmUpFrames + 1;
    log.framesToPresent = warmUpFrames + 1 + frames;

    setInStartUp(true);
    const bool started = startUp();
    setInStartUp(false);
    const int64_t startUpEnd = monotonicNanoseconds();
    if (!started) {
        return -1;
    }
    runMainLoop();
    const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    const std::string rendererName = renderer != nullptr ? renderer : "unknown";
    const int width = shell().windowWidth;
    const int height = shell().windowHeight;
    shutDown();

    const ProbeTotals& totals = probeTotals();
    std::string report;
    auto add = [&report](const char* key, long long value) {
        report += key;
        report += ' ';
        report += std::to_string(value);
        report += '\n';
    };
    add("width", width);
    add("height", height);
    add("launch_to_main", mainEntry - launch);
    add("startup_end", startUpEnd - launch);
    add("first_frame", log.presentedAt[0] - launch);
    add("glfw_init", totals.glfwInitNs);
    add("window", totals.windowNs);
    add("shaders", totals.shaderNs);
    add("glyphs", totals.glyphNs);
    add("textures", totals.textureNs);
    add("audio_start", totals.audioStartNs);
    add("prefill", totals.prefillNs);
    add("main_news", log.counted.mainThreadNews);
    add("main_new_bytes", log.counted.mainThreadNewBytes);
    add("other_news", log.counted.otherThreadNews);
    add("our_mallocs", log.counted.ourMallocs);
    const int last = std::min(totals.presentedFrames, maxRecordedFrames);
    for (int frame = log.countFromFrame; frame < last; ++frame) {
        add("frame", log.presentedAt[frame] - log.presentedAt[frame - 1]);
    }
    report += "renderer " + rendererName + "\n";
    writeReport(reportDescriptor, report);
    return 0;
}

// ---- The harness ---------------------------------------------------------

struct RunResult {
    std::map<std::string, long long> values;
    std::vector<long long> frameTimes;
    std::string renderer;
};

// Starts one measured process (the presentation, or with floorOnly the bare
// window) and reads its report; false when it failed.
bool measureOneRun(const char* self, bool floorOnly, int frames, int warmUpFrames, RunResult& result) {
    int channel[2];
    if (pipe(channel) != 0) {
        return false;
    }
    const std::string framesText = std::to_string(frames);
    const std::string warmUpText = std::to_string(warmUpFrames);
    setenv(reportVariable, std::to_string(channel[1]).c_str(), 1);
    setenv(launchVariable, std::to_string(monotonicNanoseconds()).c_str(), 1);
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        if (floorOnly) {
            execl(self, self, floorFlag, static_cast<char*>(nullptr));
        } else {
            execl(self, self, childFlag, framesText.c_str(), warmUpText.c_str(), static_cast<char*>(nullptr));
        }
        _exit(127);
    }
    close(channel[1]);
    if (child < 0) {
        close(channel[0]);
        return false;
    }
    std::string text;
    char buffer[4096];
    ssize_t count;
    while ((count = read(channel[0], buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<size_t>(count));
    }
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "bench_presentation: a measured run ended with status %d\n",
                     WIFEXITED(status) ? WEXITSTATUS(status) : -1);
        return false;
    }

    size_t position = 0;
    while (position < text.size()) {
        const size_t end = text.find('\n', position);
        const std::string line = text.substr(position, end - position);
        position = end == std::string::npos ? text.size() : end + 1;
        const size_t space = line.find(' ');
        if (space == std::string::npos) {
            continue;
        }
        const std::string key = line.substr(0, space);
        const std::string value = line.substr(space + 1);
        if (key == "renderer") {
            result.renderer = value;
        } else if (key == "frame") {
            result.frameTimes.push_back(std::atoll(value.c_str()));
        } else {
            result.values[key] = std::atoll(value.c_str());
        }
    }
    return result.values.count("first_frame") != 0;
}

long long median(std::vector<long long> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

long long percentile(std::vector<long long> values, double share) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const auto index = static_cast<size_t>(share * static_cast<double>(values.size() - 1));
    return values[index];
}

void printShare(const char* what, long long part, long long whole) {
    std::printf("    %-44s %8.1f ms  %5.1f %%\n", what, milliseconds(part),
                whole > 0 ? 100.0 * static_cast<double>(part) / static_cast<double>(whole) : 0.0);
}

int report(const std::vector<RunResult>& runs, const std::vector<RunResult>& floorRuns, int frames) {
    const RunResult& first = runs.front();
    const long long width = first.values.at("width");
    const long long height = first.values.at("height");
    std::printf("\nPresentation at %lldx%lld, renderer: %s; %zu runs of %d measured frames\n", width, height,
                first.renderer.c_str(), runs.size(), frames);

    // The steps of the run with the median start-up, so that they add up.
    std::vector<const RunResult*> byStartUp;
    for (const RunResult& run : runs) {
        byStartUp.push_back(&run);
    }
    std::sort(byStartUp.begin(), byStartUp.end(), [](const RunResult* left, const RunResult* right) {
        return left->values.at("first_frame") < right->values.at("first_frame");
    });
    const auto& steps = byStartUp[byStartUp.size() / 2]->values;
    const long long firstFrame = steps.at("first_frame");
    const bool targetMet = milliseconds(firstFrame) <= firstFrameTargetMs;
    std::printf("Start-up, process start to the first presented frame: median %.1f ms (fastest %.1f, slowest %.1f)"
                " - target %.0f ms %s\n",
                milliseconds(firstFrame), milliseconds(byStartUp.front()->values.at("first_frame")),
                milliseconds(byStartUp.back()->values.at("first_frame")), firstFrameTargetMs,
                targetMet ? "met" : "MISSED");
    std::vector<long long> floorTimes;
    for (const RunResult& run : floorRuns) {
        floorTimes.push_back(run.values.at("first_frame"));
    }
    const long long floor = median(floorTimes);
    std::printf("  GL stack alone (full-screen window, one clear presented): median %.1f ms;"
                " the presentation adds %.1f ms\n",
                milliseconds(floor), milliseconds(firstFrame - floor));
    std::printf("  Steps of the median run:\n");
    const long long beforeMain = steps.at("launch_to_main");
    const long long firstDraw = firstFrame - steps.at("startup_end");
    long long accounted = beforeMain + firstDraw;
    for (const char* key : {"glfw_init", "window", "shaders", "glyphs", "textures", "audio_start"}) {
        accounted += steps.at(key);
    }
    printShare("process creation, loading, static set-up", beforeMain, firstFrame);
    printShare("window system connection (glfwInit)", steps.at("glfw_init"), firstFrame);
    printShare("window and GL context", steps.at("window"), firstFrame);
    printShare("shader compile and link", steps.at("shaders"), firstFrame);
    printShare("glyph rasterising", steps.at("glyphs"), firstFrame);
    printShare("texture upload", steps.at("textures"), firstFrame);
    printShare("music start: device, pre-fill, thread", steps.at("audio_start"), firstFrame);
    printShare("  of which the audio pre-fill (100 blocks)", steps.at("prefill"), firstFrame);
    printShare("first frame drawn and presented", firstDraw, firstFrame);
    printShare("the rest (song load, geometry, GL state)", firstFrame - accounted, firstFrame);

    std::vector<long long> frameTimes;
    long long mainNews = 0;
    long long mainNewBytes = 0;
    long long otherNews = 0;
    long long ourMallocs = 0;
    for (const RunResult& run : runs) {
        frameTimes.insert(frameTimes.end(), run.frameTimes.begin(), run.frameTimes.end());
        mainNews += run.values.at("main_news");
        mainNewBytes += run.values.at("main_new_bytes");
        otherNews += run.values.at("other_news");
        ourMallocs += run.values.at("our_mallocs");
    }
    long long total = 0;
    for (long long time : frameTimes) {
        total += time;
    }
    const double mean = frameTimes.empty() ? 0.0 : static_cast<double>(total) / static_cast<double>(frameTimes.size());
    std::printf("Frame time over %zu frames: median %.2f ms, mean %.2f ms, 95th percentile %.2f ms, slowest %.2f ms"
                " (%.1f frames/s)\n",
                frameTimes.size(), milliseconds(median(frameTimes)), mean / 1e6,
                milliseconds(percentile(frameTimes, 0.95)),
                milliseconds(frameTimes.empty() ? 0 : *std::max_element(frameTimes.begin(), frameTimes.end())),
                mean > 0 ? 1e9 / mean : 0.0);
    const bool allocationFree = mainNews == 0 && ourMallocs == 0;
    std::printf("Allocations during the measured frames: %lld operator new on the main thread (%lld bytes), %lld on "
                "other threads, %lld malloc/calloc/realloc by our code - %s\n",
                mainNews, mainNewBytes, otherNews, ourMallocs,
                allocationFree ? "nothing allocated per frame" : "FAIL: the frame loop allocates");
    return allocationFree ? 0 : 1;
}

}  // namespace

int main(int argumentCount, char** arguments) {
    if (argumentCount == 4 && std::strcmp(arguments[1], childFlag) == 0) {
        return runMeasured(std::atoi(arguments[2]), std::atoi(arguments[3]));
    }
    if (argumentCount == 2 && std::strcmp(arguments[1], floorFlag) == 0) {
        return runFloor();
    }
    int runs = defaultRuns;
    int frames = defaultFrames;
    int warmUpFrames = defaultWarmUpFrames;
    for (int index = 1; index + 1 < argumentCount; index += 2) {
        const int value = std::atoi(arguments[index + 1]);
        if (std::strcmp(arguments[index], "--runs") == 0) {
            runs = value;
        } else if (std::strcmp(arguments[index], "--frames") == 0) {
            frames = value;
        } else if (std::strcmp(arguments[index], "--warm-up") == 0) {
            warmUpFrames = value;
        }
    }
    if (runs < 1 || frames < 1 || warmUpFrames < 0 || warmUpFrames + 1 + frames > maxRecordedFrames) {
        std::fprintf(stderr, "usage: bench_presentation [--runs N] [--frames N] [--warm-up N] (at most %d frames)\n",
                     maxRecordedFrames - 1);
        return 2;
    }
    // No sound card is needed: the music still starts, on SDL's silent driver.
    setenv("SDL_AUDIODRIVER", "dummy", 0);

    std::vector<RunResult> results;
    std::vector<RunResult> floorResults;
    for (int run = 0; run < runs; ++run) {
        RunResult result;
        RunResult floorResult;
        if (!measureOneRun("/proc/self/exe", false, frames, warmUpFrames, result) ||
            !measureOneRun("/proc/self/exe", true, frames, warmUpFrames, floorResult)) {
            std::fprintf(stderr, "bench_presentation: run %d failed (is a display reachable?)\n", run + 1);
            return 1;
        }
        results.push_back(std::move(result));
        floorResults.push_back(std::move(floorResult));
    }
    return report(results, floorResults, frames);
}
