// The layered logo: one square in the middle of the window drawn nine times
// as tinted layers, each with its own scale about the centre and its own share
// of the path offset, so the stack spreads into a parallax trail as the logo
// travels and collapses onto itself at rest.
#pragma once

#include <cstdint>

#include "gl_loader.h"
#include "logo_path.h"
#include "shader_program.h"

inline constexpr int logoLayerCount = 9;
inline constexpr int logoTextureCount = 6;
inline constexpr int firstLogoResource = 120;  // texture slot i holds RAW resource 120 + i
inline constexpr int logoImageSide = 128;
// Slot 3's image stores three bytes per pixel; the others four.
inline constexpr int logoBytesPerPixel[logoTextureCount] = {4, 4, 4, 3, 4, 4};
inline constexpr float layerBaseScale = 0.65f;
inline constexpr float layerDepthStep = 0.01f;
// Layers from this index on fade in with the distance from the centre.
inline constexpr int firstTrailingLayer = 2;

struct LogoLayer {
    float color[4];
    float scaleOffset;  // the layer's scale is scaleOffset + 0.65
    float displacementFactor;
    int32_t textureIndex;
};

// The layers in drawing order: the white mark and its outline first, then
// the dark-red trail, partly moving against the path.
inline constexpr LogoLayer logoLayerTable[logoLayerCount] = {
    {{1.0f, 1.0f, 1.0f, 0.5f}, 0.16f, 1.0f, 0},
    {{1.0f, 1.0f, 1.0f, 0.8f}, 1.3f, 1.0f, 1},
    {{0.3f, 0.0f, 0.0f, 0.5f}, 0.2f, 0.5f, 2},
    {{0.3f, 0.0f, 0.0f, 0.5f}, 0.05f, 0.2f, 2},
    {{0.3f, 0.0f, 0.0f, 0.5f}, 0.04f, 0.0f, 0},
    {{0.5f, 0.0f, 0.0f, 0.5f}, 0.07f, -0.25f, 5},
    {{0.6f, 0.0f, 0.0f, 0.5f}, 0.02f, -0.4f, 5},
    {{0.4f, 0.0f, 0.0f, 0.5f}, 0.04f, -0.6f, 5},
    {{0.2f, 0.0f, 0.0f, 0.5f}, 0.03f, -1.0f, 5},
};

// The uniforms one layer is drawn with.
struct LayerUniforms {
    float displacement[2];
    float textColor[4];
    float layer;
    float scale;
};

// Displacement, colour, depth offset and scale of layer `index` for a path
// offset, with the window centre (centreX, centreY) and the square's half side.
LayerUniforms layerUniforms(const LogoLayer& layer, int index, float offsetX, float offsetY, float centreX,
                            float centreY, float halfSide);

// The path state (keys, offset, easing) is inherited: the timeline advances it.
class LogoEffect : public LogoPath {
public:
    // Needs a current context: builds the buffer, loads the six textures, fills
    // the layer table, writes the quad and resets the path.
    LogoEffect(float width, float height, float depth, float sizeFactor);

    // Rewrites the six vertices from width, height, depth and sizeFactor.
    void updateQuad();
    void setLayers();
    void resetPath();

    // Draws the nine layers with `program`, which must be current and have its projection.
    void draw(const ShaderProgram& program) const;

    // Deletes the vertex array, the buffer and the six textures.
    void release();

    float halfSide() const { return height * sizeFactor * 0.5f; }

    GLuint vao = 0;
    GLuint vbo = 0;
    GLuint textures[logoTextureCount] = {};
    LogoLayer layers[logoLayerCount] = {};
    float width = 0.0f;
    float height = 0.0f;
    float depth = 0.0f;
    float sizeFactor = 0.0f;
};

// The logo pass of a frame: makes the program current, sets its projection and draws.
void drawLogoPass(const ShaderProgram& program, const LogoEffect& logo, const float* projection);
