#include "shell.h"

#include <cstdio>
#include <string_view>

#include "gl_loader.h"
// gl_loader.h provides the GL declarations; GLFW must not include its own.
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

namespace {

constexpr std::string_view windowTitle = "Pictures in motion and a tracker song, looped";
static_assert(windowTitle.size() == 45);

constexpr int requiredMajorVersion = 3;
constexpr int requiredMinorVersion = 3;

// Reads "major.minor" from the current context's version string.
bool contextIsAtLeast33() {
    auto getString = reinterpret_cast<PFNGLGETSTRINGPROC>(glfwGetProcAddress("glGetString"));
    if (getString == nullptr) {
        return false;
    }
    const auto* version = reinterpret_cast<const char*>(getString(GL_VERSION));
    int major = 0;
    int minor = 0;
    if (version == nullptr || std::sscanf(version, "%d.%d", &major, &minor) != 2) {
        return false;
    }
    return major > requiredMajorVersion || (major == requiredMajorVersion && minor >= requiredMinorVersion);
}

void failWindow() {
    std::printf("Failed to create the window\n");
    std::fflush(stdout);
    glfwTerminate();
}

}  // namespace

ShellState& shell() {
    static ShellState state;
    return state;
}

bool startUp() {
    ShellState& state = shell();
    // Without a window system (or a monitor) no window can be created: same
    // report and the same orderly end as a failed window.
    if (glfwInit() != GLFW_TRUE) {
        failWindow();
        return false;
    }
    GLFWmonitor* monitor = glfwGetPrimaryMonitor();
    const GLFWvidmode* mode = monitor != nullptr ? glfwGetVideoMode(monitor) : nullptr;
    if (mode == nullptr) {
        failWindow();
        return false;
    }
    state.windowWidth = mode->width;
    state.windowHeight = mode->height;

    state.window = glfwCreateWindow(state.windowWidth, state.windowHeight, windowTitle.data(), monitor, nullptr);
    if (state.window == nullptr) {
        failWindow();
        return false;
    }
    glfwMakeContextCurrent(state.window);

    // The shaders need GLSL 3.30; where the default context is older, ask for
    // a 3.3 core context instead.
    if (!contextIsAtLeast33()) {
        glfwDestroyWindow(state.window);
        glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, requiredMajorVersion);
        glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, requiredMinorVersion);
        glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
        glfwWindowHint(GLFW_OPENGL_FORWARD_COMPAT, GLFW_TRUE);
        state.window = glfwCreateWindow(state.windowWidth, state.windowHeight, windowTitle.data(), monitor, nullptr);
        if (state.window == nullptr) {
            failWindow();
            return false;
        }
        glfwMakeContextCurrent(state.window);
    }

    const int loaded = loadGlFunctions(reinterpret_cast<GlProcLookup>(glfwGetProcAddress));
    if (loaded == 0) {
        std::printf("%d\nFailed to initialize GLAD\n", loaded);
        std::fflush(stdout);
        glfwTerminate();
        return false;
    }

    glEnable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glViewport(0, 0, state.windowWidth, state.windowHeight);
    glfwSetFramebufferSizeCallback(state.window, onFramebufferResize);

    // MUSIC: load the song and start playback.

    // PICTURE: text renderer and its seven messages, the three shader
    // programs, the logo and the background quad, in that order.

    return true;
}

void handleMusicKey(bool keyDown) {
    ShellState& state = shell();
    const bool pressed = keyDown && !state.musicKeyWasDown;
    state.musicKeyWasDown = keyDown;
    if (!pressed) {
        return;
    }
    state.musicMuted = !state.musicMuted;
    // MUSIC: stop or restart playback.
}

void runMainLoop() {
    ShellState& state = shell();
    state.currentTime = static_cast<float>(glfwGetTime());
    while (glfwWindowShouldClose(state.window) == 0) {
        const float now = static_cast<float>(glfwGetTime());
        const float deltaTime = now - state.currentTime;
        state.currentTime = now;
        (void)deltaTime;

        if (glfwGetKey(state.window, GLFW_KEY_ESCAPE) == GLFW_PRESS) {
            glfwSetWindowShouldClose(state.window, GLFW_TRUE);
        }
        handleMusicKey(glfwGetKey(state.window, GLFW_KEY_M) == GLFW_PRESS);

        // PICTURE: timeline update and logo path step with deltaTime, then the
        // frame. Until then each frame is cleared and presented.
        glClearColor(0.3f, 0.3f, 0.3f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glfwSwapBuffers(state.window);

        glfwPollEvents();
    }
}

void shutDown() {
    // PICTURE: release the text renderer, the programs (logo, background,
    // text), the background quad and the logo, while the context is current.
    glfwTerminate();
}

void onFramebufferResize(GLFWwindow* /*window*/, int width, int height) {
    ShellState& state = shell();
    state.windowWidth = width;
    state.windowHeight = height;
    glViewport(0, 0, width, height);
    // PICTURE: resize the background quad and the logo.
}
