#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "messages.h"

namespace {

std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> lines(1);
    for (char character : text) {
        if (character == '\n') {
            lines.emplace_back();
        } else {
            lines.back() += character;
        }
    }
    return lines;
}

}  // namespace

// Total lengths (line feeds included) and line counts of the seven messages.
TEST(Messages, LengthsAndLineCounts) {
    const std::size_t lengths[] = {70, 65, 60, 83, 96, 67, 62};
    const std::size_t lineCounts[] = {4, 4, 4, 4, 5, 4, 4};
    for (int index = 0; index < presentationMessageCount; ++index) {
        EXPECT_EQ(presentationMessages[index].size(), lengths[index]) << "message " << index + 1;
        EXPECT_EQ(splitLines(presentationMessages[index]).size(), lineCounts[index]) << "message " << index + 1;
    }
}

// The special lines: a single space, the 3-character lines, the trailing and the empty line.
TEST(Messages, SpecialLines) {
    EXPECT_EQ(splitLines(presentationMessages[1])[1], " ");
    EXPECT_EQ(splitLines(presentationMessages[2])[2].size(), 3u);
    EXPECT_EQ(presentationMessages[4].back(), '\n');
    EXPECT_EQ(splitLines(presentationMessages[4])[4], "");
    EXPECT_EQ(splitLines(presentationMessages[5])[2], "");
    EXPECT_EQ(splitLines(presentationMessages[6])[1].size(), 3u);
    // Every other line carries text.
    const std::vector<std::pair<int, int>> special = {{1, 1}, {4, 4}, {5, 2}};
    for (int index = 0; index < presentationMessageCount; ++index) {
        const std::vector<std::string> lines = splitLines(presentationMessages[index]);
        for (int line = 0; line < static_cast<int>(lines.size()); ++line) {
            if (std::find(special.begin(), special.end(), std::pair{index, line}) != special.end()) {
                continue;
            }
            EXPECT_NE(lines[line].find_first_not_of(' '), std::string::npos) << "message " << index + 1 << " line " << line + 1;
        }
    }
}

// Upper case, printable ASCII only: every character is in the glyph cache.
TEST(Messages, UpperCasePrintableAscii) {
    for (std::string_view message : presentationMessages) {
        for (char character : message) {
            EXPECT_TRUE(character == '\n' || (character >= ' ' && character <= '~')) << message;
            EXPECT_FALSE(character >= 'a' && character <= 'z') << message;
        }
    }
}
