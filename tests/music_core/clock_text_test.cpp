// The tools' clock: rounded as a whole, so a time just below a minute
// carries into the minutes instead of reading 60 seconds.
#include <gtest/gtest.h>

#include <cmath>

#include "clock_text.h"

namespace {

struct ClockRow {
    const char* rule;
    double seconds;
    int decimals;
    const char* text;
};

TEST(ClockText, RoundsOnceAndCarriesIntoTheMinutes) {
    const ClockRow rows[] = {
        {"the start", 0.0, 2, "0:00.00"},
        {"seconds get two digits", 5.25, 2, "0:05.25"},
        {"just below a minute carries (hundredths)", 59.999, 2, "1:00.00"},
        {"just below a minute carries (tenths)", 59.96, 1, "1:00.0"},
        {"just below an hour carries into 60 minutes", 3599.996, 2, "60:00.00"},
        {"no decimals", 119.6, 0, "2:00"},
        {"rounds to nearest, not down", 83.456, 2, "1:23.46"},
        {"tenths", 83.44, 1, "1:23.4"},
        {"a negative time reads as the start", -1.0, 1, "0:00.0"},
        {"not a number reads as the start", std::nan(""), 2, "0:00.00"},
    };
    for (const ClockRow& row : rows) {
        EXPECT_EQ(clockText(row.seconds, row.decimals), row.text) << row.rule;
    }
}

}  // namespace
