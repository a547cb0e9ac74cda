#include "gl_test_window.h"

#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

GlTestWindow::GlTestWindow(int width, int height) {
    glfwDefaultWindowHints();
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    window_ = glfwCreateWindow(width, height, "picture test", nullptr, nullptr);
    if (window_ == nullptr) {
        return;
    }
    glfwMakeContextCurrent(window_);
    const auto lookup = reinterpret_cast<GlProcLookup>(glfwGetProcAddress);
    if (loadGlFunctions(lookup) == 0 || loadReadBackFunctions(lookup) == 0) {
        return;
    }
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glViewport(0, 0, width, height);
    ready_ = true;
}

GlTestWindow::~GlTestWindow() {
    if (window_ != nullptr) {
        glfwDestroyWindow(window_);
    }
}

PixelGrid PixelGrid::read(int width, int height) {
    PixelGrid grid;
    grid.width_ = width;
    grid.height_ = height;
    grid.bytes_.resize(static_cast<std::size_t>(width) * height * 4);
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, grid.bytes_.data());
    return grid;
}

Rgba PixelGrid::at(int x, int y) const {
    const std::size_t index = (static_cast<std::size_t>(y) * width_ + x) * 4;
    return {bytes_[index], bytes_[index + 1], bytes_[index + 2], bytes_[index + 3]};
}
