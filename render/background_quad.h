// The full-window rectangle that shows the backdrop image; the scrolling
// shader pans across the image, so the vertices change only with the size.
#pragma once

#include "gl_loader.h"

inline constexpr int backdropResource = 126;
inline constexpr int backdropWidth = 2457;
inline constexpr int backdropHeight = 768;
// The quad shows the left half of the image; the shader adds up to 0.5 to u.
inline constexpr float backdropVisibleU = 0.5f;

class BackgroundQuad {
public:
    // Builds the buffer, loads the backdrop texture and writes the vertices.
    BackgroundQuad(int windowWidth, int windowHeight);

    // Rewrites the six vertices from width, height and depth.
    void updateVertices();

    // Deletes the vertex array, the buffer and the texture; needs the context current.
    void release();

    GLuint vao = 0;
    GLuint vbo = 0;
    GLuint texture = 0;
    float height = 0.0f;
    float width = 0.0f;
    float depth = 0.0f;
};
