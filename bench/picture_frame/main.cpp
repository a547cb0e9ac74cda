// Frame rate of the presentation's drawing at the screen's size: every object
// built as start-up builds them, the first message fully shown and the logo
// away from the centre with its whole trail. Run on a display (a virtual X
// server with Mesa's software renderer measures the CPU path).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string_view>

#include "background_quad.h"
#include "frame.h"
#include "gl_loader.h"
#include "logo_effect.h"
#include "messages.h"
#include "shader_program.h"
#include "text_renderer.h"
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

namespace {

struct Presentation {
    GLFWwindow* window = nullptr;
    int width = 0;
    int height = 0;
    std::unique_ptr<TextRenderer> textRenderer;
    std::unique_ptr<ShaderProgram> logoProgram;
    std::unique_ptr<ShaderProgram> textProgram;
    std::unique_ptr<ShaderProgram> backgroundProgram;
    std::unique_ptr<LogoEffect> logo;
    std::unique_ptr<BackgroundQuad> backgroundQuad;

    FrameScene scene(float time) const {
        return {window,
                width,
                height,
                time,
                logoProgram.get(),
                textProgram.get(),
                backgroundProgram.get(),
                backgroundQuad.get(),
                logo.get(),
                textRenderer.get()};
    }
};

Presentation* presentation = nullptr;

// Waits for the rasteriser; the program itself never needs to.
PFNGLFINISHPROC finishDrawing = nullptr;

// A full-screen window on the primary monitor, as the program opens it.
bool openPresentation(Presentation& target) {
    GLFWmonitor* monitor = glfwGetPrimaryMonitor();
    const GLFWvidmode* mode = monitor != nullptr ? glfwGetVideoMode(monitor) : nullptr;
    if (mode == nullptr) {
        return false;
    }
    target.width = mode->width;
    target.height = mode->height;
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    target.window = glfwCreateWindow(target.width, target.height, "picture frame benchmark", monitor, nullptr);
    if (target.window == nullptr) {
        return false;
    }
    glfwMakeContextCurrent(target.window);
    if (loadGlFunctions(reinterpret_cast<GlProcLookup>(glfwGetProcAddress)) == 0) {
        return false;
    }
    finishDrawing = reinterpret_cast<PFNGLFINISHPROC>(glfwGetProcAddress("glFinish"));
    if (finishDrawing == nullptr) {
        return false;
    }
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glViewport(0, 0, target.width, target.height);
    target.textRenderer = std::make_unique<TextRenderer>(static_cast<float>(target.width * 0.062), 0.0125f,
                                                         static_cast<float>(0.12 / 7.0), 2.0f);
    for (std::string_view message : presentationMessages) {
        target.textRenderer->addMessage(message);
    }
    for (TextLine& line : target.textRenderer->messages.front().lines) {
        for (TextGlyph& glyph : line.glyphs) {
            glyph.alpha = 1.0f;
        }
    }
    target.logoProgram = std::make_unique<ShaderProgram>(129, 131);
    target.textProgram = std::make_unique<ShaderProgram>(129, 131);
    target.backgroundProgram = std::make_unique<ShaderProgram>(132, 130);
    target.logo = std::make_unique<LogoEffect>(static_cast<float>(target.width), static_cast<float>(target.height),
                                               0.5f, static_cast<float>(2.0 / 7.0));
    target.logo->offsetX = 0.6f;
    target.logo->offsetY = 0.4f;
    target.backgroundQuad = std::make_unique<BackgroundQuad>(target.width, target.height);
    return true;
}

// Drawing only, finished on the GPU side (here: the software rasteriser).
void drawFrameOnly(benchmark::State& state) {
    float time = 1.0f;
    for (auto _ : state) {
        drawFrame(presentation->scene(time));
        finishDrawing();
        time += 1.0f / 60.0f;
    }
    state.counters["frames_per_second"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                             benchmark::Counter::kIsRate);
    state.SetLabel(std::to_string(presentation->width) + "x" + std::to_string(presentation->height));
}

// What the main loop pays per frame: drawing and presenting.
void drawAndPresent(benchmark::State& state) {
    float time = 1.0f;
    for (auto _ : state) {
        renderFrame(presentation->scene(time));
        glfwPollEvents();
        time += 1.0f / 60.0f;
    }
    state.counters["frames_per_second"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                             benchmark::Counter::kIsRate);
    state.SetLabel(std::to_string(presentation->width) + "x" + std::to_string(presentation->height));
}

BENCHMARK(drawFrameOnly)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();
BENCHMARK(drawAndPresent)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

}  // namespace

int main(int argumentCount, char** arguments) {
    benchmark::Initialize(&argumentCount, arguments);
    if (glfwInit() != GLFW_TRUE) {
        std::fprintf(stderr, "bench_picture needs a display (see run_bench_picture)\n");
        return 1;
    }
    Presentation opened;
    if (!openPresentation(opened)) {
        std::fprintf(stderr, "bench_picture: no window with an OpenGL 3.3 context\n");
        glfwTerminate();
        return 1;
    }
    presentation = &opened;
    benchmark::RunSpecifiedBenchmarks();
    opened.textRenderer->release();
    opened.logoProgram->release();
    opened.textProgram->release();
    opened.backgroundProgram->release();
    opened.logo->release();
    opened.backgroundQuad->release();
    glfwTerminate();
    benchmark::Shutdown();
    return 0;
}
