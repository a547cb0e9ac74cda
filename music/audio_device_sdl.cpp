// The sound output on SDL2's audio subsystem. SDL pulls sound through a
// callback on its own thread; the callback copies from the looping buffer.
#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

#include "alsa_reports.h"
#include "audio_device.h"

namespace intro_music::engine {

namespace {
// Frames SDL asks for per callback: about 23 ms, well inside one 20 ms block
// plus the ring's two seconds of lead.
constexpr Uint16 callbackFrames = 1024;
constexpr int32_t supportedBitsPerSample = 16;
}  // namespace

struct AudioDevice {
    SDL_AudioDeviceID id = 0;
    // Owned by the callback while the device is unlocked.
    const uint8_t* buffer = nullptr;
    uint32_t byteCount = 0;
    uint32_t readOffset = 0;
    std::atomic<uint64_t> bytesPlayed{0};
    std::atomic<uint64_t> bytesWritten{0};
};

namespace {

void copyFromLoop(void* userdata, Uint8* stream, int length) {
    auto* device = static_cast<AudioDevice*>(userdata);
    if (device->buffer == nullptr || device->byteCount == 0 || length <= 0) {
        std::memset(stream, 0, static_cast<size_t>(std::max(length, 0)));
        return;
    }
    // Pairs with publishBufferWrites: the blocks copied below were written
    // before a total the writer published, so they are complete here.
    static_cast<void>(device->bytesWritten.load(std::memory_order_acquire));
    uint32_t remaining = static_cast<uint32_t>(length);
    while (remaining > 0) {
        const uint32_t piece = std::min(remaining, device->byteCount - device->readOffset);
        std::memcpy(stream, device->buffer + device->readOffset, piece);
        stream += piece;
        remaining -= piece;
        device->readOffset += piece;
        if (device->readOffset == device->byteCount) {
            device->readOffset = 0;
        }
    }
    // Counted only once copied: those bytes may now be overwritten.
    device->bytesPlayed.fetch_add(static_cast<uint64_t>(length), std::memory_order_release);
}

}  // namespace

AudioDevice* openAudioDevice(const AudioFormat& format) {
    if (format.bitsPerSample != supportedBitsPerSample || format.channelCount <= 0 || format.framesPerSecond <= 0) {
        return nullptr;
    }
    silenceAlsaReports();
    // SDL would otherwise catch SIGINT and SIGTERM for an event queue nobody
    // reads, and the presentation would no longer end on them.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        return nullptr;
    }
    auto* device = new (std::nothrow) AudioDevice{};
    if (device == nullptr) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return nullptr;
    }
    SDL_AudioSpec desired{};
    desired.freq = format.framesPerSecond;
    desired.format = AUDIO_S16SYS;
    desired.channels = static_cast<Uint8>(format.channelCount);
    desired.samples = callbackFrames;
    desired.callback = copyFromLoop;
    desired.userdata = device;
    SDL_AudioSpec obtained{};
    // No changes allowed: SDL converts to whatever the hardware wants.
    device->id = SDL_OpenAudioDevice(nullptr, 0, &desired, &obtained, 0);
    if (device->id == 0) {
        delete device;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return nullptr;
    }
    return device;
}

void playLoopingBuffer(AudioDevice* device, const void* buffer, uint32_t byteCount) {
    if (device == nullptr) {
        return;
    }
    SDL_LockAudioDevice(device->id);
    device->buffer = static_cast<const uint8_t*>(buffer);
    device->byteCount = buffer != nullptr ? byteCount : 0;
    device->readOffset = 0;
    SDL_UnlockAudioDevice(device->id);
    SDL_PauseAudioDevice(device->id, 0);
}

uint64_t audioBytesPlayed(const AudioDevice* device) {
    return device != nullptr ? device->bytesPlayed.load(std::memory_order_acquire) : 0;
}

void publishBufferWrites(AudioDevice* device, uint64_t bytesWritten) {
    if (device != nullptr) {
        device->bytesWritten.store(bytesWritten, std::memory_order_release);
    }
}

void resetAudioDevice(AudioDevice* device) {
    if (device == nullptr) {
        return;
    }
    SDL_PauseAudioDevice(device->id, 1);
    // The lock waits for a callback that is running to finish.
    SDL_LockAudioDevice(device->id);
    device->buffer = nullptr;
    device->byteCount = 0;
    device->readOffset = 0;
    SDL_UnlockAudioDevice(device->id);
}

void closeAudioDevice(AudioDevice* device) {
    if (device == nullptr) {
        return;
    }
    SDL_CloseAudioDevice(device->id);
    delete device;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

}  // namespace intro_music::engine
