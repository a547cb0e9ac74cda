// The logo's looping keyframed path: seven keys, the segment being travelled
// and the current eased offset, each coordinate normally in -1..1.
#pragma once

#include <cstdint>

#include "bezier_easing.h"

struct PathKey {
    float x;
    float y;
    float duration;  // seconds to travel from the previous key to this one
};

inline constexpr int pathKeyCount = 7;

struct LogoPath {
    uint32_t keyIndex = 0;  // the key being approached
    PathKey keys[pathKeyCount] = {};
    float segmentElapsed = 0.0f;
    float offsetX = 0.0f;
    float offsetY = 0.0f;
    BezierEasing easing = {};
};

// Back to the first segment with the fixed key table: a 2-second rest at
// the centre, then out to the corners and sides and home again, 16 s a loop.
void resetLogoPath(LogoPath& path);
