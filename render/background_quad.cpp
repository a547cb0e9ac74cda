#include "background_quad.h"

#include "quad_geometry.h"
#include "raw_texture.h"

BackgroundQuad::BackgroundQuad(int windowWidth, int windowHeight)
    : height(static_cast<float>(windowHeight)), width(static_cast<float>(windowWidth)) {
    createQuadBuffer(vao, vbo);
    loadRawTexture(backdropResource, texture, backdropWidth, backdropHeight);
    updateVertices();
}

void BackgroundQuad::updateVertices() {
    glBindVertexArray(vao);
    writeQuadVertices(vbo, rectangleVertices(0.0f, 0.0f, width, height, depth, backdropVisibleU));
    glBindVertexArray(0);
}

void BackgroundQuad::release() {
    glDeleteVertexArrays(1, &vao);
    glDeleteBuffers(1, &vbo);
    glDeleteTextures(1, &texture);
    vao = 0;
    vbo = 0;
    texture = 0;
}
