// The settings a Module plays with: rate, gain, separation, channel mutes
// and volumes, tempo and pitch factors, the rules and the tick observer.
#include "module.h"

#include <algorithm>
#include <cmath>

#include "periods.h"

using namespace intro_music::engine;

namespace intro_music {
namespace detail {

void updateChannelGains(Module& module) {
    bool anyChanged = false;
    for (int32_t channel = 0; channel < maxChannels; ++channel) {
        module.channelGains[channel] = module.channelMuted[channel] ? 0.0f : module.channelVolumes[channel];
        anyChanged = anyChanged || module.channelGains[channel] != 1.0f;
    }
    module.engine.channelGains = anyChanged ? module.channelGains : nullptr;
}


// Every sounding voice takes the song's current output rate and pitch
// factor now, not at its next change of pitch.
void retuneVoices(Module& module) {
    const Song* song = module.song.get();
    const int32_t rate = songOutputRate(song);
    const double factor = songPitchFactor(song);
    for (int32_t index = 0; index < mixedVoiceCount; ++index) {
        MixerVoice& voice = module.engine.voices[index];
        if (voice.sample == nullptr) {
            continue;
        }
        const ResamplingStep step = factor == 1.0 ? resamplingStep(voice.frequency, rate)
                                                  : scaledResamplingStep(voice.frequency, factor, rate);
        voice.stepInteger = step.integer;
        voice.stepFraction = step.fraction;
    }
}

// The time of the first pass that plays what the song plays now: passes
// after the first repeat it from where the row they come back to was first
// played. -1 when not known (a pass cut at the longest length).
double firstPassTime(const Module& module) {
    const int64_t now = module.secondsBaseFrames + module.framesHanded;
    if (module.tracker.passesCompleted == 0) {
        return static_cast<double>(now) / rateOf(module);
    }
    const int64_t repeatFrom = module.firstPass.repeatFrom;
    if (repeatFrom < 0) {
        return -1.0;
    }
    return static_cast<double>(repeatFrom + (now - module.tracker.passStartFrame)) / rateOf(module);
}

}  // namespace detail

using namespace detail;

bool setOutputRate(Module* module, int32_t rate, Error* error) {
    return withoutExceptions<bool>(error, false, [&] {
        clearError(error);
        if (module == nullptr) {
            setError(error, ErrorCode::InvalidArgument, "no module given");
            return false;
        }
        if (rate < lowestFrameRate || rate > highestFrameRate) {
            setError(error, ErrorCode::InvalidArgument, "rate %d is outside %d..%d", rate, lowestFrameRate,
                     highestFrameRate);
            return false;
        }
        if (rate == rateOf(*module)) {
            return true;
        }
        const bool started = module->framesHanded > 0 || module->secondsBaseFrames > 0 || module->secondsCarried > 0;
        if (!started) {
            module->song->outputRate = rate;
            forgetFirstPass(*module);
            setTempo(module->song.get(), module->song->bpm);
            retuneVoices(*module);
            return true;
        }
        // Frame counts change meaning: go on from the same place of the pass
        // at the new rate, with the passes counted so far, the seconds count
        // and the end (if reached) kept.
        if (!knowFirstPass(*module)) {
            setError(error, ErrorCode::OutOfMemory, "out of memory");
            return false;
        }
        const double seconds = position(module).seconds;
        const bool wasEnded = ended(module);
        const int32_t passes = module->tracker.passesCompleted;
        const double firstPassSeconds = firstPassTime(*module);
        module->song->outputRate = rate;
        forgetFirstPass(*module);
        const double duration = metadata(module).durationSeconds;
        if (firstPassSeconds < 0.0 || firstPassSeconds >= duration || !seekToTime(module, firstPassSeconds, error)) {
            clearError(error);
            startFromBeginning(*module);
        }
        module->tracker.passesCompleted = passes;
        if (passes > 0 && module->firstPass.repeatFrom >= 0) {
            module->tracker.passStartFrame = module->firstPass.repeatFrom;
        }
        module->secondsCarried =
            std::llround(seconds * rate) - (module->secondsBaseFrames + module->framesHanded);
        if (wasEnded) {
            module->endFrame = module->framesHanded;
        }
        return true;
    });
}

int32_t outputRate(const Module* module) { return module != nullptr ? rateOf(*module) : frameRate; }

bool setMasterGain(Module* module, double gain) {
    if (module == nullptr || !(gain >= 0.0 && gain <= highestGain)) {  // NaN fails both
        return false;
    }
    module->masterGain = static_cast<float>(gain);
    return true;
}

bool setStereoSeparation(Module* module, int32_t percent) {
    if (module == nullptr || percent < 0 || percent > separationHighest) {
        return false;
    }
    module->separation = percent;
    return true;
}

bool setRules(Module* module, Rules rules, Error* error) {
    return withoutExceptions<bool>(error, false, [&] {
        clearError(error);
        if (module == nullptr) {
            setError(error, ErrorCode::InvalidArgument, "no module given");
            return false;
        }
        if (rules != Rules::Tracker && rules != Rules::Presentation) {
            setError(error, ErrorCode::InvalidArgument, "unknown playback rules %d", static_cast<int32_t>(rules));
            return false;
        }
        module->rules = rules;
        module->song->rules = playbackRules(rules);
        // Where the song ends and where each order starts follow the rules.
        forgetFirstPass(*module);
        startFromBeginning(*module);
        return true;
    });
}

Rules rules(const Module* module) { return module != nullptr ? module->rules : Rules::Tracker; }

bool setInterpolation(Module* module, Interpolation interpolation, Error* error) {
    clearError(error);
    if (module == nullptr) {
        setError(error, ErrorCode::InvalidArgument, "no module given");
        return false;
    }
    engine::Interpolation mode{};
    switch (interpolation) {
        case Interpolation::Nearest: mode = engine::Interpolation::Nearest; break;
        case Interpolation::Linear: mode = engine::Interpolation::Linear; break;
        case Interpolation::Cubic: mode = engine::Interpolation::Cubic; break;
        case Interpolation::Sinc: mode = engine::Interpolation::Sinc; break;
        default:
            setError(error, ErrorCode::InvalidArgument,
                     "unknown interpolation %d (0 nearest, 1 linear, 2 cubic, 3 sinc)",
                     static_cast<int32_t>(interpolation));
            return false;
    }
    module->song->interpolation = mode;
    return true;
}

Interpolation interpolation(const Module* module) {
    if (module == nullptr) return Interpolation::Linear;
    switch (module->song->interpolation) {
        case engine::Interpolation::Nearest: return Interpolation::Nearest;
        case engine::Interpolation::Cubic: return Interpolation::Cubic;
        case engine::Interpolation::Sinc: return Interpolation::Sinc;
        case engine::Interpolation::Linear: break;
    }
    return Interpolation::Linear;
}


bool setChannelMuted(Module* module, int32_t channel, bool muted) {
    if (module == nullptr || channel < 0 || channel >= module->song->channelCount) {
        return false;
    }
    module->channelMuted[channel] = muted;
    updateChannelGains(*module);
    return true;
}

bool setChannelVolume(Module* module, int32_t channel, double volume) {
    if (module == nullptr || channel < 0 || channel >= module->song->channelCount ||
        !(volume >= 0.0 && volume <= highestGain)) {
        return false;
    }
    module->channelVolumes[channel] = static_cast<float>(volume);
    updateChannelGains(*module);
    return true;
}

bool setTempoFactor(Module* module, double factor) {
    if (module == nullptr || !(factor >= lowestFactor && factor <= highestFactor)) {
        return false;
    }
    Song* song = module->song.get();
    const int32_t before = song->framesPerTick;
    song->tempoFactor = factor;
    setTempo(song, song->bpm);
    // The tick under way is shortened or lengthened too, so that the change
    // is heard from the next frame rendered, not from the next tick.
    if (song->framesLeftInTick > 0 && before > 0) {
        song->framesLeftInTick = static_cast<int32_t>(std::max<int64_t>(
            1, std::llround(static_cast<double>(song->framesLeftInTick) * song->framesPerTick / before)));
    }
    forgetFirstPass(*module);
    return true;
}

bool setPitchFactor(Module* module, double factor) {
    if (module == nullptr || !(factor >= lowestFactor && factor <= highestFactor)) {
        return false;
    }
    module->song->pitchFactor = factor;
    retuneVoices(*module);
    return true;
}

void setTickObserver(Module* module, TickObserver observer, void* user) {
    if (module != nullptr) {
        module->observer = observer;
        module->observerUser = user;
    }
}


}  // namespace intro_music
