#!/usr/bin/env python3
"""Waits until a window's area of the X screen looks like a reference picture.

screen_wait.py X Y W H REFERENCE SHOT TIMEOUT_MS [same|differs|near:TOL] [L T W H]

Grabs the screen (Pillow's ImageGrab over XCB, the display named by
DISPLAY) every 50 ms and compares the window's area (X, Y, W, H in screen
pixels) with REFERENCE (a PNG of the window, or "black"), inside the region
L, T, W, H of the window when given. "same" (the default) waits for no
differing pixel, "differs" for at least one. "near:TOL" waits until every
pixel of each picture lies within TOL levels of the range of the other's
3 x 3 neighbourhood: a reference drawn by another hand (a picture resized by
another filter, text from another rasteriser) may be off by a pixel's
position and a few levels, but no stroke may be missing or added. Prints the differing pixels of
the last grab, saves it as SHOT and exits 0 when the wait succeeded, 1 when
it timed out, 2 on bad arguments.
"""
import sys
import time

from PIL import Image, ImageChops, ImageFilter, ImageGrab


def differing_pixels(a, b):
    diff = ImageChops.difference(a, b).convert("L")
    histogram = diff.histogram()
    return sum(histogram) - histogram[0]


def outside_neighbourhood(a, b, tolerance):
    """A mask of the pixels of `a` beyond `tolerance` from the range of b's 3 x 3 neighbourhood."""
    below = ImageChops.subtract(b.filter(ImageFilter.MinFilter(3)), a)
    above = ImageChops.subtract(a, b.filter(ImageFilter.MaxFilter(3)))
    beyond = ImageChops.lighter(below, above).point(lambda v: 255 if v > tolerance else 0)
    red, green, blue = beyond.split()
    return ImageChops.lighter(ImageChops.lighter(red, green), blue)


def pixels_not_near(a, b, tolerance):
    mask = ImageChops.lighter(outside_neighbourhood(a, b, tolerance),
                              outside_neighbourhood(b, a, tolerance))
    return mask.histogram()[255]


def main(argv):
    if len(argv) not in (8, 9, 13):
        print(__doc__, file=sys.stderr)
        return 2
    x, y, w, h = (int(v) for v in argv[1:5])
    reference_name, shot_path, timeout_ms = argv[5], argv[6], int(argv[7])
    mode = argv[8] if len(argv) > 8 else "same"
    want_same = mode != "differs"
    tolerance = int(mode.split(":", 1)[1]) if mode.startswith("near:") else None
    region = (0, 0, w, h)
    if len(argv) == 13:
        left, top, width, height = (int(v) for v in argv[9:13])
        region = (left, top, left + width, top + height)
    if reference_name == "black":
        reference = Image.new("RGB", (w, h))
    else:
        reference = Image.open(reference_name).convert("RGB")
    reference = reference.crop(region)
    deadline = time.monotonic() + timeout_ms / 1000.0
    while True:
        shot = ImageGrab.grab(bbox=(x, y, x + w, y + h), xdisplay=None).convert("RGB")
        seen = shot.crop(region)
        if tolerance is None:
            count = differing_pixels(reference, seen)
        else:
            count = pixels_not_near(seen, reference, tolerance)
        if (count == 0) == want_same or time.monotonic() > deadline:
            break
        time.sleep(0.05)
    shot.save(shot_path)
    print(count)
    return 0 if (count == 0) == want_same else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
