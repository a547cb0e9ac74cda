// The presentation in a browser tab. The page (index.html) owns what only a
// browser has: the overlay that waits for a gesture, the AudioContext, full
// screen. This entry point builds the same shell as the desktop over
// emscripten's GLFW and WebGL 2 and runs its frames from the browser's
// animation callback instead of a loop.
//
// Until the page calls introStart (the first gesture, or at once with
// ?autostart) the first frame stands still at time 0; then music and picture
// start together, as on the desktop. Escape ends the presentation: the music
// stops and the last frame stays.
#include <emscripten.h>
#include <emscripten/html5.h>

#include <cmath>

#include "shell.h"
#include "web_gl_lookup.h"
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

namespace {

constexpr const char* canvasSelector = "#canvas";
constexpr const char* windowTitle = "Pictures in motion and a tracker song, looped";

enum class PageState { Waiting, Running, Ended };
PageState pageState = PageState::Waiting;
bool firstFrameShown = false;

// Emscripten's GLFW has no sticky keys: a tap of Escape or M that begins and
// ends between two frames would go unseen. The key callback latches presses,
// and the next frame applies a latched press that the frame itself would
// miss, as sticky keys do on the desktop.
bool escapeLatched = false;
bool musicKeyLatched = false;

void latchPresses(GLFWwindow* /*window*/, int key, int /*scancode*/, int action, int /*mods*/) {
    if (action != GLFW_PRESS) {
        return;
    }
    if (key == GLFW_KEY_ESCAPE) {
        escapeLatched = true;
    } else if (key == GLFW_KEY_M) {
        musicKeyLatched = true;
    }
}

void applyLatchedPresses() {
    ShellState& state = shell();
    if (escapeLatched) {
        glfwSetWindowShouldClose(state.window, GLFW_TRUE);
    }
    // Still held: the frame reads the press itself.
    if (musicKeyLatched && glfwGetKey(state.window, GLFW_KEY_M) != GLFW_PRESS) {
        handleMusicKey(true);
    }
    escapeLatched = false;
    musicKeyLatched = false;
}

// The canvas covers the page; its drawing buffer has one pixel per device
// pixel, so it is sharp on high-density screens.
void canvasDevicePixels(int& width, int& height) {
    double cssWidth = 0.0;
    double cssHeight = 0.0;
    emscripten_get_element_css_size(canvasSelector, &cssWidth, &cssHeight);
    const double ratio = emscripten_get_device_pixel_ratio();
    width = static_cast<int>(std::lround(cssWidth * ratio));
    height = static_cast<int>(std::lround(cssHeight * ratio));
}

void followCanvasSize() {
    ShellState& state = shell();
    int width = 0;
    int height = 0;
    canvasDevicePixels(width, height);
    if (width != state.windowWidth || height != state.windowHeight) {
        emscripten_set_canvas_element_size(canvasSelector, width, height);
        onFramebufferResize(state.window, width, height);
    }
}

EM_JS(void, tellPage, (const char* event), {
    const handler = Module["onIntroEvent"];
    if (handler) {
        handler(UTF8ToString(event));
    }
});

void endPresentation() {
    ShellState& state = shell();
    pageState = PageState::Ended;
    if (state.song != nullptr) {
        stopPlayback(state.playback.get(), state.song);
    }
    emscripten_cancel_main_loop();
    tellPage("ended");
}

void browserFrame() {
    followCanvasSize();
    ShellState& state = shell();
    if (pageState == PageState::Waiting) {
        // The first frame, at time 0, until the viewer starts it.
        glfwSetTime(0.0);
        state.currentTime = 0.0f;
        renderFrame(pictureScene(state, state.window, state.windowWidth, state.windowHeight, 0.0f));
        glfwPollEvents();
    } else {
        applyLatchedPresses();
        runFrame();
    }
    if (!firstFrameShown) {
        firstFrameShown = true;
        tellPage("first-frame");
    }
    if (glfwWindowShouldClose(state.window) != 0) {
        endPresentation();
    }
}

}  // namespace

// Called by the page on the first gesture (or at once with ?autostart).
extern "C" EMSCRIPTEN_KEEPALIVE void introStart() {
    if (pageState != PageState::Waiting) {
        return;
    }
    ShellState& state = shell();
    pageState = PageState::Running;
    // The key that started it is not also a press of M or Escape.
    state.musicKeyWasDown = true;
    escapeLatched = false;
    musicKeyLatched = false;
    glfwSetWindowShouldClose(state.window, GLFW_FALSE);
    glfwSetTime(0.0);
    state.currentTime = 0.0f;
    startMusic();
    tellPage("started");
}

int main() {
    ShellState& state = shell();
    if (glfwInit() != GLFW_TRUE) {
        tellPage("no-webgl2");
        return 1;
    }
    canvasDevicePixels(state.windowWidth, state.windowHeight);
    // GLSL ES 3.00 needs a WebGL 2 context.
    glfwWindowHint(GLFW_CLIENT_API, GLFW_OPENGL_ES_API);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 0);
    state.window = glfwCreateWindow(state.windowWidth, state.windowHeight, windowTitle, nullptr, nullptr);
    if (state.window == nullptr) {
        tellPage("no-webgl2");
        return 1;
    }
    glfwMakeContextCurrent(state.window);
    emscripten_set_canvas_element_size(canvasSelector, state.windowWidth, state.windowHeight);
    if (!prepareShell(webGlLookup, MusicStart::Later)) {
        tellPage("no-webgl2");
        return 1;
    }
    glfwSetKeyCallback(state.window, latchPresses);
    tellPage("ready");
    emscripten_set_main_loop(browserFrame, 0, false);
    return 0;
}
