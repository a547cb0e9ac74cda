#include "picture.h"

#include <cstdint>
#include <string_view>

#include "background_quad.h"
#include "gl_loader.h"
#include "logo_effect.h"
#include "messages.h"
#include "shader_program.h"
#include "text_renderer.h"
#include "timeline.h"

namespace {

// The text is sized from the screen width at start-up and never resized.
constexpr double textSizePerWindowWidth = 0.062;
constexpr float glyphFadeOutSeconds = 0.0125f;
constexpr float glyphFadeInSeconds = static_cast<float>(0.12 / 7.0);
constexpr float messageHoldSeconds = 2.0f;
constexpr float logoDepth = 0.5f;
constexpr float logoSideFraction = static_cast<float>(2.0 / 7.0);  // of the window height
// The builtin, not std::bit_cast: the browser build's C++ library predates it.
static_assert(__builtin_bit_cast(uint32_t, glyphFadeInSeconds) == 0x3C8C6F2Du);
static_assert(__builtin_bit_cast(uint32_t, logoSideFraction) == 0x3E924925u);

constexpr int layerVertexShader = 129;
constexpr int maskFragmentShader = 130;
constexpr int textFragmentShader = 131;
constexpr int scrollingVertexShader = 132;

}  // namespace

void setPictureGlState(int width, int height) {
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glViewport(0, 0, width, height);
}

void buildPicture(PresentationPicture& picture, int width, int height) {
    const auto pixelSize = static_cast<float>(width * textSizePerWindowWidth);
    picture.textRenderer = new TextRenderer(pixelSize, glyphFadeOutSeconds, glyphFadeInSeconds, messageHoldSeconds);
    for (std::string_view message : presentationMessages) {
        picture.textRenderer->addMessage(message);
    }
    picture.logoProgram = new ShaderProgram(layerVertexShader, textFragmentShader);
    picture.textProgram = new ShaderProgram(layerVertexShader, textFragmentShader);
    picture.backgroundProgram = new ShaderProgram(scrollingVertexShader, maskFragmentShader);
    picture.logo =
        new LogoEffect(static_cast<float>(width), static_cast<float>(height), logoDepth, logoSideFraction);
    picture.backgroundQuad = new BackgroundQuad(width, height);
}

void releasePicture(PresentationPicture& picture) {
    if (picture.textRenderer != nullptr) {
        picture.textRenderer->release();
    }
    for (ShaderProgram* program : {picture.logoProgram, picture.backgroundProgram, picture.textProgram}) {
        if (program != nullptr) {
            program->release();
        }
    }
    if (picture.backgroundQuad != nullptr) {
        picture.backgroundQuad->release();
    }
    if (picture.logo != nullptr) {
        picture.logo->release();
    }
    delete picture.textRenderer;
    delete picture.logoProgram;
    delete picture.backgroundProgram;
    delete picture.textProgram;
    delete picture.backgroundQuad;
    delete picture.logo;
    picture = PresentationPicture{};
}

void advancePicture(PresentationPicture& picture, float deltaTime) {
    updateTimeline(picture.textRenderer->messages, deltaTime);
    stepLogoPath(*picture.logo, deltaTime);
}

FrameScene pictureScene(const PresentationPicture& picture, GLFWwindow* window, int width, int height, float time) {
    return {window,
            width,
            height,
            time,
            picture.logoProgram,
            picture.textProgram,
            picture.backgroundProgram,
            picture.backgroundQuad,
            picture.logo,
            picture.textRenderer};
}
