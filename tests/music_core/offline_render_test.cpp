// Offline rendering: the same mixer path driven block by block without an audio device.
#include <gtest/gtest.h>

#include <vector>

#include "mixer.h"
#include "music_engine.h"
#include "offline_render.h"
#include "song.h"
#include "test_songs.h"
#include "xm_writer.h"

using namespace intro_music::engine;

using namespace test_songs;

namespace {

// One channel, speed 1: a looping square wave note starts on the given row and plays on.
std::vector<uint8_t> noteOnRow(int row, uint8_t note) {
    xm_writer::ModuleData module = basicModule();
    module.channelCount = 1;
    module.defaultSpeed = 1;
    module.patterns[0] = {16, std::vector<xm_writer::Cell>(16)};
    module.patterns[0].cells[static_cast<size_t>(row)] = xm_writer::Cell{note, 1};
    std::vector<int16_t> square(64);
    for (size_t index = 0; index < square.size(); ++index) square[index] = index < 32 ? 100 : -100;
    xm_writer::SampleData sample = eightBitSample(square);
    sample.loop = xm_writer::LoopKind::Forward;
    sample.loopLength = 64;
    module.instruments[0].samples = {sample};
    return xm_writer::writeModule(module);
}

std::vector<uint8_t> noteOnSecondRow() { return noteOnRow(1, 49); }

std::vector<int16_t> renderBlocks(OfflineRender* render, int blocks) {
    std::vector<int16_t> pcm;
    for (int block = 0; block < blocks; ++block) {
        const int16_t* frames = renderOfflineBlock(render);
        EXPECT_NE(frames, nullptr);
        if (frames == nullptr) break;
        pcm.insert(pcm.end(), frames, frames + blockLength * outputChannelCount);
    }
    return pcm;
}

}  // namespace

// Rendering starts from the song's beginning: silence until the note's row, sound after, the same every time.
TEST(OfflineRender, StartsFromTheBeginningEveryTime) {
    const SongPointer song = load(noteOnSecondRow());
    ASSERT_NE(song, nullptr);
    OfflineRender* render = beginOfflineRender(song.get());
    ASSERT_NE(render, nullptr);
    const std::vector<int16_t> first = renderBlocks(render, 20);
    endOfflineRender(render);
    for (int sample = 0; sample < 882 * 2; ++sample) ASSERT_EQ(first[sample], 0) << sample;
    int loud = 0;
    for (size_t sample = 882 * 2 + 256; sample < first.size(); ++sample) loud += first[sample] != 0 ? 1 : 0;
    EXPECT_GT(loud, 10000);
    EXPECT_GT(song->orderPosition + song->row, 0);

    render = beginOfflineRender(song.get());
    EXPECT_EQ(song->row, 0);
    EXPECT_EQ(song->framesLeftInTick, 0);
    EXPECT_EQ(offlineRenderEngine(render)->voices[0].sample, nullptr);
    EXPECT_EQ(renderBlocks(render, 20), first);
    endOfflineRender(render);
}

// Null renders and songs are refused; two renders of two songs side by side each give their solo bytes.
TEST(OfflineRender, RendersShareNothing) {
    EXPECT_EQ(beginOfflineRender(nullptr), nullptr);
    EXPECT_EQ(renderOfflineBlock(nullptr), nullptr);
    EXPECT_EQ(offlineRenderEngine(nullptr), nullptr);
    endOfflineRender(nullptr);
    const SongPointer first = load(noteOnSecondRow());
    const SongPointer second = load(noteOnRow(0, 61));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);

    OfflineRender* solo = beginOfflineRender(first.get());
    const std::vector<int16_t> firstAlone = renderBlocks(solo, 20);
    endOfflineRender(solo);
    solo = beginOfflineRender(second.get());
    const std::vector<int16_t> secondAlone = renderBlocks(solo, 20);
    endOfflineRender(solo);
    ASSERT_NE(firstAlone, secondAlone);

    OfflineRender* one = beginOfflineRender(first.get());
    OfflineRender* two = beginOfflineRender(second.get());
    std::vector<int16_t> firstTogether;
    std::vector<int16_t> secondTogether;
    for (int block = 0; block < 20; ++block) {  // interleaved block by block
        const std::vector<int16_t> a = renderBlocks(one, 1);
        const std::vector<int16_t> b = renderBlocks(two, 1);
        firstTogether.insert(firstTogether.end(), a.begin(), a.end());
        secondTogether.insert(secondTogether.end(), b.begin(), b.end());
    }
    endOfflineRender(one);
    endOfflineRender(two);
    EXPECT_EQ(firstTogether, firstAlone);
    EXPECT_EQ(secondTogether, secondAlone);
}

// Set-finetune (E5x) changes the sample as it plays; a new start (the presentation's M, the library's restart, a
// capture) goes through the engine's song start and sounds exactly as the first start did.
TEST(OfflineRender, ASecondStartSoundsAsTheFirstAfterSetFinetune) {
    SongPointer song = load(noteOnRow(0, 49));
    ASSERT_NE(song, nullptr);
    // Row 1 sets finetune 15; row 2 plays the note again, now with it.
    song->patterns[0].cells[1] = Cell{0, 0, 0, 0x0E, 0x5F};
    song->patterns[0].cells[2] = Cell{49, 1, 0, 0, 0};
    std::vector<int16_t> starts[2];
    for (std::vector<int16_t>& heard : starts) {
        OfflineRender* render = beginOfflineRender(song.get());
        ASSERT_NE(render, nullptr);
        heard = renderBlocks(render, 10);
        endOfflineRender(render);
    }
    EXPECT_NE(song->instruments[0].samples[0]->finetune, 0) << "the effect played";
    EXPECT_TRUE(starts[0] == starts[1]) << "the second start plays the sample as loaded";
}
