#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "periods.h"
#include "replayer.h"
#include "song.h"

namespace {

Song songWithFlags(uint16_t flags) {
    Song song{};
    song.flags = flags;
    return song;
}

// Amiga periods halve every 12 notes from 27392 at note 0.
TEST(AmigaPeriod, OctavesFromTheBaseTable) {
    const int32_t expected[] = {27392, 13696, 6848, 3424, 1712, 856, 428, 214, 107, 53};
    for (int octave = 0; octave < 10; ++octave) EXPECT_EQ(amigaPeriod(12 * octave, 0), expected[octave]) << octave;
}

// Finetune moves towards the neighbouring semitone in 1/128 steps, on the distance above or below.
TEST(AmigaPeriod, FinetuneUsesTheNeighbouringSemitone) {
    EXPECT_EQ(amigaPeriod(48, 127), 1616);
    EXPECT_EQ(amigaPeriod(48, -64), 1762);
    EXPECT_EQ(amigaPeriod(48, 0), 1712);
    // Note 0 with negative finetune measures on the semitone above, as the positive side does.
    EXPECT_EQ(amigaPeriod(0, -128), 27392 + ((27392 - amigaPeriod(1, 0)) * -128) / -128);
}

// Notes far above the range (arpeggio past note 255) give tiny periods, not garbage.
TEST(AmigaPeriod, ExtremeNotesStayInRange) {
    EXPECT_GE(amigaPeriod(270, 127), 0);
    EXPECT_EQ(amigaPeriod(270, 0), 0);
    EXPECT_GT(amigaPeriod(-2000, 0), 0);  // limited, no overflow
}

// Linear mode: 64 units per semitone, finetune halved towards zero.
TEST(LinearPeriod, SemitonesAndFinetune) {
    EXPECT_EQ(linearPeriod(48, 0), 4608);
    EXPECT_EQ(linearPeriod(0, 0), 7680);
    EXPECT_EQ(linearPeriod(48, 127), 4608 - 63);
    EXPECT_EQ(linearPeriod(48, -3), 4609);
}

// The frequency of note 48 is 8362 Hz in Amiga mode and 8363 Hz in linear mode.
TEST(PeriodFrequency, ReferencePitches) {
    const Song amiga = songWithFlags(0);
    const Song linear = songWithFlags(linearFrequencyFlag);
    int32_t frequency = 0;
    ASSERT_TRUE(periodFrequency(&amiga, 1712, 0, &frequency));
    EXPECT_EQ(frequency, 8362);
    ASSERT_TRUE(periodFrequency(&linear, 4608, 0, &frequency));
    EXPECT_EQ(frequency, 8363);
    // A positive offset lowers an Amiga pitch and raises a linear one.
    ASSERT_TRUE(periodFrequency(&amiga, 1712, 100, &frequency));
    EXPECT_EQ(frequency, 14317056 / 1812);
    ASSERT_TRUE(periodFrequency(&linear, 4608, 768, &frequency));
    EXPECT_EQ(frequency, 16726);
}

// Period plus offset of 0 has no pitch; a negative Amiga period neither (no division by zero or sign flip).
TEST(PeriodFrequency, PeriodsWithoutPitch) {
    const Song amiga = songWithFlags(0);
    const Song linear = songWithFlags(linearFrequencyFlag);
    int32_t frequency = 1234;
    EXPECT_FALSE(periodFrequency(&amiga, 0, 0, &frequency));
    EXPECT_FALSE(periodFrequency(&amiga, 56, -56, &frequency));
    EXPECT_FALSE(periodFrequency(&amiga, -5, 0, &frequency));
    EXPECT_FALSE(periodFrequency(&amiga, std::numeric_limits<int32_t>::min(), -1, &frequency));
    EXPECT_FALSE(periodFrequency(&linear, 0, 0, &frequency));
    EXPECT_EQ(frequency, 1234);
}

// Periods slid far out of range give limited frequencies instead of undefined conversions.
TEST(PeriodFrequency, FarPeriodsAreLimited) {
    const Song amiga = songWithFlags(0);
    const Song linear = songWithFlags(linearFrequencyFlag);
    int32_t frequency = 0;
    ASSERT_TRUE(periodFrequency(&linear, std::numeric_limits<int32_t>::min(), 0, &frequency));
    EXPECT_EQ(frequency, std::numeric_limits<int32_t>::max());
    ASSERT_TRUE(periodFrequency(&linear, -100000, std::numeric_limits<int32_t>::max(), &frequency));
    EXPECT_EQ(frequency, std::numeric_limits<int32_t>::max());
    ASSERT_TRUE(periodFrequency(&linear, std::numeric_limits<int32_t>::max(), 0, &frequency));
    EXPECT_EQ(frequency, 0);
    ASSERT_TRUE(periodFrequency(&amiga, 1, 0, &frequency));
    EXPECT_EQ(frequency, 14317056);
    ASSERT_TRUE(periodFrequency(&amiga, std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max(),
                                &frequency));
    EXPECT_EQ(frequency, 0);
}

// The 32.32 step is the rate over 44100, floored at 100 Hz.
TEST(ResamplingStep, IntegerAndFraction) {
    const ResamplingStep unit = resamplingStep(44100);
    EXPECT_EQ(unit.integer, 1);
    EXPECT_EQ(unit.fraction, 0u);
    const ResamplingStep middle = resamplingStep(8363);
    EXPECT_EQ(middle.integer, 0);
    EXPECT_EQ(middle.fraction, static_cast<uint32_t>((uint64_t{8363} << 32) / 44100));
    const ResamplingStep doubled = resamplingStep(88200 + 441);
    EXPECT_EQ(doubled.integer, 2);
    EXPECT_EQ(doubled.fraction, static_cast<uint32_t>(((uint64_t{441} << 32) + 2) / 44100));
    const ResamplingStep floor = resamplingStep(100);
    for (int32_t slow : {99, 0, -5000, std::numeric_limits<int32_t>::min()}) {
        const ResamplingStep step = resamplingStep(slow);
        EXPECT_EQ(step.integer, floor.integer);
        EXPECT_EQ(step.fraction, floor.fraction);
    }
}

// Float-to-int conversion clamps to the int32 range and maps NaN to 0.
TEST(TruncateToInt32, OutOfRangeValues) {
    EXPECT_EQ(truncateToInt32(127.9), 127);
    EXPECT_EQ(truncateToInt32(-127.9), -127);
    EXPECT_EQ(truncateToInt32(1e300), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(truncateToInt32(-1e300), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(truncateToInt32(std::numeric_limits<double>::infinity()), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(truncateToInt32(std::nan("")), 0);
}

}  // namespace
