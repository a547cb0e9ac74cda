#include "envelopes.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "waveforms.h"

namespace intro_music::engine {

namespace {

constexpr int64_t envelopeOne = int64_t{1} << envelopeFractionBits;
constexpr int32_t autoVibratoShift = 6;  // waveform (-64..64) x depth, scaled back by 64

int32_t saturateToInt32(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

// Only the stored points exist, whatever the count says.
int32_t storedPointCount(uint8_t pointCount) { return std::min<int32_t>(pointCount, envelopePointCapacity); }

// 16.16 change per tick from one point to the next; 0 for a segment without width.
int32_t segmentSlope(const EnvelopePoint& from, const EnvelopePoint& to) {
    const int64_t width = static_cast<int64_t>(to.x) - from.x;
    if (width == 0) return 0;
    return saturateToInt32((static_cast<int64_t>(to.y) * envelopeOne - static_cast<int64_t>(from.y) * envelopeOne) /
                           width);
}

int32_t pointValue(const EnvelopePoint& point) { return saturateToInt32(static_cast<int64_t>(point.y) * envelopeOne); }

// Valid files keep envelope values within 0..64; a damaged one must not drive
// a voice beyond full volume or a panning past its edges.
int32_t limitedOutput(int32_t level) { return std::clamp<int32_t>(level, 0, fullEnvelopeVolume); }

}  // namespace

void envelopeStep(MusicChannel& channel, int32_t& point, int32_t& tick, uint8_t flags, uint8_t pointCount,
                  const EnvelopePoint* points, uint8_t loopEnd, uint8_t loopStart, uint8_t sustainPoint,
                  int32_t& output, int32_t& value, uint8_t& finished, int32_t& slope, uint8_t updateBit) {
    const int32_t count = storedPointCount(pointCount);
    if (point < 0 || point >= count) {
        // Past the last point: the value stays.
    } else if (tick != points[point].x) {
        value = saturateToInt32(static_cast<int64_t>(value) + slope);
    } else {
        // The loop jump comes before the end and sustain tests, so a sustain
        // point on the loop end is never held. A loop start beyond the stored
        // points is ignored.
        if ((flags & EnvelopeLoop) != 0 && point == loopEnd && loopStart < count) {
            point = loopStart;
            tick = points[point].x;
        }
        if (point == count - 1) {
            output = limitedOutput(points[point].y);
            finished = 1;
            channel.updateFlags |= updateBit;
            return;
        }
        if ((flags & EnvelopeSustain) != 0 && point == sustainPoint && channel.keyOff == 0) {
            output = limitedOutput(points[point].y);
            channel.updateFlags |= updateBit;
            return;
        }
        slope = segmentSlope(points[point], points[point + 1]);
        value = pointValue(points[point]);
        point += 1;
    }
    output = limitedOutput(value >> envelopeFractionBits);
    if (tick < std::numeric_limits<int32_t>::max()) tick += 1;
    channel.updateFlags |= updateBit;
}

void stepEnvelopesAndFadeout(MusicChannel& channel, const Instrument& instrument, bool silenceReleased) {
    const bool volumeEnvelopeOn = (instrument.volumeEnvelopeFlags & EnvelopeOn) != 0;
    if (volumeEnvelopeOn && channel.volumeEnvelopeFinished == 0) {
        envelopeStep(channel, channel.volumeEnvelopePoint, channel.volumeEnvelopeTick, instrument.volumeEnvelopeFlags,
                     instrument.volumePointCount, instrument.volumeEnvelope, instrument.volumeLoopEnd,
                     instrument.volumeLoopStart, instrument.volumeSustainPoint, channel.volumeEnvelopeOutput,
                     channel.volumeEnvelopeValue, channel.volumeEnvelopeFinished, channel.volumeEnvelopeSlope,
                     UpdateVolume);
    }
    // A released note without a volume envelope stops at once.
    if (silenceReleased && !volumeEnvelopeOn && channel.keyOff != 0) channel.volumeEnvelopeOutput = 0;

    if ((instrument.panningEnvelopeFlags & EnvelopeOn) != 0 && channel.panningEnvelopeFinished == 0) {
        envelopeStep(channel, channel.panningEnvelopePoint, channel.panningEnvelopeTick,
                     instrument.panningEnvelopeFlags, instrument.panningPointCount, instrument.panningEnvelope,
                     instrument.panningLoopEnd, instrument.panningLoopStart, instrument.panningSustainPoint,
                     channel.panningEnvelopeOutput, channel.panningEnvelopeValue, channel.panningEnvelopeFinished,
                     channel.panningEnvelopeSlope, UpdatePanning);
    }

    if (channel.keyOff != 0) {
        channel.fadeoutVolume = std::max<int32_t>(0, channel.fadeoutVolume - instrument.fadeout);
        channel.updateFlags |= UpdateVolume;
    }
}

// The tracker's auto-vibrato: the position moves before it is read, the
// waveforms start downwards in pitch space, and the sweep raises the depth
// (8.8 fixed point) only while the note is held; a note released before the
// sweep ends keeps only one sweep step of depth.
void trackerAutoVibratoStep(MusicChannel& channel, const Instrument& instrument) {
    constexpr int32_t depthShift = 8;
    constexpr int32_t positionMask = 255;
    constexpr int32_t outputShift = 14;  // waveform (-64..64) x depth (8.8), scaled back to periods
    if (instrument.vibratoDepth == 0) return;
    const int32_t fullDepth = instrument.vibratoDepth << depthShift;
    int32_t depth = fullDepth;
    if (instrument.vibratoSweep != 0 && channel.autoVibratoSwept == 0) {
        depth = fullDepth / instrument.vibratoSweep;
        if (channel.keyOff == 0) {
            depth += channel.autoVibratoSweep;
            if (depth > fullDepth) {
                depth = fullDepth;
                channel.autoVibratoSwept = 1;
            }
            channel.autoVibratoSweep = depth;
        }
    } else if (instrument.vibratoSweep != 0) {
        depth = channel.autoVibratoSweep;
    }
    channel.autoVibratoPosition = (channel.autoVibratoPosition + instrument.vibratoRate) & positionMask;
    const int32_t value = trackerAutoVibratoWaveValue(instrument.vibratoType, channel.autoVibratoPosition);
    channel.periodOffset = saturateToInt32(static_cast<int64_t>(channel.periodOffset) + ((value * depth) >> outputShift));
    channel.updateFlags |= UpdateFrequency;
}

void autoVibratoStep(MusicChannel& channel, const Instrument& instrument, const PlaybackRules& rules) {
    if (rules.trackerAutoVibrato) {
        trackerAutoVibratoStep(channel, instrument);
        return;
    }
    int64_t offset = static_cast<int64_t>(autoVibratoWaveValue(instrument.vibratoType, channel.autoVibratoPosition)) *
                     instrument.vibratoDepth;
    // The sweep fades the vibrato in over vibratoSweep ticks.
    if (instrument.vibratoSweep != 0) offset = channel.autoVibratoSweep * offset / instrument.vibratoSweep;
    channel.periodOffset = saturateToInt32(static_cast<int64_t>(channel.periodOffset) + (offset >> autoVibratoShift));

    channel.autoVibratoSweep = std::min<int32_t>(channel.autoVibratoSweep + 1, instrument.vibratoSweep);
    channel.autoVibratoPosition += instrument.vibratoRate;
    if (channel.autoVibratoPosition >= autoVibratoPositionCount) channel.autoVibratoPosition -= autoVibratoPositionCount;
    channel.updateFlags |= UpdateFrequency;
}

namespace {

// One envelope's running state, as the channel keeps it.
struct EnvelopeState {
    int32_t& point;
    int32_t& tick;
    int32_t& slope;
    int32_t& value;
    int32_t& output;
    uint8_t& finished;
};

void moveEnvelopeTo(const EnvelopePoint* points, uint8_t pointCount, int32_t position, EnvelopeState state) {
    const int32_t count = storedPointCount(pointCount);
    if (count == 0) return;
    int32_t index = 0;
    while (index + 1 < count && position > points[index + 1].x) index += 1;
    state.point = index;
    if (index >= count - 1) {
        state.output = limitedOutput(points[count - 1].y);
        state.finished = 1;
        return;
    }
    state.finished = 0;
    state.tick = position;
    state.slope = segmentSlope(points[index], points[index + 1]);
    state.point = index + 1;
    state.value = saturateToInt32(static_cast<int64_t>(points[index].y) * envelopeOne +
                                  (static_cast<int64_t>(position) - points[index].x) * state.slope);
    state.output = limitedOutput(state.value >> envelopeFractionBits);
}

}  // namespace

void setVolumeEnvelopePosition(MusicChannel& channel, const Instrument& instrument, int32_t position) {
    if ((instrument.volumeEnvelopeFlags & EnvelopeOn) == 0) return;
    moveEnvelopeTo(instrument.volumeEnvelope, instrument.volumePointCount, position,
                   {channel.volumeEnvelopePoint, channel.volumeEnvelopeTick, channel.volumeEnvelopeSlope,
                    channel.volumeEnvelopeValue, channel.volumeEnvelopeOutput, channel.volumeEnvelopeFinished});
}

void setPanningEnvelopePosition(MusicChannel& channel, const Instrument& instrument, int32_t position) {
    if ((instrument.panningEnvelopeFlags & EnvelopeOn) == 0) return;
    moveEnvelopeTo(instrument.panningEnvelope, instrument.panningPointCount, position,
                   {channel.panningEnvelopePoint, channel.panningEnvelopeTick, channel.panningEnvelopeSlope,
                    channel.panningEnvelopeValue, channel.panningEnvelopeOutput, channel.panningEnvelopeFinished});
    channel.updateFlags |= UpdatePanning;
}

}  // namespace intro_music::engine
