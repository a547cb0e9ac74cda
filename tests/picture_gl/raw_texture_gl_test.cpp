#include <gtest/gtest.h>

#include <vector>

#include "embedded_resource.h"
#include "gl_test_harness.h"
#include "raw_texture.h"

namespace {

constexpr int logoMarkImage = 120;
constexpr int reliefImage = 123;  // three bytes per pixel
constexpr int side = 128;

class RawTextureTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(window_.ready()); }
    GlTestWindow window_{64, 64};
};

}  // namespace

// RGBA images upload byte for byte, the three-byte image as RGB (opaque, read no further than its end);
// the texture is left bound, with linear filtering and mirrored repeat.
TEST_F(RawTextureTest, UploadsTheStoredBytes) {
    for (auto [image, bytesPerPixel] : {std::pair{logoMarkImage, rgbaBytesPerPixel}, {reliefImage, rgbBytesPerPixel}}) {
        GLuint texture = 0;
        loadRawTexture(image, texture, side, side, bytesPerPixel);
        ASSERT_NE(texture, 0u);
        for (auto [name, expected] : {std::pair{GL_TEXTURE_MIN_FILTER, GL_LINEAR}, {GL_TEXTURE_MAG_FILTER, GL_LINEAR},
                                      {GL_TEXTURE_WRAP_S, GL_MIRRORED_REPEAT},
                                      {GL_TEXTURE_WRAP_T, GL_MIRRORED_REPEAT}}) {
            GLint value = 0;
            glGetTexParameteriv(GL_TEXTURE_2D, name, &value);
            EXPECT_EQ(value, expected) << name;
        }
        const EmbeddedResource resource = loadResource("RAW", image);
        ASSERT_EQ(resource.size, rawImageBytes(side, side, bytesPerPixel));
        std::vector<uint8_t> texels(side * side * rgbaBytesPerPixel);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
        int mismatches = 0;
        for (std::size_t pixel = 0; pixel < side * side; ++pixel) {
            for (int channel = 0; channel < rgbaBytesPerPixel; ++channel) {
                const int stored = channel < bytesPerPixel ? resource.data[pixel * bytesPerPixel + channel] : 255;
                mismatches += texels[pixel * rgbaBytesPerPixel + channel] != stored;
            }
        }
        EXPECT_EQ(mismatches, 0) << "image " << image;
        glDeleteTextures(1, &texture);
    }
}

// A resource shorter than the image (the RGB one asked for as RGBA) or a missing one is not uploaded:
// the field ends 0 and the texture it held is deleted.
TEST_F(RawTextureTest, ShortOrMissingResourceIsNotUploaded) {
    GLuint texture = 0;
    loadRawTexture(logoMarkImage, texture, side, side);
    const GLuint previous = texture;
    loadRawTexture(reliefImage, texture, side, side);
    EXPECT_EQ(texture, 0u);
    EXPECT_EQ(glIsTexture(previous), GL_FALSE);
    loadRawTexture(999, texture, side, side);
    EXPECT_EQ(texture, 0u);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
