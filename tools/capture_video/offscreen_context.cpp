#include "offscreen_context.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstdio>
#include <utility>

namespace {

constexpr EGLint requiredMajorVersion = 3;
constexpr EGLint requiredMinorVersion = 3;

std::string eglFailure(const char* step) {
    char text[96];
    std::snprintf(text, sizeof text, "%s failed (EGL error 0x%04X)", step, static_cast<unsigned>(eglGetError()));
    return text;
}

}  // namespace

OffscreenContext::OffscreenContext() {
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (getPlatformDisplay == nullptr) {
        error_ = "EGL has no platform displays";
        return;
    }
    EGLDisplay display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display == EGL_NO_DISPLAY || eglInitialize(display, nullptr, nullptr) != EGL_TRUE) {
        error_ = eglFailure("opening a surfaceless EGL display");
        return;
    }
    display_ = display;
    if (eglBindAPI(EGL_OPENGL_API) != EGL_TRUE) {
        error_ = eglFailure("choosing desktop OpenGL");
        release();
        return;
    }
    const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION,
                                 requiredMajorVersion,
                                 EGL_CONTEXT_MINOR_VERSION,
                                 requiredMinorVersion,
                                 EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                 EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                 EGL_NONE};
    // No config and no surface: everything is drawn into a framebuffer object.
    EGLContext context = eglCreateContext(display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes);
    if (context == EGL_NO_CONTEXT) {
        error_ = eglFailure("creating an OpenGL 3.3 core context");
        release();
        return;
    }
    context_ = context;
    if (eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context) != EGL_TRUE) {
        error_ = eglFailure("making the context current");
        release();
    }
}

OffscreenContext::~OffscreenContext() { release(); }

OffscreenContext::OffscreenContext(OffscreenContext&& other) noexcept
    : display_(std::exchange(other.display_, nullptr)),
      context_(std::exchange(other.context_, nullptr)),
      error_(std::move(other.error_)) {}

OffscreenContext& OffscreenContext::operator=(OffscreenContext&& other) noexcept {
    if (this != &other) {
        release();
        display_ = std::exchange(other.display_, nullptr);
        context_ = std::exchange(other.context_, nullptr);
        error_ = std::move(other.error_);
    }
    return *this;
}

void* OffscreenContext::lookup(const char* name) { return reinterpret_cast<void*>(eglGetProcAddress(name)); }

void OffscreenContext::release() {
    if (display_ == nullptr) {
        return;
    }
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (context_ != nullptr) {
        eglDestroyContext(display_, context_);
        context_ = nullptr;
    }
    eglTerminate(display_);
    display_ = nullptr;
}
