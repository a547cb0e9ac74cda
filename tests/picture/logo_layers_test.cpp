#include <gtest/gtest.h>

#include "logo_effect.h"

namespace {

// An 800 x 600 window: the square's half side is 600 * 2/7 / 2.
constexpr float centreX = 400.0f;
constexpr float centreY = 300.0f;
constexpr float halfSide = 600.0f * static_cast<float>(2.0 / 7.0) * 0.5f;

LayerUniforms uniformsAt(int layer, float offsetX, float offsetY) {
    return layerUniforms(logoLayerTable[layer], layer, offsetX, offsetY, centreX, centreY, halfSide);
}

}  // namespace

// At rest the seven trailing layers are fully transparent; the mark and its outline keep their alpha.
TEST(LogoLayers, AtRestOnlyTheFirstTwoShow) {
    EXPECT_EQ(uniformsAt(0, 0.0f, 0.0f).textColor[3], 0.5f);
    EXPECT_EQ(uniformsAt(1, 0.0f, 0.0f).textColor[3], 0.8f);
    for (int layer = firstTrailingLayer; layer < logoLayerCount; ++layer) {
        const LayerUniforms uniforms = uniformsAt(layer, 0.0f, 0.0f);
        EXPECT_EQ(uniforms.textColor[3], 0.0f) << "layer " << layer;
        EXPECT_EQ(uniforms.displacement[0], 0.0f);
        EXPECT_EQ(uniforms.displacement[1], 0.0f);
    }
}

// Offset (1, 0) in 800 x 600: layer 0 moves 314.29 px right, layer 8 as far
// left, layer 4 stays; the trail is drawn at alpha 0.5.
TEST(LogoLayers, DisplacementAtTheSide) {
    EXPECT_NEAR(uniformsAt(0, 1.0f, 0.0f).displacement[0], 314.2857f, 0.001f);
    EXPECT_NEAR(uniformsAt(8, 1.0f, 0.0f).displacement[0], -314.2857f, 0.001f);
    EXPECT_EQ(uniformsAt(4, 1.0f, 0.0f).displacement[0], 0.0f);
    EXPECT_NEAR(uniformsAt(2, 1.0f, 0.0f).displacement[0], 157.1429f, 0.001f);
    EXPECT_NEAR(uniformsAt(0, 0.0f, -1.0f).displacement[1], -(300.0f - halfSide), 0.001f);
    for (int layer = firstTrailingLayer; layer < logoLayerCount; ++layer) {
        EXPECT_EQ(uniformsAt(layer, 1.0f, 0.0f).textColor[3], 0.5f) << "layer " << layer;
    }
}

// Between 0 and 0.5 the trailing alpha is the offset's length; colours keep their rgb.
TEST(LogoLayers, TrailAlphaFollowsTheDistance) {
    const LayerUniforms uniforms = uniformsAt(6, 0.18f, 0.24f);
    EXPECT_NEAR(uniforms.textColor[3], 0.3f, 1e-6f);
    EXPECT_EQ(uniforms.textColor[0], 0.6f);
    EXPECT_EQ(uniforms.textColor[1], 0.0f);
    EXPECT_EQ(uniformsAt(1, 0.18f, 0.24f).textColor[3], 0.8f);
}

// Scale is scaleOffset + 0.65 and the depth offset (i + 1) * 0.01, in single precision.
TEST(LogoLayers, ScaleAndDepth) {
    const float scales[logoLayerCount] = {0.81f, 1.95f, 0.85f, 0.70f, 0.69f, 0.72f, 0.67f, 0.69f, 0.68f};
    for (int layer = 0; layer < logoLayerCount; ++layer) {
        const LayerUniforms uniforms = uniformsAt(layer, 0.5f, 0.5f);
        EXPECT_NEAR(uniforms.scale, scales[layer], 1e-6f) << "layer " << layer;
        EXPECT_EQ(uniforms.layer, static_cast<float>(layer + 1) * 0.01f);
    }
    EXPECT_EQ(logoLayerTable[5].textureIndex, 5);
    EXPECT_EQ(logoLayerTable[4].textureIndex, 0);
}
