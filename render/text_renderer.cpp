#include "text_renderer.h"

#include "quad_geometry.h"

TextRenderer::TextRenderer(float pixelSize, float fadeOutTime, float fadeInTime, float holdTime)
    : lineHeight(static_cast<uint32_t>(pixelSize + lineSpacing)),
      fadeOutTime(fadeOutTime),
      fadeInTime(fadeInTime),
      holdTime(holdTime) {
    rasteriseFont(loadResource(fontResourceType, fontResource), static_cast<uint32_t>(pixelSize), glyphs);
    createQuadBuffer(vao, vbo);
}

void TextRenderer::addMessage(std::string_view text) {
    messages.emplace_back(glyphs, text, fadeInTime, fadeOutTime, holdTime);
}

void TextRenderer::release() {
    releaseGlyphs(glyphs);
    messages.clear();
    glDeleteVertexArrays(1, &vao);
    glDeleteBuffers(1, &vbo);
    vao = 0;
    vbo = 0;
}

void drawTextPass(const ShaderProgram& program, TextRenderer& renderer, const float* projection, float windowWidth,
                  float windowHeight) {
    glUseProgram(program.ID);
    program.setMatrix4("projection", projection);
    program.setFloat("scale", 1.0f);
    TextBlock* message = firstActiveMessage(renderer.messages);
    if (message == nullptr) {
        return;
    }
    constexpr float white = 1.0f;
    message->draw(renderer.glyphs, program, renderer.vao, renderer.vbo, 1.0f, static_cast<float>(renderer.lineHeight),
                  white, white, white, windowWidth * 0.5f, windowHeight * 0.5f);
}
