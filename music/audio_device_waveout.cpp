// The sound output on Windows' waveOut: one prepared header over the whole
// buffer, flagged as an endless loop, queued once. The device's byte position
// tells the audio thread which parts it may overwrite.
#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <cstdint>
#include <new>

#include "audio_device.h"
#include "device_position.h"

namespace intro_music::engine {

namespace {
constexpr int32_t supportedBitsPerSample = 16;
constexpr int32_t bitsPerByte = 8;
// The device repeats a looping header this many times: for as long as it plays.
constexpr DWORD endlessLoops = 0xFFFFFFFF;
}  // namespace

struct AudioDevice {
    HWAVEOUT handle = nullptr;
    WAVEHDR header{};
    bool headerPrepared = false;
    // waveOut counts in 32 bits (about 6.8 hours of sound); the audio thread,
    // the only reader, widens the count so the ring arithmetic never jumps.
    mutable WidenedPosition position;
    // The running total of bytes put in the ring, published with release
    // order so every block write comes before the device's later reads.
    std::atomic<uint64_t> bytesWritten{0};
};

AudioDevice* openAudioDevice(const AudioFormat& format) {
    if (format.bitsPerSample != supportedBitsPerSample || format.channelCount <= 0 || format.framesPerSecond <= 0) {
        return nullptr;
    }
    WAVEFORMATEX waveFormat{};
    waveFormat.wFormatTag = WAVE_FORMAT_PCM;
    waveFormat.nChannels = static_cast<WORD>(format.channelCount);
    waveFormat.nSamplesPerSec = static_cast<DWORD>(format.framesPerSecond);
    waveFormat.wBitsPerSample = static_cast<WORD>(format.bitsPerSample);
    waveFormat.nBlockAlign = static_cast<WORD>(format.channelCount * format.bitsPerSample / bitsPerByte);
    waveFormat.nAvgBytesPerSec = waveFormat.nSamplesPerSec * waveFormat.nBlockAlign;
    waveFormat.cbSize = 0;

    auto* device = new (std::nothrow) AudioDevice{};
    if (device == nullptr) {
        return nullptr;
    }
    // No callback: the audio thread polls the position instead.
    if (waveOutOpen(&device->handle, WAVE_MAPPER, &waveFormat, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
        delete device;
        return nullptr;
    }
    return device;
}

void playLoopingBuffer(AudioDevice* device, const void* buffer, uint32_t byteCount) {
    if (device == nullptr || buffer == nullptr || byteCount == 0) {
        return;
    }
    resetAudioDevice(device);
    WAVEHDR& header = device->header;
    header = WAVEHDR{};
    // waveOut only reads the buffer; its header type just is not const.
    header.lpData = static_cast<LPSTR>(const_cast<void*>(buffer));
    header.dwBufferLength = byteCount;
    header.dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
    header.dwLoops = endlessLoops;
    if (waveOutPrepareHeader(device->handle, &header, sizeof header) != MMSYSERR_NOERROR) {
        return;
    }
    device->headerPrepared = true;
    static_cast<void>(waveOutWrite(device->handle, &header, sizeof header));
}

uint64_t audioBytesPlayed(const AudioDevice* device) {
    if (device == nullptr) {
        return 0;
    }
    MMTIME time{};
    time.wType = TIME_BYTES;
    if (waveOutGetPosition(device->handle, &time, sizeof time) != MMSYSERR_NOERROR || time.wType != TIME_BYTES) {
        return device->position.total;
    }
    return widenDevicePosition(device->position, time.u.cb);
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
    // Reset returns the header to us; only then may it be unprepared.
    static_cast<void>(waveOutReset(device->handle));
    if (device->headerPrepared) {
        static_cast<void>(waveOutUnprepareHeader(device->handle, &device->header, sizeof device->header));
        device->header.dwFlags &= ~static_cast<DWORD>(WHDR_PREPARED);
        device->headerPrepared = false;
    }
    // Reset also sets the device's position back to 0.
    device->position = WidenedPosition{};
}

void closeAudioDevice(AudioDevice* device) {
    if (device == nullptr) {
        return;
    }
    resetAudioDevice(device);
    static_cast<void>(waveOutClose(device->handle));
    delete device;
}

}  // namespace intro_music::engine
