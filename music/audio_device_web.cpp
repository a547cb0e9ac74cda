// The sound output in a browser: an AudioWorklet node that copies the looping
// buffer straight out of the module's shared memory and counts the bytes it
// has taken. The page creates the AudioContext at 44,100 Hz and registers the
// worklet (web/ring_player.js) before the module starts; without them, or
// without a context at the right rate, no device opens and the presentation
// goes on silent, as it does on a machine without a sound card.
#include <emscripten.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>

#include "audio_device.h"

namespace intro_music::engine {

namespace {
constexpr int32_t supportedBitsPerSample = 16;
constexpr int32_t supportedChannelCount = 2;
}  // namespace

// Shared with the worklet, which reads and writes these fields with Atomics
// at the offsets named in ring_player.js: keep the two in step.
struct RingControl {
    std::atomic<uint64_t> bytesPlayed{0};   // written by the worklet
    std::atomic<uint64_t> bytesWritten{0};  // written by the audio thread
    std::atomic<uint32_t> bufferAddress{0};  // 0: play silence
    std::atomic<uint32_t> byteCount{0};
    std::atomic<uint32_t> readerBusy{0};  // set by the worklet while it copies
};
static_assert(offsetof(RingControl, bytesPlayed) == 0);
static_assert(offsetof(RingControl, bytesWritten) == 8);
static_assert(offsetof(RingControl, bufferAddress) == 16);
static_assert(offsetof(RingControl, byteCount) == 20);
static_assert(offsetof(RingControl, readerBusy) == 24);

struct AudioDevice {
    int32_t node = 0;  // the page's handle for the worklet node
    RingControl control;
};

// Returns a handle above 0, or 0 when the page offers no worklet at this rate.
EM_JS(int32_t, createRingPlayerNode, (int32_t framesPerSecond, int32_t channelCount, uint32_t controlAddress), {
    const audio = Module["introAudio"];
    if (!audio || !audio.context || audio.context.sampleRate !== framesPerSecond) {
        return 0;
    }
    return audio.openRingPlayer(HEAPU8.buffer, controlAddress, channelCount);
});

EM_JS(void, closeRingPlayerNode, (int32_t node), {
    const audio = Module["introAudio"];
    if (audio) {
        audio.closeRingPlayer(node);
    }
});

AudioDevice* openAudioDevice(const AudioFormat& format) {
    if (format.bitsPerSample != supportedBitsPerSample || format.channelCount != supportedChannelCount ||
        format.framesPerSecond <= 0) {
        return nullptr;
    }
    auto* device = new (std::nothrow) AudioDevice{};
    if (device == nullptr) {
        return nullptr;
    }
    device->node = createRingPlayerNode(format.framesPerSecond, format.channelCount,
                                        static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&device->control)));
    if (device->node <= 0) {
        delete device;
        return nullptr;
    }
    return device;
}

void playLoopingBuffer(AudioDevice* device, const void* buffer, uint32_t byteCount) {
    if (device == nullptr) {
        return;
    }
    resetAudioDevice(device);
    device->control.byteCount.store(buffer != nullptr ? byteCount : 0);
    // The address last: the worklet starts reading once it sees it.
    device->control.bufferAddress.store(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(buffer)));
}

uint64_t audioBytesPlayed(const AudioDevice* device) {
    return device != nullptr ? device->control.bytesPlayed.load() : 0;
}

void publishBufferWrites(AudioDevice* device, uint64_t bytesWritten) {
    if (device != nullptr) {
        device->control.bytesWritten.store(bytesWritten);
    }
}

void resetAudioDevice(AudioDevice* device) {
    if (device == nullptr) {
        return;
    }
    // Both sides use sequentially consistent order: either the worklet sees
    // the cleared address, or this side sees it busy and waits for the copy
    // (one 128-frame quantum) to end. Afterwards the buffer is ours again.
    device->control.bufferAddress.store(0);
    while (device->control.readerBusy.load() != 0) {
    }
}

void closeAudioDevice(AudioDevice* device) {
    if (device == nullptr) {
        return;
    }
    resetAudioDevice(device);
    closeRingPlayerNode(device->node);
    delete device;
}

}  // namespace intro_music::engine
