// A sound output of our own: it plays one looping buffer of interleaved
// 16-bit PCM and counts the bytes it has taken from that buffer, which tells
// the audio thread which parts of the buffer it may overwrite.
#pragma once

#include <cstdint>

namespace intro_music::engine {

struct AudioFormat {
    int32_t framesPerSecond;
    int32_t channelCount;
    int32_t bitsPerSample;  // 16 is the only depth offered
};

struct AudioDevice;

// Null when no device can be opened with this format.
AudioDevice* openAudioDevice(const AudioFormat& format);
// Starts playing the buffer from its first byte and repeats it until reset.
// The buffer must stay valid until resetAudioDevice or closeAudioDevice.
void playLoopingBuffer(AudioDevice* device, const void* buffer, uint32_t byteCount);
// Bytes taken from the looping buffer since the device was opened.
uint64_t audioBytesPlayed(const AudioDevice* device);
// Hands the writes to the buffer so far over to the device: called by the
// writer after each block it puts in the ring, with the running total of
// bytes written, stored with release order. SDL: the callback acquires the
// total before it copies, which orders every block write before its reads.
// waveOut: the driver reads the looping buffer on its own, with nothing of
// ours to pair with; the release store keeps the block's writes before it
// in program order, which is all the 2-second lead needs.
void publishBufferWrites(AudioDevice* device, uint64_t bytesWritten);
// Stops playing and forgets the buffer; afterwards the buffer may be freed.
void resetAudioDevice(AudioDevice* device);
// Closes the device; null is ignored.
void closeAudioDevice(AudioDevice* device);

}  // namespace intro_music::engine
