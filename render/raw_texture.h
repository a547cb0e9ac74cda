// Bare pixel arrays embedded as "RAW" resources become GL textures. The
// caller supplies the dimensions; the stored rows are uploaded top row first.
#pragma once

#include <cstdint>

#include "gl_loader.h"

inline constexpr int rgbaBytesPerPixel = 4;
inline constexpr int rgbBytesPerPixel = 3;

// Bytes a raw image of these dimensions needs.
uint64_t rawImageBytes(int width, int height, int bytesPerPixel);

// Deletes the texture in `texture` when there is one, then uploads RAW
// resource `identifier` as a width x height texture (linear filtering,
// mirrored repeat, stored as RGBA) and leaves it bound to GL_TEXTURE_2D.
// bytesPerPixel is 4 (RGBA) or 3 (RGB, the missing alpha reads as opaque).
// A resource that is missing or shorter than the image needs is not
// uploaded: `texture` is left 0 and nothing is read.
void loadRawTexture(int identifier, GLuint& texture, int width, int height, int bytesPerPixel = rgbaBytesPerPixel);
