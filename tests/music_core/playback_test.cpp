// Playback control with SDL's dummy audio driver: starting, restarting and
// stopping, and the audio thread's lifetime. Also built under ThreadSanitizer.
#include <SDL.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "audio_thread_starter.h"
#include "file_callbacks.h"
#include "mixer.h"
#include "music_engine.h"
#include "offline_render.h"
#include "playback.h"
#include "replayer.h"
#include "song.h"
#include "test_songs.h"
#include "xm_writer.h"

using namespace intro_music::engine;

using namespace test_songs;

namespace {

// Callbacks that serve nothing: playback only asks that all five are set.
void* openNothing(const char*) { return nullptr; }
void closeNothing(void*) {}
int32_t readNothing(void*, int32_t, void*) { return 0; }
void seekNothing(void*, int32_t, uint8_t) {}
int32_t tellNothing(void*) { return 0; }
void registerCallbacks() { setFileCallbacks(openNothing, closeNothing, readNothing, seekNothing, tellNothing); }

// Audio threads of this process, found by the name playback gives them.
int audioThreadCount() {
    int count = 0;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(tasks)) {
            std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
            std::string name;
            count += entry->d_name[0] != '.' && std::getline(comm, name) && name == "music-mixer" ? 1 : 0;
        }
        closedir(tasks);
    }
    return count;
}

// Counts ticks, and the starts from the beginning it sees (a song whose next
// row has never been set). Runs on the audio thread, hence the atomics.
std::atomic<int> ticksSinceStart{0};
std::atomic<int> startsSeen{0};

void countingTick(MusicEngine& engine, Song* song) {
    if (song->tick == 0 && song->nextRow == -1 && song->nextOrder == -1) {
        startsSeen.fetch_add(1);
        ticksSinceStart.store(0);
    }
    ticksSinceStart.fetch_add(1);
    replayTick(engine, song);
}

bool waitForTicks(int atLeast) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (ticksSinceStart.load() < atLeast) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class PlaybackTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        registerCallbacks();
        xm_writer::ModuleData module = basicModule();
        module.patterns[0].cells.resize(128);
        module.patterns[0].cells[0] = xm_writer::Cell{49, 1};
        song_ = load(xm_writer::writeModule(module));
        ASSERT_NE(song_, nullptr);
        song_->tickHandler = countingTick;
        startsSeen.store(0);
        ticksSinceStart.store(0);
    }
    void TearDown() override {
        stopPlayback(playback_.get(), song_.get());
        setFileCallbacks(nullptr, nullptr, nullptr, nullptr, nullptr);
    }

    PlaybackPointer playback_{createPlayback()};
    SongPointer song_;
};

// Null songs are refused by both calls; stop with nothing playing succeeds and changes nothing.
TEST_F(PlaybackTest, NullSongAndIdleStop) {
    EXPECT_FALSE(startPlayback(playback_.get(), nullptr));
    EXPECT_FALSE(stopPlayback(playback_.get(), nullptr));
    EXPECT_FALSE(startPlayback(nullptr, song_.get()));
    EXPECT_FALSE(stopPlayback(nullptr, song_.get()));
    EXPECT_FALSE(playbackMixingNow(nullptr));
    destroyPlayback(nullptr);
    EXPECT_TRUE(stopPlayback(playback_.get(), song_.get()));
    EXPECT_TRUE(stopPlayback(playback_.get(), song_.get()));
    EXPECT_EQ(audioThreadCount(), 0);
    EXPECT_FALSE(playbackMixingNow(playback_.get()));
}

// A start pre-mixes the whole ring (100 blocks = 101 ticks of 882 frames) before it returns; the thread mixes on.
TEST_F(PlaybackTest, StartPrefillsAndThreadKeepsMixing) {
    ASSERT_TRUE(startPlayback(playback_.get(), song_.get()));
    EXPECT_EQ(startsSeen.load(), 1);
    EXPECT_GE(ticksSinceStart.load(), 101);
    EXPECT_EQ(audioThreadCount(), 1);
    EXPECT_TRUE(waitForTicks(110)) << "the audio thread never refilled a block";
    EXPECT_TRUE(stopPlayback(playback_.get(), song_.get()));
    EXPECT_EQ(audioThreadCount(), 0);
}

// Start on a playing song restarts it from the beginning, with a full pre-fill.
TEST_F(PlaybackTest, StartOnPlayingSongRestarts) {
    ASSERT_TRUE(startPlayback(playback_.get(), song_.get()));
    ASSERT_TRUE(waitForTicks(115));
    ASSERT_TRUE(startPlayback(playback_.get(), song_.get()));
    EXPECT_EQ(startsSeen.load(), 2);
    EXPECT_GE(ticksSinceStart.load(), 101);
    EXPECT_LT(ticksSinceStart.load(), 115);
}

// Stop followed at once by start, many times, never leaves a second audio thread behind.
TEST_F(PlaybackTest, StopThenStartNeverLeavesTwoThreads) {
    ASSERT_TRUE(startPlayback(playback_.get(), song_.get()));
    for (int round = 0; round < 15; ++round) {
        ASSERT_TRUE(stopPlayback(playback_.get(), song_.get()));
        ASSERT_TRUE(startPlayback(playback_.get(), song_.get()));
        EXPECT_EQ(audioThreadCount(), 1) << "round " << round;
    }
    EXPECT_EQ(startsSeen.load(), 16);
    ASSERT_TRUE(stopPlayback(playback_.get(), song_.get()));
    EXPECT_EQ(audioThreadCount(), 0);
}

// With the file callbacks not all registered, start stops the running playback and fails.
TEST_F(PlaybackTest, StartWithoutCallbacksFails) {
    ASSERT_TRUE(startPlayback(playback_.get(), song_.get()));
    setFileCallbacks(openNothing, nullptr, readNothing, seekNothing, tellNothing);
    EXPECT_FALSE(startPlayback(playback_.get(), song_.get()));
    EXPECT_EQ(audioThreadCount(), 0);
    registerCallbacks();
    EXPECT_TRUE(startPlayback(playback_.get(), song_.get()));
}

// Without an audio device start fails quietly and leaves no thread.
TEST_F(PlaybackTest, NoDeviceMeansNoPlayback) {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    EXPECT_FALSE(startPlayback(playback_.get(), song_.get()));
    EXPECT_EQ(audioThreadCount(), 0);
    EXPECT_TRUE(stopPlayback(playback_.get(), song_.get()));
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    EXPECT_TRUE(startPlayback(playback_.get(), song_.get()));
}

// The system refuses the audio thread (std::thread throws): start fails, and the device and the buffers are given
// back, so a later start works as usual. Leaks of the buffers show in the AddressSanitizer build.
TEST_F(PlaybackTest, ThreadCreationFailureLeavesNothingOpen) {
    struct RefusingStarter {
        RefusingStarter() { audioThreadStarter = refuse; }
        ~RefusingStarter() { audioThreadStarter = startStdThread; }
        static std::thread refuse(std::function<void()>) {
            throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        }
    };
    ASSERT_TRUE(startPlayback(playback_.get(), song_.get()));
    {
        RefusingStarter refusing;
        EXPECT_FALSE(startPlayback(playback_.get(), song_.get()));
        EXPECT_EQ(audioThreadCount(), 0);
        EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u) << "the audio device is still open";
        EXPECT_TRUE(stopPlayback(playback_.get(), song_.get()));
    }
    ASSERT_TRUE(startPlayback(playback_.get(), song_.get()));
    EXPECT_EQ(audioThreadCount(), 1);
    EXPECT_TRUE(waitForTicks(110)) << "the audio thread never refilled a block";
}

// Releasing a playing playback joins its audio thread; the song may go after it.
TEST_F(PlaybackTest, ReleasingAPlayingPlaybackStopsIt) {
    ASSERT_TRUE(startPlayback(playback_.get(), song_.get()));
    ASSERT_TRUE(waitForTicks(105));
    playback_.reset();
    EXPECT_EQ(audioThreadCount(), 0);
    EXPECT_TRUE(freeSong(song_.release()));
}

// Two playbacks are independent: the second cannot take the one dummy device while the first holds it, and
// that failure leaves the first playing; once the first stops, the second starts.
TEST_F(PlaybackTest, TwoPlaybacksAreIndependent) {
    const SongPointer other = load(xm_writer::writeModule(basicModule()));
    ASSERT_NE(other, nullptr);
    const PlaybackPointer second{createPlayback()};
    ASSERT_TRUE(startPlayback(playback_.get(), song_.get()));
    EXPECT_FALSE(startPlayback(second.get(), other.get()));
    EXPECT_EQ(audioThreadCount(), 1);
    EXPECT_TRUE(waitForTicks(110)) << "the first playback stopped mixing";
    ASSERT_TRUE(stopPlayback(playback_.get(), song_.get()));
    EXPECT_TRUE(startPlayback(second.get(), other.get()));
    EXPECT_EQ(audioThreadCount(), 1);
    EXPECT_TRUE(stopPlayback(second.get(), other.get()));
    EXPECT_EQ(audioThreadCount(), 0);
}

// A song that never falls silent and changes every few rows: a looped saw
// wave, a new note every fourth row on one channel.
SongPointer endlessSong() {
    xm_writer::SampleData saw;
    for (int frame = 0; frame < 48; ++frame) {
        saw.frames.push_back(static_cast<int16_t>(frame * 5 - 120));
    }
    saw.loop = xm_writer::LoopKind::Forward;
    saw.loopLength = static_cast<uint32_t>(saw.frames.size());
    xm_writer::ModuleData module = basicModule();
    module.instruments = {instrumentWith({saw})};
    module.patterns[0].cells.resize(static_cast<size_t>(module.patterns[0].rowCount) * module.channelCount);
    for (int row = 0; row < module.patterns[0].rowCount; row += 4) {
        module.patterns[0].cells[static_cast<size_t>(row) * module.channelCount] =
            xm_writer::Cell{static_cast<uint8_t>(37 + (row * 7) % 24), 1};
    }
    return load(xm_writer::writeModule(module));
}

std::vector<int16_t> readSamples(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    std::vector<int16_t> samples(bytes.size() / sizeof(int16_t));
    std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(int16_t));
    return samples;
}

size_t firstSoundingSample(const std::vector<int16_t>& samples) {
    size_t index = 0;
    while (index < samples.size() && samples[index] == 0) {
        ++index;
    }
    return index & ~size_t{1};  // whole frames
}

// Five seconds of real-time playback through SDL's file-writing driver cross the two-second ring two and a half
// times, so most of what the device plays was mixed by the audio thread while the device ran: the capture is the
// offline render, sample for sample. The ThreadSanitizer build runs this too: every block written by the audio
// thread is read by the device's callback on another thread.
TEST(LongPlayback, FiveSecondsThroughTheRingMatchTheOfflineRender) {
    constexpr double playedSeconds = 5.0;
    constexpr uintmax_t bytesPerSecond = uintmax_t{mixRate} * bytesPerOutputFrame;
    const std::string capture = ::testing::TempDir() + "playback_capture_" + std::to_string(getpid()) + ".raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", capture.c_str(), 1);
    registerCallbacks();
    SongPointer song = endlessSong();
    ASSERT_NE(song, nullptr);

    const PlaybackPointer playback{createPlayback()};
    ASSERT_TRUE(startPlayback(playback.get(), song.get()));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::FILE* watched = nullptr;
    long captured = 0;
    // A little more than the seconds compared: the device plays silence for a moment before it starts.
    const auto wanted = static_cast<long>((playedSeconds + 0.25) * bytesPerSecond);
    while (captured < wanted) {
        if (std::chrono::steady_clock::now() > deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (watched == nullptr) watched = std::fopen(capture.c_str(), "rb");
        if (watched != nullptr && std::fseek(watched, 0, SEEK_END) == 0) captured = std::ftell(watched);
    }
    if (watched != nullptr) std::fclose(watched);
    EXPECT_TRUE(stopPlayback(playback.get(), song.get()));
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_GE(captured, wanted)
        << "the device played only " << captured << " bytes within a minute";

    const std::vector<int16_t> played = readSamples(capture);
    std::remove(capture.c_str());
    const size_t playedStart = firstSoundingSample(played);  // the device plays silence until it starts
    const size_t compared = played.size() - playedStart;
    ASSERT_GE(compared, static_cast<size_t>(playedSeconds * mixRate * outputChannelCount));

    std::vector<int16_t> rendered;
    OfflineRender* render = beginOfflineRender(song.get());
    ASSERT_NE(render, nullptr);
    while (rendered.size() < compared + static_cast<size_t>(mixRate) * outputChannelCount) {
        const int16_t* block = renderOfflineBlock(render);
        ASSERT_NE(block, nullptr);
        rendered.insert(rendered.end(), block, block + blockLength * outputChannelCount);
    }
    endOfflineRender(render);
    const size_t renderedStart = firstSoundingSample(rendered);
    size_t same = 0;
    while (same < compared && played[playedStart + same] == rendered[renderedStart + same]) {
        ++same;
    }
    EXPECT_EQ(same, compared) << "first difference " << same / outputChannelCount << " frames into "
                              << compared / outputChannelCount << " played frames";
    setFileCallbacks(nullptr, nullptr, nullptr, nullptr, nullptr);
}

}  // namespace
