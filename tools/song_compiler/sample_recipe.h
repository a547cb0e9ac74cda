// Reads the sample recipes: the text description from which every instrument's
// sample is synthesised. Blocks start with "instrument <name>"; the lines
// after it set that instrument's parameters:
//
//   volume V, panning P, peak L          default volume 0..64, panning 0..255,
//                                        peak level of the sample 0..1
//   drum R                               one-shot sample; note C-4 plays it at
//                                        8363 Hz x 2^(R/12) (R = relative note)
//   duration S                           drum length in seconds
//   attack S                             drum fade-in time
//   tone F0 F1 G D L                     drum sine gliding from F0 to F1 Hz
//                                        (time constant G), decaying with time
//                                        constant D, level L
//   noise D L LOW HIGH                   drum noise, decay D, level L, band
//                                        LOW..HIGH Hz (one-pole filters)
//   seed N                               noise generator seed
//   wave N K                             looped wave: N frames holding K cycles
//   detune K L                           second oscillator: K cycles, level L
//   spectrum saw COUNT ROLLOFF           harmonic amplitudes 1/n
//   spectrum pulse DUTY COUNT ROLLOFF    harmonic amplitudes sin(pi n DUTY)/n
//   spectrum square COUNT ROLLOFF        odd harmonics 1/n
//
// Every spectrum amplitude is softened by 1 / (1 + (n / ROLLOFF)^2).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "text_lines.h"

namespace song_compiler {

struct DrumTone {
    double startFrequency = 0;
    double endFrequency = 0;
    double glideTime = 0;
    double decayTime = 0;
    double level = 0;
};

struct DrumNoise {
    double decayTime = 0;
    double level = 0;
    double lowCut = 0;
    double highCut = 0;
};

enum class SpectrumShape { Saw, Pulse, Square };

struct Spectrum {
    SpectrumShape shape = SpectrumShape::Saw;
    double duty = 0.5;
    int harmonicCount = 1;
    double rolloff = 1;
};

enum class RecipeKind { Drum, Wave };

struct SampleRecipe {
    std::string name;
    int volume = 64;
    int panning = 128;
    double peak = 0.9;
    RecipeKind kind = RecipeKind::Wave;

    // Drum
    int relativeNote = 0;
    double duration = 0;
    double attackTime = 0;
    std::vector<DrumTone> tones;
    std::vector<DrumNoise> noises;
    uint32_t seed = 1;

    // Wave
    int loopFrames = 0;
    int cycles = 0;
    int detuneCycles = 0;
    double detuneLevel = 0;
    Spectrum spectrum;
};

bool parseSampleRecipes(std::string_view content, const std::string& fileName,
                        std::vector<SampleRecipe>& recipes, TextError& error);

}  // namespace song_compiler
