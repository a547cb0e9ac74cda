// Periods, frequencies and resampling steps of both frequency tables.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "periods.h"
#include "replayer.h"
#include "song.h"

using namespace intro_music::engine;

namespace {

constexpr int32_t maxInt = std::numeric_limits<int32_t>::max();
constexpr int32_t minInt = std::numeric_limits<int32_t>::min();

// Amiga periods halve every 12 notes from 27392 at note 0; finetune moves 1/128 of the way to the neighbour.
TEST(AmigaPeriod, OctavesAndFinetune) {
    const int32_t octaves[] = {27392, 13696, 6848, 3424, 1712, 856, 428, 214, 107, 53};
    for (int octave = 0; octave < 10; ++octave) EXPECT_EQ(amigaPeriod(12 * octave, 0), octaves[octave]) << octave;
    EXPECT_EQ(amigaPeriod(48, 127), 1616);
    EXPECT_EQ(amigaPeriod(48, -64), 1762);
    // Note 0 with negative finetune measures on the semitone above, as the positive side does.
    EXPECT_EQ(amigaPeriod(0, -128), 27392 + ((27392 - amigaPeriod(1, 0)) * -128) / -128);
    // Notes far outside the range (arpeggio past note 255) give limited periods, not garbage.
    EXPECT_EQ(amigaPeriod(270, 0), 0);
    EXPECT_GE(amigaPeriod(270, 127), 0);
    EXPECT_GT(amigaPeriod(-2000, 0), 0);
}

// Linear mode: 64 units per semitone, finetune halved towards zero.
TEST(LinearPeriod, SemitonesAndFinetune) {
    EXPECT_EQ(linearPeriod(48, 0), 4608);
    EXPECT_EQ(linearPeriod(0, 0), 7680);
    EXPECT_EQ(linearPeriod(48, 127), 4608 - 63);
    EXPECT_EQ(linearPeriod(48, -3), 4609);
}

// Each row: period + offset to frequency in one table; no pitch (false) leaves the frequency alone.
TEST(PeriodFrequency, BothTablesAndTheirLimits) {
    struct Case {
        bool linear;
        int32_t period, offset;
        bool hasPitch;
        int32_t frequency;
    };
    const Case cases[] = {
        {false, 1712, 0, true, 8362},              // note 48, Amiga
        {true, 4608, 0, true, 8363},               // note 48, linear
        {false, 1712, 100, true, 14317056 / 1812},  // a positive offset lowers an Amiga pitch
        {true, 4608, 768, true, 16726},             // and raises a linear one
        {false, 1, 0, true, 14317056},
        {false, 0, 0, false, 0},  // no division by zero
        {false, 56, -56, false, 0},
        {false, -5, 0, false, 0},  // no sign flip
        {false, minInt, -1, false, 0},
        {true, 0, 0, false, 0},
        // Periods slid far out of range give limited frequencies instead of undefined conversions.
        {true, minInt, 0, true, maxInt},
        {true, -100000, maxInt, true, maxInt},
        {true, maxInt, 0, true, 0},
        {false, maxInt, maxInt, true, 0},
    };
    for (const Case& given : cases) {
        Song song{};
        song.flags = given.linear ? linearFrequencyFlag : 0;
        int32_t frequency = 1234;
        EXPECT_EQ(periodFrequency(&song, given.period, given.offset, &frequency), given.hasPitch)
            << given.period << " + " << given.offset;
        EXPECT_EQ(frequency, given.hasPitch ? given.frequency : 1234) << given.period << " + " << given.offset;
    }
}

// The 32.32 step is the rate over 44100, floored at 100 Hz.
TEST(ResamplingStep, IntegerAndFraction) {
    EXPECT_EQ(resamplingStep(44100, 44100).integer, 1);
    EXPECT_EQ(resamplingStep(44100, 44100).fraction, 0u);
    EXPECT_EQ(resamplingStep(8363, 44100).integer, 0);
    EXPECT_EQ(resamplingStep(8363, 44100).fraction, 814485521u);  // 8363 / 44100 of 2^32
    EXPECT_EQ(resamplingStep(88200 + 441, 44100).integer, 2);
    EXPECT_EQ(resamplingStep(88200 + 441, 44100).fraction, 42949672u);  // 0.01 of 2^32
    // The whole part joins the remainder before the division, as the presentation always mixed: one unit more here.
    EXPECT_EQ(resamplingStep(179801, 44100).integer, 4);
    EXPECT_EQ(resamplingStep(179801, 44100).fraction, 331228657u);
    // Other output rates divide by themselves.
    EXPECT_EQ(resamplingStep(48000, 48000).integer, 1);
    EXPECT_EQ(resamplingStep(48000, 48000).fraction, 0u);
    EXPECT_EQ(resamplingStep(8363, 8000).integer, 1);
    EXPECT_EQ(resamplingStep(8363, 8000).fraction, 194884141u);  // 0.045375 of 2^32
    EXPECT_EQ(resamplingStep(8363, 192000).fraction, 187077143u);
    // A pitch factor scales the rate before the division, without cutting it to whole Hz.
    EXPECT_EQ(scaledResamplingStep(22050, 2.0, 44100).integer, 1);
    EXPECT_EQ(scaledResamplingStep(22050, 2.0, 44100).fraction, 0u);
    EXPECT_EQ(scaledResamplingStep(44100, 1.5, 44100).fraction, 1u << 31);
    for (int32_t slow : {99, 0, -5000, minInt}) {
        EXPECT_EQ(resamplingStep(slow, 44100).integer, resamplingStep(100, 44100).integer) << slow;
        EXPECT_EQ(resamplingStep(slow, 44100).fraction, resamplingStep(100, 44100).fraction) << slow;
    }
}

// Float-to-int conversion clamps to the int32 range and maps NaN to 0.
TEST(TruncateToInt32, OutOfRangeValues) {
    EXPECT_EQ(truncateToInt32(127.9), 127);
    EXPECT_EQ(truncateToInt32(-127.9), -127);
    EXPECT_EQ(truncateToInt32(1e300), maxInt);
    EXPECT_EQ(truncateToInt32(-1e300), minInt);
    EXPECT_EQ(truncateToInt32(std::numeric_limits<double>::infinity()), maxInt);
    EXPECT_EQ(truncateToInt32(std::nan("")), 0);
}

}  // namespace
