// Serialises a ModuleData record into the bytes of an Extended Module file.
#include "xm_writer.h"

#include <algorithm>
#include <cstdlib>

namespace xm_writer {
namespace {

constexpr char signature[] = "Extended Module: ";
constexpr size_t signatureLength = 17;
constexpr size_t moduleNameLength = 20;
constexpr uint8_t nameTerminator = 0x1A;
constexpr size_t trackerNameLength = 20;
constexpr size_t orderTableLength = 256;

constexpr uint32_t patternHeaderLength = 9;
constexpr uint32_t byteRowCountPatternHeaderLength = 8;
constexpr uint8_t patternPackingType = 0;

constexpr uint8_t packedFlag = 0x80;
constexpr uint8_t packedNote = 0x01;
constexpr uint8_t packedInstrument = 0x02;
constexpr uint8_t packedVolume = 0x04;
constexpr uint8_t packedEffect = 0x08;
constexpr uint8_t packedParameter = 0x10;

constexpr uint32_t instrumentHeaderSizeWithSamples = 263;
constexpr uint32_t instrumentHeaderSizeWithoutSamples = 29;
constexpr size_t instrumentNameLength = 22;
constexpr uint8_t instrumentType = 0;
constexpr uint32_t sampleHeaderSize = 40;
constexpr size_t envelopePointCount = 12;
constexpr size_t instrumentReservedLength = 22;

constexpr size_t sampleNameLength = 22;
constexpr uint8_t sampleTypeForwardLoop = 0x01;
constexpr uint8_t sampleTypePingPongLoop = 0x02;
constexpr uint8_t sampleTypeSixteenBit = 0x10;
constexpr uint8_t sampleReserved = 0;
constexpr uint8_t sampleAdpcmMark = 0xAD;  // in the reserved byte
constexpr int adpcmHighIndexShift = 4;

class ByteWriter {
public:
    explicit ByteWriter(std::vector<uint8_t>& bytes) : bytes_(bytes) {}

    void u8(uint8_t value) { bytes_.push_back(value); }
    void u16(uint16_t value) {
        u8(static_cast<uint8_t>(value & 0xFF));
        u8(static_cast<uint8_t>(value >> 8));
    }
    void u32(uint32_t value) {
        u16(static_cast<uint16_t>(value & 0xFFFF));
        u16(static_cast<uint16_t>(value >> 16));
    }
    // Writes exactly `length` bytes: the text, cut or padded with `padding`.
    void text(const std::string& value, size_t length, uint8_t padding = 0) {
        for (size_t i = 0; i < length; ++i) {
            u8(i < value.size() ? static_cast<uint8_t>(value[i]) : padding);
        }
    }
    void zeros(size_t count) { bytes_.insert(bytes_.end(), count, 0); }
    size_t size() const { return bytes_.size(); }
    void patchU16(size_t offset, uint16_t value) {
        bytes_[offset] = static_cast<uint8_t>(value & 0xFF);
        bytes_[offset + 1] = static_cast<uint8_t>(value >> 8);
    }

private:
    std::vector<uint8_t>& bytes_;
};

bool isEmpty(const Cell& cell) {
    return cell.note == 0 && cell.instrument == 0 && cell.volume == 0 && cell.effect == 0 &&
           cell.parameter == 0;
}

void writeCell(ByteWriter& out, const Cell& cell) {
    uint8_t flags = packedFlag;
    if (cell.note != 0) flags |= packedNote;
    if (cell.instrument != 0) flags |= packedInstrument;
    if (cell.volume != 0) flags |= packedVolume;
    if (cell.effect != 0) flags |= packedEffect;
    if (cell.parameter != 0) flags |= packedParameter;
    out.u8(flags);
    if (flags & packedNote) out.u8(cell.note);
    if (flags & packedInstrument) out.u8(cell.instrument);
    if (flags & packedVolume) out.u8(cell.volume);
    if (flags & packedEffect) out.u8(cell.effect);
    if (flags & packedParameter) out.u8(cell.parameter);
}

void writePattern(ByteWriter& out, const PatternData& pattern, const ModuleData& module) {
    const int channelCount = module.channelCount;
    const size_t cellCount = static_cast<size_t>(std::max(pattern.rowCount, 0)) *
                             static_cast<size_t>(std::max(channelCount, 0));
    const bool byteRowCount = module.version == byteRowCountVersion;
    out.u32((byteRowCount ? byteRowCountPatternHeaderLength : patternHeaderLength) + module.patternHeaderPadding);
    out.u8(patternPackingType);
    if (byteRowCount) {
        out.u8(static_cast<uint8_t>(pattern.rowCount - 1));
    } else {
        out.u16(static_cast<uint16_t>(pattern.rowCount));
    }
    const size_t sizeOffset = out.size();
    out.u16(0);
    out.zeros(module.patternHeaderPadding);

    // Cells missing from the vector count as empty; a pattern of empty cells stores no data.
    const size_t givenCount = std::min(cellCount, pattern.cells.size());
    const bool allEmpty = std::all_of(pattern.cells.begin(), pattern.cells.begin() + givenCount, isEmpty);
    if (allEmpty) return;

    const size_t dataStart = out.size();
    for (size_t i = 0; i < cellCount; ++i) {
        writeCell(out, i < givenCount ? pattern.cells[i] : Cell{});
    }
    out.patchU16(sizeOffset, static_cast<uint16_t>(out.size() - dataStart));
}

void writeEnvelopePoints(ByteWriter& out, const EnvelopeData& envelope) {
    for (size_t i = 0; i < envelopePointCount; ++i) {
        const EnvelopePoint point = i < envelope.points.size() ? envelope.points[i] : EnvelopePoint{};
        out.u16(point.x);
        out.u16(point.y);
    }
}

uint8_t storedPointCount(const EnvelopeData& envelope) {
    return static_cast<uint8_t>(std::min(envelope.points.size(), envelopePointCount));
}

bool storedAsAdpcm(const SampleData& sample) { return sample.adpcm && !sample.sixteenBit; }

// Sample lengths and loops are stored in bytes, two per frame for 16-bit data.
uint32_t byteCount(const SampleData& sample, uint32_t frames) {
    return sample.sixteenBit ? frames * 2 : frames;
}

uint8_t sampleType(const SampleData& sample) {
    uint8_t type = 0;
    if (sample.loop == LoopKind::Forward) type |= sampleTypeForwardLoop;
    if (sample.loop == LoopKind::PingPong) type |= sampleTypePingPongLoop;
    if (sample.sixteenBit) type |= sampleTypeSixteenBit;
    return type;
}

void writeSampleHeader(ByteWriter& out, const SampleData& sample) {
    const bool looped = sample.loop != LoopKind::None;
    out.u32(byteCount(sample, static_cast<uint32_t>(sample.frames.size())));
    out.u32(looped ? byteCount(sample, sample.loopStart) : 0);
    out.u32(looped ? byteCount(sample, sample.loopLength) : 0);
    out.u8(sample.volume);
    out.u8(static_cast<uint8_t>(sample.finetune));
    out.u8(sampleType(sample));
    out.u8(sample.panning);
    out.u8(static_cast<uint8_t>(sample.relativeNote));
    out.u8(storedAsAdpcm(sample) ? sampleAdpcmMark : sampleReserved);
    out.text(sample.name, sampleNameLength);
}

// The table, then per frame the index of the delta whose sum (wrapping at 8 bits) lands nearest it, two per
// byte, low nibble first.
void writeAdpcmData(ByteWriter& out, const SampleData& sample) {
    for (const int8_t delta : sample.adpcmTable) out.u8(static_cast<uint8_t>(delta));
    int8_t value = 0;
    uint8_t pair = 0;
    for (size_t frame = 0; frame < sample.frames.size(); ++frame) {
        uint8_t best = 0;
        int bestError = 1 << 16;
        for (uint8_t index = 0; index < sample.adpcmTable.size(); ++index) {
            const auto candidate = static_cast<int8_t>(value + sample.adpcmTable[index]);
            const int error = std::abs(sample.frames[frame] - candidate);
            if (error < bestError) {
                best = index;
                bestError = error;
            }
        }
        value = static_cast<int8_t>(value + sample.adpcmTable[best]);
        if (frame % 2 == 0) {
            pair = best;
        } else {
            out.u8(static_cast<uint8_t>(pair | (best << adpcmHighIndexShift)));
        }
    }
    if (sample.frames.size() % 2 != 0) out.u8(pair);
}

// Each stored value is the difference from the previous frame, wrapping at the data width.
void writeSampleData(ByteWriter& out, const SampleData& sample) {
    if (storedAsAdpcm(sample)) {
        writeAdpcmData(out, sample);
        return;
    }
    int previous = 0;
    for (const int16_t frame : sample.frames) {
        const int delta = frame - previous;
        if (sample.sixteenBit) {
            out.u16(static_cast<uint16_t>(delta & 0xFFFF));
        } else {
            out.u8(static_cast<uint8_t>(delta & 0xFF));
        }
        previous = frame;
    }
}

// The instrument header and its sample headers; the sample data follows unless
// the layout keeps all sample data for the end of the file.
void writeInstrument(ByteWriter& out, const InstrumentData& instrument, bool withSampleData) {
    const bool hasSamples = !instrument.samples.empty();
    out.u32(hasSamples ? instrumentHeaderSizeWithSamples : instrumentHeaderSizeWithoutSamples);
    out.text(instrument.name, instrumentNameLength);
    out.u8(instrumentType);
    out.u16(static_cast<uint16_t>(instrument.samples.size()));
    if (!hasSamples) return;

    out.u32(sampleHeaderSize);
    for (const uint8_t slot : instrument.sampleMap) out.u8(slot);
    writeEnvelopePoints(out, instrument.volumeEnvelope);
    writeEnvelopePoints(out, instrument.panningEnvelope);
    out.u8(storedPointCount(instrument.volumeEnvelope));
    out.u8(storedPointCount(instrument.panningEnvelope));
    out.u8(instrument.volumeEnvelope.sustainPoint);
    out.u8(instrument.volumeEnvelope.loopStart);
    out.u8(instrument.volumeEnvelope.loopEnd);
    out.u8(instrument.panningEnvelope.sustainPoint);
    out.u8(instrument.panningEnvelope.loopStart);
    out.u8(instrument.panningEnvelope.loopEnd);
    out.u8(instrument.volumeEnvelope.flags);
    out.u8(instrument.panningEnvelope.flags);
    out.u8(instrument.vibratoType);
    out.u8(instrument.vibratoSweep);
    out.u8(instrument.vibratoDepth);
    out.u8(instrument.vibratoRate);
    out.u16(instrument.fadeout);
    out.zeros(instrumentReservedLength);

    for (const SampleData& sample : instrument.samples) writeSampleHeader(out, sample);
    if (withSampleData) {
        for (const SampleData& sample : instrument.samples) writeSampleData(out, sample);
    }
}

}  // namespace

std::vector<uint8_t> writeModule(const ModuleData& module) {
    std::vector<uint8_t> bytes;
    ByteWriter out(bytes);

    out.text(signature, signatureLength);
    out.text(module.name, moduleNameLength, ' ');
    out.u8(nameTerminator);
    out.text(module.trackerName, trackerNameLength, ' ');
    out.u16(module.version);

    out.u32(static_cast<uint32_t>(headerSize));
    out.u16(static_cast<uint16_t>(module.orders.size()));
    out.u16(static_cast<uint16_t>(module.restartPosition));
    out.u16(static_cast<uint16_t>(module.channelCount));
    out.u16(static_cast<uint16_t>(module.patterns.size()));
    out.u16(static_cast<uint16_t>(module.instruments.size()));
    out.u16(module.flags);
    out.u16(static_cast<uint16_t>(module.defaultSpeed));
    out.u16(static_cast<uint16_t>(module.defaultBpm));
    // Only the first 256 orders fit the table; the song length field still tells the full count.
    for (size_t i = 0; i < orderTableLength; ++i) {
        out.u8(i < module.orders.size() ? module.orders[i] : 0);
    }

    if (module.version >= currentFormatVersion) {
        for (const PatternData& pattern : module.patterns) writePattern(out, pattern, module);
        for (const InstrumentData& instrument : module.instruments) writeInstrument(out, instrument, true);
        return bytes;
    }
    for (const InstrumentData& instrument : module.instruments) writeInstrument(out, instrument, false);
    for (const PatternData& pattern : module.patterns) writePattern(out, pattern, module);
    for (const InstrumentData& instrument : module.instruments) {
        for (const SampleData& sample : instrument.samples) writeSampleData(out, sample);
    }
    return bytes;
}

}  // namespace xm_writer
