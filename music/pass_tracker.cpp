#include "pass_tracker.h"

#include <algorithm>

#include "music_engine.h"
#include "periods.h"
#include "song.h"

namespace intro_music::engine {

namespace {

constexpr size_t smallestIndex = 1024;
constexpr int32_t emptySlot = -1;

uint32_t hashKey(const int32_t* key, int32_t length) {
    uint32_t hash = 2166136261u;
    for (int32_t index = 0; index < length; ++index) {
        hash = (hash ^ static_cast<uint32_t>(key[index])) * 16777619u;
    }
    return hash ^ (hash >> 15);
}

}  // namespace

void RowKeySet::clear() {
    keys_.clear();
    std::fill(slots_.begin(), slots_.end(), emptySlot);
    count_ = 0;
}

bool RowKeySet::contains(const int32_t* key, uint32_t hash, size_t& slot) const {
    const size_t mask = slots_.size() - 1;
    for (slot = hash & mask; slots_[slot] != emptySlot; slot = (slot + 1) & mask) {
        const int32_t* stored = keys_.data() + static_cast<size_t>(slots_[slot]) * static_cast<size_t>(length_);
        if (std::equal(key, key + length_, stored)) return true;
    }
    return false;
}

void RowKeySet::growIndex() {
    slots_.assign(std::max(smallestIndex, slots_.size() * 2), emptySlot);
    for (int32_t number = 0; number < count_; ++number) {
        const int32_t* key = keys_.data() + static_cast<size_t>(number) * static_cast<size_t>(length_);
        size_t slot = 0;
        contains(key, hashKey(key, length_), slot);
        slots_[slot] = number;
    }
}

bool RowKeySet::insert(const int32_t* key, int32_t length) {
    if (length != length_) {
        clear();
        length_ = length;
    }
    // At most half full, so that a search ends soon at an empty slot.
    if (static_cast<size_t>(count_ + 1) * 2 > slots_.size()) growIndex();
    size_t slot = 0;
    if (contains(key, hashKey(key, length), slot)) return false;
    keys_.insert(keys_.end(), key, key + length);
    slots_[slot] = count_++;
    return true;
}

void resetPassTracker(PassTracker& tracker) { tracker = PassTracker{}; }

void resumePassAt(PassTracker& tracker, const PassTracker& recorded, int64_t frame) {
    resetPassTracker(tracker);
    tracker.framesBeforeTick = frame;
    tracker.passStartFrame = 0;
    const auto length = static_cast<size_t>(recorded.keyLength);
    for (size_t row = 0; row < recorded.firstPassFrames.size() && recorded.firstPassFrames[row] < frame; ++row) {
        tracker.visited.insert(recorded.firstPassKeys.data() + row * length, recorded.keyLength);
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
    // Order and row are filled in after the tick, once the replayer has moved there.
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
        std::vector<int32_t>& key = tracker.pendingKey;
        key[0] = song.orderPosition;
        key[1] = song.row;
        const auto length = static_cast<int32_t>(key.size());
        if (tracker.recordRows && tracker.passesCompleted == 0) {
            tracker.keyLength = length;
            tracker.firstPassFrames.push_back(tracker.framesBeforeTick);
            tracker.firstPassKeys.insert(tracker.firstPassKeys.end(), key.begin(), key.end());
        }
        if (!tracker.visited.insert(key.data(), length)) {
            cameBack = tracker.framesBeforeTick;
            // The row that came back is the first row of the next pass.
            tracker.visited.clear();
            tracker.visited.insert(key.data(), length);
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
