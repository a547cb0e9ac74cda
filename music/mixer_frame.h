// One output frame of one voice: the formula every mixing loop follows. The
// vector loops perform these single-precision operations lane by lane in the
// same order, so every path gives the same bits (built without contraction
// into fused multiply-adds).
#pragma once

#include <cstdint>

namespace intro_music::engine {

inline constexpr int mixFractionBits = 32;  // positions and steps are 32.32
inline constexpr float mixWeightScale = 1.0f / 2147483648.0f;  // 31-bit fraction to 0..1

// s = d[p] + (d[p + 1] - d[p]) x w, w the upper 31 bits of the fraction.
inline float interpolateFrame(const int16_t* data, uint64_t position) {
    const int16_t* frame = data + (position >> mixFractionBits);
    const float first = frame[0];
    const float weight = static_cast<float>(static_cast<uint32_t>(position) >> 1) * mixWeightScale;
    return first + (static_cast<float>(frame[1]) - first) * weight;
}

// left += s x leftGain, right += s x rightGain; returns the next position.
inline uint64_t mixOneFrame(const int16_t* data, uint64_t position, uint64_t step, float* out, float leftGain,
                            float rightGain) {
    const float value = interpolateFrame(data, position);
    out[0] += value * leftGain;
    out[1] += value * rightGain;
    return position + step;
}

}  // namespace intro_music::engine
