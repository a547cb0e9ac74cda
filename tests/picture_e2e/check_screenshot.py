#!/usr/bin/python3
"""Checks a screenshot of the running presentation.

usage: check_screenshot.py rest|text SCREENSHOT.rgb WIDTH HEIGHT

rest: taken while the logo rests (first two seconds): the logo's outline is
      centred on the screen and every pixel away from the logo and the text
      is the backdrop dimmed to at most 0.4 of full scale.
text: taken a few seconds in: fully opaque white text is on screen, and only
      in the middle band where the messages are centred.
"""
import sys

import numpy

DIMMED_LIMIT = round(0.4 * 255) + 2  # the backdrop times 0.4, plus rounding
LOGO_BRIGHT = 170   # the outline layer is white at alpha 0.8: far above the backdrop
TEXT_WHITE = 250    # only text reaches full white; the logo stays below 0.95


def load(path, width, height):
    pixels = numpy.fromfile(path, dtype=numpy.uint8)
    if pixels.size != width * height * 3:
        sys.exit(f"FAIL: {path} holds {pixels.size} bytes, not a {width}x{height} RGB image")
    return pixels.reshape(height, width, 3).astype(int)


def layout(width, height):
    """Text and logo geometry in screen rows (0 at the top), from the sizes the program uses."""
    font = int(width * 0.062)
    line = font + 4
    centre_row = height / 2
    # Message 1 has four lines: baselines at centre - L ... centre + 2L (screen rows).
    text_top = centre_row - line - 0.8 * font
    text_bottom = centre_row + 2 * line + 0.3 * font
    # The outline layer: scale 1.95 of a square 2/7 of the height; its outer
    # ring lies at 58/64 of the half side, its markers reach 62/64.
    half_side = 1.95 * height / 7
    return text_top, text_bottom, (half_side * 58 / 64, half_side * 62 / 64)


def check_rest(image, width, height):
    text_top, text_bottom, (ring, radius) = layout(width, height)
    rows = numpy.arange(height)[:, None]
    columns = numpy.arange(width)[None, :]
    outside_text = (rows < text_top - 2) | (rows > text_bottom + 2)
    bright = (image.min(axis=2) >= LOGO_BRIGHT) & outside_text
    count = int(bright.sum())
    if count < 100:
        sys.exit(f"FAIL: only {count} bright logo pixels above and below the text")
    ys, xs = numpy.nonzero(bright)
    centre_x = xs.mean()
    above = ys[ys < height / 2]
    below = ys[ys > height / 2]
    if above.size == 0:
        sys.exit("FAIL: no logo outline above the text")
    reach_up = height / 2 - above.min()
    print(f"logo outline: {count} pixels outside the text, centre x {centre_x:.1f} (screen {width / 2}), "
          f"reaching {reach_up:.1f} up (expected {ring:.1f} to {radius:.1f})")
    if abs(centre_x - width / 2) > 3:
        sys.exit("FAIL: the logo is not centred horizontally")
    if not ring - 2 <= reach_up <= radius + 2:
        sys.exit("FAIL: the logo is not centred vertically, or has the wrong size")
    if below.size > 0:
        reach_down = below.max() + 1 - height / 2
        print(f"  and {reach_down:.1f} down")
        if abs(reach_down - reach_up) > 3:
            sys.exit("FAIL: the logo is not centred vertically")

    distance = numpy.hypot(columns + 0.5 - width / 2, rows + 0.5 - height / 2)
    background = (distance > radius + 3) & outside_text
    brightest = int(image[background].max())
    print(f"background away from logo and text: brightest channel {brightest} (limit {DIMMED_LIMIT})")
    if brightest > DIMMED_LIMIT:
        sys.exit("FAIL: the background is brighter than 0.4 of full scale")
    if int(image[background].max(axis=1).mean()) < 3:
        sys.exit("FAIL: the background is black")


def check_text(image, width, height):
    font = int(width * 0.062)
    line = font + 4
    # Up to five lines centred on the middle: baselines from centre - 1.5L to centre + 2.5L.
    band_top = height / 2 - 1.5 * line - font
    band_bottom = height / 2 + 2.5 * line + 0.3 * font
    white = image.min(axis=2) >= TEXT_WHITE
    count = int(white.sum())
    if count < 500:
        sys.exit(f"FAIL: only {count} white text pixels on screen")
    ys, xs = numpy.nonzero(white)
    print(f"text: {count} white pixels in rows {ys.min()}..{ys.max()} (band {band_top:.0f}..{band_bottom:.0f}), "
          f"columns {xs.min()}..{xs.max()}")
    if ys.min() < band_top or ys.max() > band_bottom:
        sys.exit("FAIL: white text outside the middle band")


def main():
    mode, path, width, height = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
    image = load(path, width, height)
    {"rest": check_rest, "text": check_text}[mode](image, width, height)


if __name__ == "__main__":
    main()
