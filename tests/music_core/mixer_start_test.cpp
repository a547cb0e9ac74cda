// The mixer as a program starts: a render from a static constructor (which
// may run before the library's own initialisers) works, and the path chosen
// without being asked is the widest this CPU runs. Its own program, so that
// nothing has rendered or chosen a path before.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "intro_music.h"
#include "mixer.h"
#include "mixer_avx2.h"
#include "test_songs.h"

using namespace test_songs;

namespace {

// A looping square wave played from row 0.
std::vector<uint8_t> soundingSong() {
    xm_writer::ModuleData module = basicModule();
    xm_writer::SampleData& sample = module.instruments[0].samples[0];
    sample.frames.assign(64, 100);
    std::fill(sample.frames.begin() + 32, sample.frames.end(), -100);
    sample.loop = xm_writer::LoopKind::Forward;
    sample.loopLength = 64;
    module.patterns[0].cells.assign(128, xm_writer::Cell{});
    module.patterns[0].cells[0] = xm_writer::Cell{49, 1};
    return xm_writer::writeModule(module);
}

// What a user's static object might do: render before main.
struct RenderedBeforeMain {
    int peak = -1;
    RenderedBeforeMain() {
        const std::vector<uint8_t> bytes = soundingSong();
        intro_music::Module* module = intro_music::loadFromMemory(bytes.data(), bytes.size(), nullptr);
        if (module == nullptr) return;
        std::vector<int16_t> frames(2 * 4096);
        const int32_t count = intro_music::render(module, frames.data(), 4096);
        peak = 0;
        for (int32_t index = 0; index < 2 * count; ++index) peak = std::max(peak, std::abs(int{frames[index]}));
        intro_music::freeModule(module);
    }
};

RenderedBeforeMain renderedBeforeMain;

}  // namespace

TEST(MixerStart, RendersFromAStaticConstructor) { EXPECT_GT(renderedBeforeMain.peak, 0); }

TEST(MixerStart, TheWidestPathThisCpuRunsIsChosen) {
    using intro_music::engine::MixerPath;
#if INTRO_MIXER_HAS_AVX2
    const MixerPath widest = intro_music::engine::cpuRunsAvx2() ? MixerPath::Avx2 : MixerPath::Baseline;
#else
    const MixerPath widest = MixerPath::Baseline;
#endif
    EXPECT_EQ(intro_music::engine::mixerPath(), widest);
}
