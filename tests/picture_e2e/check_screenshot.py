#!/usr/bin/python3
"""Watches the screen of the running presentation until it shows the state to
check, then checks it.

usage: check_screenshot.py shown|rest|text WIDTH HEIGHT --pid PID --within SECONDS --keep NAME

shown: the presentation is on screen (not an empty screen or only the clear).

rest: while the logo rests, its outline is centred and every pixel away from
      the logo and the text is the backdrop dimmed to at most 0.4 of full scale.
      The logo rests for its first two seconds and again at the start of every
      16 s lap of its path, so screenshots are taken until one shows it at rest.
text: once a message has faded in (enough opaque white text to judge), the
      white text is only in the middle band.

Screenshots are raw RGB straight from the X server (a PNG of a large screen
takes seconds to encode, longer than the logo rests). The last one judged is
kept as NAME.rgb, and as NAME.png when the check fails.
"""
import argparse
import os
import subprocess
import sys
import time

import numpy

DIMMED_LIMIT = round(0.4 * 255) + 2  # the backdrop times 0.4, plus rounding
LOGO_BRIGHT = 170   # the outline layer is white at alpha 0.8: far above the backdrop
TEXT_WHITE = 250    # only text reaches full white; the logo stays below 0.95
TEXT_MIN_PIXELS = 500  # a few glyphs fully faded in
SHOWN_SPREAD = 5    # the grey clear and an empty screen are flat; the presentation is not


class NotYet(Exception):
    """The screen does not show the state to check (yet)."""


class Failure(Exception):
    """The screen shows the state, and it is wrong."""


def capture(width, height):
    raw = subprocess.run(["import", "-window", "root", "-depth", "8", "rgb:-"],
                         capture_output=True, check=False).stdout
    if len(raw) != width * height * 3:
        raise NotYet(f"a screenshot of {len(raw)} bytes, not a {width}x{height} RGB image")
    return numpy.frombuffer(raw, dtype=numpy.uint8).reshape(height, width, 3)


def require_shown(image):
    if image.std() < SHOWN_SPREAD:
        raise NotYet("the presentation is not on screen")


def check_shown(image, _width, _height):
    require_shown(image)
    return f"the presentation is on screen (spread of values {image.std():.1f})"


def check_rest(image, width, height):
    require_shown(image)
    font = int(width * 0.062)
    line = font + 4
    # Message 1 has four lines, baselines from centre - L to centre + 2L (screen rows, 0 at the top).
    text_top = height / 2 - line - 0.8 * font
    text_bottom = height / 2 + 2 * line + 0.3 * font
    # The outline layer is scaled 1.95 from a square 2/7 of the height; its ring lies at 58/64 of the
    # half side, its markers reach 62/64.
    half_side = 1.95 * height / 7
    ring, radius = half_side * 58 / 64, half_side * 62 / 64
    rows = numpy.arange(height)[:, None]
    columns = numpy.arange(width)[None, :]
    outside_text = (rows < text_top - 2) | (rows > text_bottom + 2)
    bright = (image.min(axis=2) >= LOGO_BRIGHT) & outside_text
    ys, xs = numpy.nonzero(bright)
    above, below = ys[ys < height / 2], ys[ys > height / 2]
    if ys.size < 100 or above.size == 0:
        raise NotYet(f"only {ys.size} bright logo pixels above and below the text, {above.size} above")
    reach_up = height / 2 - above.min()
    reach_down = below.max() + 1 - height / 2 if below.size else reach_up
    found = (f"logo outline: {ys.size} pixels, centre x {xs.mean():.1f} (screen {width / 2}), reaching "
             f"{reach_up:.1f} up and {reach_down:.1f} down (expected {ring:.1f} to {radius:.1f})")
    if abs(xs.mean() - width / 2) > 3:
        raise NotYet(f"{found}: not centred horizontally")
    if not ring - 2 <= reach_up <= radius + 2 or abs(reach_down - reach_up) > 3:
        raise NotYet(f"{found}: not centred vertically, or the wrong size")

    distance = numpy.hypot(columns + 0.5 - width / 2, rows + 0.5 - height / 2)
    background = image[(distance > radius + 3) & outside_text]
    found += f"\nbackground away from logo and text: brightest channel {background.max()} (limit {DIMMED_LIMIT})"
    if background.max() > DIMMED_LIMIT:
        raise NotYet(f"{found}: brighter than 0.4 of full scale")
    if background.max(axis=1).mean() < 3:
        raise NotYet(f"{found}: the background is black")
    return found


def check_text(image, width, height):
    font = int(width * 0.062)
    line = font + 4
    # Up to five lines centred on the middle: baselines from centre - 1.5L to centre + 2.5L.
    band_top = height / 2 - 1.5 * line - font
    band_bottom = height / 2 + 2.5 * line + 0.3 * font
    ys, xs = numpy.nonzero(image.min(axis=2) >= TEXT_WHITE)
    if ys.size < TEXT_MIN_PIXELS:
        raise NotYet(f"only {ys.size} white text pixels on screen")
    found = (f"text: {ys.size} white pixels in rows {ys.min()}..{ys.max()} (band {band_top:.0f}..{band_bottom:.0f}), "
             f"columns {xs.min()}..{xs.max()}")
    if ys.min() < band_top or ys.max() > band_bottom:
        raise Failure(f"{found}: white text outside the middle band")
    return found


def keep(image, name, width, height, as_png):
    image.tofile(f"{name}.rgb")
    if as_png:
        subprocess.run(["convert", "-size", f"{width}x{height}", "-depth", "8", f"rgb:{name}.rgb", f"{name}.png"],
                       check=False)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("mode", choices=["shown", "rest", "text"])
    parser.add_argument("width", type=int)
    parser.add_argument("height", type=int)
    parser.add_argument("--pid", type=int, required=True)
    parser.add_argument("--within", type=float, required=True)
    parser.add_argument("--keep", required=True)
    arguments = parser.parse_args()
    check = {"shown": check_shown, "rest": check_rest, "text": check_text}[arguments.mode]
    width, height = arguments.width, arguments.height

    started = time.monotonic()
    shots = 0
    image = None
    while True:
        try:
            os.kill(arguments.pid, 0)
        except ProcessLookupError:
            sys.exit("FAIL: the program ended early")
        waited = time.monotonic() - started
        try:
            image = capture(width, height)
            shots += 1
            found = check(image, width, height)
            keep(image, arguments.keep, width, height, as_png=False)
            print(f"{found}\n({arguments.mode}: screenshot {shots}, {waited:.1f} s into the watch)")
            return
        except Failure as failure:
            keep(image, arguments.keep, width, height, as_png=True)
            sys.exit(f"FAIL: {failure} (screenshot {shots})")
        except NotYet as not_yet:
            if time.monotonic() - started > arguments.within:
                if image is not None:
                    keep(image, arguments.keep, width, height, as_png=True)
                sys.exit(f"FAIL: no {arguments.mode} state on screen within {arguments.within:.0f} s "
                         f"({shots} screenshots); the last: {not_yet}")
        time.sleep(0.05)


if __name__ == "__main__":
    main()
