#include <gtest/gtest.h>

#include "frame.h"

// For 1920 x 1080 the diagonal is (1/960, 1/540, -1, 1) and the last column (-1, -1, 0, 1).
TEST(Projection, OrthographicWindowMatrix) {
    const ProjectionMatrix matrix = orthographicProjection(1920.0f, 1080.0f);
    const float expected[16] = {1.0f / 960.0f, 0, 0, 0, 0, 1.0f / 540.0f, 0, 0, 0, 0, -1, 0, -1, -1, 0, 1};
    for (int index = 0; index < 16; ++index) {
        EXPECT_FLOAT_EQ(matrix[index], expected[index]) << "element " << index;
    }
}

// A pixel point (x, y, z) lands at (2x/w - 1, 2y/h - 1, -z): origin lower left, nearer with larger z.
TEST(Projection, MapsPixelsToClipSpace) {
    const ProjectionMatrix matrix = orthographicProjection(800.0f, 600.0f);
    const float point[4] = {200.0f, 450.0f, 0.5f, 1.0f};
    float clip[4] = {};
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) {
            clip[row] += matrix[column * 4 + row] * point[column];
        }
    }
    EXPECT_FLOAT_EQ(clip[0], -0.5f);
    EXPECT_FLOAT_EQ(clip[1], 0.5f);
    EXPECT_FLOAT_EQ(clip[2], -0.5f);
    EXPECT_FLOAT_EQ(clip[3], 1.0f);
}
