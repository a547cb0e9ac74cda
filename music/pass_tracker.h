// Finds where a song comes back: the first row it plays a second time with
// every channel's pattern-loop counter the same, and its loop row too while a
// later loop could still jump to it. The passes of a pattern
// loop differ in their counters, while a jump back to an earlier place
// repeats them. Fed by the tick handler, before and after each replayer tick.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace intro_music::engine {

struct Song;
struct MusicEngine;

// A pass that never comes back ends here: 20 minutes.
inline constexpr int64_t longestPassSeconds = int64_t{20} * 60;

// Row keys of one length (order, row, then each channel's loop counter and
// loop row), kept one after another in one store with an open-addressing
// index over them: a row played costs no allocation, the store only grows
// now and then as a pass gets longer than any before.
class RowKeySet {
public:
    void clear();
    // False when an equal key is in already.
    bool insert(const int32_t* key, int32_t length);

private:
    bool contains(const int32_t* key, uint32_t hash, size_t& slot) const;
    void growIndex();

    std::vector<int32_t> keys_;
    std::vector<int32_t> slots_;  // key numbers; -1: empty
    int32_t length_ = 0;
    int32_t count_ = 0;
};

struct PassTracker {
    RowKeySet visited;                 // the rows played this pass
    int64_t framesBeforeTick = 0;      // start of the tick being run, counted from the song's start
    int32_t lastTickFrames = 0;
    int64_t passStartFrame = 0;
    int32_t passesCompleted = 0;
    std::vector<int32_t> pendingKey;   // the key of the row being started, its loop state taken before the tick
    bool rowStart = false;
    // With recordRows set, every row of the first pass in the order played,
    // with the frame it starts at: firstPassKeys holds their keys one after
    // another, keyLength values each.
    bool recordRows = false;
    // Channels with a pattern loop (E6x, x > 0) anywhere in the song, found once.
    bool loopChannelsKnown = false;
    uint32_t loopChannels = 0;
    int32_t keyLength = 0;
    std::vector<int64_t> firstPassFrames;
    std::vector<int32_t> firstPassKeys;
};

// Forgets every pass: the song plays from frame 0 again.
void resetPassTracker(PassTracker& tracker);
// Starts a pass at `frame` as the recorded first pass had it there: every
// row it played before that frame counts as played.
void resumePassAt(PassTracker& tracker, const PassTracker& recorded, int64_t frame);
// Before the song's tick: notes where the tick starts and the loop counters.
void passTickBegins(PassTracker& tracker, const MusicEngine& engine, const Song& song);
// After the tick: the frame where the song came back (a new pass begins
// there), or -1. A pass longer than longestPassSeconds comes back at that length.
int64_t passTickEnds(PassTracker& tracker, const Song& song);

}  // namespace intro_music::engine
