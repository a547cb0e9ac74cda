// The glyph cache, the messages in presentation order and the one quad
// buffer through which every character is drawn.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "glyph_cache.h"
#include "gl_loader.h"
#include "shader_program.h"
#include "text_block.h"

inline constexpr const char* fontResourceType = "BINARY";
inline constexpr int fontResource = 128;
inline constexpr float lineSpacing = 4.0f;  // pixels between the font size and the line height

class TextRenderer {
public:
    // Needs a current context: rasterises the embedded font at `pixelSize`
    // and builds the quad buffer.
    TextRenderer(float pixelSize, float fadeOutTime, float fadeInTime, float holdTime);

    // Lays `text` out as a new message (fading in) at the end of `messages`.
    void addMessage(std::string_view text);

    // Deletes the glyph textures, the messages, the vertex array and the buffer.
    void release();

    GlyphCache glyphs;
    std::vector<TextBlock> messages;
    GLuint vao = 0;
    GLuint vbo = 0;
    uint32_t lineHeight = 0;
    float fadeOutTime = 0.0f;
    float fadeInTime = 0.0f;
    float holdTime = 0.0f;
};

// The text pass of a frame: the first message that is not done, centred on
// the window, through `program` with the frame's projection.
void drawTextPass(const ShaderProgram& program, TextRenderer& renderer, const float* projection, float windowWidth,
                  float windowHeight);
