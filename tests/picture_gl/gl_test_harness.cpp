#include "gl_test_harness.h"

#include <gtest/gtest.h>

#include <cstdlib>

#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

namespace {

bool loadReadBackFunctions(GlProcLookup lookup) {
    bool found = true;
#define INTRO_LOAD_READ_BACK(type, name)                 \
    test_##name = reinterpret_cast<type>(lookup(#name)); \
    found = found && test_##name != nullptr;
    INTRO_READ_BACK_FUNCTIONS(INTRO_LOAD_READ_BACK)
#undef INTRO_LOAD_READ_BACK
    return found;
}

}  // namespace

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
    if (loadGlFunctions(lookup) == 0 || !loadReadBackFunctions(lookup)) {
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
    PixelGrid grid{width, height, std::vector<uint8_t>(static_cast<std::size_t>(width) * height * 4)};
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, grid.bytes.data());
    return grid;
}

Rgba PixelGrid::at(int x, int y) const {
    const std::size_t index = (static_cast<std::size_t>(y) * width + x) * 4;
    return {bytes[index], bytes[index + 1], bytes[index + 2], bytes[index + 3]};
}

// GLFW is initialised once for the whole run; every test opens its own window.
int main(int argumentCount, char** arguments) {
    testing::InitGoogleTest(&argumentCount, arguments);
    // Mesa's shader cache skips compiling a source it has seen before, even
    // for another stage, and would hide the compile errors under test.
    setenv("MESA_SHADER_CACHE_DISABLE", "true", 1);
    if (glfwInit() != GLFW_TRUE) {
        std::fprintf(stderr, "no display: these tests run on a virtual X server (see CMakeLists.txt)\n");
        return 1;
    }
    const int result = RUN_ALL_TESTS();
    glfwTerminate();
    return result;
}
