#include "song_sound.h"

#include <cmath>
#include <utility>

#include "embedded_resource.h"
#include "intro_music.h"

namespace {

constexpr const char* songResourceType = "MODFILE";
constexpr int songResourceIdentifier = 127;
constexpr int32_t soundRate = 44100;
constexpr int32_t stretchFrames = 1024;
constexpr int32_t channels = 2;
constexpr int32_t playForever = -1;

}  // namespace

SongSound::SongSound() : stretch_(static_cast<size_t>(stretchFrames) * channels) {
    const EmbeddedResource resource = loadResource(songResourceType, songResourceIdentifier);
    if (resource.data == nullptr) {
        error_ = "the song is not embedded";
        return;
    }
    intro_music::Error error{};
    module_ = intro_music::loadFromMemory(resource.data, resource.size, &error);
    if (module_ == nullptr) {
        error_ = std::string("the embedded song does not load: ") + error.message;
        return;
    }
    // The video is the presentation: its song plays by the presentation's rules.
    if (!intro_music::setRules(module_, intro_music::Rules::Presentation, &error)) {
        error_ = std::string("the embedded song does not take the presentation's rules: ") + error.message;
        return;
    }
    onePassFrames_ = std::llround(intro_music::metadata(module_).durationSeconds * soundRate);
    intro_music::setRepeatCount(module_, playForever);
}

SongSound::~SongSound() { release(); }

SongSound::SongSound(SongSound&& other) noexcept
    : module_(std::exchange(other.module_, nullptr)),
      onePassFrames_(other.onePassFrames_),
      stretch_(std::move(other.stretch_)),
      error_(std::move(other.error_)) {}

SongSound& SongSound::operator=(SongSound&& other) noexcept {
    if (this != &other) {
        release();
        module_ = std::exchange(other.module_, nullptr);
        onePassFrames_ = other.onePassFrames_;
        stretch_ = std::move(other.stretch_);
        error_ = std::move(other.error_);
    }
    return *this;
}

const int16_t* SongSound::next(int64_t wanted, int32_t& count) {
    const int32_t asked = wanted < stretchFrames ? static_cast<int32_t>(wanted) : stretchFrames;
    count = module_ != nullptr ? intro_music::render(module_, stretch_.data(), asked) : 0;
    if (count <= 0) {
        error_ = "the song's render stopped";
        return nullptr;
    }
    return stretch_.data();
}

void SongSound::release() {
    intro_music::freeModule(module_);
    module_ = nullptr;
}
