#include "periods.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "mixer_voice.h"
#include "replayer.h"
#include "song.h"
#include "tracker_pitch.h"

namespace intro_music::engine {

namespace {

// Amiga mode: P(e) = trunc(2^(e / 12) x 13.375); note 0 is e = 132 (period 27392).
constexpr int32_t amigaNoteBase = 132;
constexpr double amigaPeriodScale = 13.375;
constexpr float semitoneExponent = 1.0f / 12.0f;  // single precision on purpose: 0.0833333358
constexpr int64_t finetuneDivisor = -128;          // finetune moves 1/128 of a semitone per step

// Linear mode: 7680 for note 0, 64 units per semitone, finetune in half units.
constexpr int64_t linearNoteBase = 7680;
constexpr int64_t linearFinetuneDivisor = 2;
constexpr int64_t linearMiddlePeriod = 4608;  // note 48: plays at linearMiddleFrequency
constexpr double linearMiddleFrequency = 8363.0;
constexpr float linearExponentStep = 1.0f / 768.0f;  // single precision on purpose: 0.0013020834

// Amiga mode: frequency = amigaFrequencyConstant / period (8362 Hz at period 1712).
constexpr int64_t amigaFrequencyConstant = 14317056;

int32_t clampToInt32(int64_t value) {
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

int64_t amigaSemitonePeriod(int64_t exponent) {
    return truncateToInt32(std::pow(2.0, static_cast<double>(exponent) * static_cast<double>(semitoneExponent)) *
                           amigaPeriodScale);
}

}  // namespace

int32_t truncateToInt32(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

int32_t amigaPeriod(int32_t note, int32_t finetune) {
    const int64_t period = amigaSemitonePeriod(amigaNoteBase - static_cast<int64_t>(note));
    const int64_t fine = finetune;
    if (fine < 0 && note != 0) {
        const int64_t semitoneBelow = amigaSemitonePeriod(amigaNoteBase + 1 - static_cast<int64_t>(note));
        return clampToInt32(period + (-fine * (period - semitoneBelow)) / finetuneDivisor);
    }
    const int64_t semitoneAbove = amigaSemitonePeriod(amigaNoteBase - 1 - static_cast<int64_t>(note));
    return clampToInt32(period + ((period - semitoneAbove) * fine) / finetuneDivisor);
}

int32_t linearPeriod(int32_t note, int32_t finetune) {
    return clampToInt32(linearNoteBase - linearSemitoneUnits * static_cast<int64_t>(note) -
                        static_cast<int64_t>(finetune) / linearFinetuneDivisor);
}

bool usesLinearPeriods(const Song* song) { return (song->flags & linearFrequencyFlag) != 0; }

int32_t notePeriod(const Song* song, int32_t note, int32_t finetune) {
    if (song->rules.trackerPitch) {
        return trackerNotePeriod(usesLinearPeriods(song), note, finetune, song->playsFinetuneLowBits);
    }
    return usesLinearPeriods(song) ? linearPeriod(note, finetune) : amigaPeriod(note, finetune);
}

bool periodFrequency(const Song* song, int32_t period, int32_t periodOffset, int32_t* frequency) {
    const int64_t offsetPeriod = static_cast<int64_t>(period) + periodOffset;
    if (offsetPeriod == 0) return false;
    if (usesLinearPeriods(song)) {
        // The offset is added here: a positive offset raises the pitch.
        const int64_t exponent = linearMiddlePeriod - static_cast<int64_t>(period) + periodOffset;
        *frequency = truncateToInt32(
            std::pow(2.0, static_cast<double>(exponent) * static_cast<double>(linearExponentStep)) *
            linearMiddleFrequency);
        return true;
    }
    // A period slid below zero has no pitch; the voice keeps the last one.
    if (offsetPeriod < 0) return false;
    *frequency = static_cast<int32_t>(amigaFrequencyConstant / offsetPeriod);
    return true;
}

bool rememberedPitch(PitchMemo& memo, const Song* song, int32_t period, int32_t periodOffset, int32_t* frequency,
                     ResamplingStep* step) {
    const bool linear = usesLinearPeriods(song);
    const int32_t outputRate = songOutputRate(song);
    const double pitchFactor = songPitchFactor(song);
    if (!memo.valid || memo.linear != linear || memo.period != period || memo.periodOffset != periodOffset ||
        memo.outputRate != outputRate || memo.pitchFactor != pitchFactor) {
        if (song->rules.trackerPitch) {
            const double exact = trackerFrequency(linear, static_cast<int32_t>(int64_t{period} + periodOffset));
            if (exact <= 0.0) return false;
            memo = PitchMemo{true, linear, period, periodOffset, truncateToInt32(exact), outputRate, pitchFactor,
                             exactResamplingStep(exact * pitchFactor, outputRate)};
        } else {
            int32_t fresh = 0;
            if (!periodFrequency(song, period, periodOffset, &fresh)) return false;
            const ResamplingStep freshStep = pitchFactor == 1.0 ? resamplingStep(fresh, outputRate)
                                                                : scaledResamplingStep(fresh, pitchFactor, outputRate);
            memo = PitchMemo{true, linear, period, periodOffset, fresh, outputRate, pitchFactor, freshStep};
        }
    }
    *frequency = memo.frequency;
    *step = memo.step;
    return true;
}

int32_t songOutputRate(const Song* song) { return song->outputRate > 0 ? song->outputRate : mixRate; }

double songPitchFactor(const Song* song) { return song->pitchFactor > 0.0 ? song->pitchFactor : 1.0; }

ResamplingStep scaledResamplingStep(int32_t frequency, double factor, int32_t outputRate) {
    const double rate = static_cast<double>(frequency < minimumStepFrequency ? minimumStepFrequency : frequency);
    // Below 2^16 frames per frame, as the mixer limits every step anyway.
    const double frames = std::clamp(rate * factor / static_cast<double>(outputRate), 0.0, 65535.0);
    const double whole = std::floor(frames);
    ResamplingStep step{};
    step.integer = static_cast<int32_t>(whole);
    step.fraction = static_cast<uint32_t>(std::min((frames - whole) * 4294967296.0, 4294967295.0));
    return step;
}

ResamplingStep resamplingStep(int32_t frequency, int32_t outputRateHz) {
    const uint32_t rate = static_cast<uint32_t>(frequency < minimumStepFrequency ? minimumStepFrequency : frequency);
    const uint32_t outputRate = static_cast<uint32_t>(outputRateHz > 0 ? outputRateHz : mixRate);
    ResamplingStep step{};
    step.integer = static_cast<int32_t>(rate / outputRate);
    const uint64_t remainder = rate % outputRate;
    step.fraction = static_cast<uint32_t>(((remainder << 32) + static_cast<uint32_t>(step.integer)) / outputRate);
    return step;
}

ResamplingStep exactResamplingStep(double frequency, int32_t outputRate) {
    const double frames = frequency / outputRate;
    ResamplingStep step{};
    step.integer = truncateToInt32(frames);
    step.fraction = static_cast<uint32_t>(std::min(std::ldexp(frames - step.integer, 32), 4294967295.0));
    return step;
}

}  // namespace intro_music::engine
