// What the song holds: its header, the loader's warnings, names, pattern
// cells and the state of its channels.
#include "module.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "intro_version.h"
#include "periods.h"
#include "xm_format.h"

using namespace intro_music::engine;

namespace intro_music {

using namespace detail;

// The header's numbers and the release version come from different files:
// they cannot drift apart.
static_assert(versionMajor == INTRO_VERSION_MAJOR && versionMinor == INTRO_VERSION_MINOR,
              "intro_music.h's version differs from the project version in CMakeLists.txt");
const char* versionString() { return INTRO_VERSION_STRING; }

namespace {

const Instrument* instrumentAt(const Module* module, int32_t instrument) {
    if (module == nullptr || instrument < 1 || instrument > module->song->instrumentCount ||
        module->song->instruments == nullptr) {
        return nullptr;
    }
    return &module->song->instruments[instrument - 1];
}

// What a voice of `frequency` Hz sounds at: the pitch factor comes on top.
int32_t heardFrequency(const Module& module, int32_t frequency) {
    return static_cast<int32_t>(std::llround(frequency * songPitchFactor(module.song.get())));
}

// Sample frames a level reading looks back over: what 20 ms of output reads.
constexpr int32_t levelWindowMs = 20;
// At most this many of them are read, evenly spaced: a high note reads many.
constexpr int64_t levelReadLimit = 1024;

// The loudest sample frame a voice read over the last levelWindowMs, 0..1:
// the frames before its position, back to its sample's (or loop's) start.
float recentPeak(const MixerVoice& voice, int32_t rate) {
    const Sample& sample = *voice.sample;
    if (sample.data == nullptr || sample.length == 0 || voice.position < 0) {
        return 0.0f;
    }
    const uint64_t step = (uint64_t(uint32_t(voice.stepInteger)) << 32) | voice.stepFraction;
    const int64_t span = static_cast<int64_t>(((step >> 16) * static_cast<uint64_t>(rate * levelWindowMs / 1000)) >> 16) + 1;
    const int64_t position = std::min<int64_t>(voice.position, int64_t{sample.length} - 1);
    const bool looping = sample.loopType != LoopNone && sample.loopLength > 0 && position >= sample.loopStart;
    const int64_t floor = looping ? int64_t{sample.loopStart} : 0;
    const int64_t first = std::max(floor, voice.direction == DirectionBackward ? position : position - span);
    const int64_t last = std::min<int64_t>(voice.direction == DirectionBackward ? position + span : position,
                                           int64_t{sample.length} - 1);
    const int64_t stride = std::max<int64_t>(1, (last - first + 1) / levelReadLimit);
    int32_t peak = 0;
    for (int64_t frame = first; frame <= last; frame += stride) {
        peak = std::max(peak, std::abs(static_cast<int32_t>(sample.data[frame])));
    }
    return static_cast<float>(peak) / 32768.0f;
}

}  // namespace

int32_t orderCount(const Module* module) { return module != nullptr ? module->song->songLength : 0; }

int32_t orderPattern(const Module* module, int32_t order) {
    if (module == nullptr || order < 0 || order >= module->song->songLength) {
        return -1;
    }
    return module->song->orderTable[order];
}

bool channelLevel(const Module* module, int32_t channel, float* left, float* right) {
    if (module == nullptr || channel < 0 || channel >= module->song->channelCount) {
        return false;
    }
    float sums[2] = {0.0f, 0.0f};
    for (const int32_t index : {channel, channel + partnerVoiceDistance}) {
        const MixerVoice& voice = module->engine.voices[index];
        if (voice.sample == nullptr) {
            continue;
        }
        const float peak = recentPeak(voice, rateOf(*module));
        // The gains it plays at now, volume ramps included: 8.8 of 0..255.
        sums[0] += peak * static_cast<float>(voice.leftVolume) / (256.0f * 255.0f);
        sums[1] += peak * static_cast<float>(voice.rightVolume) / (256.0f * 255.0f);
    }
    const float gain = module->channelGains[channel];
    if (left != nullptr) {
        *left = std::clamp(sums[0] * gain, 0.0f, 1.0f);
    }
    if (right != nullptr) {
        *right = std::clamp(sums[1] * gain, 0.0f, 1.0f);
    }
    return true;
}

Metadata metadata(const Module* module) {
    if (module == nullptr) {
        return Metadata{};
    }
    Metadata info = module->info;
    const bool known = withoutExceptions<bool>(nullptr, false, [&] { return knowFirstPass(*module); });
    info.durationSeconds = known ? static_cast<double>(module->firstPass.frames) / rateOf(*module) : 0.0;
    return info;
}

int32_t loadWarningCount(const Module* module) {
    return module != nullptr ? static_cast<int32_t>(module->warnings.size()) : 0;
}

const char* loadWarning(const Module* module, int32_t index) {
    if (module == nullptr || index < 0 || index >= loadWarningCount(module)) {
        return nullptr;
    }
    return module->warnings[static_cast<size_t>(index)].c_str();
}

const char* instrumentName(const Module* module, int32_t instrument) {
    const Instrument* found = instrumentAt(module, instrument);
    return found != nullptr ? found->name : "";
}

int32_t sampleCount(const Module* module, int32_t instrument) {
    const Instrument* found = instrumentAt(module, instrument);
    return found != nullptr ? found->sampleCount : 0;
}

const char* sampleName(const Module* module, int32_t instrument, int32_t sample) {
    const Instrument* found = instrumentAt(module, instrument);
    if (found == nullptr || sample < 0 || sample >= found->sampleCount || sample >= maxSamplesPerInstrument ||
        found->samples[sample] == nullptr) {
        return "";
    }
    return found->samples[sample]->name;
}

int32_t patternRows(const Module* module, int32_t pattern) {
    if (module == nullptr || pattern < 0 || pattern >= module->song->patternSlotCount ||
        module->song->patterns == nullptr || module->song->patterns[pattern].cells == nullptr) {
        return 0;
    }
    return module->song->patterns[pattern].rowCount;
}

bool patternCell(const Module* module, int32_t pattern, int32_t row, int32_t channel, PatternCell* cell) {
    if (cell == nullptr || row < 0 || row >= patternRows(module, pattern) || channel < 0 ||
        channel >= module->song->channelCount) {
        return false;
    }
    const Cell& stored =
        module->song->patterns[pattern].cells[static_cast<size_t>(row) * module->song->channelCount + channel];
    const uint8_t note = stored.note == keyOffNote ? xm_format::fileKeyOffNote : stored.note;
    *cell = PatternCell{note, stored.instrument, stored.volume, stored.effect, stored.parameter};
    return true;
}

int32_t channelStates(const Module* module, ChannelState* states, int32_t capacity) {
    if (module == nullptr) {
        return 0;
    }
    const int32_t count = std::clamp<int32_t>(module->song->channelCount, 0, maxChannels);
    for (int32_t index = 0; index < std::min(count, capacity) && states != nullptr; ++index) {
        const MusicChannel& channel = module->engine.channels[index];
        const MixerVoice* voice = channel.voice;
        const bool sounding = voice != nullptr && voice->sample != nullptr;
        states[index] = ChannelState{sounding,
                                     channel.note,
                                     channel.instrument + 1,
                                     channel.period,
                                     channel.periodOffset,
                                     channel.volume,
                                     channel.panning,
                                     sounding ? voice->volume : 0,
                                     sounding ? heardFrequency(*module, voice->frequency) : 0};
    }
    return count;
}


}  // namespace intro_music
