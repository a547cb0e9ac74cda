// The sound driver's 32-bit byte position, widened: only a step back of nearly
// 2^32 is a wrap; any other step back is the driver starting again, and the
// count holds instead of jumping (which would let the ring overwrite sound
// not heard yet).
#include <gtest/gtest.h>

#include <vector>

#include "device_position.h"

using namespace intro_music::engine;

namespace {

struct Readings {
    const char* rule;
    std::vector<uint32_t> positions;
    std::vector<uint64_t> totals;
};

constexpr uint64_t twoTo32 = uint64_t{1} << 32;

}  // namespace

TEST(DevicePosition, OnlyAStepBackOfNearly2To32IsAWrap) {
    const Readings cases[] = {
        {"steps forward add their bytes", {0, 3528, 7056, 1000000}, {0, 3528, 7056, 1000000}},
        {"the count runs over its top: a wrap",
         {0xFFFFF000u, 0x00000800u, 0x00004000u},
         {0xFFFFF000u, twoTo32 + 0x800, twoTo32 + 0x4000}},
        {"the driver starts its count again: the total holds, then goes on from the new reading",
         {10000000, 0, 4000}, {10000000, 10000000, 10004000}},
        {"a small step back (a reading that went back a block): held, no wrap",
         {500000, 496472, 500000}, {500000, 500000, 503528}},
        {"a restart right after a wrap keeps both",
         {0xFFFFFF00u, 0x100u, 0x80u}, {0xFFFFFF00u, twoTo32 + 0x100, twoTo32 + 0x100}},
    };
    for (const Readings& given : cases) {
        // As after hours of steady steps up to the first reading.
        WidenedPosition state{given.positions[0], given.positions[0]};
        std::vector<uint64_t> totals;
        for (const uint32_t position : given.positions) totals.push_back(widenDevicePosition(state, position));
        EXPECT_EQ(totals, given.totals) << given.rule;
    }
}
