#include "song_compiler.h"

#include <filesystem>
#include <vector>

#include "pattern_text.h"
#include "sample_recipe.h"
#include "sample_synthesis.h"

namespace song_compiler {
namespace {

constexpr int maxChannels = 32;
constexpr int maxSpeed = 31;
constexpr int minBpm = 32;
constexpr int maxBpm = 255;
constexpr size_t maxOrders = 256;
constexpr int maxPatterns = 256;
constexpr int maxInstruments = 128;
constexpr uint16_t linearFrequencyFlag = 0x0001;

struct SongDescription {
    std::string name;
    int speed = 6;
    int bpm = 125;
    int channels = 8;
    int restart = 0;
    bool linearFrequencies = false;
    std::string instrumentFile;
    std::vector<std::string> patternFiles;
    std::vector<int> orders;
};

bool parseRangedInteger(const std::vector<std::string>& words, int low, int high, int& value, std::string& message) {
    if (words.size() == 2 && parseInteger(words[1], value) && value >= low && value <= high) return true;
    message = "\"" + words[0] + "\" takes one integer in " + std::to_string(low) + ".." + std::to_string(high);
    return false;
}

bool parseSongLine(const TextLine& line, SongDescription& song, std::string& message) {
    const std::vector<std::string> words = splitWords(line.text);
    const std::string& key = words[0];
    if (key == "name") {
        song.name = trimmed(std::string_view(line.text).substr(key.size()));
        return true;
    }
    if (key == "speed") return parseRangedInteger(words, 1, maxSpeed, song.speed, message);
    if (key == "bpm") return parseRangedInteger(words, minBpm, maxBpm, song.bpm, message);
    if (key == "channels") return parseRangedInteger(words, 1, maxChannels, song.channels, message);
    if (key == "restart") return parseRangedInteger(words, 0, static_cast<int>(maxOrders) - 1, song.restart, message);
    if (key == "frequencies") {
        if (words.size() == 2 && (words[1] == "amiga" || words[1] == "linear")) {
            song.linearFrequencies = words[1] == "linear";
            return true;
        }
        message = "\"frequencies\" is amiga or linear";
        return false;
    }
    if (key == "instruments" || key == "pattern") {
        if (words.size() != 2) {
            message = "\"" + key + "\" takes one file name";
            return false;
        }
        if (key == "instruments") song.instrumentFile = words[1];
        else song.patternFiles.push_back(words[1]);
        return true;
    }
    if (key == "orders") {
        for (size_t index = 1; index < words.size(); ++index) {
            int order = 0;
            if (!parseInteger(words[index], order) || order < 0 || order >= maxPatterns) {
                message = "bad order entry \"" + words[index] + "\"";
                return false;
            }
            song.orders.push_back(order);
        }
        return true;
    }
    message = "unknown setting \"" + key + "\"";
    return false;
}

bool parseSongDescription(const std::string& path, SongDescription& song, TextError& error) {
    std::string content;
    if (!readTextFile(path, content)) {
        error = {path, 0, "cannot read the file"};
        return false;
    }
    for (const TextLine& line : significantLines(content)) {
        error = {path, line.number, {}};
        if (!parseSongLine(line, song, error.message)) return false;
    }
    error = {path, 0, {}};
    if (song.instrumentFile.empty()) error.message = "no \"instruments\" file";
    else if (song.patternFiles.empty()) error.message = "no \"pattern\" files";
    else if (song.patternFiles.size() > static_cast<size_t>(maxPatterns)) error.message = "too many patterns";
    else if (song.orders.empty() || song.orders.size() > maxOrders) error.message = "1 to 256 order entries needed";
    else if (song.restart >= static_cast<int>(song.orders.size())) error.message = "restart lies beyond the orders";
    for (const int order : song.orders) {
        if (error.message.empty() && order >= static_cast<int>(song.patternFiles.size())) {
            error.message = "order entry " + std::to_string(order) + " names a missing pattern";
        }
    }
    return error.message.empty();
}

}  // namespace

bool compileSong(const std::string& songPath, xm_writer::ModuleData& module, TextError& error) {
    SongDescription song;
    if (!parseSongDescription(songPath, song, error)) return false;
    const std::filesystem::path folder = std::filesystem::path(songPath).parent_path();

    module = {};
    module.name = song.name;
    module.channelCount = song.channels;
    module.restartPosition = song.restart;
    module.flags = song.linearFrequencies ? linearFrequencyFlag : 0;
    module.defaultSpeed = song.speed;
    module.defaultBpm = song.bpm;
    for (const int order : song.orders) module.orders.push_back(static_cast<uint8_t>(order));

    for (const std::string& name : song.patternFiles) {
        const std::string path = (folder / name).string();
        std::string content;
        if (!readTextFile(path, content)) {
            error = {path, 0, "cannot read the file"};
            return false;
        }
        xm_writer::PatternData pattern;
        if (!parsePattern(content, path, song.channels, pattern, error)) return false;
        module.patterns.push_back(std::move(pattern));
    }

    const std::string recipePath = (folder / song.instrumentFile).string();
    std::string content;
    if (!readTextFile(recipePath, content)) {
        error = {recipePath, 0, "cannot read the file"};
        return false;
    }
    std::vector<SampleRecipe> recipes;
    if (!parseSampleRecipes(content, recipePath, recipes, error)) return false;
    if (recipes.size() > static_cast<size_t>(maxInstruments)) {
        error = {recipePath, 0, "too many instruments"};
        return false;
    }
    for (const SampleRecipe& recipe : recipes) {
        xm_writer::InstrumentData instrument;
        instrument.name = recipe.name;
        instrument.sampleMap.fill(0);  // one sample for every note
        instrument.samples.push_back(synthesiseSample(recipe));
        module.instruments.push_back(std::move(instrument));
    }
    error = {};
    return true;
}

}  // namespace song_compiler
