#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "logo_path.h"
#include "text_block.h"
#include "timeline.h"

namespace {

constexpr float sixtyFps = 1.0f / 60.0f;

// Fade in 0.12 / 7 s and out 0.0125 s per glyph, hold 2 s; every printable character advances 10 pixels.
TextBlock block(const std::string& text) {
    GlyphCache glyphs;
    for (int code = 32; code < 127; ++code) {
        glyphs[static_cast<int8_t>(code)] = Glyph{0, 8, 10, 1, 10, 10u << 6};
    }
    return TextBlock(glyphs, text, static_cast<float>(0.12 / 7.0), 0.0125f, 2.0f);
}

// Frames until the first message leaves `state`, at a steady frame time.
int framesIn(std::vector<TextBlock>& messages, TextBlockState state, float frameTime) {
    int frames = 0;
    for (; messages.front().state == state && frames < 100000; ++frames) {
        updateTimeline(messages, frameTime);
    }
    return frames;
}

float alphaAt(const std::vector<TextBlock>& messages, std::size_t line, std::size_t cell) {
    return messages.front().lines[line].glyphs[cell].alpha;
}

}  // namespace

// One glyph moves at a time; each takes whole frames to fade, plus one frame to change state.
TEST(MessageTimeline, GlyphStepsPerFrameRate) {
    struct Case {
        float frame;
        float firstAlpha;
        int fadeInFrames;  // per glyph
        int fadeOutFrames;
    };
    const Case cases[] = {
        {sixtyFps, 0.9722f, 2, 1},       // 60 fps: 0.9722 then 1 in, one frame out
        {1.0f / 144.0f, 0.4051f, 3, 2},  // 144 fps: three frames in, two out
        {1.0f, 1.0f, 1, 1},              // a 1 s frame finishes exactly one glyph; the excess is not passed on
    };
    for (const Case& c : cases) {
        std::vector<TextBlock> messages{block("AB")};
        updateTimeline(messages, c.frame);
        EXPECT_NEAR(alphaAt(messages, 0, 0), c.firstAlpha, 0.0001f) << c.frame;
        EXPECT_EQ(alphaAt(messages, 0, 1), 0.0f) << c.frame;
        EXPECT_EQ(1 + framesIn(messages, FadingIn, c.frame), 2 * c.fadeInFrames + 1) << c.frame;
        messages[0].state = FadingOut;
        EXPECT_EQ(framesIn(messages, FadingOut, c.frame), 2 * c.fadeOutFrames + 1) << c.frame;
    }
}

// 50 glyphs at 60 fps take 100 + 1, 121 + 1 and 50 + 1 frames (274 in all); then the next message starts.
TEST(MessageTimeline, FiftyGlyphMessageTakes274FramesAtSixty) {
    std::vector<TextBlock> messages{block(std::string(25, 'A') + "\n" + std::string(25, 'B')), block("Z")};
    EXPECT_EQ(framesIn(messages, FadingIn, sixtyFps), 101);
    EXPECT_EQ(alphaAt(messages, 1, 24), 1.0f);
    EXPECT_EQ(framesIn(messages, Holding, sixtyFps), 122);
    EXPECT_EQ(framesIn(messages, FadingOut, sixtyFps), 51);
    EXPECT_EQ(messages[0].state, Done);
    EXPECT_EQ(messages[1].lines[0].glyphs[0].alpha, 0.0f) << "the next message has not moved yet";
    updateTimeline(messages, sixtyFps);
    EXPECT_GT(messages[1].lines[0].glyphs[0].alpha, 0.0f) << "a done message is skipped";
}

// Spaces never fade and never hold up the sequence; a message of only spaces holds after one frame.
TEST(MessageTimeline, SpacesAreSkipped) {
    std::vector<TextBlock> messages{block("A B\n \nC")};
    EXPECT_EQ(framesIn(messages, FadingIn, sixtyFps), 3 * 2 + 1);
    EXPECT_EQ(alphaAt(messages, 0, 1), 0.0f);
    EXPECT_EQ(alphaAt(messages, 1, 0), 0.0f);
    std::vector<TextBlock> blanks{block("  \n ")};
    updateTimeline(blanks, sixtyFps);
    EXPECT_EQ(blanks[0].state, Holding);
}

// With no cell on the first line to time it, the hold ends at once.
TEST(MessageTimeline, HoldWithoutAClockEndsAtOnce) {
    for (const char* text : {"\nA", ""}) {
        std::vector<TextBlock> messages{block(text)};
        messages[0].state = Holding;
        EXPECT_EQ(framesIn(messages, Holding, sixtyFps), 1) << text;
    }
}

// After the last message is done, one frame shows no text, the next puts every message back to fading in.
TEST(MessageTimeline, SequenceRestartsAfterTheLast) {
    std::vector<TextBlock> messages{block("A"), block("B")};
    for (int frames = 0; messages.back().state != Done && frames < 10000; ++frames) {
        updateTimeline(messages, sixtyFps);
    }
    ASSERT_EQ(messages.back().state, Done);
    EXPECT_EQ(firstActiveMessage(messages), nullptr);
    updateTimeline(messages, sixtyFps);
    for (const TextBlock& message : messages) {
        EXPECT_EQ(message.state, FadingIn);
        EXPECT_EQ(message.lines[0].glyphs[0].alpha, 0.0f);
        EXPECT_EQ(message.lines[0].glyphs[0].timer, 0.0f);
    }
}

namespace {

LogoPath freshPath() {
    LogoPath path;
    path.easing.init();
    resetLogoPath(path);
    return path;
}

}  // namespace

// The path rests at the centre for 2 s (the excess of the last frame dropped), then eases toward (1, 1).
TEST(LogoPathStep, RestThenEasedTravel) {
    LogoPath path = freshPath();
    for (int frame = 0; frame < 119; ++frame) {
        stepLogoPath(path, sixtyFps);
    }
    EXPECT_EQ(std::tie(path.keyIndex, path.offsetX, path.offsetY), std::tuple(0u, 0.0f, 0.0f));
    stepLogoPath(path, 0.1f);
    EXPECT_EQ(std::tie(path.keyIndex, path.segmentElapsed), std::tuple(1u, 0.0f));
    stepLogoPath(path, 1.0f);  // halfway: 81.12 % of the way
    EXPECT_NEAR(path.offsetX, 0.8112f, 0.0001f);
    EXPECT_NEAR(path.offsetY, 0.8112f, 0.0001f);
}

// The 4-second segment ends exactly at (-1, 0), and the seven segments loop after 16 s.
TEST(LogoPathStep, SegmentEndsExactlyOnItsKey) {
    LogoPath path = freshPath();
    for (int step = 0; step < 4; ++step) {
        stepLogoPath(path, 2.0f);
    }
    EXPECT_EQ(path.keyIndex, 3u);
    EXPECT_GT(path.offsetX, -1.0f) << "halfway through the 4-second segment";
    stepLogoPath(path, 2.0f);
    EXPECT_EQ(std::tie(path.offsetX, path.offsetY), std::tuple(-1.0f, 0.0f));
    for (int step = 0; step < 3; ++step) {
        stepLogoPath(path, 2.0f);
    }
    EXPECT_EQ(std::tie(path.keyIndex, path.offsetX, path.offsetY), std::tuple(0u, 0.0f, 0.0f));
}

// dt = 0 at the start of a segment gives e = 0 (the previous key) without the solver, which here would answer NaN.
TEST(LogoPathStep, ZeroStepDoesNotCallTheSolver) {
    LogoPath path = freshPath();
    stepLogoPath(path, 2.0f);
    stepLogoPath(path, 2.0f);  // now heading from (1, 1) to key 2
    ASSERT_EQ(path.keyIndex, 2u);
    for (double& sample : path.easing.samples) {
        sample = std::numeric_limits<double>::quiet_NaN();
    }
    stepLogoPath(path, 0.0f);
    EXPECT_EQ(std::tie(path.offsetX, path.offsetY), std::tuple(1.0f, 1.0f));
}
