// The song player's page: a song from a file (dropped or chosen) plays
// through a worklet that queues the pieces the engine renders a little
// ahead; the page shows the title, what the loader mended, the order and
// row being heard, the time, a progress bar and the pattern being played
// (its rows scrolling, the current one lit), plays a finished song again or
// loops it, and saves the whole render as a WAV file.
"use strict";

(async () => {
  const $ = (id) => document.getElementById(id);
  const message = $("message");
  const say = (text) => { message.textContent = text; };

  if (!window.crossOriginIsolated || typeof SharedArrayBuffer === "undefined") {
    say("This page needs cross-origin isolation (shared memory): serve it with the " +
      "Cross-Origin-Opener-Policy and Cross-Origin-Embedder-Policy headers, as serve.py beside it does (python3 serve.py . --port 8000).");
    return;
  }

  const RATE = 44100;
  const PLAYING = 0;
  const SAVING = 1;
  const PIECE_FRAMES = 4096;       // about 93 ms per piece
  const LEAD_SECONDS = 0.5;        // rendered ahead of what is heard
  const WAV_PIECE_FRAMES = 65536;
  const PATTERN_ROWS_AROUND = 4;  // rows shown above and below the current one

  const engine = await createPlayerModule({
    print: (text) => console.log(text),
    printErr: (text) => console.error(text),
  });
  let context = null;
  let node = null;
  try {
    context = new AudioContext({ sampleRate: RATE });
    await context.audioWorklet.addModule("queue_player.js");
    node = new AudioWorkletNode(context, "queue-player", { numberOfInputs: 0, numberOfOutputs: 1,
      outputChannelCount: [2] });
    node.connect(context.destination);
  } catch (error) {
    context = null;
    say("This browser offers no sound output at 44,100 Hz: the song cannot be heard here.");
  }

  // What is playing: rendered frames and, per piece, where the song was.
  const state = {
    loaded: false, name: "", generation: 0, rendered: 0, played: 0, ended: false, paused: false,
    startSeconds: 0, // where the song was when the queue began (a seek moves it)
    marks: [], // [first frame of a piece, order, row, pattern]
    looping: false, shownPattern: -1, shownRow: -1,
    duration: 0, orders: 0,
  };
  window.playerState = state;

  const formatTime = (seconds) => {
    const whole = Math.max(0, Math.floor(seconds));
    return `${Math.floor(whole / 60)}:${String(whole % 60).padStart(2, "0")}`;
  };

  // One pair of bars per channel, left and right, as high as its level.
  const showMeters = (levels) => {
    const meters = $("meters");
    const bars = levels.length;
    while (meters.children.length < bars) {
      meters.appendChild(document.createElement("span"));
    }
    while (meters.children.length > bars) {
      meters.lastChild.remove();
    }
    for (let index = 0; index < bars; ++index) {
      meters.children[index].style.height = `${Math.round(Math.min(1, levels[index]) * 100)}%`;
    }
  };

  // The pattern's rows around the one being heard, that one lit.
  const showPattern = (pattern, row) => {
    if (pattern === state.shownPattern && row === state.shownRow) {
      return;
    }
    state.shownPattern = pattern;
    state.shownRow = row;
    const view = $("pattern");
    view.replaceChildren();
    const rows = engine._playerPatternRows(pattern);
    for (let at = row - PATTERN_ROWS_AROUND; at <= row + PATTERN_ROWS_AROUND; at++) {
      const line = document.createElement("span");
      const text = at >= 0 && at < rows ? engine.UTF8ToString(engine._playerRowText(pattern, at)) : "";
      line.textContent = (at >= 0 && at < rows ? String(at).padStart(3, " ") + " " + text : " ") + "\n";
      if (at === row) {
        line.className = "current";
      }
      view.append(line);
    }
  };

  const finished = () => state.ended && state.played >= state.rendered;

  const showPosition = () => {
    if (!state.loaded) {
      return;
    }
    while (state.marks.length > 1 && state.marks[1][0] <= state.played) {
      state.marks.shift();
    }
    const mark = state.marks[0];
    if (mark) {
      state.order = mark[1];
      state.row = mark[2];
      // Orders count from 1 here, as people count: the last reads "8 of 8".
      $("position").textContent = `Order ${mark[1] + 1} of ${state.orders}, row ${mark[2]}`;
      showPattern(mark[3], mark[2]);
      showMeters(mark[4]);
    }
    // A looping song's clock starts again with each pass.
    const heard = state.startSeconds + state.played / RATE;
    const seconds = state.looping && state.duration > 0 ? heard % state.duration : heard;
    $("time").textContent = `${formatTime(seconds)} / ${formatTime(state.duration)}` +
      (state.paused ? "  (paused)" : finished() ? "  (ended)" : "");
    $("fill").style.width = `${Math.min(100, (100 * seconds) / Math.max(state.duration, 0.001))}%`;
    $("pause").textContent = finished() ? "Play again" : state.paused ? "Play" : "Pause";
  };

  // Keeps LEAD_SECONDS of sound queued ahead of what has been played.
  const pump = () => {
    if (!state.loaded || !node || state.ended) {
      return;
    }
    while (state.rendered - state.played < LEAD_SECONDS * RATE) {
      const order = engine._playerOrder(PLAYING);
      const row = engine._playerRow(PLAYING);
      const pattern = engine._playerPattern(PLAYING);
      const frames = engine._playerRender(PLAYING, PIECE_FRAMES);
      if (frames <= 0) {
        state.ended = true;
        return;
      }
      const start = engine._playerFrames() / 2;
      const piece = engine.HEAP16.slice(start, start + 2 * frames);
      // Each channel's level at the end of the piece, shown while it is heard.
      const channels = engine._playerChannelLevels();
      state.channels = channels;
      const first = engine._playerLevels() / 4;
      const levels = engine.HEAPF32.slice(first, first + 2 * channels);
      state.marks.push([state.rendered, order, row, pattern, levels]);
      state.rendered += frames;
      node.port.postMessage(piece, [piece.buffer]);
    }
  };

  if (node) {
    node.port.onmessage = (event) => {
      if (event.data.generation === state.generation) {
        state.played = event.data.played;
        pump();
        showPosition();
      }
    };
  }

  // Empties the worklet's queue: what it plays next comes from here on.
  const restartQueue = () => {
    state.generation += 1;
    if (node) {
      node.port.postMessage({ clear: state.generation });
    }
    Object.assign(state, { rendered: 0, played: 0, ended: false, marks: [] });
  };

  // Continues from the start of an order-list position, as tracker players do.
  const seekToOrder = (order) => {
    if (!state.loaded || !engine._playerSeekToOrder(PLAYING, Math.max(0, Math.min(order, state.orders - 1)))) {
      return;
    }
    restartQueue();
    state.startSeconds = engine._playerSeconds(PLAYING);
    pump();
    showPosition();
  };

  // A finished song from its beginning, as freshly loaded.
  const playAgain = () => {
    if (!state.loaded || !engine._playerRestart(PLAYING)) {
      return;
    }
    restartQueue();
    state.startSeconds = 0;
    setPaused(false);
    pump();
    showPosition();
  };

  const showWarnings = () => {
    const list = $("warnings");
    list.replaceChildren();
    for (let index = 0; index < engine._playerWarningCount(); index++) {
      const item = document.createElement("li");
      item.textContent = engine.UTF8ToString(engine._playerWarning(index));
      list.append(item);
    }
    list.hidden = list.children.length === 0;
  };

  const load = async (file) => {
    const bytes = new Uint8Array(await file.arrayBuffer());
    const address = engine._malloc(Math.max(bytes.length, 1));
    engine.HEAPU8.set(bytes, address);
    const loaded = engine._playerLoad(address, bytes.length);
    engine._free(address);
    state.loaded = false;
    state.startSeconds = 0;
    restartQueue();
    if (!loaded) {
      $("song").hidden = true;
      say(engine.UTF8ToString(engine._playerError()));
      return;
    }
    say("");
    Object.assign(state, {
      loaded: true, name: file.name,
      title: engine.UTF8ToString(engine._playerTitle()),
      duration: engine._playerDurationSeconds(),
      orders: engine._playerOrderCount(),
    });
    $("title").textContent = state.title || file.name;
    showWarnings();
    engine._playerSetLooping(state.looping ? 1 : 0);
    state.shownPattern = -1;
    $("song").hidden = false;
    if (context) {
      setPaused(false);
    }
    pump();
    showPosition();
  };

  const setPaused = (paused) => {
    state.paused = paused;
    if (context) {
      (paused ? context.suspend() : context.resume()).catch(() => {});
    }
    showPosition();
  };

  // The whole song, one pass, as the engine renders it: the WAV's bytes are
  // those of xm2wav's.
  const saveWav = () => {
    if (!state.loaded || !engine._playerRestart(SAVING)) {
      return;
    }
    const pieces = [];
    let frames = 0;
    for (let count; (count = engine._playerRender(SAVING, WAV_PIECE_FRAMES)) > 0;) {
      const start = engine._playerFrames() / 2;
      pieces.push(engine.HEAP16.slice(start, start + 2 * count));
      frames += count;
    }
    const dataBytes = frames * 4;
    const header = new DataView(new ArrayBuffer(44));
    const text = (offset, value) => [...value].forEach((c, i) => header.setUint8(offset + i, c.charCodeAt(0)));
    text(0, "RIFF");
    header.setUint32(4, 36 + dataBytes, true);
    text(8, "WAVE");
    text(12, "fmt ");
    header.setUint32(16, 16, true);
    header.setUint16(20, 1, true);          // PCM
    header.setUint16(22, 2, true);          // stereo
    header.setUint32(24, RATE, true);
    header.setUint32(28, RATE * 4, true);
    header.setUint16(32, 4, true);
    header.setUint16(34, 16, true);
    text(36, "data");
    header.setUint32(40, dataBytes, true);
    const blob = new Blob([header, ...pieces], { type: "audio/wav" });
    const link = document.createElement("a");
    link.href = URL.createObjectURL(blob);
    link.download = (state.name.replace(/\.xm$/i, "") || "song") + ".wav";
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(link.href), 60000);
  };

  const drop = $("drop");
  $("file").addEventListener("change", (event) => {
    if (event.target.files.length > 0) {
      load(event.target.files[0]);
    }
  });
  drop.addEventListener("dragover", (event) => {
    event.preventDefault();
    drop.classList.add("over");
  });
  drop.addEventListener("dragleave", () => drop.classList.remove("over"));
  drop.addEventListener("drop", (event) => {
    event.preventDefault();
    drop.classList.remove("over");
    if (event.dataTransfer.files.length > 0) {
      load(event.dataTransfer.files[0]);
    }
  });
  const playOrPause = () => (finished() ? playAgain() : setPaused(!state.paused));
  $("pause").addEventListener("click", playOrPause);
  $("loop").addEventListener("change", (event) => {
    state.looping = event.target.checked;
    // From the next return of the song on (a song whose end is already
    // rendered ends, and plays again on a click).
    if (state.loaded) {
      engine._playerSetLooping(state.looping ? 1 : 0);
    }
  });
  $("save").addEventListener("click", saveWav);
  // Heard from the next rendered piece; the saved file follows it too.
  $("interpolation").addEventListener("change", (event) => {
    engine._playerSetInterpolation(Number(event.target.value));
  });
  $("bar").addEventListener("click", (event) => {
    const box = event.currentTarget.getBoundingClientRect();
    seekToOrder(Math.floor(((event.clientX - box.left) / box.width) * state.orders));
  });
  window.addEventListener("keydown", (event) => {
    if (!state.loaded) {
      return;
    }
    if (event.code === "Space") {
      event.preventDefault();
      playOrPause();
    } else if (event.code === "ArrowLeft" || event.code === "ArrowRight") {
      event.preventDefault();
      seekToOrder((state.order ?? 0) + (event.code === "ArrowRight" ? 1 : -1));
    }
  });
  // The engine's speed here: one pass of the loaded song rendered and thrown
  // away (make bench compares it with the native build).
  // mode: the interpolation to measure (1 linear, 3 sinc); it stays chosen.
  window.playerBenchmark = (mode = 1) => {
    engine._playerSetInterpolation(mode);
    $("interpolation").value = String(mode);
    const started = performance.now();
    const seconds = engine._playerRenderSeconds();
    return { seconds, milliseconds: performance.now() - started };
  };
  window.playerReady = true;
})();
