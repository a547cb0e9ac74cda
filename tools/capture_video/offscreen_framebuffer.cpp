#include "offscreen_framebuffer.h"

#include <utility>

namespace {

// Loaded next to the presentation's own list, which stays what it calls.
#define CAPTURE_GL_FUNCTIONS(FUNCTION)                                         \
    FUNCTION(PFNGLGENFRAMEBUFFERSPROC, glGenFramebuffers)                      \
    FUNCTION(PFNGLBINDFRAMEBUFFERPROC, glBindFramebuffer)                      \
    FUNCTION(PFNGLDELETEFRAMEBUFFERSPROC, glDeleteFramebuffers)                \
    FUNCTION(PFNGLGENRENDERBUFFERSPROC, glGenRenderbuffers)                    \
    FUNCTION(PFNGLBINDRENDERBUFFERPROC, glBindRenderbuffer)                    \
    FUNCTION(PFNGLRENDERBUFFERSTORAGEPROC, glRenderbufferStorage)              \
    FUNCTION(PFNGLDELETERENDERBUFFERSPROC, glDeleteRenderbuffers)              \
    FUNCTION(PFNGLFRAMEBUFFERRENDERBUFFERPROC, glFramebufferRenderbuffer)      \
    FUNCTION(PFNGLCHECKFRAMEBUFFERSTATUSPROC, glCheckFramebufferStatus)        \
    FUNCTION(PFNGLREADPIXELSPROC, glReadPixels)                                \
    FUNCTION(PFNGLFINISHPROC, glFinish)

struct CaptureGl {
#define CAPTURE_GL_FIELD(type, name) type name = nullptr;
    CAPTURE_GL_FUNCTIONS(CAPTURE_GL_FIELD)
#undef CAPTURE_GL_FIELD
};

CaptureGl gl;

bool loadCaptureGl(GlProcLookup lookup) {
    bool found = true;
#define CAPTURE_GL_LOAD(type, name)                          \
    gl.name = reinterpret_cast<type>(lookup(#name));        \
    found = found && gl.name != nullptr;
    CAPTURE_GL_FUNCTIONS(CAPTURE_GL_LOAD)
#undef CAPTURE_GL_LOAD
    return found;
}

}  // namespace

OffscreenFramebuffer::OffscreenFramebuffer(int width, int height, GlProcLookup lookup)
    : width_(width), height_(height) {
    if (!loadCaptureGl(lookup)) {
        error_ = "the OpenGL driver lacks framebuffer objects";
        return;
    }
    gl.glGenRenderbuffers(1, &colorBuffer_);
    gl.glBindRenderbuffer(GL_RENDERBUFFER, colorBuffer_);
    gl.glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    gl.glGenRenderbuffers(1, &depthBuffer_);
    gl.glBindRenderbuffer(GL_RENDERBUFFER, depthBuffer_);
    gl.glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
    gl.glGenFramebuffers(1, &framebuffer_);
    gl.glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    gl.glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colorBuffer_);
    gl.glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depthBuffer_);
    if (gl.glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        error_ = "the OpenGL driver cannot draw a " + std::to_string(width) + "x" + std::to_string(height) +
                 " framebuffer";
        release();
        return;
    }
    // Rows of four-byte pixels are tightly packed at any width.
    glPixelStorei(GL_PACK_ALIGNMENT, bytesPerPixel);
}

OffscreenFramebuffer::~OffscreenFramebuffer() { release(); }

OffscreenFramebuffer::OffscreenFramebuffer(OffscreenFramebuffer&& other) noexcept
    : width_(other.width_),
      height_(other.height_),
      framebuffer_(std::exchange(other.framebuffer_, 0)),
      colorBuffer_(std::exchange(other.colorBuffer_, 0)),
      depthBuffer_(std::exchange(other.depthBuffer_, 0)),
      error_(std::move(other.error_)) {}

OffscreenFramebuffer& OffscreenFramebuffer::operator=(OffscreenFramebuffer&& other) noexcept {
    if (this != &other) {
        release();
        width_ = other.width_;
        height_ = other.height_;
        framebuffer_ = std::exchange(other.framebuffer_, 0);
        colorBuffer_ = std::exchange(other.colorBuffer_, 0);
        depthBuffer_ = std::exchange(other.depthBuffer_, 0);
        error_ = std::move(other.error_);
    }
    return *this;
}

void OffscreenFramebuffer::finishDrawing() const { gl.glFinish(); }

void OffscreenFramebuffer::readPixels(uint8_t* destination) const {
    gl.glReadPixels(0, 0, width_, height_, GL_BGRA, GL_UNSIGNED_BYTE, destination);
}

void OffscreenFramebuffer::release() {
    if (framebuffer_ != 0) {
        gl.glBindFramebuffer(GL_FRAMEBUFFER, 0);
        gl.glDeleteFramebuffers(1, &framebuffer_);
        framebuffer_ = 0;
    }
    for (GLuint* buffer : {&colorBuffer_, &depthBuffer_}) {
        if (*buffer != 0) {
            gl.glDeleteRenderbuffers(1, buffer);
            *buffer = 0;
        }
    }
}
