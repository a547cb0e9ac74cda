#include <gtest/gtest.h>

#include <algorithm>
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

// Each message's length (line feeds included), line count and special line; other lines carry text; upper case ASCII.
TEST(Messages, Shapes) {
    struct Shape {
        std::size_t length;
        std::size_t lineCount;
        int specialLine;  // -1: none; a special line of length 0 or 1 is blank
        std::size_t specialLength;
    };
    const Shape shapes[presentationMessageCount] = {
        {70, 4, -1, 0},
        {65, 4, 1, 1},  // the single-space line
        {60, 4, 2, 3},  // a 3-character line
        {83, 4, -1, 0},
        {96, 5, 4, 0},  // the trailing line feed leaves an empty last line
        {67, 4, 2, 0},  // an empty line in the middle
        {62, 4, 1, 3},  // a 3-character line
    };
    for (int index = 0; index < presentationMessageCount; ++index) {
        SCOPED_TRACE(testing::Message() << "message " << index + 1);
        const Shape& shape = shapes[index];
        const std::string_view message = presentationMessages[index];
        const std::vector<std::string> lines = splitLines(message);
        EXPECT_EQ(message.size(), shape.length);
        EXPECT_TRUE(std::all_of(message.begin(), message.end(), [](char c) {
            return c == '\n' || (c >= ' ' && c <= '~' && !(c >= 'a' && c <= 'z'));  // all in the glyph cache
        }));
        ASSERT_EQ(lines.size(), shape.lineCount);
        for (int line = 0; line < static_cast<int>(lines.size()); ++line) {
            if (line == shape.specialLine) {
                EXPECT_EQ(lines[line].size(), shape.specialLength);
            }
            const bool blank = line == shape.specialLine && shape.specialLength < 3;
            EXPECT_EQ(lines[line].find_first_not_of(' ') == std::string::npos, blank) << "line " << line + 1;
        }
    }
}
