#include "logo_images.h"

#include <cmath>
#include <numbers>

#include "raster.h"
#include "shapes.h"

namespace {

constexpr double pi = std::numbers::pi;
constexpr Point emblemCentre{logoImageSide * 0.5, logoImageSide * 0.5};

// The star: long tips on the four main directions, short ones between them.
constexpr int starTips = 8;
constexpr double longTipRadius = 58.0;
constexpr double shortTipRadius = 34.0;
constexpr double notchRadius = 12.0;
constexpr double upAngle = -pi * 0.5;  // image rows grow downwards
constexpr double holeRadius = 6.5;

// Brightness of the shaded half of every tip, which makes the mark read as faceted.
constexpr double shadedFacet = 0.55;

const std::vector<Point>& starOutline() {
    static const std::vector<Point> outline =
        starPolygon(emblemCentre, starTips, upAngle, {longTipRadius, shortTipRadius}, notchRadius);
    return outline;
}

double starDistance(Point p) { return polygonDistance(starOutline(), p); }

template <typename Shader>
GreyImage renderImage(Shader shade) {
    GreyImage image(static_cast<std::size_t>(logoImageSide) * logoImageSide);
    for (int row = 0; row < logoImageSide; ++row) {
        for (int column = 0; column < logoImageSide; ++column) {
            Point p{column + 0.5, row + 0.5};
            image[static_cast<std::size_t>(row) * logoImageSide + column] = clamp01(shade(p));
        }
    }
    return image;
}

// Signed distance of p from the axis of its nearest tip: one sign per half.
double distanceFromTipAxis(Point p) {
    double dx = p.x - emblemCentre.x;
    double dy = p.y - emblemCentre.y;
    double step = 2.0 * pi / starTips;
    double angle = std::atan2(dy, dx);
    double tip = upAngle + std::round((angle - upAngle) / step) * step;
    return dx * std::sin(tip) - dy * std::cos(tip);
}

double radiusOf(Point p) { return std::hypot(p.x - emblemCentre.x, p.y - emblemCentre.y); }

// A straight stroke from `from` to `to`, rounded at its ends.
double segmentCoverage(Point p, Point from, Point to, double width) {
    double edgeX = to.x - from.x;
    double edgeY = to.y - from.y;
    double along = clamp01(((p.x - from.x) * edgeX + (p.y - from.y) * edgeY) / (edgeX * edgeX + edgeY * edgeY));
    double distance = std::hypot(p.x - from.x - edgeX * along, p.y - from.y - edgeY * along);
    return coverageFromDistance(distance - width * 0.5);
}

Point polar(double radius, double angle) {
    return {emblemCentre.x + std::cos(angle) * radius, emblemCentre.y + std::sin(angle) * radius};
}

double radialTick(Point p, double angle, double innerRadius, double outerRadius, double width) {
    return segmentCoverage(p, polar(innerRadius, angle), polar(outerRadius, angle), width);
}

double ringCoverage(Point p, double radius, double width) {
    return strokeCoverage(circleDistance(p, emblemCentre, radius), width);
}

}  // namespace

GreyImage renderSolidMark() {
    return renderImage([](Point p) {
        double star = coverageFromDistance(starDistance(p));
        double hole = coverageFromDistance(circleDistance(p, emblemCentre, holeRadius));
        double litHalf = coverageFromDistance(distanceFromTipAxis(p));
        return star * (1.0 - hole) * mix(shadedFacet, 1.0, litHalf);
    });
}

GreyImage renderDial() {
    constexpr double innerRing = 25.0;  // just outside the star's tips once the dial layer is scaled up
    constexpr double outerRing = 58.0;
    constexpr double scaleRing = 53.0;
    constexpr double dashedRing = 38.0;
    constexpr int ticks = 48;
    constexpr int dashes = 36;
    constexpr double markerRadius = 4.0;
    return renderImage([&](Point p) {
        double value = std::max({ringCoverage(p, innerRing, 1.4), ringCoverage(p, outerRing, 1.6),
                                 ringCoverage(p, scaleRing, 0.9)});
        for (int tick = 0; tick < ticks; ++tick) {
            bool major = tick % 4 == 0;
            double angle = upAngle + tick * 2.0 * pi / ticks;
            value = std::max(value, radialTick(p, angle, major ? 46.0 : 54.0, 57.0, major ? 1.4 : 1.0));
        }
        // A dashed circle between the rings.
        double angle = std::atan2(p.y - emblemCentre.y, p.x - emblemCentre.x) - upAngle;
        double dashPhase = std::fmod(angle / (2.0 * pi) * dashes + dashes, 1.0);
        double dash = smoothstep(0.05, 0.15, dashPhase) * smoothstep(0.65, 0.55, dashPhase);
        value = std::max(value, ringCoverage(p, dashedRing, 1.0) * dash * 0.8);
        // Diamond markers on the four main directions.
        for (int marker = 0; marker < 4; ++marker) {
            Point at = polar(outerRing, upAngle + marker * pi * 0.5);
            double diamond = std::fabs(p.x - at.x) + std::fabs(p.y - at.y) - markerRadius;
            value = std::max(value, coverageFromDistance(diamond * std::numbers::sqrt2 * 0.5));
        }
        return value;
    });
}

GreyImage renderGlow() {
    return renderImage([](Point p) {
        double distance = starDistance(p);
        double halo = 1.0 / (1.0 + std::exp(distance / 4.0));
        double core = std::exp(-radiusOf(p) / 24.0);
        double fadeAtEdge = smoothstep(63.0, 50.0, radiusOf(p));
        return (0.75 * halo + 0.45 * core) * fadeAtEdge;
    });
}

GreyImage renderRelief() {
    // Height rises from the star's edge inwards; lit from the upper left.
    auto height = [](Point p) { return clamp01(-starDistance(p) / 5.0); };
    constexpr double lightX = -0.5;
    constexpr double lightY = -0.5;
    constexpr double lightZ = 0.7071;
    return renderImage([&](Point p) {
        double slopeX = (height({p.x + 1.0, p.y}) - height({p.x - 1.0, p.y})) * 0.5 * 5.0;
        double slopeY = (height({p.x, p.y + 1.0}) - height({p.x, p.y - 1.0})) * 0.5 * 5.0;
        double length = std::sqrt(slopeX * slopeX + slopeY * slopeY + 1.0);
        double lighting = (-slopeX * lightX - slopeY * lightY + lightZ) / length;
        double facet = mix(0.8, 1.0, coverageFromDistance(distanceFromTipAxis(p)));
        return coverageFromDistance(starDistance(p)) * clamp01(lighting) * facet;
    });
}

GreyImage renderHub() {
    return renderImage([](Point p) {
        double value = std::max(ringCoverage(p, 10.0, 1.3), coverageFromDistance(circleDistance(p, emblemCentre, 2.5)));
        for (int arm = 0; arm < 4; ++arm) {
            value = std::max(value, radialTick(p, upAngle + arm * pi * 0.5, 13.0, 21.0, 1.2));
        }
        return value;
    });
}

GreyImage renderEcho() {
    constexpr double rimWidth = 2.2;
    constexpr double interior = 0.3;
    return renderImage([](Point p) {
        double distance = starDistance(p);
        double rim = strokeCoverage(distance, rimWidth);
        double hole = coverageFromDistance(circleDistance(p, emblemCentre, holeRadius));
        double fill = coverageFromDistance(distance) * (1.0 - hole) * interior;
        return std::max({rim, fill, ringCoverage(p, holeRadius, 1.5)});
    });
}

std::vector<uint8_t> packGreyWithAlpha(const GreyImage& image) {
    std::vector<uint8_t> bytes;
    bytes.reserve(image.size() * 4);
    for (double value : image) {
        uint8_t grey = toByte(value);
        bytes.insert(bytes.end(), {grey, grey, grey, grey});
    }
    return bytes;
}

std::vector<uint8_t> packGreyRgb(const GreyImage& image) {
    std::vector<uint8_t> bytes;
    bytes.reserve(image.size() * 3);
    for (double value : image) {
        uint8_t grey = toByte(value);
        bytes.insert(bytes.end(), {grey, grey, grey});
    }
    return bytes;
}
