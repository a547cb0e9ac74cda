#include "shell.h"

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "background_quad.h"
#include "frame.h"
#include "gl_loader.h"
#include "logo_effect.h"
#include "picture.h"
#include "playback.h"
#include "song.h"
// gl_loader.h provides the GL declarations; GLFW must not include its own.
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

using namespace intro_music::engine;

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

// What the window system said last: the reason a window could not be made.
char windowSystemError[256] = "";

void noteWindowSystemError(int /*code*/, const char* description) {
    std::snprintf(windowSystemError, sizeof windowSystemError, "%s", description != nullptr ? description : "");
}

// The fixed line on standard output, and on standard error one line saying why.
void failWindow() {
    std::printf("Failed to create the window\n");
    std::fflush(stdout);
    const bool known = windowSystemError[0] != '\0';
    std::fprintf(stderr, "intro: no display to show the presentation on%s%s\n", known ? ": " : "", windowSystemError);
    glfwTerminate();
}

// Once per run: the music stays off where no sound device opens, the picture goes on.
void startSound(ShellState& state) {
    static bool reported = false;
    if (!startPlayback(state.playback.get(), state.song) && !reported) {
        reported = true;
        std::fprintf(stderr, "intro: no sound device opened; the presentation goes on without its music\n");
    }
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
    glfwSetErrorCallback(noteWindowSystemError);
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

    return prepareShell(reinterpret_cast<GlProcLookup>(glfwGetProcAddress), MusicStart::AtOnce);
}

bool prepareShell(GlProcLookup glLookup, MusicStart musicStart) {
    ShellState& state = shell();
    const int loaded = loadGlFunctions(glLookup);
    if (loaded == 0) {
        std::printf("%d\nFailed to initialize GLAD\n", loaded);
        std::fflush(stdout);
        glfwTerminate();
        return false;
    }

    setPictureGlState(state.windowWidth, state.windowHeight);
    glfwSetFramebufferSizeCallback(state.window, onFramebufferResize);
    // A key pressed and released between two frames still reads as pressed
    // once, so a short tap on Escape or M is never lost. The browser's GLFW
    // has no sticky keys (and says so on the console): the web build latches
    // taps itself.
#if !defined(__EMSCRIPTEN__)
    glfwSetInputMode(state.window, GLFW_STICKY_KEYS, GLFW_TRUE);
#endif

    state.song = loadSong(reinterpret_cast<const char*>(songResourceIdentifier), nullptr);
    if (state.song == nullptr) {
        std::printf("\n Error loading File .xm\n");
        std::fflush(stdout);
    } else {
        state.song->rules = presentationRules;  // the presentation plays by its own rules, not the tracker's
        if (musicStart == MusicStart::AtOnce) startMusic();
    }

    buildPicture(state, state.windowWidth, state.windowHeight);

    return true;
}

void startMusic() {
    ShellState& state = shell();
    if (state.song == nullptr) {
        return;
    }
    if (state.playback == nullptr) {
        state.playback.reset(createPlayback());
    }
    startSound(state);
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
        startSound(state);  // from the song's beginning
    }
}

void runMainLoop() {
    ShellState& state = shell();
    state.currentTime = static_cast<float>(glfwGetTime());
    while (glfwWindowShouldClose(state.window) == 0) {
        runFrame();
    }
}

void runFrame() {
    ShellState& state = shell();
    const float now = static_cast<float>(glfwGetTime());
    const float deltaTime = now - state.currentTime;
    state.currentTime = now;

    if (glfwGetKey(state.window, GLFW_KEY_ESCAPE) == GLFW_PRESS) {
        glfwSetWindowShouldClose(state.window, GLFW_TRUE);
    }
    handleMusicKey(glfwGetKey(state.window, GLFW_KEY_M) == GLFW_PRESS);

    advancePicture(state, deltaTime);
    renderFrame(pictureScene(state, state.window, state.windowWidth, state.windowHeight, state.currentTime));

    glfwPollEvents();
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
