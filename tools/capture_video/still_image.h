// One captured picture as a PNG image, through FFmpeg's PNG encoder.
#pragma once

#include <cstdint>
#include <string>

// `bottomUpPixels`: width x height pixels of four bytes (B, G, R, unused),
// bottom row first. False, with `error` set, when encoding or writing fails.
bool writePngImage(const std::string& path, int width, int height, const uint8_t* bottomUpPixels,
                   std::string& error);
