// The software mixer: block fill interleaving replayer ticks with mixing,
// the resampling of voices 0..63 into a float buffer, and the conversion to
// 16-bit PCM. The voice table and setTempo are declared in mixer_voice.h.
#pragma once

#include <cstdint>

#include "mixer_voice.h"

namespace intro_music::engine {

struct Song;
struct MusicEngine;

inline constexpr int32_t outputChannelCount = 2;
inline constexpr int32_t bytesPerOutputFrame = outputChannelCount * 2;
inline constexpr int32_t blockDurationMs = 20;
// Frames per block, rounded up to a multiple of four: 884 at 44.1 kHz.
inline constexpr int32_t blockLength = ((mixRate * blockDurationMs) / 1000 + 3) & ~3;
inline constexpr int32_t bufferLengthMs = 1000;
// The output ring: 100 blocks, about two seconds.
inline constexpr int32_t ringLength = (bufferLengthMs / blockDurationMs) * blockLength * 2;
inline constexpr int32_t ringBlockCount = ringLength / blockLength;
// Every volume change is spread over this many frames (128 at 44.1 kHz):
// the same time at every output rate.
inline constexpr int32_t rampLength = mixRate * 128 / 44100;
constexpr int32_t rampLengthAt(int32_t outputRate) {
    return outputRate == mixRate ? rampLength : (outputRate * int64_t{128} + 22050) / 44100;
}
// Frames a volume change takes, rising and falling: both rampLength by the
// presentation's rules.
struct RampLengths {
    int32_t rising;
    int32_t falling;
    bool exactGains;  // carry the running gains between passes (leftRampGain)
    // Frames a change between two heard levels takes (the tick's, at least
    // the short ramp, at most longestGlide); 0: no glide.
    int32_t tickGlide;
};
RampLengths rampLengthsFor(const Song* song);

// Where an engine's fillBlock reads its song and writes its blocks. Set up by
// whoever drives the engine (playback or an offline render).
struct MixerOutput {
    Song* song;
    float* mixBuffer;   // blockCount x blockLength stereo float frames, 16-byte aligned
    int16_t* pcmRing;   // blockCount x blockLength stereo 16-bit frames
    int32_t blockCount;
    int32_t fillCursor;  // next block to produce
};

// Zeroes every voice of the engine, then sets each one's index and a step of one frame.
void resetMixerVoices(MusicEngine& engine);

// Produces the block at the engine's fill cursor and advances the cursor.
void fillBlock(MusicEngine& engine);
// Runs the song's ticks and mixes blockLength stereo frames into slice (zeroed first).
void mixBlock(MusicEngine& engine, float* slice);
// The same for up to frameCount frames (slice holds as many); returns the
// frames mixed: fewer when the tick handler sets engine.endBlockAfterTick,
// which ends the block where that tick starts (its frames not yet mixed).
// The drivers of mixBlock and fillBlock never set it.
int32_t mixFrames(MusicEngine& engine, float* slice, int32_t frameCount);
// Runs the song's next tick (the engine's output song must be set); true when
// the tick handler asked to end the block there.
bool startNextTick(MusicEngine& engine);
// Adds frameCount stereo frames of the engine's voices 0..63 into destination.
void mixVoices(MusicEngine& engine, float* destination, int32_t frameCount);
// Rounds (ties to even) and clamps 2 x frameCount floats to 16-bit samples.
void convertToPcm16(int16_t* output, const float* input, int32_t frameCount);
// The same for valueCount single values (mono frames, or any count).
void convertValuesToPcm16(int16_t* output, const float* input, int32_t valueCount);

// The instruction sets the mixing loops come in; all give the same bits.
enum class MixerPath {
    Baseline,  // four frames at a time with SSE2 (two without it)
    Avx2,      // eight frames at a time
};

// The path in use: the widest this CPU runs, unless one was forced.
MixerPath mixerPath();
// Forces a path for every engine (tests and measurements); false, changing
// nothing, when this build or this CPU cannot run it. The paths give the same
// bits, so a switch while blocks are being filled changes no sound.
bool setMixerPath(MixerPath path);

}  // namespace intro_music::engine
