#include "canvas.h"

Canvas::Canvas(int width, int height)
    : width_(width), height_(height), pixels_(static_cast<std::size_t>(width) * height, Colour{0.0, 0.0, 0.0}) {}

void Canvas::blend(int x, int y, Colour colour, double coverage) {
    if (!contains(x, y) || coverage <= 0.0) {
        return;
    }
    Colour& pixel = pixels_[index(x, y)];
    pixel = mix(pixel, colour, clamp01(coverage));
}

void Canvas::add(int x, int y, Colour light) {
    if (!contains(x, y)) {
        return;
    }
    Colour& pixel = pixels_[index(x, y)];
    pixel = pixel + light;
}

std::vector<uint8_t> Canvas::toOpaqueRgba() const {
    std::vector<uint8_t> bytes;
    bytes.reserve(pixels_.size() * 4);
    for (const Colour& pixel : pixels_) {
        bytes.insert(bytes.end(), {toByte(pixel.red), toByte(pixel.green), toByte(pixel.blue), uint8_t{255}});
    }
    return bytes;
}
