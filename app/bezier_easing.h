// A cubic Bezier timing curve from (0, 0) to (1, 1): maps linear progress to
// eased progress by solving the curve's x for the parameter, then taking y.
#pragma once

inline constexpr int easingSampleCount = 11;

struct BezierEasing {
    double newtonIterations;
    double newtonMinSlope;
    double subdivisionPrecision;
    double subdivisionMaxIterations;
    double sampleCount;
    double samples[easingSampleCount];  // x of the curve at t = 0, 0.1, ..., 1
    double sampleStep;
    double x1;
    double y1;
    double x2;
    double y2;

    // Stores the solver constants and the control points (0.3, 0.99), (0.93, 1.0)
    // and fills the sample table.
    void init();

    // The curve's y at the parameter whose x is `progress` (in [0, 1]).
    double ease(double progress) const;
};
