#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "frame.h"
#include "gl_test_window.h"
#include "messages.h"
#include "shader_program.h"
#include "text_renderer.h"

namespace {

constexpr int windowWidth = 800;
constexpr int windowHeight = 600;
constexpr float clearValue = 0.3f;

class TextTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(window_.ready());
        testing::internal::CaptureStdout();
        renderer_ = std::make_unique<TextRenderer>(static_cast<float>(windowWidth * 0.062), 0.0125f, 0.02f, 2.0f);
        program_ = std::make_unique<ShaderProgram>(129, 131);
        startupOutput_ = testing::internal::GetCapturedStdout();
    }
    void TearDown() override {
        if (renderer_) {
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
        glClearColor(clearValue, clearValue, clearValue, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        const ProjectionMatrix projection = orthographicProjection(windowWidth, windowHeight);
        drawTextPass(*program_, *renderer_, projection.data(), windowWidth, windowHeight);
        return PixelGrid::read(windowWidth, windowHeight);
    }

    std::vector<uint8_t> coverage(const Glyph& glyph) {
        std::vector<uint8_t> bytes(static_cast<std::size_t>(glyph.width) * glyph.rows);
        glBindTexture(GL_TEXTURE_2D, glyph.texture);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RED, GL_UNSIGNED_BYTE, bytes.data());
        return bytes;
    }

    GlTestWindow window_{windowWidth, windowHeight};
    std::unique_ptr<TextRenderer> renderer_;
    std::unique_ptr<ShaderProgram> program_;
    std::string startupOutput_;
};

}  // namespace

// The font rasterises codes 0 to 127 without a report; line height is the
// truncated pixel size plus 4: 53 for an 800-pixel screen, 123 for 1920.
TEST_F(TextTest, GlyphCacheAndLineHeight) {
    EXPECT_EQ(startupOutput_, "");
    EXPECT_EQ(renderer_->glyphs.size(), 128u);
    EXPECT_EQ(renderer_->lineHeight, 53u);
    EXPECT_NE(renderer_->glyphs.at('H').texture, 0u);
    TextRenderer wide(static_cast<float>(1920 * 0.062), 0.0125f, 0.02f, 2.0f);
    EXPECT_EQ(wide.lineHeight, 123u);
    wide.release();
}

// Every line of the seven messages fits the screen width, whatever the width.
TEST_F(TextTest, MessagesFitTheScreen) {
    for (int screenWidth : {800, 1280, 1920}) {
        TextRenderer sized(static_cast<float>(screenWidth * 0.062), 0.0125f, 0.02f, 2.0f);
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

// A drawn glyph is its coverage texture times the cell's alpha, blended over
// what is there: colour = clear + (1 - clear) * alpha * coverage, per pixel.
TEST_F(TextTest, CoverageScaledByAlpha) {
    const Glyph glyph = renderer_->glyphs.at('R');
    const std::vector<uint8_t> bitmap = coverage(glyph);
    auto texel = [&](int column, int row) {
        column = std::clamp(column, 0, glyph.width - 1);
        row = std::clamp(row, 0, glyph.rows - 1);
        return bitmap[static_cast<std::size_t>(row) * glyph.width + column] / 255.0;
    };
    const double penX = windowWidth * 0.5 - static_cast<double>(pixelAdvance(glyph)) * 0.5;
    const double left = penX + glyph.left;
    const double baseline = windowHeight * 0.5 - 53.0 * 0.5;  // one line
    const double bottom = baseline - (glyph.rows - glyph.top);
    for (float alpha : {1.0f, 0.6f, 0.0f}) {
        const PixelGrid pixels = drawMessage("R", alpha);
        int worst = 0;
        int covered = 0;
        for (int y = static_cast<int>(bottom) - 2; y < static_cast<int>(bottom) + glyph.rows + 2; ++y) {
            for (int x = static_cast<int>(left) - 2; x < static_cast<int>(left) + glyph.width + 2; ++x) {
                const double centreX = x + 0.5;
                const double centreY = y + 0.5;
                if (centreX == left || centreX == left + glyph.width || centreY == bottom) {
                    continue;  // exactly on the quad's edge: the fill rule decides
                }
                double value = 0.0;
                if (centreX > left && centreX < left + glyph.width && centreY > bottom && centreY < bottom + glyph.rows) {
                    const double s = centreX - left - 0.5;
                    const double t = bottom + glyph.rows - centreY - 0.5;  // v = 0 is the bitmap's top row
                    const int s0 = static_cast<int>(std::floor(s));
                    const int t0 = static_cast<int>(std::floor(t));
                    const double fs = s - s0;
                    const double ft = t - t0;
                    value = (texel(s0, t0) * (1 - fs) + texel(s0 + 1, t0) * fs) * (1 - ft) +
                            (texel(s0, t0 + 1) * (1 - fs) + texel(s0 + 1, t0 + 1) * fs) * ft;
                }
                const double background = std::round(clearValue * 255.0);
                const double expected = background + (255.0 - background) * alpha * value;
                const Rgba pixel = pixels.at(x, y);
                worst = std::max(worst, static_cast<int>(std::ceil(std::fabs(pixel.red - expected))));
                covered += value > 0.5;
            }
        }
        EXPECT_GT(covered, 50);
        EXPECT_LE(worst, 2) << "alpha " << alpha;
    }
}

// Lines stack downwards from the centre: four lines of height 53 around
// y = 300 stand on 353, 300, 247 and 194.
TEST_F(TextTest, BaselinesOfFourLines) {
    const Glyph glyph = renderer_->glyphs.at('H');
    const PixelGrid pixels = drawMessage("H\nH\nH\nH", 1.0f);
    const Rgba clear = pixels.at(0, 0);
    std::vector<int> rowsWithInk;
    for (int y = 0; y < windowHeight; ++y) {
        for (int x = 0; x < windowWidth; ++x) {
            if (pixels.at(x, y).red != clear.red) {
                rowsWithInk.push_back(y);
                break;
            }
        }
    }
    // Runs of inked rows, bottom to top.
    std::vector<std::pair<int, int>> runs;
    for (int row : rowsWithInk) {
        if (runs.empty() || row != runs.back().second + 1) {
            runs.emplace_back(row, row);
        } else {
            runs.back().second = row;
        }
    }
    ASSERT_EQ(runs.size(), 4u);
    const int baselines[] = {194, 247, 300, 353};
    for (int line = 0; line < 4; ++line) {
        EXPECT_EQ(runs[line].first, baselines[line] - (glyph.rows - glyph.top)) << "line " << line;
        EXPECT_EQ(runs[line].second, baselines[line] - (glyph.rows - glyph.top) + glyph.rows - 1) << "line " << line;
    }
}
