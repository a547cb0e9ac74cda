// The presentation's page: checks what the browser must offer, prepares the
// sound output (an AudioContext at the engine's 44,100 Hz with the ring
// player worklet), starts the module and starts the presentation on the
// first gesture, or at once with ?autostart.
"use strict";

(async () => {
  const canvas = document.getElementById("canvas");
  const overlay = document.getElementById("overlay");
  const status = document.getElementById("status");
  const show = (element, text) => {
    element.textContent = text;
    element.hidden = false;
  };

  if (!document.createElement("canvas").getContext("webgl2")) {
    show(overlay, "This presentation needs WebGL 2, which this browser does not offer.");
    return;
  }
  if (!window.crossOriginIsolated || typeof SharedArrayBuffer === "undefined") {
    show(overlay, "This page needs cross-origin isolation (shared memory for its audio thread): " +
      "serve it with the Cross-Origin-Opener-Policy and Cross-Origin-Embedder-Policy headers, as serve.py beside it does (python3 serve.py . --port 8000).");
    return;
  }

  const MIX_RATE = 44100;
  // The runtime's advice whenever the page's thread waits for another: the
  // music toggle and Escape join the audio thread, which leaves within one
  // 5 ms poll. An expected, bounded wait: not worth a line on the console.
  const MAIN_THREAD_WAIT_ADVICE = "Blocking on the main thread is very dangerous";
  let context = null;
  try {
    context = new AudioContext({ sampleRate: MIX_RATE });
    await context.audioWorklet.addModule("ring_player.js");
  } catch (error) {
    // No sound output: the presentation runs silent, as without a sound card.
    context = null;
  }

  // Tests define window.introSoundTap (an array) before the page loads: each
  // opened output then adds a session that collects every quantum it played.
  const tap = Array.isArray(window.introSoundTap) ? window.introSoundTap : null;
  const nodes = new Map();
  let nextNode = 1;
  const introAudio = {
    context,
    openRingPlayer(memory, controlAddress, channelCount) {
      const node = new AudioWorkletNode(context, "ring-player", {
        numberOfInputs: 0,
        numberOfOutputs: 1,
        outputChannelCount: [channelCount],
        processorOptions: { memory, controlAddress, tap: tap !== null },
      });
      if (tap) {
        const session = { chunks: [], closed: false };
        tap.push(session);
        node.port.onmessage = (event) => session.chunks.push(event.data);
        node.session = session;
      }
      node.connect(context.destination);
      const id = nextNode++;
      nodes.set(id, node);
      return id;
    },
    closeRingPlayer(id) {
      const node = nodes.get(id);
      if (!node) {
        return;
      }
      nodes.delete(id);
      node.port.postMessage("close");
      node.disconnect();
      if (node.session) {
        node.session.closed = true;
      }
    },
  };

  let started = false;
  const start = () => {
    if (started) {
      return;
    }
    started = true;
    overlay.hidden = true;
    if (context) {
      // Without a gesture (?autostart) the browser may hold the sound until one.
      context.resume().catch(() => {});
    }
    module._introStart();
  };
  const onGesture = (event) => {
    if (event.type === "keydown" && event.key === "Escape") {
      return;
    }
    if (context && context.state !== "running") {
      context.resume().catch(() => {});
    }
    if (!started) {
      const root = document.documentElement;
      if (root.requestFullscreen) {
        root.requestFullscreen().catch(() => {});
      }
      start();
    }
  };

  const events = {
    ready() {
      window.addEventListener("pointerdown", onGesture);
      window.addEventListener("keydown", onGesture);
      if (new URLSearchParams(location.search).has("autostart")) {
        setTimeout(start, 0);
      } else {
        show(overlay, "Click or press a key to start");
      }
    },
    "first-frame"() {
      window.introFirstFrameMs = performance.now();
    },
    started() {
      window.introStarted = true;
    },
    ended() {
      window.introEnded = true;
      show(status, "The presentation has ended. Reload the page to watch it again.");
    },
    "no-webgl2"() {
      show(overlay, "This presentation could not create its WebGL 2 picture in this browser.");
    },
  };
  const module = {
    canvas,
    introAudio,
    onIntroEvent: (name) => events[name] && events[name](),
    print: (text) => console.log(text),
    printErr: (text) => text.startsWith(MAIN_THREAD_WAIT_ADVICE) || console.error(text),
  };
  canvas.focus();
  await createIntroModule(module);
})();
