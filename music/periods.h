// Note periods and playback frequencies in both frequency modes, and the
// conversion of a frequency into a 32.32 resampling step.
#pragma once

#include <cstdint>

namespace intro_music::engine {

struct Song;

inline constexpr int32_t linearSemitoneUnits = 64;  // linear mode: period units per semitone
// The notes the period tables cover: 0-based notes (after the relative note)
// 0..118; a note outside them does not start.
inline constexpr int32_t playableNoteCount = 119;
inline constexpr int32_t minimumStepFrequency = 100;  // Hz; slower rates are played at this one

bool usesLinearPeriods(const Song* song);

// Period of a 0-based note with a finetune (-128..127) in the song's frequency mode.
int32_t notePeriod(const Song* song, int32_t note, int32_t finetune);

// Playback rate in Hz of a period plus this tick's offset. False when the
// period gives no pitch (then the voice keeps its previous frequency).
bool periodFrequency(const Song* song, int32_t period, int32_t periodOffset, int32_t* frequency);

struct ResamplingStep {
    int32_t integer;
    uint32_t fraction;  // units of 2^-32
};

// Step per output frame for a playback rate at an output rate, the playback
// rate floored at minimumStepFrequency.
ResamplingStep resamplingStep(int32_t frequency, int32_t outputRate);
// The same for a playback rate scaled by a factor (not cut to whole Hz).
ResamplingStep scaledResamplingStep(int32_t frequency, double factor, int32_t outputRate);

// The song's output rate and pitch factor, their defaults when unset.
int32_t songOutputRate(const Song* song);
double songPitchFactor(const Song* song);
// Step per output frame for an exact playback rate at an output rate (no
// floor, no whole-Hz cut), for the tracker's rules.
ResamplingStep exactResamplingStep(double frequency, int32_t outputRate);

// The last pitch worked out for a channel and what it came from.
struct PitchMemo {
    bool valid;
    bool linear;
    int32_t period;
    int32_t periodOffset;
    int32_t frequency;
    int32_t outputRate;
    double pitchFactor;
    ResamplingStep step;
};

// periodFrequency() and its resamplingStep(), worked out again only when the
// frequency mode, the period, the offset, the output rate or the pitch factor
// differ from the memo's.
bool rememberedPitch(PitchMemo& memo, const Song* song, int32_t period, int32_t periodOffset, int32_t* frequency,
                     ResamplingStep* step);

// Truncates towards zero after limiting the value to the int32 range, so
// that no out-of-range float is ever converted.
int32_t truncateToInt32(double value);

}  // namespace intro_music::engine
