#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "frame.h"
#include "gl_test_harness.h"
#include "messages.h"
#include "shader_program.h"
#include "text_renderer.h"

namespace {

constexpr int windowWidth = 800;
constexpr int windowHeight = 600;
constexpr int lineHeight = 53;  // the truncated font size 800 * 0.062, plus 4

class TextTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(window_.ready());
        renderer_.emplace(windowWidth * 0.062f, 0.0125f, 0.02f, 2.0f);
        program_.emplace(129, 131);
    }
    void TearDown() override {
        if (program_) {
            renderer_->release();
            program_->release();
        }
    }

    // Clears to grey and draws only the text pass with `message` at `alpha`.
    PixelGrid drawMessage(const std::string& message, float alpha) {
        renderer_->messages.clear();
        renderer_->addMessage(message);
        for (TextLine& line : renderer_->messages.front().lines) {
            for (TextGlyph& glyph : line.glyphs) {
                glyph.alpha = alpha;
            }
        }
        glClearColor(clearGrey, clearGrey, clearGrey, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        const ProjectionMatrix projection = orthographicProjection(windowWidth, windowHeight);
        drawTextPass(*program_, *renderer_, projection.data(), windowWidth, windowHeight);
        return PixelGrid::read(windowWidth, windowHeight);
    }

    GlTestWindow window_{windowWidth, windowHeight};
    std::optional<TextRenderer> renderer_;
    std::optional<ShaderProgram> program_;
};

}  // namespace

// Codes 0 to 127 rasterise silently; the line height is the truncated pixel size plus 4; every line fits the screen.
TEST_F(TextTest, GlyphCacheLineHeightAndFit) {
    for (auto [screenWidth, height] : {std::pair{800, 53u}, {1280, 83u}, {1920, 123u}}) {
        testing::internal::CaptureStdout();
        TextRenderer sized(screenWidth * 0.062f, 0.0125f, 0.02f, 2.0f);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(sized.glyphs.size(), 128u);
        EXPECT_NE(sized.glyphs.at('H').texture, 0u);
        EXPECT_EQ(sized.lineHeight, height);
        for (std::string_view message : presentationMessages) {
            sized.addMessage(message);
        }
        for (const TextBlock& block : sized.messages) {
            for (const TextLine& line : block.lines) {
                EXPECT_LE(line.width, static_cast<uint32_t>(screenWidth * 0.95)) << screenWidth;
            }
        }
        sized.release();
    }
}

// A glyph is drawn as its coverage texture times the cell's alpha over what is there: clear + (1 - clear) a c.
TEST_F(TextTest, CoverageScaledByAlpha) {
    const Glyph glyph = renderer_->glyphs.at('R');
    std::vector<uint8_t> bitmap(static_cast<std::size_t>(glyph.width) * glyph.rows);
    glBindTexture(GL_TEXTURE_2D, glyph.texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RED, GL_UNSIGNED_BYTE, bitmap.data());
    auto texel = [&](int column, int row) {  // GL_CLAMP_TO_EDGE
        const int index = std::clamp(row, 0, glyph.rows - 1) * glyph.width + std::clamp(column, 0, glyph.width - 1);
        return bitmap[index] / 255.0;
    };
    const double left = windowWidth * 0.5 - static_cast<double>(pixelAdvance(glyph)) * 0.5 + glyph.left;
    const double bottom = windowHeight * 0.5 - lineHeight * 0.5 - (glyph.rows - glyph.top);  // one line
    const double background = std::round(clearGrey * 255.0);
    for (float alpha : {1.0f, 0.6f, 0.0f}) {
        const PixelGrid pixels = drawMessage("R", alpha);
        int worst = 0;
        int covered = 0;
        for (int y = static_cast<int>(bottom) - 2; y < static_cast<int>(bottom) + glyph.rows + 2; ++y) {
            for (int x = static_cast<int>(left) - 2; x < static_cast<int>(left) + glyph.width + 2; ++x) {
                const double s = x + 0.5 - left;
                const double t = bottom + glyph.rows - (y + 0.5);  // v = 0 is the bitmap's top row
                if (s == 0 || s == glyph.width || t == glyph.rows) {
                    continue;  // exactly on the quad's edge: the fill rule decides
                }
                const bool inside = s > 0 && s < glyph.width && t > 0 && t < glyph.rows;
                const double value = inside ? linearFilter(s, t, texel) : 0.0;
                const double expected = background + (255.0 - background) * alpha * value;
                worst = std::max(worst, static_cast<int>(std::ceil(std::fabs(pixels.at(x, y).red - expected))));
                covered += value > 0.5;
            }
        }
        EXPECT_GT(covered, 50);
        EXPECT_LE(worst, 2) << "alpha " << alpha;
    }
}

// Four lines of height L centred on y = 300 stand on y + L, y, y - L and y - 2L.
TEST_F(TextTest, BaselinesOfFourLines) {
    const Glyph glyph = renderer_->glyphs.at('H');
    const PixelGrid pixels = drawMessage("H\nH\nH\nH", 1.0f);
    auto inked = [&](int y) {
        for (int x = 0; x < windowWidth; ++x) {
            if (pixels.at(x, y).red != pixels.at(0, 0).red) {
                return true;
            }
        }
        return false;
    };
    for (int baseline : {353, 300, 247, 194}) {
        const int bottom = baseline - (glyph.rows - glyph.top);
        EXPECT_FALSE(inked(bottom - 1)) << baseline;
        EXPECT_TRUE(inked(bottom)) << baseline;
        EXPECT_TRUE(inked(bottom + glyph.rows - 1)) << baseline;
        EXPECT_FALSE(inked(bottom + glyph.rows)) << baseline;
    }
}
