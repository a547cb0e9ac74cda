// Playback control with SDL's dummy audio driver: starting, restarting and
// stopping, and the audio thread's lifetime. Also built under ThreadSanitizer.
#include <dirent.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "file_callbacks.h"
#include "music_engine.h"
#include "playback.h"
#include "replayer.h"
#include "song.h"
#include "test_songs.h"
#include "xm_writer.h"

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

}  // namespace
