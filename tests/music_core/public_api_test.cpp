// The public interface as a user sees it: loading and its errors, metadata,
// rendering to the end of a pass, repeats, position, seeking and restart.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sys/resource.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "intro_music.h"
#include "test_modules.h"
#include "test_songs.h"
#include "xm_writer.h"

using namespace test_modules;
using namespace test_songs;
namespace im = intro_music;

namespace {

constexpr int32_t rowFrames = 882;  // speed 1, tempo 125

// Two 4-row patterns of two channels at speed 1, a short note at the start.
xm_writer::ModuleData shortSong() {
    xm_writer::ModuleData module = basicModule();
    module.name = "Short song";
    module.defaultSpeed = 1;
    module.orders = {0, 1};
    module.patterns.assign(2, xm_writer::PatternData{4, std::vector<xm_writer::Cell>(8)});
    module.patterns[0].cells[0] = xm_writer::Cell{49, 1};
    return module;
}

// A looping note on every row of three patterns, so that every frame sounds.
xm_writer::ModuleData loudSong() {
    xm_writer::ModuleData module = shortSong();
    module.orders = {0, 1, 2};
    module.patterns.assign(3, xm_writer::PatternData{4, std::vector<xm_writer::Cell>(8)});
    for (int row = 0; row < 12; ++row) {
        module.patterns[row / 4].cells[(row % 4) * 2] = xm_writer::Cell{static_cast<uint8_t>(37 + row), 1};
    }
    std::vector<int16_t> wave(64);
    for (size_t index = 0; index < wave.size(); ++index) wave[index] = static_cast<int16_t>(index * 4 - 128);
    xm_writer::SampleData sample = eightBitSample(wave);
    sample.loop = xm_writer::LoopKind::Forward;
    sample.loopLength = 64;
    module.instruments[0].samples = {sample};
    return module;
}

// Everything render gives until it gives 0, asked for in chunks of `chunk` frames.
std::vector<int16_t> renderAll(im::Module* module, int32_t chunk, int64_t frameLimit = 44100 * 60) {
    std::vector<int16_t> all;
    std::vector<int16_t> buffer(static_cast<size_t>(chunk) * 2);
    int32_t count = 0;
    while (static_cast<int64_t>(all.size()) / 2 < frameLimit &&
           (count = im::render(module, buffer.data(), chunk)) > 0) {
        all.insert(all.end(), buffer.begin(), buffer.begin() + count * 2);
        if (count < chunk) {
            EXPECT_TRUE(im::ended(module));
        }
    }
    return all;
}

std::string temporaryFolder() {
    char pattern[] = "/tmp/intro-music-api-XXXXXX";
    return mkdtemp(pattern) != nullptr ? pattern : "";
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

// File callbacks over one memory block, as an embedding program would register them.
struct MemorySource {
    const std::vector<uint8_t>* bytes;
    int32_t offset;
};
void* openMemory(const char* name) { return new MemorySource{reinterpret_cast<const std::vector<uint8_t>*>(name), 0}; }
void closeMemory(void* handle) { delete static_cast<MemorySource*>(handle); }
int32_t readMemory(void* destination, int32_t count, void* handle) {
    auto* source = static_cast<MemorySource*>(handle);
    const int32_t left = static_cast<int32_t>(source->bytes->size()) - source->offset;
    const int32_t taken = std::min(count, left);
    std::memcpy(destination, source->bytes->data() + source->offset, static_cast<size_t>(taken));
    source->offset += taken;
    return taken;
}
void seekMemory(void* handle, int32_t offset, uint8_t origin) {
    auto* source = static_cast<MemorySource*>(handle);
    source->offset = origin == 0 ? offset : source->offset + offset;
}
int32_t tellMemory(void* handle) { return static_cast<MemorySource*>(handle)->offset; }
void* openNothing(const char*) { return nullptr; }

// A source that fails part way: read gives -1 once 2,000 bytes are delivered.
int32_t readFailingAfter2000(void* destination, int32_t count, void* handle) {
    constexpr int32_t failsAt = 2000;
    auto* source = static_cast<MemorySource*>(handle);
    if (source->offset >= failsAt) return -1;
    return readMemory(destination, std::min(count, failsAt - source->offset), handle);
}
int openSources = 0;
void* openCounted(const char* name) {
    ++openSources;
    return openMemory(name);
}
void closeCounted(void* handle) {
    --openSources;
    closeMemory(handle);
}
[[maybe_unused]] int openDescriptors() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
    return count;
}

}  // namespace

// Every way a load can fail gives null, the error code and a message naming the problem.
TEST(PublicApi, LoadFailuresAreValues) {
    const std::string folder = temporaryFolder();
    ASSERT_FALSE(folder.empty());
    writeFile(folder + "/empty.xm", {});
    writeFile(folder + "/text.xm", std::vector<uint8_t>(400, 'x'));
    writeFile(folder + "/locked.xm", xm_writer::writeModule(shortSong()));
    chmod((folder + "/locked.xm").c_str(), 0);
    const bool rootReadsEverything = geteuid() == 0;
    const struct {
        const char* rule;
        std::string path;
        im::ErrorCode code;
        const char* message;
    } files[] = {
        {"a missing file", folder + "/missing.xm", im::ErrorCode::CannotOpen, "no such file"},
        {"a folder", folder, im::ErrorCode::CannotOpen, "is a folder"},
        {"an empty file", folder + "/empty.xm", im::ErrorCode::Empty, "empty"},
        {"a file that is no song", folder + "/text.xm", im::ErrorCode::NotASong, "not an Extended Module song"},
        {"an unreadable file", folder + "/locked.xm", im::ErrorCode::CannotOpen, "cannot open"},
    };
    for (const auto& given : files) {
        SCOPED_TRACE(given.rule);
        if (given.code == im::ErrorCode::CannotOpen && given.path.ends_with("locked.xm") && rootReadsEverything) {
            continue;
        }
        im::Error error{};
        EXPECT_EQ(im::loadFromFile(given.path.c_str(), &error), nullptr);
        EXPECT_EQ(error.code, given.code);
        EXPECT_NE(std::string(error.message).find(given.message), std::string::npos) << error.message;
        EXPECT_NE(std::string(error.message).find(given.path), std::string::npos) << error.message;
    }
    std::system(("rm -rf '" + folder + "'").c_str());

    im::Error error{};
    EXPECT_EQ(im::loadFromFile(nullptr, &error), nullptr);
    EXPECT_EQ(error.code, im::ErrorCode::InvalidArgument);
    EXPECT_EQ(im::loadFromMemory(nullptr, 10, &error), nullptr);
    EXPECT_EQ(error.code, im::ErrorCode::InvalidArgument);
    EXPECT_EQ(im::loadFromMemory("x", 0, &error), nullptr);
    EXPECT_EQ(error.code, im::ErrorCode::Empty);
    EXPECT_EQ(im::loadFromMemory("x", 1, nullptr), nullptr);  // no error record wanted
    im::FileCallbacks partial{openMemory, closeMemory, nullptr, seekMemory, tellMemory};
    EXPECT_EQ(im::loadWithCallbacks(partial, "", &error), nullptr);
    EXPECT_EQ(error.code, im::ErrorCode::InvalidArgument);
    const im::FileCallbacks refusing{openNothing, closeMemory, readMemory, seekMemory, tellMemory};
    EXPECT_EQ(im::loadWithCallbacks(refusing, "", &error), nullptr);
    EXPECT_EQ(error.code, im::ErrorCode::CannotOpen);
}

// Metadata comes from the header and the loaded song; the duration is one pass.
TEST(PublicApi, Metadata) {
    xm_writer::ModuleData module = shortSong();
    module.flags = 1;
    module.restartPosition = 1;
    module.defaultBpm = 150;
    const ModulePointer song = loadBytes(xm_writer::writeModule(module));
    ASSERT_NE(song, nullptr);
    const im::Metadata info = im::metadata(song.get());
    EXPECT_STREQ(info.title, "Short song");
    EXPECT_STREQ(info.trackerName, "intro song compiler");
    const std::vector<int32_t> counts = {info.channels, info.orders, info.patterns, info.instruments, info.samples,
                                         info.initialSpeed, info.initialBpm, info.restartPosition};
    EXPECT_EQ(counts, (std::vector<int32_t>{2, 2, 2, 1, 1, 1, 150, 1}));
    EXPECT_TRUE(info.linearFrequencies);
    // Order 0 once, then order 1 until it comes back: 8 rows of 735 frames at tempo 150.
    EXPECT_DOUBLE_EQ(info.durationSeconds, 8 * 735 / 44100.0);
    EXPECT_STREQ(im::metadata(nullptr).title, "");
    // The release version (major.minor.patch, perhaps +commit) begins with the header's numbers.
    const std::string version = im::versionString();
    EXPECT_TRUE(version.starts_with(std::to_string(im::versionMajor) + "." + std::to_string(im::versionMinor) + "."))
        << version;
}

// Render ends where the song first comes back, whatever the chunk size; repeats add whole passes.
TEST(PublicApi, RendersPassesToTheirEnd) {
    const struct {
        const char* rule;
        int32_t repeats;
        int32_t chunk;
        int64_t frames;
    } cases[] = {
        {"one pass by default, in frames of one", 0, 1, 8 * rowFrames},
        {"one pass in chunks larger than the song", 0, 100000, 8 * rowFrames},
        {"one pass in chunks that straddle blocks", 0, 1000, 8 * rowFrames},
        {"a repeat plays the pass again", 1, 4096, 16 * rowFrames},
        {"three repeats, four passes", 3, 333, 32 * rowFrames},
    };
    const std::vector<uint8_t> bytes = xm_writer::writeModule(shortSong());
    std::vector<int16_t> reference;
    for (const auto& given : cases) {
        SCOPED_TRACE(given.rule);
        const ModulePointer song = loadBytes(bytes);
        im::setRepeatCount(song.get(), given.repeats);
        EXPECT_FALSE(im::ended(song.get()));
        const std::vector<int16_t> all = renderAll(song.get(), given.chunk);
        EXPECT_EQ(static_cast<int64_t>(all.size()) / 2, given.frames);
        EXPECT_TRUE(im::ended(song.get()));
        EXPECT_EQ(im::position(song.get()).passesCompleted, given.repeats + 1);
        int16_t frame[2];
        EXPECT_EQ(im::render(song.get(), frame, 1), 0);
        if (reference.empty()) reference = all;
        EXPECT_TRUE(std::equal(reference.begin(), reference.end(), all.begin())) << "the first pass differs";
    }
    // Played for ever, the song goes past any number of passes.
    const ModulePointer endless = loadBytes(bytes);
    im::setRepeatCount(endless.get(), -1);
    EXPECT_EQ(renderAll(endless.get(), rowFrames, 40 * rowFrames).size(), size_t{40 * rowFrames * 2});
    EXPECT_FALSE(im::ended(endless.get()));
    EXPECT_EQ(im::position(endless.get()).passesCompleted, 5);
}

// Loaded from memory, from a file or through callbacks: the same bytes; restart gives them again.
TEST(PublicApi, EveryLoadRendersTheSameAndRestartRepeatsIt) {
    const std::vector<uint8_t> bytes = xm_writer::writeModule(loudSong());
    const ModulePointer fromMemory = loadBytes(bytes);
    const std::vector<int16_t> expected = renderAll(fromMemory.get(), 1024);
    ASSERT_EQ(expected.size(), size_t{12 * rowFrames * 2});

    const std::string folder = temporaryFolder();
    writeFile(folder + "/song.xm", bytes);
    im::Error error{};
    const ModulePointer fromFile(im::loadFromFile((folder + "/song.xm").c_str(), &error));
    std::system(("rm -rf '" + folder + "'").c_str());
    ASSERT_NE(fromFile, nullptr) << error.message;
    EXPECT_EQ(renderAll(fromFile.get(), 777), expected);

    const im::FileCallbacks callbacks{openMemory, closeMemory, readMemory, seekMemory, tellMemory};
    const ModulePointer throughCallbacks(
        im::loadWithCallbacks(callbacks, reinterpret_cast<const char*>(&bytes), &error));
    ASSERT_NE(throughCallbacks, nullptr) << error.message;
    EXPECT_EQ(renderAll(throughCallbacks.get(), 4096), expected);

    im::restart(fromMemory.get());
    EXPECT_FALSE(im::ended(fromMemory.get()));
    EXPECT_EQ(im::position(fromMemory.get()).seconds, 0.0);
    EXPECT_EQ(renderAll(fromMemory.get(), 500), expected);
}

// Seeking goes to row 0 of an order with the song's time there; a position outside the order list changes nothing.
TEST(PublicApi, PositionAndSeek) {
    const std::vector<uint8_t> bytes = xm_writer::writeModule(loudSong());
    const ModulePointer song = loadBytes(bytes);
    const std::vector<int16_t> straight = renderAll(song.get(), 4096);
    im::restart(song.get());

    std::vector<int16_t> buffer(static_cast<size_t>(rowFrames) * 2);
    ASSERT_EQ(im::render(song.get(), buffer.data(), rowFrames), rowFrames);
    im::Position at = im::position(song.get());
    EXPECT_EQ(at.order, 0);
    EXPECT_LE(at.row, 2);  // at most one block ahead of the frames handed out
    EXPECT_DOUBLE_EQ(at.seconds, rowFrames / 44100.0);

    im::Error error{};
    for (const int32_t outside : {-1, 3, 255}) {
        EXPECT_FALSE(im::seekToOrder(song.get(), outside, &error)) << outside;
        EXPECT_EQ(error.code, im::ErrorCode::InvalidArgument);
        EXPECT_NE(std::string(error.message).find("outside the order list"), std::string::npos);
    }
    EXPECT_DOUBLE_EQ(im::position(song.get()).seconds, rowFrames / 44100.0);

    ASSERT_TRUE(im::seekToOrder(song.get(), 2, &error)) << error.message;
    at = im::position(song.get());
    EXPECT_EQ(at.order, 2);
    EXPECT_EQ(at.pattern, 2);
    EXPECT_EQ(at.row, 0);
    EXPECT_DOUBLE_EQ(at.seconds, 8 * rowFrames / 44100.0);
    // The rest of the pass from order 2, after a fade-in of the first note from silence.
    const std::vector<int16_t> rest = renderAll(song.get(), 4096);
    ASSERT_EQ(rest.size(), size_t{4 * rowFrames * 2});
    EXPECT_TRUE(std::equal(rest.begin() + 256 * 2, rest.end(), straight.begin() + 8 * rowFrames * 2 + 256 * 2));
    EXPECT_TRUE(im::ended(song.get()));

    ASSERT_TRUE(im::seekToOrder(song.get(), 0, &error));
    EXPECT_FALSE(im::ended(song.get()));
    EXPECT_EQ(renderAll(song.get(), 4096), straight);
}

// A null module is accepted everywhere and does nothing.
// A module plays by the tracker's rules until told otherwise; choosing rules starts the song again, and the
// presentation's rules play an arpeggio in another order.
TEST(PublicApi, RulesChooseHowTheSongPlays) {
    xm_writer::ModuleData module = loudSong();
    module.defaultSpeed = 6;
    for (int row = 0; row < 4; ++row) module.patterns[0].cells[row * 2].parameter = 0x47;  // arpeggio
    const ModulePointer song = loadBytes(xm_writer::writeModule(module));
    EXPECT_EQ(im::rules(song.get()), im::Rules::Tracker);
    const std::vector<int16_t> tracker = renderAll(song.get(), 1000);

    im::Error error{};
    EXPECT_FALSE(im::setRules(song.get(), static_cast<im::Rules>(7), &error));
    EXPECT_EQ(error.code, im::ErrorCode::InvalidArgument);
    EXPECT_EQ(im::rules(song.get()), im::Rules::Tracker);

    ASSERT_TRUE(im::setRules(song.get(), im::Rules::Presentation, &error)) << error.message;
    EXPECT_EQ(im::rules(song.get()), im::Rules::Presentation);
    const std::vector<int16_t> presentation = renderAll(song.get(), 1000);
    EXPECT_EQ(presentation.size(), tracker.size());
    EXPECT_NE(presentation, tracker);

    ASSERT_TRUE(im::setRules(song.get(), im::Rules::Tracker, &error));
    EXPECT_EQ(renderAll(song.get(), 1000), tracker) << "back to the tracker's rules, from the beginning";
    EXPECT_FALSE(im::setRules(nullptr, im::Rules::Tracker, nullptr));
}

// Working out the one pass (asked for by metadata) plays the song on the module's own samples; what set-finetune
// writes into them there must not reach the sound, before or during playback.
TEST(PublicApi, AskingForTheDurationChangesNothingHeard) {
    xm_writer::ModuleData module = loudSong();
    module.patterns[0].cells[2] = xm_writer::Cell{0, 0, 0, 0x0E, 0x5F};  // set-finetune, heard from the next note
    const std::vector<uint8_t> bytes = xm_writer::writeModule(module);
    const auto presentationModule = [&] {
        ModulePointer song = loadBytes(bytes);
        EXPECT_TRUE(im::setRules(song.get(), im::Rules::Presentation, nullptr));
        return song;
    };
    const ModulePointer straight = presentationModule();
    const std::vector<int16_t> expected = renderAll(straight.get(), 1000);

    const ModulePointer askedFirst = presentationModule();
    EXPECT_GT(im::metadata(askedFirst.get()).durationSeconds, 0.0);
    EXPECT_EQ(renderAll(askedFirst.get(), 1000), expected);

    const ModulePointer askedMidway = presentationModule();
    std::vector<int16_t> heard(size_t{rowFrames} * 2 * 5);
    ASSERT_EQ(im::render(askedMidway.get(), heard.data(), rowFrames * 5), rowFrames * 5);
    EXPECT_GT(im::metadata(askedMidway.get()).durationSeconds, 0.0);
    const std::vector<int16_t> rest = renderAll(askedMidway.get(), 1000);
    heard.insert(heard.end(), rest.begin(), rest.end());
    EXPECT_EQ(heard, expected);
}

TEST(PublicApi, NullModule) {
    int16_t frames[4] = {1, 2, 3, 4};
    EXPECT_EQ(im::render(nullptr, frames, 2), 0);
    EXPECT_EQ(frames[0], 1);
    EXPECT_FALSE(im::ended(nullptr));
    EXPECT_EQ(im::position(nullptr).order, 0);
    EXPECT_FALSE(im::seekToOrder(nullptr, 0, nullptr));
    im::setRepeatCount(nullptr, 2);
    im::restart(nullptr);
    im::freeModule(nullptr);
    const ModulePointer song = loadBytes(xm_writer::writeModule(shortSong()));
    EXPECT_EQ(im::render(song.get(), nullptr, 10), 0);
    EXPECT_EQ(im::render(song.get(), frames, 0), 0);
    EXPECT_EQ(im::render(song.get(), frames, -5), 0);
}

// Two modules rendered at the same time on two threads give exactly the bytes each gives alone.
TEST(PublicApi, TwoModulesOnTwoThreads) {
    const std::vector<uint8_t> first = xm_writer::writeModule(loudSong());
    xm_writer::ModuleData otherSong = loudSong();
    otherSong.defaultSpeed = 3;
    const std::vector<uint8_t> second = xm_writer::writeModule(otherSong);
    auto solo = [](const std::vector<uint8_t>& bytes) {
        const ModulePointer song = loadBytes(bytes);
        return renderAll(song.get(), 1000);
    };
    const std::vector<int16_t> firstAlone = solo(first);
    const std::vector<int16_t> secondAlone = solo(second);
    std::vector<int16_t> firstTogether;
    std::vector<int16_t> secondTogether;
    std::thread one([&] { firstTogether = solo(first); });
    std::thread two([&] { secondTogether = solo(second); });
    one.join();
    two.join();
    EXPECT_EQ(firstTogether, firstAlone);
    EXPECT_EQ(secondTogether, secondAlone);
}

// A read that fails is a failed load (CannotRead), never a shorter song; the source is closed. Only open, close and
// read are needed: seek and tell may be null.
TEST(PublicApi, ReadFailuresFailTheLoad) {
    xm_writer::ModuleData withLongSample = shortSong();
    withLongSample.instruments[0].samples[0].frames.assign(4000, 7);
    const std::vector<uint8_t> bytes = xm_writer::writeModule(withLongSample);
    ASSERT_GT(bytes.size(), 4000u);
    const char* name = reinterpret_cast<const char*>(&bytes);
    im::Error error{};
    const im::FileCallbacks failing{openCounted, closeCounted, readFailingAfter2000, nullptr, nullptr};
    EXPECT_EQ(im::loadWithCallbacks(failing, name, &error), nullptr);
    EXPECT_EQ(error.code, im::ErrorCode::CannotRead) << error.message;
    EXPECT_NE(std::string(error.message).find("after 2000 bytes"), std::string::npos) << error.message;
    EXPECT_EQ(openSources, 0);

    const im::FileCallbacks readOnly{openCounted, closeCounted, readMemory, nullptr, nullptr};
    im::Module* module = im::loadWithCallbacks(readOnly, name, &error);
    EXPECT_NE(module, nullptr) << error.message;
    im::freeModule(module);
    EXPECT_EQ(openSources, 0);
}

// A source larger than any song the loader reads (2 GiB) is refused: a regular file by its size before anything is
// read, a device once it has delivered that much. A file is closed on every way out, out of memory too.
TEST(PublicApi, OversizedSourcesAreRefusedAndClosed) {
    const std::string folder = temporaryFolder();
    ASSERT_FALSE(folder.empty());
    const std::string huge = folder + "/huge.xm";
    writeFile(huge, xm_writer::writeModule(shortSong()));
    ASSERT_EQ(truncate(huge.c_str(), 3LL << 30), 0);  // sparse: no disk space used
    im::Error error{};
    EXPECT_EQ(im::loadFromFile(huge.c_str(), &error), nullptr);
    EXPECT_EQ(error.code, im::ErrorCode::NotASong);
    EXPECT_NE(std::string(error.message).find("larger than the largest song"), std::string::npos) << error.message;

#if !defined(INTRO_UNDER_ADDRESS_SANITIZER) && !defined(__SANITIZE_THREAD__)
    // Our own zero device, read under a 600 MB address-space limit in a child: each load runs out of memory and
    // must close its file.
    const std::string zero = folder + "/zero";
    ASSERT_EQ(mknod(zero.c_str(), S_IFCHR | 0444, makedev(1, 5)), 0) << "needs root, as CI runs";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit limit{600LL << 20, 600LL << 20};
        setrlimit(RLIMIT_AS, &limit);
        const int before = openDescriptors();
        for (int load = 0; load < 3; ++load) {
            im::Error childError{};
            if (im::loadFromFile(zero.c_str(), &childError) != nullptr) _exit(2);
            if (childError.code != im::ErrorCode::OutOfMemory && childError.code != im::ErrorCode::NotASong) _exit(3);
        }
        _exit(openDescriptors() == before ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: a file left open; 2: loaded; 3: another error";
#endif
    std::system(("rm -rf '" + folder + "'").c_str());
}
