// A real window with an OpenGL 3.3 context for tests that draw and read back,
// set up the way the presentation sets up its own (depth test, blending).
#pragma once

#include <cstdint>
#include <vector>

#include "gl_loader.h"
#include "read_back_functions.h"

struct GLFWwindow;

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
};

// The back buffer's pixels, bottom row first, four bytes each.
class PixelGrid {
public:
    static PixelGrid read(int width, int height);

    Rgba at(int x, int y) const;
    int width() const { return width_; }
    int height() const { return height_; }
    bool operator==(const PixelGrid& other) const = default;

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<uint8_t> bytes_;
};
