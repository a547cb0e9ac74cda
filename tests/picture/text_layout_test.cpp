#include <gtest/gtest.h>

#include <string>

#include "text_block.h"

namespace {

// Space advances 5 pixels, every other printable character 12 (26.6 fixed point).
GlyphCache fakeGlyphs() {
    GlyphCache glyphs;
    for (int code = 33; code < 127; ++code) {
        glyphs[static_cast<int8_t>(code)] = Glyph{0, 10, 14, 1, 12, (12u << 6) | 63u};
    }
    glyphs[' '] = Glyph{0, 0, 0, 0, 0, 5u << 6};
    return glyphs;
}

TextBlock layout(GlyphCache& glyphs, const std::string& text) { return TextBlock(glyphs, text, 0.1f, 0.2f, 3.0f); }

}  // namespace

// Line feeds split lines and make no cell; widths add whole-pixel advances, spaces included.
TEST(TextLayout, LinesCellsAndWidths) {
    GlyphCache glyphs = fakeGlyphs();
    const TextBlock message = layout(glyphs, "AB C\nDE");
    ASSERT_EQ(message.lines.size(), 2u);
    EXPECT_EQ(message.lines[0].glyphs.size(), 4u);
    EXPECT_EQ(message.lines[0].width, 12u + 12u + 5u + 12u) << "the 26.6 fraction is dropped";
    EXPECT_EQ(message.lines[1].width, 24u);
    EXPECT_FALSE(message.lines[0].glyphs[2].animated);
    EXPECT_TRUE(message.lines[0].glyphs[3].animated);
    EXPECT_EQ(message.lines[0].glyphs[3].character, 'C');
    EXPECT_EQ(message.lines[0].glyphs[3].alpha, 0.0f);
    EXPECT_EQ(message.lines[0].glyphs[3].timer, 0.0f);
    EXPECT_EQ(message.state, FadingIn);
    EXPECT_EQ(message.fadeInTime, 0.1f);
    EXPECT_EQ(message.fadeOutTime, 0.2f);
    EXPECT_EQ(message.holdTime, 3.0f);
}

// k line feeds give k + 1 lines: empty text, trailing and doubled line feeds
// all keep their (empty) lines; a single-space line has one inanimate cell.
TEST(TextLayout, EmptyAndSpaceLines) {
    GlyphCache glyphs = fakeGlyphs();
    const TextBlock empty = layout(glyphs, "");
    ASSERT_EQ(empty.lines.size(), 1u);
    EXPECT_TRUE(empty.lines[0].glyphs.empty());
    EXPECT_EQ(empty.lines[0].width, 0u);

    const TextBlock trailing = layout(glyphs, "A\n");
    ASSERT_EQ(trailing.lines.size(), 2u);
    EXPECT_TRUE(trailing.lines[1].glyphs.empty());

    const TextBlock gap = layout(glyphs, "A\n\nB");
    ASSERT_EQ(gap.lines.size(), 3u);
    EXPECT_EQ(gap.lines[1].width, 0u);

    const TextBlock spaced = layout(glyphs, "A\n \nB");
    ASSERT_EQ(spaced.lines[1].glyphs.size(), 1u);
    EXPECT_FALSE(spaced.lines[1].glyphs[0].animated);
    EXPECT_EQ(spaced.lines[1].width, 5u);
}

// A byte missing from the cache (128 and above, or a failed glyph) gets an
// empty entry, adds no width and still makes a cell; CR and tab are ordinary cells.
TEST(TextLayout, UncachedBytes) {
    GlyphCache glyphs = fakeGlyphs();
    const TextBlock message = layout(glyphs, std::string("A\xC3\xA9\r\t"));
    ASSERT_EQ(message.lines.size(), 1u);
    EXPECT_EQ(message.lines[0].glyphs.size(), 5u);
    EXPECT_EQ(message.lines[0].width, 12u);
    ASSERT_EQ(glyphs.count(static_cast<int8_t>(0xC3)), 1u);
    const Glyph& added = glyphs.at(static_cast<int8_t>(0xC3));
    EXPECT_EQ(added.texture, 0u);
    EXPECT_EQ(added.advance, 0u);
    EXPECT_EQ(added.width, 0);
    EXPECT_TRUE(message.lines[0].glyphs[3].animated) << "a carriage return is not a space";
}

// Lines are centred vertically: four lines of height 53 around y = 300 sit at
// 353, 300, 247, 194; five lines start half a line higher.
TEST(TextLayout, Baselines) {
    EXPECT_EQ(firstBaseline(4, 53.0f, 300.0f), 353.0f);
    EXPECT_EQ(firstBaseline(4, 53.0f, 300.0f) - 3.0f * 53.0f, 194.0f);
    EXPECT_EQ(firstBaseline(5, 53.0f, 300.0f), 300.0f + 1.5f * 53.0f);
    EXPECT_EQ(firstBaseline(1, 53.0f, 300.0f), 300.0f - 0.5f * 53.0f);
}

// A glyph quad starts at pen + left and sinks below the baseline by rows - top,
// scaled; v = 0 is the bitmap's top row and every vertex lies at depth 1.
TEST(TextLayout, GlyphQuad) {
    const Glyph glyph{7, 10, 14, 2, 11, 12u << 6};
    const QuadVertices quad = glyphQuad(glyph, 362.5f, 300.0f, 2.0f);
    const float left = 362.5f + 4.0f;
    const float bottom = 300.0f - 6.0f;
    const QuadVertices expected{{
        {left, bottom + 28.0f, 1.0f, 0.0f, 0.0f},
        {left, bottom, 1.0f, 0.0f, 1.0f},
        {left + 20.0f, bottom, 1.0f, 1.0f, 1.0f},
        {left, bottom + 28.0f, 1.0f, 0.0f, 0.0f},
        {left + 20.0f, bottom, 1.0f, 1.0f, 1.0f},
        {left + 20.0f, bottom + 28.0f, 1.0f, 1.0f, 0.0f},
    }};
    for (int vertex = 0; vertex < quadVertexCount; ++vertex) {
        EXPECT_EQ(quad[vertex].x, expected[vertex].x) << vertex;
        EXPECT_EQ(quad[vertex].y, expected[vertex].y) << vertex;
        EXPECT_EQ(quad[vertex].z, expected[vertex].z) << vertex;
        EXPECT_EQ(quad[vertex].u, expected[vertex].u) << vertex;
        EXPECT_EQ(quad[vertex].v, expected[vertex].v) << vertex;
    }
}

// The first message that is not done is the one shown.
TEST(TextLayout, FirstActiveMessage) {
    GlyphCache glyphs = fakeGlyphs();
    std::vector<TextBlock> messages{layout(glyphs, "A"), layout(glyphs, "B"), layout(glyphs, "C")};
    messages[0].state = Done;
    messages[2].state = Holding;
    EXPECT_EQ(firstActiveMessage(messages), &messages[1]);
    messages[1].state = Done;
    messages[2].state = Done;
    EXPECT_EQ(firstActiveMessage(messages), nullptr);
}
