#include "clock_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

std::string clockText(double seconds, int decimals) {
    decimals = std::clamp(decimals, 0, 3);
    long long unitsPerSecond = 1;
    for (int place = 0; place < decimals; ++place) unitsPerSecond *= 10;
    // Rounded first, split after: the rounding may carry into the minutes.
    const double units = std::isfinite(seconds) && seconds > 0.0 ? std::round(seconds * unitsPerSecond) : 0.0;
    const auto whole = static_cast<long long>(std::min(units, 1e15));
    const long long unitsPerMinute = 60 * unitsPerSecond;
    const long long minutes = whole / unitsPerMinute;
    const long long rest = whole % unitsPerMinute;
    char text[48];
    if (decimals == 0) {
        std::snprintf(text, sizeof text, "%lld:%02lld", minutes, rest);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld.%0*lld", minutes, rest / unitsPerSecond, decimals,
                      rest % unitsPerSecond);
    }
    return text;
}
