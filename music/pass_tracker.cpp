#include "pass_tracker.h"

#include <algorithm>

#include "music_engine.h"
#include "periods.h"
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

namespace {

constexpr uint8_t extendedEffect = 14;
constexpr uint8_t patternLoopCommand = 6;
constexpr uint8_t positionJumpEffect = 11;
constexpr uint8_t patternBreakEffect = 13;
constexpr int32_t loopRowIrrelevant = -1;

bool isLoopCell(const Cell& cell) { return cell.effect == extendedEffect && (cell.parameter >> 4) == patternLoopCommand; }

const Pattern* patternAt(const Song& song, int32_t order) {
    if (song.patterns == nullptr || order < 0 || order >= orderTableSize) return nullptr;
    const int32_t number = song.orderTable[order];
    return number < song.patternSlotCount && song.patterns[number].cells != nullptr ? &song.patterns[number] : nullptr;
}

uint32_t findLoopChannels(const Song& song) {
    uint32_t channels = 0;
    for (int32_t index = 0; index < song.patternSlotCount && song.patterns != nullptr; ++index) {
        const Pattern& pattern = song.patterns[index];
        for (int32_t cell = 0; pattern.cells != nullptr && cell < pattern.rowCount * song.channelCount; ++cell) {
            const Cell& at = pattern.cells[cell];
            if (isLoopCell(at) && (at.parameter & 0x0F) != 0) channels |= 1u << (cell % song.channelCount);
        }
    }
    return channels;
}

// The loop row decides where a later E6x jumps, unless an E60 sets it first:
// on the rows ahead in this pattern, before any jump out of it.
bool loopRowMatters(const Song& song, uint32_t loopChannels, int32_t channel) {
    if ((loopChannels & (1u << channel)) == 0) return false;
    const Pattern* pattern = patternAt(song, song.nextOrder >= 0 ? song.nextOrder : song.orderPosition);
    const int32_t first = song.nextRow >= 0 ? song.nextRow : song.row;
    if (pattern == nullptr) return true;
    for (int32_t row = std::max(first, 0); row < pattern->rowCount; ++row) {
        const Cell* cells = pattern->cells + static_cast<int64_t>(row) * song.channelCount;
        if (isLoopCell(cells[channel])) return (cells[channel].parameter & 0x0F) != 0;
        for (int32_t other = 0; other < song.channelCount; ++other) {
            if (cells[other].effect == positionJumpEffect || cells[other].effect == patternBreakEffect) return true;
        }
    }
    return true;
}

}  // namespace

void passTickBegins(PassTracker& tracker, const MusicEngine& engine, const Song& song) {
    tracker.framesBeforeTick += tracker.lastTickFrames;
    tracker.rowStart = song.tick == 0;
    if (!tracker.rowStart) {
        return;
    }
    tracker.pendingKey.assign(2, 0);
    if (!tracker.loopChannelsKnown) {
        tracker.loopChannels = findLoopChannels(song);
        tracker.loopChannelsKnown = true;
    }
    // The loop row counts too while it can still matter: a row reached again
    // with another loop start set (E60 on a row played since) goes on
    // differently at its next E6x.
    for (int32_t channel = 0; channel < song.channelCount && channel < maxChannels; ++channel) {
        const MusicChannel& state = engine.channels[channel];
        tracker.pendingKey.push_back(state.patternLoopCount);
        tracker.pendingKey.push_back(tracker.loopChannels == 0 || !loopRowMatters(song, tracker.loopChannels, channel)
                                         ? loopRowIrrelevant
                                         : state.patternLoopRow);
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
    const int64_t passEnd = tracker.passStartFrame + longestPassSeconds * songOutputRate(&song);
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
