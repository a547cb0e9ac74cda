#include "picture_scene.h"

#include <cstdlib>

#include "messages.h"

PictureScene::PictureScene(int width, int height) : width(width), height(height), window(width, height) {
    if (!window.ready()) {
        return;
    }
    textRenderer = std::make_unique<TextRenderer>(static_cast<float>(width * 0.062), 0.0125f,
                                                  static_cast<float>(0.12 / 7.0), 2.0f);
    for (std::string_view message : presentationMessages) {
        textRenderer->addMessage(message);
    }
    logoProgram = std::make_unique<ShaderProgram>(129, 131);
    textProgram = std::make_unique<ShaderProgram>(129, 131);
    backgroundProgram = std::make_unique<ShaderProgram>(132, 130);
    logo = std::make_unique<LogoEffect>(static_cast<float>(width), static_cast<float>(height), 0.5f,
                                        static_cast<float>(2.0 / 7.0));
    backgroundQuad = std::make_unique<BackgroundQuad>(width, height);
}

PictureScene::~PictureScene() {
    if (!window.ready()) {
        return;
    }
    textRenderer->release();
    logoProgram->release();
    backgroundProgram->release();
    textProgram->release();
    backgroundQuad->release();
    logo->release();
}

FrameScene PictureScene::frame(float time) const {
    return {window.handle(),    width,          height,      time,
            logoProgram.get(),  textProgram.get(), backgroundProgram.get(), backgroundQuad.get(),
            logo.get(),         textRenderer.get()};
}

void PictureScene::hideText() {
    for (TextBlock& message : textRenderer->messages) {
        message.state = Done;
    }
}

void PictureScene::hideLogo() {
    for (LogoLayer& layer : logo->layers) {
        layer.color[3] = 0.0f;
    }
}

PixelGrid PictureScene::drawAndRead(float time) const {
    drawFrame(frame(time));
    return PixelGrid::read(width, height);
}

DifferenceBox differenceBox(const PixelGrid& a, const PixelGrid& b, int threshold) {
    DifferenceBox box;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const Rgba p = a.at(x, y);
            const Rgba q = b.at(x, y);
            const int difference = std::abs(p.red - q.red) + std::abs(p.green - q.green) + std::abs(p.blue - q.blue);
            if (difference > threshold) {
                ++box.count;
                box.left = std::min(box.left, x);
                box.right = std::max(box.right, x);
                box.bottom = std::min(box.bottom, y);
                box.top = std::max(box.top, y);
            }
        }
    }
    return box;
}
