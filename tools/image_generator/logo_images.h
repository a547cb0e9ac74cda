// The six 128 x 128 layer images of the logo emblem: a faceted eight-point
// star (the mark), a dial that rings it, a soft glow, an embossed relief, the
// hub detail and a hollow echo of the star for the trail.
#pragma once

#include <cstdint>
#include <vector>

inline constexpr int logoImageSide = 128;

// One grey value in [0, 1] per pixel, rows top to bottom.
using GreyImage = std::vector<double>;

GreyImage renderSolidMark();
GreyImage renderDial();
GreyImage renderGlow();
GreyImage renderRelief();
GreyImage renderHub();
GreyImage renderEcho();

// Four bytes per pixel, red = green = blue = alpha = the grey value.
std::vector<uint8_t> packGreyWithAlpha(const GreyImage& image);

// Three bytes per pixel, red = green = blue = the grey value.
std::vector<uint8_t> packGreyRgb(const GreyImage& image);
