// Stereo placement: panning 0 is the left side, 255 the right, as the format defines it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "mixer.h"
#include "offline_render.h"
#include "song.h"
#include "test_songs.h"
#include "xm_writer.h"

using namespace intro_music::engine;

using namespace test_songs;

namespace {

constexpr int16_t dcLevel = 64;        // 8-bit frames: 64 x 256 = 16384 in the mix
constexpr int settledFrame = 600;      // past the 128-frame ramp of the note's start
constexpr int checkedFrames = 200;

// One channel playing one looped constant sample at full volume with the given panning.
std::vector<uint8_t> pannedSong(uint8_t panning) {
    xm_writer::ModuleData module = basicModule();
    module.channelCount = 1;
    module.patterns[0] = {1, {xm_writer::Cell{49, 1}}};
    xm_writer::SampleData sample = eightBitSample(std::vector<int16_t>(256, dcLevel));
    sample.loop = xm_writer::LoopKind::Forward;
    sample.loopLength = 256;
    sample.panning = panning;
    module.instruments[0].samples = {sample};
    return xm_writer::writeModule(module);
}

struct SideLevels {
    int left;
    int right;
};

// Left and right output levels of every frame in the settled stretch of the first block (they must not move).
SideLevels renderedLevels(uint8_t panning) {
    const SongPointer song = load(pannedSong(panning));
    EXPECT_NE(song, nullptr);
    if (song == nullptr) return {-1, -1};
    OfflineRender* render = beginOfflineRender(song.get());
    const int16_t* frames = renderOfflineBlock(render);
    SideLevels levels{frames[settledFrame * 2], frames[settledFrame * 2 + 1]};
    for (int frame = settledFrame; frame < settledFrame + checkedFrames; ++frame) {
        EXPECT_EQ(frames[frame * 2], levels.left) << "frame " << frame;
        EXPECT_EQ(frames[frame * 2 + 1], levels.right) << "frame " << frame;
    }
    endOfflineRender(render);
    return levels;
}

}  // namespace

// Final volume 127; the left target is 127 x (255 - pan) / 255 and the right one 127 x pan / 255 (integer
// divisions), each side then 16384 x target / 255.
TEST(Stereo, PanningPlacesTheVoiceBetweenLeftAndRight) {
    struct Case {
        const char* rule;
        uint8_t panning;
        SideLevels expected;
    };
    const Case cases[] = {
        {"panning 0 is wholly left (target 127 left, 0 right)", 0, {8160, 0}},
        {"panning 64 leans left (targets 95 and 31)", 64, {6104, 1992}},
        {"panning 192 leans right (targets 31 and 95)", 192, {1992, 6104}},
        {"panning 255 is wholly right (target 0 left, 127 right)", 255, {0, 8160}},
    };
    for (const Case& rule : cases) {
        const SideLevels levels = renderedLevels(rule.panning);
        // One unit of slack for the single-precision gain.
        EXPECT_LE(std::abs(levels.left - rule.expected.left), 1) << rule.rule << ": left " << levels.left;
        EXPECT_LE(std::abs(levels.right - rule.expected.right), 1) << rule.rule << ": right " << levels.right;
    }
}
