#include "backdrop_image.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "canvas.h"
#include "noise.h"
#include "raster.h"
#include "shapes.h"

namespace {

constexpr double width = backdropWidth;
constexpr double height = backdropHeight;
constexpr int horizonRow = 470;  // first row of water

constexpr double sunX = width * 0.24;
constexpr double sunY = horizonRow - 150.0;
constexpr double sunRadius = 58.0;
constexpr Point moonCentre{width * 0.83, height * 0.16};
constexpr double moonRadius = 24.0;

constexpr double cityStart = width * 0.585;
constexpr double cityEnd = width * 0.965;
constexpr double cityPeak = width * 0.77;
constexpr double bridgeStart = width * 0.44;
constexpr double bridgeEnd = width * 0.585;

// Seeds keep every element's randomness independent of the others.
enum Seed : uint32_t {
    StarSeed = 11, CloudSeed = 23, FarRangeSeed = 37, MiddleRangeSeed = 41, NearRangeSeed = 53,
    BuildingSeed = 67, WindowSeed = 71, RippleSeed = 83, GlitterSeed = 97, ReedSeed = 101, ShoreSeed = 113,
    SnowSeed = 127, BirdSeed = 131,
};

// How much of the sun's warmth reaches column x: 1 at the sun, fading to the right.
double warmth(double x) {
    double distance = (x - sunX) / (width * 0.42);
    return std::exp(-distance * distance);
}

Colour horizonColour(double x) {
    return mix(Colour{0.42, 0.22, 0.48}, Colour{1.0, 0.58, 0.30}, warmth(x));
}

Colour skyColour(double x, double y) {
    double t = y / horizonRow;
    Colour colour = mix(Colour{0.04, 0.03, 0.13}, Colour{0.20, 0.10, 0.33}, smoothstep(0.0, 0.6, t));
    colour = mix(colour, horizonColour(x), std::pow(smoothstep(0.35, 1.0, t), 1.5));
    double sunDistance = std::hypot(x - sunX, (y - sunY) * 1.4);
    colour = colour + Colour{1.0, 0.55, 0.28} * (0.5 * std::exp(-sunDistance / 240.0) + 0.3 * std::exp(-sunDistance / 70.0));
    double moonDistance = std::hypot(x - moonCentre.x, y - moonCentre.y);
    colour = colour + Colour{0.35, 0.40, 0.55} * (0.22 * std::exp(-moonDistance / 90.0));
    return colour;
}

void paintSky(Canvas& canvas) {
    for (int y = 0; y < horizonRow; ++y) {
        for (int x = 0; x < canvas.width(); ++x) {
            canvas.set(x, y, skyColour(x + 0.5, y + 0.5));
        }
    }
}

void paintStars(Canvas& canvas) {
    constexpr int cell = 7;
    for (int cellY = 0; cellY * cell < horizonRow; ++cellY) {
        for (int cellX = 0; cellX * cell < canvas.width(); ++cellX) {
            if (hashUnit(cellX, cellY, StarSeed) > 0.06) {
                continue;
            }
            double starX = (cellX + hashUnit(cellX, cellY, StarSeed + 1)) * cell;
            double starY = (cellY + hashUnit(cellX, cellY, StarSeed + 2)) * cell;
            double darkness = (1.0 - smoothstep(0.0, 0.75, starY / horizonRow)) * std::pow(1.0 - warmth(starX), 2.0);
            double brightness = (0.35 + 0.65 * std::pow(hashUnit(cellX, cellY, StarSeed + 3), 3.0)) * darkness;
            Colour tint = mix(Colour{0.75, 0.85, 1.0}, Colour{1.0, 0.9, 0.75}, hashUnit(cellX, cellY, StarSeed + 4));
            for (int y = static_cast<int>(starY) - 2; y <= static_cast<int>(starY) + 2; ++y) {
                for (int x = static_cast<int>(starX) - 2; x <= static_cast<int>(starX) + 2; ++x) {
                    double distanceSquared = std::pow(x + 0.5 - starX, 2.0) + std::pow(y + 0.5 - starY, 2.0);
                    if (y < horizonRow) {
                        canvas.add(x, y, tint * (brightness * std::exp(-distanceSquared / 0.7)));
                    }
                }
            }
        }
    }
}

void paintMoon(Canvas& canvas) {
    constexpr Point shadowCentre{moonCentre.x + 9.0, moonCentre.y - 5.0};
    for (int y = static_cast<int>(moonCentre.y - moonRadius) - 2; y <= static_cast<int>(moonCentre.y + moonRadius) + 2; ++y) {
        for (int x = static_cast<int>(moonCentre.x - moonRadius) - 2; x <= static_cast<int>(moonCentre.x + moonRadius) + 2; ++x) {
            Point p{x + 0.5, y + 0.5};
            double lit = coverageFromDistance(circleDistance(p, moonCentre, moonRadius));
            double shadow = coverageFromDistance(circleDistance(p, shadowCentre, moonRadius - 1.5));
            double crater = 0.9 + 0.1 * valueNoise2d(p.x / 4.0, p.y / 4.0, StarSeed + 9);
            canvas.blend(x, y, Colour{1.0, 0.95, 0.84} * crater, lit * (1.0 - shadow));
        }
    }
}

void paintSun(Canvas& canvas) {
    // The lower part of the disc is cut by thin horizontal gaps that widen downwards.
    for (int y = static_cast<int>(sunY - sunRadius) - 2; y < horizonRow; ++y) {
        for (int x = static_cast<int>(sunX - sunRadius) - 2; x <= static_cast<int>(sunX + sunRadius) + 2; ++x) {
            Point p{x + 0.5, y + 0.5};
            double disc = coverageFromDistance(circleDistance(p, {sunX, sunY}, sunRadius));
            double below = (p.y - (sunY - sunRadius * 0.2)) / (sunRadius * 1.2);
            double gap = 0.0;
            if (below > 0.0) {
                double phase = std::fmod(p.y - sunY + 200.0, 11.0) / 11.0;
                gap = smoothstep(1.0 - below * 0.55 - 0.05, 1.0 - below * 0.55, phase);
            }
            Colour colour = mix(Colour{1.0, 0.93, 0.62}, Colour{1.0, 0.50, 0.30}, clamp01((p.y - sunY + sunRadius) / (2 * sunRadius)));
            canvas.blend(x, y, colour, disc * (1.0 - gap));
        }
    }
}

void paintClouds(Canvas& canvas) {
    constexpr double top = 80.0;
    constexpr double bottom = horizonRow - 60.0;
    for (int y = static_cast<int>(top); y < static_cast<int>(bottom); ++y) {
        double band = smoothstep(top, top + 90.0, y) * smoothstep(bottom, bottom - 110.0, y);
        for (int x = 0; x < canvas.width(); ++x) {
            double density = fractalNoise2d(x / 360.0, y / 26.0, 5, CloudSeed);
            double shape = smoothstep(0.5, 0.7, density) * band;
            if (shape <= 0.0) {
                continue;
            }
            double glow = warmth(x);
            Colour rim = mix(Colour{0.55, 0.36, 0.62}, Colour{1.0, 0.62, 0.40}, glow);
            Colour core = mix(Colour{0.16, 0.09, 0.24}, Colour{0.42, 0.18, 0.26}, glow);
            Colour colour = mix(rim, core, smoothstep(0.56, 0.8, density));
            canvas.blend(x, y, colour, shape * 0.9);
        }
    }
}

void paintBirds(Canvas& canvas) {
    constexpr int birds = 7;
    for (int bird = 0; bird < birds; ++bird) {
        double centreX = sunX + 140.0 + hashUnit(bird, 0, BirdSeed) * 260.0;
        double centreY = 200.0 + hashUnit(bird, 1, BirdSeed) * 120.0;
        double span = 5.0 + hashUnit(bird, 2, BirdSeed) * 5.0;
        for (int y = static_cast<int>(centreY - span); y <= static_cast<int>(centreY + span); ++y) {
            for (int x = static_cast<int>(centreX - span) - 1; x <= static_cast<int>(centreX + span) + 1; ++x) {
                double dx = std::fabs(x + 0.5 - centreX) / span;
                if (dx > 1.0) {
                    continue;
                }
                // Two wings: a shallow arc rising from the body to the tips.
                double wingY = centreY - std::sin(dx * std::numbers::pi * 0.8) * span * 0.35;
                canvas.blend(x, y, Colour{0.12, 0.06, 0.12}, coverageFromDistance(std::fabs(y + 0.5 - wingY) - 0.6));
            }
        }
    }
}

struct MountainRange {
    uint32_t seed;
    double baseHeight;
    double reliefHeight;
    double featureWidth;  // pixels per noise lattice step
    double cityFlattening;  // how far the range sinks under the city
    Colour shadowColour;
    Colour litColour;
    double hazeAtFoot;
};

// Height above the horizon of the range's crest; `octaves` below six give the
// broad shape that decides which faces catch the light.
double ridgeHeight(const MountainRange& range, double x, int octaves = 6) {
    double envelope = mix(1.0, range.cityFlattening, smoothstep(width * 0.42, width * 0.66, x));
    double rise = smoothstep(-40.0, width * 0.08, x) * 0.3 + 0.7;
    // A saddle below the sun so that it sets into a valley.
    double valley = 1.0 - 0.4 * std::exp(-std::pow((x - sunX) / 170.0, 2.0));
    return envelope * rise * valley *
           (range.baseHeight + range.reliefHeight * fractalNoise1d(x / range.featureWidth, octaves, range.seed));
}

void paintRange(Canvas& canvas, const MountainRange& range, bool snowCaps) {
    for (int x = 0; x < canvas.width(); ++x) {
        double ridge = ridgeHeight(range, x + 0.5);
        constexpr int broadOctaves = 3;
        double slope = (ridgeHeight(range, x + 6.5, broadOctaves) - ridgeHeight(range, x - 5.5, broadOctaves)) / 12.0;
        // Faces turned towards the sun catch its light; the far side stays in shadow.
        double towardsSun = (x < sunX) ? -slope : slope;
        double light = clamp01(0.45 + towardsSun * 1.4) * (0.45 + 0.55 * warmth(x));
        double ridgeRow = horizonRow - ridge;
        for (int y = std::max(0, static_cast<int>(ridgeRow) - 1); y < horizonRow; ++y) {
            double coverage = clamp01(y + 1.0 - ridgeRow);
            double depth = (y - ridgeRow) / std::max(ridge, 1.0);
            // Gullies: faint streaks running down the slopes.
            double gullies = 0.92 + 0.16 * valueNoise2d((x + y * 0.6) / 5.0, y / 30.0, range.seed + 5);
            // Light grazes the crest and dies out further down the slope.
            double crestLight = std::exp(-(y - ridgeRow) / 70.0);
            Colour colour = mix(range.shadowColour, range.litColour, clamp01(light * gullies * crestLight));
            colour = mix(colour, horizonColour(x) * 0.8, depth * range.hazeAtFoot);
            if (snowCaps) {
                constexpr double snowHeight = 175.0;
                double snowLine = (ridge - snowHeight) * 0.5 + 8.0 * (valueNoise2d(x / 7.0, y / 7.0, SnowSeed) - 0.5);
                if (ridge > snowHeight && y - ridgeRow < snowLine) {
                    colour = mix(colour, Colour{0.95, 0.82, 0.80} * (0.5 + 0.5 * light), 0.7);
                }
            }
            canvas.blend(x, y, colour, coverage);
        }
    }
}

void paintMountains(Canvas& canvas) {
    const MountainRange far{FarRangeSeed, 70.0, 190.0, 260.0, 0.35, {0.30, 0.22, 0.42}, {0.78, 0.50, 0.50}, 0.55};
    const MountainRange middle{MiddleRangeSeed, 40.0, 120.0, 170.0, 0.25, {0.18, 0.10, 0.24}, {0.52, 0.27, 0.30}, 0.35};
    const MountainRange near{NearRangeSeed, 14.0, 70.0, 110.0, 0.05, {0.07, 0.04, 0.10}, {0.26, 0.12, 0.16}, 0.15};
    paintRange(canvas, far, true);
    paintRange(canvas, middle, false);
    paintRange(canvas, near, false);
}

double skylineEnvelope(double x) {
    double distance = (x - cityPeak) / (width * 0.09);
    return 55.0 + 190.0 * std::exp(-distance * distance);
}

void paintBuilding(Canvas& canvas, int index, int left, int right, double top) {
    Colour facade = mix(Colour{0.06, 0.06, 0.12}, Colour{0.12, 0.10, 0.18}, hashUnit(index, 0, BuildingSeed + 3));
    double litShare = 0.25 + 0.3 * hashUnit(index, 1, BuildingSeed + 3);
    bool cool = hashUnit(index, 2, BuildingSeed + 3) < 0.3;
    int style = static_cast<int>(hashUnit(index, 3, BuildingSeed + 3) * 3.0);
    int centre = (left + right) / 2;
    // Stepped tops narrow the last storeys; spires add a mast with a beacon.
    int stepInset = (style == 1) ? (right - left) / 4 : 0;
    double stepTop = top + 18.0;
    for (int y = static_cast<int>(top); y < horizonRow; ++y) {
        bool upperStep = y < stepTop;
        int rowLeft = upperStep ? left + stepInset : left;
        int rowRight = upperStep ? right - stepInset : right;
        for (int x = rowLeft; x < rowRight; ++x) {
            Colour colour = facade * (x - rowLeft < 2 ? 1.6 : 1.0);
            int windowColumn = (x - left - 3) / 6;
            int windowRow = (y - static_cast<int>(top) - 5) / 8;
            bool inWindow = x - left >= 3 && right - x > 3 && y - top >= 5 && (x - left - 3) % 6 < 3 && (y - static_cast<int>(top) - 5) % 8 < 4;
            if (inWindow && hashUnit(index * 131 + windowColumn, windowRow, WindowSeed) < litShare) {
                double glow = 0.6 + 0.4 * hashUnit(index * 131 + windowColumn, windowRow, WindowSeed + 1);
                colour = (cool ? Colour{0.55, 0.75, 1.0} : Colour{1.0, 0.78, 0.42}) * glow;
            }
            canvas.set(x, y, colour);
        }
    }
    if (style == 2) {
        double mastTop = top - 26.0 - hashUnit(index, 4, BuildingSeed + 3) * 20.0;
        for (int y = static_cast<int>(mastTop); y < static_cast<int>(top); ++y) {
            canvas.set(centre, y, facade);
        }
        for (int y = static_cast<int>(mastTop) - 4; y <= static_cast<int>(mastTop) + 4; ++y) {
            for (int x = centre - 4; x <= centre + 4; ++x) {
                double distanceSquared = std::pow(x + 0.5 - (centre + 0.5), 2.0) + std::pow(y + 0.5 - mastTop, 2.0);
                canvas.add(x, y, Colour{1.0, 0.15, 0.1} * std::exp(-distanceSquared / 3.0));
            }
        }
    }
}

void paintCity(Canvas& canvas) {
    int index = 0;
    double x = cityStart;
    while (x < cityEnd) {
        double buildingWidth = 16.0 + hashUnit(index, 0, BuildingSeed) * 44.0;
        double buildingHeight = 18.0 + (0.35 + 0.65 * hashUnit(index, 1, BuildingSeed)) * skylineEnvelope(x + buildingWidth * 0.5);
        // Fade the skyline in and out at its ends.
        buildingHeight *= smoothstep(cityStart - 20.0, cityStart + 120.0, x) * smoothstep(cityEnd + 20.0, cityEnd - 140.0, x) * 0.8 + 0.2;
        int left = static_cast<int>(x);
        int right = static_cast<int>(x + buildingWidth);
        paintBuilding(canvas, index, left, right, horizonRow - buildingHeight);
        double gap = hashUnit(index, 2, BuildingSeed) < 0.25 ? 2.0 + hashUnit(index, 3, BuildingSeed) * 6.0 : 0.0;
        x += buildingWidth + gap;
        ++index;
    }
}

void paintBridge(Canvas& canvas) {
    constexpr double deckRow = horizonRow - 16.0;
    constexpr double towerHeight = 112.0;
    const double towers[] = {bridgeStart + (bridgeEnd - bridgeStart) * 0.22, bridgeStart + (bridgeEnd - bridgeStart) * 0.78};
    const Colour steel{0.10, 0.06, 0.12};
    // Deck with its row of lamps.
    for (int x = static_cast<int>(bridgeStart); x < static_cast<int>(bridgeEnd); ++x) {
        for (int y = static_cast<int>(deckRow); y < static_cast<int>(deckRow) + 4; ++y) {
            canvas.set(x, y, steel);
        }
        if (x % 14 == 0) {
            canvas.add(x, static_cast<int>(deckRow) - 1, Colour{1.0, 0.8, 0.45} * 0.9);
        }
    }
    // Piers under the deck.
    for (double pier : {bridgeStart + 6.0, towers[0], towers[1], bridgeEnd - 6.0}) {
        for (int y = static_cast<int>(deckRow); y < horizonRow; ++y) {
            for (int x = static_cast<int>(pier) - 3; x <= static_cast<int>(pier) + 3; ++x) {
                canvas.set(x, y, steel);
            }
        }
    }
    for (double tower : towers) {
        for (int y = static_cast<int>(deckRow - towerHeight); y < static_cast<int>(deckRow); ++y) {
            for (int offset : {-5, -4, 3, 4}) {
                canvas.set(static_cast<int>(tower) + offset, y, steel);
            }
            if (y % 28 == 0) {
                for (int x = static_cast<int>(tower) - 5; x <= static_cast<int>(tower) + 4; ++x) {
                    canvas.set(x, y, steel);
                }
            }
        }
        canvas.add(static_cast<int>(tower), static_cast<int>(deckRow - towerHeight) - 2, Colour{1.0, 0.2, 0.1});
    }
    // Main cables: parabolas between the tower tops, and halves to the anchorages.
    auto cableRow = [&](double x) {
        double topRow = deckRow - towerHeight;
        if (x < towers[0]) {
            double t = (x - bridgeStart) / (towers[0] - bridgeStart);
            return mix(deckRow - 2.0, topRow, t * t);
        }
        if (x > towers[1]) {
            double t = (bridgeEnd - x) / (bridgeEnd - towers[1]);
            return mix(deckRow - 2.0, topRow, t * t);
        }
        double t = (x - towers[0]) / (towers[1] - towers[0]) * 2.0 - 1.0;
        return mix(deckRow - 8.0, topRow, t * t);
    };
    for (int x = static_cast<int>(bridgeStart); x < static_cast<int>(bridgeEnd); ++x) {
        double row = cableRow(x + 0.5);
        double slope = cableRow(x + 1.5) - cableRow(x - 0.5);
        double thickness = 0.5 * std::sqrt(1.0 + slope * slope / 4.0);
        for (int y = static_cast<int>(row) - 3; y <= static_cast<int>(row) + 3; ++y) {
            canvas.blend(x, y, steel, coverageFromDistance(std::fabs(y + 0.5 - row) - thickness));
        }
        if (x % 7 == 0) {
            for (int y = static_cast<int>(row); y < static_cast<int>(deckRow); ++y) {
                canvas.blend(x, y, steel, 0.7);
            }
        }
    }
}

// Vertical distortion of the mirrored scene, growing towards the viewer.
double rippleRows(int x, int y) {
    double depth = y - horizonRow + 1.0;
    double wave = valueNoise2d(x / 60.0, y / 2.2, RippleSeed) - 0.5;
    return wave * (2.0 + depth * 0.22);
}

void paintWater(Canvas& canvas) {
    for (int y = horizonRow; y < canvas.height(); ++y) {
        double depth = y - horizonRow + 1.0;
        double nearness = depth / (height - horizonRow);
        for (int x = 0; x < canvas.width(); ++x) {
            double mirroredRow = horizonRow - depth * 0.9 + rippleRows(x, y);
            int sourceRow = std::clamp(static_cast<int>(mirroredRow), 0, horizonRow - 1);
            Colour reflection = canvas.at(x, sourceRow) * Colour{0.62, 0.66, 0.78};
            Colour colour = mix(reflection, Colour{0.03, 0.04, 0.10}, nearness * 0.55);
            // Dark troughs between the waves.
            colour = colour * (0.88 + 0.12 * std::sin(y * 1.3 + valueNoise2d(x / 30.0, y / 3.0, RippleSeed + 1) * 6.0));
            // Glitter under the sun, spreading wider towards the viewer.
            double spread = 30.0 + depth * 1.4;
            double underSun = std::exp(-std::pow((x - sunX) / spread, 2.0));
            double sparkle = smoothstep(0.62, 0.8, valueNoise2d(x / 11.0, y / 1.3, GlitterSeed));
            colour = colour + Colour{1.0, 0.68, 0.38} * (sparkle * underSun * (1.0 - nearness * 0.6));
            canvas.set(x, y, colour);
        }
    }
}

void paintSailboat(Canvas& canvas) {
    constexpr Point waterline{width * 0.66, horizonRow + 120.0};
    const std::vector<Point> hull{{waterline.x - 34, waterline.y - 9}, {waterline.x + 38, waterline.y - 9},
                                  {waterline.x + 26, waterline.y}, {waterline.x - 24, waterline.y}};
    const std::vector<Point> mainSail{{waterline.x - 2, waterline.y - 96}, {waterline.x - 2, waterline.y - 13},
                                      {waterline.x - 30, waterline.y - 13}};
    const std::vector<Point> jib{{waterline.x + 2, waterline.y - 86}, {waterline.x + 34, waterline.y - 13},
                                 {waterline.x + 2, waterline.y - 13}};
    const Colour sailColour{0.55, 0.42, 0.55};
    for (int y = static_cast<int>(waterline.y) - 100; y <= static_cast<int>(waterline.y) + 2; ++y) {
        for (int x = static_cast<int>(waterline.x) - 40; x <= static_cast<int>(waterline.x) + 42; ++x) {
            Point p{x + 0.5, y + 0.5};
            canvas.blend(x, y, sailColour, coverageFromDistance(polygonDistance(mainSail, p)));
            canvas.blend(x, y, sailColour * 0.8, coverageFromDistance(polygonDistance(jib, p)));
            canvas.blend(x, y, Colour{0.06, 0.04, 0.08}, coverageFromDistance(polygonDistance(hull, p)));
        }
    }
    for (int x = static_cast<int>(waterline.x) - 14; x < static_cast<int>(waterline.x) + 14; x += 7) {
        canvas.add(x, static_cast<int>(waterline.y) - 5, Colour{1.0, 0.75, 0.4} * 0.8);
        canvas.add(x + 1, static_cast<int>(waterline.y) - 5, Colour{1.0, 0.75, 0.4} * 0.8);
    }
}

void paintShore(Canvas& canvas) {
    const Colour ground{0.04, 0.02, 0.05};
    auto shoreHeight = [](double x) {
        return (24.0 + 46.0 * fractalNoise1d(x / 80.0, 5, ShoreSeed)) * smoothstep(width * 0.42, width * 0.05, x);
    };
    for (int x = 0; x < canvas.width(); ++x) {
        double top = height - shoreHeight(x + 0.5);
        for (int y = std::max(0, static_cast<int>(top) - 1); y < canvas.height(); ++y) {
            canvas.blend(x, y, ground, clamp01(y + 1.0 - top));
        }
    }
    // Reeds rising from the shore, each a thin curved blade.
    constexpr int reeds = 220;
    for (int reed = 0; reed < reeds; ++reed) {
        double baseX = hashUnit(reed, 0, ReedSeed) * width * 0.36;
        double baseY = height - shoreHeight(baseX) + 4.0;
        double bladeHeight = 30.0 + hashUnit(reed, 1, ReedSeed) * 70.0 * smoothstep(width * 0.4, width * 0.1, baseX);
        double lean = (hashUnit(reed, 2, ReedSeed) - 0.4) * 24.0;
        for (int y = static_cast<int>(baseY - bladeHeight); y < static_cast<int>(baseY); ++y) {
            double t = (baseY - (y + 0.5)) / bladeHeight;  // 0 at the root, 1 at the tip
            double centreX = baseX + lean * t * t;
            double halfWidth = 1.3 * (1.0 - t) + 0.3;
            for (int x = static_cast<int>(centreX - 3); x <= static_cast<int>(centreX + 3); ++x) {
                canvas.blend(x, y, ground, coverageFromDistance(std::fabs(x + 0.5 - centreX) - halfWidth));
            }
        }
    }
}

}  // namespace

std::vector<uint8_t> renderBackdrop() {
    Canvas canvas(backdropWidth, backdropHeight);
    paintSky(canvas);
    paintStars(canvas);
    paintMoon(canvas);
    paintSun(canvas);
    paintClouds(canvas);
    paintBirds(canvas);
    paintMountains(canvas);
    paintBridge(canvas);
    paintCity(canvas);
    paintWater(canvas);
    paintSailboat(canvas);
    paintShore(canvas);
    return canvas.toOpaqueRgba();
}
