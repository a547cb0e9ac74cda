// Choosing the interpolation through the library: the default, what is
// refused, and that a chosen mode stays through everything that moves the song.
// The sound of each mode is measured by tests/interpolation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include "intro_music.h"
#include "intro_music_c.h"
#include "test_modules.h"
#include "xm_writer.h"

using namespace test_modules;
namespace im = intro_music;

namespace {

// Three orders of 16 rows, a bright looped note every 4 rows: every mode
// sounds different from every other all the way through, seeks included.
std::vector<uint8_t> noteSong() {
    xm_writer::ModuleData module;
    module.channelCount = 2;
    module.flags = 1;
    module.orders = {0, 0, 0};
    module.patterns.assign(1, xm_writer::PatternData{16, std::vector<xm_writer::Cell>(32)});
    for (size_t row = 0; row < 16; row += 4) module.patterns[0].cells[2 * row] = xm_writer::Cell{61, 1};
    xm_writer::SampleData sample;
    sample.sixteenBit = true;
    for (int frame = 0; frame < 64; ++frame) {
        sample.frames.push_back(static_cast<int16_t>(frame % 16 < 5 ? 12000 : -7000 + 300 * (frame % 7)));
    }
    sample.loop = xm_writer::LoopKind::Forward;
    sample.loopLength = 64;
    xm_writer::InstrumentData instrument;
    instrument.samples = {sample};
    module.instruments = {instrument};
    return xm_writer::writeModule(module);
}

std::vector<int16_t> renderFrames(im::Module* module, int32_t frames) {
    std::vector<int16_t> pcm(static_cast<size_t>(frames) * 2);
    pcm.resize(static_cast<size_t>(im::render(module, pcm.data(), frames)) * 2);
    return pcm;
}

TEST(Interpolation, ModulesStartLinearAndTheCAndCppReadersAgree) {
    const std::vector<uint8_t> bytes = noteSong();
    const ModulePointer module = loadBytes(bytes);
    EXPECT_EQ(im::interpolation(module.get()), im::Interpolation::Linear);
    EXPECT_EQ(im::interpolation(nullptr), im::Interpolation::Linear);
    const auto* cModule = reinterpret_cast<const intro_music_module*>(module.get());
    for (const auto mode : {im::Interpolation::Sinc, im::Interpolation::Nearest, im::Interpolation::Cubic}) {
        ASSERT_TRUE(im::setInterpolation(module.get(), mode, nullptr));
        EXPECT_EQ(intro_music_interpolation(cModule), static_cast<int32_t>(mode));
    }
}

// Each row: a value outside the modes, refused with the reason and changing nothing.
TEST(Interpolation, UnknownModesAreRefusedWithTheReasonAndChangeNothing) {
    const std::vector<uint8_t> bytes = noteSong();
    const ModulePointer module = loadBytes(bytes);
    ASSERT_TRUE(im::setInterpolation(module.get(), im::Interpolation::Cubic, nullptr));
    for (const int32_t value : {-1, 4, 255, INT32_MIN}) {
        im::Error error{};
        EXPECT_FALSE(im::setInterpolation(module.get(), static_cast<im::Interpolation>(value), &error)) << value;
        EXPECT_EQ(error.code, im::ErrorCode::InvalidArgument);
        EXPECT_NE(std::strstr(error.message, "unknown interpolation"), nullptr) << error.message;
        intro_music_error cError{};
        EXPECT_EQ(intro_music_set_interpolation(reinterpret_cast<intro_music_module*>(module.get()), value, &cError), 0);
        EXPECT_EQ(cError.code, INTRO_MUSIC_INVALID_ARGUMENT);
        EXPECT_EQ(im::interpolation(module.get()), im::Interpolation::Cubic);
    }
    im::Error error{};
    EXPECT_FALSE(im::setInterpolation(nullptr, im::Interpolation::Sinc, &error));
    EXPECT_EQ(error.code, im::ErrorCode::InvalidArgument);
}

// Each row: something that moves the song. After it, a module in sinc mode
// still says so and still sounds unlike the same song moved in linear mode.
TEST(Interpolation, TheModeStaysThroughSeeksRestartsRulesAndRateChanges) {
    const std::vector<uint8_t> bytes = noteSong();
    const struct {
        const char* what;
        std::function<void(im::Module*)> move;
    } moves[] = {
        {"seek to a time", [](im::Module* m) { im::seekToTime(m, 1.3, nullptr); }},
        {"seek to an order", [](im::Module* m) { im::seekToOrder(m, 2, nullptr); }},
        {"seek to a row", [](im::Module* m) { im::seekToRow(m, 1, 3, nullptr); }},
        {"restart", [](im::Module* m) { im::restart(m); }},
        {"rules", [](im::Module* m) { im::setRules(m, im::Rules::Presentation, nullptr); }},
        {"rate", [](im::Module* m) { im::setOutputRate(m, 48000, nullptr); }},
    };
    constexpr int32_t frames = 8000;
    for (const auto& row : moves) {
        const ModulePointer sinc = loadBytes(bytes);
        ASSERT_TRUE(im::setInterpolation(sinc.get(), im::Interpolation::Sinc, nullptr));
        const ModulePointer linear = loadBytes(bytes);
        for (im::Module* module : {sinc.get(), linear.get()}) {
            renderFrames(module, 3000);
            row.move(module);
        }
        EXPECT_EQ(im::interpolation(sinc.get()), im::Interpolation::Sinc) << row.what;
        EXPECT_EQ(im::interpolation(linear.get()), im::Interpolation::Linear) << row.what;
        const std::vector<int16_t> heard = renderFrames(sinc.get(), frames);
        ASSERT_EQ(heard.size(), size_t{2 * frames}) << row.what;
        EXPECT_NE(heard, renderFrames(linear.get(), frames)) << row.what;
    }
}

}  // namespace
