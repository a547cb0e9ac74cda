// Deterministic value noise built on an integer hash, so the generated images
// are identical on every build.
#pragma once

#include <cstdint>

// A well-mixed 32-bit hash of a lattice point and a seed.
uint32_t hashPoint(int32_t x, int32_t y, uint32_t seed);

// The hash mapped to [0, 1).
double hashUnit(int32_t x, int32_t y, uint32_t seed);

// Smoothly interpolated lattice noise in [0, 1).
double valueNoise1d(double x, uint32_t seed);
double valueNoise2d(double x, double y, uint32_t seed);

// Sums of octaves, each at twice the frequency and half the weight; result in [0, 1).
double fractalNoise1d(double x, int octaves, uint32_t seed);
double fractalNoise2d(double x, double y, int octaves, uint32_t seed);
