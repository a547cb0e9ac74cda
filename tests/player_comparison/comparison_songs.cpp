// comparison_songs NAME OUT.xm | --list
// Writes small modules, each made to show one behaviour, for comparing our
// renders with the mature players' (compare_with_players.py).
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "xm_writer.h"

namespace {

using xm_writer::Cell;
using xm_writer::InstrumentData;
using xm_writer::LoopKind;
using xm_writer::ModuleData;
using xm_writer::SampleData;

constexpr double pi = 3.14159265358979323846;
constexpr uint8_t noteC3 = 37;
constexpr uint8_t noteC4 = 49;
constexpr uint8_t noteE4 = 53;
constexpr uint8_t noteG4 = 56;
constexpr uint8_t noteC5 = 61;

SampleData adpcmSample(std::vector<int16_t> frames) {
    SampleData sample;
    sample.frames = std::move(frames);
    sample.adpcm = true;
    return sample;
}

// A looped cycle of a sine and its third harmonic, 64 frames long.
SampleData adpcmTone() {
    constexpr int cycle = 64;
    std::vector<int16_t> frames;
    for (int frame = 0; frame < cycle; ++frame) {
        const double phase = 2 * pi * frame / cycle;
        frames.push_back(static_cast<int16_t>(std::lround(80 * std::sin(phase) + 30 * std::sin(3 * phase))));
    }
    SampleData sample = adpcmSample(frames);
    sample.loop = LoopKind::Forward;
    sample.loopLength = cycle;
    return sample;
}

// Decaying noise of an odd length, so that its last packed byte holds one frame.
SampleData adpcmNoise() {
    constexpr int length = 4001;
    std::vector<int16_t> frames;
    uint32_t state = 12345;
    for (int frame = 0; frame < length; ++frame) {
        state = state * 1664525u + 1013904223u;
        const double level = 120 * std::exp(-frame / 800.0);
        frames.push_back(static_cast<int16_t>(std::lround(level * (static_cast<int>(state >> 24) - 128) / 128.0)));
    }
    return adpcmSample(frames);
}

// A looped 8-bit square wave stored as plain PCM, after the ADPCM data.
SampleData pcmSquare() {
    SampleData sample;
    for (int frame = 0; frame < 32; ++frame) sample.frames.push_back(frame < 16 ? 60 : -60);
    sample.loop = LoopKind::Forward;
    sample.loopLength = 32;
    return sample;
}

// Channel 1 plays a tune on an ADPCM tone; channel 2 alternates ADPCM noise (low notes) and a PCM square wave
// stored after it in the same instrument (high notes).
ModuleData adpcmSong() {
    ModuleData module;
    module.name = "adpcm samples";
    module.channelCount = 2;
    module.flags = 1;  // linear frequencies
    module.orders = {0};
    module.patterns.push_back({32, std::vector<Cell>(64)});
    std::vector<Cell>& cells = module.patterns[0].cells;
    const uint8_t tune[] = {noteC4, noteE4, noteG4, noteC5};
    for (int step = 0; step < 4; ++step) {
        cells[2 * (8 * step)] = Cell{tune[step], 1};
        cells[2 * (8 * step) + 1] = Cell{noteC3, 2};
        cells[2 * (8 * step + 4) + 1] = Cell{noteC5, 2};
    }
    InstrumentData tone;
    tone.samples = {adpcmTone()};
    InstrumentData drum;
    drum.samples = {adpcmNoise(), pcmSquare()};
    for (size_t note = 48; note < drum.sampleMap.size(); ++note) drum.sampleMap[note] = 1;
    module.instruments = {tone, drum};
    return module;
}

struct NamedSong {
    const char* name;
    std::function<ModuleData()> build;
};

const std::vector<NamedSong> songs = {
    {"adpcm", adpcmSong},
};

}  // namespace

int main(int argumentCount, char** arguments) {
    if (argumentCount == 2 && std::strcmp(arguments[1], "--list") == 0) {
        for (const NamedSong& song : songs) std::puts(song.name);
        return 0;
    }
    if (argumentCount != 3) {
        std::fputs("usage: comparison_songs NAME OUT.xm | --list\n", stderr);
        return 2;
    }
    for (const NamedSong& song : songs) {
        if (song.name != std::string(arguments[1])) continue;
        const std::vector<uint8_t> bytes = xm_writer::writeModule(song.build());
        std::FILE* file = std::fopen(arguments[2], "wb");
        const bool written = file != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        if (file != nullptr && std::fclose(file) != 0) return 1;
        return written ? 0 : 1;
    }
    std::fprintf(stderr, "comparison_songs: no song named %s\n", arguments[1]);
    return 2;
}
