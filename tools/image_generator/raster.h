// Small numeric helpers shared by the image generators: blending, easing and
// the antialiased coverage of a signed distance.
#pragma once

#include <algorithm>
#include <cmath>

struct Colour {
    double red;
    double green;
    double blue;
};

inline Colour operator+(Colour a, Colour b) { return {a.red + b.red, a.green + b.green, a.blue + b.blue}; }
inline Colour operator*(Colour a, double factor) { return {a.red * factor, a.green * factor, a.blue * factor}; }
inline Colour operator*(Colour a, Colour b) { return {a.red * b.red, a.green * b.green, a.blue * b.blue}; }

inline double clamp01(double value) { return std::clamp(value, 0.0, 1.0); }

inline double mix(double a, double b, double t) { return a + (b - a) * t; }

inline Colour mix(Colour a, Colour b, double t) {
    return {mix(a.red, b.red, t), mix(a.green, b.green, t), mix(a.blue, b.blue, t)};
}

inline double smoothstep(double edge0, double edge1, double x) {
    double t = clamp01((x - edge0) / (edge1 - edge0));
    return t * t * (3.0 - 2.0 * t);
}

// Pixel coverage of a shape from its signed distance in pixels (negative inside):
// a one-pixel ramp centred on the edge.
inline double coverageFromDistance(double distance) { return clamp01(0.5 - distance); }

// Coverage of a stroke of the given width centred on a shape's edge.
inline double strokeCoverage(double distance, double width) {
    return coverageFromDistance(std::fabs(distance) - width * 0.5);
}

inline unsigned char toByte(double value) {
    return static_cast<unsigned char>(std::lround(clamp01(value) * 255.0));
}
