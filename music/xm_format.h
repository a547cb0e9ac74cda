// Layout of the Extended Module file as the song loader reads it, and the
// limits beyond which a file has no safe reading. Every offset is counted
// from the start of the record it belongs to; all values are little-endian.
#pragma once

#include <cstdint>

#include "song.h"

namespace intro_music::engine {

namespace xm_format {

// File header.
inline constexpr char signature[] = "Extended Module: ";
inline constexpr int32_t signatureLength = 17;
// The song's name, a marker byte and the name of the program that saved it.
inline constexpr int32_t namesOffset = 17;
inline constexpr int32_t namesLength = 41;
inline constexpr int32_t programNameField = 21;  // within the names
inline constexpr int32_t programNameLength = 20;
// The reference player's own tracker names itself and its version
// ("1.22.07.19": hexadecimal digits, so they compare as text).
inline constexpr char referenceTrackerName[] = "OpenMPT ";
inline constexpr int32_t referenceTrackerNameLength = 8;
inline constexpr int32_t referenceVersionLength = 10;
inline constexpr char firstVersionDroppingFinetuneLowBits[] = "1.22.07.19";
inline constexpr int32_t versionOffset = 58;
inline constexpr int32_t versionLength = 2;
inline constexpr int32_t headerSizeOffset = 60;  // the header size counts from here
// Bytes read from headerSizeOffset on: header size, six 16-bit fields, the order table.
inline constexpr int32_t headerSizeFieldLength = 4;
inline constexpr int32_t songLengthField = 4;
inline constexpr int32_t restartPositionField = 6;
inline constexpr int32_t channelCountField = 8;
inline constexpr int32_t patternCountField = 10;
inline constexpr int32_t instrumentCountField = 12;
inline constexpr int32_t flagsField = 14;
inline constexpr int32_t defaultSpeedField = 16;
inline constexpr int32_t defaultBpmField = 18;
inline constexpr int32_t orderTableField = 20;
inline constexpr int32_t orderTableLength = orderTableSize;
inline constexpr int32_t headerBlockLength = orderTableField + orderTableLength;

// Layouts by version. From 0x0104 on each instrument's sample data follows its
// sample headers; before it, all instruments come first, then the patterns,
// then the data of every sample in turn. 0x0102 and the versions before it
// store a pattern's row count in one byte, as rows - 1.
inline constexpr uint16_t instrumentsLastVersion = 0x0104;
inline constexpr uint16_t byteRowCountVersion = 0x0102;

// Pattern header: its own length (the packed cells start that many bytes after
// its start), the packing type, the row count and the packed size.
inline constexpr int32_t patternHeaderLengthField = 0;
inline constexpr int32_t patternHeaderLength = 9;
inline constexpr int32_t patternRowCountField = 5;
inline constexpr int32_t patternPackedSizeField = 7;
inline constexpr int32_t byteRowCountPatternHeaderLength = 8;
inline constexpr int32_t byteRowCountPackedSizeField = 6;
inline constexpr int32_t largestPackedSize = 0xFFFF;

// Packed cells: a first byte with bit 7 set says which fields follow.
inline constexpr uint8_t packedCellFlag = 0x80;
inline constexpr uint8_t packedNoteBit = 0x01;
inline constexpr uint8_t packedInstrumentBit = 0x02;
inline constexpr uint8_t packedVolumeBit = 0x04;
inline constexpr uint8_t packedEffectBit = 0x08;
inline constexpr uint8_t packedParameterBit = 0x10;
inline constexpr int32_t largestPackedCell = 6;  // flag byte and all five fields
inline constexpr uint8_t fileKeyOffNote = 97;
// Higher instrument numbers in cells are no instrument, unless the song has
// that many instruments.
inline constexpr uint8_t highestInstrumentNumber = 128;

// Instrument header.
inline constexpr int32_t instrumentHeaderSizeFieldLength = 4;
inline constexpr int32_t instrumentNameAndTypeLength = 23;
inline constexpr int32_t instrumentNameField = 4;  // nameLength bytes, padded with spaces or zeros
inline constexpr int32_t instrumentSampleCountField = 27;
inline constexpr int32_t instrumentShortHeaderLength = 29;  // up to and including the sample count
inline constexpr int32_t instrumentFieldsStart = 29;        // sample header size, then the fields below
inline constexpr int32_t sampleMapField = 33;
inline constexpr int32_t volumeEnvelopeField = 129;
inline constexpr int32_t panningEnvelopeField = 177;
inline constexpr int32_t envelopePointLength = 4;  // x, y as 16-bit values
inline constexpr int32_t volumePointCountField = 225;
inline constexpr int32_t panningPointCountField = 226;
inline constexpr int32_t volumeSustainField = 227;
inline constexpr int32_t volumeLoopStartField = 228;
inline constexpr int32_t volumeLoopEndField = 229;
inline constexpr int32_t panningSustainField = 230;
inline constexpr int32_t panningLoopStartField = 231;
inline constexpr int32_t panningLoopEndField = 232;
inline constexpr int32_t volumeFlagsField = 233;
inline constexpr int32_t panningFlagsField = 234;
inline constexpr int32_t vibratoTypeField = 235;
inline constexpr int32_t vibratoSweepField = 236;
inline constexpr int32_t vibratoDepthField = 237;
inline constexpr int32_t vibratoRateField = 238;
inline constexpr int32_t fadeoutField = 239;
inline constexpr int32_t instrumentFieldsEnd = 241;

// Sample header (always taken as 40 bytes).
inline constexpr int32_t sampleHeaderLength = 40;
inline constexpr int32_t sampleLengthField = 0;
inline constexpr int32_t sampleLoopStartField = 4;
inline constexpr int32_t sampleLoopLengthField = 8;
inline constexpr int32_t sampleVolumeField = 12;
inline constexpr int32_t sampleFinetuneField = 13;
inline constexpr int32_t sampleTypeField = 14;
inline constexpr int32_t samplePanningField = 15;
inline constexpr int32_t sampleRelativeNoteField = 16;
inline constexpr int32_t sampleNameField = 18;  // nameLength bytes
inline constexpr uint8_t sampleForwardLoopBit = 0x01;
inline constexpr uint8_t samplePingPongLoopBit = 0x02;
inline constexpr uint8_t sampleSixteenBitBit = 0x10;
// Byte 17 is reserved by the format. A widely used Windows tracker marks an
// 8-bit sample stored as 4-bit ADPCM there: the data is a table of 16 signed
// 8-bit deltas, then two table indices per byte (low nibble first), each
// delta added to a running 8-bit value from 0. A 16-bit sample so marked is
// ordinary 16-bit data; the tracker never packs those.
inline constexpr int32_t sampleEncodingField = 17;
inline constexpr uint8_t adpcmEncodingMark = 0xAD;
inline constexpr int32_t adpcmTableLength = 16;
inline constexpr int32_t adpcmFramesPerByte = 2;
inline constexpr uint8_t adpcmIndexMask = 0x0F;
inline constexpr int32_t adpcmHighIndexShift = 4;

// Limits: a file beyond these is refused.
// (Channels, envelope points and the order table are limited by the records in
// song.h; an instrument keeps its first maxSamplesPerInstrument samples.)
inline constexpr int32_t maxPatternCount = 256;
inline constexpr int32_t maxInstrumentCount = 255;
inline constexpr int32_t maxRowCount = 256;
inline constexpr int32_t missingPatternRowCount = 64;  // a pattern the order table names but the file lacks
inline constexpr int32_t unsetRowCount = 64;           // a pattern header giving 0 rows
// Values that are mended rather than refused.
inline constexpr int32_t lowestBpm = 32;
inline constexpr int32_t highestBpm = 255;
inline constexpr int32_t lowestSpeed = 1;
inline constexpr int32_t highestSpeed = 255;
// Longest sample kept (64 Mi frames, about 25 minutes at 44.1 kHz); longer
// ones are cut so that a damaged length cannot ask for gigabytes.
inline constexpr uint32_t maxSampleFrames = 1u << 26;

}  // namespace xm_format

}  // namespace intro_music::engine
