// What a long interpolation filter reads around a sample's edges. A filter
// centred on a frame reads up to firLongestHalf frames to either side; near
// the start, the end or a loop's seam those frames are the ones the voice
// plays next (or played last), not the frames stored there:
// - before the first frame, and past the end of a sample without a loop: silence;
// - past a loop's end: the loop again (forward) or mirrored (ping-pong);
// - before a loop's start, once the voice has looped: the loop's end (forward)
//   or the loop mirrored (ping-pong); before that, the frames before the loop.
// Each sample keeps four short copies of those frames ("seams"), built when
// it is loaded, so the filters read plain memory everywhere.
#pragma once

#include <cstdint>

#include "resampling_kernels.h"

namespace intro_music::engine {

struct Sample;

// Lengths beyond 2^30 frames would not fit the mixer's 32.32 positions.
inline constexpr uint64_t largestPlayableLength = uint64_t{1} << 30;

// Where a sample plays and loops, in frames, as the mixer plays it.
struct SampleLoop {
    int64_t length;     // playable frames
    int64_t loopStart;  // 0 without a loop
    int64_t loopEnd;    // frames up to which the voice plays: the loop's end (the length without a loop)
    bool looping;
    bool pingPong;
};
SampleLoop sampleLoopOf(const Sample& sample);

// A seam covers seamReach frames to either side of an edge.
inline constexpr int32_t seamReach = 3 * firLongestHalf;
inline constexpr int32_t seamFrames = 2 * seamReach;
enum SeamPiece : int32_t {
    SeamStart,      // around frame 0, as first played
    SeamEnd,        // around the end (the loop's end when looping), as first played
    SeamLoopStart,  // around the loop's start once the voice has looped
    SeamLoopEnd,    // around the loop's end once the voice has looped
    seamPieceCount
};

// The frame a voice hears at `frame` (any integer) of its sample: the rules above.
int16_t playedFrame(const Sample& sample, const SampleLoop& loop, bool looped, int64_t frame);

// Allocates and fills sample.seams from the sample's data and loop; false
// when memory runs out (the sample then has none, and the mixer works the
// frames out one by one). Call again after changing the data or the loop.
bool buildSampleSeams(Sample& sample);
void releaseSampleSeams(Sample& sample);

}  // namespace intro_music::engine
