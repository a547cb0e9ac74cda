#include "logo_effect.h"

#include <algorithm>
#include <cmath>

#include "quad_geometry.h"
#include "raw_texture.h"

LayerUniforms layerUniforms(const LogoLayer& layer, int index, float offsetX, float offsetY, float centreX,
                            float centreY, float halfSide) {
    LayerUniforms uniforms{};
    uniforms.displacement[0] = layer.displacementFactor * offsetX * (centreX - halfSide);
    uniforms.displacement[1] = layer.displacementFactor * offsetY * (centreY - halfSide);
    std::copy(std::begin(layer.color), std::end(layer.color), std::begin(uniforms.textColor));
    if (index >= firstTrailingLayer) {
        const auto distance = static_cast<float>(std::sqrt(static_cast<double>(offsetX * offsetX + offsetY * offsetY)));
        uniforms.textColor[3] = std::min(layer.color[3], distance);
    }
    uniforms.layer = static_cast<float>(index + 1) * layerDepthStep;
    uniforms.scale = layer.scaleOffset + layerBaseScale;
    return uniforms;
}

LogoEffect::LogoEffect(float width, float height, float depth, float sizeFactor)
    : width(width), height(height), depth(depth), sizeFactor(sizeFactor) {
    easing.init();
    createQuadBuffer(vao, vbo);
    for (int slot = 0; slot < logoTextureCount; ++slot) {
        loadRawTexture(firstLogoResource + slot, textures[slot], logoImageSide, logoImageSide, logoBytesPerPixel[slot]);
    }
    setLayers();
    updateQuad();
    resetPath();
}

void LogoEffect::updateQuad() {
    const float half = halfSide();
    const float centreX = width * 0.5f;
    const float centreY = height * 0.5f;
    glBindVertexArray(vao);
    writeQuadVertices(vbo, rectangleVertices(centreX - half, centreY - half, centreX + half, centreY + half, depth, 1.0f));
    glBindVertexArray(0);
}

void LogoEffect::setLayers() {
    std::copy(std::begin(logoLayerTable), std::end(logoLayerTable), std::begin(layers));
}

void LogoEffect::resetPath() { resetLogoPath(*this); }

void LogoEffect::draw(const ShaderProgram& program) const {
    const float half = halfSide();
    const float centre[2] = {width * 0.5f, height * 0.5f};
    glActiveTexture(GL_TEXTURE0);
    glBindVertexArray(vao);
    program.setVector2("center", centre);
    for (int index = 0; index < logoLayerCount; ++index) {
        const LogoLayer& layer = layers[index];
        const LayerUniforms uniforms = layerUniforms(layer, index, offsetX, offsetY, centre[0], centre[1], half);
        program.setVector2("displacement", uniforms.displacement);
        program.setVector4("textColor", uniforms.textColor);
        program.setFloat("layer", uniforms.layer);
        program.setFloat("scale", uniforms.scale);
        glBindTexture(GL_TEXTURE_2D, textures[layer.textureIndex]);
        glDrawArrays(GL_TRIANGLES, 0, quadVertexCount);
    }
}

void LogoEffect::release() {
    glDeleteVertexArrays(1, &vao);
    glDeleteBuffers(1, &vbo);
    glDeleteTextures(logoTextureCount, textures);
    vao = 0;
    vbo = 0;
    std::fill(std::begin(textures), std::end(textures), 0u);
}

void drawLogoPass(const ShaderProgram& program, const LogoEffect& logo, const float* projection) {
    glUseProgram(program.ID);
    program.setMatrix4("projection", projection);
    logo.draw(program);
}
