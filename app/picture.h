// The presentation's picture for a window of a given size: the drawable
// objects exactly as start-up builds them, the advance of its two clocks in
// one frame, and the scene a frame draws. The shell drives it from the
// window's clock; the video capture tool drives it with a fixed step.
#pragma once

#include "frame.h"

struct GLFWwindow;
class TextRenderer;
class ShaderProgram;
class LogoEffect;
class BackgroundQuad;

struct PresentationPicture {
    TextRenderer* textRenderer = nullptr;
    ShaderProgram* logoProgram = nullptr;
    ShaderProgram* textProgram = nullptr;
    ShaderProgram* backgroundProgram = nullptr;
    LogoEffect* logo = nullptr;
    BackgroundQuad* backgroundQuad = nullptr;
};

// The GL state set once at start-up: depth test, blending, the viewport.
void setPictureGlState(int width, int height);

// The text renderer with the seven messages, the three programs, the logo and
// the background quad for a window of width x height; needs a current context.
void buildPicture(PresentationPicture& picture, int width, int height);

// Releases every GL object (the context must still be current) and empties
// the picture.
void releasePicture(PresentationPicture& picture);

// One frame's advance of both clocks: the message sequence, then the logo path.
void advancePicture(PresentationPicture& picture, float deltaTime);

// What a frame of width x height at `time` seconds reads.
FrameScene pictureScene(const PresentationPicture& picture, GLFWwindow* window, int width, int height, float time);
