// The interpolation filters' coefficient tables: what every phase row holds, and that the tables stay bit for bit
// what they were when the sound was approved (how they are worked out may change, the coefficients may not).
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <set>
#include <vector>

#include "resampling_kernels.h"

using namespace intro_music::engine;

namespace {

uint64_t stepOf(double frames) { return static_cast<uint64_t>(std::ldexp(frames, 32)); }

// FNV-1a over the taps, the half, the scale's bits and every coefficient, low byte first.
uint64_t digestOf(const FirKernel& kernel) {
    uint64_t hash = 0xcbf29ce484222325u;
    const auto add = [&hash](uint32_t value, int bytes) {
        for (int byte = 0; byte < bytes; ++byte) {
            hash ^= (value >> (8 * byte)) & 0xffu;
            hash *= 0x100000001b3u;
        }
    };
    add(static_cast<uint32_t>(kernel.taps), 4);
    add(static_cast<uint32_t>(kernel.half), 4);
    add(std::bit_cast<uint32_t>(kernel.outputScale), 4);
    const int64_t values = int64_t{2} * kernel.taps * firPhaseCount;
    for (int64_t index = 0; index < values; ++index) add(static_cast<uint16_t>(kernel.rows[index]), 2);
    return hash;
}

// The cubic, the sinc up to a step of one frame, then one step inside each eighth-octave band (2^((b + 1/2) / 8)
// frames) and one past the last band's top (4 frames).
std::vector<const FirKernel*> everyKernel() {
    std::vector<const FirKernel*> kernels{&cubicKernel(), &sincKernel(stepOf(0.5))};
    for (int band = 0; band < 16; ++band) kernels.push_back(&sincKernel(stepOf(std::exp2((band + 0.5) / 8))));
    kernels.push_back(&sincKernel(stepOf(7.0)));
    return kernels;
}

TEST(ResamplingKernels, EachBandHasItsOwnFilterAndLongerStepsShareTheLast) {
    const std::vector<const FirKernel*> kernels = everyKernel();
    EXPECT_EQ(std::set<const FirKernel*>(kernels.begin(), kernels.end() - 1).size(), kernels.size() - 1);
    EXPECT_EQ(kernels.back(), kernels[kernels.size() - 2]);
    EXPECT_EQ(&sincKernel(stepOf(1.0)), kernels[1]);
    EXPECT_EQ(&sincKernel(0), kernels[1]);
    EXPECT_EQ(&sincKernel(stepOf(1.0) + 1), kernels[2]);
}

// Every phase's own coefficients (the row's first half) add up to the fixed-point one, so a constant signal
// comes out unchanged at every phase; stepping to the next phase's row (c0 + dc) gives that row's coefficients.
TEST(ResamplingKernels, EveryPhaseSumsToOneAndStepsToTheNext) {
    for (const FirKernel* kernel : everyKernel()) {
        const int32_t one = static_cast<int32_t>(std::lround(1.0 / kernel->outputScale));
        ASSERT_EQ(kernel->half * 2, kernel->taps);
        ASSERT_EQ(kernel->taps % 4, 0);
        ASSERT_EQ(reinterpret_cast<uintptr_t>(kernel->rows) % 64, 0u);
        for (int phase = 0; phase < firPhaseCount; ++phase) {
            const int16_t* row = kernel->rows + static_cast<size_t>(phase) * 2 * kernel->taps;
            int32_t sum = 0;
            for (int tap = 0; tap < kernel->taps; ++tap) sum += row[tap];
            ASSERT_EQ(sum, one) << "taps " << kernel->taps << ", phase " << phase;
            if (phase + 1 == firPhaseCount) continue;
            const int16_t* next = row + 2 * kernel->taps;
            for (int tap = 0; tap < kernel->taps; ++tap) {
                ASSERT_EQ(row[tap] + row[kernel->taps + tap], next[tap]) << "taps " << kernel->taps << ", phase "
                                                                         << phase << ", tap " << tap;
            }
        }
    }
}

// Digests of the tables as first approved; a change to any coefficient changes what every song sounds like.
TEST(ResamplingKernels, TablesStayAsApproved) {
    const uint64_t approved[] = {
        0xafd77449088d896fu, 0xabd2e233df27b9d1u,  // cubic, sinc up to one frame
        0xfaecdc762f5f0aa1u, 0x94f186a5e88e2266u, 0xf4bb7f0f84a49dfau,  // the sixteen bands, in order
        0x25523e20d26716d3u, 0xa9ad31c8a8abd8ccu, 0xe64c782ac49cfa8fu,
        0xdbf8da680e92a96eu, 0xf12207e047b5a348u, 0xc2eb1074d426fbd9u,
        0xef8e05bedb85f9c1u, 0x9e1048867ec8c63eu, 0xa1686b0c90c5218eu,
        0xff0c1c29f61f0692u, 0x43d9ee235763bbb3u, 0x39c2c019cff2bc21u,
        0x4ee0b68bfcdcb725u,
        0x4ee0b68bfcdcb725u,  // past the last band
    };
    const std::vector<const FirKernel*> kernels = everyKernel();
    ASSERT_EQ(kernels.size(), std::size(approved));
    for (size_t index = 0; index < kernels.size(); ++index) {
        EXPECT_EQ(digestOf(*kernels[index]), approved[index]) << "kernel " << index << std::hex << ": 0x"
                                                               << digestOf(*kernels[index]);
    }
}

}  // namespace
