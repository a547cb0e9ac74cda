// The GL tests' harness: a real window with an OpenGL 3.3 context, set up as
// the presentation sets up its own, the GL functions only tests call, and
// the pixels read back.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "gl_loader.h"

struct GLFWwindow;

// Loaded next to the program's own list, which stays exactly what the program calls.
#define INTRO_READ_BACK_FUNCTIONS(FUNCTION)                   \
    FUNCTION(PFNGLREADPIXELSPROC, glReadPixels)               \
    FUNCTION(PFNGLFINISHPROC, glFinish)                       \
    FUNCTION(PFNGLGETERRORPROC, glGetError)                   \
    FUNCTION(PFNGLISTEXTUREPROC, glIsTexture)                 \
    FUNCTION(PFNGLISPROGRAMPROC, glIsProgram)                 \
    FUNCTION(PFNGLGETTEXIMAGEPROC, glGetTexImage)             \
    FUNCTION(PFNGLGETTEXPARAMETERIVPROC, glGetTexParameteriv) \
    FUNCTION(PFNGLGETBUFFERSUBDATAPROC, glGetBufferSubData)
#define INTRO_DECLARE_READ_BACK(type, name) inline type test_##name = nullptr;
INTRO_READ_BACK_FUNCTIONS(INTRO_DECLARE_READ_BACK)
#undef INTRO_DECLARE_READ_BACK
#define glReadPixels test_glReadPixels
#define glFinish test_glFinish
#define glGetError test_glGetError
#define glIsTexture test_glIsTexture
#define glIsProgram test_glIsProgram
#define glGetTexImage test_glGetTexImage
#define glGetTexParameteriv test_glGetTexParameteriv
#define glGetBufferSubData test_glGetBufferSubData

class GlTestWindow {
public:
    GlTestWindow(int width, int height);
    ~GlTestWindow();
    GlTestWindow(const GlTestWindow&) = delete;
    GlTestWindow& operator=(const GlTestWindow&) = delete;

    bool ready() const { return ready_; }
    GLFWwindow* handle() const { return window_; }

private:
    GLFWwindow* window_ = nullptr;
    bool ready_ = false;
};

struct Rgba {
    int red;
    int green;
    int blue;
    int alpha;
    bool operator==(const Rgba& other) const = default;
};

// The back buffer's pixels, bottom row first, four bytes each.
struct PixelGrid {
    static PixelGrid read(int width, int height);
    Rgba at(int x, int y) const;
    bool operator==(const PixelGrid& other) const = default;

    int width = 0;
    int height = 0;
    std::vector<uint8_t> bytes;
};

// GL_LINEAR filtering at texel coordinates (s, t); texel(column, row) applies the wrap mode.
template <typename Texel>
double linearFilter(double s, double t, Texel texel) {
    const int s0 = static_cast<int>(std::floor(s - 0.5));
    const int t0 = static_cast<int>(std::floor(t - 0.5));
    const double fs = s - 0.5 - s0;
    const double ft = t - 0.5 - t0;
    return (texel(s0, t0) * (1 - fs) + texel(s0 + 1, t0) * fs) * (1 - ft) +
           (texel(s0, t0 + 1) * (1 - fs) + texel(s0 + 1, t0 + 1) * fs) * ft;
}
