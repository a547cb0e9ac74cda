#!/usr/bin/python3
"""Figures of the browser build, measured in headless Chromium.

usage: web_bench.py WEB_DIR XM2WAV SONG.xm [REAL_SONGS_DIR]

- transfer size of the presentation's page: every file it loads, raw and gzip;
- time from navigation to the first drawn frame (fresh browser, no cache);
- frame time at 1280x720: the frame's code and its GL work;
- the music engine's render speed in WebAssembly (the player page) against
  the native xm2wav, one pass of the same songs, linear and sinc interpolation:
  times real time and the ratio.
"""
import gzip
import pathlib
import statistics
import subprocess
import sys
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tests" / "web"))
from devtools import Browser  # noqa: E402

PAGE_FILES = ["index.html", "intro_page.js", "intro.js", "intro.worker.js", "intro.wasm", "ring_player.js"]
WIDTH, HEIGHT = 1280, 720
RUNS = 3
FRAME_COUNT = 180
# Times every animation callback (the presentation's frame) up to the end
# of its GL work: reading one pixel back waits until the GPU process has drawn
# the frame (finish() alone does not).
FRAME_SCRIPT = """
window.frameTimes = [];
window.frameIntervals = [];
const originalRequest = window.requestAnimationFrame.bind(window);
let gl = null;
let last = null;
const pixel = new Uint8Array(4);
window.requestAnimationFrame = (callback) => originalRequest((now) => {
  const started = performance.now();
  callback(now);
  gl = gl || document.getElementById("canvas").getContext("webgl2");
  gl.readPixels(0, 0, 1, 1, gl.RGBA, gl.UNSIGNED_BYTE, pixel);
  window.frameTimes.push(performance.now() - started);
  if (last !== null) window.frameIntervals.push(now - last);
  last = now;
});
"""


def serve(web_dir):
    server = subprocess.Popen(["/usr/bin/python3", str(web_dir / "serve.py"), str(web_dir), "--port", "0"],
                              stdout=subprocess.PIPE, text=True)
    return server, server.stdout.readline().strip()


def sizes(web_dir):
    raw = sum((web_dir / name).stat().st_size for name in PAGE_FILES)
    packed = sum(len(gzip.compress((web_dir / name).read_bytes(), 9)) for name in PAGE_FILES)
    print(f"page transfer ({', '.join(PAGE_FILES)}): {raw / 1e6:.2f} MB raw, {packed / 1e6:.2f} MB gzip")
    print(f"  of which intro.wasm: {(web_dir / 'intro.wasm').stat().st_size / 1e6:.2f} MB raw")


def first_frame(base):
    times = []
    for _ in range(RUNS):
        with Browser(WIDTH, HEIGHT) as browser:
            browser.page("Page.navigate", url=base + "index.html")
            times.append(browser.wait_for("window.introFirstFrameMs", 60, "the first frame"))
    print(f"navigation to first drawn frame: median {statistics.median(times):.0f} ms "
          f"(runs: {', '.join(f'{t:.0f}' for t in times)})")


def frame_time(base):
    with Browser(WIDTH, HEIGHT) as browser:
        browser.page("Page.addScriptToEvaluateOnNewDocument", source=FRAME_SCRIPT)
        browser.page("Page.navigate", url=base + "index.html?autostart")
        browser.wait_for("window.introStarted", 60, "the presentation started")
        browser.evaluate("window.frameTimes.length = 0, window.frameIntervals.length = 0")
        browser.wait_for(f"window.frameTimes.length >= {FRAME_COUNT}", 60, f"{FRAME_COUNT} frames")
        times = browser.evaluate("window.frameTimes")
        intervals = browser.evaluate("window.frameIntervals")
    print(f"frame time at {WIDTH}x{HEIGHT} (software WebGL 2 by SwiftShader, vsync at 60 Hz): frames arrive "
          f"{statistics.median(intervals):.1f} ms apart (median; mean {statistics.mean(intervals):.1f} ms) "
          f"over {len(intervals)} frames; the frame drawn, until a pixel of it can be read back: "
          f"median {statistics.median(times):.2f} ms, 90th percentile {statistics.quantiles(times, n=10)[-1]:.2f} ms")


# The interpolations measured: the default and the band-limited one.
MODES = {"linear": 1, "sinc": 3}


def native_speed(xm2wav, song, mode):
    best = None
    for _ in range(RUNS):
        started = time.perf_counter()
        pcm = subprocess.run([str(xm2wav), "--raw", "--interpolation", mode, str(song), "-"],
                             stdout=subprocess.PIPE, check=True).stdout
        elapsed = time.perf_counter() - started
        best = elapsed if best is None else min(best, elapsed)
    return len(pcm) / 4 / 44100 / best


def wasm_speeds(base, songs):
    """Per song, per mode: times real time."""
    speeds = []
    with Browser(WIDTH, HEIGHT) as browser:
        browser.page("DOM.enable")
        browser.page("Page.navigate", url=base + "player.html")
        browser.wait_for("window.playerReady", 60, "the player page")
        for song in songs:
            document = browser.page("DOM.getDocument")["root"]["nodeId"]
            node = browser.page("DOM.querySelector", nodeId=document, selector="#file")["nodeId"]
            browser.page("DOM.setFileInputFiles", nodeId=node, files=[str(song)])
            browser.wait_for(f"window.playerState.loaded && window.playerState.name === {song.name!r}", 30,
                             f"{song.name} loaded")
            browser.press(" ", "Space", 32)  # paused: the page renders nothing else meanwhile
            per_mode = {}
            for mode, number in MODES.items():
                best = None
                for _ in range(RUNS):
                    result = browser.evaluate(f"window.playerBenchmark({number})")
                    speed = result["seconds"] / (result["milliseconds"] / 1000)
                    best = speed if best is None else max(best, speed)
                per_mode[mode] = best
            speeds.append(per_mode)
    return speeds


def main():
    if len(sys.argv) not in (4, 5):
        sys.exit(__doc__)
    web_dir, xm2wav, song = (pathlib.Path(a).resolve() for a in sys.argv[1:4])
    songs = [song]
    if len(sys.argv) == 5:
        songs += sorted(pathlib.Path(sys.argv[4]).glob("*.xm"))[:3]
    sizes(web_dir)
    server, base = serve(web_dir)
    try:
        first_frame(base)
        frame_time(base)
        wasm = wasm_speeds(base, songs)
    finally:
        server.kill()
        server.wait()
    for mode in MODES:
        ratios = []
        for path, per_mode in zip(songs, wasm):
            native = native_speed(xm2wav, path, mode)
            ratios.append(per_mode[mode] / native)
            print(f"render speed {path.name} ({mode}): WebAssembly {per_mode[mode]:.0f}x real time, "
                  f"native {native:.0f}x, ratio {per_mode[mode] / native:.2f}")
        print(f"WebAssembly / native render speed ({mode}): {statistics.mean(ratios):.2f} "
              f"(mean over {len(ratios)} songs)")


if __name__ == "__main__":
    main()
