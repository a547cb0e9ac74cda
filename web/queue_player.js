// The song player's sound output inside the browser's audio thread: plays the
// pieces of 16-bit stereo frames the page sends, in order, and tells the page
// how many frames it has played (silence while the queue is empty).
const SAMPLE_SCALE = 1 / 32768;
// About 46 ms between reports: smooth enough for the position shown.
const REPORT_EVERY_FRAMES = 2048;

class QueuePlayer extends AudioWorkletProcessor {
  constructor() {
    super();
    this.queue = [];
    this.offset = 0;  // frames of queue[0] already played
    this.played = 0;
    this.unreported = 0;
    // Each "clear" starts a new generation; reports carry it, so the page
    // can tell them from reports still on their way from before.
    this.generation = 0;
    this.port.onmessage = (event) => {
      if (event.data.clear !== undefined) {
        this.queue = [];
        this.offset = 0;
        this.played = 0;
        this.generation = event.data.clear;
      } else {
        this.queue.push(event.data);
      }
    };
  }

  process(_inputs, outputs) {
    const left = outputs[0][0];
    const right = outputs[0][1] || left;
    let frame = 0;
    while (frame < left.length && this.queue.length > 0) {
      const piece = this.queue[0];
      const pieceFrames = piece.length / 2;
      const count = Math.min(left.length - frame, pieceFrames - this.offset);
      for (let k = 0; k < count; ++k) {
        left[frame + k] = piece[2 * (this.offset + k)] * SAMPLE_SCALE;
        right[frame + k] = piece[2 * (this.offset + k) + 1] * SAMPLE_SCALE;
      }
      frame += count;
      this.offset += count;
      if (this.offset === pieceFrames) {
        this.queue.shift();
        this.offset = 0;
      }
    }
    left.fill(0, frame);
    right.fill(0, frame);
    this.played += frame;
    this.unreported += frame;
    if (this.unreported >= REPORT_EVERY_FRAMES || (frame > 0 && this.queue.length === 0)) {
      this.unreported = 0;
      this.port.postMessage({ generation: this.generation, played: this.played });
    }
    return true;
  }
}

registerProcessor("queue-player", QueuePlayer);
