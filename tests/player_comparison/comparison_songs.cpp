// comparison_songs NAME OUT.xm | --list (name and the rule sets it holds: tracker or all)
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
constexpr size_t songNameLength = 20;

// The song's name ended with zeros, as most programs save it: the players
// then treat the file as not the tracker's own (it is not), and so do we.
std::string programSavedName(std::string name) {
    name.resize(songNameLength, '\0');
    return name;
}

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
    module.name = programSavedName("adpcm samples");
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

// A looped cycle of a sine, 64 frames long: a clear pitch for the pitch rules.
SampleData sineTone() {
    constexpr int cycle = 64;
    SampleData sample;
    for (int frame = 0; frame < cycle; ++frame) {
        sample.frames.push_back(static_cast<int16_t>(std::lround(100 * std::sin(2 * pi * frame / cycle))));
    }
    sample.loop = LoopKind::Forward;
    sample.loopLength = cycle;
    return sample;
}

InstrumentData toneInstrument() {
    InstrumentData tone;
    tone.samples = {sineTone()};
    return tone;
}

// Empty patterns of rowCount rows for the module's channels; cells are set by (pattern, row, channel).
struct SongSketch {
    ModuleData module;
    SongSketch(const char* name, int channels, int patternCount, int rowCount) {
        module.name = programSavedName(name);
        module.channelCount = channels;
        module.flags = 1;  // linear frequencies
        for (int pattern = 0; pattern < patternCount; ++pattern) {
            module.orders.push_back(static_cast<uint8_t>(pattern));
            module.patterns.push_back({rowCount, std::vector<Cell>(static_cast<size_t>(rowCount * channels))});
        }
        module.instruments = {toneInstrument()};
    }
    Cell& at(int pattern, int row, int channel) {
        return module.patterns[pattern].cells[static_cast<size_t>(row * module.channelCount + channel)];
    }
};

// Arpeggios at speeds 5, 6 and 7: the note order follows the ticks left in the row.
ModuleData arpeggioSong() {
    SongSketch song("arpeggio order", 2, 1, 24);
    const uint8_t speeds[] = {5, 6, 7};
    for (int block = 0; block < 3; ++block) {
        song.at(0, 8 * block, 1) = Cell{0, 0, 0, 0x0F, speeds[block]};
        song.at(0, 8 * block, 0) = Cell{noteC4, 1, 0, 0x00, 0x47};
        for (int row = 1; row < 8; ++row) song.at(0, 8 * block + row, 0) = Cell{0, 0, 0, 0x00, 0x37};
    }
    return song.module;
}

// Note delays with and without notes and instruments, a delayed key-off and ED0.
ModuleData noteDelaySong() {
    SongSketch song("note delays", 1, 1, 16);
    InstrumentData& tone = song.module.instruments[0];
    tone.volumeEnvelope = {{{0, 64}, {8, 32}, {16, 48}}, 1, 0, 0, 0x03};
    tone.fadeout = 2048;
    const Cell rows[] = {{noteC4, 1, 0x30}, {noteG4, 0, 0, 0x0E, 0xD3}, {0, 0, 0, 0x0E, 0xD2}, {0, 1, 0, 0x0E, 0xD4},
                         {97, 0, 0, 0x0E, 0xD2}, {noteE4, 1, 0, 0x0E, 0xD0}, {}, {97}, {noteC5, 0, 0, 0x0E, 0xD1},
                         {}, {0, 0, 0, 0x0E, 0xD3}, {}};
    for (size_t row = 0; row < std::size(rows); ++row) song.at(0, static_cast<int>(row), 0) = rows[row];
    return song.module;
}

// Tremor phases, a note the tremor left silent, and an instrument number that brings it back.
ModuleData tremorSong() {
    SongSketch song("tremor", 1, 1, 12);
    const Cell rows[] = {{noteC4, 1, 0, 0x1D, 0x12}, {0, 0, 0, 0x1D, 0}, {0, 0, 0, 0x1D, 0x31}, {0, 0, 0, 0x1D, 0},
                         {0, 0, 0, 0x1D, 0x03}, {}, {}, {0, 1}, {0, 0, 0, 0x1D, 0x21}, {}};
    for (size_t row = 0; row < std::size(rows); ++row) song.at(0, static_cast<int>(row), 0) = rows[row];
    song.module.defaultSpeed = 8;
    return song.module;
}

// Auto-vibrato with a sweep, one note held and one released before the sweep ends.
ModuleData autoVibratoSong() {
    SongSketch song("auto-vibrato", 1, 1, 16);
    InstrumentData& tone = song.module.instruments[0];
    tone.vibratoDepth = 12;
    tone.vibratoRate = 24;
    tone.vibratoSweep = 40;
    tone.volumeEnvelope = {{{0, 64}, {4, 64}, {40, 16}}, 1, 0, 0, 0x03};
    tone.fadeout = 256;
    song.at(0, 0, 0) = Cell{noteC4, 1};
    song.at(0, 8, 0) = Cell{noteG4, 1};
    song.at(0, 10, 0) = Cell{97};
    return song.module;
}

// A pattern loop, then the next pattern, which the tracker starts at the loop's row.
ModuleData loopFlowSong() {
    SongSketch song("loop flow", 2, 2, 8);
    song.at(0, 2, 1) = Cell{0, 0, 0, 0x0E, 0x60};
    song.at(0, 5, 1) = Cell{0, 0, 0, 0x0E, 0x62};
    const uint8_t notes[] = {noteC3, noteC4, noteE4, noteG4, noteC5, noteG4, noteE4, noteC4};
    for (int row = 0; row < 8; ++row) {
        song.at(0, row, 0) = Cell{notes[row], 1};
        song.at(1, row, 0) = Cell{static_cast<uint8_t>(notes[row] + 2), 1};
    }
    return song.module;
}

// A tune of one note a row, a chord's notes rising order by order, so that
// every order sounds its own: the order walk is heard.
SongSketch orderTune(const char* name) {
    SongSketch song(name, 1, 3, 4);
    const uint8_t roots[] = {noteC3, noteE4, noteC5};
    for (int pattern = 0; pattern < 3; ++pattern) {
        for (int row = 0; row < 4; ++row) song.at(pattern, row, 0) = Cell{static_cast<uint8_t>(roots[pattern] + 2 * row), 1};
    }
    return song;
}

// B00 on the last row of order 0: the song goes back to order 0, never reaching orders 1 and 2.
ModuleData jumpToZeroSong() {
    SongSketch song = orderTune("jump to order 0");
    song.at(0, 3, 0).effect = 0x0B;
    return song.module;
}

// B00 on the last order with a restart position of 1: the jump goes to order 0, not to the restart position.
ModuleData jumpFromLastSong() {
    SongSketch song = orderTune("jump from the last");
    song.module.restartPosition = 1;
    song.at(2, 1, 0).effect = 0x0B;
    return song.module;
}

// Rows of vibrato (4xx) or tremolo (7xx) after a waveform choice (E4x or
// E7x: 1 ramp, 2 square, 3 random; 4 and up keep the wave's position at a new
// note), with new notes between.
ModuleData waveformSong(const char* name, uint8_t effect, uint8_t waveformCommand) {
    SongSketch song(name, 1, 1, 32);
    const uint8_t waveforms[] = {1, 2, 5, 6};
    for (int block = 0; block < 4; ++block) {
        const int first = 8 * block;
        song.at(0, first, 0) = Cell{noteC4, 1, 0, 0x0E, static_cast<uint8_t>(waveformCommand | waveforms[block])};
        song.at(0, first + 1, 0) = Cell{0, 0, 0, effect, 0x4C};
        song.at(0, first + 2, 0) = Cell{0, 0, 0, effect, 0};
        song.at(0, first + 3, 0) = Cell{noteC5, 1, 0, effect, 0};
        song.at(0, first + 4, 0) = Cell{0, 0, 0, effect, 0x6C};
        song.at(0, first + 5, 0) = Cell{noteE4, 1, 0, effect, 0};
        song.at(0, first + 6, 0) = Cell{0, 0, 0, effect, 0x3F};
    }
    return song.module;
}

ModuleData vibratoWaveformSong() { return waveformSong("vibrato waveforms", 0x04, 0x40); }
// Without a vibrato its position stays in the rising half: the tracker's tremolo ramp never turns over.
ModuleData tremoloWaveformSong() { return waveformSong("tremolo waveforms", 0x07, 0x70); }

// Instrument numbers with nothing behind them (5 and 7; the song has one
// instrument): alone, beside a note, beside a tone portamento, before a key-off.
ModuleData invalidInstrumentSong() {
    SongSketch song("invalid instruments", 1, 1, 32);
    InstrumentData& tone = song.module.instruments[0];
    tone.volumeEnvelope = {{{0, 64}, {6, 20}, {12, 56}, {24, 10}}, 2, 0, 0, 0x03};
    tone.fadeout = 1024;
    const Cell rows[] = {{noteC4, 1}, {}, {}, {0, 5}, {}, {}, {noteE4, 5}, {}, {}, {noteG4, 1}, {}, {},
                         {}, {noteC5, 5, 0, 0x03, 0x10}, {}, {97}, {noteC4, 1}, {}, {}, {0, 7}, {}, {97},
                         {}, {}, {noteG4, 1}, {}, {}, {0, 7}, {}, {}, {97, 1}, {}};
    for (size_t row = 0; row < std::size(rows); ++row) song.at(0, static_cast<int>(row), 0) = rows[row];
    return song.module;
}

// Channel 0's cells row by row, one cell a row, into a one-pattern song of 16 rows.
ModuleData rowsSong(const char* name, const std::vector<Cell>& rows, void (*adjust)(ModuleData&) = nullptr) {
    SongSketch song(name, 1, 1, 16);
    for (size_t row = 0; row < rows.size(); ++row) song.at(0, static_cast<int>(row), 0) = rows[row];
    if (adjust != nullptr) adjust(song.module);
    return song.module;
}

// Glissando on (E31) and off (E30) under tone portamentos up and down: whole notes, then a smooth glide.
ModuleData glissandoSong() {
    return rowsSong("glissando", {{noteC4, 1}, {0, 0, 0, 0x0E, 0x31}, {noteC5, 0, 0, 0x03, 0x04}, {0, 0, 0, 0x03, 0},
                                  {0, 0, 0, 0x03, 0}, {noteC3, 0, 0, 0x03, 0x06}, {0, 0, 0, 0x03, 0},
                                  {0, 0, 0, 0x03, 0}, {0, 0, 0, 0x0E, 0x30}, {noteC4, 0, 0, 0x03, 0x03},
                                  {0, 0, 0, 0x03, 0}, {0, 0, 0, 0x03, 0}});
}

// An instrument number alone after a set volume (volume column and Cxx) and after a key-off brings the
// sample's volume back; the note plays on.
ModuleData instrumentAloneSong() {
    return rowsSong("instrument alone", {{noteC4, 1, 0x20}, {}, {}, {0, 1}, {}, {0, 0, 0, 0x0C, 0x08}, {}, {0, 1},
                                         {}, {97}, {}, {0, 1}, {}, {}, {noteE4, 1, 0x18}, {0, 1}});
}

// Note delays: a note without instrument, the last note again (volume column beside it), a delayed key-off with
// an instrument, delayed notes with volumes and panning, a retrigger, ED0.
ModuleData noteDelayRowsSong() {
    return rowsSong("note delay rows",
                    {{noteC4, 1, 0x30}, {noteE4, 0, 0, 0x0E, 0xD3}, {0, 0, 0x50, 0x0E, 0xD2}, {97, 1, 0, 0x0E, 0xD2},
                     {noteG4, 1, 0x20, 0x0E, 0xD4}, {0, 0, 0, 0x0E, 0xD3}, {0, 0, 0xC0, 0x0E, 0xD1},
                     {noteC5, 0, 0, 0x0E, 0xD2}, {}, {0, 1, 0, 0x0E, 0xD2}, {0, 0, 0, 0x0E, 0x93},
                     {noteC4, 0, 0x28, 0x0E, 0xD5}, {}, {0, 0, 0, 0x0E, 0xD0}},
                    [](ModuleData& module) {
                        module.instruments[0].volumeEnvelope = {{{0, 64}, {6, 20}, {12, 56}, {24, 10}}, 2, 0, 0, 0x03};
                        module.instruments[0].fadeout = 1024;
                    });
}

// A long decaying tone, so that where a note starts in it is heard.
SampleData decayingTone() {
    SampleData sample;
    for (int frame = 0; frame < 20000; ++frame) {
        const double level = 100 * std::exp(-frame / 8000.0);
        sample.frames.push_back(static_cast<int16_t>(std::lround(level * std::sin(2 * pi * frame / (32 + frame / 1000.0)))));
    }
    return sample;
}

// Sample offsets: with a note, 900 with and without a note (the memory), past the end, beside tone portamentos
// (plain and in the volume column).
ModuleData sampleOffsetSong() {
    return rowsSong("sample offsets",
                    {{noteC4, 1, 0, 0x09, 0x20}, {}, {noteC4, 1, 0, 0x09, 0}, {0, 0, 0, 0x09, 0x40}, {noteC4, 1},
                     {noteC4, 1, 0, 0x09, 0x60}, {}, {noteC4, 1, 0, 0x09, 0xFF}, {}, {noteC4, 1},
                     {noteE4, 0, 0, 0x03, 0x10}, {noteE4, 0, 0, 0x09, 0x10}, {noteC4, 1, 0, 0x09, 0x30},
                     {noteG4, 0, 0xF4, 0x09, 0x08}},
                    [](ModuleData& module) { module.instruments[0].samples = {decayingTone()}; });
}

// Pattern delays (EEx, in the second channel) on rows with note delays and with global volume slides.
ModuleData patternDelaySong() {
    SongSketch song("pattern delays", 2, 1, 16);
    song.at(0, 0, 0) = Cell{noteC4, 1};
    song.at(0, 1, 0) = Cell{noteE4, 1, 0, 0x0E, 0xD3};
    song.at(0, 1, 1) = Cell{0, 0, 0, 0x0E, 0xE2};
    song.at(0, 3, 0) = Cell{0, 0, 0, 0x11, 0x04};
    song.at(0, 3, 1) = Cell{0, 0, 0, 0x0E, 0xE3};
    song.at(0, 5, 0) = Cell{noteG4, 1, 0, 0x0E, 0xD5};
    song.at(0, 5, 1) = Cell{0, 0, 0, 0x0E, 0xE1};
    song.at(0, 7, 0) = Cell{0, 0, 0, 0x11, 0x30};
    song.at(0, 7, 1) = Cell{0, 0, 0, 0x0E, 0xE2};
    song.at(0, 9, 0) = Cell{noteC5, 1, 0, 0x0E, 0xD2};
    song.at(0, 9, 1) = Cell{0, 0, 0, 0x0E, 0xE1};
    song.at(0, 10, 0) = Cell{0, 0, 0, 0x11, 0x0F};
    return song.module;
}

// Instrument numbers alone (and beside 300) while a tone portamento runs: it goes on undisturbed.
ModuleData portamentoPickupSong() {
    return rowsSong("portamento pickup",
                    {{noteC4, 1, 0x10}, {noteC5, 0, 0, 0x03, 0x02}, {0, 1, 0, 0x03, 0}, {0, 0, 0, 0x03, 0}, {0, 1},
                     {0, 0, 0, 0x03, 0}, {noteC3, 1, 0, 0x03, 0x04}, {0, 1}, {0, 0, 0, 0x03, 0}, {0, 1, 0, 0x03, 0}},
                    [](ModuleData& module) { module.instruments[0].samples[0].volume = 32; });
}

struct NamedSong {
    const char* name;
    std::function<ModuleData()> build;
    bool trackerRulesOnly;  // a rule where the presentation's rules differ from the tracker's on purpose
};

const std::vector<NamedSong> songs = {
    {"adpcm", adpcmSong, false},         {"arpeggio", arpeggioSong, true}, {"notedelay", noteDelaySong, true},
    {"tremor", tremorSong, true},        {"autovibrato", autoVibratoSong, true},
    {"loopflow", loopFlowSong, true},   {"jumptozero", jumpToZeroSong, false},
    {"jumpfromlast", jumpFromLastSong, false}, {"vibratowaves", vibratoWaveformSong, false},
    {"tremolowaves", tremoloWaveformSong, false}, {"invalidinstrument", invalidInstrumentSong, true},
    {"instrumentalone", instrumentAloneSong, false}, {"notedelayrows", noteDelayRowsSong, false},
    {"sampleoffset", sampleOffsetSong, true},        {"patterndelay", patternDelaySong, false},
    {"glissando", glissandoSong, true},              {"portapickup", portamentoPickupSong, false},
};

}  // namespace

int main(int argumentCount, char** arguments) {
    if (argumentCount == 2 && std::strcmp(arguments[1], "--list") == 0) {
        for (const NamedSong& song : songs) std::printf("%s %s\n", song.name, song.trackerRulesOnly ? "tracker" : "all");
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
