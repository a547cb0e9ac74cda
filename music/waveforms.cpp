#include "waveforms.h"

#include <array>
#include <cmath>

namespace intro_music::engine {

namespace {

// Half a sine period spans 32 positions; the table holds the rising quarter
// and mirrors it. The angle step is deliberately a little below 2 pi / 128,
// so the peak is 255 rather than 256.
constexpr int32_t sineQuarterLength = 16;
constexpr int32_t sineHalfLength = 32;
constexpr double sineAngleStep = 0.049087375;
constexpr double sineScale = 256.0;

// The ramp climbs 8 per position and wraps at 256.
constexpr int32_t rampStep = 8;
constexpr int32_t rampMask = 255;
constexpr int32_t rampTop = 255;

// Auto-vibrato waveform types of an instrument.
enum AutoVibratoType : int32_t { AutoVibratoSine = 0, AutoVibratoSquare = 1, AutoVibratoRampDown = 2, AutoVibratoRampUp = 3 };
constexpr float autoVibratoAngleStep = 0.024543688f;  // 2 pi / 256 in single precision
constexpr double autoVibratoSineScale = 64.0;
constexpr int32_t autoVibratoAmplitude = 64;
constexpr int32_t autoVibratoHalfPeriod = 128;
constexpr int32_t autoVibratoRampUpShift = 384;

std::array<int32_t, sineQuarterLength + 1> makeSineQuarter() {
    std::array<int32_t, sineQuarterLength + 1> table{};
    for (int32_t k = 0; k <= sineQuarterLength; ++k) {
        table[k] = static_cast<int32_t>(std::fabs(std::sin(k * 2 * sineAngleStep)) * sineScale);
    }
    return table;
}

const std::array<int32_t, sineQuarterLength + 1> sineQuarter = makeSineQuarter();

// Worked out once: auto-vibrato reads it for every channel on every tick.
std::array<int32_t, autoVibratoPositionCount> makeAutoVibratoSine() {
    std::array<int32_t, autoVibratoPositionCount> table{};
    for (int32_t p = 0; p < autoVibratoPositionCount; ++p) {
        table[p] = static_cast<int32_t>(std::sin(p * static_cast<double>(autoVibratoAngleStep)) * autoVibratoSineScale);
    }
    return table;
}

const std::array<int32_t, autoVibratoPositionCount> autoVibratoSine = makeAutoVibratoSine();

// Brings any position into -32..31.
int32_t wrapPosition(int32_t position) {
    int32_t wrapped = position & (waveformPositionCount - 1);
    if (wrapped > waveformPositionMaximum) wrapped -= waveformPositionCount;
    return wrapped;
}

int32_t modulo(int32_t value, int32_t divisor) {
    const int32_t remainder = value % divisor;
    return remainder < 0 ? remainder + divisor : remainder;
}

}  // namespace

int32_t sineWaveValue(int32_t position) {
    int32_t magnitude = wrapPosition(position);
    if (magnitude < 0) magnitude = -magnitude;
    if (magnitude > sineQuarterLength) magnitude = sineHalfLength - magnitude;
    return sineQuarter[magnitude];
}

int32_t rampWaveValue(int32_t position) { return rampWaveValueTurnedBy(position, position); }

int32_t rampWaveValueTurnedBy(int32_t position, int32_t turnPosition) {
    const int32_t ramp = (rampStep * wrapPosition(position)) & rampMask;
    return wrapPosition(turnPosition) >= 0 ? ramp : rampTop - ramp;
}

int32_t trackerAutoVibratoWaveValue(int32_t type, int32_t position) {
    constexpr int32_t rampMaskValue = 127;
    const int32_t p = modulo(position, autoVibratoPositionCount);
    switch (type) {
        case AutoVibratoSquare:
            return p < autoVibratoHalfPeriod ? -autoVibratoAmplitude : autoVibratoAmplitude;
        case AutoVibratoRampDown:
            return (((p >> 1) + autoVibratoAmplitude) & rampMaskValue) - autoVibratoAmplitude;
        case AutoVibratoRampUp:
            return (((-(p >> 1)) + autoVibratoAmplitude) & rampMaskValue) - autoVibratoAmplitude;
        default:
            return -autoVibratoSine[p];
    }
}

int32_t autoVibratoWaveValue(int32_t type, int32_t position) {
    const int32_t p = modulo(position, autoVibratoPositionCount);
    switch (type) {
        case AutoVibratoSine:
            return autoVibratoSine[p];
        case AutoVibratoSquare:
            return p < autoVibratoHalfPeriod ? autoVibratoAmplitude : -autoVibratoAmplitude;
        case AutoVibratoRampDown:
            return (autoVibratoHalfPeriod - modulo(p + autoVibratoHalfPeriod, autoVibratoPositionCount)) >> 1;
        case AutoVibratoRampUp:
            return (autoVibratoHalfPeriod - modulo(autoVibratoRampUpShift - p, autoVibratoPositionCount)) >> 1;
        default:
            return 0;
    }
}

}  // namespace intro_music::engine
