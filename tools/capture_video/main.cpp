// capture_video: renders the presentation and its song off screen, frame by
// frame, into a video file. Frame k shows the presentation at k/fps seconds:
// both of its clocks advance by exactly 1/fps per frame, and the song is
// rendered through the engine's own block fill from its beginning at frame 0,
// as it starts with the presentation.
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "capture_options.h"
#include "frame.h"
#include "intro_music.h"
#include "gl_loader.h"
#include "mixer.h"
#include "offscreen_context.h"
#include "offscreen_framebuffer.h"
#include "output_file.h"
#include "picture.h"
#include "song_sound.h"
#include "still_image.h"
#include "video_writer.h"

using namespace intro_music::engine;

namespace {

constexpr int exitFailure = 1;
constexpr int exitUsage = 2;
constexpr int exitInterrupted = 130;
constexpr int progressBarWidth = 40;
constexpr double progressUpdateSeconds = 0.2;

using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t interrupted = 0;

void noteInterrupt(int) { interrupted = 1; }

int failWith(const std::string& message) {
    std::fprintf(stderr, "capture_video: %s\n", message.c_str());
    return exitFailure;
}

// Where the time of a capture goes, summed over its frames.
struct StageTimes {
    double render = 0.0;    // drawing, waited for
    double readBack = 0.0;  // pixels from GL to memory
    double encode = 0.0;    // colour conversion, picture encoding and writing
    double sound = 0.0;     // the song's render and its encoding
};

double secondsSince(Clock::time_point& mark) {
    const Clock::time_point now = Clock::now();
    const double seconds = std::chrono::duration<double>(now - mark).count();
    mark = now;
    return seconds;
}

class ProgressBar {
public:
    explicit ProgressBar(int64_t total) : total_(total), shown_(isatty(fileno(stderr)) != 0) {}

    void update(int64_t done, bool last = false) {
        if (!shown_) {
            return;
        }
        const Clock::time_point now = Clock::now();
        if (!last && std::chrono::duration<double>(now - lastShown_).count() < progressUpdateSeconds) {
            return;
        }
        lastShown_ = now;
        const double share = static_cast<double>(done) / static_cast<double>(total_);
        const double elapsed = std::chrono::duration<double>(now - start_).count();
        std::fprintf(stderr, "\r[%-*.*s] %3d%% %lld/%lld frames %6.1f frames/s", progressBarWidth,
                     static_cast<int>(share * progressBarWidth), "########################################",
                     static_cast<int>(share * 100.0), static_cast<long long>(done), static_cast<long long>(total_),
                     elapsed > 0.0 ? static_cast<double>(done) / elapsed : 0.0);
        if (last) {
            std::fputc('\n', stderr);
        }
        std::fflush(stderr);
    }

private:
    int64_t total_;
    bool shown_;
    Clock::time_point start_ = Clock::now();
    Clock::time_point lastShown_{};
};

void printStats(const CaptureOptions& options, int64_t frames, double wallSeconds, const StageTimes& times) {
    const double videoSeconds = static_cast<double>(frames) / options.framesPerSecond;
    const double perFrame = 1000.0 / static_cast<double>(frames);
    std::printf("%dx%d at %d fps, %s: %lld frames (%.2f s of video) in %.2f s: %.1f frames/s, %.3f s of video per "
                "second; per frame: render %.2f ms, read-back %.2f ms, encode %.2f ms, sound %.2f ms\n",
                options.width, options.height, options.framesPerSecond,
                options.lossless ? "lossless MKV" : "MP4", static_cast<long long>(frames), videoSeconds,
                wallSeconds, static_cast<double>(frames) / wallSeconds, videoSeconds / wallSeconds,
                times.render * perFrame, times.readBack * perFrame, times.encode * perFrame, times.sound * perFrame);
    std::fflush(stdout);
}

// The GL side of a capture: the context, the framebuffer and the picture
// built as start-up builds it. The picture goes before the context.
struct Stage {
    OffscreenContext context;
    std::optional<OffscreenFramebuffer> target;
    PresentationPicture picture;
    std::string error;

    Stage(int width, int height) {
        if (!context.ready()) {
            error = "no OpenGL 3.3 context: " + context.error();
            return;
        }
        if (loadGlFunctions(OffscreenContext::lookup) == 0) {
            error = "the OpenGL driver lacks functions the presentation calls";
            return;
        }
        target.emplace(width, height, OffscreenContext::lookup);
        if (!target->ready()) {
            error = target->error();
            return;
        }
        setPictureGlState(width, height);
        buildPicture(picture, width, height);
    }
    ~Stage() {
        releasePicture(picture);
        target.reset();
    }
    Stage(const Stage&) = delete;
    Stage& operator=(const Stage&) = delete;
};

float frameTime(int64_t frame, int framesPerSecond) {
    return static_cast<float>(static_cast<double>(frame) / framesPerSecond);
}

// The picture's two clocks for frame k: no time before frame 0, then 1/fps.
void advanceToFrame(PresentationPicture& picture, int64_t frame, int framesPerSecond) {
    const float step = static_cast<float>(1.0 / framesPerSecond);
    advancePicture(picture, frame == 0 ? 0.0f : step);
}

int captureStill(const CaptureOptions& options) {
    OutputFile file(options.outputPath, options.replaceExisting);
    if (!file.ready()) {
        return failWith(file.error());
    }
    Stage stage(options.width, options.height);
    if (!stage.error.empty()) {
        return failWith(stage.error);
    }
    const int64_t frame = std::llround(options.stillSeconds * options.framesPerSecond);
    for (int64_t step = 0; step <= frame; ++step) {
        advanceToFrame(stage.picture, step, options.framesPerSecond);
    }
    drawFrame(pictureScene(stage.picture, nullptr, options.width, options.height,
                           frameTime(frame, options.framesPerSecond)));
    std::vector<uint8_t> pixels(static_cast<size_t>(stage.target->rowBytes()) * options.height);
    stage.target->readPixels(pixels.data());
    std::string error;
    if (!writePngImage(file.writePath(), options.width, options.height, pixels.data(), error)) {
        return failWith(error);
    }
    if (!file.commit()) {
        return failWith(file.error());
    }
    return 0;
}

int captureVideo(const CaptureOptions& options) {
    // The output first: a path that cannot be written fails at once.
    OutputFile file(options.outputPath, options.replaceExisting);
    if (!file.ready()) {
        return failWith(file.error());
    }
    SongSound song;
    if (!song.ready()) {
        return failWith(song.error());
    }
    const int fps = options.framesPerSecond;
    const int64_t frames = options.seconds > 0.0
                               ? captureFrameCount(options.seconds, fps)
                               : captureFrameCount(static_cast<double>(song.onePassFrames()) / mixRate, fps);
    VideoWriter writer(file.writePath(), VideoFormat{options.width, options.height, fps, options.lossless});
    if (!writer.ready()) {
        return failWith(writer.error());
    }
    Stage stage(options.width, options.height);
    if (!stage.error.empty()) {
        return failWith(stage.error);
    }

    // The one read-back buffer, reused for every frame.
    std::vector<uint8_t> pixels(static_cast<size_t>(stage.target->rowBytes()) * options.height);
    StageTimes times;
    ProgressBar progress(frames);
    const Clock::time_point start = Clock::now();
    int64_t soundFramesWritten = 0;
    for (int64_t frame = 0; frame < frames; ++frame) {
        if (interrupted != 0) {
            std::fprintf(stderr, "\ncapture_video: interrupted; %s not written\n", options.outputPath.c_str());
            return exitInterrupted;
        }
        Clock::time_point mark = Clock::now();
        advanceToFrame(stage.picture, frame, fps);
        drawFrame(pictureScene(stage.picture, nullptr, options.width, options.height, frameTime(frame, fps)));
        stage.target->finishDrawing();
        times.render += secondsSince(mark);
        stage.target->readPixels(pixels.data());
        times.readBack += secondsSince(mark);
        if (!writer.addPicture(pixels.data())) {
            return failWith(writer.error());
        }
        times.encode += secondsSince(mark);
        // The sound that plays while this frame is shown.
        const int64_t soundEnd = std::llround(static_cast<double>(frame + 1) * mixRate / fps);
        while (soundFramesWritten < soundEnd) {
            int32_t count = 0;
            const int16_t* stretch = song.next(soundEnd - soundFramesWritten, count);
            if (stretch == nullptr) {
                return failWith(song.error());
            }
            if (!writer.addSound(stretch, count)) {
                return failWith(writer.error());
            }
            soundFramesWritten += count;
        }
        times.sound += secondsSince(mark);
        progress.update(frame + 1, frame + 1 == frames);
    }
    if (!writer.finish()) {
        return failWith(writer.error());
    }
    const double wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!file.commit()) {
        return failWith(file.error());
    }
    if (options.printStats) {
        printStats(options, frames, wallSeconds, times);
    }
    return 0;
}

}  // namespace

int main(int argumentCount, char** arguments) {
    const ParsedCommandLine parsed =
        parseCaptureOptions(std::vector<std::string>(arguments + 1, arguments + argumentCount));
    if (parsed.outcome == ParseOutcome::Help) {
        std::fputs(captureUsage, stdout);
        return 0;
    }
    if (parsed.outcome == ParseOutcome::Version) {
        std::printf("capture_video %s\n", intro_music::versionString());
        return 0;
    }
    if (parsed.outcome == ParseOutcome::UsageError) {
        std::fprintf(stderr, "capture_video: %s\n", parsed.error.c_str());
        return exitUsage;
    }
    // An interrupted capture removes its unfinished file.
    std::signal(SIGINT, noteInterrupt);
    std::signal(SIGTERM, noteInterrupt);
    const CaptureOptions& options = parsed.options;
    return options.stillSeconds >= 0.0 ? captureStill(options) : captureVideo(options);
}
