#include "pattern_text.h"

#include <array>

namespace song_compiler {
namespace {

constexpr char cellSeparator = '|';
constexpr size_t cellFieldCount = 4;
constexpr int maxRowCount = 256;

constexpr int semitonesPerOctave = 12;
constexpr int highestOctave = 7;
constexpr uint8_t keyOffNote = 97;
constexpr int maxInstrument = 128;

constexpr int maxSetVolume = 0x40;
constexpr uint8_t setVolumeBase = 0x10;
constexpr int maxEffectNumber = 35;

struct VolumeCommand {
    char symbol;
    uint8_t base;
};
constexpr std::array<VolumeCommand, 10> volumeCommands{{
    {'-', 0x60}, {'+', 0x70}, {'D', 0x80}, {'U', 0x90}, {'S', 0xA0},
    {'V', 0xB0}, {'P', 0xC0}, {'L', 0xD0}, {'R', 0xE0}, {'M', 0xF0},
}};

bool isAll(std::string_view text, char symbol) {
    return !text.empty() && text.find_first_not_of(symbol) == std::string_view::npos;
}

bool parseNote(std::string_view text, uint8_t& note) {
    if (text.size() != 3) return false;
    if (text == "---") {
        note = 0;
        return true;
    }
    if (text == "===") {
        note = keyOffNote;
        return true;
    }
    constexpr std::string_view names = "C D EF G A B";  // semitone index of each letter
    const size_t semitone = names.find(text[0]);
    if (semitone == std::string_view::npos || text[0] == ' ') return false;
    int offset = 0;
    if (text[1] == '#') {
        // Only letters followed by a black key may be sharpened.
        if (semitone + 1 >= names.size() || names[semitone + 1] != ' ') return false;
        offset = 1;
    } else if (text[1] != '-') {
        return false;
    }
    if (text[2] < '0' || text[2] > '0' + highestOctave) return false;
    const int octave = text[2] - '0';
    note = static_cast<uint8_t>(octave * semitonesPerOctave + static_cast<int>(semitone) + offset + 1);
    return true;
}

bool parseVolume(std::string_view text, uint8_t& volume) {
    if (text.size() != 2) return false;
    if (isAll(text, '.')) {
        volume = 0;
        return true;
    }
    int value = 0;
    for (const VolumeCommand& command : volumeCommands) {
        if (text[0] == command.symbol) {
            if (!parseHex(text.substr(1), value)) return false;
            volume = static_cast<uint8_t>(command.base + value);
            return true;
        }
    }
    if (!parseHex(text, value) || value > maxSetVolume) return false;
    volume = static_cast<uint8_t>(setVolumeBase + value);
    return true;
}

bool parseEffect(std::string_view text, uint8_t& effect, uint8_t& parameter) {
    if (text.size() != 3) return false;
    if (isAll(text, '.')) {
        effect = 0;
        parameter = 0;
        return true;
    }
    const char symbol = text[0];
    int number = 0;
    if (symbol >= '0' && symbol <= '9') {
        number = symbol - '0';
    } else if (symbol >= 'A' && symbol <= 'Z') {
        number = symbol - 'A' + 10;
    } else {
        return false;
    }
    int value = 0;
    if (number > maxEffectNumber || !parseHex(text.substr(1), value)) return false;
    effect = static_cast<uint8_t>(number);
    parameter = static_cast<uint8_t>(value);
    return true;
}

}  // namespace

bool parseCell(std::string_view text, xm_writer::Cell& cell, std::string& error) {
    const std::vector<std::string> fields = splitWords(text);
    if (fields.size() != cellFieldCount) {
        error = "a cell needs note, instrument, volume and effect: \"" + std::string(text) + "\"";
        return false;
    }
    if (!parseNote(fields[0], cell.note)) {
        error = "bad note \"" + fields[0] + "\"";
        return false;
    }
    int instrument = 0;
    if (isAll(fields[1], '.') && fields[1].size() == 2) {
        cell.instrument = 0;
    } else if (fields[1].size() == 2 && parseHex(fields[1], instrument) && instrument >= 1 &&
               instrument <= maxInstrument) {
        cell.instrument = static_cast<uint8_t>(instrument);
    } else {
        error = "bad instrument \"" + fields[1] + "\"";
        return false;
    }
    if (!parseVolume(fields[2], cell.volume)) {
        error = "bad volume column \"" + fields[2] + "\"";
        return false;
    }
    if (!parseEffect(fields[3], cell.effect, cell.parameter)) {
        error = "bad effect \"" + fields[3] + "\"";
        return false;
    }
    return true;
}

bool parsePattern(std::string_view content, const std::string& fileName, int channelCount,
                  xm_writer::PatternData& pattern, TextError& error) {
    pattern.cells.clear();
    int rowCount = 0;
    for (const TextLine& line : significantLines(content)) {
        error = {fileName, line.number, {}};
        const std::vector<std::string> fields = splitFields(line.text, cellSeparator);
        int rowNumber = -1;
        if (!parseInteger(fields[0], rowNumber) || rowNumber != rowCount) {
            error.message = "expected row " + std::to_string(rowCount) + " first on the line";
            return false;
        }
        if (static_cast<int>(fields.size()) != channelCount + 1) {
            error.message = "expected " + std::to_string(channelCount) + " cells, found " +
                            std::to_string(fields.size() - 1);
            return false;
        }
        for (size_t channel = 1; channel < fields.size(); ++channel) {
            xm_writer::Cell cell;
            std::string cellError;
            if (!parseCell(fields[channel], cell, cellError)) {
                error.message = "channel " + std::to_string(channel) + ": " + cellError;
                return false;
            }
            pattern.cells.push_back(cell);
        }
        ++rowCount;
    }
    error = {fileName, 0, {}};
    if (rowCount == 0 || rowCount > maxRowCount) {
        error.message = "a pattern has 1 to " + std::to_string(maxRowCount) + " rows, found " +
                        std::to_string(rowCount);
        return false;
    }
    pattern.rowCount = rowCount;
    return true;
}

}  // namespace song_compiler
