// Signed distances (in pixels, negative inside) of the plane shapes the
// emblem is drawn from.
#pragma once

#include <vector>

struct Point {
    double x;
    double y;
};

double circleDistance(Point p, Point centre, double radius);

// Any simple polygon, vertices in order.
double polygonDistance(const std::vector<Point>& polygon, Point p);

// A star of `points` tips around `centre`; tip k points at angle
// `startAngle` + k * 2 pi / points, with radius tipRadius(k); the notches
// between tips lie at `innerRadius`.
std::vector<Point> starPolygon(Point centre, int points, double startAngle, const std::vector<double>& tipRadii,
                               double innerRadius);
