#include <gtest/gtest.h>

#include "logo_effect.h"

// Each layer's displacement, alpha, scale and depth for a path offset, in an 800 x 600 window.
TEST(LogoLayers, UniformsPerLayer) {
    // Centre (400, 300); the square's half side is 600 * 2/7 / 2.
    constexpr float halfSide = 600.0f * static_cast<float>(2.0 / 7.0) * 0.5f;
    struct Case {
        int layer;
        float offsetX, offsetY;
        float displacementX, displacementY, alpha, scale;
    };
    const Case cases[] = {
        {0, 0, 0, 0, 0, 0.5f, 0.81f},                          // at rest the mark keeps its alpha
        {1, 0, 0, 0, 0, 0.8f, 1.95f},                          // and so does the outline
        {2, 0, 0, 0, 0, 0, 0.85f},                             // the first trailing layer at rest is transparent
        {0, 1, 0, 314.2857f, 0, 0.5f, 0.81f},                  // factor 1 moves by centreX - halfSide
        {2, 1, 0, 157.1429f, 0, 0.5f, 0.85f},                  // factor 0.5 half as far; the trail's alpha caps at 0.5
        {4, 1, 0, 0, 0, 0.5f, 0.69f},                          // factor 0 stays
        {8, 1, 0, -314.2857f, 0, 0.5f, 0.68f},                 // factor -1 moves against the path
        {0, 0, -1, 0, -(300.0f - halfSide), 0.5f, 0.81f},      // vertical moves use centreY
        {6, 0.18f, 0.24f, -22.6286f, -20.5714f, 0.3f, 0.67f},  // below 0.5 the trail's alpha is the offset's length
        {1, 0.18f, 0.24f, 56.5714f, 51.4286f, 0.8f, 1.95f},    // the first two layers ignore the distance
    };
    for (const Case& c : cases) {
        const LayerUniforms uniforms =
            layerUniforms(logoLayerTable[c.layer], c.layer, c.offsetX, c.offsetY, 400.0f, 300.0f, halfSide);
        SCOPED_TRACE(testing::Message() << "layer " << c.layer << " at " << c.offsetX << ", " << c.offsetY);
        EXPECT_NEAR(uniforms.displacement[0], c.displacementX, 0.001f);
        EXPECT_NEAR(uniforms.displacement[1], c.displacementY, 0.001f);
        EXPECT_NEAR(uniforms.textColor[3], c.alpha, 1e-6f);
        EXPECT_EQ(uniforms.textColor[0], logoLayerTable[c.layer].color[0]);
        EXPECT_NEAR(uniforms.scale, c.scale, 1e-6f);
        EXPECT_EQ(uniforms.layer, static_cast<float>(c.layer + 1) * 0.01f);
    }
}
