#include "raw_texture.h"

#include "embedded_resource.h"

namespace {

constexpr const char* rawResourceType = "RAW";

}  // namespace

uint64_t rawImageBytes(int width, int height, int bytesPerPixel) {
    if (width <= 0 || height <= 0 || bytesPerPixel <= 0) {
        return 0;
    }
    return static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * static_cast<uint64_t>(bytesPerPixel);
}

void loadRawTexture(int identifier, GLuint& texture, int width, int height, int bytesPerPixel) {
    if (texture != 0) {
        glDeleteTextures(1, &texture);
        texture = 0;
    }
    const EmbeddedResource pixels = loadResource(rawResourceType, identifier);
    const uint64_t needed = rawImageBytes(width, height, bytesPerPixel);
    const bool knownFormat = bytesPerPixel == rgbaBytesPerPixel || bytesPerPixel == rgbBytesPerPixel;
    if (pixels.data == nullptr || needed == 0 || !knownFormat || pixels.size < needed) {
        return;
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_MIRRORED_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_MIRRORED_REPEAT);
    // Rows are packed tightly; with a larger alignment GL would expect padded
    // rows and read past the end of an RGB image whose rows are not aligned.
    GLint previousAlignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &previousAlignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    const GLenum sourceFormat = bytesPerPixel == rgbBytesPerPixel ? GL_RGB : GL_RGBA;
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, sourceFormat, GL_UNSIGNED_BYTE, pixels.data);
    glPixelStorei(GL_UNPACK_ALIGNMENT, previousAlignment);
    texture = name;
}
