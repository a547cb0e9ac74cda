// GLFW is initialised once for the whole run; every test opens its own window.
#include <gtest/gtest.h>

#include <cstdlib>

#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

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
