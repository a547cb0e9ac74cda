#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "text_block.h"

namespace {

// Space advances 5 pixels, every other printable character 12 plus a 26.6 fraction.
GlyphCache fakeGlyphs() {
    GlyphCache glyphs;
    for (int code = 33; code < 127; ++code) {
        glyphs[static_cast<int8_t>(code)] = Glyph{0, 10, 14, 1, 12, (12u << 6) | 63u};
    }
    glyphs[' '] = Glyph{0, 0, 0, 0, 0, 5u << 6};
    return glyphs;
}

}  // namespace

// Line feeds split lines (k of them give k + 1) and make no cell; widths add whole-pixel advances.
TEST(TextLayout, LinesCellsAndWidths) {
    struct Case {
        const char* text;
        std::vector<uint32_t> widths;
        std::vector<std::size_t> cells;
    };
    const Case cases[] = {
        {"AB C\nDE", {41, 24}, {4, 2}},       // spaces add width, each glyph's fraction is dropped
        {"", {0}, {0}},                       // empty text is one empty line
        {"A\n", {12, 0}, {1, 0}},             // a trailing line feed keeps its empty line
        {"A\n\nB", {12, 0, 12}, {1, 0, 1}},   // so does a doubled one
        {"A\n \nB", {12, 5, 12}, {1, 1, 1}},  // a single-space line has one cell
        {"A\xC3\xA9\r\t", {12}, {5}},         // uncached bytes make cells without width
    };
    for (const Case& c : cases) {
        GlyphCache glyphs = fakeGlyphs();
        const TextBlock block(glyphs, c.text, 0.1f, 0.2f, 3.0f);
        ASSERT_EQ(block.lines.size(), c.widths.size()) << c.text;
        for (std::size_t line = 0; line < block.lines.size(); ++line) {
            EXPECT_EQ(block.lines[line].width, c.widths[line]) << c.text << " line " << line;
            EXPECT_EQ(block.lines[line].glyphs.size(), c.cells[line]) << c.text << " line " << line;
        }
    }
}

// Cells start transparent; only spaces stay still; a byte missing from the cache is added as an empty glyph.
TEST(TextLayout, CellsAndUncachedBytes) {
    GlyphCache glyphs = fakeGlyphs();
    const TextBlock block(glyphs, "A C\xC3\r", 0.1f, 0.2f, 3.0f);
    const bool animated[] = {true, false, true, true, true};  // a carriage return is not a space
    for (std::size_t cell = 0; cell < 5; ++cell) {
        const TextGlyph& glyph = block.lines[0].glyphs[cell];
        EXPECT_EQ(glyph.animated, animated[cell]) << cell;
        EXPECT_EQ(std::tie(glyph.alpha, glyph.timer), std::tuple(0.0f, 0.0f)) << cell;
    }
    EXPECT_EQ(block.lines[0].glyphs[2].character, 'C');
    ASSERT_EQ(glyphs.count(static_cast<int8_t>(0xC3)), 1u);
    const Glyph& added = glyphs.at(static_cast<int8_t>(0xC3));
    EXPECT_EQ(std::tie(added.texture, added.advance, added.width), std::tuple(0u, 0u, 0));
}

// n lines of height L are centred on y: the first baseline is y + (n / 2 - 1) L (four lines: 353 around 300).
TEST(TextLayout, FirstBaseline) {
    for (auto [lineCount, baseline] : {std::pair{4, 353.0f}, {5, 300.0f + 1.5f * 53.0f}, {1, 300.0f - 0.5f * 53.0f}}) {
        EXPECT_EQ(firstBaseline(lineCount, 53.0f, 300.0f), baseline) << lineCount << " lines";
    }
}

// A glyph quad starts at pen + left and sinks by rows - top, scaled; v = 0 is the bitmap's top row; depth 1.
TEST(TextLayout, GlyphQuad) {
    const QuadVertices quad = glyphQuad(Glyph{7, 10, 14, 2, 11, 12u << 6}, 362.5f, 300.0f, 2.0f);
    const QuadVertex& top = quad[0];     // top left
    const QuadVertex& bottom = quad[2];  // bottom right
    EXPECT_EQ(std::tie(top.x, top.y, top.z, top.u, top.v), std::tuple(366.5f, 322.0f, 1.0f, 0.0f, 0.0f));
    EXPECT_EQ(std::tie(bottom.x, bottom.y, bottom.z, bottom.u, bottom.v), std::tuple(386.5f, 294.0f, 1.0f, 1.0f, 1.0f));
}
