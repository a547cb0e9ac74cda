#include "mixer_resampled.h"

#include <algorithm>

#include "song.h"

namespace intro_music::engine {

namespace {

constexpr int fractionBits = 32;

uint64_t firSteadyPortable(const FirKernel& kernel, const int16_t* base, uint64_t position, uint64_t step,
                           float* out, int32_t frames, float leftGain, float rightGain) {
    for (int32_t frame = 0; frame < frames; ++frame) {
        const float value = firValue(kernel, base, position);
        out[0] += value * leftGain;
        out[1] += value * rightGain;
        out += 2;
        position += step;
    }
    return position;
}

uint64_t firRampPortable(const FirKernel& kernel, const int16_t* base, uint64_t position, uint64_t step, float* out,
                         int32_t frames, float& leftGain, float& rightGain, float leftDelta, float rightDelta) {
    float left = leftGain;
    float right = rightGain;
    for (int32_t frame = 0; frame < frames; ++frame) {
        const float value = firValue(kernel, base, position);
        out[0] += value * left;
        out[1] += value * right;
        out += 2;
        position += step;
        left += leftDelta;
        right += rightDelta;
    }
    leftGain = left;
    rightGain = right;
    return position;
}

// Sample-and-hold: the frame the position lies in, as it is.
uint64_t mixNearest(const int16_t* data, uint64_t position, uint64_t step, float* out, int32_t frames,
                    PassGains& gains) {
    float left = gains.left;
    float right = gains.right;
    for (int32_t frame = 0; frame < frames; ++frame) {
        const auto value = static_cast<float>(data[position >> fractionBits]);
        out[0] += value * left;
        out[1] += value * right;
        out += 2;
        position += step;
        if (gains.ramping) {
            left += gains.leftDelta;
            right += gains.rightDelta;
        }
    }
    gains.left = left;
    gains.right = right;
    return position;
}

// Frames whose filter taps all lie in one block of memory: frame index i
// (of the sample) reads base[i - origin - half + 1 ..], for i from
// firstIndex to lastIndex.
struct TapSpan {
    const int16_t* base;  // null: no block holds them
    int64_t origin;
    int64_t firstIndex;
    int64_t lastIndex;
};

TapSpan seamSpan(const int16_t* seams, SeamPiece piece, int64_t edge, int32_t half) {
    const int64_t origin = edge - seamReach;
    return {seams + static_cast<int64_t>(piece) * seamFrames, origin, origin + half - 1,
            edge + seamReach - half - 1};
}

// Where the taps of frame `index` are read from: the sample itself while
// they stay inside what the voice plays, else the seam around the edge.
TapSpan tapSpanAt(const ResampledVoice& voice, int64_t index, int32_t half) {
    const Sample& sample = *voice.sample;
    const SampleLoop& loop = voice.loop;
    const bool looped = voice.looped && loop.looping;
    const int64_t low = looped ? loop.loopStart : 0;
    const int64_t high = loop.loopEnd;
    const TapSpan inside{sample.data, 0, low + half - 1, high - half - 1};
    TapSpan span{nullptr, 0, 0, -1};
    if (index >= inside.firstIndex && index <= inside.lastIndex) {
        span = inside;
    } else if (sample.seams != nullptr) {
        if (!looped) {
            span = index < half - 1 ? seamSpan(sample.seams, SeamStart, 0, half)
                                    : seamSpan(sample.seams, SeamEnd, loop.loopEnd, half);
        } else {
            span = index >= loop.loopEnd - half ? seamSpan(sample.seams, SeamLoopEnd, loop.loopEnd, half)
                                                : seamSpan(sample.seams, SeamLoopStart, loop.loopStart, half);
        }
    }
    if (index < span.firstIndex || index > span.lastIndex) {
        return {nullptr, 0, 0, -1};
    }
    return span;
}

// Frames from `position` whose index stays within the span, at most `frames`.
int32_t framesInSpan(const TapSpan& span, uint64_t position, uint64_t step, bool backward, int32_t frames) {
    if (step == 0) return frames;
    // How far the frames after this one may move inside the span: frame k
    // stays inside while k x step <= room.
    const uint64_t room = !backward ? (static_cast<uint64_t>(span.lastIndex + 1) << fractionBits) - position - 1
                                    : position - (static_cast<uint64_t>(span.firstIndex) << fractionBits);
    // Mostly the span holds the rest of the pass: no division then (with a
    // step of at most a frame the product stays within 63 bits).
    constexpr uint64_t oneFrame = uint64_t{1} << fractionBits;
    if (step <= oneFrame && static_cast<uint64_t>(frames - 1) * step <= room) return frames;
    const uint64_t count = room / step + 1;
    return static_cast<int32_t>(std::min<uint64_t>(count, static_cast<uint64_t>(frames)));
}

// One frame whose taps no block holds (a sample without seams): gathered
// one by one by the rules the seams follow.
uint64_t mixGathered(const FirKernel& kernel, const ResampledVoice& voice, uint64_t position, uint64_t signedStep,
                     float* out, PassGains& gains) {
    int16_t taps[2 * firLongestHalf];
    const int64_t first = (static_cast<int64_t>(position) >> fractionBits) - (kernel.half - 1);
    for (int32_t tap = 0; tap < kernel.taps; ++tap) {
        taps[tap] = playedFrame(*voice.sample, voice.loop, voice.looped, first + tap);
    }
    const uint64_t relative = (static_cast<uint64_t>(kernel.half - 1) << fractionBits) | static_cast<uint32_t>(position);
    const float value = firValue(kernel, taps, relative);
    out[0] += value * gains.left;
    out[1] += value * gains.right;
    if (gains.ramping) {
        gains.left += gains.leftDelta;
        gains.right += gains.rightDelta;
    }
    return position + signedStep;
}

}  // namespace

const FirLoops portableFirLoops{firSteadyPortable, firRampPortable};

uint64_t mixResampled(Interpolation mode, const FirLoops& loops, const ResampledVoice& voice, uint64_t position,
                      uint64_t signedStep, bool backward, float* out, int32_t frames, PassGains& gains) {
    if (mode == Interpolation::Nearest) {
        return mixNearest(voice.sample->data, position, signedStep, out, frames, gains);
    }
    const uint64_t step = backward ? ~signedStep + 1 : signedStep;
    const FirKernel& kernel = mode == Interpolation::Cubic ? cubicKernel() : sincKernel(step);
    // A ping-pong voice turns by mirroring its position about the loop's
    // end, which in frames repeats the last one (as sample-and-hold plays
    // it). Frames the filters read sit at whole positions, so that mirror
    // is the loop mirrored about half a frame before its end, as the seams
    // hold it, read one frame earlier while going backward; at the loop's
    // start the two mirrors meet again.
    const uint64_t readShift = backward ? uint64_t{1} << fractionBits : 0;
    position -= readShift;
    while (frames > 0) {
        const TapSpan span = tapSpanAt(voice, static_cast<int64_t>(position) >> fractionBits, kernel.half);
        if (span.base == nullptr) {
            position = mixGathered(kernel, voice, position, signedStep, out, gains);
            out += 2;
            --frames;
            continue;
        }
        const int32_t count = framesInSpan(span, position, step, backward, frames);
        const uint64_t shift = static_cast<uint64_t>(span.origin) << fractionBits;
        const uint64_t relative = position - shift;
        const uint64_t end = gains.ramping ? loops.ramp(kernel, span.base, relative, signedStep, out, count,
                                                        gains.left, gains.right, gains.leftDelta, gains.rightDelta)
                                           : loops.steady(kernel, span.base, relative, signedStep, out, count,
                                                          gains.left, gains.right);
        position = end + shift;
        out += 2 * count;
        frames -= count;
    }
    return position + readShift;
}

}  // namespace intro_music::engine
