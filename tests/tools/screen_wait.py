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


def neighbourhood(picture):
    """The lowest and highest level of each channel around each pixel (3 x 3)."""
    return picture.filter(ImageFilter.MinFilter(3)), picture.filter(ImageFilter.MaxFilter(3))


def outside(picture, low, high, tolerance):
    """A mask of the pixels of `picture` beyond `tolerance` from the range low..high."""
    below = ImageChops.subtract(low, picture)
    above = ImageChops.subtract(picture, high)
    beyond = ImageChops.lighter(below, above).point(lambda v: 255 if v > tolerance else 0)
    red, green, blue = beyond.split()
    return ImageChops.lighter(ImageChops.lighter(red, green), blue)


def near_count(reference, tolerance):
    """Counts the pixels of a look that keep it from being near `reference`."""
    reference_low, reference_high = neighbourhood(reference)

    def count(seen):
        if differing_pixels(reference, seen) == 0:
            return 0
        mask = ImageChops.lighter(outside(seen, reference_low, reference_high, tolerance),
                                  outside(reference, *neighbourhood(seen), tolerance))
        return mask.histogram()[255]

    return count


def main(argv):
    if len(argv) not in (8, 9, 13):
        print(__doc__, file=sys.stderr)
        return 2
    x, y, w, h = (int(v) for v in argv[1:5])
    reference_name, shot_path, timeout_ms = argv[5], argv[6], int(argv[7])
    mode = argv[8] if len(argv) > 8 else "same"
    want_same = mode != "differs"
    near = None
    region = (0, 0, w, h)
    if len(argv) == 13:
        left, top, width, height = (int(v) for v in argv[9:13])
        region = (left, top, left + width, top + height)
    if reference_name == "black":
        reference = Image.new("RGB", (w, h))
    else:
        reference = Image.open(reference_name).convert("RGB")
    reference = reference.crop(region)
    if mode.startswith("near:"):
        near = near_count(reference, int(mode.split(":", 1)[1]))
    deadline = time.monotonic() + timeout_ms / 1000.0
    while True:
        shot = ImageGrab.grab(bbox=(x, y, x + w, y + h), xdisplay=None).convert("RGB")
        seen = shot.crop(region)
        count = near(seen) if near else differing_pixels(reference, seen)
        if (count == 0) == want_same or time.monotonic() > deadline:
            break
        time.sleep(0.05)
    shot.save(shot_path)
    print(count)
    return 0 if (count == 0) == want_same else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
