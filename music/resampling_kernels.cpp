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

// The shapes are worked out eight values side by side, as four pairs that
// the compiler keeps in registers (arrays of eight it keeps in memory, and
// every step then waits on a store and a load): one value's steps wait on
// each other, so alone it leaves the divider and the multiplier idle most of
// the time. Lane by lane, the same operations as one value alone, so the
// same bits.
using Pair = double __attribute__((vector_size(2 * sizeof(double))));
constexpr int lanes = 8;
constexpr int pairs = lanes / 2;
struct Lanes {
    Pair pair[pairs];
    double get(int lane) const { return pair[lane / 2][lane % 2]; }
    void set(int lane, double value) { pair[lane / 2][lane % 2] = value; }
};

// Runs `step` for each pair, written out so that every pair stays in registers.
template <typename Step>
inline void eachPair(Step step) {
    static_assert(pairs == 4, "four pairs written out");
    step(0);
    step(1);
    step(2);
    step(3);
}

// sin(pi x) for any x, by folding to [-1/2, 1/2] and the series.
Lanes sinPis(const Lanes& x) {
    Lanes y;
    for (int lane = 0; lane < lanes; ++lane) {
        const double value = x.get(lane);
        double r = value - 2.0 * std::nearbyint(value * 0.5);  // -1..1
        if (r > 0.5) r = 1.0 - r;
        if (r < -0.5) r = -1.0 - r;
        y.set(lane, pi * r);
    }
    Lanes y2;
    Lanes sum;
    eachPair([&](int p) {
        y2.pair[p] = y.pair[p] * y.pair[p];
        sum.pair[p] = Pair{0.0, 0.0};
    });
    for (int term = sineTerms - 1; term >= 0; --term) {
        const double coefficient = sineCoefficients[static_cast<size_t>(term)];
        eachPair([&](int p) { sum.pair[p] = sum.pair[p] * y2.pair[p] + coefficient; });
    }
    eachPair([&](int p) { sum.pair[p] *= y.pair[p]; });
    return sum;
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

// besselI0() side by side. A value whose series has ended may take a few
// more terms while its neighbours finish, and they change nothing: when the
// series ends at term k (q = x^2 / 4), q < (k + 1)^2, else the term's k
// factors q / i^2 would all exceed one and so would the term. So every later
// factor is below one and every later term at most 1e-18 of the sum, below
// half of its last bit: adding it rounds back to the very same sum.
Lanes besselI0s(const Lanes& x) {
    constexpr int termsBetweenChecks = 4;
    Lanes quarterSquare;
    Lanes term;
    Lanes sum;
    eachPair([&](int p) {
        quarterSquare.pair[p] = x.pair[p] * x.pair[p] * 0.25;
        term.pair[p] = Pair{1.0, 1.0};
        sum.pair[p] = Pair{1.0, 1.0};
    });
    for (int k = 1;; k += termsBetweenChecks) {
        for (int more = k; more < k + termsBetweenChecks; ++more) {
            const double square = static_cast<double>(more) * static_cast<double>(more);
            eachPair([&](int p) {
                term.pair[p] *= quarterSquare.pair[p] / square;
                sum.pair[p] += term.pair[p];
            });
        }
        auto going = term.pair[0] > sum.pair[0] * 1e-18;
        going |= term.pair[1] > sum.pair[1] * 1e-18;
        going |= term.pair[2] > sum.pair[2] * 1e-18;
        going |= term.pair[3] > sum.pair[3] * 1e-18;
        if ((going[0] | going[1]) == 0) return sum;
    }
}

// The position of shape value j: j / 256 frames, exactly.
double shapePosition(int j) { return static_cast<double>(j) / firPhaseCount; }

// A lowpass at `cutoff` cycles per sample frame, windowed to +-half frames
// by a Kaiser window, at t = j / 256 for j = 0..count-1.
void windowedSincs(double* out, int count, double cutoff, double half) {
    static const double scale = 1.0 / besselI0(kaiserBeta);
    for (int first = 0; first < count; first += lanes) {
        Lanes u;
        Lanes x;
        Lanes argument;
        for (int lane = 0; lane < lanes; ++lane) {
            const double t = shapePosition(std::min(first + lane, count - 1));
            const double v = t / half;
            u.set(lane, v);
            x.set(lane, 2.0 * cutoff * t);
            argument.set(lane, v > 1.0 ? 0.0 : kaiserBeta * std::sqrt(1.0 - v * v));
        }
        const Lanes bessel = besselI0s(argument);
        const Lanes sine = sinPis(x);
        for (int lane = 0; lane < lanes && first + lane < count; ++lane) {
            const double window = u.get(lane) > 1.0 ? 0.0 : bessel.get(lane) * scale;
            const double sinc = x.get(lane) == 0.0 ? 1.0 : sine.get(lane) / (pi * x.get(lane));
            out[first + lane] = 2.0 * cutoff * sinc * window;
        }
    }
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
// Tap `tap` of phase p lies at t = tap - half + 1 - p / 256 frames: at
// t = j / 256 with j = 256 (tap - half + 1) - p, a whole number from
// -256 half to 256 half, and every such t is exact. The shapes are even
// functions to the last bit (at -t each step of their arithmetic gives the
// same value or its negation, which rounds alike), so `shapes` works out
// each |t| once: shape(j / 256) for j = 0..count-1.
template <typename Shapes>
void buildKernel(KernelStore& store, int taps, Shapes shapes) {
    const int half = taps / 2;
    // The table before the scratch: the scratch, freed last, is then what the
    // next filter's table is carved from, and fresh pages are dear (a first
    // write to a page costs some virtual machines 10 us and more).
    const size_t rowValues = static_cast<size_t>(2 * taps);
    auto* rows = new (std::align_val_t{64}) int16_t[rowValues * firPhaseCount];
    std::vector<double> shape(static_cast<size_t>(firPhaseCount * half) + 1);
    shapes(shape.data(), static_cast<int>(shape.size()));
    const auto shapeAt = [&shape, half](int phase, int tap) {
        return shape[static_cast<size_t>(std::abs(firPhaseCount * (tap - half + 1) - phase))];
    };
    // Phases 0..256: the last is a whole frame on, the end of phase 255's step.
    std::vector<double> phaseSums(firPhaseCount + 1);
    double largestSum = 0.0;
    for (int phase = 0; phase <= firPhaseCount; ++phase) {
        double sum = 0.0;
        for (int tap = 0; tap < taps; ++tap) sum += shapeAt(phase, tap);
        double absoluteSum = 0.0;
        for (int tap = 0; tap < taps; ++tap) absoluteSum += std::fabs(shapeAt(phase, tap) / sum);
        phaseSums[static_cast<size_t>(phase)] = sum;
        largestSum = std::max(largestSum, absoluteSum);
    }
    // The fixed-point one: as fine as 16 bits hold, and small enough that
    // the sum over a full-scale input of either row stays within 31 bits.
    const double headroomLimit = std::ldexp(1.0, sumHeadroomBits) / (largestSum * 1.01);
    const int32_t one = static_cast<int32_t>(std::min(32767.0, std::floor(headroomLimit)));
    const auto fixedRow = [&](int phase, int32_t* row) {
        const double sum = phaseSums[static_cast<size_t>(phase)];
        int32_t fixedSum = 0;
        int largest = 0;
        for (int tap = 0; tap < taps; ++tap) {
            row[tap] = static_cast<int32_t>(std::nearbyint(shapeAt(phase, tap) / sum * one));
            fixedSum += row[tap];
            if (std::abs(row[tap]) > std::abs(row[largest])) largest = tap;
        }
        row[largest] += one - fixedSum;
    };
    std::vector<int32_t> here(static_cast<size_t>(taps));
    std::vector<int32_t> next(static_cast<size_t>(taps));
    fixedRow(0, next.data());
    for (int phase = 0; phase < firPhaseCount; ++phase) {
        here.swap(next);
        fixedRow(phase + 1, next.data());
        int16_t* row = rows + rowValues * static_cast<size_t>(phase);
        for (size_t tap = 0; tap < here.size(); ++tap) {
            row[tap] = static_cast<int16_t>(std::clamp(here[tap], -32768, 32767));
            row[here.size() + tap] = static_cast<int16_t>(std::clamp(next[tap] - here[tap], -32768, 32767));
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
    return builtKernel(cubicStore, [] {
        buildKernel(cubicStore, 4, [](double* out, int count) {
            for (int j = 0; j < count; ++j) out[j] = catmullRom(shapePosition(j));
        });
    });
}

const FirKernel& sincKernel(uint64_t step) {
    constexpr uint64_t oneFrame = uint64_t{1} << 32;
    if (step <= oneFrame) {
        return builtKernel(baseSincStore, [] {
            buildKernel(baseSincStore, baseTaps,
                        [](double* out, int count) { windowedSincs(out, count, baseCutoff, baseTaps / 2); });
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
        buildKernel(store, taps,
                    [cutoff, taps](double* out, int count) { windowedSincs(out, count, cutoff, taps / 2); });
    });
}

}  // namespace intro_music::engine
