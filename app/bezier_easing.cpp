#include "bezier_easing.h"

#include <cmath>

namespace {

// One coordinate of the curve, with control values first and second:
// ((A t + B) t + C) t.
double coefficientA(double first, double second) { return 1.0 - 3.0 * second + 3.0 * first; }
double coefficientB(double first, double second) { return 3.0 * second - 6.0 * first; }
double coefficientC(double first) { return 3.0 * first; }

double curveAt(double t, double first, double second) {
    return ((coefficientA(first, second) * t + coefficientB(first, second)) * t + coefficientC(first)) * t;
}

double slopeAt(double t, double first, double second) {
    return 3.0 * coefficientA(first, second) * t * t + 2.0 * coefficientB(first, second) * t + coefficientC(first);
}

}  // namespace

void BezierEasing::init() {
    newtonIterations = 4;
    newtonMinSlope = 0.001;
    subdivisionPrecision = 0.0000001;
    subdivisionMaxIterations = 10;
    sampleCount = easingSampleCount;
    sampleStep = 1.0 / (sampleCount - 1.0);
    x1 = 0.3;
    y1 = 0.99;
    x2 = 0.93;
    y2 = 1.0;
    for (int k = 0; k < sampleCount; ++k) {
        samples[k] = curveAt(k * sampleStep, x1, x2);
    }
}

double BezierEasing::ease(double progress) const {
    // The table interval that holds `progress`.
    const int lastSample = static_cast<int>(sampleCount) - 1;
    double intervalStart = 0.0;
    int k = 1;
    while (k != lastSample && progress >= samples[k]) {
        intervalStart += sampleStep;
        ++k;
    }
    const double firstGuess =
        intervalStart + (progress - samples[k - 1]) / (samples[k] - samples[k - 1]) * sampleStep;

    double t = firstGuess;
    const double initialSlope = slopeAt(firstGuess, x1, x2);
    if (initialSlope >= newtonMinSlope) {
        for (int iteration = 0; iteration < newtonIterations; ++iteration) {
            const double slope = slopeAt(t, x1, x2);
            if (slope == 0.0) {
                break;
            }
            t -= (curveAt(t, x1, x2) - progress) / slope;
        }
    } else if (initialSlope != 0.0) {
        // Bisection where the curve is too flat for Newton-Raphson.
        double low = intervalStart;
        double high = intervalStart + sampleStep;
        for (int iteration = 0; iteration < subdivisionMaxIterations; ++iteration) {
            t = low + (high - low) * 0.5;
            const double difference = curveAt(t, x1, x2) - progress;
            if (difference > 0.0) {
                high = t;
            } else {
                low = t;
            }
            if (std::fabs(difference) <= subdivisionPrecision) {
                break;
            }
        }
    }
    return curveAt(t, y1, y2);
}
