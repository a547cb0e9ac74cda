// The presentation's sound device inside the browser's audio thread: plays the
// looping ring of 16-bit stereo frames straight from the module's shared
// memory and counts the bytes it has taken, so the audio thread knows which
// blocks it may refill. The control block's layout is RingControl's in
// music/audio_device_web.cpp.
const BYTES_PLAYED = 0;     // BigUint64 index 0
const BYTES_WRITTEN = 1;    // BigUint64 index 1
const BUFFER_ADDRESS = 4;   // Uint32 index 4 (byte 16)
const BYTE_COUNT = 5;       // Uint32 index 5 (byte 20)
const READER_BUSY = 6;      // Uint32 index 6 (byte 24)
const BYTES_PER_FRAME = 4;
const SAMPLE_SCALE = 1 / 32768;

class RingPlayer extends AudioWorkletProcessor {
  constructor(options) {
    super();
    const { memory, controlAddress, tap } = options.processorOptions;
    this.words = new Uint32Array(memory, controlAddress, 8);
    this.counters = new BigUint64Array(memory, controlAddress, 2);
    this.samples = new Int16Array(memory);
    this.readOffset = 0;
    this.closed = false;
    // Test builds of the page ask for a copy of every quantum taken.
    this.tap = Boolean(tap);
    this.port.onmessage = (event) => {
      if (event.data === "close") {
        this.closed = true;
      }
    };
  }

  process(_inputs, outputs) {
    if (this.closed) {
      return false;
    }
    const left = outputs[0][0];
    const right = outputs[0][1] || left;
    const frames = left.length;
    Atomics.store(this.words, READER_BUSY, 1);
    const address = Atomics.load(this.words, BUFFER_ADDRESS);
    if (address === 0) {
      Atomics.store(this.words, READER_BUSY, 0);
      left.fill(0);
      right.fill(0);
      return true;
    }
    const byteCount = Atomics.load(this.words, BYTE_COUNT);
    // Acquires the writer's blocks: everything up to this total is complete.
    Atomics.load(this.counters, BYTES_WRITTEN);
    const ringFrames = byteCount / BYTES_PER_FRAME;
    const first = address / 2;
    const copy = this.tap ? new Int16Array(frames * 2) : null;
    for (let frame = 0; frame < frames; ++frame) {
      const index = first + 2 * this.readOffset;
      const l = this.samples[index];
      const r = this.samples[index + 1];
      left[frame] = l * SAMPLE_SCALE;
      right[frame] = r * SAMPLE_SCALE;
      if (copy) {
        copy[2 * frame] = l;
        copy[2 * frame + 1] = r;
      }
      if (++this.readOffset === ringFrames) {
        this.readOffset = 0;
      }
    }
    Atomics.store(this.words, READER_BUSY, 0);
    // Counted only once copied: those bytes may now be overwritten.
    Atomics.add(this.counters, BYTES_PLAYED, BigInt(frames * BYTES_PER_FRAME));
    if (copy) {
      this.port.postMessage(copy, [copy.buffer]);
    }
    return true;
  }
}

registerProcessor("ring-player", RingPlayer);
