#!/usr/bin/python3
"""Checks a screenshot of the running presentation.

usage: check_screenshot.py rest|text SCREENSHOT.rgb WIDTH HEIGHT

rest: while the logo rests, its outline is centred and every pixel away from
      the logo and the text is the backdrop dimmed to at most 0.4 of full scale.
text: a few seconds in, opaque white text is on screen, only in the middle band.
"""
import sys

import numpy

DIMMED_LIMIT = round(0.4 * 255) + 2  # the backdrop times 0.4, plus rounding
LOGO_BRIGHT = 170   # the outline layer is white at alpha 0.8: far above the backdrop
TEXT_WHITE = 250    # only text reaches full white; the logo stays below 0.95


def fail(message):
    sys.exit(f"FAIL: {message}")


def check_rest(image, width, height):
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
        fail(f"only {ys.size} bright logo pixels above and below the text, {above.size} above")
    reach_up = height / 2 - above.min()
    reach_down = below.max() + 1 - height / 2 if below.size else reach_up
    print(f"logo outline: {ys.size} pixels, centre x {xs.mean():.1f} (screen {width / 2}), reaching {reach_up:.1f} "
          f"up and {reach_down:.1f} down (expected {ring:.1f} to {radius:.1f})")
    if abs(xs.mean() - width / 2) > 3:
        fail("the logo is not centred horizontally")
    if not ring - 2 <= reach_up <= radius + 2 or abs(reach_down - reach_up) > 3:
        fail("the logo is not centred vertically, or has the wrong size")

    distance = numpy.hypot(columns + 0.5 - width / 2, rows + 0.5 - height / 2)
    background = image[(distance > radius + 3) & outside_text]
    print(f"background away from logo and text: brightest channel {background.max()} (limit {DIMMED_LIMIT})")
    if background.max() > DIMMED_LIMIT:
        fail("the background is brighter than 0.4 of full scale")
    if background.max(axis=1).mean() < 3:
        fail("the background is black")


def check_text(image, width, height):
    font = int(width * 0.062)
    line = font + 4
    # Up to five lines centred on the middle: baselines from centre - 1.5L to centre + 2.5L.
    band_top = height / 2 - 1.5 * line - font
    band_bottom = height / 2 + 2.5 * line + 0.3 * font
    ys, xs = numpy.nonzero(image.min(axis=2) >= TEXT_WHITE)
    if ys.size < 500:
        fail(f"only {ys.size} white text pixels on screen")
    print(f"text: {ys.size} white pixels in rows {ys.min()}..{ys.max()} (band {band_top:.0f}..{band_bottom:.0f}), "
          f"columns {xs.min()}..{xs.max()}")
    if ys.min() < band_top or ys.max() > band_bottom:
        fail("white text outside the middle band")


def main():
    mode, path, width, height = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
    pixels = numpy.fromfile(path, dtype=numpy.uint8)
    if pixels.size != width * height * 3:
        fail(f"{path} holds {pixels.size} bytes, not a {width}x{height} RGB image")
    {"rest": check_rest, "text": check_text}[mode](pixels.reshape(height, width, 3).astype(int), width, height)


if __name__ == "__main__":
    main()
