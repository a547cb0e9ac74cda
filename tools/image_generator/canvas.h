// A floating-point RGB picture that shapes are painted onto with a coverage
// value, plus conversion to opaque RGBA bytes.
#pragma once

#include <cstdint>
#include <vector>

#include "raster.h"

class Canvas {
public:
    Canvas(int width, int height);

    int width() const { return width_; }
    int height() const { return height_; }

    Colour at(int x, int y) const { return pixels_[index(x, y)]; }
    void set(int x, int y, Colour colour) { pixels_[index(x, y)] = colour; }

    // Blends `colour` over the pixel by `coverage`; pixels outside are ignored.
    void blend(int x, int y, Colour colour, double coverage);

    // Adds light to the pixel; pixels outside are ignored.
    void add(int x, int y, Colour light);

    // Rows top to bottom, four bytes per pixel, alpha 255.
    std::vector<uint8_t> toOpaqueRgba() const;

private:
    std::size_t index(int x, int y) const { return static_cast<std::size_t>(y) * width_ + x; }
    bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }

    int width_;
    int height_;
    std::vector<Colour> pixels_;
};
