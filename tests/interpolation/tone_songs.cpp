// tone_songs OUT_DIR
// Writes the modules the interpolation quality check renders, one long note
// each, into OUT_DIR as NAME.xm, and prints one line per module:
//   NAME TONE_HZ
// TONE_HZ being the fundamental the note gives at 44,100 frames a second.
//   tone-F-O            a cosine of F frames a cycle (3, 4, 8, 16), looped over
//                       whole cycles up to 256 frames, at C of octave O (2..7)
//   seam-forward-C, seam-pingpong-C   a 16-frame cosine looped over C cycles
//                       (forward or ping-pong) at C-5
//   seam-unlooped       the same cosine without a loop, long enough for the note
//   square-above-rate-R a looped 16-frame square wave played at R x the output rate
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "xm_writer.h"

namespace {

using namespace xm_writer;

constexpr double pi = 3.14159265358979323846;
constexpr double middleRate = 8363.0;  // C-4 of a sample without relative note or finetune
constexpr int noteC4 = 49;
constexpr int amplitude = 16000;
constexpr int loopFrames = 256;
constexpr int rows = 64;  // at speed 6 and tempo 125: 7.68 s, the note held throughout

// A cosine whose half-frame offset makes it symmetric about its ends, so that
// a ping-pong loop over whole cycles plays it unbroken too.
std::vector<int16_t> cosine(int cycleFrames, int totalFrames) {
    std::vector<int16_t> frames(static_cast<size_t>(totalFrames));
    for (int frame = 0; frame < totalFrames; ++frame) {
        frames[static_cast<size_t>(frame)] =
            static_cast<int16_t>(std::lround(amplitude * std::cos(2 * pi * (frame + 0.5) / cycleFrames)));
    }
    return frames;
}

std::vector<int16_t> square(int cycleFrames, int totalFrames) {
    std::vector<int16_t> frames(static_cast<size_t>(totalFrames));
    for (int frame = 0; frame < totalFrames; ++frame) {
        frames[static_cast<size_t>(frame)] = static_cast<int16_t>(frame % cycleFrames < cycleFrames / 2 ? amplitude
                                                                                                      : -amplitude);
    }
    return frames;
}

struct Tone {
    std::string name;
    std::vector<int16_t> frames;
    LoopKind loop;
    int loopLength;
    int note;
    int relativeNote;
    int cycleFrames;
};

ModuleData toneModule(const Tone& tone) {
    ModuleData module;
    module.name = tone.name;
    module.channelCount = 2;
    module.flags = 1;  // linear frequencies
    module.orders = {0};
    PatternData pattern{rows, std::vector<Cell>(static_cast<size_t>(rows * module.channelCount))};
    pattern.cells[0] = Cell{static_cast<uint8_t>(tone.note), 1, 0, 0, 0};
    module.patterns = {pattern};
    SampleData sample;
    sample.sixteenBit = true;
    sample.frames = tone.frames;
    sample.loop = tone.loop;
    sample.loopStart = 0;
    sample.loopLength = static_cast<uint32_t>(tone.loopLength);
    sample.relativeNote = static_cast<int8_t>(tone.relativeNote);
    InstrumentData instrument;
    instrument.samples = {sample};
    module.instruments = {instrument};
    return module;
}

double toneHz(const Tone& tone) {
    return middleRate * std::exp2((tone.note - noteC4 + tone.relativeNote) / 12.0) / tone.cycleFrames;
}

std::vector<Tone> tones() {
    std::vector<Tone> list;
    for (int cycle : {3, 4, 8, 16}) {
        const int length = loopFrames / cycle * cycle;  // whole cycles
        for (int octave = 2; octave <= 7; ++octave) {
            list.push_back({"tone-" + std::to_string(cycle) + "-" + std::to_string(octave), cosine(cycle, length),
                            LoopKind::Forward, length, noteC4 + 12 * (octave - 4), 0, cycle});
        }
    }
    constexpr int seamCycle = 16;
    const int noteC5 = noteC4 + 12;
    for (int cycles : {1, 3}) {
        const int length = seamCycle * cycles;
        list.push_back({"seam-forward-" + std::to_string(cycles), cosine(seamCycle, length), LoopKind::Forward, length,
                        noteC5, 0, seamCycle});
        list.push_back({"seam-pingpong-" + std::to_string(cycles), cosine(seamCycle, length), LoopKind::PingPong,
                        length, noteC5, 0, seamCycle});
    }
    // 7 s of the note at C-5's rate.
    const int unloopedLength = static_cast<int>(middleRate * 2 * 7);
    list.push_back({"seam-unlooped", cosine(seamCycle, unloopedLength), LoopKind::None, 0, noteC5, 0, seamCycle});
    // C-7 plays 1.52 x the output rate; 4 semitones more, 1.91 x.
    const int noteC7 = noteC4 + 36;
    list.push_back({"square-above-rate-1.52", square(16, loopFrames), LoopKind::Forward, loopFrames, noteC7, 0, 16});
    list.push_back({"square-above-rate-1.91", square(16, loopFrames), LoopKind::Forward, loopFrames, noteC7, 4, 16});
    return list;
}

}  // namespace

int main(int argumentCount, char** arguments) {
    if (argumentCount != 2) {
        std::fputs("usage: tone_songs OUT_DIR\n", stderr);
        return 2;
    }
    const std::filesystem::path folder(arguments[1]);
    for (const Tone& tone : tones()) {
        const std::vector<uint8_t> bytes = writeModule(toneModule(tone));
        const std::filesystem::path path = folder / (tone.name + ".xm");
        std::FILE* file = std::fopen(path.string().c_str(), "wb");
        const bool written = file != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        if (file == nullptr || std::fclose(file) != 0 || !written) {
            std::fprintf(stderr, "tone_songs: cannot write %s\n", path.string().c_str());
            return 1;
        }
        std::printf("%s %.3f\n", tone.name.c_str(), toneHz(tone));
    }
    return 0;
}
