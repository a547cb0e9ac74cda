#include "pass_tracker.h"

#include "music_engine.h"
#include "song.h"

namespace intro_music::engine {

void resetPassTracker(PassTracker& tracker) { tracker = PassTracker{}; }

void resumePassAt(PassTracker& tracker, const PassTracker& recorded, int64_t frame) {
    resetPassTracker(tracker);
    tracker.framesBeforeTick = frame;
    tracker.passStartFrame = 0;
    for (const auto& [start, key] : recorded.firstPassRows) {
        if (start < frame) {
            tracker.visited.insert(key);
        }
    }
}

void passTickBegins(PassTracker& tracker, const MusicEngine& engine, const Song& song) {
    tracker.framesBeforeTick += tracker.lastTickFrames;
    tracker.rowStart = song.tick == 0;
    if (!tracker.rowStart) {
        return;
    }
    tracker.pendingKey.assign(2, 0);
    for (int32_t channel = 0; channel < song.channelCount && channel < maxChannels; ++channel) {
        tracker.pendingKey.push_back(engine.channels[channel].patternLoopCount);
    }
}

int64_t passTickEnds(PassTracker& tracker, const Song& song) {
    // The block fill gives every tick at least one frame.
    tracker.lastTickFrames = song.framesPerTick > 0 ? song.framesPerTick : 1;
    int64_t cameBack = -1;
    if (tracker.rowStart) {
        std::vector<int32_t> key = std::move(tracker.pendingKey);
        key[0] = song.orderPosition;
        key[1] = song.row;
        if (tracker.recordRows && tracker.passesCompleted == 0) {
            tracker.firstPassRows.emplace_back(tracker.framesBeforeTick, key);
        }
        if (!tracker.visited.insert(key).second) {
            cameBack = tracker.framesBeforeTick;
            // The row that came back is the first row of the next pass.
            tracker.visited.clear();
            tracker.visited.insert(std::move(key));
        }
    }
    const int64_t passEnd = tracker.passStartFrame + longestPassFrames;
    if (cameBack < 0 && tracker.framesBeforeTick + tracker.lastTickFrames > passEnd) {
        cameBack = passEnd;
        tracker.visited.clear();
    }
    if (cameBack >= 0) {
        tracker.passesCompleted += 1;
        tracker.passStartFrame = cameBack;
    }
    return cameBack;
}

}  // namespace intro_music::engine
