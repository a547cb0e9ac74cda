#include "sample_synthesis.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace song_compiler {
namespace {

constexpr double twoPi = 2.0 * std::numbers::pi;
constexpr int semitonesPerOctave = 12;
constexpr int finetuneSteps = 128;
constexpr int maxFrameValue = 127;
constexpr int tailFadeFrames = 64;

// Small deterministic noise source (xorshift32) so the build never depends on
// a random device or the time.
class NoiseSource {
public:
    explicit NoiseSource(uint32_t seed) : state_(seed == 0 ? 1 : seed) {}
    double next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return static_cast<double>(state_) / 2147483648.0 - 1.0;
    }

private:
    uint32_t state_;
};

// Coefficient of a one-pole low-pass filter with the given corner frequency.
double onePoleCoefficient(double cutoff, double rate) {
    return 1.0 - std::exp(-twoPi * std::min(cutoff, rate / 2) / rate);
}

double harmonicAmplitude(const Spectrum& spectrum, int harmonic) {
    const double n = harmonic;
    double amplitude = 0;
    switch (spectrum.shape) {
        case SpectrumShape::Saw: amplitude = 1.0 / n; break;
        case SpectrumShape::Square: amplitude = harmonic % 2 == 1 ? 1.0 / n : 0.0; break;
        case SpectrumShape::Pulse: amplitude = std::sin(std::numbers::pi * n * spectrum.duty) / n; break;
    }
    const double softening = n / spectrum.rolloff;
    return amplitude / (1.0 + softening * softening);
}

// Sum of the spectrum's harmonics at `cycles` cycles per `frames`, at frame `index`.
double oscillator(const Spectrum& spectrum, int cycles, int frames, int index) {
    const double phase = twoPi * static_cast<double>(static_cast<int64_t>(cycles) * index % frames) / frames;
    double value = 0;
    for (int harmonic = 1; harmonic <= spectrum.harmonicCount; ++harmonic) {
        value += harmonicAmplitude(spectrum, harmonic) * std::sin(phase * harmonic);
    }
    return value;
}

std::vector<double> synthesiseDrum(const SampleRecipe& recipe) {
    const double rate = middleCPlaybackRate * std::exp2(static_cast<double>(recipe.relativeNote) / semitonesPerOctave);
    const int frameCount = std::max(1, static_cast<int>(std::lround(recipe.duration * rate)));
    std::vector<double> signal(static_cast<size_t>(frameCount), 0.0);

    for (const DrumTone& tone : recipe.tones) {
        double phase = 0;
        for (int index = 0; index < frameCount; ++index) {
            const double time = index / rate;
            const double frequency =
                tone.endFrequency + (tone.startFrequency - tone.endFrequency) * std::exp(-time / tone.glideTime);
            signal[static_cast<size_t>(index)] += tone.level * std::exp(-time / tone.decayTime) * std::sin(phase);
            phase = std::fmod(phase + twoPi * frequency / rate, twoPi);
        }
    }

    NoiseSource noise(recipe.seed);
    for (const DrumNoise& layer : recipe.noises) {
        const double lowPass = onePoleCoefficient(layer.highCut, rate);
        const double highPass = onePoleCoefficient(std::max(layer.lowCut, 1.0), rate);
        double smoothed = 0;
        double rumble = 0;
        for (int index = 0; index < frameCount; ++index) {
            const double time = index / rate;
            smoothed += lowPass * (noise.next() - smoothed);
            rumble += highPass * (smoothed - rumble);
            signal[static_cast<size_t>(index)] += layer.level * std::exp(-time / layer.decayTime) * (smoothed - rumble);
        }
    }

    // Fade in over the attack and out over the last frames, so the sample
    // starts and ends at zero.
    const int attackFrames = static_cast<int>(recipe.attackTime * rate);
    for (int index = 0; index < std::min(attackFrames, frameCount); ++index) {
        signal[static_cast<size_t>(index)] *= static_cast<double>(index) / attackFrames;
    }
    const int fadeFrames = std::min(tailFadeFrames, frameCount);
    for (int step = 0; step < fadeFrames; ++step) {
        signal[static_cast<size_t>(frameCount - 1 - step)] *= static_cast<double>(step) / fadeFrames;
    }
    return signal;
}

// Whole cycles only, so the loop joins without a step.
std::vector<double> synthesiseWave(const SampleRecipe& recipe) {
    std::vector<double> signal(static_cast<size_t>(recipe.loopFrames), 0.0);
    for (int index = 0; index < recipe.loopFrames; ++index) {
        double value = oscillator(recipe.spectrum, recipe.cycles, recipe.loopFrames, index);
        if (recipe.detuneCycles > 0) {
            value += recipe.detuneLevel * oscillator(recipe.spectrum, recipe.detuneCycles, recipe.loopFrames, index);
        }
        signal[static_cast<size_t>(index)] = value;
    }
    return signal;
}

std::vector<int16_t> quantise(const std::vector<double>& signal, double peak) {
    double largest = 0;
    for (const double value : signal) largest = std::max(largest, std::abs(value));
    const double scale = largest > 0 ? peak * maxFrameValue / largest : 0.0;
    std::vector<int16_t> frames;
    frames.reserve(signal.size());
    for (const double value : signal) {
        const long rounded = std::lround(value * scale);
        frames.push_back(static_cast<int16_t>(std::clamp(rounded, -128L, 127L)));
    }
    return frames;
}

}  // namespace

Tuning tuningFor(double fundamental) {
    const double semitones = semitonesPerOctave * std::log2(middleCFrequency / fundamental);
    Tuning tuning;
    tuning.relativeNote = static_cast<int>(std::lround(semitones));
    tuning.finetune = std::clamp(static_cast<int>(std::lround((semitones - tuning.relativeNote) * finetuneSteps)),
                                 -finetuneSteps, finetuneSteps - 1);
    return tuning;
}

xm_writer::SampleData synthesiseSample(const SampleRecipe& recipe) {
    xm_writer::SampleData sample;
    sample.name = recipe.name;
    sample.volume = static_cast<uint8_t>(recipe.volume);
    sample.panning = static_cast<uint8_t>(recipe.panning);
    if (recipe.kind == RecipeKind::Drum) {
        sample.frames = quantise(synthesiseDrum(recipe), recipe.peak);
        sample.relativeNote = static_cast<int8_t>(recipe.relativeNote);
        sample.loop = xm_writer::LoopKind::None;
        return sample;
    }
    sample.frames = quantise(synthesiseWave(recipe), recipe.peak);
    // Two detuned oscillators are heard at their level-weighted mean pitch.
    const double cycles = (recipe.cycles + recipe.detuneLevel * recipe.detuneCycles) /
                          (1.0 + (recipe.detuneCycles > 0 ? recipe.detuneLevel : 0.0));
    const Tuning tuning = tuningFor(middleCPlaybackRate * cycles / recipe.loopFrames);
    sample.relativeNote = static_cast<int8_t>(tuning.relativeNote);
    sample.finetune = static_cast<int8_t>(tuning.finetune);
    sample.loop = xm_writer::LoopKind::Forward;
    sample.loopStart = 0;
    sample.loopLength = static_cast<uint32_t>(recipe.loopFrames);
    return sample;
}

}  // namespace song_compiler
