// The frame the capture draws into: a framebuffer object with a colour and a
// depth buffer of the video's size, and its pixels read back.
#pragma once

#include <cstdint>
#include <string>

#include "gl_loader.h"

class OffscreenFramebuffer {
public:
    // Needs a current context whose entry points the GL loader has loaded;
    // `lookup` finds the few extra ones only the capture calls. On failure
    // ready() is false and error() says why.
    OffscreenFramebuffer(int width, int height, GlProcLookup lookup);
    ~OffscreenFramebuffer();
    OffscreenFramebuffer(OffscreenFramebuffer&& other) noexcept;
    OffscreenFramebuffer& operator=(OffscreenFramebuffer&& other) noexcept;
    OffscreenFramebuffer(const OffscreenFramebuffer&) = delete;
    OffscreenFramebuffer& operator=(const OffscreenFramebuffer&) = delete;

    bool ready() const { return framebuffer_ != 0; }
    const std::string& error() const { return error_; }
    int width() const { return width_; }
    int height() const { return height_; }
    int rowBytes() const { return width_ * bytesPerPixel; }

    // Waits until everything drawn so far is in the framebuffer.
    void finishDrawing() const;
    // Copies the pixels into `destination` (rowBytes() x height() bytes, B, G,
    // R, A per pixel), bottom row first as GL stores them.
    void readPixels(uint8_t* destination) const;

    static constexpr int bytesPerPixel = 4;

private:
    void release();

    int width_ = 0;
    int height_ = 0;
    GLuint framebuffer_ = 0;
    GLuint colorBuffer_ = 0;
    GLuint depthBuffer_ = 0;
    std::string error_;
};
