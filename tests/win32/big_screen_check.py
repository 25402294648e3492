#!/usr/bin/env python3
"""The Windows viewer on a big screen: Wine at 192 dots per inch on a
3840 x 2160 display, where the program (declared DPI-aware) zooms itself by 2.

Checks that the window is 1600 x 1200, the skin is enlarged pixel for pixel
(the splash equals its image with every pixel doubled), a 1098 x 940 picture
of one-pixel black and white squares lands one square per device pixel, a
click on Next at twice its design point pages on, the counter's text is set
twice as large, full view covers the screen, the album list's rows are twice
as high, and Escape ends the program with status 0. Before that, at 120 dots
per inch (zoom 1), the captions keep the design's size. The prefix's
resolution is set back to 96 afterwards.

Usage (under xvfb-run -s "-screen 0 3840x2160x24", with WINEPREFIX set):
  big_screen_check.py --program tessary.exe --skin resources/skin --work DIR
"""
import argparse
import os
import shutil
import subprocess
import sys
import time

from PIL import Image

import viewer_check as viewer
from viewer_check import check, click, close, region_matches, run, screen

ZOOM = 2
DOTS_PER_INCH = 96 * ZOOM
# Wine reads the screen's resolution from either key, by version.
RESOLUTION_KEYS = [r"HKCU\Control Panel\Desktop",
                   r"HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts"]
SCREEN_SIZE = (3840, 2160)
CHECKERBOARD_SIZE = (1098, 940)  # the picture area, 549 x 470, in device pixels
PICTURE_AREA_ORIGIN = (204, 42)
RED = (200, 30, 40)
GREEN = (40, 170, 60)
# The counter "2/2" in its band, design pixels. In the system font made for
# 96 dots per inch its ink is 10 or 11 rows high (13 in the one made for
# 120), so twice as large is 20 to 22 rows: fewer is text left at its small
# size, more a font enlarged for the resolution and again by the zoom (39).
COUNTER_BAND = (550, 560, 600, 598)
DESIGN_SIZE_ROWS = range(9, 13)
TWICE_AS_LARGE_ROWS = range(18, 27)


def set_resolution(dots_per_inch):
    for key in RESOLUTION_KEYS:
        run("wine", "reg", "add", key, "/v", "LogPixels", "/t", "REG_DWORD", "/d",
            str(dots_per_inch), "/f")
    subprocess.run(["wineserver", "-w"], check=False)


def make_disc(disc, program):
    os.makedirs(disc)
    board = Image.new("L", CHECKERBOARD_SIZE)
    board.putdata([255 * ((x + y) % 2) for y in range(CHECKERBOARD_SIZE[1])
                   for x in range(CHECKERBOARD_SIZE[0])])
    board.convert("RGB").save(os.path.join(disc, "a_squares.png"))
    Image.new("RGB", (640, 480), RED).save(os.path.join(disc, "b_red.png"))
    os.makedirs(os.path.join(disc, "Garden"))
    Image.new("RGB", (500, 200), GREEN).save(os.path.join(disc, "Garden", "c_green.png"))
    shutil.copy(program, os.path.join(disc, "tessary.exe"))
    return board


def zoomed(point):
    return tuple(ZOOM * c for c in point)


def ink_rows(shot, origin, band, background, zoom=ZOOM):
    """Rows of the band, zoomed, where the screen differs from the skin's
    background with every pixel repeated as the zoom does."""
    ground = background.crop(band)
    ground = ground.resize((ground.width * zoom, ground.height * zoom), Image.NEAREST)
    shown = shot.crop(tuple(o + zoom * c for o, c in zip(origin * 2, band)))
    return sum(1 for y in range(shown.height)
               if any(max(abs(a - b) for a, b in zip(shown.getpixel((x, y)),
                                                     ground.getpixel((x, y)))) > viewer.INK_CONTRAST
                      for x in range(shown.width)))


def quit_with_escape(program):
    run("xdotool", "key", "Escape")
    try:
        status = program.wait(timeout=viewer.WAIT_SECONDS)
    except subprocess.TimeoutExpired:
        status = None
    check(status == 0, f"Escape ends the program with status 0 (got {status})")


def drive_at_125_percent(disc, args):
    """At 120 dots per inch the zoom stays 1 and the captions keep the
    design's size."""
    program = subprocess.Popen(["wine", "tessary.exe"], cwd=disc)
    try:
        origin = viewer.window_origin()
        if not check(origin is not None, "the window appears 800 x 600 at 120 dots per inch"):
            return
        background = Image.open(os.path.join(args.skin, "142_background.jpg")).convert("RGB")
        click(origin, viewer.SPLASH_CLICK)
        # The squares fitted to half their size average to grey.
        grey = (128, 128, 128)
        check(close(viewer.wait_for_pixel(origin, viewer.PICTURE_CENTRE, grey), grey),
              "a click on the splash shows the first picture at 120 dots per inch")
        click(origin, viewer.NEXT_ZONE_POINT)
        check(close(viewer.wait_for_pixel(origin, viewer.PICTURE_CENTRE, RED), RED),
              "Next pages on at 120 dots per inch")
        rows = ink_rows(screen(), origin, COUNTER_BAND, background, zoom=1)
        check(rows in DESIGN_SIZE_ROWS, f"the counter keeps its design size ({rows} rows of ink)")
        quit_with_escape(program)
    finally:
        if program.poll() is None:
            program.kill()


def drive(disc, args, board):
    program = subprocess.Popen(["wine", "tessary.exe"], cwd=disc)
    try:
        origin = viewer.window_origin(width=viewer.WINDOW_SIZE[0] * ZOOM)
        if not check(origin is not None, "the window appears 1600 x 1200 at 192 dots per inch"):
            return
        splash = Image.open(os.path.join(args.skin, "167_splash.jpg")).convert("RGB")
        doubled = splash.resize((splash.width * ZOOM, splash.height * ZOOM), Image.NEAREST)
        deadline = time.time() + viewer.WAIT_SECONDS
        while not region_matches(screen(), origin, zoomed(viewer.SPLASH_ORIGIN), doubled) \
                and time.time() < deadline:
            time.sleep(1)
        check(region_matches(screen(), origin, zoomed(viewer.SPLASH_ORIGIN), doubled),
              "the splash is its image with every pixel doubled")

        background = Image.open(os.path.join(args.skin, "142_background.jpg")).convert("RGB")
        click(origin, zoomed(viewer.SPLASH_CLICK))
        at = zoomed(PICTURE_AREA_ORIGIN)
        box = (origin[0] + at[0], origin[1] + at[1])
        box += (box[0] + CHECKERBOARD_SIZE[0], box[1] + CHECKERBOARD_SIZE[1])
        expected = list(board.getdata())
        deadline = time.time() + viewer.WAIT_SECONDS
        while True:
            shown = [sum(p) // 3 for p in screen().crop(box).getdata()]
            wrong = sum(1 for s, e in zip(shown, expected) if abs(s - e) > viewer.TOLERANCE)
            if wrong == 0 or time.time() > deadline:
                break
            time.sleep(1)
        check(wrong == 0, f"the squares land one per device pixel ({wrong} pixels differ)")

        click(origin, zoomed(viewer.NEXT_ZONE_POINT))
        seen = viewer.wait_for_pixel(origin, zoomed(viewer.PICTURE_CENTRE), RED)
        check(close(seen, RED), "a click on Next at twice its design point pages on")
        rows = ink_rows(screen(), origin, COUNTER_BAND, background)
        check(rows in TWICE_AS_LARGE_ROWS,
              f"the counter is set twice as large ({rows} rows of ink)")

        # Full view: the 640 x 480 picture fitted to the whole screen, 2880 x
        # 2160 device pixels between black bands.
        run("xdotool", "key", "F11")
        whole = (0, 0)
        seen = viewer.wait_for_pixel(whole, (SCREEN_SIZE[0] // 2, SCREEN_SIZE[1] - 10), RED)
        band = screen().getpixel((SCREEN_SIZE[0] // 10, SCREEN_SIZE[1] // 2))
        check(close(seen, RED) and close(band, (0, 0, 0)),
              "F11 shows the picture over the whole screen, from top to bottom")
        run("xdotool", "key", "Escape")
        corner = background.getpixel((10, 10))
        check(close(viewer.wait_for_pixel(origin, zoomed((10, 10)), corner), corner),
              "Escape brings the window back")

        click(origin, zoomed(viewer.SECOND_ALBUM_ROW))
        seen = viewer.wait_for_pixel(origin, zoomed(viewer.PICTURE_CENTRE), GREEN)
        check(close(seen, GREEN), "a click on the album list's second row, rows twice as high, "
              "opens that album")

        quit_with_escape(program)
    finally:
        if program.poll() is None:
            program.kill()


def main():
    parser = argparse.ArgumentParser()
    for option in ("--program", "--skin", "--work"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    shutil.rmtree(args.work, ignore_errors=True)
    viewer.work_folder = args.work
    disc = os.path.join(args.work, "disc")
    board = make_disc(disc, args.program)
    try:
        set_resolution(120)
        drive_at_125_percent(disc, args)
        set_resolution(DOTS_PER_INCH)
        drive(disc, args, board)
    finally:
        subprocess.run(["wineserver", "-w"], check=False)
        set_resolution(96)
    print(f"{len(viewer.failures)} check(s) failed" if viewer.failures else "every check passed")
    return 1 if viewer.failures else 0


if __name__ == "__main__":
    sys.exit(main())
