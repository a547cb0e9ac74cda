#include "song_sound.h"

#include <algorithm>
#include <set>
#include <utility>
#include <vector>

#include "embedded_resource.h"
#include "mixer.h"
#include "music_channel.h"
#include "music_engine.h"
#include "offline_render.h"
#include "song.h"

namespace {

constexpr const char* songResourceType = "MODFILE";
constexpr int songResourceIdentifier = 127;
constexpr int64_t passLimitFrames = int64_t{20} * 60 * mixRate;

// Watches the rows the song plays, as xm2wav does for its one pass: a row
// counts as a return when it was already played with every channel's
// pattern-loop counter the same.
struct PassTracker {
    TickHandler replay = nullptr;
    std::set<std::vector<int32_t>> visited;
    int64_t framesBeforeTick = 0;
    int32_t lastTickFrames = 0;
    bool returned = false;
    int64_t returnFrame = 0;
};

// The tick handler is a plain function: the tracker it reports to is global.
PassTracker tracker;

void trackingTick(MusicEngine& engine, Song* song) {
    tracker.framesBeforeTick += tracker.lastTickFrames;
    const bool rowStart = song->tick == 0 && !tracker.returned;
    std::vector<int32_t> key;
    if (rowStart) {
        key.reserve(2 + static_cast<size_t>(song->channelCount));
        key.push_back(0);
        key.push_back(0);
        const MusicChannel* channels = engine.channels;
        for (int32_t channel = 0; channel < song->channelCount; ++channel) {
            key.push_back(channels[channel].patternLoopCount);
        }
    }
    tracker.replay(engine, song);
    // The block fill gives every tick at least one frame.
    tracker.lastTickFrames = song->framesPerTick > 0 ? song->framesPerTick : 1;
    if (rowStart) {
        key[0] = song->orderPosition;
        key[1] = song->row;
        if (!tracker.visited.insert(std::move(key)).second) {
            tracker.returned = true;
            tracker.returnFrame = tracker.framesBeforeTick;
        }
    }
}

}  // namespace

SongSound::SongSound() {
    const EmbeddedResource resource = loadResource(songResourceType, songResourceIdentifier);
    song_ = resource.data != nullptr ? loadSongFromMemory(resource.data, resource.size, nullptr) : nullptr;
    if (song_ == nullptr) {
        error_ = "the embedded song does not load";
    }
}

SongSound::~SongSound() { release(); }

SongSound::SongSound(SongSound&& other) noexcept
    : song_(std::exchange(other.song_, nullptr)),
      render_(std::exchange(other.render_, nullptr)),
      block_(std::exchange(other.block_, nullptr)),
      blockUsed_(other.blockUsed_),
      error_(std::move(other.error_)) {}

SongSound& SongSound::operator=(SongSound&& other) noexcept {
    if (this != &other) {
        release();
        song_ = std::exchange(other.song_, nullptr);
        render_ = std::exchange(other.render_, nullptr);
        block_ = std::exchange(other.block_, nullptr);
        blockUsed_ = other.blockUsed_;
        error_ = std::move(other.error_);
    }
    return *this;
}

int64_t SongSound::onePassFrames() {
    if (song_ == nullptr) {
        return 0;
    }
    endOfflineRender(render_);
    block_ = nullptr;
    render_ = beginOfflineRender(song_);
    tracker = PassTracker{};
    tracker.replay = song_->tickHandler;
    song_->tickHandler = trackingTick;
    int64_t rendered = 0;
    while (!tracker.returned && rendered < passLimitFrames && renderOfflineBlock(render_) != nullptr) {
        rendered += blockLength;
    }
    song_->tickHandler = tracker.replay;
    endOfflineRender(render_);
    render_ = nullptr;
    return tracker.returned ? tracker.returnFrame : std::min(rendered, passLimitFrames);
}

bool SongSound::start() {
    if (song_ == nullptr) {
        return false;
    }
    endOfflineRender(render_);
    render_ = beginOfflineRender(song_);
    block_ = nullptr;
    blockUsed_ = 0;
    if (render_ == nullptr) {
        error_ = "the song cannot be rendered (out of memory)";
        return false;
    }
    return true;
}

const int16_t* SongSound::next(int64_t wanted, int32_t& count) {
    count = 0;
    if (block_ == nullptr || blockUsed_ == blockLength) {
        block_ = renderOfflineBlock(render_);
        blockUsed_ = 0;
        if (block_ == nullptr) {
            error_ = "the song's render stopped";
            return nullptr;
        }
    }
    const int32_t available = blockLength - blockUsed_;
    count = wanted < available ? static_cast<int32_t>(wanted) : available;
    const int16_t* stretch = block_ + static_cast<ptrdiff_t>(blockUsed_) * outputChannelCount;
    blockUsed_ += count;
    return stretch;
}

void SongSound::release() {
    endOfflineRender(render_);
    render_ = nullptr;
    block_ = nullptr;
    if (song_ != nullptr) {
        freeSong(song_);
        song_ = nullptr;
    }
}
