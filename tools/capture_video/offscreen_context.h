// An OpenGL 3.3 core context with no window and no display: Mesa's
// surfaceless EGL platform, so captures run on machines without a screen.
#pragma once

#include <string>

class OffscreenContext {
public:
    // Creates the context and makes it current on the calling thread; on
    // failure ready() is false and error() says why.
    OffscreenContext();
    ~OffscreenContext();
    OffscreenContext(OffscreenContext&& other) noexcept;
    OffscreenContext& operator=(OffscreenContext&& other) noexcept;
    OffscreenContext(const OffscreenContext&) = delete;
    OffscreenContext& operator=(const OffscreenContext&) = delete;

    bool ready() const { return context_ != nullptr; }
    const std::string& error() const { return error_; }

    // Entry points of the context, for the GL loader.
    static void* lookup(const char* name);

private:
    void release();

    void* display_ = nullptr;
    void* context_ = nullptr;
    std::string error_;
};
