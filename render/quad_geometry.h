// The one vertex layout of every drawable: quads of six vertices of five
// floats (position x, y, z, texture u, v) in a buffer allocated once.
#pragma once

#include <array>
#include <cstdint>

#include "gl_loader.h"

struct QuadVertex {
    float x;
    float y;
    float z;
    float u;
    float v;
};

inline constexpr int quadVertexCount = 6;
using QuadVertices = std::array<QuadVertex, quadVertexCount>;

inline constexpr GLuint positionAttribute = 0;
inline constexpr GLuint textureCoordinateAttribute = 1;
inline constexpr GLsizei quadVertexStride = sizeof(QuadVertex);
inline constexpr GLsizeiptr quadBufferBytes = sizeof(QuadVertices);
static_assert(quadVertexStride == 20 && quadBufferBytes == 120);

// Two triangles covering the rectangle from (left, bottom) to (right, top);
// v = 0 lies on the top edge, so an image's first row is drawn at the top.
QuadVertices rectangleVertices(float left, float bottom, float right, float top, float z, float rightU);

// Generates the vertex array and its buffer, allocates 120 bytes with no data
// (GL_DYNAMIC_DRAW), declares the two attributes, then unbinds both.
void createQuadBuffer(GLuint& vertexArray, GLuint& buffer);

// Replaces the buffer's six vertices; leaves GL_ARRAY_BUFFER unbound.
void writeQuadVertices(GLuint buffer, const QuadVertices& vertices);
