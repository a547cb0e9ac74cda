#include "noise.h"

#include <cmath>

namespace {

double smoothWeight(double t) { return t * t * (3.0 - 2.0 * t); }

}  // namespace

uint32_t hashPoint(int32_t x, int32_t y, uint32_t seed) {
    uint32_t h = seed * 0x9E3779B9u;
    h ^= static_cast<uint32_t>(x) * 0x85EBCA6Bu;
    h = (h << 13) | (h >> 19);
    h ^= static_cast<uint32_t>(y) * 0xC2B2AE35u;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}

double hashUnit(int32_t x, int32_t y, uint32_t seed) {
    return static_cast<double>(hashPoint(x, y, seed)) / 4294967296.0;
}

double valueNoise1d(double x, uint32_t seed) {
    double cell = std::floor(x);
    int32_t index = static_cast<int32_t>(cell);
    double weight = smoothWeight(x - cell);
    double a = hashUnit(index, 0, seed);
    double b = hashUnit(index + 1, 0, seed);
    return a + (b - a) * weight;
}

double valueNoise2d(double x, double y, uint32_t seed) {
    double cellX = std::floor(x);
    double cellY = std::floor(y);
    int32_t ix = static_cast<int32_t>(cellX);
    int32_t iy = static_cast<int32_t>(cellY);
    double wx = smoothWeight(x - cellX);
    double wy = smoothWeight(y - cellY);
    double top = hashUnit(ix, iy, seed) + (hashUnit(ix + 1, iy, seed) - hashUnit(ix, iy, seed)) * wx;
    double bottom = hashUnit(ix, iy + 1, seed) + (hashUnit(ix + 1, iy + 1, seed) - hashUnit(ix, iy + 1, seed)) * wx;
    return top + (bottom - top) * wy;
}

double fractalNoise1d(double x, int octaves, uint32_t seed) {
    double sum = 0.0;
    double weight = 0.5;
    double total = 0.0;
    for (int octave = 0; octave < octaves; ++octave) {
        sum += valueNoise1d(x, seed + static_cast<uint32_t>(octave) * 101u) * weight;
        total += weight;
        x *= 2.0;
        weight *= 0.5;
    }
    return sum / total;
}

double fractalNoise2d(double x, double y, int octaves, uint32_t seed) {
    double sum = 0.0;
    double weight = 0.5;
    double total = 0.0;
    for (int octave = 0; octave < octaves; ++octave) {
        sum += valueNoise2d(x, y, seed + static_cast<uint32_t>(octave) * 101u) * weight;
        total += weight;
        x *= 2.0;
        y *= 2.0;
        weight *= 0.5;
    }
    return sum / total;
}
