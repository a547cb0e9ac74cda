#include "probes.h"

#include <GL/glcorearb.h>
#include <time.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include <ft2build.h>
#include FT_FREETYPE_H
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

struct Song;
struct Playback;
struct MusicEngine;

// The originals, reached through the linker's --wrap renaming.
extern "C" {
int __real_glfwInit();
GLFWwindow* __real_glfwCreateWindow(int width, int height, const char* title, GLFWmonitor* monitor,
                                    GLFWwindow* share);
GLFWglproc __real_glfwGetProcAddress(const char* name);
void __real_glfwSwapBuffers(GLFWwindow* window);
FT_Error __real_FT_Load_Char(FT_Face face, FT_ULong code, FT_Int32 flags);
void __real__ZN11intro_music6engine9fillBlockERNS0_11MusicEngineE(MusicEngine& engine);                // fillBlock(MusicEngine&)
bool __real__ZN11intro_music6engine13startPlaybackEPNS0_8PlaybackEPNS0_4SongE(Playback* playback, Song* song);  // startPlayback(Playback*, Song*)
void* __real_malloc(size_t size);
void* __real_calloc(size_t count, size_t size);
void* __real_realloc(void* pointer, size_t size);
}

namespace {

ProbeTotals totals;
FrameLog frames;
thread_local bool onMainThread = false;
bool startUpRunning = false;

std::atomic<bool> countingAllocations{false};
std::atomic<int64_t> mainThreadNews{0};
std::atomic<int64_t> mainThreadNewBytes{0};
std::atomic<int64_t> otherThreadNews{0};
std::atomic<int64_t> ourMallocs{0};

void noteNew(size_t size) {
    if (!countingAllocations.load(std::memory_order_relaxed)) {
        return;
    }
    if (onMainThread) {
        mainThreadNews.fetch_add(1, std::memory_order_relaxed);
        mainThreadNewBytes.fetch_add(static_cast<int64_t>(size), std::memory_order_relaxed);
    } else {
        otherThreadNews.fetch_add(1, std::memory_order_relaxed);
    }
}

void startCountingAllocations() {
    mainThreadNews = 0;
    mainThreadNewBytes = 0;
    otherThreadNews = 0;
    ourMallocs = 0;
    countingAllocations = true;
}

AllocationCounts stopCountingAllocations() {
    countingAllocations = false;
    return {mainThreadNews.load(), mainThreadNewBytes.load(), otherThreadNews.load(), ourMallocs.load()};
}

void noteMalloc() {
    if (countingAllocations.load(std::memory_order_relaxed)) {
        ourMallocs.fetch_add(1, std::memory_order_relaxed);
    }
}

// Adds the time of one call to a start-up total.
class StartUpSpan {
public:
    explicit StartUpSpan(int64_t& total) : total_(inStartUp() && onMainThread ? &total : nullptr) {
        if (total_ != nullptr) start_ = monotonicNanoseconds();
    }
    ~StartUpSpan() {
        if (total_ != nullptr) *total_ += monotonicNanoseconds() - start_;
    }
    StartUpSpan(const StartUpSpan&) = delete;
    StartUpSpan& operator=(const StartUpSpan&) = delete;

private:
    int64_t* total_;
    int64_t start_ = 0;
};

// GL entry points whose calls are timed: the real pointer and a stand-in.
PFNGLCOMPILESHADERPROC realCompileShader = nullptr;
PFNGLLINKPROGRAMPROC realLinkProgram = nullptr;
PFNGLTEXIMAGE2DPROC realTexImage2D = nullptr;

void APIENTRY timedCompileShader(GLuint shader) {
    StartUpSpan span(totals.shaderNs);
    realCompileShader(shader);
}

void APIENTRY timedLinkProgram(GLuint program) {
    StartUpSpan span(totals.shaderNs);
    realLinkProgram(program);
}

void APIENTRY timedTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height,
                              GLint border, GLenum format, GLenum type, const void* pixels) {
    StartUpSpan span(totals.textureNs);
    realTexImage2D(target, level, internalFormat, width, height, border, format, type, pixels);
}

}  // namespace

int64_t monotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

ProbeTotals& probeTotals() { return totals; }
FrameLog& frameLog() { return frames; }
void setInStartUp(bool inside) { startUpRunning = inside; }
bool inStartUp() { return startUpRunning; }
void markMainThread() { onMainThread = true; }


extern "C" {

int __wrap_glfwInit() {
    StartUpSpan span(totals.glfwInitNs);
    return __real_glfwInit();
}

GLFWwindow* __wrap_glfwCreateWindow(int width, int height, const char* title, GLFWmonitor* monitor,
                                    GLFWwindow* share) {
    StartUpSpan span(totals.windowNs);
    return __real_glfwCreateWindow(width, height, title, monitor, share);
}

// The presentation loads its GL entry points through this lookup: the timed
// ones are handed out as stand-ins that call the real ones.
GLFWglproc __wrap_glfwGetProcAddress(const char* name) {
    const GLFWglproc real = __real_glfwGetProcAddress(name);
    if (real == nullptr) {
        return nullptr;
    }
    if (std::strcmp(name, "glCompileShader") == 0) {
        realCompileShader = reinterpret_cast<PFNGLCOMPILESHADERPROC>(real);
        return reinterpret_cast<GLFWglproc>(timedCompileShader);
    }
    if (std::strcmp(name, "glLinkProgram") == 0) {
        realLinkProgram = reinterpret_cast<PFNGLLINKPROGRAMPROC>(real);
        return reinterpret_cast<GLFWglproc>(timedLinkProgram);
    }
    if (std::strcmp(name, "glTexImage2D") == 0) {
        realTexImage2D = reinterpret_cast<PFNGLTEXIMAGE2DPROC>(real);
        return reinterpret_cast<GLFWglproc>(timedTexImage2D);
    }
    return real;
}

// Every presented frame is stamped; allocations are counted over the measured
// frames; after the last one the window is asked to close, which ends the
// real main loop at its next check.
void __wrap_glfwSwapBuffers(GLFWwindow* window) {
    __real_glfwSwapBuffers(window);
    if (!onMainThread) {
        return;
    }
    const int32_t index = totals.presentedFrames;
    if (index < maxRecordedFrames) {
        frames.presentedAt[index] = monotonicNanoseconds();
    }
    totals.presentedFrames = index + 1;
    if (totals.presentedFrames == frames.countFromFrame) {
        startCountingAllocations();
    }
    if (totals.presentedFrames == frames.framesToPresent) {
        frames.counted = stopCountingAllocations();
        glfwSetWindowShouldClose(window, GLFW_TRUE);
    }
}

FT_Error __wrap_FT_Load_Char(FT_Face face, FT_ULong code, FT_Int32 flags) {
    StartUpSpan span(totals.glyphNs);
    return __real_FT_Load_Char(face, code, flags);
}

void __wrap__ZN11intro_music6engine9fillBlockERNS0_11MusicEngineE(MusicEngine& engine) {
    StartUpSpan span(totals.prefillNs);
    __real__ZN11intro_music6engine9fillBlockERNS0_11MusicEngineE(engine);
}

bool __wrap__ZN11intro_music6engine13startPlaybackEPNS0_8PlaybackEPNS0_4SongE(Playback* playback, Song* song) {
    StartUpSpan span(totals.audioStartNs);
    return __real__ZN11intro_music6engine13startPlaybackEPNS0_8PlaybackEPNS0_4SongE(playback, song);
}

void* __wrap_malloc(size_t size) {
    noteMalloc();
    return __real_malloc(size);
}

void* __wrap_calloc(size_t count, size_t size) {
    noteMalloc();
    return __real_calloc(count, size);
}

void* __wrap_realloc(void* pointer, size_t size) {
    noteMalloc();
    return __real_realloc(pointer, size);
}

}  // extern "C"

// Every C++ allocation in the process, libraries included, passes here. The
// real malloc is called directly so that these are not counted twice.
void* operator new(size_t size) {
    noteNew(size);
    if (void* block = __real_malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}

void* operator new[](size_t size) { return operator new(size); }

void* operator new(size_t size, const std::nothrow_t&) noexcept {
    noteNew(size);
    return __real_malloc(size == 0 ? 1 : size);
}

void* operator new[](size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }

void* operator new(size_t size, std::align_val_t alignment) {
    noteNew(size);
    const size_t align = static_cast<size_t>(alignment);
    if (void* block = std::aligned_alloc(align, (size + align - 1) / align * align)) {
        return block;
    }
    throw std::bad_alloc();
}

void* operator new[](size_t size, std::align_val_t alignment) { return operator new(size, alignment); }

void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, size_t) noexcept { std::free(block); }
void operator delete[](void* block, size_t) noexcept { std::free(block); }
void operator delete(void* block, std::align_val_t) noexcept { std::free(block); }
void operator delete[](void* block, std::align_val_t) noexcept { std::free(block); }
void operator delete(void* block, size_t, std::align_val_t) noexcept { std::free(block); }
void operator delete[](void* block, size_t, std::align_val_t) noexcept { std::free(block); }
