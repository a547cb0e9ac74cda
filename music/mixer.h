// The software mixer: block fill interleaving replayer ticks with mixing,
// the resampling of voices 0..63 into a float buffer, and the conversion to
// 16-bit PCM. The voice table and setTempo are declared in mixer_voice.h.
#pragma once

#include <cstdint>

#include "mixer_voice.h"

struct Song;

inline constexpr int32_t outputChannelCount = 2;
inline constexpr int32_t bytesPerOutputFrame = outputChannelCount * 2;
inline constexpr int32_t blockDurationMs = 20;
// Frames per block, rounded up to a multiple of four: 884 at 44.1 kHz.
inline constexpr int32_t blockLength = ((mixRate * blockDurationMs) / 1000 + 3) & ~3;
inline constexpr int32_t bufferLengthMs = 1000;
// The output ring: 100 blocks, about two seconds.
inline constexpr int32_t ringLength = (bufferLengthMs / blockDurationMs) * blockLength * 2;
inline constexpr int32_t ringBlockCount = ringLength / blockLength;
// Every volume change is spread over this many frames (128 at 44.1 kHz).
inline constexpr int32_t rampLength = mixRate * 128 / 44100;
inline constexpr float rampReciprocal = 1.0f / static_cast<float>(rampLength);

// Where fillBlock reads its song and writes its blocks. Set up by whoever
// drives the mixer (playback or an offline render); one driver at a time.
struct MixerOutput {
    Song* song;
    float* mixBuffer;   // blockCount x blockLength stereo float frames, 16-byte aligned
    int16_t* pcmRing;   // blockCount x blockLength stereo 16-bit frames
    int32_t blockCount;
    int32_t fillCursor;  // next block to produce
};

MixerOutput& mixerOutput();

// Zeroes every voice, then sets each one's index and a step of one frame.
void resetMixerVoices();

// Produces the block at the fill cursor and advances the cursor.
void fillBlock();
// Adds frameCount stereo frames of voices 0..63 into destination.
void mixVoices(float* destination, int32_t frameCount);
// Rounds (ties to even) and clamps 2 x frameCount floats to 16-bit samples.
void convertToPcm16(int16_t* output, const float* input, int32_t frameCount);

// The instruction sets the mixing loops come in; all give the same bits.
enum class MixerPath {
    Baseline,  // four frames at a time with SSE2 (two without it)
    Avx2,      // eight frames at a time
};

// The path in use: the widest this CPU runs, unless one was forced.
MixerPath mixerPath();
// Forces a path (tests and measurements); false, changing nothing, when this
// build or this CPU cannot run it. Not while a block is being filled.
bool setMixerPath(MixerPath path);
