// The xm2wav command-line tool, run as a child process on songs written by the test.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
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

    // Runs xm2wav with standard output and errors captured; returns its exit status. A limit in seconds stops
    // a run that goes wrong (as status 124).
    int run(const std::string& arguments, int limitSeconds = 0) {
        const std::string limit = limitSeconds > 0 ? "timeout " + std::to_string(limitSeconds) + " " : "";
        const int status = std::system((limit + XM2WAV_PATH " " + arguments + " >'" + path("stdout.bin") + "' 2>'" +
                                        path("stderr.txt") + "'")
                                           .c_str());
        const std::vector<uint8_t> text = readFile("stderr.txt");
        errors_.assign(text.begin(), text.end());
        output_ = readFile("stdout.bin");
        std::remove(path("stdout.bin").c_str());
        std::remove(path("stderr.txt").c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Names in the folder, sorted.
    std::vector<std::string> folderContents() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
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
    std::vector<uint8_t> output_;
};

// One pattern of empty rows of two channels at the given speed and tempo.
xm_writer::ModuleData emptyPatternSong(int speed, int tempo, int rows) {
    xm_writer::ModuleData module = basicModule();
    module.defaultSpeed = speed;
    module.defaultBpm = tempo;
    module.orders = {0};
    module.patterns.assign(1, xm_writer::PatternData{rows, {}});
    return module;
}

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

// Without --seconds one pass is rendered: it ends where the song first returns to a row it has played; --loops N
// renders N passes, each later one from where the song came back to where it comes back again.
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
        int rowsOfThreePasses;  // later passes start where the song came back
    };
    const Case cases[] = {
        {"the end of the orders goes back to the restart position", {0, 1}, {}, 8, 24},
        {"a jump back from the last row: order 0 once, order 1 once, then order 1 alone", {0, 1, 0},
         {{1, 7, {0, 0, 0, 0x0B, 1}}}, 8, 16},
        {"rows repeated by a pattern loop are not a return: row 0, then rows 1..3 three times", {0},
         {{0, 2, {0, 0, 0, 0x0E, 0x60}}, {0, 6, {0, 0, 0, 0x0E, 0x62}}}, 10, 30},
    };
    for (const Case& given : cases) {
        SCOPED_TRACE(given.rule);
        xm_writer::ModuleData module = shortSong();
        module.orders = given.orders;
        for (const Placed& at : given.cells) module.patterns[at.pattern].cells[at.index] = at.cell;
        writeFile("song.xm", xm_writer::writeModule(module));
        // The presentation's rules: under the tracker's, a pattern after a loop starts at the loop's row.
        ASSERT_EQ(run("--force --rules intro " + path("song.xm") + " " + path("out.wav")), 0) << errors_;
        EXPECT_EQ(wavFrames("out.wav"), given.rows * 882);
        ASSERT_EQ(run("--force --rules intro --loops 3 " + path("song.xm") + " " + path("out.wav")), 0) << errors_;
        EXPECT_EQ(wavFrames("out.wav"), given.rowsOfThreePasses * 882);
    }
}

// Odd arguments and files: one clear line and status 1 for files, status 2 for arguments; help and version on
// standard output with status 0; nothing is ever overwritten unasked and no partial file stays behind.
TEST_F(Xm2wavTest, OddInputs) {
    const std::vector<uint8_t> songBytes = xm_writer::writeModule(shortSong());
    writeFile("text.xm", std::vector<uint8_t>(400, 'x'));
    writeFile("empty.xm", {});
    writeFile("song.xm", songBytes);
    writeFile("other.xm", songBytes);
    writeFile("taken.wav", {1, 2, 3});
    std::vector<uint8_t> headerPastTheEnd = songBytes;
    put32(headerPastTheEnd, xm_writer::headerSizeOffset, 0x7FFFFFFF);
    writeFile("header.xm", headerPastTheEnd);
    std::filesystem::create_directory(path("folder.xm"));
    const std::string song = path("song.xm");
    const struct {
        const char* rule;
        std::string arguments;
        int status;
        const char* message;  // in standard errors, or in standard output for status 0
    } cases[] = {
        {"help on standard output", "--help", 0, "usage: xm2wav"},
        {"short help", "-h", 0, "--force"},
        {"version before anything else", "--version out.wav", 0, "xm2wav 1.1"},
        {"an unknown option is named", "--frobnicate " + song + " " + path("x.wav"), 2, "unknown option '--frobnicate'"},
        {"a single file", song, 2, "give a song and an output file"},
        {"three files", song + " a.wav b.wav", 2, "give a song and an output file"},
        {"seconds below zero", "--seconds -3 " + song + " " + path("x.wav"), 2, "--seconds needs"},
        {"zero loops", "--loops 0 " + song + " " + path("x.wav"), 2, "--loops needs"},
        {"seconds and loops", "--seconds 1 --loops 2 " + song + " " + path("x.wav"), 2, "not both"},
        {"a missing song", path("missing.xm") + " " + path("x.wav"), 1, "no such file"},
        {"a folder as the song", path("folder.xm") + " " + path("x.wav"), 1, "is a folder"},
        {"an empty song file", path("empty.xm") + " " + path("x.wav"), 1, "is empty"},
        {"a file that is no song", path("text.xm") + " " + path("x.wav"), 1, "not an Extended Module song"},
        {"a header that ends past the file", path("header.xm") + " " + path("x.wav"), 1, "damaged beyond use"},
        {"an output folder that does not exist", song + " /nonexistent-folder/out.wav", 1, "cannot create"},
        {"a folder as the output", song + " " + path("folder.xm"), 1, "is a folder"},
        {"an existing output", song + " " + path("taken.wav"), 1, "exists; --force replaces it"},
        {"another song as the output", song + " " + path("other.xm"), 1, "exists; --force replaces it"},
        {"the song as its own output", "--force " + song + " " + song, 1, "is the song itself"},
    };
    for (const auto& given : cases) {
        SCOPED_TRACE(given.rule);
        EXPECT_EQ(run(given.arguments), given.status) << given.arguments;
        const std::string shown = given.status == 0 ? std::string(output_.begin(), output_.end()) : errors_;
        EXPECT_NE(shown.find(given.message), std::string::npos) << shown;
        if (given.status != 0) {
            if (given.status == 1) {
                EXPECT_EQ(std::count(errors_.begin(), errors_.end(), '\n'), 1) << errors_;
            }
            EXPECT_TRUE(output_.empty());
        }
    }
    EXPECT_EQ(readFile("song.xm"), songBytes);
    EXPECT_EQ(readFile("other.xm"), songBytes);
    EXPECT_EQ(readFile("taken.wav"), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(folderContents(),
              (std::vector<std::string>{"empty.xm", "folder.xm", "header.xm", "other.xm", "song.xm", "taken.wav",
                                        "text.xm"}));
    ASSERT_EQ(run("--force " + song + " " + path("taken.wav")), 0) << errors_;
    EXPECT_EQ(wavFrames("taken.wav"), 8 * 882);
}

// "-" writes to standard output: a WAV header of unknown length into a pipe, the true length into a file, or raw PCM.
TEST_F(Xm2wavTest, StandardOutput) {
    writeFile("song.xm", xm_writer::writeModule(shortSong()));
    ASSERT_EQ(run(path("song.xm") + " " + path("file.wav")), 0) << errors_;
    const std::vector<uint8_t> file = readFile("file.wav");
    ASSERT_EQ(file.size(), 44u + 8 * 882 * 4);

    ASSERT_EQ(std::system((XM2WAV_PATH " " + path("song.xm") + " - | cat > " + path("piped.wav")).c_str()), 0);
    const std::vector<uint8_t> piped = readFile("piped.wav");
    ASSERT_EQ(piped.size(), file.size());
    EXPECT_EQ(get32(piped, 4), 0xFFFFFFFFu);
    EXPECT_EQ(get32(piped, 40), 0xFFFFFFFFu);
    EXPECT_TRUE(std::equal(piped.begin() + 44, piped.end(), file.begin() + 44));

    ASSERT_EQ(run(path("song.xm") + " -"), 0) << errors_;  // redirected into a file
    EXPECT_EQ(output_, file);
    ASSERT_EQ(run("--raw " + path("song.xm") + " -"), 0) << errors_;
    EXPECT_TRUE(std::equal(output_.begin(), output_.end(), file.begin() + 44, file.end()));
    EXPECT_EQ(output_.size() + 44, file.size());

    // Sound is never poured onto a terminal (a pseudo-terminal made by script).
    const std::string onTerminal = "script -qec \"" XM2WAV_PATH " " + path("song.xm") + " -; echo status \\$?\" /dev/null > " +
                                   path("terminal.txt");
    ASSERT_EQ(std::system(onTerminal.c_str()), 0);
    const std::vector<uint8_t> shown = readFile("terminal.txt");
    const std::string text(shown.begin(), shown.end());
    EXPECT_NE(text.find("standard output is a terminal"), std::string::npos) << text;
    EXPECT_NE(text.find("status 1"), std::string::npos) << text;
}

// --info prints the metadata and the one-pass duration and writes nothing.
TEST_F(Xm2wavTest, InfoWithoutRendering) {
    writeFile("song.xm", xm_writer::writeModule(shortSong()));
    ASSERT_EQ(run("--info " + path("song.xm")), 0) << errors_;
    const std::string shown(output_.begin(), output_.end());
    for (const char* line : {"channels:    2\n", "orders:      2 (restart at 0)\n", "frequencies: Amiga\n",
                             "speed:       1 ticks a row, tempo 125\n", "duration:    0:00.16 (one pass, 0.160 s)\n"}) {
        EXPECT_NE(shown.find(line), std::string::npos) << line << " in\n" << shown;
    }
    EXPECT_EQ(folderContents(), std::vector<std::string>{"song.xm"});
    // The length at the rate asked for: 8 rows of one tick at tempo 120 are 8 x 918 frames at 44,100 Hz
    // (0.1665 s) but 8 x 166 at 8,000 Hz (0.166 s).
    writeFile("song.xm", xm_writer::writeModule(emptyPatternSong(1, 120, 8)));
    for (const auto& [options, line] : {std::pair{"", "(one pass, 0.167 s)"}, {"--rate 8000 ", "(one pass, 0.166 s)"}}) {
        ASSERT_EQ(run("--info " + std::string(options) + path("song.xm")), 0) << errors_;
        const std::string text(output_.begin(), output_.end());
        EXPECT_NE(text.find(line), std::string::npos) << options << "\n" << text;
    }
}

// The output format and the starting place follow the options; the header says the format.
TEST_F(Xm2wavTest, FormatAndStartOptions) {
    // 8 rows of 882 frames at speed 1: two 4-row patterns.
    writeFile("song.xm", xm_writer::writeModule([] {
                  xm_writer::ModuleData module = basicModule();
                  module.defaultSpeed = 1;
                  module.orders = {0, 1};
                  module.patterns.assign(2, xm_writer::PatternData{4, std::vector<xm_writer::Cell>(8)});
                  return module;
              }()));
    const std::string song = path("song.xm");
    const struct {
        const char* rule;
        std::string options;
        std::vector<uint32_t> format;  // tag, channels, rate, bytes per second, frame bytes, bits
        uint32_t dataBytes;
    } cases[] = {
        {"the default: 16-bit stereo at 44,100", "", {1, 2, 44100, 176400, 4, 16}, 8 * 882 * 4},
        {"48 kHz: ticks of 960 frames", "--rate 48000", {1, 2, 48000, 192000, 4, 16}, 8 * 960 * 4},
        {"float samples", "--float", {3, 2, 44100, 352800, 8, 32}, 8 * 882 * 8},
        {"mono", "--mono", {1, 1, 44100, 88200, 2, 16}, 8 * 882 * 2},
        {"all three", "--rate 8000 --float --mono", {3, 1, 8000, 32000, 4, 32}, 8 * 160 * 4},
        {"from a time inside row 2", "--start 0:00.05", {1, 2, 44100, 176400, 4, 16}, (8 * 882 - 2205) * 4},
        {"from plain seconds", "--start 0.1", {1, 2, 44100, 176400, 4, 16}, (8 * 882 - 4410) * 4},
        {"from an order", "--order 1", {1, 2, 44100, 176400, 4, 16}, 4 * 882 * 4},
        {"from an order and row", "--order 1 --row 3", {1, 2, 44100, 176400, 4, 16}, 1 * 882 * 4},
        {"seconds from an order", "--order 1 --seconds 0.5", {1, 2, 44100, 176400, 4, 16}, 22050 * 4},
        {"seconds round to the nearest frame: 0.00004 s is 1.764 frames, so 2", "--seconds 0.00004",
         {1, 2, 44100, 176400, 4, 16}, 2 * 4},
    };
    for (const auto& given : cases) {
        SCOPED_TRACE(given.rule);
        ASSERT_EQ(run("--force " + given.options + " " + song + " " + path("out.wav")), 0) << errors_;
        const std::vector<uint8_t> bytes = readFile("out.wav");
        ASSERT_GE(bytes.size(), 44u);
        const std::vector<uint32_t> format = {get16(bytes, 20), get16(bytes, 22), get32(bytes, 24),
                                              get32(bytes, 28), get16(bytes, 32), get16(bytes, 34)};
        EXPECT_EQ(format, given.format);
        EXPECT_EQ(get32(bytes, 40), given.dataBytes);
        EXPECT_EQ(bytes.size(), 44 + given.dataBytes);
    }
    const struct {
        const char* rule;
        std::string options;
        const char* message;
    } refused[] = {
        {"a rate below 8,000", "--rate 7999", "--rate needs"},
        {"a rate above 192,000", "--rate 192001", "--rate needs"},
        {"a start that is no time", "--start 1:75", "--start needs"},
        {"sixty seconds are the next minute, not a second of this one", "--start 0:60", "--start needs"},
        {"a start and an order", "--start 1 --order 1", "not both"},
        {"a start at 0 and an order", "--start 0 --order 1", "not both"},
        {"a row without an order", "--row 2", "--row goes with --order"},
        {"an order past the list", "--order 2", "outside the order list"},
        {"a row past the pattern", "--order 1 --row 4", "outside the pattern"},
        {"a start past the pass", "--start 1:00", "outside the song's one pass"},
        {"more than a WAV file holds", "--rate 192000 --float --seconds 23000", "4 GiB"},
    };
    for (const auto& given : refused) {
        SCOPED_TRACE(given.rule);
        EXPECT_EQ(run(given.options + " " + song + " " + path("refused.wav")), 2);
        EXPECT_NE(errors_.find(given.message), std::string::npos) << errors_;
        EXPECT_FALSE(std::filesystem::exists(path("refused.wav")));
    }
}

// What a render leaves at its target, for every kind of target and every way a run ends. Device nodes and the pipe
// are the test's own, in its folder (a null and a full device); the read-only folder is tried as an unprivileged user.
// Each row: the target's kind, how the run ends, the exit status (128 + signal when killed), then what the target
// is afterwards: its kind, its mode (-1: not checked) and content; nothing else is left in its folder.
namespace {

enum class Target { Regular, Device, Pipe, Link, HardLink, ReadOnlyFolder };
enum class Ending { Finished, NotForced, BadOption, Interrupted, Terminated, FailedWrite };
enum class Content { Old, Render, Streamed, Empty, Nothing };

struct SafetyRow {
    Target target;
    Ending ending;
    int status;
    char kind;  // f regular, c device, p pipe, l link (the file it names checked), - nothing
    int mode;
    Content content;
};

// Status of a child, 128 + the signal when one ended it.
int exitStatus(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

long writtenBytes(pid_t child) {
    std::ifstream io("/proc/" + std::to_string(child) + "/io");
    std::string key;
    long value = 0;
    while (io >> key >> value) {
        if (key == "wchar:") return value;
    }
    return 0;
}

}  // namespace

TEST_F(Xm2wavTest, OutputSafetyForEveryTargetAndEnding) {
    ASSERT_EQ(geteuid(), 0u) << "device nodes need root, as CI runs";
    writeFile("song.xm", xm_writer::writeModule(shortSong()));
    ASSERT_EQ(run(path("song.xm") + " " + path("reference.wav")), 0) << errors_;
    const std::vector<uint8_t> render = readFile("reference.wav");
    chmod(folder_.c_str(), 0755);  // the unprivileged run reaches the song
    using enum Target;
    using enum Ending;
    using enum Content;
    const SafetyRow rows[] = {
        {Regular, Finished, 0, 'f', -1, Render},        {Regular, NotForced, 1, 'f', 0640, Old},
        {Regular, BadOption, 2, 'f', 0640, Old},        {Regular, Interrupted, 130, 'f', 0640, Old},
        {Regular, Terminated, 130, 'f', 0640, Old},     {Regular, FailedWrite, 1, 'f', 0640, Old},
        {Device, Finished, 0, 'c', 0620, Empty},        {Device, NotForced, 0, 'c', 0620, Empty},
        {Device, BadOption, 2, 'c', 0620, Empty},       {Device, Interrupted, 130, 'c', 0620, Empty},
        {Device, Terminated, 130, 'c', 0620, Empty},    {Device, FailedWrite, 1, 'c', 0620, Empty},
        {Pipe, Finished, 0, 'p', 0620, Streamed},       {Pipe, BadOption, 2, 'p', 0620, Empty},
        {Pipe, Interrupted, 130, 'p', 0620, Empty},     {Pipe, Terminated, 130, 'p', 0620, Empty},
        {Pipe, FailedWrite, 128 + SIGPIPE, 'p', 0620, Empty},
        {Link, Finished, 0, 'l', -1, Render},           {Link, NotForced, 1, 'l', 0640, Old},
        {Link, BadOption, 2, 'l', 0640, Old},           {Link, Interrupted, 130, 'l', 0640, Old},
        {Link, Terminated, 130, 'l', 0640, Old},        {Link, FailedWrite, 1, 'l', 0640, Old},
        {HardLink, Finished, 0, 'f', -1, Render},       {HardLink, NotForced, 1, 'f', 0640, Old},
        {HardLink, BadOption, 2, 'f', 0640, Old},       {HardLink, Interrupted, 130, 'f', 0640, Old},
        {HardLink, Terminated, 130, 'f', 0640, Old},    {HardLink, FailedWrite, 1, 'f', 0640, Old},
        {ReadOnlyFolder, Finished, 1, '-', -1, Nothing},
    };
    int number = 0;
    for (const SafetyRow& row : rows) {
        const std::string folder = path("row" + std::to_string(++number));
        SCOPED_TRACE("row " + std::to_string(number));
        mkdir(folder.c_str(), 0755);
        std::string target = folder + "/out.wav";
        std::string checked = target;  // the file whose kind, mode and content the row states
        const auto writeOld = [](const std::string& name) {
            std::ofstream(name) << "old";
            chmod(name.c_str(), 0640);
        };
        switch (row.target) {
            case Regular: writeOld(target); break;
            case HardLink:
                writeOld(target);
                link(target.c_str(), (folder + "/other.wav").c_str());
                break;
            case Link:
                writeOld(checked = folder + "/file.wav");
                std::filesystem::create_symlink("file.wav", target = folder + "/link.wav");
                break;
            case Device:
                target = checked = folder + (row.ending == FailedWrite ? "/full" : "/null");
                ASSERT_EQ(mknod(target.c_str(), S_IFCHR, makedev(1, row.ending == FailedWrite ? 7 : 3)), 0);
                chmod(target.c_str(), 0620);
                break;
            case Pipe:
                ASSERT_EQ(mkfifo(target.c_str(), 0620), 0);
                chmod(target.c_str(), 0620);
                break;
            case ReadOnlyFolder: chmod(folder.c_str(), 0555); break;
        }
        const std::vector<std::string> namesBefore = [&] {
            std::vector<std::string> names;
            for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().string());
            std::sort(names.begin(), names.end());
            return names;
        }();

        // A pipe's reader drains it; a held writer keeps it open until the run is over. A failed write: it goes away.
        int reader = -1;
        int heldWriter = -1;
        std::vector<uint8_t> streamed;
        std::thread drain;
        if (row.target == Pipe) {
            reader = open(target.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            heldWriter = open(target.c_str(), O_WRONLY | O_CLOEXEC);
            fcntl(reader, F_SETFL, 0);  // blocking reads from here on
            drain = std::thread([&, reader, leave = row.ending == FailedWrite] {
                uint8_t buffer[65536];
                for (ssize_t count; (count = read(reader, buffer, sizeof buffer)) > 0;) {
                    streamed.insert(streamed.end(), buffer, buffer + count);
                    if (leave && streamed.size() > 100000) break;
                }
                close(reader);
            });
        }
        std::vector<std::string> arguments = {XM2WAV_PATH};
        if (row.ending != NotForced) arguments.push_back("--force");
        if (row.ending == BadOption) arguments.insert(arguments.end(), {"--rate", "7999"});
        if (row.ending == Interrupted || row.ending == Terminated || row.ending == FailedWrite) {
            arguments.insert(arguments.end(), {"--seconds", "20000"});
        }
        arguments.insert(arguments.end(), {path("song.xm"), target});
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            std::freopen(path("stderr.txt").c_str(), "w", stderr);
            if (row.ending == FailedWrite && row.target != Device && row.target != Pipe) {
                const rlimit limit{100000, 100000};  // a full disk for files: the write past it fails
                setrlimit(RLIMIT_FSIZE, &limit);
                std::signal(SIGXFSZ, SIG_IGN);
            }
            if (row.target == ReadOnlyFolder && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(126);
            std::vector<char*> argv;
            for (std::string& argument : arguments) argv.push_back(argument.data());
            argv.push_back(nullptr);
            execv(XM2WAV_PATH, argv.data());
            _exit(127);
        }
        if (row.ending == Interrupted || row.ending == Terminated) {
            // Under way once a megabyte has gone out.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (writtenBytes(child) < 1000000 && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            EXPECT_GE(writtenBytes(child), 1000000);
            kill(child, row.ending == Interrupted ? SIGINT : SIGTERM);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_EQ(exitStatus(status), row.status) << std::ifstream(path("stderr.txt")).rdbuf();
        if (heldWriter >= 0) close(heldWriter);
        if (drain.joinable()) drain.join();

        std::vector<std::string> namesAfter;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) namesAfter.push_back(entry.path().string());
        std::sort(namesAfter.begin(), namesAfter.end());
        EXPECT_EQ(namesAfter, namesBefore) << "no temporary file left, nothing taken away";
        struct stat status_ {};
        if (row.kind == '-') {
            EXPECT_NE(lstat(target.c_str(), &status_), 0);
            continue;
        }
        if (lstat(target.c_str(), &status_) != 0 || stat(checked.c_str(), &status_) != 0) {
            ADD_FAILURE() << target << " is gone";
            continue;
        }
        lstat(target.c_str(), &status_);
        const char kind = S_ISREG(status_.st_mode) ? 'f' : S_ISCHR(status_.st_mode) ? 'c' : S_ISFIFO(status_.st_mode) ? 'p'
                          : S_ISLNK(status_.st_mode)                                                   ? 'l'
                                                                                                      : '?';
        EXPECT_EQ(kind, row.kind);
        stat(checked.c_str(), &status_);
        if (row.mode >= 0) {
            EXPECT_EQ(status_.st_mode & 07777, static_cast<mode_t>(row.mode));
        }
        if (row.target == HardLink && row.content == Old) {
            EXPECT_EQ(status_.st_nlink, 2u) << "both names stay one file";
        }
        std::vector<uint8_t> content;  // devices and pipes are never opened here: a pipe would wait for a writer
        if (row.kind == 'f' || row.kind == 'l') {
            std::ifstream file(checked, std::ios::binary);
            content.assign(std::istreambuf_iterator<char>(file), {});
        }
        switch (row.content) {
            case Old: EXPECT_EQ(std::string(content.begin(), content.end()), "old"); break;
            case Render: EXPECT_EQ(content, render); break;
            case Streamed:
                ASSERT_EQ(streamed.size(), render.size());
                EXPECT_EQ(get32(streamed, 40), 0xFFFFFFFFu) << "a pipe gets the header of unknown length";
                EXPECT_TRUE(std::equal(streamed.begin() + 44, streamed.end(), render.begin() + 44));
                break;
            case Empty:
            case Nothing: break;
        }
    }
}

// A name near the file-name limit (249 characters) still renders: the temporary file takes a short name.
TEST_F(Xm2wavTest, NameNearTheFileNameLimit) {
    writeFile("song.xm", xm_writer::writeModule(shortSong()));
    const std::string name = std::string(245, 'w') + ".wav";
    ASSERT_EQ(run(path("song.xm") + " " + path(name)), 0) << errors_;
    EXPECT_EQ(wavFrames(name), 8 * 882);
    EXPECT_EQ(folderContents(), (std::vector<std::string>{"song.xm", name}));
}

// A render that cannot fit a WAV file (its sizes are 32-bit) is refused before it starts, with one line and status 2;
// raw PCM has no such limit. The song: one pattern of 60 rows at speed 255 and tempo 32, just under 20 minutes.
TEST_F(Xm2wavTest, RendersTooLongForAWavFileAreRefused) {
    writeFile("long.xm", xm_writer::writeModule(emptyPatternSong(255, 32, 60)));
    ASSERT_EQ(run("--info " + path("long.xm")), 0) << errors_;
    // 20 passes fit (about 23,900 s), 21 do not; the bound stops a slip at once instead of after gigabytes.
    EXPECT_EQ(run("--loops 21 " + path("long.xm") + " " + path("out.wav"), 10), 2) << errors_;
    EXPECT_NE(errors_.find("more than a WAV file holds"), std::string::npos) << errors_;
    EXPECT_EQ(std::count(errors_.begin(), errors_.end(), '\n'), 1) << errors_;
    EXPECT_EQ(folderContents(), std::vector<std::string>{"long.xm"});
}
