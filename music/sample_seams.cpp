#include "sample_seams.h"

#include <algorithm>
#include <cstdlib>

#include "song.h"

namespace intro_music::engine {

SampleLoop sampleLoopOf(const Sample& sample) {
    SampleLoop loop{};
    loop.length = static_cast<int64_t>(std::min<uint64_t>(sample.length, largestPlayableLength));
    const int64_t loopEnd = std::min<int64_t>(int64_t{sample.loopStart} + sample.loopLength, loop.length);
    loop.looping = (sample.loopType == LoopForward || sample.loopType == LoopPingPong) &&
                   int64_t{sample.loopStart} < loopEnd;
    loop.pingPong = loop.looping && sample.loopType == LoopPingPong;
    loop.loopStart = loop.looping ? int64_t{sample.loopStart} : 0;
    loop.loopEnd = loopEnd;
    return loop;
}

namespace {

// The frame of the endlessly repeated (or mirrored) loop at `frame`.
int64_t loopedIndex(const SampleLoop& loop, int64_t frame) {
    const int64_t length = loop.loopEnd - loop.loopStart;
    if (!loop.pingPong) {
        const int64_t offset = (frame - loop.loopStart) % length;
        return loop.loopStart + (offset < 0 ? offset + length : offset);
    }
    // Forward, then backward with the end frame repeated, as the voice bounces.
    const int64_t period = 2 * length;
    int64_t offset = (frame - loop.loopStart) % period;
    if (offset < 0) offset += period;
    return offset < length ? loop.loopStart + offset : loop.loopStart + (period - 1 - offset);
}

}  // namespace

int16_t playedFrame(const Sample& sample, const SampleLoop& loop, bool looped, int64_t frame) {
    if (sample.data == nullptr) return 0;
    if (!looped || !loop.looping) {
        if (frame < 0) return 0;
        if (frame < loop.loopEnd) return sample.data[frame];
        if (!loop.looping) return 0;
    } else if (frame >= loop.loopStart && frame < loop.loopEnd) {
        return sample.data[frame];
    }
    return sample.data[loopedIndex(loop, frame)];
}

bool buildSampleSeams(Sample& sample) {
    releaseSampleSeams(sample);
    if (sample.data == nullptr || sample.length == 0) return true;
    auto* seams = static_cast<int16_t*>(std::malloc(sizeof(int16_t) * seamFrames * seamPieceCount));
    if (seams == nullptr) return false;
    const SampleLoop loop = sampleLoopOf(sample);
    const struct {
        SeamPiece piece;
        int64_t edge;
        bool looped;
    } pieces[] = {{SeamStart, 0, false},
                  {SeamEnd, loop.loopEnd, false},
                  {SeamLoopStart, loop.loopStart, true},
                  {SeamLoopEnd, loop.loopEnd, true}};
    for (const auto& piece : pieces) {
        int16_t* out = seams + static_cast<int64_t>(piece.piece) * seamFrames;
        for (int32_t index = 0; index < seamFrames; ++index) {
            out[index] = playedFrame(sample, loop, piece.looped, piece.edge - seamReach + index);
        }
    }
    sample.seams = seams;
    return true;
}

void releaseSampleSeams(Sample& sample) {
    std::free(sample.seams);
    sample.seams = nullptr;
}

}  // namespace intro_music::engine
