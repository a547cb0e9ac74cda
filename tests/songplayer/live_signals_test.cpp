// The live library leaves SIGINT and SIGTERM to the program: a program
// without handlers still ends on Ctrl-C and kill while a song plays, and a
// program with its own keeps them.
#include <gtest/gtest.h>

#include <csignal>
#include <vector>

#include "intro_music.h"
#include "intro_music_live.h"
#include "xm_writer.h"

namespace {

extern "C" void programHandler(int) {}

void (*currentHandler(int signal))(int) {
    struct sigaction action {};
    sigaction(signal, nullptr, &action);
    return action.sa_handler;
}

std::vector<uint8_t> oneRowSong() {
    xm_writer::ModuleData module;
    module.channelCount = 2;
    module.orders = {0};
    module.patterns.assign(1, xm_writer::PatternData{1, {}});
    return xm_writer::writeModule(module);
}

}  // namespace

TEST(LiveSignals, StayTheProgramsWhileASongPlays) {
    const std::vector<uint8_t> bytes = oneRowSong();
    intro_music::Module* module = intro_music::loadFromMemory(bytes.data(), bytes.size(), nullptr);
    ASSERT_NE(module, nullptr);
    std::signal(SIGTERM, programHandler);
    for (int round = 0; round < 2; ++round) {  // the second start finds SDL's audio already used once
        intro_music::Error error{};
        intro_music::LivePlayer* live = intro_music::startLive(module, &error);
        ASSERT_NE(live, nullptr) << error.message;
        EXPECT_EQ(currentHandler(SIGINT), SIG_DFL) << "no handler of the program: Ctrl-C still ends it";
        EXPECT_EQ(currentHandler(SIGTERM), &programHandler) << "the program's own handler stays";
        intro_music::stopLive(live);
    }
    intro_music::freeModule(module);
}
