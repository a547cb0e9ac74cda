// Songs for the tests of the public interface: every frame sounds, or rows
// of nothing at speed 1, so that times and rows are easy to count.
#pragma once

#include <cstdint>
#include <vector>

#include "test_songs.h"
#include "xm_writer.h"

namespace api_test_songs {

using namespace test_songs;

inline constexpr int32_t rowFrames = 882;  // speed 1, tempo 125, at 44.1 kHz

// A looping wave on both channels of every row, panned apart, over three
// 4-row patterns at speed 1: every frame sounds, left and right differ.
inline xm_writer::ModuleData loudSong() {
    xm_writer::ModuleData module = basicModule();
    module.defaultSpeed = 1;
    module.orders = {0, 1, 2};
    module.patterns.assign(3, xm_writer::PatternData{4, std::vector<xm_writer::Cell>(8)});
    for (int row = 0; row < 12; ++row) {
        module.patterns[row / 4].cells[(row % 4) * 2] = xm_writer::Cell{static_cast<uint8_t>(37 + row), 1, 0, 8, 0x20};
        module.patterns[row / 4].cells[(row % 4) * 2 + 1] = xm_writer::Cell{static_cast<uint8_t>(49 + row), 1, 0, 8, 0xE0};
    }
    std::vector<int16_t> wave(64);
    for (size_t index = 0; index < wave.size(); ++index) wave[index] = static_cast<int16_t>(index * 4 - 128);
    xm_writer::SampleData sample = eightBitSample(wave);
    sample.name = "saw wave";
    sample.loop = xm_writer::LoopKind::Forward;
    sample.loopLength = 64;
    module.instruments[0].samples = {sample};
    module.instruments[0].name = "lead";
    return module;
}

// `rows` rows of one channel at speed 1, nothing else.
inline xm_writer::ModuleData emptySong(int orders, int rows) {
    xm_writer::ModuleData module = basicModule();
    module.channelCount = 1;
    module.defaultSpeed = 1;
    module.orders.clear();
    module.patterns.clear();
    for (int order = 0; order < orders; ++order) {
        module.orders.push_back(static_cast<uint8_t>(order));
        module.patterns.push_back(xm_writer::PatternData{rows, std::vector<xm_writer::Cell>(static_cast<size_t>(rows))});
    }
    return module;
}

}  // namespace api_test_songs
