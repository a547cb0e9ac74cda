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

void autoVibratoStep(MusicChannel& channel, const Instrument& instrument) {
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

void setVolumeEnvelopePosition(MusicChannel& channel, const Instrument& instrument, int32_t position) {
    if ((instrument.volumeEnvelopeFlags & EnvelopeOn) == 0) return;
    const int32_t count = storedPointCount(instrument.volumePointCount);
    if (count == 0) return;
    const EnvelopePoint* points = instrument.volumeEnvelope;

    int32_t index = 0;
    while (index + 1 < count && position > points[index + 1].x) index += 1;
    channel.volumeEnvelopePoint = index;
    if (index >= count - 1) {
        channel.volumeEnvelopeOutput = limitedOutput(points[count - 1].y);
        channel.volumeEnvelopeFinished = 1;
        return;
    }
    channel.volumeEnvelopeFinished = 0;
    channel.volumeEnvelopeTick = position;
    channel.volumeEnvelopeSlope = segmentSlope(points[index], points[index + 1]);
    channel.volumeEnvelopePoint = index + 1;
    channel.volumeEnvelopeValue =
        saturateToInt32(static_cast<int64_t>(points[index].y) * envelopeOne +
                        (static_cast<int64_t>(position) - points[index].x) * channel.volumeEnvelopeSlope);
    channel.volumeEnvelopeOutput = limitedOutput(channel.volumeEnvelopeValue >> envelopeFractionBits);
}

}  // namespace intro_music::engine
