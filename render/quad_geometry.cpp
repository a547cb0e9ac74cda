#include "quad_geometry.h"

#include <cstddef>

QuadVertices rectangleVertices(float left, float bottom, float right, float top, float z, float rightU) {
    return {{
        {left, top, z, 0.0f, 0.0f},
        {left, bottom, z, 0.0f, 1.0f},
        {right, bottom, z, rightU, 1.0f},
        {left, top, z, 0.0f, 0.0f},
        {right, bottom, z, rightU, 1.0f},
        {right, top, z, rightU, 0.0f},
    }};
}

void createQuadBuffer(GLuint& vertexArray, GLuint& buffer) {
    glGenVertexArrays(1, &vertexArray);
    glGenBuffers(1, &buffer);
    glBindVertexArray(vertexArray);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, quadBufferBytes, nullptr, GL_DYNAMIC_DRAW);
    glEnableVertexAttribArray(positionAttribute);
    glVertexAttribPointer(positionAttribute, 3, GL_FLOAT, GL_FALSE, quadVertexStride,
                          reinterpret_cast<const void*>(offsetof(QuadVertex, x)));
    glEnableVertexAttribArray(textureCoordinateAttribute);
    glVertexAttribPointer(textureCoordinateAttribute, 2, GL_FLOAT, GL_FALSE, quadVertexStride,
                          reinterpret_cast<const void*>(offsetof(QuadVertex, u)));
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindVertexArray(0);
}

void writeQuadVertices(GLuint buffer, const QuadVertices& vertices) {
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferSubData(GL_ARRAY_BUFFER, 0, quadBufferBytes, vertices.data());
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}
