// Reads an Extended Module song into the in-memory records of song.h.
//
// The parser never reads or writes outside what it allocated, whatever the
// file says: every count that sizes an allocation is checked against the
// limits in xm_format.h, every read lands in a zero-filled buffer of the size
// asked for (so a short file leaves zeros), and every seek is bounded.
#include <algorithm>
#include <bit>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "file_callbacks.h"
#include "replayer.h"
#include "sample_seams.h"
#include "song.h"
#include "xm_format.h"

namespace intro_music::engine {

Sample emptySample{};
Instrument emptyInstrument{};

namespace {

using namespace xm_format;

constexpr uint8_t startGlobalVolume = 64;
// The packed bytes of one pattern, and zeros for a cell that the packed size cuts.
constexpr int32_t patternReadBufferLength = largestPackedSize + largestPackedCell;

// The open file and the operations it is read through.
struct SongSource {
    FileCallbacks operations;
    void* handle;
};

// Reads up to count bytes; the result is the number delivered (0..count).
int64_t readBytes(SongSource& source, void* destination, int64_t count) {
    if (source.handle == nullptr || count <= 0) {
        return 0;
    }
    const int32_t request = static_cast<int32_t>(std::min<int64_t>(count, INT32_MAX));
    const int32_t delivered = source.operations.read(destination, request, source.handle);
    return std::clamp<int64_t>(delivered, 0, request);
}

int64_t tellPosition(SongSource& source) {
    if (source.handle == nullptr) {
        return 0;
    }
    return std::max<int32_t>(source.operations.tell(source.handle), 0);
}

// Absolute seek. Offsets past what a 32-bit offset can say end up at the end
// of any file the loader can open, which the source clamps to.
void seekTo(SongSource& source, int64_t position) {
    if (source.handle == nullptr) {
        return;
    }
    const int64_t bounded = std::clamp<int64_t>(position, 0, INT32_MAX);
    source.operations.seek(source.handle, static_cast<int32_t>(bounded), SeekFromStart);
}

// The source's length in bytes, found at its end; the source is left at its start.
int64_t sourceLength(SongSource& source) {
    if (source.handle == nullptr) {
        return 0;
    }
    source.operations.seek(source.handle, 0, SeekFromEnd);
    const int64_t length = tellPosition(source);
    seekTo(source, 0);
    return length;
}

uint16_t little16(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8)); }

uint32_t little32(const uint8_t* bytes) {
    return uint32_t{bytes[0]} | (uint32_t{bytes[1]} << 8) | (uint32_t{bytes[2]} << 16) | (uint32_t{bytes[3]} << 24);
}

// A memory block served through the same five operations as a file.
struct MemoryCursor {
    const uint8_t* data;
    int32_t size;
    int32_t position;
};

void* openNothing(const char*) { return nullptr; }

void closeNothing(void*) {}

int32_t readMemory(void* destination, int32_t count, void* handle) {
    auto* cursor = static_cast<MemoryCursor*>(handle);
    const int32_t available = cursor->size - cursor->position;
    const int32_t delivered = std::clamp(count, 0, available);
    if (delivered > 0) {
        std::memcpy(destination, cursor->data + cursor->position, static_cast<size_t>(delivered));
        cursor->position += delivered;
    }
    return delivered;
}

void seekMemory(void* handle, int32_t offset, uint8_t origin) {
    auto* cursor = static_cast<MemoryCursor*>(handle);
    int64_t position = cursor->position;
    if (origin == SeekFromStart) {
        position = offset;
    } else if (origin == SeekFromCurrent) {
        position += offset;
    } else if (origin == SeekFromEnd) {
        position = int64_t{cursor->size} + offset;
    }
    cursor->position = static_cast<int32_t>(std::clamp<int64_t>(position, 0, cursor->size));
}

int32_t tellMemory(void* handle) { return static_cast<MemoryCursor*>(handle)->position; }

// Unpacks cells from packedSize packed bytes, at most cellCount of them; cells
// the bytes do not reach stay as they are (empty). The buffer has
// largestPackedCell zero bytes after the packed ones, so a cell cut by the
// packed size reads zeros for its missing fields.
void decodeCells(const uint8_t* packed, int64_t packedSize, Cell* cells, int32_t cellCount,
                 uint8_t highestInstrument) {
    int64_t at = 0;
    for (int32_t index = 0; index < cellCount && at < packedSize; ++index) {
        Cell cell{};
        const uint8_t first = packed[at++];
        if ((first & packedCellFlag) != 0) {
            if ((first & packedNoteBit) != 0) cell.note = packed[at++];
            if ((first & packedInstrumentBit) != 0) cell.instrument = packed[at++];
            if ((first & packedVolumeBit) != 0) cell.volume = packed[at++];
            if ((first & packedEffectBit) != 0) cell.effect = packed[at++];
            if ((first & packedParameterBit) != 0) cell.parameter = packed[at++];
        } else {
            cell.note = first;
            cell.instrument = packed[at++];
            cell.volume = packed[at++];
            cell.effect = packed[at++];
            cell.parameter = packed[at++];
        }
        if (cell.note == fileKeyOffNote) {
            cell.note = keyOffNote;
        }
        if (cell.instrument > highestInstrument) {
            cell.instrument = 0;
        }
        cells[index] = cell;
    }
}

bool loadPatterns(Song& song, SongSource& source, int32_t filePatternCount, uint16_t version) {
    auto* packed = static_cast<uint8_t*>(std::malloc(patternReadBufferLength));
    if (packed == nullptr) {
        return false;
    }
    const bool byteRowCount = version <= byteRowCountVersion;
    const int32_t headerLength = byteRowCount ? byteRowCountPatternHeaderLength : patternHeaderLength;
    const int32_t packedSizeField = byteRowCount ? byteRowCountPackedSizeField : patternPackedSizeField;
    const uint8_t highestInstrument =
        static_cast<uint8_t>(std::max<int32_t>(highestInstrumentNumber, song.instrumentCount));
    bool loaded = true;
    for (int32_t index = 0; index < filePatternCount && loaded; ++index) {
        const int64_t start = tellPosition(source);
        uint8_t header[patternHeaderLength] = {};
        const bool headerCut = readBytes(source, header, headerLength) < headerLength;
        int32_t rowCount = byteRowCount ? header[patternRowCountField] + 1 : little16(header + patternRowCountField);
        const uint16_t packedSize = little16(header + packedSizeField);
        if (rowCount == 0) {
            rowCount = unsetRowCount;
        }
        if (rowCount > maxRowCount) {
            loaded = false;
            break;
        }
        // The packed cells start where the header says it ends.
        seekTo(source, start + little32(header + patternHeaderLengthField));
        const int32_t cellCount = rowCount * song.channelCount;
        Pattern& pattern = song.patterns[index];
        pattern.rowCount = rowCount;
        pattern.cells = static_cast<Cell*>(std::calloc(static_cast<size_t>(cellCount), sizeof(Cell)));
        if (pattern.cells == nullptr) {
            loaded = false;
            break;
        }
        if (packedSize == 0) {
            song.damage.cutPatterns += headerCut ? 1 : 0;
            continue;  // all empty, no data bytes follow
        }
        // Cells come from the packed bytes only; the next pattern follows them.
        const int64_t delivered = readBytes(source, packed, packedSize);
        song.damage.cutPatterns += headerCut || delivered < packedSize ? 1 : 0;
        std::memset(packed + delivered, 0, static_cast<size_t>(packedSize - delivered + largestPackedCell));
        decodeCells(packed, packedSize, pattern.cells, cellCount, highestInstrument);
    }
    std::free(packed);
    return loaded;
}

bool addMissingPatterns(Song& song, int32_t filePatternCount) {
    song.damage.missingPatterns += std::max(song.usedPatternCount - filePatternCount, 0);
    for (int32_t index = filePatternCount; index < song.usedPatternCount; ++index) {
        Pattern& pattern = song.patterns[index];
        pattern.rowCount = missingPatternRowCount;
        pattern.cells = static_cast<Cell*>(
            std::calloc(static_cast<size_t>(missingPatternRowCount) * song.channelCount, sizeof(Cell)));
        if (pattern.cells == nullptr) {
            return false;
        }
    }
    return true;
}

void readEnvelope(const uint8_t* header, int32_t pointsField, EnvelopePoint* points) {
    for (int32_t point = 0; point < envelopePointCapacity; ++point) {
        const uint8_t* bytes = header + pointsField + point * envelopePointLength;
        points[point].x = little16(bytes);
        points[point].y = little16(bytes + 2);
    }
}

// Point indices name entries of the 12-point arrays; keep them inside.
uint8_t boundedPointIndex(uint8_t index) {
    return std::min<uint8_t>(index, static_cast<uint8_t>(envelopePointCapacity - 1));
}

void readInstrumentFields(Instrument& instrument, const uint8_t* header) {
    std::memcpy(instrument.sampleMap, header + sampleMapField, sampleMapSize);
    readEnvelope(header, volumeEnvelopeField, instrument.volumeEnvelope);
    readEnvelope(header, panningEnvelopeField, instrument.panningEnvelope);
    instrument.volumePointCount = std::min<uint8_t>(header[volumePointCountField], envelopePointCapacity);
    instrument.panningPointCount = std::min<uint8_t>(header[panningPointCountField], envelopePointCapacity);
    instrument.volumeSustainPoint = boundedPointIndex(header[volumeSustainField]);
    instrument.volumeLoopStart = boundedPointIndex(header[volumeLoopStartField]);
    instrument.volumeLoopEnd = boundedPointIndex(header[volumeLoopEndField]);
    instrument.panningSustainPoint = boundedPointIndex(header[panningSustainField]);
    instrument.panningLoopStart = boundedPointIndex(header[panningLoopStartField]);
    instrument.panningLoopEnd = boundedPointIndex(header[panningLoopEndField]);
    // An envelope needs a point to be on. A single point is a constant level:
    // songs rely on it to keep a released note sounding (mature players agree).
    instrument.volumeEnvelopeFlags = instrument.volumePointCount == 0 ? 0 : header[volumeFlagsField];
    instrument.panningEnvelopeFlags = instrument.panningPointCount == 0 ? 0 : header[panningFlagsField];
    instrument.vibratoType = header[vibratoTypeField];
    instrument.vibratoSweep = header[vibratoSweepField];
    instrument.vibratoDepth = header[vibratoDepthField];
    instrument.vibratoRate = header[vibratoRateField];
    instrument.fadeout = static_cast<uint16_t>(little16(header + fadeoutField) << 1);
}

// A loop that no longer fits its sample is cut to it; an empty loop plays
// the whole sample once.
void fitLoopToSample(Sample& sample) {
    if (sample.loopType != LoopNone) {
        if (sample.loopStart >= sample.length) {
            sample.loopLength = 0;
        } else if (uint64_t{sample.loopStart} + sample.loopLength > sample.length) {
            sample.loopLength = sample.length - sample.loopStart;
        }
    }
    if (sample.loopType == LoopNone || sample.loopLength == 0) {
        sample.loopType = LoopNone;
        sample.loopStart = 0;
        sample.loopLength = sample.length;
    }
}

// Whether the sample's data is stored as 4-bit ADPCM (8-bit samples only).
bool adpcmPacked(const uint8_t* header) {
    return header[sampleEncodingField] == adpcmEncodingMark && (header[sampleTypeField] & sampleSixteenBitBit) == 0;
}

// The table, then one byte per two frames (an odd last frame takes a whole byte).
uint32_t adpcmByteCount(uint32_t frames) {
    return adpcmTableLength + frames / adpcmFramesPerByte + frames % adpcmFramesPerByte;
}

// A name field without its padding, as a C string.
void copyName(char* destination, const uint8_t* field) {
    int32_t length = 0;
    while (length < nameLength && field[length] != 0) {
        destination[length] = static_cast<char>(field[length]);
        ++length;
    }
    while (length > 0 && destination[length - 1] == ' ') {
        --length;
    }
    destination[length] = '\0';
}

// Fills a sample record from its 40-byte header. Returns the byte count of
// its data in the file.
uint32_t readSampleHeader(Sample& sample, const uint8_t* header) {
    copyName(sample.name, header + sampleNameField);
    sample.length = little32(header + sampleLengthField);
    sample.loopStart = little32(header + sampleLoopStartField);
    sample.loopLength = little32(header + sampleLoopLengthField);
    sample.volume = header[sampleVolumeField];
    sample.finetune = static_cast<int8_t>(header[sampleFinetuneField]);
    sample.loadedFinetune = sample.finetune;
    sample.bitsPerSample = 8;
    sample.loopType = LoopNone;
    const uint8_t type = header[sampleTypeField];
    if ((type & sampleForwardLoopBit) != 0) sample.loopType = LoopForward;
    if ((type & samplePingPongLoopBit) != 0) sample.loopType = LoopPingPong;
    if ((type & sampleSixteenBitBit) != 0) sample.bitsPerSample = 16;
    if (sample.loopType == LoopNone) {
        sample.loopStart = 0;
        sample.loopLength = sample.length;
    }
    if (sample.bitsPerSample == 16) {
        sample.length /= 2;
        sample.loopStart /= 2;
        sample.loopLength /= 2;
    }
    if (sample.loopLength == 0) {
        sample.loopStart = 0;
        sample.loopLength = sample.length;
        sample.loopType = LoopNone;
    }
    sample.panning = header[samplePanningField];
    sample.relativeNote = static_cast<int8_t>(header[sampleRelativeNoteField]);
    // A 16-bit sample with an odd byte length leaves its last byte unread.
    const uint32_t byteCount =
        adpcmPacked(header) ? adpcmByteCount(sample.length) : sample.length * (sample.bitsPerSample / 8);
    sample.length = std::min(sample.length, maxSampleFrames);
    fitLoopToSample(sample);
    return byteCount;
}

void releaseSampleData(Sample& sample) {
    releaseSampleSeams(sample);
    std::free(sample.data);
    sample.data = nullptr;
    sample.length = 0;
    fitLoopToSample(sample);
}

// Reads 4-bit ADPCM data into the sample's first `length` bytes as 8-bit
// frames; returns the number of frames the file holds. The packed bytes are
// read behind the frames (the buffer holds two bytes per frame), so frame k
// never overwrites packed byte k / 2 before it is decoded.
int64_t readAdpcmFrames(uint8_t* bytes, uint32_t length, SongSource& source) {
    int8_t table[adpcmTableLength] = {};
    if (readBytes(source, table, adpcmTableLength) < adpcmTableLength) {
        return 0;
    }
    uint8_t* packed = bytes + length;
    const int64_t packedPresent = readBytes(source, packed, adpcmByteCount(length) - adpcmTableLength);
    const int64_t framesPresent = std::min<int64_t>(packedPresent * adpcmFramesPerByte, length);
    int8_t value = 0;
    for (int64_t frame = 0; frame < framesPresent; ++frame) {
        const uint8_t pair = packed[frame / adpcmFramesPerByte];
        const uint8_t index =
            static_cast<uint8_t>(frame % adpcmFramesPerByte == 0 ? pair & adpcmIndexMask : pair >> adpcmHighIndexShift);
        value = static_cast<int8_t>(value + table[index]);
        bytes[frame] = static_cast<uint8_t>(value);
    }
    // The frames past a cut file stay 0 once widened.
    std::memset(packed, 0, static_cast<size_t>(packedPresent));
    return framesPresent;
}

// Reads one sample's frames (or takes them from the hook) into 16-bit data,
// then moves to the end of its bytes in the file.
bool loadSampleData(Sample& sample, uint32_t fileByteCount, bool adpcm, SongSource& source, SampleDataHook hook,
                    int instrumentIndex, int sampleIndex, bool& cut) {
    const int64_t dataStart = tellPosition(source);
    const uint32_t bytesPerFrame = sample.bitsPerSample / 8;
    const uint32_t keptBytes = sample.length * bytesPerFrame;
    sample.data =
        static_cast<int16_t*>(std::calloc(size_t{sample.length} + sampleGuardFrames, sizeof(int16_t)));
    if (sample.data == nullptr) {
        return false;
    }
    auto* bytes = reinterpret_cast<uint8_t*>(sample.data);
    int64_t framesPresent = sample.length;
    if (hook != nullptr) {
        hook(sample.data, keptBytes, sample.bitsPerSample, instrumentIndex, sampleIndex);
    } else if (adpcm) {
        framesPresent = readAdpcmFrames(bytes, sample.length, source);
        cut = framesPresent < sample.length;
        if (framesPresent == 0) {
            releaseSampleData(sample);
            seekTo(source, dataStart + fileByteCount);
            return true;
        }
    } else {
        // 8-bit frames are read into the upper half of the 16-bit buffer and
        // widened forwards from there: frame k's two bytes end before byte
        // length + k + 1, the next one still to be read.
        uint8_t* fileBytes = sample.bitsPerSample == 8 ? bytes + sample.length : bytes;
        const int64_t delivered = readBytes(source, fileBytes, keptBytes);
        cut = delivered < keptBytes;
        if (delivered == 0) {
            // Nothing of it is in the file: no frames to keep.
            releaseSampleData(sample);
            seekTo(source, dataStart + fileByteCount);
            return true;
        }
        framesPresent = delivered / bytesPerFrame;
        if (delivered % bytesPerFrame != 0) {
            bytes[delivered - 1] = 0;  // half a frame at the end of a cut file
        }
        // Deltas from 0, wrapping; frames the file no longer holds stay 0.
        if (sample.bitsPerSample == 8) {
            uint8_t previous = 0;
            for (int64_t frame = 0; frame < framesPresent; ++frame) {
                previous = static_cast<uint8_t>(previous + fileBytes[frame]);
                sample.data[frame] = static_cast<int16_t>(static_cast<uint16_t>(previous << 8));
            }
            // Only the file's bytes that no widened frame covered go back to
            // 0: the rest is still calloc's untouched zeros, and a damaged
            // file's huge length must not cost a write to every page of it.
            const int64_t rawEnd = int64_t{sample.length} + framesPresent;
            const int64_t clearFrom = std::max<int64_t>(sample.length, 2 * framesPresent);
            if (rawEnd > clearFrom) {
                std::memset(bytes + clearFrom, 0, static_cast<size_t>(rawEnd - clearFrom));
            }
        }
    }
    if (sample.bitsPerSample == 8 && (hook != nullptr || adpcm)) {
        // Widen in place from the top: frame k (bytes 2k, 2k + 1) only
        // overwrites bytes that have already been widened.
        for (int64_t frame = framesPresent - 1; frame >= 0; --frame) {
            sample.data[frame] = static_cast<int16_t>(static_cast<uint16_t>(bytes[frame] << 8));
        }
    } else if (sample.bitsPerSample == 16) {
        if constexpr (std::endian::native == std::endian::big) {
            for (int64_t frame = 0; frame < framesPresent; ++frame) {
                sample.data[frame] = static_cast<int16_t>(little16(bytes + 2 * frame));
            }
        }
        if (hook == nullptr) {
            uint16_t previous = 0;
            for (int64_t frame = 0; frame < framesPresent; ++frame) {
                previous = static_cast<uint16_t>(previous + static_cast<uint16_t>(sample.data[frame]));
                sample.data[frame] = static_cast<int16_t>(previous);
            }
        }
    }
    sample.bitsPerSample = 16;
    seekTo(source, dataStart + fileByteCount);
    return true;
}

// The frame after the loop, which interpolation reads at the loop end.
void writeGuardFrame(Sample& sample) {
    if (sample.data == nullptr) {
        return;
    }
    const uint32_t loopEnd = sample.loopStart + sample.loopLength;
    if (sample.loopType == LoopForward) {
        sample.data[loopEnd] = sample.data[sample.loopStart];
    } else if (sample.loopType == LoopPingPong) {
        sample.data[loopEnd] = sample.data[loopEnd - 1];
    }
}

// Where an instrument's sample data lies in the file: the byte counts of the
// samples kept, and of the samples past the kept ones, which are skipped.
struct SampleDataLayout {
    uint32_t keptBytes[maxSamplesPerInstrument];
    bool adpcm[maxSamplesPerInstrument];
    uint64_t skippedBytes;
};

// Reads an instrument's header and sample headers, leaving the file at the
// start of its sample data.
bool loadInstrumentHeaders(Song& song, SongSource& source, int32_t instrumentIndex, SampleDataLayout& layout) {
    Instrument& instrument = song.instruments[instrumentIndex];
    const int64_t start = tellPosition(source);
    uint8_t header[instrumentFieldsEnd] = {};
    bool cut = readBytes(source, header, instrumentShortHeaderLength) < instrumentShortHeaderLength;
    copyName(instrument.name, header + instrumentNameField);
    // The header is at least the part that holds the sample count, so the
    // next record never starts before the end of this one's fields.
    const int64_t headerSize =
        std::max<int64_t>(little32(header), instrumentShortHeaderLength);
    const int32_t fileSampleCount = little16(header + instrumentSampleCountField);
    const int32_t sampleCount = std::min(fileSampleCount, maxSamplesPerInstrument);
    instrument.sampleCount = sampleCount;
    for (Sample*& slot : instrument.samples) {
        slot = &emptySample;
    }
    if (sampleCount > 0) {
        // Fields past the header's own size are not in the file: they stay 0.
        const int64_t fieldBytes = std::min<int64_t>(headerSize, instrumentFieldsEnd) - instrumentFieldsStart;
        cut = readBytes(source, header + instrumentFieldsStart, fieldBytes) < fieldBytes || cut;
        readInstrumentFields(instrument, header);
    }
    seekTo(source, start + headerSize);

    for (int32_t index = 0; index < fileSampleCount; ++index) {
        uint8_t sampleHeader[sampleHeaderLength] = {};
        cut = readBytes(source, sampleHeader, sampleHeaderLength) < sampleHeaderLength || cut;
        if (index >= sampleCount) {
            // Past the samples an instrument can hold: only its data is skipped.
            Sample skipped{};
            layout.skippedBytes += readSampleHeader(skipped, sampleHeader);
            continue;
        }
        auto* sample = static_cast<Sample*>(std::calloc(1, sizeof(Sample)));
        if (sample == nullptr) {
            // Slots from here on still point at the shared empty sample.
            instrument.sampleCount = index;
            return false;
        }
        instrument.samples[index] = sample;
        layout.keptBytes[index] = readSampleHeader(*sample, sampleHeader);
        layout.adpcm[index] = adpcmPacked(sampleHeader);
    }
    song.damage.cutInstruments += cut ? 1 : 0;
    return true;
}

// Reads the sample data of an instrument, starting at the current position,
// and moves past the data of the samples it does not keep.
bool loadInstrumentSampleData(Song& song, SongSource& source, int32_t instrumentIndex,
                              const SampleDataLayout& layout) {
    Instrument& instrument = song.instruments[instrumentIndex];
    for (int32_t index = 0; index < instrument.sampleCount; ++index) {
        Sample& sample = *instrument.samples[index];
        if (sample.length == 0) {
            seekTo(source, tellPosition(source) + layout.keptBytes[index]);
            continue;
        }
        bool cut = false;
        if (!loadSampleData(sample, layout.keptBytes[index], layout.adpcm[index], source, song.sampleDataHook,
                            instrumentIndex, index, cut)) {
            return false;
        }
        song.damage.cutSamples += cut ? 1 : 0;
        writeGuardFrame(sample);
        if (!buildSampleSeams(sample)) {
            return false;
        }
    }
    seekTo(source, tellPosition(source) + static_cast<int64_t>(std::min<uint64_t>(layout.skippedBytes, INT32_MAX)));
    return true;
}

// The reference player's own tracker, by the name it writes.
bool savedByTheReferenceTracker(const uint8_t* programName) {
    return std::memcmp(programName, referenceTrackerName, referenceTrackerNameLength) == 0;
}

// A version of it from before it took up the tracker's finetune precision.
bool savedByFinetuneKeepingVersion(const uint8_t* programName) {
    const uint8_t* version = programName + referenceTrackerNameLength;
    return savedByTheReferenceTracker(programName) &&
           std::memcmp(version, firstVersionDroppingFinetuneLowBits, referenceVersionLength) < 0;
}

bool parseSong(Song& song, SongSource& source) {
    uint8_t signatureBytes[signatureLength] = {};
    seekTo(source, 0);
    readBytes(source, signatureBytes, signatureLength);
    if (std::memcmp(signatureBytes, signature, signatureLength) != 0) {
        return false;
    }
    song.tickHandler = replayTick;
    song.initialGlobalVolume = startGlobalVolume;

    uint8_t names[namesLength] = {};
    seekTo(source, namesOffset);
    readBytes(source, names, namesLength);
    song.savedByTheTracker = std::memchr(names, 0, namesLength) == nullptr && names[namesLength - 1] == ' ' &&
                             !savedByTheReferenceTracker(names + programNameField);
    song.playsFinetuneLowBits = savedByFinetuneKeepingVersion(names + programNameField);

    uint8_t versionBytes[versionLength] = {};
    seekTo(source, versionOffset);
    readBytes(source, versionBytes, versionLength);
    const uint16_t version = little16(versionBytes);

    uint8_t header[headerBlockLength] = {};
    seekTo(source, headerSizeOffset);
    readBytes(source, header, headerBlockLength);
    const uint32_t headerSize = little32(header);
    // Everything else is found from where the header ends: a header that ends
    // past the file leaves nothing to read, so the file is no song.
    const int64_t headerEnd = int64_t{headerSizeOffset} + int64_t{headerSize};
    if (headerEnd > sourceLength(source)) {
        return false;
    }
    int32_t songLength = little16(header + songLengthField);
    const int32_t restartPosition = little16(header + restartPositionField);
    const int32_t channelCount = little16(header + channelCountField);
    const int32_t filePatternCount = little16(header + patternCountField);
    const int32_t instrumentCount = little16(header + instrumentCountField);
    if (songLength > orderTableSize || channelCount == 0 || channelCount > maxChannels ||
        filePatternCount > maxPatternCount || instrumentCount > maxInstrumentCount) {
        return false;
    }
    std::memcpy(song.orderTable, header + orderTableField, orderTableLength);
    if (songLength == 0) {
        // An empty order list plays the first pattern.
        songLength = 1;
        song.orderTable[0] = 0;
    }
    song.songLength = static_cast<int16_t>(songLength);
    song.restartPosition = static_cast<int16_t>(restartPosition < songLength ? restartPosition : 0);
    song.channelCount = static_cast<int16_t>(channelCount);
    song.instrumentCount = static_cast<int16_t>(instrumentCount);
    song.flags = little16(header + flagsField);
    // Tempo and speed are kept where the replayer can divide by them.
    song.defaultSpeed = static_cast<int16_t>(std::clamp<int32_t>(little16(header + defaultSpeedField), lowestSpeed,
                                                                 highestSpeed));
    song.defaultBpm =
        static_cast<int16_t>(std::clamp<int32_t>(little16(header + defaultBpmField), lowestBpm, highestBpm));
    seekTo(source, headerEnd);

    int32_t highestOrder = 0;
    for (int32_t position = 0; position < songLength; ++position) {
        highestOrder = std::max<int32_t>(highestOrder, song.orderTable[position]);
    }
    song.usedPatternCount = highestOrder + 1;
    song.patternSlotCount = std::max(song.usedPatternCount, filePatternCount);
    song.patterns = static_cast<Pattern*>(std::calloc(static_cast<size_t>(song.patternSlotCount), sizeof(Pattern)));
    if (song.patterns == nullptr) {
        return false;
    }
    if (instrumentCount > 0) {
        song.instruments = static_cast<Instrument*>(std::calloc(static_cast<size_t>(instrumentCount), sizeof(Instrument)));
        if (song.instruments == nullptr) {
            return false;
        }
    }

    if (version >= instrumentsLastVersion) {
        if (!loadPatterns(song, source, filePatternCount, version) || !addMissingPatterns(song, filePatternCount)) {
            return false;
        }
        for (int32_t index = 0; index < instrumentCount; ++index) {
            SampleDataLayout layout{};
            if (!loadInstrumentHeaders(song, source, index, layout) ||
                !loadInstrumentSampleData(song, source, index, layout)) {
                return false;
            }
        }
        return true;
    }

    // Older layout: instruments, patterns, then the sample data of all instruments.
    auto* layouts = static_cast<SampleDataLayout*>(
        std::calloc(static_cast<size_t>(std::max(instrumentCount, 1)), sizeof(SampleDataLayout)));
    bool loaded = layouts != nullptr;
    for (int32_t index = 0; index < instrumentCount && loaded; ++index) {
        loaded = loadInstrumentHeaders(song, source, index, layouts[index]);
    }
    loaded = loaded && loadPatterns(song, source, filePatternCount, version) &&
             addMissingPatterns(song, filePatternCount);
    for (int32_t index = 0; index < instrumentCount && loaded; ++index) {
        loaded = loadInstrumentSampleData(song, source, index, layouts[index]);
    }
    std::free(layouts);
    return loaded;
}

// Releases everything the song owns.
void releaseSong(Song* song) {
    if (song->instruments != nullptr) {
        for (int32_t index = 0; index < song->instrumentCount; ++index) {
            Instrument& instrument = song->instruments[index];
            for (int32_t slot = 0; slot < instrument.sampleCount && slot < maxSamplesPerInstrument; ++slot) {
                Sample* sample = instrument.samples[slot];
                if (sample != nullptr && sample != &emptySample) {
                    releaseSampleSeams(*sample);
                    std::free(sample->data);
                    std::free(sample);
                }
            }
        }
        std::free(song->instruments);
    }
    if (song->patterns != nullptr) {
        for (int32_t index = 0; index < song->patternSlotCount; ++index) {
            std::free(song->patterns[index].cells);
        }
        std::free(song->patterns);
    }
    std::free(song);
}

Song* loadFromSource(SongSource& source, SampleDataHook sampleDataHook) {
    auto* song = static_cast<Song*>(std::calloc(1, sizeof(Song)));
    if (song == nullptr) {
        return nullptr;
    }
    song->sampleDataHook = sampleDataHook;
    if (!parseSong(*song, source)) {
        releaseSong(song);
        return nullptr;
    }
    return song;
}

}  // namespace

Song* loadSong(const char* name, SampleDataHook sampleDataHook) {
    if (!fileCallbacksComplete()) {
        return nullptr;
    }
    SongSource source{fileCallbacks(), nullptr};
    source.handle = source.operations.open(name);
    if (source.handle == nullptr) {
        return nullptr;
    }
    Song* song = loadFromSource(source, sampleDataHook);
    source.operations.close(source.handle);
    return song;
}

Song* loadSongFromMemory(const void* data, size_t size, SampleDataHook sampleDataHook) {
    if (data == nullptr) {
        return nullptr;
    }
    // Files past 2 GiB are read as far as a 32-bit offset reaches.
    MemoryCursor cursor{static_cast<const uint8_t*>(data), static_cast<int32_t>(std::min<size_t>(size, INT32_MAX)), 0};
    SongSource source{FileCallbacks{openNothing, closeNothing, readMemory, seekMemory, tellMemory}, &cursor};
    return loadFromSource(source, sampleDataHook);
}

bool freeSong(Song* song) {
    if (song == nullptr) {
        return false;
    }
    releaseSong(song);
    return true;
}

}  // namespace intro_music::engine
