#!/usr/bin/python3
"""The browser build end to end, in headless Chromium over the DevTools protocol.

usage: web_checks.py WEB_DIR XM2WAV SONG.xm WORK_DIR [REAL_SONGS_DIR]

The presentation (index.html?autostart at 1280x720):
  - the desktop's screenshot checks: the logo at rest in the centre over the
    dimmed backdrop, then white text only in the middle band;
  - the sound the worklet played (collected through the page's test tap) is
    byte for byte the offline render of the song for at least 6 s; M stops
    it, a second M restarts it from the beginning;
  - Escape ends it: the sound stops, the picture stands still, a line says so;
  - without ?autostart the first frame waits under the overlay until a click;
  - the drawing buffer follows the window size and the device pixel ratio;
  - no console errors.
Without WebGL 2 (Chromium with 3D off) or without cross-origin isolation (the
page opened as a file) the page shows one line saying so.
The song player (player.html):
  - a broken file is refused with the library's own one-line message;
  - a song plays with its title, its position advancing; space pauses and
    resumes; the right arrow goes on to the next order; the saved WAV holds exactly the offline render of one pass;
  - a real song from the collected set (when there is one) plays with its title.
Every step waits for the state it checks, with a deadline.
"""
import base64
import os
import pathlib
import subprocess
import sys
import time

import numpy

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
sys.path.insert(0, str(HERE.parent / "picture_e2e"))
import check_screenshot  # noqa: E402  the desktop's screenshot checks
from devtools import Browser, ProtocolError  # noqa: E402

COMPARE_CAPTURE = HERE.parent / "sound_e2e" / "compare_capture.py"
WIDTH, HEIGHT = 1280, 720
RATE = 44100
KEY_M = ("m", "KeyM", 77)
KEY_ESCAPE = ("Escape", "Escape", 27)
KEY_SPACE = (" ", "Space", 32)
# Quanta still on their way from the worklet when its output closes.
IN_FLIGHT_FRAMES = 4096

# Collects what every output of the page played, and reads it back.
TAP_SCRIPT = """
window.introSoundTap = [];
window.tapFrames = (i) => {
  const session = window.introSoundTap[i];
  return session ? session.chunks.reduce((n, c) => n + c.length / 2, 0) : -1;
};
window.tapBase64 = (i) => {
  const chunks = window.introSoundTap[i].chunks;
  const all = new Int16Array(chunks.reduce((n, c) => n + c.length, 0));
  let offset = 0;
  for (const c of chunks) { all.set(c, offset); offset += c.length; }
  const bytes = new Uint8Array(all.buffer);
  let text = "";
  for (let k = 0; k < bytes.length; k += 0x8000) text += String.fromCharCode.apply(null, bytes.subarray(k, k + 0x8000));
  return btoa(text);
};
window.nextFrames = (n) => new Promise((done) => {
  const step = () => (n-- <= 0 ? done(true) : requestAnimationFrame(step));
  requestAnimationFrame(step);
});
"""


def fail(message):
    sys.exit(f"FAIL: {message}")


def serve(web_dir):
    server = subprocess.Popen(["/usr/bin/python3", str(web_dir / "serve.py"), str(web_dir), "--port", "0"],
                              stdout=subprocess.PIPE, text=True)
    return server, server.stdout.readline().strip()


def rgb_image(png):
    raw = subprocess.run(["convert", "png:-", "-depth", "8", "rgb:-"], input=png, capture_output=True,
                         check=True).stdout
    if len(raw) != WIDTH * HEIGHT * 3:
        raise check_screenshot.NotYet(f"a screenshot of {len(raw)} bytes, not {WIDTH}x{HEIGHT} RGB")
    return numpy.frombuffer(raw, dtype=numpy.uint8).reshape(HEIGHT, WIDTH, 3)


def watch(browser, check, within, name, work):
    """Screenshots until the check finds its state; fails on a wrong one or at the deadline."""
    started = time.monotonic()
    shots = 0
    image = None
    while True:
        try:
            image = rgb_image(browser.screenshot_png())
            shots += 1
            print(f"{check(image, WIDTH, HEIGHT)}\n({name}: screenshot {shots}, "
                  f"{time.monotonic() - started:.1f} s into the watch)")
            return
        except check_screenshot.Failure as failure:
            check_screenshot.keep(image, str(work / name), WIDTH, HEIGHT, as_png=True)
            fail(f"{failure} (screenshot {shots})")
        except check_screenshot.NotYet as not_yet:
            if time.monotonic() - started > within:
                if image is not None:
                    check_screenshot.keep(image, str(work / name), WIDTH, HEIGHT, as_png=True)
                fail(f"no {name} state within {within} s ({shots} screenshots); the last: {not_yet}")


def tap_key(browser, key):
    """Presses and releases a key at once, most often between two frames: the
    page must still see the press once, as sticky keys do on the desktop."""
    browser.press(*key)


def save_session(browser, index, path):
    path.write_bytes(base64.b64decode(browser.evaluate(f"window.tapBase64({index})")))


def compare(capture, render, min_seconds):
    result = subprocess.run(["/usr/bin/python3", str(COMPARE_CAPTURE), str(capture), str(render),
                             "--min-seconds", str(min_seconds)], capture_output=True, text=True)
    print(result.stdout.strip() or result.stderr.strip())
    if result.returncode != 0:
        fail(f"{capture.name}: {result.stdout.strip()} {result.stderr.strip()}")


def overlay_text(browser):
    return browser.evaluate("document.getElementById('overlay').hidden ? '' : "
                            "document.getElementById('overlay').textContent")


def check_refusals(web_dir):
    """A browser without WebGL 2, and a page without cross-origin isolation, get one clear line."""
    with Browser(WIDTH, HEIGHT, ["--disable-3d-apis"]) as browser:
        browser.page("Page.navigate", url=(web_dir / "index.html").as_uri())
        line = browser.wait_for("document.getElementById('overlay').textContent.includes('WebGL 2') && "
                                "document.getElementById('overlay').textContent", 30, "the line about WebGL 2")
        print(f"without WebGL 2: {line}")
    with Browser(WIDTH, HEIGHT) as browser:
        browser.page("Page.navigate", url=(web_dir / "index.html").as_uri())
        line = browser.wait_for("document.getElementById('overlay').textContent.includes('cross-origin isolation') && "
                                "document.getElementById('overlay').textContent", 30, "the line about isolation")
        print(f"without cross-origin isolation: {line}")


def check_presentation(base, work, render):
    with Browser(WIDTH, HEIGHT) as browser:
        browser.page("Page.addScriptToEvaluateOnNewDocument", source=TAP_SCRIPT)
        # Without ?autostart: the first frame under the overlay until a click.
        browser.page("Page.navigate", url=base + "index.html")
        browser.wait_for("window.introFirstFrameMs", 60, "the first frame")
        browser.wait_for("document.getElementById('overlay').textContent.includes('click or press a key')"
                         .replace("click", "Click"), 10, "the overlay asking for a gesture")
        if browser.evaluate("window.introStarted === true || window.introSoundTap.length > 0"):
            fail("the presentation started without a gesture")
        browser.click(WIDTH / 2, HEIGHT / 2)
        browser.wait_for("window.introStarted === true && window.introSoundTap.length === 1", 10,
                         "a click started the presentation and its sound")
        if overlay_text(browser):
            fail(f"the overlay stays after the click: {overlay_text(browser)!r}")
        print("the page waits under its overlay until a click starts it")
        # The drawing buffer follows the window's size and its device pixel ratio.
        browser.page("Emulation.setDeviceMetricsOverride", width=800, height=500, deviceScaleFactor=2, mobile=False)
        browser.wait_for("(c => c.width === 1600 && c.height === 1000)(document.getElementById('canvas'))", 10,
                         "a 1600x1000 drawing buffer for 800x500 at two device pixels per pixel")
        browser.page("Emulation.setDeviceMetricsOverride", width=WIDTH, height=HEIGHT, deviceScaleFactor=1,
                     mobile=False)
        browser.wait_for(f"(c => c.width === {WIDTH} && c.height === {HEIGHT})(document.getElementById('canvas'))",
                         10, f"the drawing buffer back at {WIDTH}x{HEIGHT}")
        print("the drawing buffer follows the window size and the device pixel ratio")

        browser.page("Page.navigate", url=base + "index.html?autostart")
        browser.wait_for("window.introStarted === true", 60, "the presentation started")
        print(f"first frame drawn {browser.evaluate('window.introFirstFrameMs'):.0f} ms after navigation")
        watch(browser, check_screenshot.check_rest, 40, "rest", work)
        watch(browser, check_screenshot.check_text, 60, "text", work)

        browser.wait_for(f"window.tapFrames(0) >= {6.5 * RATE}", 60, "6.5 s of sound played")
        tap_key(browser, KEY_M)
        browser.wait_for("window.introSoundTap[0].closed", 10, "M stopped the sound")
        frames_at_stop = browser.evaluate("window.tapFrames(0)")
        print(f"M stopped the sound after {frames_at_stop / RATE:.2f} s")
        # The second press comes after a whole frame has seen M released.
        browser.evaluate("window.nextFrames(2)", await_promise=True)
        tap_key(browser, KEY_M)
        browser.wait_for(f"window.tapFrames(1) >= {4.5 * RATE}", 60, "4.5 s of sound after the second M")
        frames_later = browser.evaluate("window.tapFrames(0)")
        if frames_later - frames_at_stop > IN_FLIGHT_FRAMES:
            fail(f"the first output went on for {frames_later - frames_at_stop} frames after M")
        save_session(browser, 0, work / "first.raw")

        tap_key(browser, KEY_ESCAPE)
        browser.wait_for("window.introEnded === true", 10, "Escape ended the presentation")
        browser.wait_for("window.introSoundTap[1].closed", 10, "Escape stopped the sound")
        save_session(browser, 1, work / "second.raw")
        status = browser.evaluate("document.getElementById('status').hidden ? '' : "
                                  "document.getElementById('status').textContent")
        if "ended" not in status:
            fail(f"no line saying the presentation has ended (status: {status!r})")
        still = browser.screenshot_png()
        browser.evaluate("window.nextFrames(3)", await_promise=True)
        if rgb_image(browser.screenshot_png()).tobytes() != rgb_image(still).tobytes():
            fail("the picture still moves after Escape")
        print(f"Escape: {status}")
        problems = browser.problems()
        if problems:
            fail("console errors on the presentation's page:\n  " + "\n  ".join(problems))
        # Two messages a visitor's console need not show: GLFW's note that it
        # has no sticky keys, and the runtime's advice about the main thread
        # waiting for the audio thread (bounded and expected).
        avoidable = [line for line in browser.console_lines()
                     if "GLFW_STICKY_KEYS" in line or "Blocking on the main thread" in line]
        if avoidable:
            fail("avoidable console messages on the presentation's page:\n  " + "\n  ".join(avoidable))
    print("Before M:")
    compare(work / "first.raw", render, 6)
    print("After the second M:")
    compare(work / "second.raw", render, 4)


def song_title(xm2wav, song):
    info = subprocess.run([str(xm2wav), "--info", str(song)], capture_output=True, text=True, check=True).stdout
    title = next(line.split(":", 1)[1].strip() for line in info.splitlines() if line.startswith("title:"))
    return title or song.name


def wav_data(path):
    data = path.read_bytes()
    offset = 12
    while offset + 8 <= len(data):
        chunk, size = data[offset:offset + 4], int.from_bytes(data[offset + 4:offset + 8], "little")
        if chunk == b"data":
            return data[offset + 8:offset + 8 + size]
        offset += 8 + size + (size & 1)
    fail(f"{path}: no data chunk")


def choose_file(browser, path):
    document = browser.page("DOM.getDocument")["root"]["nodeId"]
    node = browser.page("DOM.querySelector", nodeId=document, selector="#file")["nodeId"]
    # Chromium takes a relative path without a word, then gives the page an
    # empty File and its renderer crashes reading it.
    browser.page("DOM.setFileInputFiles", nodeId=node, files=[str(path.resolve())])


def check_player(base, work, xm2wav, song, real_song):
    broken = work / "broken.xm"
    broken.write_bytes(b"Extended Module: but nothing after it")
    refusal = subprocess.run([str(xm2wav), "--info", str(broken)], capture_output=True, text=True)
    expected_message = refusal.stderr.strip().split(f"{broken}: ", 1)[-1]
    downloads = work / "downloads"
    downloads.mkdir(exist_ok=True)
    for old in downloads.iterdir():
        old.unlink()

    with Browser(WIDTH, HEIGHT) as browser:
        browser.call("Browser.setDownloadBehavior", behavior="allow", downloadPath=str(downloads))
        browser.page("DOM.enable")
        browser.page("Page.addScriptToEvaluateOnNewDocument", source=TAP_SCRIPT)
        browser.page("Page.navigate", url=base + "player.html")
        browser.wait_for("window.playerReady === true", 60, "the player page ready")

        choose_file(browser, broken)
        shown = browser.wait_for("document.getElementById('message').textContent", 20, "a message for the broken file")
        if shown != expected_message:
            fail(f"the broken file: the page says {shown!r}, the library {expected_message!r}")
        print(f"a broken file is refused: {shown}")

        choose_file(browser, song)
        title = song_title(xm2wav, song)
        browser.wait_for(f"document.getElementById('title').textContent === {title!r}", 20, f"the title {title!r}")
        browser.wait_for(f"window.playerState.played >= {RATE}", 30, "a second of the song played")
        browser.wait_for("/Order \\d+ of \\d+, row \\d+/.test(document.getElementById('position').textContent)"
                         " && document.getElementById('fill').style.width !== '0%'", 10, "the position and progress")
        shown = browser.evaluate("document.getElementById('position').textContent + ', ' + "
                                 "document.getElementById('time').textContent")
        print(f"playing {title!r}: {shown}")
        # The pattern being played: nine rows, the lit one the row heard, scrolling along with it.
        current_row = ("(() => { const lit = document.querySelector('#pattern .current');"
                       " return lit ? parseInt(lit.textContent, 10) : -1; })()")
        browser.wait_for(f"{current_row} === window.playerState.row && "
                         "document.getElementById('pattern').children.length === 9", 10, "the lit row the row heard")
        first_row = browser.evaluate(current_row)
        browser.wait_for(f"{current_row} !== {first_row} && {current_row} === window.playerState.row", 10,
                         "the lit row moving on with the song")
        print("the pattern view: " + browser.evaluate("document.querySelector('#pattern .current').textContent").strip())
        # The meters: a left and a right bar per channel, some of them up while the song sounds.
        browser.wait_for("document.getElementById('meters').children.length === 2 * window.playerState.channels && "
                         "[...document.getElementById('meters').children].some((bar) => parseFloat(bar.style.height) > 0)",
                         10, "a pair of level meters per channel, some lit")
        meter_bars = browser.evaluate("document.getElementById('meters').children.length")
        print(f"level meters: {meter_bars} bars")
        browser.press(*KEY_SPACE)
        browser.wait_for("window.playerState.paused && document.getElementById('time').textContent.includes('paused')",
                         10, "space paused the song")
        paused_at = browser.evaluate("window.playerState.played")
        browser.press(*KEY_SPACE)
        browser.wait_for(f"!window.playerState.paused && window.playerState.played > {paused_at}", 10,
                         "space resumed the song")
        print(f"space paused at {paused_at / RATE:.2f} s and resumed")
        browser.press("ArrowRight", "ArrowRight", 39)
        browser.wait_for("document.getElementById('position').textContent.startsWith('Order 2 of') && "
                         "window.playerState.startSeconds > 0", 10, "the right arrow went on to the second order")
        print("the right arrow: " + browser.evaluate("document.getElementById('position').textContent"))

        browser.click(*browser.evaluate("(() => { const r = document.getElementById('save').getBoundingClientRect();"
                                        " return [r.x + r.width / 2, r.y + r.height / 2]; })()"))
        wav_name = song.stem + ".wav"
        deadline = time.monotonic() + 120
        while not (downloads / wav_name).exists():
            if time.monotonic() > deadline:
                fail(f"no {wav_name} saved within 120 s")
            time.sleep(0.1)
        rendered = work / "one-pass.wav"
        subprocess.run([str(xm2wav), "--force", str(song), str(rendered)], check=True, capture_output=True)
        saved, expected = wav_data(downloads / wav_name), wav_data(rendered)
        if saved != expected:
            fail(f"the saved WAV ({len(saved)} bytes of sound) differs from xm2wav's ({len(expected)} bytes)")
        print(f"the saved WAV equals xm2wav's render: {len(saved) / 4 / RATE:.2f} s")

        # The end: "Play again" plays the song from its start; with Loop it goes on past its end.
        to_last_order = ("(() => { const r = document.getElementById('bar').getBoundingClientRect();"
                         " return [r.x + r.width - 1, r.y + r.height / 2]; })()")
        browser.click(*browser.evaluate(to_last_order))
        browser.wait_for("document.getElementById('pause').textContent === 'Play again' && "
                         "document.getElementById('time').textContent.includes('ended')", 90, "the song's end")
        browser.click(*browser.evaluate("(() => { const r = document.getElementById('pause').getBoundingClientRect();"
                                        " return [r.x + r.width / 2, r.y + r.height / 2]; })()"))
        browser.wait_for(f"window.playerState.played >= {RATE // 2} && window.playerState.startSeconds === 0 && "
                         "document.getElementById('position').textContent.startsWith('Order 1 of') && "
                         "document.getElementById('pause').textContent === 'Pause'", 20, "the song playing again")
        print("at the end, Play again plays the song from its start")
        browser.click(*browser.evaluate("(() => { const r = document.getElementById('loop').getBoundingClientRect();"
                                        " return [r.x + r.width / 2, r.y + r.height / 2]; })()"))
        browser.click(*browser.evaluate(to_last_order))
        browser.wait_for("window.playerState.startSeconds + window.playerState.played / 44100 > "
                         "window.playerState.duration + 2 && !window.playerState.ended", 90, "looping past the end")
        print("with Loop the song goes on past its end: " + browser.evaluate(
            "document.getElementById('position').textContent + ', ' + document.getElementById('time').textContent"))

        # What the loader mended in a damaged song, shown as the library says it.
        damaged = work / "damaged.xm"
        damaged.write_bytes(song.read_bytes()[:int(song.stat().st_size * 0.9)])
        info = subprocess.run([str(xm2wav), "--info", str(damaged)], capture_output=True, text=True, check=True).stdout
        warnings = [line.split(":", 1)[1].strip() for line in info.splitlines() if line.startswith("warning:")]
        if not warnings:
            fail("the cut song has no load warning to show")
        choose_file(browser, damaged)
        browser.wait_for(f"!document.getElementById('warnings').hidden && "
                         f"[...document.querySelectorAll('#warnings li')].map((li) => li.textContent).join('\\n') "
                         f"=== {chr(10).join(warnings)!r}", 20, "the load warnings shown")
        print("a damaged song's warnings: " + "; ".join(warnings))

        if real_song is not None:
            choose_file(browser, real_song)
            title = song_title(xm2wav, real_song)
            browser.wait_for(f"document.getElementById('title').textContent === {title!r}", 20,
                             f"the title {title!r}")
            browser.wait_for(f"window.playerState.name === {real_song.name!r} && window.playerState.played >= {RATE}",
                             30, f"a second of {real_song.name} played")
            print(f"the real song {real_song.name} plays: {title!r}")
        problems = browser.problems()
        if problems:
            fail("console errors on the player's page:\n  " + "\n  ".join(problems))


def main():
    if len(sys.argv) not in (5, 6):
        sys.exit(__doc__)
    web_dir, xm2wav, song, work = (pathlib.Path(a).resolve() for a in sys.argv[1:5])
    real_songs = sorted(pathlib.Path(sys.argv[5]).glob("*.xm")) if len(sys.argv) == 6 else []
    work.mkdir(parents=True, exist_ok=True)
    render = work / "render.wav"
    subprocess.run([str(xm2wav), "--force", "--rules", "intro", "--seconds", "40", str(song), str(render)], check=True,
                   capture_output=True)
    server, base = serve(web_dir)
    try:
        check_refusals(web_dir)
        check_presentation(base, work, render)
        titled = [path for path in real_songs if song_title(xm2wav, path) != path.name]
        check_player(base, work, xm2wav, song, titled[0] if titled else None)
    except ProtocolError as error:
        fail(str(error))
    finally:
        server.kill()
        server.wait()
    print("web checks passed")


if __name__ == "__main__":
    main()
