#include "shell.h"

#include <bit>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "background_quad.h"
#include "frame.h"
#include "gl_loader.h"
#include "logo_effect.h"
#include "messages.h"
#include "playback.h"
#include "shader_program.h"
#include "song.h"
#include "text_renderer.h"
#include "timeline.h"
// gl_loader.h provides the GL declarations; GLFW must not include its own.
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

namespace {

constexpr std::string_view windowTitle = "Pictures in motion and a tracker song, looped";
static_assert(windowTitle.size() == 45);

// The song's resource number travels in the loader's name pointer.
constexpr intptr_t songResourceIdentifier = 127;

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

// The text is sized from the screen width at start-up and never resized.
constexpr double textSizePerWindowWidth = 0.062;
constexpr float glyphFadeOutSeconds = 0.0125f;
constexpr float glyphFadeInSeconds = static_cast<float>(0.12 / 7.0);
constexpr float messageHoldSeconds = 2.0f;
constexpr float logoDepth = 0.5f;
constexpr float logoSideFraction = static_cast<float>(2.0 / 7.0);  // of the window height
static_assert(std::bit_cast<uint32_t>(glyphFadeInSeconds) == 0x3C8C6F2Du);
static_assert(std::bit_cast<uint32_t>(logoSideFraction) == 0x3E924925u);

constexpr int layerVertexShader = 129;
constexpr int maskFragmentShader = 130;
constexpr int textFragmentShader = 131;
constexpr int scrollingVertexShader = 132;

// Text renderer and messages, the three programs, the logo, the background.
void buildPicture(ShellState& state) {
    const auto pixelSize = static_cast<float>(state.windowWidth * textSizePerWindowWidth);
    state.textRenderer = new TextRenderer(pixelSize, glyphFadeOutSeconds, glyphFadeInSeconds, messageHoldSeconds);
    for (std::string_view message : presentationMessages) {
        state.textRenderer->addMessage(message);
    }
    state.logoProgram = new ShaderProgram(layerVertexShader, textFragmentShader);
    state.textProgram = new ShaderProgram(layerVertexShader, textFragmentShader);
    state.backgroundProgram = new ShaderProgram(scrollingVertexShader, maskFragmentShader);
    state.logo = new LogoEffect(static_cast<float>(state.windowWidth), static_cast<float>(state.windowHeight),
                                logoDepth, logoSideFraction);
    state.backgroundQuad = new BackgroundQuad(state.windowWidth, state.windowHeight);
}

// Every GL object goes while the context is still current.
void releasePicture(ShellState& state) {
    if (state.textRenderer != nullptr) {
        state.textRenderer->release();
    }
    for (ShaderProgram* program : {state.logoProgram, state.backgroundProgram, state.textProgram}) {
        if (program != nullptr) {
            program->release();
        }
    }
    if (state.backgroundQuad != nullptr) {
        state.backgroundQuad->release();
    }
    if (state.logo != nullptr) {
        state.logo->release();
    }
    delete state.textRenderer;
    delete state.logoProgram;
    delete state.backgroundProgram;
    delete state.textProgram;
    delete state.backgroundQuad;
    delete state.logo;
    state.textRenderer = nullptr;
    state.logoProgram = nullptr;
    state.backgroundProgram = nullptr;
    state.textProgram = nullptr;
    state.backgroundQuad = nullptr;
    state.logo = nullptr;
}

FrameScene frameScene(const ShellState& state) {
    return {state.window,      state.windowWidth, state.windowHeight,      state.currentTime, state.logoProgram,
            state.textProgram, state.backgroundProgram, state.backgroundQuad, state.logo,        state.textRenderer};
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
    // A key pressed and released between two frames still reads as pressed
    // once, so a short tap on Escape or M is never lost.
    glfwSetInputMode(state.window, GLFW_STICKY_KEYS, GLFW_TRUE);

    state.song = loadSong(reinterpret_cast<const char*>(songResourceIdentifier), nullptr);
    if (state.song == nullptr) {
        std::printf("\n Error loading File .xm\n");
        std::fflush(stdout);
    } else {
        state.playback.reset(createPlayback());
        startPlayback(state.playback.get(), state.song);  // without a sound device the presentation runs silent
    }

    buildPicture(state);

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
    if (state.song == nullptr) {
        return;
    }
    if (state.musicMuted) {
        stopPlayback(state.playback.get(), state.song);
    } else {
        startPlayback(state.playback.get(), state.song);  // from the song's beginning
    }
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

        updateTimeline(state.textRenderer->messages, deltaTime);
        stepLogoPath(*state.logo, deltaTime);
        renderFrame(frameScene(state));

        glfwPollEvents();
    }
}

void shutDown() {
    releasePicture(shell());
    glfwTerminate();
}

void onFramebufferResize(GLFWwindow* /*window*/, int width, int height) {
    ShellState& state = shell();
    state.windowWidth = width;
    state.windowHeight = height;
    glViewport(0, 0, width, height);
    // The projection follows in the next frame; the geometry is rebuilt now.
    if (state.backgroundQuad != nullptr) {
        state.backgroundQuad->width = static_cast<float>(width);
        state.backgroundQuad->height = static_cast<float>(height);
        state.backgroundQuad->updateVertices();
    }
    if (state.logo != nullptr) {
        state.logo->width = static_cast<float>(width);
        state.logo->height = static_cast<float>(height);
        state.logo->updateQuad();
    }
}
