// What the public interface's files share: the Module behind the handle (a
// loaded song, the engine it plays on, the block it renders into and the
// watch on its passes) and the helpers more than one of them needs.
#pragma once

#include "intro_music.h"
#include "intro_music_c.h"

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "mixer.h"
#include "music_engine.h"
#include "pass_tracker.h"
#include "song.h"

namespace intro_music {

// Where the first pass stands when it starts a row it has not played before.
struct RowArrival {
    int32_t order;
    int32_t row;
    int64_t frame;  // from the song's start
    int32_t speed;
    int32_t bpm;
    int32_t globalVolume;
    int32_t loopStates;  // index of its channels' pattern-loop rows and counters in FirstPass::loopStates; -1: none
};

// A channel's pattern loop as the first pass has it when it arrives at a row.
struct LoopState {
    int16_t row;
    int16_t count;
};

// The first pass, worked out when first asked for: its length, the rows it
// plays (for the pass watch after a seek) and where it first reaches each row.
struct FirstPass {
    bool known = false;
    int64_t frames = 0;
    engine::PassTracker rows;
    std::vector<RowArrival> arrivals;  // in the order played
    // Per arrival, one LoopState per channel; kept only for songs with pattern loops.
    std::vector<LoopState> loopStates;
    // Passes after the first play it again from this frame (where the row
    // it comes back to was first played); -1 for a pass cut at the longest length.
    int64_t repeatFrom = -1;
    int32_t orderArrival[engine::orderTableSize];  // index of the first arrival in each order, -1: never reached
};

struct SongDeleter {
    void operator()(engine::Song* song) const { engine::freeSong(song); }
};
using SongPointer = std::unique_ptr<engine::Song, SongDeleter>;

// A C program's tick observer, forwarded to by the C++ one.
struct CTickObserver {
    intro_music_tick_observer observer;
    void* user;
};

// The most frames a render call mixes at a time. Under the tracker's rules
// the mix does not depend on where it is cut (running volume ramps carry
// their exact gains), so a long piece only saves the cuts' cost; under the
// presentation's the pieces end on its blocks.
inline constexpr int32_t pieceFrames = 4096;

struct Module {
    engine::MusicEngine engine{};
    SongPointer song;
    Metadata info{};
    mutable FirstPass firstPass;
    std::vector<std::string> warnings;
    // The piece being rendered: mixed, shaped and converted here, then handed out whole.
    alignas(16) float mixBuffer[pieceFrames * engine::outputChannelCount]{};
    int64_t framesHanded = 0;      // since the last start or seek
    int64_t secondsBaseFrames = 0;  // song time at the last start or seek
    int64_t secondsCarried = 0;     // seconds (in frames) a rate change carried over from the passes before
    int64_t endFrame = -1;          // in frames handed out since the last start or seek; -1 while unknown
    int64_t endInTick = -1;         // the last pass ends this many frames into the tick just run; -1: not there
    int32_t repeats = 0;
    engine::PassTracker tracker;
    float masterGain = 1.0f;
    int32_t separation = 100;
    float channelGains[engine::maxChannels];
    bool channelMuted[engine::maxChannels]{};
    float channelVolumes[engine::maxChannels];
    TickObserver observer = nullptr;
    void* observerUser = nullptr;
    CTickObserver cObserver{};
    Rules rules = Rules::Tracker;
};

inline engine::PlaybackRules playbackRules(Rules rules) {
    return rules == Rules::Presentation ? engine::presentationRules : engine::trackerRules;
}

namespace detail {

inline constexpr int32_t separationNeutral = 100;
inline constexpr int32_t separationHighest = 200;
inline constexpr double highestGain = 16.0;
inline constexpr double lowestFactor = 0.25;
inline constexpr double highestFactor = 4.0;

inline void setError(Error* error, ErrorCode code, const char* format, ...) {
    if (error == nullptr) {
        return;
    }
    error->code = code;
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(error->message, sizeof error->message, format, arguments);
    va_end(arguments);
}

inline void clearError(Error* error) {
    if (error != nullptr) {
        *error = Error{};
    }
}

// The standard containers report memory exhaustion by throwing; nothing may
// leave the interface that way.
template <typename Result, typename Work>
Result withoutExceptions(Error* error, Result failed, Work work) {
    try {
        return work();
    } catch (const std::bad_alloc&) {
        setError(error, ErrorCode::OutOfMemory, "out of memory");
    } catch (...) {
        setError(error, ErrorCode::OutOfMemory, "unexpected failure");
    }
    return failed;
}

inline int32_t rateOf(const Module& module) { return engine::songOutputRate(module.song.get()); }

// passes.cpp: starting, the first pass and the seeks.
void startFrom(Module& module, int32_t order, int32_t row, const RowArrival* arrival);
void startFromBeginning(Module& module);
bool knowFirstPass(const Module& module);
// Forgets the first pass: it is worked out again, at the rate and tempo
// factor then in force, when next asked for.
void forgetFirstPass(Module& module);

// rendering.cpp: renders and drops frames (a seek within a row).
void skipFrames(Module& module, int64_t count);

// settings.cpp.
void updateChannelGains(Module& module);
void retuneVoices(Module& module);

}  // namespace detail
}  // namespace intro_music
