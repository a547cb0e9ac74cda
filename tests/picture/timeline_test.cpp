#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "logo_path.h"
#include "text_block.h"
#include "timeline.h"

namespace {

constexpr float fadeIn = static_cast<float>(0.12 / 7.0);
constexpr float fadeOut = 0.0125f;
constexpr float hold = 2.0f;

// Every printable character advances 10 pixels; no GL is involved.
GlyphCache fakeGlyphs() {
    GlyphCache glyphs;
    for (int code = 32; code < 127; ++code) {
        glyphs[static_cast<int8_t>(code)] = Glyph{0, 8, 10, 1, 10, 10u << 6};
    }
    return glyphs;
}

TextBlock block(const std::string& text) {
    GlyphCache glyphs = fakeGlyphs();
    return TextBlock(glyphs, text, fadeIn, fadeOut, hold);
}

// Frames until the message leaves `state`, at a steady frame time.
int framesIn(std::vector<TextBlock>& messages, TextBlockState state, float frameTime) {
    int frames = 0;
    while (messages.front().state == state) {
        updateTimeline(messages, frameTime);
        ++frames;
    }
    return frames;
}

const TextGlyph& glyphAt(const TextBlock& message, std::size_t line, std::size_t index) {
    return message.lines[line].glyphs[index];
}

}  // namespace

// At 60 fps a glyph fades in over two frames (0.9722, then 1) and out in one.
TEST(MessageTimeline, GlyphStepsAtSixtyFramesPerSecond) {
    std::vector<TextBlock> messages{block("AB")};
    const float frame = 1.0f / 60.0f;
    updateTimeline(messages, frame);
    EXPECT_NEAR(glyphAt(messages[0], 0, 0).alpha, 0.9722f, 0.0001f);
    EXPECT_EQ(glyphAt(messages[0], 0, 1).alpha, 0.0f);
    updateTimeline(messages, frame);
    EXPECT_EQ(glyphAt(messages[0], 0, 0).alpha, 1.0f);
    updateTimeline(messages, frame);
    EXPECT_NEAR(glyphAt(messages[0], 0, 1).alpha, 0.9722f, 0.0001f);

    messages[0].state = FadingOut;
    for (TextGlyph& glyph : messages[0].lines[0].glyphs) {
        glyph.timer = 0.0f;
        glyph.alpha = 1.0f;
    }
    updateTimeline(messages, frame);
    EXPECT_EQ(glyphAt(messages[0], 0, 0).alpha, 0.0f);
    EXPECT_EQ(glyphAt(messages[0], 0, 1).alpha, 1.0f);
}

// The worked example: 50 glyphs at 60 fps take 100 + 1, 121 + 1 and 50 + 1 frames: 274 in all.
TEST(MessageTimeline, FiftyGlyphMessageTakes274FramesAtSixty) {
    std::vector<TextBlock> messages{block(std::string(25, 'A') + "\n" + std::string(25, 'B')), block("Z")};
    const float frame = 1.0f / 60.0f;
    EXPECT_EQ(framesIn(messages, FadingIn, frame), 101);
    for (const TextLine& line : messages[0].lines) {
        for (const TextGlyph& glyph : line.glyphs) {
            EXPECT_EQ(glyph.alpha, 1.0f);
            EXPECT_EQ(glyph.timer, 0.0f);
        }
    }
    EXPECT_EQ(framesIn(messages, Holding, frame), 122);
    EXPECT_EQ(framesIn(messages, FadingOut, frame), 51);
    EXPECT_EQ(messages[0].state, Done);
    EXPECT_EQ(messages[1].state, FadingIn);
    EXPECT_EQ(glyphAt(messages[1], 0, 0).alpha, 0.0f) << "the next message has not moved yet";
}

// At 144 fps a glyph fades in over three frames and out over two.
TEST(MessageTimeline, GlyphStepsAtOneHundredFortyFour) {
    const float frame = 1.0f / 144.0f;
    std::vector<TextBlock> messages{block("A")};
    EXPECT_EQ(framesIn(messages, FadingIn, frame), 3 + 1);
    messages[0].state = FadingOut;
    EXPECT_EQ(framesIn(messages, FadingOut, frame), 2 + 1);
}

// A very long frame finishes exactly one glyph; the excess is not passed on.
TEST(MessageTimeline, LongFrameFinishesOneGlyph) {
    std::vector<TextBlock> messages{block("ABC")};
    updateTimeline(messages, 1.0f);
    EXPECT_EQ(glyphAt(messages[0], 0, 0).alpha, 1.0f);
    EXPECT_EQ(glyphAt(messages[0], 0, 1).alpha, 0.0f);
    EXPECT_EQ(glyphAt(messages[0], 0, 1).timer, 0.0f);
    EXPECT_EQ(messages[0].state, FadingIn);
}

// Spaces never fade and never hold up the sequence; a message of only spaces
// goes from fading in to holding in one frame.
TEST(MessageTimeline, SpacesAreSkipped) {
    std::vector<TextBlock> messages{block("A B\n \nC")};
    const float frame = 1.0f / 60.0f;
    EXPECT_EQ(framesIn(messages, FadingIn, frame), 3 * 2 + 1);
    EXPECT_EQ(glyphAt(messages[0], 0, 1).alpha, 0.0f) << "the space stays transparent";
    EXPECT_EQ(glyphAt(messages[0], 1, 0).alpha, 0.0f);

    std::vector<TextBlock> blanks{block("  \n ")};
    updateTimeline(blanks, frame);
    EXPECT_EQ(blanks[0].state, Holding);
}

// The hold clock is the first glyph of the first line, even a space; without one the hold ends at once.
TEST(MessageTimeline, HoldClock) {
    std::vector<TextBlock> messages{block(" A")};
    messages[0].state = Holding;
    updateTimeline(messages, 1.5f);
    EXPECT_EQ(glyphAt(messages[0], 0, 0).timer, 1.5f);
    EXPECT_EQ(glyphAt(messages[0], 0, 1).timer, 0.0f);
    updateTimeline(messages, 1.5f);
    EXPECT_EQ(messages[0].state, Holding) << "the clock reached the hold time on this frame";
    updateTimeline(messages, 0.001f);
    EXPECT_EQ(messages[0].state, FadingOut);
    EXPECT_EQ(glyphAt(messages[0], 0, 0).timer, 0.0f);

    std::vector<TextBlock> emptyFirstLine{block("\nA")};
    emptyFirstLine[0].state = Holding;
    updateTimeline(emptyFirstLine, 0.001f);
    EXPECT_EQ(emptyFirstLine[0].state, FadingOut);
}

// After the last message is done, no text is active for one frame; the next
// frame puts every message back to fading in, fully transparent.
TEST(MessageTimeline, SequenceRestartsAfterTheLast) {
    std::vector<TextBlock> messages{block("A"), block("B")};
    const float frame = 1.0f / 60.0f;
    int frames = 0;
    while (messages.back().state != Done && frames < 10000) {
        updateTimeline(messages, frame);
        ++frames;
    }
    ASSERT_EQ(messages.back().state, Done);
    EXPECT_EQ(firstActiveMessage(messages), nullptr);
    updateTimeline(messages, frame);
    for (const TextBlock& message : messages) {
        EXPECT_EQ(message.state, FadingIn);
        EXPECT_EQ(glyphAt(message, 0, 0).alpha, 0.0f);
        EXPECT_EQ(glyphAt(message, 0, 0).timer, 0.0f);
    }
    EXPECT_EQ(firstActiveMessage(messages), &messages.front());
}

namespace {

LogoPath freshPath() {
    LogoPath path;
    path.easing.init();
    resetLogoPath(path);
    return path;
}

}  // namespace

// The path rests at the centre for 2 s, then heads for (1, 1); at u = 0.5 it
// has covered 81.12 % of the way.
TEST(LogoPathStep, RestThenEasedTravel) {
    LogoPath path = freshPath();
    for (int frame = 0; frame < 119; ++frame) {
        stepLogoPath(path, 1.0f / 60.0f);
        ASSERT_EQ(path.offsetX, 0.0f);
        ASSERT_EQ(path.offsetY, 0.0f);
    }
    stepLogoPath(path, 0.1f);  // past 2 s: the rest segment ends, the excess is dropped
    EXPECT_EQ(path.keyIndex, 1u);
    EXPECT_EQ(path.segmentElapsed, 0.0f);
    stepLogoPath(path, 1.0f);
    EXPECT_NEAR(path.offsetX, 0.8112f, 0.0001f);
    EXPECT_NEAR(path.offsetY, 0.8112f, 0.0001f);
}

// The 4-second segment ends exactly at (-1, 0), and a loop of keys takes 16 s.
TEST(LogoPathStep, SegmentEndsExactlyOnItsKey) {
    LogoPath path = freshPath();
    for (float step : {2.0f, 2.0f, 2.0f}) {
        stepLogoPath(path, step);
    }
    ASSERT_EQ(path.keyIndex, 3u);
    stepLogoPath(path, 2.0f);
    EXPECT_GT(path.offsetX, -1.0f);
    stepLogoPath(path, 2.0f);
    EXPECT_EQ(path.offsetX, -1.0f);
    EXPECT_EQ(path.offsetY, 0.0f);
    EXPECT_EQ(path.keyIndex, 4u);
    for (float step : {2.0f, 2.0f, 2.0f}) {
        stepLogoPath(path, step);
    }
    EXPECT_EQ(path.keyIndex, 0u) << "seven segments, 16 s, and the path starts over";
    EXPECT_EQ(path.offsetX, 0.0f);
    EXPECT_EQ(path.offsetY, 0.0f);
}

// dt = 0 at the start of a segment gives e = 0 (the previous key) without
// touching the solver, which here would answer NaN.
TEST(LogoPathStep, ZeroStepDoesNotCallTheSolver) {
    LogoPath path = freshPath();
    stepLogoPath(path, 2.0f);
    stepLogoPath(path, 2.0f);  // now approaching key 2, (1, 0), from (1, 1)
    ASSERT_EQ(path.keyIndex, 2u);
    for (double& sample : path.easing.samples) {
        sample = std::numeric_limits<double>::quiet_NaN();
    }
    stepLogoPath(path, 0.0f);
    EXPECT_EQ(path.offsetX, 1.0f);
    EXPECT_EQ(path.offsetY, 1.0f);
}
