// What the song holds: its header, the loader's warnings, names, pattern
// cells and the state of its channels.
#include "module.h"

#include <algorithm>

#include "intro_version.h"
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

}  // namespace

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
                                     sounding ? voice->frequency : 0};
    }
    return count;
}


}  // namespace intro_music
