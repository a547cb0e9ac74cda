// Line and token helpers shared by the readers of the song's text files.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace song_compiler {

// Where a reader stopped and why; line 0 means the whole file.
struct TextError {
    std::string file;
    int line = 0;
    std::string message;
};

// One significant line of a text file: comments ('#' at the start of the
// line or after a blank, to the end of the line) and
// surrounding blanks removed, empty lines skipped.
struct TextLine {
    int number = 0;
    std::string text;
};

std::vector<TextLine> significantLines(std::string_view content);
std::vector<std::string> splitWords(std::string_view text);
std::vector<std::string> splitFields(std::string_view text, char separator);
std::string trimmed(std::string_view text);

bool parseInteger(const std::string& word, int& value);
bool parseNumber(const std::string& word, double& value);
// Two-digit (or shorter) upper- or lower-case hexadecimal.
bool parseHex(std::string_view word, int& value);

bool readTextFile(const std::string& path, std::string& content);

}  // namespace song_compiler
