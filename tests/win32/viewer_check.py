#!/usr/bin/env python3
"""The Windows viewer, run under Wine on an X display, driven as a person would.

Makes a disc on a read-only mount: a few pictures of known colours and sizes
(one damaged), the Windows program packed in with a banner by tessary-pack,
the Linux program beside it. Then starts tessary.exe from the disc and checks
what the screen and the clipboard show: the splash image, the picture a click
on the splash brings, the next picture after a click on Next, an empty
picture area for the damaged file, the banner, a bitmap of the picture's full
size after a click on Copy, the window centred on the screen, albums and
pictures named in Japanese and in Greek opened and their names drawn (two
names that the ANSI code page would both turn into "??" draw differently),
an export to a Japanese name, and status 0 after Escape.

Usage (under xvfb-run, with WINEPREFIX and friends set):
  viewer_check.py --program tessary.exe --pack tessary-pack --linux-program tessary
                  --skin resources/skin --work DIR
Exit status 0 when every check passed; each check prints one line.
"""
import argparse
import io
import os
import shutil
import subprocess
import sys
import struct
import time
import wave

from PIL import Image

# Client-area geometry of the viewer (pixels).
SPLASH_ORIGIN = (290, 200)
SPLASH_CLICK = (500, 360)
PICTURE_CENTRE = (478, 277)
NEXT_ZONE_POINT = (694, 575)
COPY_ZONE_POINT = (213, 571)
EXPORT_ZONE_POINT = (277, 573)
BANNER_ORIGIN = (15, 525)
# The album list's rows: 31 pixels high from (15, 199), 134 wide.
LIST_ORIGIN = (15, 199)
LIST_ROW_SIZE = (134, 31)
SECOND_ALBUM_ROW = (80, 245)
# The band under the picture where its file name is drawn.
CAPTION_BAND = (300, 560, 545, 595)
SCREEN_SIZE = (1024, 768)
WINDOW_SIZE = (800, 600)
# The border of the thin-bordered pop-up window, around the client area.
BORDER = 1
# JPEG decoders and the screen's own rounding may differ by a few levels.
TOLERANCE = 12
WAIT_SECONDS = 60

# The disc: (file, album folder, size, colour). Shown in name order.
PICTURES = [
    ("a_red.jpg", "", (640, 480), (200, 30, 40)),
    ("b_blue.png", "", (300, 500), (30, 60, 210)),
    ("d_green.bmp", "Garden", (500, 200), (40, 170, 60)),
]
# Albums and pictures named in other scripts, in the list's order (byte
# order of their UTF-8 names), after Garden. Each pair has names of one
# length, so that names lost to "?" would draw alike.
SCRIPT_ALBUMS = [
    ("θάλασσα.png", "Αθήνα", (400, 300), (20, 160, 160)),
    ("ουρανός.png", "Κρήτη", (400, 300), (160, 160, 20)),
    ("花火.jpg", "京都", (400, 300), (120, 20, 160)),
    ("写真.jpg", "日本", (400, 300), (220, 120, 20)),
]
PICTURES += SCRIPT_ALBUMS
EXPORT_NAME = "書き出し.jpg"
# How much the drawn text must differ from the skin behind it, and how wide
# the script names may be against the caption b_blue.png (check_script_names).
INK_CONTRAST = 60
NARROW_GREEK = 1.4
NARROW_JAPANESE = 1.0
DAMAGED = "c_damaged.jpg"
BANNER_SIZE = (120, 50)
BANNER_COLOUR = (40, 180, 90)

failures = []


work_folder = None


def check(condition, description):
    print(("ok      " if condition else "FAILED  ") + description, flush=True)
    if not condition:
        failures.append(description)
        # What the screen showed, for whoever reads the log.
        if work_folder is not None and shutil.which("import"):
            shot = os.path.join(work_folder, f"failed-{len(failures)}.png")
            subprocess.run(["import", "-window", "root", shot], check=False)
            print(f"        screen saved as {shot}", flush=True)
    return condition


def close(a, b):
    return all(abs(int(x) - int(y)) <= TOLERANCE for x, y in zip(a, b))


def run(*command, **options):
    return subprocess.run(command, check=True, capture_output=True, **options)


def make_disc(source, args):
    os.makedirs(source)
    for name, album, size, colour in PICTURES:
        folder = os.path.join(source, album)
        os.makedirs(folder, exist_ok=True)
        Image.new("RGB", size, colour).save(os.path.join(folder, name))
    # A JPEG cut short inside its first scan's header.
    good = io.BytesIO()
    Image.new("RGB", (400, 300), (250, 250, 0)).save(good, "JPEG")
    with open(os.path.join(source, DAMAGED), "wb") as damaged:
        damaged.write(good.getvalue()[:200])
    # Sounds beside the pictures: a MIDI tune for the first, a wave for the
    # second. With no sound device they are silence, never a failure.
    with open(os.path.join(source, "a_red.mid"), "wb") as tune:
        track = bytes([0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0, 0x00, 0xFF, 0x2F, 0x00])
        tune.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, 96) +
                   b"MTrk" + struct.pack(">I", len(track)) + track)
    with wave.open(os.path.join(source, "b_blue.wav"), "wb") as sound:
        sound.setnchannels(1)
        sound.setsampwidth(1)
        sound.setframerate(8000)
        sound.writeframes(bytes(128 + (i % 40) for i in range(8000)))
    banner = os.path.join(args.work, "banner.jpg")
    Image.new("RGB", BANNER_SIZE, BANNER_COLOUR).save(banner, quality=95)
    for program in (args.program, args.linux_program):
        run(args.pack, source, "--program", program, "--banner", banner)
    check(os.path.isfile(os.path.join(source, "tessary.exe")) and
          os.path.isfile(os.path.join(source, "tessary")),
          "tessary-pack put the Windows and the Linux program side by side")


def mount_read_only(source, disc):
    os.makedirs(disc)
    sudo = [] if os.geteuid() == 0 else ["sudo"]
    run(*sudo, "mount", "--bind", source, disc)
    run(*sudo, "mount", "-o", "remount,ro,bind", disc)
    return lambda: subprocess.run(sudo + ["umount", disc], check=False)


def screen():
    shot = subprocess.run(["import", "-window", "root", "png:-"], check=True,
                          capture_output=True).stdout
    return Image.open(io.BytesIO(shot)).convert("RGB")


def window_origin(width=WINDOW_SIZE[0]):
    """The client area's top-left corner on the screen, once the window is up
    at `width` device pixels."""
    deadline = time.time() + WAIT_SECONDS
    while time.time() < deadline:
        # Only once shown: set-up sizes and then centres the window.
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Tessary$"],
                               capture_output=True, text=True).stdout.split()
        if found:
            geometry = subprocess.run(["xdotool", "getwindowgeometry", "--shell", found[0]],
                                      capture_output=True, text=True).stdout
            values = dict(line.split("=", 1) for line in geometry.split())
            if values.get("WIDTH") == str(width):
                return int(values["X"]) + BORDER, int(values["Y"]) + BORDER
        time.sleep(1)
    return None


def wait_for_pixel(origin, point, colour):
    """The pixel at a client point, once it is within tolerance of `colour`
    (or the last one seen when the wait runs out)."""
    deadline = time.time() + WAIT_SECONDS
    while True:
        seen = screen().getpixel((origin[0] + point[0], origin[1] + point[1]))
        if close(seen, colour) or time.time() > deadline:
            return seen
        time.sleep(1)


def click(origin, point):
    run("xdotool", "mousemove", str(origin[0] + point[0]), str(origin[1] + point[1]),
        "click", "1")


def region_matches(shot, origin, at, image):
    """Every 8th pixel of `image`, drawn at client point `at`, on the screen."""
    for y in range(0, image.height, 8):
        for x in range(0, image.width, 8):
            if not close(shot.getpixel((origin[0] + at[0] + x, origin[1] + at[1] + y)),
                         image.getpixel((x, y))):
                return False
    return True


def list_row_point(row):
    return (LIST_ORIGIN[0] + LIST_ROW_SIZE[0] // 2, LIST_ORIGIN[1] + LIST_ROW_SIZE[1] * row + 15)


def crop(shot, origin, box):
    left, top, right, bottom = box
    return shot.crop((origin[0] + left, origin[1] + top, origin[0] + right, origin[1] + bottom))


def list_row(shot, origin, row):
    top = LIST_ORIGIN[1] + LIST_ROW_SIZE[1] * row
    return crop(shot, origin, (LIST_ORIGIN[0], top, LIST_ORIGIN[0] + LIST_ROW_SIZE[0],
                               top + LIST_ROW_SIZE[1]))


def wait_for_window(name, present=True):
    deadline = time.time() + WAIT_SECONDS
    while time.time() < deadline:
        found = subprocess.run(["xdotool", "search", "--name", name],
                               capture_output=True, text=True).stdout.split()
        if bool(found) == present:
            return True
        time.sleep(1)
    return False


def wait_for_file(path):
    deadline = time.time() + WAIT_SECONDS
    while time.time() < deadline:
        try:
            with Image.open(path) as image:
                return image.convert("RGB")
        except OSError:
            time.sleep(1)
    return None


def clipboard_bitmap():
    deadline = time.time() + WAIT_SECONDS
    while time.time() < deadline:
        data = subprocess.run(["xclip", "-selection", "clipboard", "-t", "image/bmp", "-o"],
                              capture_output=True).stdout
        if data:
            return Image.open(io.BytesIO(data)).convert("RGB")
        time.sleep(1)
    return None


# Faces the viewer draws in, linked to a font with Japanese glyphs, as a
# Windows set up for East Asian languages links them to its own.
LINKED_FACES = ["System", "Arial", "MS Sans Serif"]
CJK_FONT_LINK = "wqy-microhei.ttc,WenQuanYi Micro Hei"


def link_cjk_font():
    key = r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink"
    for face in LINKED_FACES:
        run("wine", "reg", "add", key, "/v", face, "/t", "REG_MULTI_SZ", "/d", CJK_FONT_LINK, "/f")


def drive_viewer(disc, args):
    link_cjk_font()
    viewer = subprocess.Popen(["wine", "tessary.exe"], cwd=disc)
    try:
        origin = window_origin()
        if not check(origin is not None, "the 800 x 600 window appears"):
            return
        centred = tuple((s - w) // 2 + BORDER for s, w in zip(SCREEN_SIZE, WINDOW_SIZE))
        check(origin == centred, f"the window is centred on the screen (client at {origin}, "
              f"expected {centred})")
        splash = Image.open(os.path.join(args.skin, "167_splash.jpg")).convert("RGB")
        background = Image.open(os.path.join(args.skin, "142_background.jpg")).convert("RGB")
        deadline = time.time() + WAIT_SECONDS
        while not region_matches(screen(), origin, SPLASH_ORIGIN, splash) and time.time() < deadline:
            time.sleep(1)
        check(region_matches(screen(), origin, SPLASH_ORIGIN, splash),
              "the splash image is shown at (290, 200)")
        banner = Image.new("RGB", BANNER_SIZE, BANNER_COLOUR)
        check(region_matches(screen(), origin, BANNER_ORIGIN, banner),
              "the banner tessary-pack appended is shown at (15, 525)")

        click(origin, SPLASH_CLICK)
        first, second = PICTURES[0][3], PICTURES[1][3]
        check(close(wait_for_pixel(origin, PICTURE_CENTRE, first), first),
              "a click on the splash shows the first picture")
        click(origin, NEXT_ZONE_POINT)
        check(close(wait_for_pixel(origin, PICTURE_CENTRE, second), second),
              "Next shows the second picture")
        ascii_caption = crop(screen(), origin, CAPTION_BAND)

        click(origin, COPY_ZONE_POINT)
        copied = clipboard_bitmap()
        size = PICTURES[1][2]
        check(copied is not None and copied.size == size,
              f"Copy puts a {size[0]} x {size[1]} bitmap on the clipboard "
              f"(got {copied.size if copied else 'nothing'})")
        if copied is not None:
            check(close(copied.getpixel((size[0] // 2, size[1] // 2)), second),
                  "the copied bitmap holds the picture")

        # Export through the system's Save As dialog, typed as a person would;
        # the disc is read-only, so the copy goes to the work folder.
        click(origin, EXPORT_ZONE_POINT)
        if check(wait_for_window("^Export file as$"), "Export opens the \"Export file as\" dialog"):
            exported = os.path.join(os.path.abspath(args.work), "exported.jpg")
            run("xdotool", "type", "--delay", "50", "Z:" + exported.replace("/", "\\"))
            run("xdotool", "key", "Return")
            picture = wait_for_file(exported)
            check(picture is not None and picture.size == size and
                  close(picture.getpixel((size[0] // 2, size[1] // 2)), second),
                  "the exported JPEG holds the whole picture")
            check(wait_for_window("^Export file as$", present=False), "the dialog closes")

        run("xdotool", "key", "F1")
        if check(wait_for_window("^About Tessary$"), "F1 opens the About box"):
            run("xdotool", "key", "Return")
            check(wait_for_window("^About Tessary$", present=False), "Enter closes the About box")

        # The damaged picture's place is empty but for one line in its middle
        # that says why; a point above that line shows the bare area.
        click(origin, NEXT_ZONE_POINT)
        above_line = (PICTURE_CENTRE[0], PICTURE_CENTRE[1] - 100)
        empty = background.getpixel(above_line)
        check(close(wait_for_pixel(origin, above_line, empty), empty),
              "the damaged picture leaves the picture area empty but for its reason")
        check(viewer.poll() is None, "the viewer is still running after the damaged picture")
        run("xdotool", "key", "Left")
        check(close(wait_for_pixel(origin, PICTURE_CENTRE, second), second),
              "the Left key goes back to the second picture")
        garden = PICTURES[2][3]
        click(origin, SECOND_ALBUM_ROW)
        check(close(wait_for_pixel(origin, PICTURE_CENTRE, garden), garden),
              "a click on the list's second row shows that album's picture")
        check_script_names(origin, args, background.crop(CAPTION_BAND), ascii_caption)

        run("xdotool", "key", "Escape")
        try:
            status = viewer.wait(timeout=WAIT_SECONDS)
        except subprocess.TimeoutExpired:
            status = None
        check(status == 0, f"Escape ends the program with status 0 (got {status})")
    finally:
        if viewer.poll() is None:
            viewer.kill()


def ink_width(caption, empty):
    """Columns between the first and the last one the text marked."""
    columns = [x for x in range(caption.width)
               if any(max(abs(a - b) for a, b in zip(caption.getpixel((x, y)), empty.getpixel((x, y))))
                      > INK_CONTRAST for y in range(caption.height))]
    return columns[-1] - columns[0] + 1 if columns else 0


def check_script_names(origin, args, empty_caption, ascii_caption):
    """The Greek and Japanese albums (rows 2 to 5) open and show their
    pictures and names; the last one is exported to a Japanese name.

    A name drawn through the ANSI code page comes out as one Latin letter
    per UTF-8 byte ("Î¸Î¬..." for "θά...", "å†™çœŸ" for "写真"): far wider than
    the name itself. So each caption is measured against the ASCII name
    b_blue.png (10 letters): the Greek names (11 letters) stay under
    NARROW_GREEK of it, the Japanese ones (2 wide glyphs and 4 letters)
    under NARROW_JAPANESE, where their byte-per-letter forms are far over."""
    captions = []
    for row, (name, album, size, colour) in enumerate(SCRIPT_ALBUMS, start=2):
        click(origin, list_row_point(row))
        check(close(wait_for_pixel(origin, PICTURE_CENTRE, colour), colour),
              f"the album {album} opens and shows {name}")
        captions.append(crop(screen(), origin, CAPTION_BAND))
        # Kept for whoever reads the log.
        captions[-1].save(os.path.join(args.work, f"caption-{row}.png"))
    for first, second in ((0, 1), (2, 3)):
        a, b = SCRIPT_ALBUMS[first][0], SCRIPT_ALBUMS[second][0]
        check(list(captions[first].getdata()) != list(captions[second].getdata()),
              f"the names {a} and {b} are drawn, each as itself")
    reference = ink_width(ascii_caption, empty_caption)
    for (name, *_), caption, limit in zip(SCRIPT_ALBUMS, captions,
                                          (NARROW_GREEK, NARROW_GREEK, NARROW_JAPANESE, NARROW_JAPANESE)):
        width = ink_width(caption, empty_caption)
        check(0 < width < limit * reference,
              f"{name} is drawn as its characters, not as its bytes "
              f"({width} pixels wide; b_blue.png {reference})")

    size, colour = SCRIPT_ALBUMS[-1][2], SCRIPT_ALBUMS[-1][3]
    click(origin, EXPORT_ZONE_POINT)
    if check(wait_for_window("^Export file as$"), "Export opens the dialog for a Japanese picture"):
        exported = os.path.join(os.path.abspath(args.work), EXPORT_NAME)
        # Pasted, not typed: xdotool types a character outside the keyboard
        # map by remapping a key, and the first such key can reach Wine
        # before the new map does.
        subprocess.run(["xclip", "-selection", "clipboard", "-i"], check=True,
                       input=("Z:" + exported.replace("/", "\\")).encode("utf-8"))
        run("xdotool", "key", "ctrl+v")
        time.sleep(1)
        run("xdotool", "key", "Return")
        picture = wait_for_file(exported)
        check(picture is not None and picture.size == size and
              close(picture.getpixel((size[0] // 2, size[1] // 2)), colour),
              f"the export writes {EXPORT_NAME} (found: {sorted(os.listdir(args.work))})")
        wait_for_window("^Export file as$", present=False)

    # Every script album unselected: their labels side by side.
    click(origin, SECOND_ALBUM_ROW)
    wait_for_pixel(origin, PICTURE_CENTRE, PICTURES[2][3])
    shot = screen()
    labels = [list_row(shot, origin, row) for row in range(2, 2 + len(SCRIPT_ALBUMS))]
    for first, second in ((0, 1), (2, 3)):
        a, b = SCRIPT_ALBUMS[first][1], SCRIPT_ALBUMS[second][1]
        check(list(labels[first].getdata()) != list(labels[second].getdata()),
              f"the album list draws {a} and {b}, each as itself")


def main():
    parser = argparse.ArgumentParser()
    for option in ("--program", "--pack", "--linux-program", "--skin", "--work"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    global work_folder
    work_folder = args.work
    source = os.path.join(args.work, "disc-source")
    disc = os.path.join(args.work, "disc")
    # A run that was stopped may have left its mount behind.
    if os.path.ismount(disc):
        subprocess.run(([] if os.geteuid() == 0 else ["sudo"]) + ["umount", disc], check=False)
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    make_disc(source, args)
    unmount = mount_read_only(source, disc)
    try:
        drive_viewer(disc, args)
    finally:
        subprocess.run(["wineserver", "-w"], check=False)
        unmount()
    print(f"{len(failures)} check(s) failed" if failures else "every check passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
