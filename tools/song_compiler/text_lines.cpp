#include "text_lines.h"

#include <charconv>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace song_compiler {
namespace {

constexpr char commentMarker = '#';
constexpr std::string_view blanks = " \t\r";

// A comment starts with '#' at the beginning of a line or after a blank, so
// that sharp notes such as "C#4" are not mistaken for one.
size_t commentStart(std::string_view line) {
    for (size_t index = 0; index < line.size(); ++index) {
        if (line[index] == commentMarker && (index == 0 || blanks.find(line[index - 1]) != std::string_view::npos)) {
            return index;
        }
    }
    return line.size();
}

}  // namespace

std::string trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    const size_t last = text.find_last_not_of(blanks);
    return std::string(text.substr(first, last - first + 1));
}

std::vector<TextLine> significantLines(std::string_view content) {
    std::vector<TextLine> lines;
    int number = 0;
    size_t start = 0;
    while (start <= content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string_view::npos) end = content.size();
        ++number;
        std::string_view line = content.substr(start, end - start);
        line = line.substr(0, commentStart(line));
        std::string text = trimmed(line);
        if (!text.empty()) lines.push_back({number, std::move(text)});
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> splitWords(std::string_view text) {
    std::vector<std::string> words;
    size_t position = 0;
    while (true) {
        const size_t first = text.find_first_not_of(blanks, position);
        if (first == std::string_view::npos) break;
        size_t last = text.find_first_of(blanks, first);
        if (last == std::string_view::npos) last = text.size();
        words.emplace_back(text.substr(first, last - first));
        position = last;
    }
    return words;
}

std::vector<std::string> splitFields(std::string_view text, char separator) {
    std::vector<std::string> fields;
    size_t start = 0;
    while (true) {
        const size_t end = text.find(separator, start);
        fields.push_back(trimmed(text.substr(start, end == std::string_view::npos ? end : end - start)));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return fields;
}

bool parseInteger(const std::string& word, int& value) {
    const char* end = word.data() + word.size();
    const auto result = std::from_chars(word.data(), end, value);
    return result.ec == std::errc() && result.ptr == end;
}

bool parseNumber(const std::string& word, double& value) {
    if (word.empty()) return false;
    char* end = nullptr;
    value = std::strtod(word.c_str(), &end);
    return end == word.c_str() + word.size();
}

bool parseHex(std::string_view word, int& value) {
    if (word.empty() || word.size() > 2) return false;
    const auto result = std::from_chars(word.data(), word.data() + word.size(), value, 16);
    return result.ec == std::errc() && result.ptr == word.data() + word.size();
}

bool readTextFile(const std::string& path, std::string& content) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::ostringstream buffer;
    buffer << file.rdbuf();
    content = buffer.str();
    return !file.bad();
}

}  // namespace song_compiler
