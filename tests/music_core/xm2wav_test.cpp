// The xm2wav command-line tool, run as a child process on songs written by the test.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

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
        std::ofstream(path(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    std::vector<uint8_t> readFile(const std::string& name) const {
        std::ifstream file(path(name), std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
    }

    // Runs xm2wav with stderr captured; returns its exit status.
    int run(const std::string& arguments) {
        const int status = std::system((XM2WAV_PATH " " + arguments + " 2>'" + path("stderr.txt") + "'").c_str());
        const std::vector<uint8_t> text = readFile("stderr.txt");
        errors_.assign(text.begin(), text.end());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Frames of sound in a written WAV file, after checking its header: PCM, stereo, 44100 Hz, 16 bits.
    int64_t wavFrames(const std::string& name) {
        const std::vector<uint8_t> bytes = readFile(name);
        if (bytes.size() < 44) return -1;
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
        EXPECT_EQ(get32(bytes, 4), bytes.size() - 8);
        EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 16), "WAVEfmt ");
        const std::vector<uint32_t> format = {get16(bytes, 20), get16(bytes, 22), get32(bytes, 24),
                                              get32(bytes, 28), get16(bytes, 32), get16(bytes, 34)};
        EXPECT_EQ(format, (std::vector<uint32_t>{1, 2, 44100, 176400, 4, 16}));
        EXPECT_EQ(std::string(bytes.begin() + 36, bytes.begin() + 40), "data");
        EXPECT_EQ(get32(bytes, 40), bytes.size() - 44);
        return static_cast<int64_t>(bytes.size() - 44) / 4;
    }

    std::string folder_;
    std::string errors_;
};

// Two 4-row patterns of two channels at speed 1 (882 frames a row), a note at the start.
xm_writer::ModuleData shortSong() {
    xm_writer::ModuleData module = basicModule();
    module.defaultSpeed = 1;
    module.orders = {0, 1};
    module.patterns.assign(2, xm_writer::PatternData{4, std::vector<xm_writer::Cell>(8)});
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

// Without --seconds one pass is rendered: it ends where the song first returns to a row it has played.
TEST_F(Xm2wavTest, StopsAfterOnePass) {
    struct Placed {
        int pattern, index;
        xm_writer::Cell cell;
    };
    struct Case {
        const char* rule;
        std::vector<uint8_t> orders;
        std::vector<Placed> cells;
        int rows;
    };
    const Case cases[] = {
        {"the end of the orders goes back to the restart position", {0, 1}, {}, 8},
        {"a jump back from the last row: order 0 once, order 1 once", {0, 1, 0}, {{1, 7, {0, 0, 0, 0x0B, 1}}}, 8},
        {"rows repeated by a pattern loop are not a return: row 0, then rows 1..3 three times", {0},
         {{0, 2, {0, 0, 0, 0x0E, 0x60}}, {0, 6, {0, 0, 0, 0x0E, 0x62}}}, 10},
    };
    for (const Case& given : cases) {
        SCOPED_TRACE(given.rule);
        xm_writer::ModuleData module = shortSong();
        module.orders = given.orders;
        for (const Placed& at : given.cells) module.patterns[at.pattern].cells[at.index] = at.cell;
        writeFile("song.xm", xm_writer::writeModule(module));
        ASSERT_EQ(run(path("song.xm") + " " + path("out.wav")), 0) << errors_;
        EXPECT_EQ(wavFrames("out.wav"), given.rows * 882);
    }
}

// A file that does not load, cannot be read or written ends with status 1 and says why; bad arguments give status 2.
TEST_F(Xm2wavTest, ReportsFailures) {
    writeFile("text.xm", std::vector<uint8_t>(400, 'x'));
    writeFile("song.xm", xm_writer::writeModule(shortSong()));
    const struct {
        std::string arguments;
        int status;
        const char* message;
    } cases[] = {
        {path("text.xm") + " " + path("out.wav"), 1, "does not load"},
        {path("missing.xm") + " " + path("out.wav"), 1, "cannot read"},
        {path("song.xm") + " /nonexistent-folder/out.wav", 1, "cannot create"},
        {path("only-one-argument.xm"), 2, "usage"},
        {"--seconds -3 a.xm b.wav", 2, "--seconds needs"},
    };
    for (const auto& given : cases) {
        EXPECT_EQ(run(given.arguments), given.status) << given.arguments;
        EXPECT_NE(errors_.find(given.message), std::string::npos) << errors_;
    }
}
