// Synthesises the sample of one recipe as 8-bit frames, tuned so that a
// melodic sample plays the equal-tempered pitch of the note it is given
// (A-4 = 440 Hz) in the song's Amiga period mode.
#pragma once

#include "sample_recipe.h"
#include "xm_writer.h"

namespace song_compiler {

// Playback rate of a sample played at note C-4 with relative note 0 and finetune 0.
inline constexpr double middleCPlaybackRate = 8363.0;
inline constexpr double middleCFrequency = 261.6255653;  // C-4 when A-4 is 440 Hz

struct Tuning {
    int relativeNote = 0;
    int finetune = 0;  // 1/128 semitone
};

// Relative note and finetune that make a waveform whose fundamental is
// `fundamental` Hz at the C-4 playback rate sound at middle C on note C-4.
Tuning tuningFor(double fundamental);

xm_writer::SampleData synthesiseSample(const SampleRecipe& recipe);

}  // namespace song_compiler
