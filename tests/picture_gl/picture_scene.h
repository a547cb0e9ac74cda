// Every drawable object of the presentation, built as start-up builds them,
// in a window of the given size.
#pragma once

#include <memory>

#include "background_quad.h"
#include "frame.h"
#include "gl_test_window.h"
#include "logo_effect.h"
#include "shader_program.h"
#include "text_renderer.h"

class PictureScene {
public:
    PictureScene(int width, int height);
    ~PictureScene();

    bool ready() const { return window.ready(); }
    FrameScene frame(float time) const;
    // Marks every message done, so a frame draws no text.
    void hideText();
    // The background and logo without any layer visible: the reference for what the logo adds.
    void hideLogo();
    PixelGrid drawAndRead(float time) const;

    int width;
    int height;
    GlTestWindow window;
    std::unique_ptr<TextRenderer> textRenderer;
    std::unique_ptr<ShaderProgram> logoProgram;
    std::unique_ptr<ShaderProgram> textProgram;
    std::unique_ptr<ShaderProgram> backgroundProgram;
    std::unique_ptr<LogoEffect> logo;
    std::unique_ptr<BackgroundQuad> backgroundQuad;
};

// Sums of absolute channel differences, per pixel, above a threshold.
struct DifferenceBox {
    int count = 0;
    int left = 1 << 30;
    int right = -1;
    int bottom = 1 << 30;
    int top = -1;
};
DifferenceBox differenceBox(const PixelGrid& a, const PixelGrid& b, int threshold);
