#include "playback.h"

#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <system_error>
#include <thread>

#include "audio_device.h"
#include "audio_thread_starter.h"
#include "file_callbacks.h"
#include "mixer.h"
#include "replayer.h"
#include "song.h"

namespace {

constexpr auto pollInterval = std::chrono::milliseconds(5);
constexpr int32_t deviceBufferBytes = ringLength * bytesPerOutputFrame;
constexpr int32_t blockBytes = blockLength * bytesPerOutputFrame;
// Two floats per frame, plus room to align the start to 16 bytes.
constexpr size_t mixBufferSlack = 256;
constexpr size_t mixBufferAlignment = 16;
constexpr size_t mixBufferBytes = size_t{ringLength} * outputChannelCount * sizeof(float) + mixBufferSlack;
// Real-time priority for the audio thread where the system grants it: high
// enough to preempt ordinary work, well below the system's own threads.
constexpr int audioThreadPriority = 10;
// Shows in the system's thread list (at most 15 characters).
constexpr char audioThreadName[] = "music-mixer";

struct PlaybackState {
    Song* currentSong = nullptr;
    AudioDevice* device = nullptr;
    int16_t* deviceBuffer = nullptr;
    void* mixBufferAllocation = nullptr;  // the mix buffer starts at its first 16-byte boundary
    std::thread audioThread;
    std::atomic<uint8_t> stopRequested{0};
    std::atomic<uint8_t> mixingNow{0};
    std::atomic<uint8_t> threadFinished{1};

    // At process exit the thread is joined and the device closed before
    // anything it uses goes away.
    ~PlaybackState();
};

PlaybackState playback;

void audioThreadProcedure() {
    playback.threadFinished.store(0);
    uint64_t bytesWritten = deviceBufferBytes;  // the pre-fill
    while (playback.stopRequested.load() == 0) {
        const uint64_t bytes = audioBytesPlayed(playback.device);
        const int32_t playingBlock =
            static_cast<int32_t>((bytes / bytesPerOutputFrame) % static_cast<uint64_t>(ringLength)) / blockLength;
        // Every block from the fill cursor up to, not including, the one
        // being played.
        while (mixerOutput().fillCursor != playingBlock) {
            playback.mixingNow.store(1);
            fillBlock();
            playback.mixingNow.store(0);
            bytesWritten += blockBytes;
            publishBufferWrites(playback.device, bytesWritten);
        }
        std::this_thread::sleep_for(pollInterval);
    }
    playback.threadFinished.store(1);
}

void nameAndPrioritise(std::thread& thread) {
    static_cast<void>(pthread_setname_np(thread.native_handle(), audioThreadName));
    sched_param parameters{};
    const int highest = sched_get_priority_max(SCHED_FIFO);
    parameters.sched_priority = highest < audioThreadPriority ? highest : audioThreadPriority;
    // Refused without the privilege; the thread then runs at normal priority.
    static_cast<void>(pthread_setschedparam(thread.native_handle(), SCHED_FIFO, &parameters));
}

void stopEverything() {
    playback.stopRequested.store(1);
    while (playback.mixingNow.load() != 0) {
        // Spin: a block fill ends within a few milliseconds.
    }
    if (playback.audioThread.joinable()) {
        playback.audioThread.join();
    }
    MixerOutput& output = mixerOutput();
    const bool mixerIsOurs = output.pcmRing != nullptr && output.pcmRing == playback.deviceBuffer;
    if (mixerIsOurs) {
        output = MixerOutput{};
    }
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

PlaybackState::~PlaybackState() { stopEverything(); }

}  // namespace

std::thread startStdThread(void (*procedure)()) { return std::thread(procedure); }

AudioThreadStarter audioThreadStarter = startStdThread;

void prepareSongStart(Song* song) {
    resetMixerVoices();
    resetSongPlayState(song);
}

bool startPlayback(Song* song) {
    if (song == nullptr) {
        return false;
    }
    stopPlayback(song);
    if (!fileCallbacksComplete()) {
        return false;
    }
    prepareSongStart(song);
    playback.currentSong = song;
    playback.device = openAudioDevice(AudioFormat{mixRate, outputChannelCount, 16});
    if (playback.device == nullptr) {
        return false;
    }
    playback.deviceBuffer = static_cast<int16_t*>(std::calloc(deviceBufferBytes, 1));
    playback.mixBufferAllocation = std::calloc(mixBufferBytes, 1);
    if (playback.deviceBuffer == nullptr || playback.mixBufferAllocation == nullptr) {
        stopEverything();
        return false;
    }
    const uintptr_t address = reinterpret_cast<uintptr_t>(playback.mixBufferAllocation);
    const uintptr_t aligned = (address + mixBufferAlignment - 1) & ~uintptr_t{mixBufferAlignment - 1};
    mixerOutput() = MixerOutput{song, reinterpret_cast<float*>(aligned), playback.deviceBuffer, ringBlockCount, 0};

    // Pre-fill the whole ring, so the device starts two seconds ahead.
    do {
        fillBlock();
    } while (mixerOutput().fillCursor != 0);

    publishBufferWrites(playback.device, deviceBufferBytes);
    playLoopingBuffer(playback.device, playback.deviceBuffer, deviceBufferBytes);
    playback.stopRequested.store(0);
    try {
        playback.audioThread = audioThreadStarter(audioThreadProcedure);
    } catch (const std::system_error&) {
        // No thread: give the device and the buffers back; the caller goes on silent.
        stopEverything();
        return false;
    }
    nameAndPrioritise(playback.audioThread);
    return true;
}

bool stopPlayback(Song* song) {
    if (song == nullptr) {
        return false;
    }
    stopEverything();
    return true;
}

bool playbackMixingNow() { return playback.mixingNow.load() != 0; }
