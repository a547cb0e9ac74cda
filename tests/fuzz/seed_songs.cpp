// seed_songs OUTPUT_FOLDER
// Writes the fuzzer's starting corpus: small, valid songs that between them
// use every part of the format the engine reads (both period tables, every
// loop type, 8- and 16-bit data, envelopes with sustain and loops, every
// effect and volume-column command, jumps, breaks, loops and delays, the older
// layouts and the damaged files mature players still play), so that
// mutations start from inputs that reach deep into the loader and replayer.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "xm_writer.h"

namespace {

using namespace xm_writer;

constexpr uint8_t keyOff = 97;
constexpr int sampleFrames = 256;
constexpr double twoPi = 6.283185307179586;

// Effect numbers of the file format.
enum : uint8_t {
    Arpeggio = 0x0, PortaUp = 0x1, PortaDown = 0x2, TonePorta = 0x3, Vibrato = 0x4, TonePortaSlide = 0x5,
    VibratoSlide = 0x6, Tremolo = 0x7, SetPanning = 0x8, SampleOffset = 0x9, VolumeSlide = 0xA,
    PositionJump = 0xB, SetVolume = 0xC, PatternBreak = 0xD, Extended = 0xE, SetSpeed = 0xF,
    SetGlobalVolume = 16, GlobalVolumeSlide = 17, KeyOffEffect = 20, SetEnvelopePosition = 21,
    PanningSlide = 25, Retrigger = 27, Tremor = 29, ExtraFinePorta = 33,
};

// Volume-column commands by their high nibble.
enum : uint8_t {
    VolumeSet = 0x10, VolumeSlideDown = 0x60, VolumeSlideUp = 0x70, FineVolumeDown = 0x80, FineVolumeUp = 0x90,
    VibratoSpeed = 0xA0, VibratoDepth = 0xB0, PanningSet = 0xC0, PanningLeft = 0xD0, PanningRight = 0xE0,
    TonePortaColumn = 0xF0,
};

SampleData waveSample(const std::string& name, bool sixteenBit, LoopKind loop, double cycles) {
    SampleData sample;
    sample.name = name;
    sample.sixteenBit = sixteenBit;
    const double amplitude = sixteenBit ? 20000.0 : 100.0;
    for (int frame = 0; frame < sampleFrames; ++frame) {
        sample.frames.push_back(
            static_cast<int16_t>(std::lround(amplitude * std::sin(twoPi * cycles * frame / sampleFrames))));
    }
    sample.loop = loop;
    if (loop != LoopKind::None) {
        sample.loopStart = sampleFrames / 4;
        sample.loopLength = sampleFrames / 2;
    }
    return sample;
}

InstrumentData plainInstrument(const std::string& name, SampleData sample) {
    InstrumentData instrument;
    instrument.name = name;
    instrument.samples.push_back(std::move(sample));
    return instrument;
}

// Two samples split over the keyboard, both envelopes with sustain and loop,
// fadeout and auto-vibrato.
InstrumentData envelopedInstrument() {
    InstrumentData instrument;
    instrument.name = "enveloped";
    instrument.samples.push_back(waveSample("low", true, LoopKind::PingPong, 2.0));
    instrument.samples.push_back(waveSample("high", false, LoopKind::Forward, 8.0));
    for (size_t note = 48; note < instrument.sampleMap.size(); ++note) instrument.sampleMap[note] = 1;
    instrument.volumeEnvelope.points = {{0, 64}, {4, 40}, {8, 56}, {16, 20}, {40, 0}};
    instrument.volumeEnvelope.sustainPoint = 2;
    instrument.volumeEnvelope.loopStart = 1;
    instrument.volumeEnvelope.loopEnd = 3;
    instrument.volumeEnvelope.flags = 1 | 2 | 4;
    instrument.panningEnvelope.points = {{0, 0}, {6, 64}, {12, 32}};
    instrument.panningEnvelope.sustainPoint = 1;
    instrument.panningEnvelope.loopStart = 0;
    instrument.panningEnvelope.loopEnd = 2;
    instrument.panningEnvelope.flags = 1 | 4;
    instrument.vibratoType = 1;
    instrument.vibratoSweep = 4;
    instrument.vibratoDepth = 8;
    instrument.vibratoRate = 16;
    instrument.fadeout = 800;
    return instrument;
}

std::vector<InstrumentData> instrumentSet() {
    return {plainInstrument("forward8", waveSample("square-ish", false, LoopKind::Forward, 4.0)),
            plainInstrument("pingpong16", waveSample("sine", true, LoopKind::PingPong, 1.0)),
            plainInstrument("oneshot8", waveSample("blip", false, LoopKind::None, 16.0)), envelopedInstrument()};
}

struct PatternBuilder {
    int channelCount;
    PatternData pattern;

    PatternBuilder(int channels, int rows) : channelCount(channels) {
        pattern.rowCount = rows;
        pattern.cells.resize(static_cast<size_t>(rows * channels));
    }
    Cell& at(int row, int channel) { return pattern.cells[static_cast<size_t>(row * channelCount + channel)]; }
};

// Notes on every instrument, key-offs, and every volume-column command.
PatternData notesPattern(int channels, int rows, uint8_t firstNote) {
    PatternBuilder builder(channels, rows);
    const uint8_t volumeCommands[] = {VolumeSet | 0x8,    VolumeSlideDown | 2, VolumeSlideUp | 3, FineVolumeDown | 1,
                                      FineVolumeUp | 1,   VibratoSpeed | 4,    VibratoDepth | 6, PanningSet | 12,
                                      PanningLeft | 2,    PanningRight | 3,    TonePortaColumn | 5};
    int command = 0;
    for (int row = 0; row < rows; ++row) {
        for (int channel = 0; channel < channels; ++channel) {
            Cell& cell = builder.at(row, channel);
            if ((row + channel) % 4 == 0) {
                cell.note = static_cast<uint8_t>(firstNote + (row * 5 + channel * 7) % 48);
                cell.instrument = static_cast<uint8_t>(1 + (row + channel) % 4);
            } else if ((row + channel) % 4 == 3) {
                cell.note = keyOff;
            }
            if (row % 2 == 1) {
                cell.volume = volumeCommands[command++ % std::size(volumeCommands)];
            }
        }
    }
    return builder.pattern;
}

// Every effect and every extended sub-effect, each after a note to act on.
PatternData effectsPattern(int channels) {
    struct Use {
        uint8_t effect;
        uint8_t parameter;
    };
    const std::vector<Use> uses = {
        {Arpeggio, 0x37},        {PortaUp, 0x08},          {PortaDown, 0x08},       {TonePorta, 0x10},
        {Vibrato, 0x48},         {TonePortaSlide, 0x02},   {VibratoSlide, 0x20},    {Tremolo, 0x66},
        {SetPanning, 0x20},      {SampleOffset, 0x01},     {VolumeSlide, 0x0F},     {SetVolume, 0x30},
        {SetGlobalVolume, 0x30}, {GlobalVolumeSlide, 0x01}, {KeyOffEffect, 0x02},   {SetEnvelopePosition, 0x05},
        {PanningSlide, 0x0F},    {Retrigger, 0x92},        {Tremor, 0x21},          {ExtraFinePorta, 0x14},
        {ExtraFinePorta, 0x24},  {Extended, 0x12},         {Extended, 0x22},        {Extended, 0x31},
        {Extended, 0x41},        {Extended, 0x52},         {Extended, 0x71},        {Extended, 0x88},
        {Extended, 0x92},        {Extended, 0xA3},         {Extended, 0xB3},        {Extended, 0xC2},
        {Extended, 0xD2},        {Extended, 0xE1},         {SetSpeed, 0x03},        {SetSpeed, 0x60},
    };
    const int rows = static_cast<int>(uses.size());
    PatternBuilder builder(channels, rows);
    for (int row = 0; row < rows; ++row) {
        for (int channel = 0; channel < channels; ++channel) {
            Cell& cell = builder.at(row, channel);
            if (channel == 0 || row % 3 == 0) {
                cell.note = static_cast<uint8_t>(30 + (row * 3 + channel * 5) % 40);
                cell.instrument = static_cast<uint8_t>(1 + (row + channel) % 4);
            }
            if (channel == 0) {
                cell.effect = uses[static_cast<size_t>(row)].effect;
                cell.parameter = uses[static_cast<size_t>(row)].parameter;
            }
        }
    }
    return builder.pattern;
}

// A pattern loop played twice, then a break into the next pattern's row 2.
PatternData loopAndBreakPattern(int channels) {
    PatternBuilder builder(channels, 12);
    builder.at(0, 0) = {49, 1, 0, Extended, 0x60};
    builder.at(3, 0) = {53, 2, 0, Extended, 0x62};
    builder.at(5, 1) = {56, 4, 0, Extended, 0xE2};  // pattern delay
    builder.at(8, 0) = {0, 0, 0, PatternBreak, 0x02};
    return builder.pattern;
}

// A jump back to the second order ends the song's pass.
PatternData jumpPattern(int channels) {
    PatternBuilder builder(channels, 8);
    builder.at(0, 0) = {37, 3, 0, SetSpeed, 0x02};
    builder.at(4, 1) = {keyOff, 0, 0, 0, 0};
    builder.at(7, 0) = {0, 0, 0, PositionJump, 0x01};
    return builder.pattern;
}

ModuleData baseModule(const std::string& name, int channels, bool linear) {
    ModuleData module;
    module.name = name;
    module.channelCount = channels;
    module.flags = linear ? 1 : 0;
    module.defaultSpeed = 3;
    module.defaultBpm = 150;
    module.instruments = instrumentSet();
    return module;
}

std::vector<std::pair<std::string, ModuleData>> seedSongs() {
    std::vector<std::pair<std::string, ModuleData>> songs;

    for (const bool linear : {true, false}) {
        ModuleData module = baseModule(linear ? "notes linear" : "notes amiga", 4, linear);
        module.patterns = {notesPattern(4, 16, 13), notesPattern(4, 12, 37), notesPattern(4, 8, 61)};
        module.orders = {0, 1, 2, 1};
        module.restartPosition = 1;
        songs.emplace_back(linear ? "notes_linear.xm" : "notes_amiga.xm", module);
    }
    for (const bool linear : {true, false}) {
        ModuleData module = baseModule("effects", 3, linear);
        module.patterns = {effectsPattern(3)};
        module.orders = {0};
        songs.emplace_back(linear ? "effects_linear.xm" : "effects_amiga.xm", module);
    }
    {
        ModuleData module = baseModule("flow", 2, true);
        module.patterns = {loopAndBreakPattern(2), notesPattern(2, 6, 25), jumpPattern(2)};
        module.orders = {0, 1, 2};
        songs.emplace_back("flow.xm", module);
    }
    {
        // Every channel, and the extremes of speed and tempo.
        ModuleData module = baseModule("wide", 32, true);
        module.defaultSpeed = 1;
        module.defaultBpm = 255;
        PatternData wide = notesPattern(32, 64, 1);
        wide.cells[0].effect = SetSpeed;
        wide.cells[0].parameter = 0x01;
        module.patterns = {wide, PatternData{1, {}}};
        module.orders = {1, 0};
        songs.emplace_back("wide.xm", module);
    }
    {
        // Instruments without samples and notes that point at them.
        ModuleData module = baseModule("sparse", 2, false);
        module.instruments.push_back(InstrumentData{});
        PatternData pattern = notesPattern(2, 16, 40);
        pattern.cells[0].instrument = 5;   // no samples
        pattern.cells[8].instrument = 9;   // beyond the instrument count
        pattern.cells[16].note = 96;       // the highest note
        module.patterns = {pattern};
        module.orders = {0};
        songs.emplace_back("sparse.xm", module);
    }
    {
        // The older layouts (instruments first, sample data last; 0x0102 with one-byte row counts), pattern
        // headers longer than 9 bytes and an instrument with more samples than the 16 it keeps.
        for (const uint16_t version : {byteRowCountVersion, instrumentsFirstVersion, currentFormatVersion}) {
            ModuleData module = baseModule("layouts", 2, version != byteRowCountVersion);
            module.version = version;
            module.patternHeaderPadding = 5;
            InstrumentData many;
            many.name = "many samples";
            for (int index = 0; index < 18; ++index) {
                many.samples.push_back(waveSample("part", index % 2 == 1, LoopKind::Forward, 1.0 + index));
            }
            for (size_t note = 0; note < many.sampleMap.size(); ++note) many.sampleMap[note] = note % 18;
            module.instruments.push_back(many);
            PatternData pattern = notesPattern(2, 16, 20);
            pattern.cells[2].instrument = static_cast<uint8_t>(module.instruments.size());
            module.patterns = {pattern, notesPattern(2, 8, 50)};
            module.orders = {0, 1};
            songs.emplace_back("layout_" + std::to_string(version) + ".xm", module);
        }
    }
    {
        // Notes that relative notes push past both ends of the period tables, an envelope point far above full
        // level, and more than 128 instruments with cells naming the last ones.
        ModuleData module = baseModule("edges", 2, true);
        module.instruments[0].samples[0].relativeNote = -48;
        module.instruments[1].samples[0].relativeNote = 48;
        module.instruments[2].volumeEnvelope.points = {{0, 64}, {6, 65535}, {12, 20}};
        module.instruments[2].volumeEnvelope.flags = 1;
        const InstrumentData enveloped = module.instruments[3];
        module.instruments.resize(130, enveloped);
        PatternData pattern = notesPattern(2, 16, 1);
        pattern.cells[4] = {96, 2, 0, 0, 0};
        pattern.cells[5] = {60, 3, 0, 0, 0};
        pattern.cells[8] = {30, 130, 0, 0, 0};
        pattern.cells[9] = {30, 129, 0, 0, 0};
        module.patterns = {pattern};
        module.orders = {0};
        songs.emplace_back("edges.xm", module);
    }
    {
        // 8-bit samples stored as 4-bit ADPCM, one of an odd length and one looped, before plain ones.
        ModuleData module = baseModule("adpcm", 2, true);
        SampleData oneShot = waveSample("adpcm", false, LoopKind::None, 3.0);
        oneShot.frames.resize(oneShot.frames.size() | 1);
        SampleData looped = waveSample("adpcm loop", false, LoopKind::Forward, 2.0);
        for (SampleData* sample : {&oneShot, &looped}) sample->adpcm = true;
        module.instruments[0].samples = {oneShot};
        module.instruments[1].samples = {looped};
        module.patterns = {notesPattern(2, 16, 30)};
        module.orders = {0};
        songs.emplace_back("adpcm.xm", module);
    }
    {
        // Set-finetune between two notes of the same sample: a restart must play the sample as loaded.
        ModuleData module = baseModule("set finetune", 2, false);
        PatternData pattern = notesPattern(2, 8, 49);
        pattern.cells[2] = {0, 0, 0, Extended, 0x5F};
        pattern.cells[4] = {49, 1, 0, 0, 0};
        module.patterns = {pattern};
        module.orders = {0};
        songs.emplace_back("set_finetune.xm", module);
    }
    {
        // An order first entered mid-pattern: speed 3 and a break to row 8 of the next order, 3 x 16 rows.
        ModuleData module = baseModule("entered mid-pattern", 2, true);
        PatternData first = notesPattern(2, 16, 30);
        first.cells[0] = {30, 1, 0, SetSpeed, 0x03};
        first.cells[2] = {0, 0, 0, PatternBreak, 0x08};
        module.patterns = {first, notesPattern(2, 16, 40), notesPattern(2, 16, 50)};
        module.orders = {0, 1, 2};
        songs.emplace_back("break_mid_pattern.xm", module);
    }
    {
        // A damaged volume envelope: a falling segment whose next point lies behind it.
        ModuleData module = baseModule("envelope behind", 2, true);
        module.instruments[0].volumeEnvelope.points = {{0, 64}, {4, 0}, {2, 64}};
        module.instruments[0].volumeEnvelope.flags = 1;
        module.patterns = {notesPattern(2, 16, 20)};
        module.orders = {0};
        songs.emplace_back("envelope_behind.xm", module);
    }
    return songs;
}

// Files the writer does not lay out by itself: a pattern whose packed size
// stops short of its cells, an empty order list, a pattern header of 0 rows
// and a header shorter than its order list.
std::vector<std::pair<std::string, std::vector<uint8_t>>> patchedSeedSongs() {
    ModuleData module = baseModule("patched", 2, false);
    module.patterns = {notesPattern(2, 16, 30), notesPattern(2, 8, 42)};
    module.orders = {0, 1};
    const std::vector<uint8_t> whole = writeModule(module);
    constexpr size_t rowCountField = 5;
    constexpr size_t packedSizeField = 7;
    auto put16 = [](std::vector<uint8_t>& bytes, size_t offset, uint16_t value) {
        bytes[offset] = static_cast<uint8_t>(value);
        bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
    };
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
    std::vector<uint8_t> bytes = whole;
    const uint16_t packedSize = static_cast<uint16_t>(bytes[firstPatternOffset + packedSizeField] |
                                                      (bytes[firstPatternOffset + packedSizeField + 1] << 8));
    put16(bytes, firstPatternOffset + packedSizeField, static_cast<uint16_t>(packedSize / 3));
    bytes.erase(bytes.begin() + static_cast<long>(firstPatternOffset + 9 + packedSize / 3),
                bytes.begin() + static_cast<long>(firstPatternOffset + 9 + packedSize));
    files.emplace_back("short_packed.xm", bytes);
    bytes = whole;
    put16(bytes, songLengthOffset, 0);
    put16(bytes, firstPatternOffset + rowCountField, 0);
    files.emplace_back("no_orders_no_rows.xm", bytes);
    bytes = whole;
    bytes[headerSizeOffset] = 21;
    bytes.erase(bytes.begin() + orderTableOffset + 1, bytes.begin() + static_cast<long>(firstPatternOffset));
    files.emplace_back("short_header.xm", bytes);
    return files;
}

bool writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!file) {
        std::fprintf(stderr, "seed_songs: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argumentCount, char** arguments) {
    if (argumentCount != 2) {
        std::fprintf(stderr, "usage: seed_songs OUTPUT_FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder = arguments[1];
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    for (const auto& [fileName, module] : seedSongs()) {
        if (!writeFile(folder / fileName, writeModule(module))) return 1;
    }
    for (const auto& [fileName, bytes] : patchedSeedSongs()) {
        if (!writeFile(folder / fileName, bytes)) return 1;
    }
    return 0;
}
