#include "clock_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
// About eleven days in thousandths: far beyond any render, and within a 32-bit long.
constexpr double mostUnits = 1e9;
}  // namespace

std::string clockText(double seconds, int decimals) {
    decimals = std::clamp(decimals, 0, 3);
    long unitsPerSecond = 1;
    for (int place = 0; place < decimals; ++place) unitsPerSecond *= 10;
    // Rounded first, split after: the rounding may carry into the minutes.
    const double units = std::isfinite(seconds) && seconds > 0.0 ? std::round(seconds * unitsPerSecond) : 0.0;
    const auto whole = static_cast<long>(std::min(units, mostUnits));
    const long unitsPerMinute = 60 * unitsPerSecond;
    const long minutes = whole / unitsPerMinute;
    const long rest = whole % unitsPerMinute;
    char text[48];
    if (decimals == 0) {
        std::snprintf(text, sizeof text, "%ld:%02ld", minutes, rest);
    } else {
        std::snprintf(text, sizeof text, "%ld:%02ld.%0*ld", minutes, rest / unitsPerSecond, decimals,
                      rest % unitsPerSecond);
    }
    return text;
}
