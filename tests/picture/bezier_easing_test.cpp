#include <gtest/gtest.h>

#include "bezier_easing.h"

namespace {

// One coordinate of the cubic with control values `first` and `second`, written out independently.
double curve(double t, double first, double second) {
    return ((1.0 - 3.0 * second + 3.0 * first) * t + 3.0 * second - 6.0 * first) * t * t + 3.0 * first * t;
}

}  // namespace

// The table holds x at t = 0, 0.1, ..., 1; the quarters ease to their known values (a strong ease-out).
TEST(BezierEasing, SampleTableAndQuarters) {
    BezierEasing easing{};
    easing.init();
    const double samples[easingSampleCount] = {0,       0.09901, 0.21248, 0.33507, 0.46144, 0.58625,
                                               0.70416, 0.80983, 0.89792, 0.96309, 1};
    for (int k = 0; k < easingSampleCount; ++k) {
        EXPECT_NEAR(easing.samples[k], samples[k], 0.000005) << "sample " << k;
    }
    for (auto [progress, eased] : {std::pair{0.25, 0.5415}, {0.5, 0.8112}, {0.75, 0.9515}}) {
        EXPECT_NEAR(easing.ease(progress), eased, 0.00005) << progress;
    }
}

// In every table interval (the last one included) the solved t has x(t) = u, so ease(u) = y(t).
TEST(BezierEasing, SolvesTheParameterInEveryInterval) {
    BezierEasing easing{};
    easing.init();
    for (double u : {0.001, 0.05, 0.3, 0.62, 0.9, 0.96309, 0.97, 0.999}) {
        double low = 0.0;  // x inverted by plain bisection, independently of the solver
        double high = 1.0;
        for (int i = 0; i < 200; ++i) {
            const double middle = (low + high) * 0.5;
            (curve(middle, 0.3, 0.93) < u ? low : high) = middle;
        }
        EXPECT_NEAR(easing.ease(u), curve(low, 0.99, 1.0), 1e-9) << "u = " << u;
    }
}
