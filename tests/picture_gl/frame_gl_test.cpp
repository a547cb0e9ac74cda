#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "embedded_resource.h"
#include "picture_scene.h"
#include "shell.h"

#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

namespace {

constexpr int windowWidth = 800;
constexpr int windowHeight = 600;

class FrameTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(scene_.ready());
        scene_.hideText();
    }
    PictureScene scene_{windowWidth, windowHeight};
};

// The backdrop texel at (u, v), filtered as GL_LINEAR with mirrored repeat, one channel.
double backdropTexel(const EmbeddedResource& image, double u, double v, int channel) {
    auto mirrored = [](int index, int size) {
        if (index < 0) {
            return -1 - index;
        }
        return index >= size ? 2 * size - 1 - index : index;
    };
    const double s = u * backdropWidth - 0.5;
    const double t = v * backdropHeight - 0.5;
    const int s0 = static_cast<int>(std::floor(s));
    const int t0 = static_cast<int>(std::floor(t));
    const double fs = s - s0;
    const double ft = t - t0;
    auto texel = [&](int column, int row) {
        const std::size_t index =
            (static_cast<std::size_t>(mirrored(row, backdropHeight)) * backdropWidth + mirrored(column, backdropWidth)) * 4;
        return static_cast<double>(image.data[index + channel]);
    };
    return (texel(s0, t0) * (1 - fs) + texel(s0 + 1, t0) * fs) * (1 - ft) +
           (texel(s0, t0 + 1) * (1 - fs) + texel(s0 + 1, t0 + 1) * fs) * ft;
}

// Pixels left and right of the logo, from the bottom to the top row.
std::vector<std::pair<int, int>> backgroundProbes() {
    std::vector<std::pair<int, int>> probes;
    for (int x : {0, 37, 120, 211, 590, 640, 733, 799}) {
        for (int y : {0, 55, 150, 299, 380, 470, 599}) {
            probes.emplace_back(x, y);
        }
    }
    return probes;
}

}  // namespace

// The background is the image's texel times 0.4, opaque, its left half
// stretched over the window and shifted by 0.5 * smoothstep of the sine of
// time / 1.5: offsets 0.25 at time 0, 0.5 at 0.75 pi and 0 at 2.25 pi.
TEST_F(FrameTest, BackgroundIsTheDimmedPanningImage) {
    const EmbeddedResource image = loadResource("RAW", backdropResource);
    ASSERT_EQ(image.size, static_cast<uint32_t>(backdropWidth * backdropHeight * 4));
    const float pi = std::numbers::pi_v<float>;
    // At 1 s the sine gives t = 0.809, which smoothstep turns into 0.905.
    const double t = (std::sin(1.0 / 1.5) + 1.0) / 2.0;
    const double easedAtOneSecond = 0.5 * t * t * (3.0 - 2.0 * t);
    for (auto [time, offset] : {std::pair{0.0f, 0.25}, std::pair{0.75f * pi, 0.5}, std::pair{2.25f * pi, 0.0},
                                std::pair{1.0f, easedAtOneSecond}}) {
        const PixelGrid frame = scene_.drawAndRead(time);
        int worst = 0;
        for (auto [x, y] : backgroundProbes()) {
            const double u = (x + 0.5) / windowWidth * 0.5 + offset;
            const double v = 1.0 - (y + 0.5) / windowHeight;  // the first stored row is at the top
            const Rgba pixel = frame.at(x, y);
            const int drawn[3] = {pixel.red, pixel.green, pixel.blue};
            for (int channel = 0; channel < 3; ++channel) {
                const double expected = backdropTexel(image, u, v, channel) * 0.4;
                worst = std::max(worst, static_cast<int>(std::ceil(std::fabs(drawn[channel] - expected))));
            }
            EXPECT_EQ(pixel.alpha, 255);
        }
        EXPECT_LE(worst, 2) << "time " << time;
    }
}

// At rest the trailing layers add nothing: the frame equals one drawn with
// only layers 0 and 1, and what those add is centred on the window.
TEST_F(FrameTest, LogoAtRestShowsMarkAndOutlineCentred) {
    const PixelGrid atRest = scene_.drawAndRead(0.0f);
    for (int layer = firstTrailingLayer; layer < logoLayerCount; ++layer) {
        for (float& component : scene_.logo->layers[layer].color) {
            component = 0.0f;
        }
    }
    const PixelGrid firstTwoOnly = scene_.drawAndRead(0.0f);
    EXPECT_TRUE(atRest == firstTwoOnly);

    scene_.hideLogo();
    const PixelGrid withoutLogo = scene_.drawAndRead(0.0f);
    const DifferenceBox box = differenceBox(atRest, withoutLogo, 6);
    ASSERT_GT(box.count, 1000);
    EXPECT_NEAR((box.left + box.right + 1) * 0.5, windowWidth * 0.5, 1.0);
    EXPECT_NEAR((box.bottom + box.top + 1) * 0.5, windowHeight * 0.5, 1.0);
    // The outline layer is scaled 1.95 about the centre: its quad's half side is 167 px.
    const double halfSide = windowHeight * (2.0 / 7.0) * 0.5 * 1.95;
    EXPECT_LE((box.right - box.left + 1) * 0.5, halfSide);
    EXPECT_GE((box.right - box.left + 1) * 0.5, halfSide * 0.85);
}

// At offset (1, 0) the last layer trails on the far side: factor -1 puts it
// 314 px left of the centre, the outline runs off the right edge.
TEST_F(FrameTest, TrailSpreadsAgainstTheMotion) {
    scene_.logo->offsetX = 1.0f;
    scene_.logo->offsetY = 0.0f;
    const PixelGrid moved = scene_.drawAndRead(0.0f);
    scene_.hideLogo();
    const PixelGrid withoutLogo = scene_.drawAndRead(0.0f);
    const DifferenceBox box = differenceBox(moved, withoutLogo, 6);
    const double trailCentre = windowWidth * 0.5 - (windowWidth * 0.5 - windowHeight / 7.0);
    const double trailHalfSide = windowHeight / 7.0 * 0.68;
    EXPECT_GT(box.left, trailCentre - trailHalfSide);
    EXPECT_LT(box.left, trailCentre - trailHalfSide * 0.75);
    EXPECT_EQ(box.right, windowWidth - 1);
    // Vertically everything stays centred.
    EXPECT_NEAR((box.bottom + box.top + 1) * 0.5, windowHeight * 0.5, 1.0);
}

// A zero-sized framebuffer (minimised window) is cleared and nothing is drawn, without GL errors.
TEST_F(FrameTest, ZeroSizedWindowOnlyClears) {
    for (auto [width, height] : {std::pair{0, windowHeight}, std::pair{windowWidth, 0}, std::pair{0, 0}}) {
        FrameScene frame = scene_.frame(1.0f);
        frame.windowWidth = width;
        frame.windowHeight = height;
        drawFrame(frame);
        const PixelGrid pixels = PixelGrid::read(windowWidth, windowHeight);
        const Rgba grey = pixels.at(0, 0);
        EXPECT_NEAR(grey.red, 0.3 * 255, 0.6);
        const PixelGrid uniform = [&] {
            glClearColor(0.3f, 0.3f, 0.3f, 1.0f);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            return PixelGrid::read(windowWidth, windowHeight);
        }();
        EXPECT_TRUE(pixels == uniform) << width << " x " << height;
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
}

// A framebuffer resize reaches the shell's handler, which rewrites the
// background quad and the logo; the next frame uses the new size throughout.
TEST_F(FrameTest, ResizeTakesEffectInTheNextFrame) {
    ShellState& state = shell();
    state.window = scene_.window.handle();
    state.windowWidth = windowWidth;
    state.windowHeight = windowHeight;
    state.backgroundQuad = scene_.backgroundQuad.get();
    state.logo = scene_.logo.get();
    glfwSetFramebufferSizeCallback(state.window, onFramebufferResize);
    constexpr int newWidth = 640;
    constexpr int newHeight = 480;
    glfwSetWindowSize(state.window, newWidth, newHeight);
    for (int attempt = 0; attempt < 200 && state.windowWidth != newWidth; ++attempt) {
        glfwWaitEventsTimeout(0.01);
    }
    glfwSetFramebufferSizeCallback(state.window, nullptr);
    state.backgroundQuad = nullptr;
    state.logo = nullptr;
    state.window = nullptr;
    ASSERT_EQ(state.windowWidth, newWidth);
    ASSERT_EQ(state.windowHeight, newHeight);

    QuadVertices vertices{};
    glBindBuffer(GL_ARRAY_BUFFER, scene_.backgroundQuad->vbo);
    glGetBufferSubData(GL_ARRAY_BUFFER, 0, quadBufferBytes, vertices.data());
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    EXPECT_EQ(vertices[0].y, static_cast<float>(newHeight));
    EXPECT_EQ(vertices[2].x, static_cast<float>(newWidth));
    EXPECT_EQ(vertices[2].u, 0.5f);

    scene_.width = newWidth;
    scene_.height = newHeight;
    const PixelGrid resized = scene_.drawAndRead(0.0f);
    scene_.hideLogo();
    const PixelGrid withoutLogo = scene_.drawAndRead(0.0f);
    const DifferenceBox box = differenceBox(resized, withoutLogo, 6);
    ASSERT_GT(box.count, 0);
    EXPECT_NEAR((box.left + box.right + 1) * 0.5, newWidth * 0.5, 1.0);
    EXPECT_NEAR((box.bottom + box.top + 1) * 0.5, newHeight * 0.5, 1.0);
    // The background reaches the new top-right corner.
    const Rgba corner = resized.at(newWidth - 1, newHeight - 1);
    EXPECT_NE(corner.red + corner.green + corner.blue, 3 * 77);
}
