#include "sample_recipe.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace song_compiler {
namespace {

constexpr int maxVolume = 64;
constexpr int maxPanning = 255;
constexpr int maxRelativeNote = 48;
constexpr double maxDrumSeconds = 2.0;
constexpr int maxLoopFrames = 65536;
constexpr int maxHarmonics = 64;

struct Reader {
    const std::vector<std::string>& words;
    std::string& message;

    bool count(size_t expected) {
        if (words.size() == expected + 1) return true;
        message = "\"" + words[0] + "\" takes " + std::to_string(expected) + " value(s)";
        return false;
    }
    bool number(size_t index, double low, double high, double& value) {
        if (parseNumber(words[index], value) && value >= low && value <= high) return true;
        message = "\"" + words[0] + "\": value " + std::to_string(index) + " must be a number in " +
                  std::to_string(low) + ".." + std::to_string(high);
        return false;
    }
    bool integer(size_t index, int low, int high, int& value) {
        if (parseInteger(words[index], value) && value >= low && value <= high) return true;
        message = "\"" + words[0] + "\": value " + std::to_string(index) + " must be an integer in " +
                  std::to_string(low) + ".." + std::to_string(high);
        return false;
    }
};

bool parseSpectrum(Reader& reader, Spectrum& spectrum) {
    const std::vector<std::string>& words = reader.words;
    if (words.size() < 2) {
        reader.message = "\"spectrum\" needs a shape: saw, pulse or square";
        return false;
    }
    size_t next = 2;
    if (words[1] == "saw") {
        spectrum.shape = SpectrumShape::Saw;
    } else if (words[1] == "square") {
        spectrum.shape = SpectrumShape::Square;
    } else if (words[1] == "pulse") {
        spectrum.shape = SpectrumShape::Pulse;
        if (words.size() < 3 || !reader.number(2, 0.01, 0.99, spectrum.duty)) {
            if (reader.message.empty()) reader.message = "\"spectrum pulse\" needs a duty cycle";
            return false;
        }
        next = 3;
    } else {
        reader.message = "unknown spectrum shape \"" + words[1] + "\"";
        return false;
    }
    if (words.size() != next + 2) {
        reader.message = "\"spectrum\" ends with harmonic count and rolloff";
        return false;
    }
    return reader.integer(next, 1, maxHarmonics, spectrum.harmonicCount) &&
           reader.number(next + 1, 0.1, 1000.0, spectrum.rolloff);
}

bool parseParameter(const std::vector<std::string>& words, SampleRecipe& recipe, std::string& message) {
    Reader reader{words, message};
    const std::string& key = words[0];
    double value = 0;
    if (key == "volume") return reader.count(1) && reader.integer(1, 0, maxVolume, recipe.volume);
    if (key == "panning") return reader.count(1) && reader.integer(1, 0, maxPanning, recipe.panning);
    if (key == "peak") return reader.count(1) && reader.number(1, 0.01, 1.0, recipe.peak);
    if (key == "drum") {
        recipe.kind = RecipeKind::Drum;
        return reader.count(1) && reader.integer(1, -maxRelativeNote, maxRelativeNote, recipe.relativeNote);
    }
    if (key == "duration") return reader.count(1) && reader.number(1, 0.001, maxDrumSeconds, recipe.duration);
    if (key == "attack") return reader.count(1) && reader.number(1, 0.0, maxDrumSeconds, recipe.attackTime);
    if (key == "seed") {
        int seed = 0;
        if (!reader.count(1) || !reader.integer(1, 1, std::numeric_limits<int>::max(), seed)) return false;
        recipe.seed = static_cast<uint32_t>(seed);
        return true;
    }
    if (key == "tone") {
        DrumTone tone;
        if (!reader.count(5) || !reader.number(1, 1.0, 20000.0, tone.startFrequency) ||
            !reader.number(2, 1.0, 20000.0, tone.endFrequency) || !reader.number(3, 0.0001, 10.0, tone.glideTime) ||
            !reader.number(4, 0.0001, 10.0, tone.decayTime) || !reader.number(5, 0.0, 1.0, tone.level)) {
            return false;
        }
        recipe.tones.push_back(tone);
        return true;
    }
    if (key == "noise") {
        DrumNoise noise;
        if (!reader.count(4) || !reader.number(1, 0.0001, 10.0, noise.decayTime) ||
            !reader.number(2, 0.0, 1.0, noise.level) || !reader.number(3, 0.0, 20000.0, noise.lowCut) ||
            !reader.number(4, 1.0, 40000.0, noise.highCut)) {
            return false;
        }
        recipe.noises.push_back(noise);
        return true;
    }
    if (key == "wave") {
        recipe.kind = RecipeKind::Wave;
        return reader.count(2) && reader.integer(1, 2, maxLoopFrames, recipe.loopFrames) &&
               reader.integer(2, 1, maxLoopFrames / 2, recipe.cycles);
    }
    if (key == "detune") {
        if (!reader.count(2) || !reader.integer(1, 1, maxLoopFrames / 2, recipe.detuneCycles)) return false;
        if (!reader.number(2, 0.0, 1.0, value)) return false;
        recipe.detuneLevel = value;
        return true;
    }
    if (key == "spectrum") return parseSpectrum(reader, recipe.spectrum);
    message = "unknown parameter \"" + key + "\"";
    return false;
}

// Checks that a finished block describes a sample that can be synthesised.
bool checkRecipe(const SampleRecipe& recipe, std::string& message) {
    if (recipe.kind == RecipeKind::Drum) {
        if (recipe.duration <= 0) message = "a drum needs a duration";
        else if (recipe.tones.empty() && recipe.noises.empty()) message = "a drum needs a tone or a noise";
        return message.empty();
    }
    if (recipe.loopFrames == 0) {
        message = "needs \"drum\" or \"wave\"";
        return false;
    }
    // Every harmonic must stay below half the frame rate of the loop.
    const int highestCycles = std::max(recipe.cycles, recipe.detuneCycles);
    if (2 * highestCycles * recipe.spectrum.harmonicCount >= recipe.loopFrames) {
        message = "the highest harmonic does not fit the loop's frames";
        return false;
    }
    return true;
}

}  // namespace

bool parseSampleRecipes(std::string_view content, const std::string& fileName,
                        std::vector<SampleRecipe>& recipes, TextError& error) {
    recipes.clear();
    int blockLine = 0;
    for (const TextLine& line : significantLines(content)) {
        error = {fileName, line.number, {}};
        const std::vector<std::string> words = splitWords(line.text);
        if (words[0] == "instrument") {
            if (!recipes.empty()) {
                error.line = blockLine;
                if (!checkRecipe(recipes.back(), error.message)) return false;
            }
            if (words.size() != 2) {
                error = {fileName, line.number, "\"instrument\" takes one name"};
                return false;
            }
            recipes.push_back({});
            recipes.back().name = words[1];
            blockLine = line.number;
            continue;
        }
        if (recipes.empty()) {
            error.message = "parameters must follow an \"instrument\" line";
            return false;
        }
        if (!parseParameter(words, recipes.back(), error.message)) return false;
    }
    if (recipes.empty()) {
        error = {fileName, 0, "no instruments"};
        return false;
    }
    error = {fileName, blockLine, {}};
    return checkRecipe(recipes.back(), error.message);
}

}  // namespace song_compiler
