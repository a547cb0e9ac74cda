#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "test_songs.h"
#include "xm_writer.h"

using namespace test_songs;

namespace {

class Xm2wavTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/xm2wav-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + folder_ + "'").c_str()); }

    std::string path(const std::string& name) const { return folder_ + "/" + name; }

    void writeFile(const std::string& name, const std::vector<uint8_t>& bytes) const {
        std::ofstream file(path(name), std::ios::binary);
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    std::vector<uint8_t> readFile(const std::string& name) const {
        std::ifstream file(path(name), std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
    }

    // Runs xm2wav with stderr captured; returns its exit status.
    int run(const std::string& arguments) {
        const std::string command = std::string(XM2WAV_PATH) + " " + arguments + " 2>'" + path("stderr.txt") + "'";
        const int status = std::system(command.c_str());
        const std::vector<uint8_t> text = readFile("stderr.txt");
        errors_.assign(text.begin(), text.end());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Frames of sound in a written WAV file, after checking its header.
    int64_t wavFrames(const std::string& name) {
        const std::vector<uint8_t> bytes = readFile(name);
        EXPECT_GE(bytes.size(), 44u);
        if (bytes.size() < 44) return -1;
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
        EXPECT_EQ(get32(bytes, 4), bytes.size() - 8);
        EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 16), "WAVEfmt ");
        EXPECT_EQ(get16(bytes, 20), 1);       // PCM
        EXPECT_EQ(get16(bytes, 22), 2);       // stereo
        EXPECT_EQ(get32(bytes, 24), 44100u);  // frames per second
        EXPECT_EQ(get32(bytes, 28), 176400u);
        EXPECT_EQ(get16(bytes, 32), 4);
        EXPECT_EQ(get16(bytes, 34), 16);
        EXPECT_EQ(std::string(bytes.begin() + 36, bytes.begin() + 40), "data");
        EXPECT_EQ(get32(bytes, 40), bytes.size() - 44);
        return static_cast<int64_t>(bytes.size() - 44) / 4;
    }

    std::string folder_;
    std::string errors_;
};

// Two 4-row patterns at speed 1; the cells of the last row of order 1 are given by the test.
xm_writer::ModuleData shortSong() {
    xm_writer::ModuleData module = basicModule();
    module.channelCount = 2;
    module.defaultSpeed = 1;
    module.orders = {0, 1};
    module.patterns.assign(2, xm_writer::PatternData{});
    for (auto& pattern : module.patterns) {
        pattern.rowCount = 4;
        pattern.cells.resize(8);
    }
    module.patterns[0].cells[0] = xm_writer::Cell{49, 1};
    return module;
}

}  // namespace

// --seconds N writes exactly N x 44100 frames under a correct RIFF header; nothing is printed off a terminal.
TEST_F(Xm2wavTest, RendersRequestedSeconds) {
    writeFile("song.xm", xm_writer::writeModule(shortSong()));
    ASSERT_EQ(run("--seconds 1.5 " + path("song.xm") + " " + path("out.wav")), 0) << errors_;
    EXPECT_EQ(wavFrames("out.wav"), 66150);
    EXPECT_EQ(errors_, "");
}

// Without --seconds one pass is rendered: it ends where the song returns to its restart position.
TEST_F(Xm2wavTest, StopsAfterOnePass) {
    writeFile("song.xm", xm_writer::writeModule(shortSong()));
    ASSERT_EQ(run(path("song.xm") + " " + path("out.wav")), 0) << errors_;
    EXPECT_EQ(wavFrames("out.wav"), 8 * 882);

    // A jump back to order 1 from the last row: order 0 once, order 1 once.
    xm_writer::ModuleData jumping = shortSong();
    jumping.orders = {0, 1, 0};
    jumping.patterns[1].cells[7] = xm_writer::Cell{0, 0, 0, 0x0B, 0x01};
    writeFile("jump.xm", xm_writer::writeModule(jumping));
    ASSERT_EQ(run(path("jump.xm") + " " + path("jump.wav")), 0) << errors_;
    EXPECT_EQ(wavFrames("jump.wav"), 8 * 882);
}

// Rows repeated by a pattern loop are not a return: the loop plays out before the pass ends.
TEST_F(Xm2wavTest, PatternLoopsAreNotAReturn) {
    xm_writer::ModuleData looping = shortSong();
    looping.orders = {0};
    looping.patterns[0].cells[2] = xm_writer::Cell{0, 0, 0, 0x0E, 0x60};  // loop start at row 1
    looping.patterns[0].cells[6] = xm_writer::Cell{0, 0, 0, 0x0E, 0x62};  // row 3: back twice
    writeFile("loop.xm", xm_writer::writeModule(looping));
    ASSERT_EQ(run(path("loop.xm") + " " + path("loop.wav")), 0) << errors_;
    // Rows 0, then 1..3 three times.
    EXPECT_EQ(wavFrames("loop.wav"), 10 * 882);
}

// A file that does not load, or cannot be read, ends with status 1 and says why; bad arguments give the usage.
TEST_F(Xm2wavTest, ReportsFailures) {
    writeFile("text.xm", std::vector<uint8_t>(400, 'x'));
    EXPECT_EQ(run(path("text.xm") + " " + path("out.wav")), 1);
    EXPECT_NE(errors_.find("does not load"), std::string::npos) << errors_;
    EXPECT_EQ(run(path("missing.xm") + " " + path("out.wav")), 1);
    EXPECT_NE(errors_.find("cannot read"), std::string::npos) << errors_;
    EXPECT_EQ(run(path("only-one-argument.xm")), 2);
    EXPECT_NE(errors_.find("usage"), std::string::npos) << errors_;
    EXPECT_EQ(run("--seconds -3 a.xm b.wav"), 2);
    writeFile("song.xm", xm_writer::writeModule(shortSong()));
    EXPECT_EQ(run(path("song.xm") + " /nonexistent-folder/out.wav"), 1);
    EXPECT_NE(errors_.find("cannot create"), std::string::npos) << errors_;
}
