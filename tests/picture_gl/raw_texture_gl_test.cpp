#include <gtest/gtest.h>

#include <vector>

#include "embedded_resource.h"
#include "gl_test_window.h"
#include "raw_texture.h"

namespace {

constexpr int logoMarkImage = 120;
constexpr int reliefImage = 123;  // three bytes per pixel
constexpr int absentImage = 999;
constexpr int side = 128;

class RawTextureTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(window_.ready()); }
    GlTestWindow window_{64, 64};
};

std::vector<uint8_t> textureBytes(GLuint texture, int width, int height) {
    std::vector<uint8_t> bytes(static_cast<std::size_t>(width) * height * 4);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, bytes.data());
    return bytes;
}

GLint textureParameter(GLenum name) {
    GLint value = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, name, &value);
    return value;
}

}  // namespace

// An RGBA image is uploaded byte for byte, first row first, with linear
// filtering and mirrored repeat, and stays bound.
TEST_F(RawTextureTest, UploadsTheStoredBytes) {
    GLuint texture = 0;
    loadRawTexture(logoMarkImage, texture, side, side);
    ASSERT_NE(texture, 0u);
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(static_cast<GLuint>(bound), texture);
    EXPECT_EQ(textureParameter(GL_TEXTURE_MIN_FILTER), GL_LINEAR);
    EXPECT_EQ(textureParameter(GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    EXPECT_EQ(textureParameter(GL_TEXTURE_WRAP_S), GL_MIRRORED_REPEAT);
    EXPECT_EQ(textureParameter(GL_TEXTURE_WRAP_T), GL_MIRRORED_REPEAT);
    const EmbeddedResource resource = loadResource("RAW", logoMarkImage);
    ASSERT_EQ(resource.size, rawImageBytes(side, side, 4));
    const std::vector<uint8_t> stored(resource.data, resource.data + resource.size);
    EXPECT_TRUE(textureBytes(texture, side, side) == stored);
    glDeleteTextures(1, &texture);
}

// The three-byte grey image loads as RGB: every texel has the grey in r, g, b and is opaque.
TEST_F(RawTextureTest, RgbImageBecomesOpaqueGrey) {
    GLuint texture = 0;
    loadRawTexture(reliefImage, texture, side, side, rgbBytesPerPixel);
    ASSERT_NE(texture, 0u);
    const EmbeddedResource resource = loadResource("RAW", reliefImage);
    ASSERT_EQ(resource.size, rawImageBytes(side, side, 3));
    const std::vector<uint8_t> texels = textureBytes(texture, side, side);
    int mismatches = 0;
    for (std::size_t pixel = 0; pixel < static_cast<std::size_t>(side * side); ++pixel) {
        const uint8_t grey = resource.data[pixel * 3];
        mismatches += texels[pixel * 4] != grey || texels[pixel * 4 + 1] != grey || texels[pixel * 4 + 2] != grey ||
                      texels[pixel * 4 + 3] != 255;
    }
    EXPECT_EQ(mismatches, 0);
    glDeleteTextures(1, &texture);
}

// A resource shorter than the image (the RGB one asked for as RGBA) or a
// missing one is not uploaded: the field ends 0, its old texture deleted.
TEST_F(RawTextureTest, ShortOrMissingResourceIsNotUploaded) {
    GLuint texture = 0;
    loadRawTexture(logoMarkImage, texture, side, side);
    const GLuint previous = texture;
    loadRawTexture(reliefImage, texture, side, side);
    EXPECT_EQ(texture, 0u);
    EXPECT_EQ(glIsTexture(previous), GL_FALSE);
    loadRawTexture(absentImage, texture, side, side);
    EXPECT_EQ(texture, 0u);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// Loading into a field that holds a texture replaces it: the old one is deleted.
TEST_F(RawTextureTest, ReloadReplacesTheTexture) {
    GLuint texture = 0;
    loadRawTexture(logoMarkImage, texture, side, side);
    const GLuint first = texture;
    loadRawTexture(logoMarkImage, texture, side, side);
    ASSERT_NE(texture, 0u);
    ASSERT_NE(texture, first) << "names are not reused at once, so the old one can be checked";
    EXPECT_EQ(glIsTexture(first), GL_FALSE);
    EXPECT_EQ(glIsTexture(texture), GL_TRUE);
    glDeleteTextures(1, &texture);
}
