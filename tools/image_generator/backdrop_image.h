// The wide backdrop: a lakeside panorama at dusk. The left half holds the
// setting sun over layered mountains, the right half a lit city skyline under
// the first stars, joined by a suspension bridge; the lake mirrors all of it.
#pragma once

#include <cstdint>
#include <vector>

inline constexpr int backdropWidth = 2457;
inline constexpr int backdropHeight = 768;

// Rows top to bottom, RGBA, fully opaque.
std::vector<uint8_t> renderBackdrop();
