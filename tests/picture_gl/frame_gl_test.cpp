#include <gtest/gtest.h>

#include <numbers>
#include <optional>

#include "background_quad.h"
#include "embedded_resource.h"
#include "frame.h"
#include "gl_test_harness.h"
#include "logo_effect.h"
#include "shader_program.h"
#include "shell.h"
#include "text_renderer.h"

#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

namespace {

constexpr int windowWidth = 800;
constexpr int windowHeight = 600;

// The bounding box of the pixels whose channels differ by more than 6 in sum.
struct DifferenceBox {
    int count = 0;
    int left = 1 << 30;
    int right = -1;
    int bottom = 1 << 30;
    int top = -1;
    double centreX() const { return (left + right + 1) * 0.5; }
    double centreY() const { return (bottom + top + 1) * 0.5; }
};

// Every drawable object of the presentation, built as start-up builds them; no
// message is added, so the text pass draws nothing.
class FrameTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(window_.ready());
        text_.emplace(windowWidth * 0.062f, 0.0125f, static_cast<float>(0.12 / 7.0), 2.0f);
        layerProgram_.emplace(129, 131);
        backgroundProgram_.emplace(132, 130);
        logo_.emplace(static_cast<float>(windowWidth), static_cast<float>(windowHeight), 0.5f,
                      static_cast<float>(2.0 / 7.0));
        backgroundQuad_.emplace(windowWidth, windowHeight);
    }
    void TearDown() override {
        if (backgroundQuad_) {
            text_->release();
            layerProgram_->release();
            backgroundProgram_->release();
            logo_->release();
            backgroundQuad_->release();
        }
    }

    PixelGrid drawAndRead(float time, int width = windowWidth, int height = windowHeight) {
        drawFrame({window_.handle(), width, height, time, &*layerProgram_, &*layerProgram_, &*backgroundProgram_,
                   &*backgroundQuad_, &*logo_, &*text_});
        return PixelGrid::read(width, height);
    }

    // What the logo adds to `drawn` (at time 0): compared with a frame whose layers are all transparent.
    DifferenceBox logoBox(const PixelGrid& drawn) {
        for (LogoLayer& layer : logo_->layers) {
            layer.color[3] = 0.0f;
        }
        const PixelGrid without = drawAndRead(0.0f, drawn.width, drawn.height);
        DifferenceBox box;
        for (int y = 0; y < drawn.height; ++y) {
            for (int x = 0; x < drawn.width; ++x) {
                const Rgba p = drawn.at(x, y);
                const Rgba q = without.at(x, y);
                if (std::abs(p.red - q.red) + std::abs(p.green - q.green) + std::abs(p.blue - q.blue) > 6) {
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

    GlTestWindow window_{windowWidth, windowHeight};
    std::optional<TextRenderer> text_;
    std::optional<ShaderProgram> layerProgram_;
    std::optional<ShaderProgram> backgroundProgram_;
    std::optional<LogoEffect> logo_;
    std::optional<BackgroundQuad> backgroundQuad_;
};

}  // namespace

// The background is the backdrop's left half times 0.4, opaque, panned by 0.5 smoothstep((sin(time / 1.5) + 1) / 2).
TEST_F(FrameTest, BackgroundIsTheDimmedPanningImage) {
    const EmbeddedResource image = loadResource("RAW", backdropResource);
    ASSERT_EQ(image.size, static_cast<uint32_t>(backdropWidth * backdropHeight * 4));
    auto mirrored = [](int index, int size) {
        return index < 0 ? -1 - index : index >= size ? 2 * size - 1 - index : index;  // GL_MIRRORED_REPEAT
    };
    const double t = (std::sin(1.0 / 1.5) + 1.0) / 2.0;
    const float pi = std::numbers::pi_v<float>;
    const double atOneSecond = 0.5 * t * t * (3 - 2 * t);
    for (auto [time, offset] : {std::pair{0.0f, 0.25}, {0.75f * pi, 0.5}, {2.25f * pi, 0.0}, {1.0f, atOneSecond}}) {
        const PixelGrid frame = drawAndRead(time);
        int worst = 0;
        for (int x : {0, 37, 120, 211, 590, 640, 733, 799}) {  // left and right of the logo
            for (int y : {0, 55, 150, 299, 380, 470, 599}) {
                const double u = (x + 0.5) / windowWidth * 0.5 + offset;
                const double v = 1.0 - (y + 0.5) / windowHeight;  // the first stored row is at the top
                const Rgba pixel = frame.at(x, y);
                const int drawn[3] = {pixel.red, pixel.green, pixel.blue};
                for (int channel = 0; channel < 3; ++channel) {
                    const double texel = linearFilter(u * backdropWidth, v * backdropHeight, [&](int column, int row) {
                        const std::size_t index =
                            (static_cast<std::size_t>(mirrored(row, backdropHeight)) * backdropWidth +
                             mirrored(column, backdropWidth)) * 4;
                        return static_cast<double>(image.data[index + channel]);
                    });
                    worst = std::max(worst, static_cast<int>(std::ceil(std::fabs(drawn[channel] - texel * 0.4))));
                }
                EXPECT_EQ(pixel.alpha, 255);
            }
        }
        EXPECT_LE(worst, 2) << "time " << time;
    }
}

// At rest only layers 0 and 1 show (the trailing ones add nothing), centred, the outline scaled 1.95.
TEST_F(FrameTest, LogoAtRestShowsMarkAndOutlineCentred) {
    const PixelGrid atRest = drawAndRead(0.0f);
    for (int layer = firstTrailingLayer; layer < logoLayerCount; ++layer) {
        std::fill(std::begin(logo_->layers[layer].color), std::end(logo_->layers[layer].color), 0.0f);
    }
    EXPECT_TRUE(atRest == drawAndRead(0.0f));
    const DifferenceBox box = logoBox(atRest);
    ASSERT_GT(box.count, 1000);
    EXPECT_NEAR(box.centreX(), windowWidth * 0.5, 1.0);
    EXPECT_NEAR(box.centreY(), windowHeight * 0.5, 1.0);
    const double halfSide = windowHeight * (2.0 / 7.0) * 0.5 * 1.95;
    EXPECT_LE((box.right - box.left + 1) * 0.5, halfSide);
    EXPECT_GE((box.right - box.left + 1) * 0.5, halfSide * 0.85);
}

// At offset (1, 0) the last layer (factor -1, scale 0.68) trails 314 px left of centre; the outline leaves right.
TEST_F(FrameTest, TrailSpreadsAgainstTheMotion) {
    logo_->offsetX = 1.0f;
    const DifferenceBox box = logoBox(drawAndRead(0.0f));
    const double trailCentre = windowHeight / 7.0;
    const double trailHalfSide = windowHeight / 7.0 * 0.68;
    EXPECT_GT(box.left, trailCentre - trailHalfSide);
    EXPECT_LT(box.left, trailCentre - trailHalfSide * 0.75);
    EXPECT_EQ(box.right, windowWidth - 1);
    EXPECT_NEAR(box.centreY(), windowHeight * 0.5, 1.0);
}

// A zero-sized framebuffer (minimised window) is only cleared to grey, without GL errors.
TEST_F(FrameTest, ZeroSizedWindowOnlyClears) {
    for (auto [width, height] : {std::pair{0, windowHeight}, {windowWidth, 0}, {0, 0}}) {
        drawAndRead(1.0f);
        drawAndRead(1.0f, width, height);
        const PixelGrid pixels = PixelGrid::read(windowWidth, windowHeight);
        EXPECT_NEAR(pixels.at(0, 0).red, clearGrey * 255, 0.6);
        int different = 0;
        for (int y = 0; y < windowHeight; ++y) {
            for (int x = 0; x < windowWidth; ++x) {
                different += !(pixels.at(x, y) == pixels.at(0, 0));
            }
        }
        EXPECT_EQ(different, 0) << width << " x " << height;
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
}

// A framebuffer resize reaches the shell's handler, which rewrites background quad and logo for the next frame.
TEST_F(FrameTest, ResizeTakesEffectInTheNextFrame) {
    ShellState& state = shell();
    state.window = window_.handle();
    state.windowWidth = windowWidth;
    state.windowHeight = windowHeight;
    state.backgroundQuad = &*backgroundQuad_;
    state.logo = &*logo_;
    glfwSetFramebufferSizeCallback(state.window, onFramebufferResize);
    constexpr int newWidth = 640;
    constexpr int newHeight = 480;
    glfwSetWindowSize(state.window, newWidth, newHeight);
    for (int attempt = 0; attempt < 200 && state.windowWidth != newWidth; ++attempt) {
        glfwWaitEventsTimeout(0.01);
    }
    glfwSetFramebufferSizeCallback(state.window, nullptr);
    const std::pair handled{state.windowWidth, state.windowHeight};
    state = ShellState{};  // the shell keeps nothing of this test
    ASSERT_EQ(handled, std::pair(newWidth, newHeight));

    QuadVertices vertices{};
    glBindBuffer(GL_ARRAY_BUFFER, backgroundQuad_->vbo);
    glGetBufferSubData(GL_ARRAY_BUFFER, 0, quadBufferBytes, vertices.data());
    EXPECT_EQ(vertices[0].y, static_cast<float>(newHeight));
    EXPECT_EQ(vertices[2].x, static_cast<float>(newWidth));
    EXPECT_EQ(vertices[2].u, 0.5f);

    const PixelGrid resized = drawAndRead(0.0f, newWidth, newHeight);
    const Rgba corner = resized.at(newWidth - 1, newHeight - 1);
    EXPECT_NE(corner.red + corner.green + corner.blue, 3 * 77) << "the background reaches the new top right corner";
    const DifferenceBox box = logoBox(resized);
    ASSERT_GT(box.count, 0);
    EXPECT_NEAR(box.centreX(), newWidth * 0.5, 1.0);
    EXPECT_NEAR(box.centreY(), newHeight * 0.5, 1.0);
}
