// The trace_dump tool, run as a child process: its lines, idle channels and
// the same handling of odd arguments and files as xm2wav.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "test_songs.h"
#include "xm_writer.h"

using namespace test_songs;

namespace {

class TraceDumpTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/trace-dump-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::string path(const std::string& name) const { return folder_ + "/" + name; }

    void writeFile(const std::string& name, const std::vector<uint8_t>& bytes) const {
        std::ofstream(path(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    std::string readText(const std::string& name) const {
        std::ifstream file(path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }

    int run(const std::string& arguments) {
        const int status = std::system((TRACE_DUMP_PATH " " + arguments + " >'" + path("stdout.txt") + "' 2>'" +
                                        path("stderr.txt") + "'")
                                           .c_str());
        output_ = readText("stdout.txt");
        errors_ = readText("stderr.txt");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string folder_;
    std::string output_;
    std::string errors_;
};

}  // namespace

// A channel playing C-0 on instrument 1 and a channel that never played anything print differently.
TEST_F(TraceDumpTest, IdleChannelIsShownAsIdle) {
    xm_writer::ModuleData module = basicModule();
    module.patterns[0] = {4, std::vector<xm_writer::Cell>(8)};
    module.patterns[0].cells[0] = xm_writer::Cell{1, 1};  // C-0, instrument 1, channel 0
    xm_writer::SampleData sample = eightBitSample(std::vector<int16_t>(64, 100));
    sample.loop = xm_writer::LoopKind::Forward;
    sample.loopLength = 64;
    module.instruments[0].samples = {sample};
    writeFile("song.xm", xm_writer::writeModule(module));
    ASSERT_EQ(run("--ticks 3 " + path("song.xm")), 0) << errors_;
    std::istringstream lines(output_);
    std::string first;
    std::getline(lines, first);
    EXPECT_EQ(first.substr(0, 10), "  0   0  0");
    const size_t channel0 = first.find(" | ");
    const size_t channel1 = first.find(" | ", channel0 + 1);
    ASSERT_NE(channel1, std::string::npos) << first;
    EXPECT_EQ(first.substr(channel0, 10), " | C-0 01 ") << first;
    EXPECT_EQ(first.substr(channel1, 10), " | idle   ") << first;
    EXPECT_NE(first.find("> --- -----", channel1), std::string::npos) << first;
    EXPECT_EQ(std::count(output_.begin(), output_.end(), '\n'), 3);
}

// Help and version on standard output with status 0; argument errors status 2; file errors one line, status 1.
TEST_F(TraceDumpTest, OddInputs) {
    writeFile("empty.xm", {});
    writeFile("text.xm", std::vector<uint8_t>(400, 'x'));
    std::filesystem::create_directory(path("folder.xm"));
    const struct {
        const char* rule;
        std::string arguments;
        int status;
        const char* message;
    } cases[] = {
        {"help", "--help", 0, "usage: trace_dump"},
        {"version", "--version", 0, "trace_dump 1.1"},
        {"no song", "", 2, "give one song"},
        {"two songs", "a.xm b.xm", 2, "give one song"},
        {"unknown option named", "--frobnicate a.xm", 2, "unknown option '--frobnicate'"},
        {"bad tick count", "--ticks many a.xm", 2, "--ticks needs"},
        {"bad channel range", "--channels 3-1 a.xm", 2, "--channels needs"},
        {"a channel past the last", "--channels 32 a.xm", 2, "--channels needs"},
        {"a channel and rubbish", "--channels 3x a.xm", 2, "--channels needs"},
        {"the help names the bases", "--help", 0, "instrument is hexadecimal"},
        {"missing song", path("missing.xm"), 1, "no such file"},
        {"a folder", path("folder.xm"), 1, "is a folder"},
        {"an empty file", path("empty.xm"), 1, "is empty"},
        {"not a song", path("text.xm"), 1, "not an Extended Module song"},
    };
    for (const auto& given : cases) {
        SCOPED_TRACE(given.rule);
        EXPECT_EQ(run(given.arguments), given.status);
        const std::string& shown = given.status == 0 ? output_ : errors_;
        EXPECT_NE(shown.find(given.message), std::string::npos) << shown;
        if (given.status == 1) {
            EXPECT_EQ(std::count(errors_.begin(), errors_.end(), '\n'), 1) << errors_;
            EXPECT_EQ(output_, "");
        }
    }
}

// Channels the song does not have are named, not traced as empty columns:
// none left is a usage error, some left a warning beside the trace.
TEST_F(TraceDumpTest, ChannelsBeyondTheSongsAreNamed) {
    writeFile("song.xm", xm_writer::writeModule(basicModule()));  // two channels
    const struct {
        const char* rule;
        const char* channels;
        int status;
        const char* message;
        long columns;
    } cases[] = {
        {"only channels past the song's", "6", 2, "the song has 2 channels (0 to 1); --channels 6-6 shows none", 0},
        {"a range reaching past the song's", "1-5", 0, "warning: the song has 2 channels (0 to 1)", 1},
        {"the song's own channels: no warning", "0-1", 0, "", 2},
    };
    for (const auto& given : cases) {
        SCOPED_TRACE(given.rule);
        EXPECT_EQ(run("--ticks 1 --channels " + std::string(given.channels) + " " + path("song.xm")), given.status);
        EXPECT_NE(errors_.find(given.message), std::string::npos) << errors_;
        EXPECT_EQ(errors_.empty(), given.message[0] == '\0') << errors_;
        size_t columns = 0;
        for (size_t at = output_.find(" | "); at != std::string::npos; at = output_.find(" | ", at + 1)) ++columns;
        EXPECT_EQ(static_cast<long>(columns), given.columns) << output_;
    }
}

// The trace ends where the song comes back (one pass), or at --ticks; --channels N shows channel N alone.
TEST_F(TraceDumpTest, StopsAtTheSongsEnd) {
    xm_writer::ModuleData module = basicModule();
    module.channelCount = 3;
    module.defaultSpeed = 2;
    module.orders = {0, 1};
    module.patterns.assign(2, xm_writer::PatternData{4, std::vector<xm_writer::Cell>(12)});
    module.patterns[0].cells[1] = xm_writer::Cell{13, 1};  // C-1 on channel 1
    writeFile("song.xm", xm_writer::writeModule(module));
    const struct {
        const char* rule;
        std::string options;
        long lines;
        long channelsShown;
    } cases[] = {
        {"one pass: 8 rows of 2 ticks", "", 16, 3},
        {"fewer ticks than the pass", "--ticks 5", 5, 3},
        {"more ticks than the pass still stop at its end", "--ticks 100", 16, 3},
        {"one channel", "--channels 1", 16, 1},
        {"a range", "--channels 1-2", 16, 2},
    };
    for (const auto& given : cases) {
        SCOPED_TRACE(given.rule);
        ASSERT_EQ(run(given.options + " " + path("song.xm")), 0) << errors_;
        EXPECT_EQ(std::count(output_.begin(), output_.end(), '\n'), given.lines);
        std::istringstream lines(output_);
        std::string first;
        std::getline(lines, first);
        size_t separators = 0;
        for (size_t at = first.find(" | "); at != std::string::npos; at = first.find(" | ", at + 1)) ++separators;
        EXPECT_EQ(static_cast<long>(separators), given.channelsShown) << first;
    }
    ASSERT_EQ(run("--channels 1 " + path("song.xm")), 0);
    EXPECT_NE(output_.find(" | C-1 01"), std::string::npos) << output_.substr(0, 200);
}
