// One frame of the presentation: clear, the orthographic projection of the
// window, then the background, logo and text passes, then present.
#pragma once

#include <array>

struct GLFWwindow;
class ShaderProgram;
class BackgroundQuad;
class LogoEffect;
class TextRenderer;

// Everything a frame reads; the shell fills it from its state.
struct FrameScene {
    GLFWwindow* window;
    int windowWidth;
    int windowHeight;
    float currentTime;  // seconds since the clock started
    ShaderProgram* logoProgram;
    ShaderProgram* textProgram;
    ShaderProgram* backgroundProgram;
    BackgroundQuad* backgroundQuad;
    LogoEffect* logo;
    TextRenderer* textRenderer;
};

inline constexpr float clearGrey = 0.3f;
inline constexpr float backgroundDimming = 0.4f;

using ProjectionMatrix = std::array<float, 16>;

// Window pixels (origin lower left, y up, z from -1 to 1) to clip space,
// column-major.
ProjectionMatrix orthographicProjection(float width, float height);

// Clears and, unless the window has no area, draws the three passes; does not present.
void drawFrame(const FrameScene& scene);

// drawFrame, then swaps the window's buffers.
void renderFrame(const FrameScene& scene);
