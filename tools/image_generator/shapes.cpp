#include "shapes.h"

#include <algorithm>
#include <cmath>
#include <numbers>

double circleDistance(Point p, Point centre, double radius) {
    return std::hypot(p.x - centre.x, p.y - centre.y) - radius;
}

double polygonDistance(const std::vector<Point>& polygon, Point p) {
    double nearestSquared = 1e300;
    bool inside = false;
    std::size_t count = polygon.size();
    for (std::size_t i = 0, j = count - 1; i < count; j = i++) {
        Point a = polygon[j];
        Point b = polygon[i];
        double edgeX = b.x - a.x;
        double edgeY = b.y - a.y;
        double toX = p.x - a.x;
        double toY = p.y - a.y;
        double along = std::clamp((toX * edgeX + toY * edgeY) / (edgeX * edgeX + edgeY * edgeY), 0.0, 1.0);
        double dx = toX - edgeX * along;
        double dy = toY - edgeY * along;
        nearestSquared = std::min(nearestSquared, dx * dx + dy * dy);
        // Even-odd crossing test along +x.
        if ((a.y > p.y) != (b.y > p.y) && p.x < a.x + (p.y - a.y) * edgeX / edgeY) {
            inside = !inside;
        }
    }
    double distance = std::sqrt(nearestSquared);
    return inside ? -distance : distance;
}

std::vector<Point> starPolygon(Point centre, int points, double startAngle, const std::vector<double>& tipRadii,
                               double innerRadius) {
    std::vector<Point> polygon;
    double step = 2.0 * std::numbers::pi / points;
    for (int k = 0; k < points; ++k) {
        double tipAngle = startAngle + k * step;
        double notchAngle = tipAngle + step * 0.5;
        double tipRadius = tipRadii[static_cast<std::size_t>(k) % tipRadii.size()];
        polygon.push_back({centre.x + std::cos(tipAngle) * tipRadius, centre.y + std::sin(tipAngle) * tipRadius});
        polygon.push_back({centre.x + std::cos(notchAngle) * innerRadius, centre.y + std::sin(notchAngle) * innerRadius});
    }
    return polygon;
}
