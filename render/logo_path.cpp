#include "logo_path.h"

namespace {

constexpr PathKey pathKeys[pathKeyCount] = {
    {0.0f, 0.0f, 2.0f},
    {1.0f, 1.0f, 2.0f},
    {1.0f, 0.0f, 2.0f},
    {-1.0f, 0.0f, 4.0f},
    {-1.0f, -1.0f, 2.0f},
    {0.0f, 1.0f, 2.0f},
    {0.0f, 0.0f, 2.0f},
};

}  // namespace

void resetLogoPath(LogoPath& path) {
    path.keyIndex = 0;
    path.segmentElapsed = 0.0f;
    for (int key = 0; key < pathKeyCount; ++key) {
        path.keys[key] = pathKeys[key];
    }
}
