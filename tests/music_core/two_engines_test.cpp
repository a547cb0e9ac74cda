// Engines share nothing: two songs rendered at the same time on two threads
// give exactly the bytes each gives alone. Also built under ThreadSanitizer.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "mixer.h"
#include "offline_render.h"
#include "song.h"
#include "test_songs.h"
#include "xm_writer.h"

using namespace intro_music::engine;

using namespace test_songs;

namespace {

constexpr int renderedBlocks = 300;  // six seconds: many rows, notes and voice swaps

// Four channels of looping saw notes on every other row, a different melody per seed.
std::vector<uint8_t> busySong(int seed) {
    xm_writer::ModuleData module = basicModule();
    module.channelCount = 4;
    module.defaultSpeed = static_cast<uint16_t>(3 + seed);
    module.patterns[0] = {32, std::vector<xm_writer::Cell>(32 * 4)};
    for (int row = 0; row < 32; row += 2) {
        for (int channel = 0; channel < 4; ++channel) {
            const auto note = static_cast<uint8_t>(25 + (row * 7 + channel * 5 + seed * 11) % 48);
            module.patterns[0].cells[static_cast<size_t>(row * 4 + channel)] = xm_writer::Cell{note, 1};
        }
    }
    std::vector<int16_t> saw(256);
    for (size_t index = 0; index < saw.size(); ++index) saw[index] = static_cast<int16_t>(static_cast<int>(index) - 128);
    xm_writer::SampleData sample = eightBitSample(saw);
    sample.loop = xm_writer::LoopKind::Forward;
    sample.loopLength = 256;
    module.instruments[0].samples = {sample};
    return xm_writer::writeModule(module);
}

std::vector<int16_t> render(Song* song) {
    std::vector<int16_t> pcm;
    OfflineRender* render = beginOfflineRender(song);
    for (int block = 0; block < renderedBlocks && render != nullptr; ++block) {
        const int16_t* frames = renderOfflineBlock(render);
        pcm.insert(pcm.end(), frames, frames + blockLength * outputChannelCount);
    }
    endOfflineRender(render);
    return pcm;
}

}  // namespace

// Each song's bytes alone, then both songs on two threads at once: the same bytes, song for song.
TEST(TwoEngines, ConcurrentRendersGiveTheirSoloBytes) {
    const SongPointer first = load(busySong(0));
    const SongPointer second = load(busySong(1));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    const std::vector<int16_t> firstAlone = render(first.get());
    const std::vector<int16_t> secondAlone = render(second.get());
    ASSERT_EQ(firstAlone.size(), size_t{renderedBlocks} * blockLength * outputChannelCount);
    ASSERT_NE(firstAlone, secondAlone);

    for (int round = 0; round < 3; ++round) {
        std::vector<int16_t> firstTogether;
        std::vector<int16_t> secondTogether;
        std::thread one([&] { firstTogether = render(first.get()); });
        std::thread two([&] { secondTogether = render(second.get()); });
        one.join();
        two.join();
        EXPECT_EQ(firstTogether, firstAlone) << "round " << round;
        EXPECT_EQ(secondTogether, secondAlone) << "round " << round;
    }
}
