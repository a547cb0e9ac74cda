// One message laid out into lines and character cells, with the per-character
// opacity and timers the timeline animates, and its drawing: one textured
// quad per character, centred on a point.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "glyph_cache.h"
#include "quad_geometry.h"
#include "shader_program.h"

enum TextBlockState : int32_t { FadingIn = 0, Holding = 1, FadingOut = 2, Done = 3 };

inline constexpr char lineFeed = '\n';
inline constexpr char space = ' ';
inline constexpr float glyphDepth = 1.0f;  // text lies in front of everything

struct TextGlyph {
    int8_t character;
    float alpha;
    float timer;    // the glyph's fade clock; the first glyph of the first line also times the hold
    bool animated;  // false for a space, which never fades
};

struct TextLine {
    uint32_t width;  // sum of the pixel advances at scale 1, spaces included
    std::vector<TextGlyph> glyphs;
};

class TextBlock {
public:
    // Splits `text` at line feeds into lines of cells (k line feeds give
    // k + 1 lines); characters missing from `glyphs` are added as empty glyphs.
    TextBlock(GlyphCache& glyphs, std::string_view text, float fadeInTime, float fadeOutTime, float holdTime);

    // Draws every cell as a quad of colour (red, green, blue, cell alpha)
    // through `program`, which must be current with its projection and scale set.
    void draw(GlyphCache& glyphs, const ShaderProgram& program, GLuint vertexArray, GLuint buffer, float scale,
              float lineHeight, float red, float green, float blue, float centreX, float centreY) const;

    std::vector<TextLine> lines;
    float fadeInTime;
    float fadeOutTime;
    float holdTime;
    TextBlockState state = FadingIn;
};

// Baseline of the first of `lineCount` lines centred vertically on centreY.
float firstBaseline(std::size_t lineCount, float lineHeight, float centreY);

// The quad of one glyph with the pen at (penX, baseline).
QuadVertices glyphQuad(const Glyph& glyph, float penX, float baseline, float scale);

// The first message that is not Done, or null when all are.
TextBlock* firstActiveMessage(std::vector<TextBlock>& messages);
