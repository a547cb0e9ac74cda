#include "text_block.h"

TextBlock::TextBlock(GlyphCache& glyphs, std::string_view text, float fadeInTime, float fadeOutTime, float holdTime)
    : fadeInTime(fadeInTime), fadeOutTime(fadeOutTime), holdTime(holdTime) {
    TextLine working{0, {}};
    for (char byte : text) {
        if (byte == lineFeed) {
            lines.push_back(std::move(working));
            working = TextLine{0, {}};
            continue;
        }
        const auto character = static_cast<int8_t>(byte);
        working.width += pixelAdvance(lookupGlyph(glyphs, character));
        working.glyphs.push_back(TextGlyph{character, 0.0f, 0.0f, byte != space});
    }
    lines.push_back(std::move(working));
}

float firstBaseline(std::size_t lineCount, float lineHeight, float centreY) {
    return static_cast<float>(lineCount) * lineHeight * 0.5f - lineHeight + centreY;
}

QuadVertices glyphQuad(const Glyph& glyph, float penX, float baseline, float scale) {
    const float left = penX + static_cast<float>(glyph.left) * scale;
    const float bottom = baseline - static_cast<float>(glyph.rows - glyph.top) * scale;
    const float width = static_cast<float>(glyph.width) * scale;
    const float height = static_cast<float>(glyph.rows) * scale;
    return rectangleVertices(left, bottom, left + width, bottom + height, glyphDepth, 1.0f);
}

void TextBlock::draw(GlyphCache& glyphs, const ShaderProgram& program, GLuint vertexArray, GLuint buffer, float scale,
                     float lineHeight, float red, float green, float blue, float centreX, float centreY) const {
    glActiveTexture(GL_TEXTURE0);
    glBindVertexArray(vertexArray);
    const float topBaseline = firstBaseline(lines.size(), lineHeight, centreY);
    for (std::size_t lineIndex = 0; lineIndex < lines.size(); ++lineIndex) {
        const TextLine& line = lines[lineIndex];
        const float baseline = topBaseline - static_cast<float>(lineIndex) * lineHeight;
        // Centred on its unscaled width.
        float pen = centreX - static_cast<float>(line.width) * 0.5f;
        for (const TextGlyph& cell : line.glyphs) {
            const Glyph& glyph = lookupGlyph(glyphs, cell.character);
            const float color[4] = {red, green, blue, cell.alpha};
            program.setVector4("textColor", color);
            glBindTexture(GL_TEXTURE_2D, glyph.texture);
            writeQuadVertices(buffer, glyphQuad(glyph, pen, baseline, scale));
            glDrawArrays(GL_TRIANGLES, 0, quadVertexCount);
            pen += static_cast<float>(pixelAdvance(glyph)) * scale;
        }
    }
    glBindVertexArray(0);
    glBindTexture(GL_TEXTURE_2D, 0);
}

TextBlock* firstActiveMessage(std::vector<TextBlock>& messages) {
    for (TextBlock& message : messages) {
        if (message.state != Done) {
            return &message;
        }
    }
    return nullptr;
}
