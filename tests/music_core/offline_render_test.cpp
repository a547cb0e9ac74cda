// Offline rendering: the same mixer path driven block by block without an audio device.
#include <gtest/gtest.h>

#include <vector>

#include "mixer.h"
#include "offline_render.h"
#include "song.h"
#include "test_songs.h"
#include "xm_writer.h"

using namespace test_songs;

namespace {

// One channel, speed 1: a looping square wave note starts on row 1 and plays on.
std::vector<uint8_t> noteOnSecondRow() {
    xm_writer::ModuleData module = basicModule();
    module.channelCount = 1;
    module.defaultSpeed = 1;
    module.patterns[0] = {16, std::vector<xm_writer::Cell>(16)};
    module.patterns[0].cells[1] = xm_writer::Cell{49, 1};
    std::vector<int16_t> square(64);
    for (size_t index = 0; index < square.size(); ++index) square[index] = index < 32 ? 100 : -100;
    xm_writer::SampleData sample = eightBitSample(square);
    sample.loop = xm_writer::LoopKind::Forward;
    sample.loopLength = 64;
    module.instruments[0].samples = {sample};
    return xm_writer::writeModule(module);
}

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
    EXPECT_EQ(mixerVoices()[0].sample, nullptr);
    EXPECT_EQ(renderBlocks(render, 20), first);
    endOfflineRender(render);
}

// A render that another render has taken the mixer from yields nothing, and ending it leaves the other one alone.
TEST(OfflineRender, OneDriverAtATime) {
    EXPECT_EQ(beginOfflineRender(nullptr), nullptr);
    EXPECT_EQ(renderOfflineBlock(nullptr), nullptr);
    endOfflineRender(nullptr);
    const SongPointer song = load(noteOnSecondRow());
    ASSERT_NE(song, nullptr);
    OfflineRender* stale = beginOfflineRender(song.get());
    OfflineRender* current = beginOfflineRender(song.get());
    EXPECT_EQ(renderOfflineBlock(stale), nullptr);
    endOfflineRender(stale);
    EXPECT_NE(renderOfflineBlock(current), nullptr);
    endOfflineRender(current);
    EXPECT_EQ(mixerOutput().song, nullptr);
}
