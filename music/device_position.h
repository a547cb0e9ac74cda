// A sound driver's byte position, counted in 32 bits, widened to the 64-bit
// count the audio thread works with. Kept apart from the driver so that the
// rule runs (and is tested) on every platform.
#pragma once

#include <cstdint>

namespace intro_music::engine {

struct WidenedPosition {
    uint32_t last = 0;   // the driver's position at the last reading
    uint64_t total = 0;  // the widened count at the last reading
};

// Moves past a new reading and returns the widened count. A step forward
// (across 2^32 too: a step back of nearly 2^32 is the count wrapping) adds
// its bytes. Any other step back is the driver starting its count again (a
// device change): the count holds where it is and goes on from the new
// reading, rather than jumping ahead by most of 2^32 and letting the ring
// overwrite sound not heard yet.
inline uint64_t widenDevicePosition(WidenedPosition& state, uint32_t position) {
    constexpr uint32_t largestForwardStep = uint32_t{1} << 31;
    const uint32_t forward = position - state.last;  // modulo 2^32
    if (forward < largestForwardStep) {
        state.total += forward;
    }
    state.last = position;
    return state.total;
}

}  // namespace intro_music::engine
