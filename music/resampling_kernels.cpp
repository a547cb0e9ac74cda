#include "resampling_kernels.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <new>
#include <vector>

namespace intro_music::engine {

namespace {

// The windowed sincs, chosen by measuring pure tones (3-, 4-, 8- and
// 16-frame cosine cycles at every octave from C-2 to C-7) against everything
// else in the render, and a square wave played above the output rate
// (tests/interpolation):
// - 16 taps and a Kaiser window of beta 8 for steps up to one frame. The
//   hardest tones, a third of the sample's rate, keep 81 dB (every tone
//   81-85 dB, the floor the 16-bit coefficients and samples leave): 12
//   taps gave them 38 dB; beta 9 and 10 (a wider transition) 67 and 57 dB;
//   beta 7 left quarter-rate tones at 77 dB; 24 taps gained nothing.
// - 256 phases with a linear step between neighbours' 16-bit coefficients,
//   weighed by the next 15 bits of the position (1 dB below interpolating
//   the sums in float, at half the work). 64 phases measured within 1 dB of
//   256; 256 rows of 16 taps (16 KB) still sit in the first-level cache.
// - Above one frame per output frame, one filter per eighth of an octave up
//   to a step of 4 (then the step-4 filter), its passband kept to 0.285 of
//   the output rate (12.5 kHz at 44.1 kHz) and its stopband starting at the
//   output's Nyquist frequency, so the partials above it are removed, not
//   folded back (80 dB below a square wave's fundamental at 1.5 and 1.9 x
//   the output rate). The taps grow with the step (32 to 80).
constexpr double kaiserBeta = 8.0;
constexpr int baseTaps = 16;
constexpr double baseCutoff = 0.5;  // cycles per sample frame
constexpr int bandsPerOctave = 8;
constexpr int bandCount = 16;          // steps up to 2^(16/8) = 4
constexpr double bandCutoff = 0.3925;  // cycles per output frame: midway between 0.285 and 0.5
// Output-rate taps of the band filters, rounded up to whole sixteens of
// sample taps: 20 measured as clean as 28 (the squares 80-82 dB down).
constexpr double bandOutputTaps = 20.0;

constexpr double pi = 3.14159265358979323846;
constexpr int sumHeadroomBits = 31 - 15;  // a 16-bit input times the coefficient sum must fit 31 bits

// The Taylor coefficients of sin y, (-1)^k / (2k + 1)!, up to y^25 (below
// 1e-20 for |y| <= pi / 2); worked out by the compiler, the same everywhere.
constexpr int sineTerms = 13;
constexpr std::array<double, sineTerms> sineCoefficients = [] {
    std::array<double, sineTerms> values{};
    double inverseFactorial = 1.0;
    for (int term = 0; term < sineTerms; ++term) {
        const int power = 2 * term + 1;
        if (power > 1) inverseFactorial /= static_cast<double>((power - 1) * power);
        values[static_cast<size_t>(term)] = term % 2 == 0 ? inverseFactorial : -inverseFactorial;
    }
    return values;
}();

// sin(pi x) for any x, by folding to [-1/2, 1/2] and the series.
double sinPi(double x) {
    double r = x - 2.0 * std::nearbyint(x * 0.5);  // -1..1
    if (r > 0.5) r = 1.0 - r;
    if (r < -0.5) r = -1.0 - r;
    const double y = pi * r;
    const double y2 = y * y;
    double sum = 0.0;
    for (int term = sineTerms - 1; term >= 0; --term) sum = sum * y2 + sineCoefficients[static_cast<size_t>(term)];
    return sum * y;
}

// The modified Bessel function I0 by its power series, to the last bit.
double besselI0(double x) {
    const double quarterSquare = x * x * 0.25;
    double term = 1.0;
    double sum = 1.0;
    for (int k = 1; term > sum * 1e-18; ++k) {
        term *= quarterSquare / (static_cast<double>(k) * static_cast<double>(k));
        sum += term;
    }
    return sum;
}

double kaiserWindow(double t, double half) {
    static const double scale = 1.0 / besselI0(kaiserBeta);
    const double u = t / half;
    if (u < -1.0 || u > 1.0) return 0.0;
    return besselI0(kaiserBeta * std::sqrt(1.0 - u * u)) * scale;
}

// A lowpass at `cutoff` cycles per sample frame, windowed to +-half frames.
double windowedSinc(double t, double cutoff, double half) {
    const double x = 2.0 * cutoff * t;
    const double sinc = x == 0.0 ? 1.0 : sinPi(x) / (pi * x);
    return 2.0 * cutoff * sinc * kaiserWindow(t, half);
}

// Keys' cubic with a = -1/2 (Catmull-Rom).
double catmullRom(double t) {
    const double a = std::fabs(t);
    if (a <= 1.0) return (1.5 * a - 2.5) * a * a + 1.0;
    if (a < 2.0) return ((-0.5 * a + 2.5) * a - 4.0) * a + 2.0;
    return 0.0;
}

// A kernel built on first use. Readers check `ready` alone (every mixing
// pass asks for its kernel); the first to find it unset builds it under the lock.
struct KernelStore {
    FirKernel kernel{};
    std::atomic<bool> ready{false};
    std::mutex building;
};

template <typename Build>
const FirKernel& builtKernel(KernelStore& store, Build build) {
    if (!store.ready.load(std::memory_order_acquire)) {
        const std::lock_guard<std::mutex> lock(store.building);
        if (!store.ready.load(std::memory_order_relaxed)) {
            build();
            store.ready.store(true, std::memory_order_release);
        }
    }
    return store.kernel;
}

// Fills a kernel's rows from a continuous filter shape. Each phase's
// coefficients are normalised to sum to exactly the fixed-point one, so a
// constant signal comes out unchanged at every phase (no ripple at the
// phase rate).
template <typename Shape>
void buildKernel(KernelStore& store, int taps, Shape shape) {
    const int half = taps / 2;
    // Phases 0..256: the last is a whole frame on, the end of phase 255's step.
    std::vector<std::vector<double>> phases(firPhaseCount + 1, std::vector<double>(static_cast<size_t>(taps)));
    double largestSum = 0.0;
    for (int phase = 0; phase <= firPhaseCount; ++phase) {
        const double fraction = static_cast<double>(phase) / firPhaseCount;
        double sum = 0.0;
        for (int tap = 0; tap < taps; ++tap) {
            const double value = shape(static_cast<double>(tap - half + 1) - fraction);
            phases[static_cast<size_t>(phase)][static_cast<size_t>(tap)] = value;
            sum += value;
        }
        double absoluteSum = 0.0;
        for (double& value : phases[static_cast<size_t>(phase)]) {
            value /= sum;
            absoluteSum += std::fabs(value);
        }
        largestSum = std::max(largestSum, absoluteSum);
    }
    // The fixed-point one: as fine as 16 bits hold, and small enough that
    // the sum over a full-scale input of either row stays within 31 bits.
    const double headroomLimit = std::ldexp(1.0, sumHeadroomBits) / (largestSum * 1.01);
    const int32_t one = static_cast<int32_t>(std::min(32767.0, std::floor(headroomLimit)));
    std::vector<std::vector<int32_t>> fixed(firPhaseCount + 1, std::vector<int32_t>(static_cast<size_t>(taps)));
    for (int phase = 0; phase <= firPhaseCount; ++phase) {
        auto& row = fixed[static_cast<size_t>(phase)];
        int32_t sum = 0;
        size_t largest = 0;
        for (size_t tap = 0; tap < row.size(); ++tap) {
            row[tap] = static_cast<int32_t>(std::nearbyint(phases[static_cast<size_t>(phase)][tap] * one));
            sum += row[tap];
            if (std::abs(row[tap]) > std::abs(row[largest])) largest = tap;
        }
        row[largest] += one - sum;
    }
    const size_t rowValues = static_cast<size_t>(2 * taps);
    auto* rows = new (std::align_val_t{64}) int16_t[rowValues * firPhaseCount];
    for (int phase = 0; phase < firPhaseCount; ++phase) {
        int16_t* row = rows + rowValues * static_cast<size_t>(phase);
        for (int tap = 0; tap < taps; ++tap) {
            const int32_t here = fixed[static_cast<size_t>(phase)][static_cast<size_t>(tap)];
            const int32_t next = fixed[static_cast<size_t>(phase) + 1][static_cast<size_t>(tap)];
            row[tap] = static_cast<int16_t>(std::clamp(here, -32768, 32767));
            row[taps + tap] = static_cast<int16_t>(std::clamp(next - here, -32768, 32767));
        }
    }
    // Kept for the life of the process: every engine shares the tables.
    store.kernel = FirKernel{taps, half, rows, 1.0f / static_cast<float>(one)};
}

KernelStore cubicStore;
KernelStore baseSincStore;
std::array<KernelStore, bandCount> bandSincStores;

// The step (32.32) at the top of each band: 2^(band / 8) frames.
const std::array<uint64_t, bandCount>& bandTops() {
    static const std::array<uint64_t, bandCount> tops = [] {
        // Powers of 2^(1/8) by square roots and products, exact on every platform.
        static_assert(bandsPerOctave == 8, "the eighth-octave root is three square roots");
        const double eighthOctave = std::sqrt(std::sqrt(std::sqrt(2.0)));
        std::array<uint64_t, bandCount> values{};
        double ratio = 1.0;
        for (int band = 0; band < bandCount; ++band) {
            ratio *= eighthOctave;
            values[static_cast<size_t>(band)] = static_cast<uint64_t>(std::ldexp(ratio, 32));
        }
        return values;
    }();
    return tops;
}

}  // namespace

const FirKernel& cubicKernel() {
    return builtKernel(cubicStore, [] { buildKernel(cubicStore, 4, catmullRom); });
}

const FirKernel& sincKernel(uint64_t step) {
    constexpr uint64_t oneFrame = uint64_t{1} << 32;
    if (step <= oneFrame) {
        return builtKernel(baseSincStore, [] {
            buildKernel(baseSincStore, baseTaps, [](double t) { return windowedSinc(t, baseCutoff, baseTaps / 2); });
        });
    }
    const auto& tops = bandTops();
    int band = 0;
    while (band + 1 < bandCount && step > tops[static_cast<size_t>(band)]) ++band;
    KernelStore& store = bandSincStores[static_cast<size_t>(band)];
    return builtKernel(store, [band, &store, &tops] {
        const double ratio = std::ldexp(static_cast<double>(tops[static_cast<size_t>(band)]), -32);
        const int neededTaps = static_cast<int>(std::ceil(bandOutputTaps * ratio));
        const int taps = std::min(2 * firLongestHalf, (neededTaps + 15) / 16 * 16);
        const double cutoff = bandCutoff / ratio;
        buildKernel(store, taps, [cutoff, taps](double t) { return windowedSinc(t, cutoff, taps / 2); });
    });
}

}  // namespace intro_music::engine
