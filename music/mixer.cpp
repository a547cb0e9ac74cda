#include "mixer.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "mixer_avx2.h"
#include "mixer_frame.h"
#include "mixer_resampled.h"
#include "music_engine.h"
#include "song.h"

namespace intro_music::engine {

namespace {

constexpr int fractionBits = mixFractionBits;
// The boundary count is worked out at 24 fractional bits while the distance
// is below 2^24 frames.
constexpr int countFractionBits = 24;
constexpr uint64_t countDistanceLimit = uint64_t{1} << 24;
// A step that vanishes at 24 fractional bits counts as the step of 256 Hz.
constexpr uint64_t vanishingStepSubstitute = uint64_t{24932236} >> (fractionBits - countFractionBits);
// Steps are limited to 65536 frames per output frame so that a pass of a
// block can never overflow the 64-bit position.
constexpr uint64_t largestStep = uint64_t{1} << 48;

constexpr float targetScale = 1.0f / 255.0f;  // the ramp delta multiplies by it
// Ramp times by the tracker's rules: the tracker's own, and the shorter
// ones the reference players give files other programs saved.
constexpr int64_t trackerRampMicroseconds = 5000;
constexpr int64_t risingRampMicroseconds = 363;
constexpr int64_t fallingRampMicroseconds = 952;
// A glide over a long tick stops at this many frames, at every rate.
constexpr int32_t longestGlide = 2048;
constexpr float targetFullScale = 255.0f;     // gains divide by it
constexpr float volumeFixedOne = 256.0f;      // leftVolume / rightVolume are 8.8

// target / targetFullScale for the targets a voice can have, worked out once:
// the same quotients, without a division on every pass.
constexpr int32_t tabulatedTargets = 256;
constexpr std::array<float, tabulatedTargets> steadyGains = [] {
    std::array<float, tabulatedTargets> gains{};
    for (int32_t target = 0; target < tabulatedTargets; ++target) {
        gains[static_cast<size_t>(target)] = static_cast<float>(target) / targetFullScale;
    }
    return gains;
}();

float steadyGain(int32_t target) {
    return target >= 0 && target < tabulatedTargets ? steadyGains[static_cast<size_t>(target)]
                                                    : static_cast<float>(target) / targetFullScale;
}

// Frames a scaled channel is mixed in at a time: a whole block, so that its
// passes (and their ramps) split exactly where the unscaled ones do.
constexpr int32_t scratchFrames = blockLength;

constexpr float pcmLowest = -32768.0f;
constexpr float pcmHighest = 32767.0f;

#if defined(__SSE2__)
// The frame at a position and the one after it, as the low and high halves
// of one 32-bit load.
inline int32_t framePair(const int16_t* data, uint64_t position) {
    int32_t pair;
    std::memcpy(&pair, data + (position >> fractionBits), sizeof pair);
    return pair;
}

// Constant gains, four frames per iteration. Every lane performs the same
// single-precision operations in the same order as interpolateFrame() and
// mixOneFrame(), so the result is bit for bit that of the scalar path.
uint64_t mixSteady(const int16_t* data, uint64_t position, uint64_t step, float* out, int32_t frames,
                   float leftGain, float rightGain) {
    static_assert(std::endian::native == std::endian::little, "frame pairs are read little-endian");
    const __m128 gains = _mm_set_ps(rightGain, leftGain, rightGain, leftGain);
    const __m128 weightScaleLanes = _mm_set1_ps(mixWeightScale);
    const uint64_t step2 = step * 2;
    const uint64_t step3 = step * 3;
    const uint64_t step4 = step * 4;
    // The fractions of the four positions advance modulo 2^32 in their own
    // lanes, so only the frame indices need the scalar 64-bit positions.
    __m128i fractionLanes = _mm_set_epi32(static_cast<int32_t>(position + step3), static_cast<int32_t>(position + step2),
                                          static_cast<int32_t>(position + step), static_cast<int32_t>(position));
    const __m128i fractionStep = _mm_set1_epi32(static_cast<int32_t>(step4));
    for (int32_t quad = frames >> 2; quad > 0; --quad) {
        const uint64_t position1 = position + step;
        const uint64_t position2 = position + step2;
        const uint64_t position3 = position + step3;
        const __m128i pairs = _mm_set_epi32(framePair(data, position3), framePair(data, position2),
                                            framePair(data, position1), framePair(data, position));
        const __m128 first = _mm_cvtepi32_ps(_mm_srai_epi32(_mm_slli_epi32(pairs, 16), 16));
        const __m128 second = _mm_cvtepi32_ps(_mm_srai_epi32(pairs, 16));
        const __m128 weight = _mm_mul_ps(_mm_cvtepi32_ps(_mm_srli_epi32(fractionLanes, 1)), weightScaleLanes);
        fractionLanes = _mm_add_epi32(fractionLanes, fractionStep);
        const __m128 value = _mm_add_ps(first, _mm_mul_ps(_mm_sub_ps(second, first), weight));
        const __m128 frames01 = _mm_unpacklo_ps(value, value);
        const __m128 frames23 = _mm_unpackhi_ps(value, value);
        _mm_storeu_ps(out, _mm_add_ps(_mm_loadu_ps(out), _mm_mul_ps(frames01, gains)));
        _mm_storeu_ps(out + 4, _mm_add_ps(_mm_loadu_ps(out + 4), _mm_mul_ps(frames23, gains)));
        out += 8;
        position += step4;
    }
    for (int32_t frame = 0; frame < (frames & 3); ++frame) {
        position = mixOneFrame(data, position, step, out, leftGain, rightGain);
        out += 2;
    }
    return position;
}
#else
// Constant gains: two frames per iteration, the odd last frame on its own.
uint64_t mixSteady(const int16_t* data, uint64_t position, uint64_t step, float* out, int32_t frames,
                   float leftGain, float rightGain) {
    for (int32_t pair = frames >> 1; pair > 0; --pair) {
        const float first = interpolateFrame(data, position);
        position += step;
        const float second = interpolateFrame(data, position);
        position += step;
        out[0] += first * leftGain;
        out[1] += first * rightGain;
        out[2] += second * leftGain;
        out[3] += second * rightGain;
        out += 4;
    }
    if ((frames & 1) != 0) {
        position = mixOneFrame(data, position, step, out, leftGain, rightGain);
    }
    return position;
}
#endif

// Gains that move by a fixed delta every frame.
uint64_t mixRamp(const int16_t* data, uint64_t position, uint64_t step, float* out, int32_t frames, float& leftGain,
                 float& rightGain, float leftDelta, float rightDelta) {
    float left = leftGain;
    float right = rightGain;
    for (int32_t frame = 0; frame < frames; ++frame) {
        const float value = interpolateFrame(data, position);
        position += step;
        out[0] += value * left;
        out[1] += value * right;
        out += 2;
        left += leftDelta;
        right += rightDelta;
    }
    leftGain = left;
    rightGain = right;
    return position;
}

// The loops of one pass, for one instruction set: linear interpolation,
// and the longer filters' loops.
struct PassLoops {
    uint64_t (*steady)(const int16_t* data, uint64_t position, uint64_t step, float* out, int32_t frames,
                       float leftGain, float rightGain);
    uint64_t (*ramp)(const int16_t* data, uint64_t position, uint64_t step, float* out, int32_t frames,
                     float& leftGain, float& rightGain, float leftDelta, float rightDelta);
    const FirLoops* fir;
};

constexpr PassLoops baselineLoops{mixSteady, mixRamp, &portableFirLoops};
#if INTRO_MIXER_HAS_AVX2
constexpr PassLoops avx2Loops{mixSteadyAvx2, mixRampAvx2, &avx2FirLoops};
#endif

// Null when this build or this CPU cannot run the path.
const PassLoops* loopsFor(MixerPath path) {
    switch (path) {
        case MixerPath::Baseline:
            return &baselineLoops;
        case MixerPath::Avx2:
#if INTRO_MIXER_HAS_AVX2
            return cpuRunsAvx2() ? &avx2Loops : nullptr;
#else
            return nullptr;
#endif
    }
    return nullptr;
}

const PassLoops* widestLoops() {
    const PassLoops* avx2 = loopsFor(MixerPath::Avx2);
    return avx2 != nullptr ? avx2 : &baselineLoops;
}

// The one dispatch point: every pass runs the loops chosen here. Null until
// first use, and constant-initialised, so a render from another file's
// static constructor (which may run before this file's) still finds loops.
constinit std::atomic<const PassLoops*> activeLoops{nullptr};

const PassLoops& loopsInUse() {
    const PassLoops* loops = activeLoops.load(std::memory_order_relaxed);
    if (loops == nullptr) {
        // Every thread that gets here picks the same loops; the first store wins.
        const PassLoops* widest = widestLoops();
        activeLoops.compare_exchange_strong(loops, widest, std::memory_order_relaxed);
        loops = activeLoops.load(std::memory_order_relaxed);
    }
    return *loops;
}

void silenceVoice(MixerVoice& voice) {
    voice.sample = nullptr;
    voice.position = 0;
    voice.positionFraction = 0;
}

// Starts a new ramp when a target changed, keeps the running one otherwise.
void updateRamp(MixerVoice& voice, RampLengths ramps) {
    const bool targetsKept = voice.leftTarget == voice.lastLeftTarget && voice.rightTarget == voice.lastRightTarget;
    if (voice.rampRemaining != 0 && targetsKept) {
        return;
    }
    // A voice settled on targets that stay, the common case on every pass:
    // no ramp to start.
    if (targetsKept && voice.leftTarget == voice.leftVolume >> 8 && voice.rightTarget == voice.rightVolume >> 8) {
        return;
    }
    const bool wasRamping = voice.rampRemaining != 0;
    voice.lastLeftTarget = voice.leftTarget;
    voice.lastRightTarget = voice.rightTarget;
    voice.rampRemaining = 0;
    const int32_t leftNow = voice.leftVolume >> 8;
    const int32_t rightNow = voice.rightVolume >> 8;
    const bool rising = voice.leftTarget > leftNow || voice.rightTarget > rightNow;
    int32_t rampFrames = rising ? ramps.rising : ramps.falling;
    // Between two heard levels a slid volume glides over the whole tick; a
    // level set outright, a note starting from silence and one fading to it
    // keep the short ramp.
    const bool heardBefore = (leftNow | rightNow) != 0;
    const bool heardAfter = (voice.leftTarget | voice.rightTarget) != 0;
    if (ramps.tickGlide > 0 && heardBefore && heardAfter && voice.volumeSet == 0) {
        rampFrames = std::clamp(ramps.tickGlide, rampFrames, std::max(rampFrames, longestGlide));
    }
    const float reciprocal = 1.0f / static_cast<float>(rampFrames);
    if (ramps.exactGains) {
        if (!wasRamping) {
            voice.leftRampGain = static_cast<float>(voice.leftVolume) / volumeFixedOne / targetFullScale;
            voice.rightRampGain = static_cast<float>(voice.rightVolume) / volumeFixedOne / targetFullScale;
        }
        voice.leftRampDelta = (static_cast<float>(voice.leftTarget) * targetScale - voice.leftRampGain) * reciprocal;
        voice.rightRampDelta = (static_cast<float>(voice.rightTarget) * targetScale - voice.rightRampGain) * reciprocal;
        if (voice.leftTarget != leftNow || voice.rightTarget != rightNow) voice.rampRemaining = rampFrames;
        return;
    }
    voice.leftRampDelta = 0.0f;
    voice.rightRampDelta = 0.0f;
    if (voice.leftTarget != leftNow) {
        voice.leftRampDelta = static_cast<float>(voice.leftTarget - leftNow) * targetScale * reciprocal;
        voice.rampRemaining = rampFrames;
    }
    if (voice.rightTarget != rightNow) {
        voice.rightRampDelta = static_cast<float>(voice.rightTarget - rightNow) * targetScale * reciprocal;
        voice.rampRemaining = rampFrames;
    }
}

// Frames until the position passes the boundary, or -1 when that is beyond
// frameLimit.
int64_t framesToBoundary(uint64_t distance, uint64_t step, int32_t frameLimit) {
    uint64_t count;
    if ((distance >> fractionBits) < countDistanceLimit) {
        const uint64_t distance24 = distance >> (fractionBits - countFractionBits);
        uint64_t step24 = step >> (fractionBits - countFractionBits);
        if (step24 == 0) {
            step24 = vanishingStepSubstitute;
        }
        const uint64_t dividend = distance24 + step24 - 1;
        // Short loops make many passes: a 32-bit division is much cheaper.
        count = (dividend >> 32) == 0 && (step24 >> 32) == 0
                    ? static_cast<uint32_t>(dividend) / static_cast<uint32_t>(step24)
                    : dividend / step24;
    } else {
        // Far from the boundary: exact count, so that even a very large
        // step can never run past the end of the data.
        const uint64_t effectiveStep = step == 0 ? 1 : step;
        count = distance / effectiveStep + (distance % effectiveStep != 0 ? 1 : 0);
    }
    return count <= static_cast<uint64_t>(frameLimit) ? static_cast<int64_t>(count) : -1;
}

// Puts a position that has crossed a loop boundary back inside the loop.
// Returns false when the voice has run off the end of a sample without loop.
bool applyLoopRule(MixerVoice& voice, int64_t& position, bool pingPong, bool looping, int64_t loopStart,
                   int64_t loopEnd, int64_t length) {
    if (!looping) {
        silenceVoice(voice);
        return false;
    }
    voice.looped = 1;
    const int64_t loopLength = loopEnd - loopStart;
    if (!pingPong) {
        // One unconditional step back (a pass may end a hair short of the
        // end), then whole loop lengths while still at or past the end.
        position -= loopLength;
        if (position >= loopEnd) {
            position = loopStart + (position - loopStart) % loopLength;
        }
    } else if (voice.direction == DirectionBackward) {
        // Mirror about the loop start; whole round trips change nothing.
        if (position < loopStart) {
            position = loopStart - (loopStart - position) % (2 * loopLength);
        }
        position = 2 * loopStart - position - 1;
        voice.direction = DirectionForward;
        if (position >= loopEnd) {
            position = 2 * loopEnd - position - 1;
            voice.direction = DirectionBackward;
        }
    } else {
        if (position >= loopEnd) {
            position = loopEnd + (position - loopEnd) % (2 * loopLength);
        }
        position = 2 * loopEnd - position - 1;
        voice.direction = DirectionBackward;
        if (position < loopStart) {
            position = 2 * loopStart - position - 1;
            voice.direction = DirectionForward;
        }
    }
    // A mirror or wrap a hair below a loop that starts at frame 0 must not
    // read before the first frame; a mirror of a step that never reached the
    // end (a step too small to count) must not land past the last one.
    position = std::clamp<int64_t>(position, 0, length);
    return true;
}

void mixVoice(MixerVoice& voice, float* out, int32_t frames, const PassLoops& loops, RampLengths ramps,
              Interpolation interpolation) {
    while (frames > 0 && voice.sample != nullptr) {
        const Sample& sample = *voice.sample;
        if (sample.data == nullptr || sample.length == 0) {
            silenceVoice(voice);
            return;
        }
        const SampleLoop loop = sampleLoopOf(sample);
        const int64_t length = loop.length << fractionBits;
        const bool looping = loop.looping;
        const bool pingPong = loop.pingPong;
        const int64_t loopStart = loop.loopStart << fractionBits;
        const int64_t loopEnd = loop.loopEnd << fractionBits;
        if (!pingPong) {
            voice.direction = DirectionForward;
        }
        const bool backward = voice.direction == DirectionBackward;

        // Positions outside the sample can only come from a damaged voice
        // record; bring them to the nearest end rather than read outside.
        int64_t position = voice.position < 0 ? 0
                                              : static_cast<int64_t>((uint64_t(uint32_t(voice.position)) << fractionBits) |
                                                                     voice.positionFraction);
        if (position > length) {
            position = length;
        }
        uint64_t step = (uint64_t(uint32_t(voice.stepInteger)) << fractionBits) | voice.stepFraction;
        if (step > largestStep) {
            step = largestStep;
        }

        // 1. Frames to the boundary.
        uint64_t distance;
        if (!backward) {
            const int64_t boundary = position > loopEnd ? length : loopEnd;
            distance = position < boundary ? static_cast<uint64_t>(boundary - position) : 0;
        } else {
            distance = position > loopStart ? static_cast<uint64_t>(position - loopStart) : 0;
        }
        int32_t pass = frames;
        bool reachesBoundary = false;
        int64_t boundaryFrames = framesToBoundary(distance, step, frames);
        if (boundaryFrames >= 0) {
            // Going backward the last frame mixed must not lie before frame 0.
            if (backward && boundaryFrames > 0 &&
                static_cast<uint64_t>(boundaryFrames - 1) * step > static_cast<uint64_t>(position)) {
                boundaryFrames = static_cast<int64_t>(static_cast<uint64_t>(position) / step) + 1;
            }
            pass = static_cast<int32_t>(boundaryFrames);
            reachesBoundary = true;
        }

        // 2. Volume ramp.
        updateRamp(voice, ramps);
        bool rampCutPass = false;
        if (voice.rampRemaining > 0 && voice.rampRemaining < pass) {
            pass = voice.rampRemaining;
            reachesBoundary = false;
            rampCutPass = true;
        }

        // 3./4. Resample the pass.
        const uint64_t signedStep = backward ? (~step + 1) : step;
        uint64_t end = static_cast<uint64_t>(position);
        const bool silent = voice.rampRemaining == 0 && voice.leftTarget == 0 && voice.rightTarget == 0;
        if (silent) {
            // A voice faded out to nothing adds only zeros: move it on
            // exactly as mixing would, without reading its frames.
            end += signedStep * static_cast<uint64_t>(pass);
        } else if (voice.rampRemaining == 0) {
            if (interpolation == Interpolation::Linear) {
                end = loops.steady(sample.data, end, signedStep, out, pass, steadyGain(voice.leftTarget),
                                   steadyGain(voice.rightTarget));
            } else {
                PassGains gains{steadyGain(voice.leftTarget), steadyGain(voice.rightTarget), 0.0f, 0.0f, false};
                end = mixResampled(interpolation, *loops.fir, {&sample, loop, voice.looped != 0}, end, signedStep,
                                   backward, out, pass, gains);
            }
        } else if (pass > 0) {
            float leftGain = ramps.exactGains ? voice.leftRampGain
                                              : static_cast<float>(voice.leftVolume) / volumeFixedOne / targetFullScale;
            float rightGain = ramps.exactGains
                                  ? voice.rightRampGain
                                  : static_cast<float>(voice.rightVolume) / volumeFixedOne / targetFullScale;
            if (interpolation == Interpolation::Linear) {
                end = loops.ramp(sample.data, end, signedStep, out, pass, leftGain, rightGain, voice.leftRampDelta,
                                 voice.rightRampDelta);
            } else {
                PassGains gains{leftGain, rightGain, voice.leftRampDelta, voice.rightRampDelta, true};
                end = mixResampled(interpolation, *loops.fir, {&sample, loop, voice.looped != 0}, end, signedStep,
                                   backward, out, pass, gains);
                leftGain = gains.left;
                rightGain = gains.right;
            }
            voice.leftRampGain = leftGain;
            voice.rightRampGain = rightGain;
            voice.leftVolume = static_cast<int32_t>(std::lrint(leftGain * targetFullScale * volumeFixedOne));
            voice.rightVolume = static_cast<int32_t>(std::lrint(rightGain * targetFullScale * volumeFixedOne));
            voice.rampRemaining -= pass;
            if (voice.rampRemaining == 0) {
                voice.leftRampDelta = 0.0f;
                voice.rightRampDelta = 0.0f;
                voice.leftVolume = voice.leftTarget * 256;
                voice.rightVolume = voice.rightTarget * 256;
            }
        }
        position = static_cast<int64_t>(end);
        frames -= pass;
        out += 2 * pass;

        // 5. What ends the pass decides what comes next.
        if (!rampCutPass && reachesBoundary) {
            if (!applyLoopRule(voice, position, pingPong, looping, loopStart, loopEnd, length)) {
                return;
            }
        }
        voice.position = static_cast<int32_t>(position >> fractionBits);
        voice.positionFraction = static_cast<uint32_t>(position);
        if (!rampCutPass && !reachesBoundary) {
            return;
        }
    }
}

}  // namespace

void resetMixerVoices(MusicEngine& engine) {
    MixerVoice* voiceTable = engine.voices;
    std::memset(static_cast<void*>(voiceTable), 0, sizeof engine.voices);
    for (int index = 0; index < voiceTableSize; ++index) {
        voiceTable[index].index = index;
        voiceTable[index].stepInteger = 1;
    }
}

void setTempo(Song* song, int32_t bpm) {
    if (song == nullptr) {
        return;
    }
    song->bpm = bpm;
    // A tempo of 0 would divide by zero; a huge one would give no frames.
    const double tempo = bpm < 1 ? 1.0 : static_cast<double>(bpm);
    const int32_t rate = song->outputRate > 0 ? song->outputRate : mixRate;
    const double factor = song->tempoFactor > 0.0 ? song->tempoFactor : 1.0;
    double frames = 0.0;
    if (rate == mixRate && factor == 1.0) {
        // The presentation's own rate keeps its original single-precision formula.
        frames = 1000.0 / (tempo * static_cast<double>(0.4f)) * static_cast<double>(mixRate) *
                 static_cast<double>(0.001f);
    } else {
        frames = std::floor(static_cast<double>(rate) * 5.0 / (2.0 * tempo * factor));
    }
    song->framesPerTick = frames < 1.0 ? 1 : frames > 1e9 ? 1000000000 : static_cast<int32_t>(frames);
}

RampLengths rampLengthsFor(const Song* song) {
    const int32_t rate = song != nullptr && song->outputRate > 0 ? song->outputRate : mixRate;
    if (song == nullptr || !song->rules.trackerVolumeRamps) {
        return {rampLengthAt(rate), rampLengthAt(rate), false, 0};
    }
    const auto frames = [rate](int64_t microseconds) {
        return std::max<int32_t>(1, static_cast<int32_t>((microseconds * rate + 500000) / 1000000));
    };
    const int32_t tickGlide = song->rules.volumeGlidesOverTick ? std::max(song->framesPerTick, 1) : 0;
    if (song->savedByTheTracker) {
        return {frames(trackerRampMicroseconds), frames(trackerRampMicroseconds), true, tickGlide};
    }
    return {frames(risingRampMicroseconds), frames(fallingRampMicroseconds), true, tickGlide};
}

// mixVoices with the ramp lengths already worked out: mixFrames works them
// out once a tick.
static void mixVoicesWithRamps(MusicEngine& engine, float* destination, int32_t frameCount, RampLengths ramps) {
    if (frameCount <= 0 || destination == nullptr) {
        return;
    }
    const PassLoops& loops = loopsInUse();
    const Interpolation interpolation =
        engine.output.song != nullptr ? engine.output.song->interpolation : Interpolation::Linear;
    MixerVoice* voiceTable = engine.voices;
    for (int index = 0; index < mixedVoiceCount; ++index) {
        if (voiceTable[index].sample == nullptr) {
            continue;
        }
        const float gain = engine.channelGains != nullptr ? engine.channelGains[index % partnerVoiceDistance] : 1.0f;
        if (gain == 1.0f) {
            mixVoice(voiceTable[index], destination, frameCount, loops, ramps, interpolation);
            continue;
        }
        // A muted or quieter channel still moves on exactly as if heard, so
        // that restoring it gives the very same sound as never touching it.
        for (int32_t done = 0; done < frameCount;) {
            float scratch[scratchFrames * outputChannelCount] = {};
            const int32_t chunk = std::min(scratchFrames, frameCount - done);
            mixVoice(voiceTable[index], scratch, chunk, loops, ramps, interpolation);
            float* out = destination + static_cast<size_t>(done) * outputChannelCount;
            for (int32_t value = 0; value < chunk * outputChannelCount && gain != 0.0f; ++value) {
                out[value] += scratch[value] * gain;
            }
            done += chunk;
        }
    }
}

void mixVoices(MusicEngine& engine, float* destination, int32_t frameCount) {
    mixVoicesWithRamps(engine, destination, frameCount, rampLengthsFor(engine.output.song));
}

MixerPath mixerPath() {
    return &loopsInUse() == &baselineLoops ? MixerPath::Baseline : MixerPath::Avx2;
}

bool setMixerPath(MixerPath path) {
    const PassLoops* loops = loopsFor(path);
    if (loops == nullptr) {
        return false;
    }
    activeLoops.store(loops, std::memory_order_relaxed);
    return true;
}

void convertToPcm16(int16_t* pcm, const float* input, int32_t frameCount) {
    convertValuesToPcm16(pcm, input, frameCount * outputChannelCount);
}

void convertValuesToPcm16(int16_t* pcm, const float* input, int32_t count) {
    if (count <= 0 || pcm == nullptr || input == nullptr) {
        return;
    }
    int32_t index = 0;
#if INTRO_MIXER_HAS_AVX2
    if (&loopsInUse() == &avx2Loops) index = convertToPcm16Avx2(pcm, input, count, pcmLowest, pcmHighest);
#endif
#if defined(__SSE2__)
    // The default rounding mode rounds ties to even, as the scalar path does.
    const __m128 lowest = _mm_set1_ps(pcmLowest);
    const __m128 highest = _mm_set1_ps(pcmHighest);
    for (; index + 8 <= count; index += 8) {
        const __m128 first = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(input + index), lowest), highest);
        const __m128 second = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(input + index + 4), lowest), highest);
        const __m128i packed = _mm_packs_epi32(_mm_cvtps_epi32(first), _mm_cvtps_epi32(second));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pcm + index), packed);
    }
#endif
    for (; index < count; ++index) {
        float value = input[index];
        value = value >= pcmLowest ? value : pcmLowest;  // also catches NaN
        value = value <= pcmHighest ? value : pcmHighest;
        pcm[index] = static_cast<int16_t>(std::nearbyint(value));
    }
}

void fillBlock(MusicEngine& engine) {
    MixerOutput& target = engine.output;
    Song* song = target.song;
    if (song == nullptr || target.mixBuffer == nullptr || target.pcmRing == nullptr || target.blockCount <= 0) {
        return;
    }
    if (target.fillCursor < 0 || target.fillCursor >= target.blockCount) {
        target.fillCursor = 0;
    }
    float* slice = target.mixBuffer + static_cast<size_t>(target.fillCursor) * blockLength * outputChannelCount;
    mixBlock(engine, slice);
    convertToPcm16(target.pcmRing + static_cast<size_t>(target.fillCursor) * blockLength * outputChannelCount, slice,
                   blockLength);
    target.fillCursor = target.fillCursor + 1 < target.blockCount ? target.fillCursor + 1 : 0;
}

bool startNextTick(MusicEngine& engine) {
    Song* song = engine.output.song;
    if (song->tickHandler != nullptr) {
        song->tickHandler(engine, song);
    }
    // A tick is at least one frame, so the block always moves on.
    song->framesLeftInTick = song->framesPerTick > 0 ? song->framesPerTick : 1;
    const bool endBlock = engine.endBlockAfterTick;
    engine.endBlockAfterTick = false;
    return endBlock;
}

void mixBlock(MusicEngine& engine, float* slice) { mixFrames(engine, slice, blockLength); }

int32_t mixFrames(MusicEngine& engine, float* slice, int32_t frameCount) {
    Song* song = engine.output.song;
    if (song == nullptr || slice == nullptr || frameCount <= 0) {
        return 0;
    }
    std::memset(slice, 0, sizeof(float) * static_cast<size_t>(frameCount) * outputChannelCount);
    int32_t done = 0;
    while (done < frameCount) {
        if (song->framesLeftInTick <= 0 && startNextTick(engine)) {
            break;
        }
        // Worked out per tick: a glide lasts the tick it starts in.
        const RampLengths ramps = rampLengthsFor(song);
        const int32_t chunk = std::min(song->framesLeftInTick, frameCount - done);
        mixVoicesWithRamps(engine, slice + static_cast<size_t>(done) * outputChannelCount, chunk, ramps);
        done += chunk;
        song->framesLeftInTick -= chunk;
    }
    return done;
}

}  // namespace intro_music::engine
