// Timing and allocation probes around the real start-up and main loop. They
// sit on the calls between the presentation and its libraries (linked with
// --wrap, see CMakeLists.txt), so the presentation's own code is unchanged.
#pragma once

#include <cstdint>

// Nanoseconds of the monotonic clock.
int64_t monotonicNanoseconds();

// What the probes have seen; written by the main thread only.
struct ProbeTotals {
    int64_t glfwInitNs;
    int64_t windowNs;        // window and GL context creation
    int64_t shaderNs;        // shader compile and program link calls
    int64_t glyphNs;         // FreeType glyph loading and rasterising
    int64_t textureNs;       // texture image uploads
    int64_t audioStartNs;    // the whole playback start: device, pre-fill, thread
    int64_t prefillNs;       // block fills on the main thread (the ring pre-fill)
    int32_t presentedFrames;
};

// Frame timestamps are kept for at most this many frames.
inline constexpr int32_t maxRecordedFrames = 8192;

struct AllocationCounts {
    int64_t mainThreadNews;
    int64_t mainThreadNewBytes;
    int64_t otherThreadNews;
    int64_t ourMallocs;  // malloc, calloc and realloc called by our own code
};

struct FrameLog {
    int32_t framesToPresent;  // the window is asked to close after this many
    int32_t countFromFrame;   // allocations are counted from this presented frame to the last
    AllocationCounts counted;
    int64_t presentedAt[maxRecordedFrames];  // after each buffer swap returned
};

ProbeTotals& probeTotals();
FrameLog& frameLog();
// The probes add up work done inside the start-up call only (the first frame
// is measured as a whole).
void setInStartUp(bool inside);
bool inStartUp();

// Called on the main thread before anything else runs.
void markMainThread();
