#include "frame.h"

#include "background_quad.h"
#include "gl_loader.h"
#include "logo_effect.h"
#include "quad_geometry.h"
#include "shader_program.h"
#include "text_renderer.h"
// gl_loader.h provides the GL declarations; GLFW must not include its own.
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

namespace {

constexpr float nearPlane = -1.0f;
constexpr float farPlane = 1.0f;

void drawBackgroundPass(const ShaderProgram& program, const BackgroundQuad& quad, const float* projection, float time) {
    glUseProgram(program.ID);
    program.setMatrix4("projection", projection);
    const float mask[4] = {backgroundDimming, backgroundDimming, backgroundDimming, 1.0f};
    program.setVector4("maskColor", mask);
    program.setFloat("time", time);
    glActiveTexture(GL_TEXTURE0);
    glBindVertexArray(quad.vao);
    glBindTexture(GL_TEXTURE_2D, quad.texture);
    glDrawArrays(GL_TRIANGLES, 0, quadVertexCount);
}

}  // namespace

ProjectionMatrix orthographicProjection(float width, float height) {
    const float left = 0.0f;
    const float bottom = 0.0f;
    return {
        2.0f / (width - left), 0.0f, 0.0f, 0.0f,
        0.0f, 2.0f / (height - bottom), 0.0f, 0.0f,
        0.0f, 0.0f, -2.0f / (farPlane - nearPlane), 0.0f,
        -(width + left) / (width - left), -(height + bottom) / (height - bottom),
        -(farPlane + nearPlane) / (farPlane - nearPlane), 1.0f,
    };
}

void drawFrame(const FrameScene& scene) {
    glClearColor(clearGrey, clearGrey, clearGrey, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    // A minimised window has no area: its projection would divide by zero.
    if (scene.windowWidth <= 0 || scene.windowHeight <= 0) {
        return;
    }
    const float width = static_cast<float>(scene.windowWidth);
    const float height = static_cast<float>(scene.windowHeight);
    const ProjectionMatrix projection = orthographicProjection(width, height);
    drawBackgroundPass(*scene.backgroundProgram, *scene.backgroundQuad, projection.data(), scene.currentTime);
    drawLogoPass(*scene.logoProgram, *scene.logo, projection.data());
    drawTextPass(*scene.textProgram, *scene.textRenderer, projection.data(), width, height);
}

void renderFrame(const FrameScene& scene) {
    drawFrame(scene);
    glfwSwapBuffers(scene.window);
}
