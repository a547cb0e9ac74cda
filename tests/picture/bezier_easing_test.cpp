#include <gtest/gtest.h>

#include <cmath>

#include "bezier_easing.h"

namespace {

BezierEasing initialised() {
    BezierEasing easing{};
    easing.init();
    return easing;
}

double curve(double t, double first, double second) {
    const double a = 1.0 - 3.0 * second + 3.0 * first;
    const double b = 3.0 * second - 6.0 * first;
    const double c = 3.0 * first;
    return ((a * t + b) * t + c) * t;
}

}  // namespace

// The sample table holds x at t = 0, 0.1, ..., 1 of the (0.3, 0.99), (0.93, 1) curve.
TEST(BezierEasing, SampleTableMatchesTheCurve) {
    const BezierEasing easing = initialised();
    const double expected[easingSampleCount] = {0,       0.09901, 0.21248, 0.33507, 0.46144, 0.58625,
                                                0.70416, 0.80983, 0.89792, 0.96309, 1};
    for (int k = 0; k < easingSampleCount; ++k) {
        EXPECT_NEAR(easing.samples[k], expected[k], 0.000005) << "sample " << k;
    }
    EXPECT_EQ(easing.samples[0], 0.0);
    EXPECT_EQ(easing.samples[easingSampleCount - 1], 1.0);
    EXPECT_EQ(easing.sampleCount, 11.0);
    EXPECT_DOUBLE_EQ(easing.sampleStep, 0.1);
}

// The curve is a strong ease-out: most of the way is covered in the first half.
TEST(BezierEasing, EasedValuesAtQuarters) {
    const BezierEasing easing = initialised();
    EXPECT_NEAR(easing.ease(0.25), 0.5415, 0.00005);
    EXPECT_NEAR(easing.ease(0.5), 0.8112, 0.00005);
    EXPECT_NEAR(easing.ease(0.75), 0.9515, 0.00005);
}

// Whatever the interval (the last one included), the solved t has x(t) = u, so ease(u) = y(t).
TEST(BezierEasing, SolvesTheParameterInEveryInterval) {
    const BezierEasing easing = initialised();
    for (double u : {0.001, 0.05, 0.3, 0.62, 0.9, 0.96309, 0.97, 0.999}) {
        // Invert x by bisection independently of the solver under test.
        double low = 0.0;
        double high = 1.0;
        for (int i = 0; i < 200; ++i) {
            const double middle = (low + high) * 0.5;
            (curve(middle, 0.3, 0.93) < u ? low : high) = middle;
        }
        EXPECT_NEAR(easing.ease(u), curve(low, 0.99, 1.0), 1e-9) << "u = " << u;
    }
}

// Where x is flat (slope below the Newton threshold) bisection finds t; with
// equal x and y control values the curve is the identity.
TEST(BezierEasing, BisectionBranchOnFlatCurves) {
    BezierEasing easing = initialised();
    easing.x1 = easing.y1 = 0.0;
    easing.x2 = easing.y2 = 1.0;
    for (int k = 0; k < easingSampleCount; ++k) {
        easing.samples[k] = curve(k * easing.sampleStep, easing.x1, easing.x2);
    }
    // Near both ends the slope of x is below 0.001 at the first guess; ten
    // halvings of a 0.1 interval leave x within about 1e-6 of u.
    for (double u : {0.0000001, 0.00001, 0.99999}) {
        EXPECT_NEAR(easing.ease(u), u, 0.000002) << "u = " << u;
    }
    // Exactly flat at the start: the first guess is kept.
    EXPECT_EQ(easing.ease(0.0), 0.0);
}
