#include "playback.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <new>
#include <system_error>
#include <thread>

#include "audio_device.h"
#include "audio_thread_starter.h"
#include "file_callbacks.h"
#include "mixer.h"
#include "music_engine.h"
#include "replayer.h"
#include "song.h"
#include "thread_priority.h"

namespace intro_music::engine {

namespace {

constexpr auto pollInterval = std::chrono::milliseconds(5);
constexpr int32_t deviceBufferBytes = ringLength * bytesPerOutputFrame;
constexpr int32_t blockBytes = blockLength * bytesPerOutputFrame;
// Two floats per frame, plus room to align the start to 16 bytes.
constexpr size_t mixBufferSlack = 256;
constexpr size_t mixBufferAlignment = 16;
constexpr size_t mixBufferBytes = size_t{ringLength} * outputChannelCount * sizeof(float) + mixBufferSlack;

}  // namespace

struct Playback {
    MusicEngine engine{};
    Song* currentSong = nullptr;
    AudioDevice* device = nullptr;
    int16_t* deviceBuffer = nullptr;
    void* mixBufferAllocation = nullptr;  // the mix buffer starts at its first 16-byte boundary
    std::thread audioThread;
    std::atomic<uint8_t> stopRequested{0};
    std::atomic<uint8_t> mixingNow{0};
    std::atomic<uint8_t> threadFinished{1};

    // The thread is joined and the device closed before anything they use goes away.
    ~Playback();
};

namespace {

void audioThreadProcedure(Playback& playback) {
    playback.threadFinished.store(0);
    uint64_t bytesWritten = deviceBufferBytes;  // the pre-fill
    while (playback.stopRequested.load() == 0) {
        const uint64_t bytes = audioBytesPlayed(playback.device);
        const int32_t playingBlock =
            static_cast<int32_t>((bytes / bytesPerOutputFrame) % static_cast<uint64_t>(ringLength)) / blockLength;
        // Every block from the fill cursor up to, not including, the one
        // being played.
        while (playback.engine.output.fillCursor != playingBlock) {
            playback.mixingNow.store(1);
            fillBlock(playback.engine);
            playback.mixingNow.store(0);
            bytesWritten += blockBytes;
            publishBufferWrites(playback.device, bytesWritten);
        }
        std::this_thread::sleep_for(pollInterval);
    }
    playback.threadFinished.store(1);
}

void stopEverything(Playback& playback) {
    playback.stopRequested.store(1);
    while (playback.mixingNow.load() != 0) {
        // Spin: a block fill ends within a few milliseconds.
    }
    if (playback.audioThread.joinable()) {
        playback.audioThread.join();
    }
    playback.engine.output = MixerOutput{};
    std::free(playback.mixBufferAllocation);
    playback.mixBufferAllocation = nullptr;
    if (playback.deviceBuffer != nullptr) {
        resetAudioDevice(playback.device);
        std::free(playback.deviceBuffer);
        playback.deviceBuffer = nullptr;
    }
    playback.currentSong = nullptr;
    closeAudioDevice(playback.device);
    playback.device = nullptr;
}

}  // namespace

std::thread startStdThread(std::function<void()> procedure) { return std::thread(std::move(procedure)); }

AudioThreadStarter audioThreadStarter = startStdThread;

Playback::~Playback() { stopEverything(*this); }

Playback* createPlayback() { return new (std::nothrow) Playback; }

void destroyPlayback(Playback* playback) { delete playback; }

bool startPlayback(Playback* playbackPointer, Song* song) {
    if (playbackPointer == nullptr || song == nullptr) {
        return false;
    }
    Playback& playback = *playbackPointer;
    stopPlayback(&playback, song);
    if (!fileCallbacksComplete()) {
        return false;
    }
    prepareSongStart(playback.engine, song);
    playback.currentSong = song;
    playback.device = openAudioDevice(AudioFormat{mixRate, outputChannelCount, 16});
    if (playback.device == nullptr) {
        return false;
    }
    playback.deviceBuffer = static_cast<int16_t*>(std::calloc(deviceBufferBytes, 1));
    playback.mixBufferAllocation = std::calloc(mixBufferBytes, 1);
    if (playback.deviceBuffer == nullptr || playback.mixBufferAllocation == nullptr) {
        stopEverything(playback);
        return false;
    }
    const uintptr_t address = reinterpret_cast<uintptr_t>(playback.mixBufferAllocation);
    const uintptr_t aligned = (address + mixBufferAlignment - 1) & ~uintptr_t{mixBufferAlignment - 1};
    playback.engine.output =
        MixerOutput{song, reinterpret_cast<float*>(aligned), playback.deviceBuffer, ringBlockCount, 0};

    // Pre-fill the whole ring, so the device starts two seconds ahead.
    do {
        fillBlock(playback.engine);
    } while (playback.engine.output.fillCursor != 0);

    publishBufferWrites(playback.device, deviceBufferBytes);
    playLoopingBuffer(playback.device, playback.deviceBuffer, deviceBufferBytes);
    playback.stopRequested.store(0);
    try {
        playback.audioThread = audioThreadStarter([&playback] { audioThreadProcedure(playback); });
    } catch (const std::system_error&) {
        // No thread: give the device and the buffers back; the caller goes on silent.
        stopEverything(playback);
        return false;
    }
    raiseAudioThreadPriority(playback.audioThread);
    return true;
}

bool stopPlayback(Playback* playback, Song* song) {
    if (playback == nullptr || song == nullptr) {
        return false;
    }
    stopEverything(*playback);
    return true;
}

bool playbackMixingNow(const Playback* playback) { return playback != nullptr && playback->mixingNow.load() != 0; }

}  // namespace intro_music::engine
