// The capture tool's command line: what each option sets, the defaults, and
// the one-line refusals.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture_options.h"

namespace {

struct AcceptedCase {
    const char* rule;
    std::vector<std::string> arguments;
    int width, height, framesPerSecond;
    double seconds;
    bool lossless;
    double stillSeconds;
    const char* outputPath;
};

const AcceptedCase acceptedCases[] = {
    {"no options: one pass at 1920x1080, 60 fps, into intro.mp4", {}, 1920, 1080, 60, 0.0, false, -1.0, "intro.mp4"},
    {"each value option sets its field",
     {"--size", "640x360", "--fps", "30", "--seconds", "2.5", "--output", "out/a.mp4"},
     640, 360, 30, 2.5, false, -1.0, "out/a.mp4"},
    {"-o is --output", {"-o", "b.mp4"}, 1920, 1080, 60, 0.0, false, -1.0, "b.mp4"},
    {"--lossless writes intro.mkv by default", {"--lossless"}, 1920, 1080, 60, 0.0, true, -1.0, "intro.mkv"},
    {"lossless takes odd sides", {"--lossless", "--size", "641x361"}, 641, 361, 60, 0.0, true, -1.0, "intro.mkv"},
    {"--still writes intro.png by default and takes odd sides",
     {"--still", "3.4", "--size", "3x3"}, 3, 3, 60, 0.0, false, 3.4, "intro.png"},
    {"--still 0 is the first frame", {"--still", "0"}, 1920, 1080, 60, 0.0, false, 0.0, "intro.png"},
    {"the limits themselves are accepted",
     {"--size", "8192x2", "--fps", "240", "--seconds", "3600"}, 8192, 2, 240, 3600.0, false, -1.0, "intro.mp4"},
    {"the last of a repeated option wins", {"--fps", "24", "--fps", "25"}, 1920, 1080, 25, 0.0, false, -1.0,
     "intro.mp4"},
    {"an extension in capitals is the same extension", {"--lossless", "-o", "A.MKV"}, 1920, 1080, 60, 0.0, true, -1.0,
     "A.MKV"},
    {"a name without an extension (a device, a pipe) takes the format the options give", {"-o", "tmp/pipe"}, 1920,
     1080, 60, 0.0, false, -1.0, "tmp/pipe"},
};

TEST(CaptureOptions, AcceptedCommandLines) {
    for (const AcceptedCase& row : acceptedCases) {
        const ParsedCommandLine parsed = parseCaptureOptions(row.arguments);
        ASSERT_EQ(parsed.outcome, ParseOutcome::Capture) << row.rule << ": " << parsed.error;
        const CaptureOptions& options = parsed.options;
        EXPECT_EQ(options.width, row.width) << row.rule;
        EXPECT_EQ(options.height, row.height) << row.rule;
        EXPECT_EQ(options.framesPerSecond, row.framesPerSecond) << row.rule;
        EXPECT_EQ(options.seconds, row.seconds) << row.rule;
        EXPECT_EQ(options.lossless, row.lossless) << row.rule;
        EXPECT_EQ(options.stillSeconds, row.stillSeconds) << row.rule;
        EXPECT_EQ(options.outputPath, row.outputPath) << row.rule;
    }
}

struct RefusedCase {
    const char* rule;
    std::vector<std::string> arguments;
    const char* message;  // a part of the one-line error
};

const RefusedCase refusedCases[] = {
    {"an unknown option is named", {"--bogus"}, "unknown option --bogus"},
    {"a stray argument is named", {"out.mp4"}, "unexpected argument out.mp4"},
    {"a value option at the end lacks its value", {"--size"}, "--size needs a value"},
    {"a size of 0 is refused", {"--size", "0x0"}, "each side from 2 to 8192, not 0x0"},
    {"one side of 0 is refused", {"--size", "640x0"}, "not 640x0"},
    {"a side above the limit is refused", {"--size", "8193x2"}, "not 8193x2"},
    {"a size needs both sides", {"--size", "640"}, "WIDTHxHEIGHT"},
    {"a size is whole numbers only", {"--size", "64.5x36"}, "WIDTHxHEIGHT"},
    {"a negative side is refused", {"--size", "-2x2"}, "WIDTHxHEIGHT"},
    {"an MP4 needs even sides", {"--size", "641x360"}, "even sides"},
    {"0 frames per second are refused", {"--fps", "0"}, "--fps needs a whole number from 1 to 240"},
    {"a fractional frame rate is refused", {"--fps", "29.97"}, "--fps"},
    {"more than 240 frames per second are refused", {"--fps", "241"}, "--fps"},
    {"a length of 0 is refused", {"--seconds", "0"}, "--seconds needs a length above 0"},
    {"a length that is not a number is refused", {"--seconds", "5s"}, "--seconds"},
    {"a length beyond an hour is refused", {"--seconds", "3601"}, "--seconds"},
    {"a negative still time is refused", {"--still", "-1"}, "--still needs a time"},
    {"an empty output name is refused", {"--output", ""}, "needs a file name"},
    {"a still is one image, not a lossless video", {"--still", "1", "--lossless"}, "takes no --lossless"},
    {"a still has no length", {"--still", "1", "--seconds", "2"}, "takes no --lossless or --seconds"},
    {"standard output is no file name", {"--output", "-"}, "cannot go to standard output"},
    {"an MP4 is not named .wav", {"--output", "x.wav"}, "name the file *.mp4"},
    {"Matroska is not named .mp4", {"--lossless", "--output", "y.mp4"}, "name the file *.mkv"},
    {"an MP4 is not named .mkv", {"--output", "z.mkv"}, "name the file *.mp4"},
    {"a still is not named .jpg", {"--still", "1", "--output", "s.jpg"}, "name the file *.png"},
};

TEST(CaptureOptions, RefusalsAreOneLineNamingTheProblem) {
    for (const RefusedCase& row : refusedCases) {
        const ParsedCommandLine parsed = parseCaptureOptions(row.arguments);
        ASSERT_EQ(parsed.outcome, ParseOutcome::UsageError) << row.rule;
        EXPECT_NE(parsed.error.find(row.message), std::string::npos) << row.rule << ": " << parsed.error;
        EXPECT_EQ(parsed.error.find('\n'), std::string::npos) << row.rule;
    }
}

TEST(CaptureOptions, ForceAllowsReplacing) {
    EXPECT_FALSE(parseCaptureOptions({}).options.replaceExisting);
    EXPECT_TRUE(parseCaptureOptions({"--force"}).options.replaceExisting);
}

TEST(CaptureOptions, HelpAndVersionWinOverEverythingBeforeThem) {
    EXPECT_EQ(parseCaptureOptions({"--help"}).outcome, ParseOutcome::Help);
    EXPECT_EQ(parseCaptureOptions({"--size", "640x360", "-h"}).outcome, ParseOutcome::Help);
    EXPECT_EQ(parseCaptureOptions({"--lossless", "--version"}).outcome, ParseOutcome::Version);
}

struct FrameCountCase {
    const char* rule;
    double seconds;
    int framesPerSecond;
    long long frames;
};

const FrameCountCase frameCountCases[] = {
    {"whole seconds give seconds x fps frames", 4.0, 60, 240},
    {"a length is rounded to the nearest frame", 1.0 / 60 * 10.4, 60, 10},
    {"a half frame rounds up", 0.05, 30, 2},
    {"a length shorter than half a frame still gives one frame", 0.001, 60, 1},
};

TEST(CaptureOptions, FrameCountIsTheNearestWholeFrameAndAtLeastOne) {
    for (const FrameCountCase& row : frameCountCases) {
        EXPECT_EQ(captureFrameCount(row.seconds, row.framesPerSecond), row.frames) << row.rule;
    }
}

}  // namespace
