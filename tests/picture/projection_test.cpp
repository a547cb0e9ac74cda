#include <gtest/gtest.h>

#include "frame.h"

// Pixels to clip space: for 1920 x 1080 the diagonal is (1/960, 1/540, -1, 1), the last column (-1, -1, 0, 1).
TEST(Projection, OrthographicWindowMatrix) {
    const ProjectionMatrix matrix = orthographicProjection(1920.0f, 1080.0f);
    const float expected[16] = {1.0f / 960.0f, 0, 0, 0, 0, 1.0f / 540.0f, 0, 0, 0, 0, -1, 0, -1, -1, 0, 1};
    for (int index = 0; index < 16; ++index) {
        EXPECT_FLOAT_EQ(matrix[index], expected[index]) << "element " << index;
    }
}
