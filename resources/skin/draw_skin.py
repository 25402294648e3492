#!/usr/bin/env python3
"""Draws the viewer's skin: every "BIN" JPEG the window is painted from.

    resources/skin/draw_skin.py [--preview DIR]

Writes the JPEG files beside this script (named <id>_<purpose>.jpg, see
README.md) and the program icon (128_icon.png, 128_icon.ico). With --preview
it also writes, into DIR, the background composed with every pressed image,
the Close highlight, the list rows, a sample picture with its drop shadow and
the splash image at their places, to check the alignment by eye.

Uses Pillow and Debian's DejaVu fonts (fonts-dejavu-core). The drawing is
deterministic: no randomness, no dependence on the time or the machine; the
same Pillow and libjpeg give the same bytes.

The geometry is the window's: zones, pressed-image places and sizes are
fixed by the viewer and repeated here. Pressed and highlighted images are cut
out of a second drawing of the whole background with that button pressed, so
they always fit the background around them.
"""
import argparse
import math
import os
import struct
import sys

from PIL import Image, ImageDraw, ImageFilter, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
FONT_DIR = "/usr/share/fonts/truetype/dejavu"

# --- Geometry of the window (client pixels; rectangles are left, top, right, bottom) ---
WINDOW = (800, 600)
PICTURE_AREA = (204, 42, 753, 512)
LIST_BOX = (15, 199, 149, 475)
BANNER_AT = (15, 525)  # an appended banner is drawn here (135 x 63 as delivered)
CLOSE_ZONE = (8, 7, 52, 52)
PREV_ZONE = (607, 550, 661, 595)
NEXT_ZONE = (668, 550, 720, 600)
COPY_ZONE = (193, 558, 233, 585)
EXPORT_ZONE = (252, 560, 303, 587)
SPLASH_AT = (290, 200)
SPLASH_CLICK_AREA = (300, 300, 700, 420)
FILE_NAME_CENTRE_X = 438  # file name: centred here, top at y 565, colour 0x404040
COUNTER_AT = (550, 565)   # "%d/%d", colour 0x404040
TEXT_TOP = 565

# Images cut from the background drawn in another state: id -> (purpose, place, size).
PRESSED = {
    157: ("prev_pressed", (610, 552), (52, 48)),
    156: ("next_pressed", (669, 552), (53, 48)),
    159: ("copy_pressed", (200, 568), (37, 19)),
    160: ("export_pressed", (254, 567), (52, 21)),
}
CLOSE_HIGHLIGHT = (165, "close_highlight", (8, 7), (44, 43))
SIDE_PANEL = (161, "side_panel", (0, 163), (166, 352))
SPLASH = (167, "splash", SPLASH_AT, (432, 246))
LIST_ROW_SIZE = (134, 31)
SHADOW_RIGHT = (153, "shadow_right", (8, 485))
SHADOW_BOTTOM = (154, "shadow_bottom", (559, 9))
SHADOW_CORNER = (155, "shadow_corner", (11, 6))

# --- Colours ---
FRAME_TOP = (50, 55, 66)
FRAME_BOTTOM = (22, 24, 30)
BEVEL_LIGHT = (92, 99, 114)
BEVEL_DARK = (10, 11, 14)
MAT = (233, 230, 223)          # the light picture area
MAT_EDGE = (205, 201, 192)
ACCENT = (226, 170, 68)        # warm gold
ACCENT_DARK = (170, 118, 36)
INK = (226, 229, 236)          # symbols and light text
INK_DIM = (150, 156, 170)
FACE_TOP = (78, 85, 100)       # button faces
FACE_BOTTOM = (46, 50, 60)
PRESSED_TOP = (30, 33, 40)
PRESSED_BOTTOM = (44, 48, 58)
CAPTION = (206, 202, 193)      # strip behind the file name and counter
LIST_GREY = (0x7A, 0x7A, 0x7A)  # the list box's own background
SHADOW_INK = (38, 35, 30)

JPEG_OPTIONS = dict(quality=98, subsampling=0, optimize=False, progressive=False)


def font(name, size):
    return ImageFont.truetype(os.path.join(FONT_DIR, name), size)


SANS = "DejaVuSans.ttf"
SANS_BOLD = "DejaVuSans-Bold.ttf"
SANS_LIGHT = "DejaVuSans-ExtraLight.ttf"
SANS_CONDENSED_BOLD = "DejaVuSansCondensed-Bold.ttf"


def mix(a, b, t):
    return tuple(int(round(x + (y - x) * t)) for x, y in zip(a, b))


def grain(x, y):
    """A fixed fine texture in -2..2, from an integer hash of the position."""
    h = (x * 73856093) ^ (y * 19349663)
    h = (h ^ (h >> 13)) * 1274126177 & 0xFFFFFFFF
    return (h >> 16) % 5 - 2


def vertical_gradient(size, top, bottom, textured=False):
    width, height = size
    image = Image.new("RGB", size)
    pixels = image.load()
    for y in range(height):
        base = mix(top, bottom, y / max(1, height - 1))
        for x in range(width):
            if textured:
                g = grain(x, y)
                pixels[x, y] = (base[0] + g, base[1] + g, base[2] + g)
            else:
                pixels[x, y] = base
    return image


def bevel(draw, box, light, dark, width=1):
    """A raised (light top-left) or, with the colours swapped, sunken edge."""
    left, top, right, bottom = box
    for i in range(width):
        draw.line([(left + i, bottom - 1 - i), (left + i, top + i), (right - 1 - i, top + i)], fill=light)
        draw.line([(left + i, bottom - 1 - i), (right - 1 - i, bottom - 1 - i), (right - 1 - i, top + i)], fill=dark)


def text_centre(draw, centre, text, face, fill):
    x0, y0, x1, y1 = draw.textbbox((0, 0), text, font=face)
    draw.text((centre[0] - (x0 + x1) / 2, centre[1] - (y0 + y1) / 2), text, font=face, fill=fill)


def supersampled(size, paint, factor=4):
    """Paints at `factor` times the size (paint(draw, scale)) and scales down:
    smooth circles and symbols without a drawing library of our own."""
    big = Image.new("RGBA", (size[0] * factor, size[1] * factor), (0, 0, 0, 0))
    paint(ImageDraw.Draw(big), factor)
    return big.resize(size, Image.LANCZOS)


# --- Buttons ---------------------------------------------------------------------

def round_button(centre, radius, symbol, state):
    """A round button as an RGBA layer of the window's size.
    state: "normal", "pressed" or "hover"."""
    def paint(draw, s):
        cx, cy, r = centre[0] * s, centre[1] * s, radius * s
        # outer ring: a dark groove the button sits in
        draw.ellipse([cx - r - 2 * s, cy - r - 2 * s, cx + r + 2 * s, cy + r + 2 * s], fill=BEVEL_DARK + (255,))
        if state == "pressed":
            top, bottom, ring, ink = PRESSED_TOP, PRESSED_BOTTOM, (20, 22, 27), ACCENT
        elif state == "hover":
            top, bottom, ring, ink = (214, 86, 70), (150, 44, 36), (240, 150, 130), (255, 255, 255)
        else:
            top, bottom, ring, ink = FACE_TOP, FACE_BOTTOM, BEVEL_LIGHT, INK
        steps = int(2 * r)
        for i in range(steps):
            t = i / steps
            y = cy - r + i
            half = math.sqrt(max(0.0, r * r - (y - cy) ** 2))
            draw.line([(cx - half, y), (cx + half, y)], fill=mix(top, bottom, t) + (255,))
        draw.ellipse([cx - r, cy - r, cx + r, cy + r], outline=ring + (255,), width=max(1, s))
        dx = dy = s if state == "pressed" else 0
        symbol(draw, cx + dx, cy + dy, r, s, ink + (255,))
    return supersampled(WINDOW, paint)


def arrow_left(draw, cx, cy, r, s, ink):
    w = r * 0.42
    draw.polygon([(cx - w * 1.15, cy), (cx + w * 0.75, cy - w), (cx + w * 0.75, cy + w)], fill=ink)


def arrow_right(draw, cx, cy, r, s, ink):
    w = r * 0.42
    draw.polygon([(cx + w * 1.15, cy), (cx - w * 0.75, cy - w), (cx - w * 0.75, cy + w)], fill=ink)


def cross(draw, cx, cy, r, s, ink):
    w = r * 0.36
    draw.line([(cx - w, cy - w), (cx + w, cy + w)], fill=ink, width=int(3.2 * s))
    draw.line([(cx - w, cy + w), (cx + w, cy - w)], fill=ink, width=int(3.2 * s))


def pill_button(box, label, state):
    """A rounded text button (Copy, Export) as an RGBA layer of the window's size."""
    def paint(draw, s):
        left, top, right, bottom = (v * s for v in box)
        radius = (bottom - top) / 2
        draw.rounded_rectangle([left - s, top - s, right + s, bottom + s], radius + s, fill=BEVEL_DARK + (255,))
        if state == "pressed":
            top_colour, bottom_colour, ring, ink = PRESSED_TOP, PRESSED_BOTTOM, (20, 22, 27), ACCENT
        else:
            top_colour, bottom_colour, ring, ink = FACE_TOP, FACE_BOTTOM, BEVEL_LIGHT, INK
        # the face: a vertical gradient clipped to the stadium shape, row by row
        cx, cy = (left + right) / 2, (top + bottom) / 2
        height = bottom - top
        for i in range(int(height) + 1):
            y = top + i
            dy = min(radius, abs(y - cy))
            half = (right - left) / 2 - radius + math.sqrt(radius * radius - dy * dy)
            draw.line([(cx - half, y), (cx + half, y)], fill=mix(top_colour, bottom_colour, i / height) + (255,))
        draw.rounded_rectangle([left, top, right, bottom], radius, outline=ring + (255,), width=max(1, s))
        dx = dy = s if state == "pressed" else 0
        face_font = font(SANS_CONDENSED_BOLD, int(9.5 * s))
        text_centre(draw, ((left + right) / 2 + dx, (top + bottom) / 2 + dy + 0.5 * s), label, face_font, ink + (255,))
    return supersampled(WINDOW, paint)


# --- The background ------------------------------------------------------------------

def draw_background(pressed=(), hover=False):
    image = vertical_gradient(WINDOW, FRAME_TOP, FRAME_BOTTOM, textured=True)
    draw = ImageDraw.Draw(image)
    width, height = WINDOW
    bevel(draw, (0, 0, width, height), BEVEL_LIGHT, BEVEL_DARK)

    # Top left: the name beside the Close button.
    draw.text((60, 11), "Tessary", font=font(SANS_BOLD, 22), fill=INK)
    draw.text((61, 38), "PHOTO ALBUM", font=font(SANS, 9), fill=ACCENT)

    # Album list: a heading and a sunken well around the list box.
    left, top, right, bottom = LIST_BOX
    draw.text((left + 1, top - 22), "ALBUMS", font=font(SANS_BOLD, 10), fill=INK_DIM)
    draw.line([(left + 52, top - 15), (right, top - 15)], fill=BEVEL_LIGHT)
    draw.rectangle([left - 3, top - 3, right + 2, bottom + 2], fill=BEVEL_DARK)
    bevel(draw, (left - 3, top - 3, right + 3, bottom + 3), BEVEL_DARK, BEVEL_LIGHT)
    draw.rectangle([left, top, right - 1, bottom - 1], fill=LIST_GREY)

    # The picture area on a light mat, wide enough for the drop shadow
    # (8 pixels right, 9 below a picture of the full area).
    mat = (PICTURE_AREA[0] - 12, PICTURE_AREA[1] - 12, PICTURE_AREA[2] + 13, PICTURE_AREA[3] + 14)
    draw.rectangle([mat[0] - 3, mat[1] - 3, mat[2] + 2, mat[3] + 2], fill=BEVEL_DARK)
    bevel(draw, (mat[0] - 3, mat[1] - 3, mat[2] + 3, mat[3] + 3), BEVEL_DARK, BEVEL_LIGHT)
    draw.rectangle([mat[0], mat[1], mat[2] - 1, mat[3] - 1], fill=MAT)
    draw.rectangle([mat[0], mat[1], mat[2] - 1, mat[3] - 1], outline=MAT_EDGE)

    # The banner corner: a slot the appended banner covers, with a faint mark.
    slot = (BANNER_AT[0], BANNER_AT[1], BANNER_AT[0] + 135, BANNER_AT[1] + 63)
    draw.rectangle([slot[0], slot[1], slot[2] - 1, slot[3] - 1], fill=(30, 33, 40))
    bevel(draw, slot, BEVEL_DARK, BEVEL_LIGHT)
    text_centre(draw, ((slot[0] + slot[2]) / 2, (slot[1] + slot[3]) / 2), "Tessary", font(SANS_LIGHT, 20), (62, 67, 79))

    # The caption strip under the picture for the file name and the counter
    # (dark grey text), between the Export and Prev buttons.
    strip = (314, 557, 600, 591)
    draw.rectangle([strip[0], strip[1], strip[2] - 1, strip[3] - 1], fill=CAPTION)
    bevel(draw, strip, BEVEL_DARK, BEVEL_LIGHT)
    draw.line([(COUNTER_AT[0] - 8, strip[1] + 6), (COUNTER_AT[0] - 8, strip[3] - 7)], fill=MAT_EDGE)

    # Buttons, each inside its zone and inside its pressed image.
    layers = [
        round_button((30, 28.5), 17, cross, "hover" if hover else "normal"),
        round_button((635.5, 574), 19, arrow_left, "pressed" if 157 in pressed else "normal"),
        round_button((694.5, 574), 19, arrow_right, "pressed" if 156 in pressed else "normal"),
        pill_button((202, 571, 231, 583), "Copy", "pressed" if 159 in pressed else "normal"),
        pill_button((257, 570, 301, 584), "Export", "pressed" if 160 in pressed else "normal"),
    ]
    image = image.convert("RGBA")
    for layer in layers:
        image.alpha_composite(layer)
    return image.convert("RGB")


# --- Album list rows ----------------------------------------------------------------------

def list_row(top, bottom, separator, indent_mark=None):
    width, height = LIST_ROW_SIZE
    image = vertical_gradient(LIST_ROW_SIZE, top, bottom)
    draw = ImageDraw.Draw(image)
    draw.line([(0, 0), (width - 1, 0)], fill=mix(top, (255, 255, 255), 0.35))
    draw.line([(0, height - 1), (width - 1, height - 1)], fill=separator)
    if indent_mark is not None:
        # second level: a tree elbow in the 30-pixel indent
        draw.line([(13, 0), (13, 14)], fill=indent_mark)
        draw.line([(13, 14), (22, 14)], fill=indent_mark)
        draw.ellipse([21, 12, 25, 16], fill=indent_mark)
    return image


def draw_list_rows():
    return {
        (149, "list_root"): list_row((60, 66, 80), (36, 40, 49), (16, 18, 22)),
        (143, "list_album"): list_row((196, 196, 193), (166, 166, 163), (112, 112, 110)),
        (150, "list_selected"): list_row((236, 190, 100), (204, 148, 52), (140, 96, 26)),
        (147, "list_subalbum"): list_row((176, 176, 173), (150, 150, 147), (104, 104, 102), (98, 98, 96)),
        (151, "list_subalbum_selected"): list_row((236, 190, 100), (204, 148, 52), (140, 96, 26), ACCENT_DARK),
    }


# --- Side panel (the list's place when there is only one album) ----------------------------

def draw_side_panel(background):
    _, _, (x, y), (w, h) = SIDE_PANEL
    panel = background.crop((x, y, x + w, y + h))
    draw = ImageDraw.Draw(panel)
    # cover the list heading and well with a framed card
    card = (10, 8, w - 10, h - 14)
    shade = vertical_gradient((card[2] - card[0], card[3] - card[1]), (44, 48, 58), (30, 33, 40))
    panel.paste(shade, (card[0], card[1]))
    bevel(draw, card, BEVEL_LIGHT, BEVEL_DARK)

    # a small stack of photographs
    def paint(d, s):
        cx, cy = (w / 2) * s, 112 * s
        for angle, colour in ((-14, (150, 146, 138)), (9, (190, 186, 178)), (0, (240, 238, 232))):
            pw, ph = 80 * s, 60 * s
            corners = [(-pw / 2, -ph / 2), (pw / 2, -ph / 2), (pw / 2, ph / 2), (-pw / 2, ph / 2)]
            a = math.radians(angle)
            points = [(cx + px * math.cos(a) - py * math.sin(a), cy + px * math.sin(a) + py * math.cos(a))
                      for px, py in corners]
            d.polygon(points, fill=colour + (255,), outline=(20, 22, 27, 255))
        # the top photograph's picture: sky, hills and a sun
        left, top, right, bottom = cx - 34 * s, cy - 24 * s, cx + 34 * s, cy + 20 * s
        d.rectangle([left, top, right, bottom], fill=(118, 160, 206, 255))
        d.polygon([(left, bottom), (left + 22 * s, top + 20 * s), (left + 40 * s, bottom)], fill=(76, 120, 78, 255))
        d.polygon([(left + 26 * s, bottom), (left + 50 * s, top + 14 * s), (right, bottom)], fill=(58, 98, 64, 255))
        d.ellipse([right - 18 * s, top + 5 * s, right - 8 * s, top + 15 * s], fill=ACCENT + (255,))
    layer = supersampled((w, h), paint)
    panel = panel.convert("RGBA")
    panel.alpha_composite(layer)
    panel = panel.convert("RGB")
    draw = ImageDraw.Draw(panel)
    text_centre(draw, (w / 2, 190), "One album", font(SANS_BOLD, 13), INK)
    text_centre(draw, (w / 2, 214), "Browse the pictures", font(SANS, 10), INK_DIM)
    text_centre(draw, (w / 2, 229), "with \u25C0 Prev and Next \u25B6", font(SANS, 10), INK_DIM)
    draw.line([(32, 252), (w - 32, 252)], fill=BEVEL_LIGHT)
    text_centre(draw, (w / 2, 272), "Copy puts the picture", font(SANS, 10), INK_DIM)
    text_centre(draw, (w / 2, 287), "on the clipboard;", font(SANS, 10), INK_DIM)
    text_centre(draw, (w / 2, 302), "Export saves a copy.", font(SANS, 10), INK_DIM)
    return panel


# --- Splash --------------------------------------------------------------------------------

def draw_splash():
    _, _, _, (w, h) = SPLASH
    # Drawn over the light mat: the corners outside the rounded card are mat.
    def paint(d, s):
        d.rectangle([0, 0, w * s, h * s], fill=MAT + (255,))
        # soft shadow under the card
        d.rounded_rectangle([7 * s, 9 * s, (w - 3) * s, (h - 1) * s], 16 * s, fill=(120, 116, 108, 255))
    base = supersampled((w, h), paint).filter(ImageFilter.GaussianBlur(3))
    base = base.convert("RGB")
    base.paste(MAT, (0, 0, w, 4))
    base.paste(MAT, (0, 0, 4, h))

    def card(d, s):
        d.rounded_rectangle([4 * s, 4 * s, (w - 6) * s, (h - 7) * s], 14 * s, fill=(255, 255, 255, 255))
    mask = supersampled((w, h), card).split()[3]
    face = vertical_gradient((w, h), (52, 58, 71), (24, 27, 34))
    base.paste(face, (0, 0), mask)

    def details(d, s):
        d.rounded_rectangle([4 * s, 4 * s, (w - 6) * s, (h - 7) * s], 14 * s, outline=ACCENT + (255,), width=2 * s)
        # the invitation, drawn as a wide button inside the click area
        # (click area in splash coordinates: 10, 100 - 410, 220)
        area = [(SPLASH_CLICK_AREA[0] - SPLASH_AT[0] + 18) * s, (SPLASH_CLICK_AREA[1] - SPLASH_AT[1] + 16) * s,
                (SPLASH_CLICK_AREA[2] - SPLASH_AT[0] - 18) * s, (SPLASH_CLICK_AREA[3] - SPLASH_AT[1] - 16) * s]
        d.rounded_rectangle(area, 12 * s, fill=(70, 77, 93, 255), outline=(120, 128, 146, 255), width=s)
        cx, cy = (area[0] + area[2]) / 2, (area[1] + area[3]) / 2
        # a play mark before the words
        px = area[0] + 40 * s
        d.ellipse([px - 17 * s, cy - 17 * s, px + 17 * s, cy + 17 * s], fill=ACCENT + (255,))
        d.polygon([(px - 6 * s, cy - 9 * s), (px - 6 * s, cy + 9 * s), (px + 10 * s, cy)], fill=(36, 40, 49, 255))
        text_centre(d, (cx + 24 * s, cy - 9 * s), "Click here to open the album", font(SANS_BOLD, 15 * s), INK + (255,))
        text_centre(d, (cx + 24 * s, cy + 12 * s), "Tessary looks through the folders beside it", font(SANS, 10 * s), INK_DIM + (255,))
        # the name
        text_centre(d, (w / 2 * s, 48 * s), "Tessary", font(SANS_BOLD, 46 * s), (255, 255, 255, 255))
        text_centre(d, (w / 2 * s, 86 * s), "P H O T O   A L B U M", font(SANS, 11 * s), ACCENT + (255,))
        text_centre(d, (w / 2 * s, (h - 22) * s), "Version 1.0", font(SANS, 9 * s), INK_DIM + (255,))
    layer = supersampled((w, h), details)
    base = base.convert("RGBA")
    base.alpha_composite(layer)
    return base.convert("RGB")


# --- Drop shadow of the picture --------------------------------------------------------------
# The viewer draws the bottom strip at (x + 4, y + h) using its leftmost
# min(w, 559) columns, the right strip at (x + w, y + 3) with its rows taken
# upward from row 483, and the corner at (x + w - 6, y + h). Every shadow
# fades from dark at the picture's edge to the mat colour within 6 pixels.

SHADOW_REACH = 6.0


def shadow_strength(distance):
    if distance >= SHADOW_REACH:
        return 0.0
    return 0.62 * (1.0 - distance / SHADOW_REACH) ** 1.7


def shadow_colour(strength):
    return mix(MAT, SHADOW_INK, strength)


def draw_shadows():
    _, _, (rw, rh) = SHADOW_RIGHT
    right = Image.new("RGB", (rw, rh))
    for y in range(rh):
        # row 483 is the strip's top: fade in over its first rows
        fade = min(1.0, max(0.0, (484 - y) / 6.0))
        for x in range(rw):
            right.putpixel((x, y), shadow_colour(shadow_strength(x + 0.5) * fade))
    _, _, (bw, bh) = SHADOW_BOTTOM
    bottom = Image.new("RGB", (bw, bh))
    for x in range(bw):
        fade = min(1.0, (x + 1) / 6.0)  # the strip's left end, 4 pixels in from the picture's
        for y in range(bh):
            bottom.putpixel((x, y), shadow_colour(shadow_strength(y + 0.5) * fade))
    _, _, (cw, ch) = SHADOW_CORNER
    corner = Image.new("RGB", (cw, ch))
    for x in range(cw):
        for y in range(ch):
            if x < 6:  # still under the picture's bottom edge
                distance = y + 0.5
            else:      # past its right edge: round off the corner
                distance = math.hypot(x - 6 + 0.5, y + 0.5)
            corner.putpixel((x, y), shadow_colour(shadow_strength(distance)))
    return right, bottom, corner


# --- Icon ------------------------------------------------------------------------------------

def draw_icon(size):
    def paint(d, s):
        n = size * s
        d.rounded_rectangle([0, 0, n - 1, n - 1], 6 * s * size / 32, fill=(36, 40, 49, 255))
        m = n * 0.16
        d.rectangle([m, m * 1.3, n - m, n - m * 1.1], fill=(240, 238, 232, 255))
        inner = [m + n * 0.06, m * 1.3 + n * 0.06, n - m - n * 0.06, n - m * 1.1 - n * 0.12]
        d.rectangle(inner, fill=(118, 160, 206, 255))
        l, t, r, b = inner
        d.polygon([(l, b), (l + (r - l) * 0.35, t + (b - t) * 0.45), (l + (r - l) * 0.65, b)], fill=(76, 120, 78, 255))
        d.polygon([(l + (r - l) * 0.4, b), (l + (r - l) * 0.72, t + (b - t) * 0.3), (r, b)], fill=(58, 98, 64, 255))
        sun = (r - l) * 0.16
        d.ellipse([r - sun * 2.2, t + sun * 0.5, r - sun * 0.6, t + sun * 2.1], fill=ACCENT + (255,))
    return supersampled((size, size), paint, factor=8)


def write_ico(path, images):
    """A .ico with one 32-bit BMP entry (and its AND mask) per image."""
    entries = []
    for image in images:
        w, h = image.size
        rgba = image.convert("RGBA")
        rows = []
        for y in range(h - 1, -1, -1):
            row = bytearray()
            for x in range(w):
                r, g, b, a = rgba.getpixel((x, y))
                row += bytes((b, g, r, a))
            rows.append(bytes(row))
        mask_stride = ((w + 31) // 32) * 4
        mask = bytearray()
        for y in range(h - 1, -1, -1):
            bits = bytearray(mask_stride)
            for x in range(w):
                if rgba.getpixel((x, y))[3] < 128:
                    bits[x // 8] |= 0x80 >> (x % 8)
            mask += bits
        header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, 0, 0, 0, 0, 0)
        entries.append((w, h, header + b"".join(rows) + bytes(mask)))
    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    for w, h, data in entries:
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, _, data in entries:
        out += data
    with open(path, "wb") as file:
        file.write(out)


# --- Writing ---------------------------------------------------------------------------------

def save_jpeg(image, image_id, purpose, expected_size):
    assert image.size == expected_size, (image_id, image.size, expected_size)
    path = os.path.join(HERE, "%d_%s.jpg" % (image_id, purpose))
    image.save(path, "JPEG", **JPEG_OPTIONS)
    return path


def crop(image, place, size):
    return image.crop((place[0], place[1], place[0] + size[0], place[1] + size[1]))


def sample_picture(width, height):
    """A stand-in photograph for the preview: sky, hills and a sun."""
    picture = vertical_gradient((width, height), (120, 168, 220), (214, 226, 236))
    draw = ImageDraw.Draw(picture)
    draw.polygon([(0, height), (width * 0.35, height * 0.45), (width * 0.7, height)], fill=(80, 126, 82))
    draw.polygon([(width * 0.3, height), (width * 0.72, height * 0.35), (width, height)], fill=(58, 98, 64))
    draw.ellipse([width * 0.75, height * 0.1, width * 0.85, height * 0.1 + width * 0.1], fill=ACCENT)
    return picture


def write_previews(folder, background, pressed_images, highlight, rows, shadows, panel, splash):
    os.makedirs(folder, exist_ok=True)
    # 1. start-up: the splash image over the background, Close highlighted
    start = background.copy()
    start.paste(highlight, CLOSE_HIGHLIGHT[2])
    start.paste(splash, SPLASH[2])
    ImageDraw.Draw(start).rectangle(SPLASH_CLICK_AREA, outline=(255, 0, 255))
    start.save(os.path.join(folder, "preview_splash.png"))
    # 2. browsing: list rows, a picture with its shadow, text, every button pressed
    browse = background.copy()
    samples = [(149, "My Album", 0), (150, "Holidays", 1), (147, " Beach", 2), (151, " Mountains", 3),
               (143, "Family", 4), (143, "Friends", 5)]
    draw = ImageDraw.Draw(browse)
    face = font(SANS, 12)
    for image_id, text, index in samples:
        row = [image for (key, _), image in rows.items() if key == image_id][0]
        top = LIST_BOX[1] + index * LIST_ROW_SIZE[1]
        browse.paste(row, (LIST_BOX[0], top))
        indented = text.startswith(" ")
        left = LIST_BOX[0] + (30 if indented else 10)
        shadow_ink, ink = ((0, 0, 0), (0xC0, 0xC0, 0xC0)) if index == 0 else ((0xC0, 0xC0, 0xC0), (0, 0, 0))
        box_centre = top + (LIST_ROW_SIZE[1] - 3) / 2
        _, y0, _, y1 = draw.textbbox((0, 0), text.strip(), font=face)
        draw.text((left + 1, box_centre - (y0 + y1) / 2 + 1), text.strip(), font=face, fill=shadow_ink)
        draw.text((left, box_centre - (y0 + y1) / 2), text.strip(), font=face, fill=ink)
    w, h = 520, 390
    x = PICTURE_AREA[0] + (PICTURE_AREA[2] - PICTURE_AREA[0]) // 2 - w // 2
    y = PICTURE_AREA[1] + (PICTURE_AREA[3] - PICTURE_AREA[1]) // 2 - h // 2
    browse.paste(sample_picture(w, h), (x, y))
    right, bottom, corner = shadows
    browse.paste(bottom.crop((0, 0, min(w, bottom.width), bottom.height)), (x + 4, y + h))
    n = min(h, right.height)
    strip = Image.new("RGB", (right.width, n))
    for r in range(n):
        strip.paste(right.crop((0, 483 - r, right.width, 484 - r)), (0, r))
    browse.paste(strip, (x + w, y + 3))
    browse.paste(corner, (x + w - 6, y + h))
    name_face = font(SANS, 12)
    _, _, tw, _ = draw.textbbox((0, 0), "IMG_0042.jpg", font=name_face)
    draw.text((FILE_NAME_CENTRE_X - tw / 2, TEXT_TOP), "IMG_0042.jpg", font=name_face, fill=(0x40, 0x40, 0x40))
    draw.text(COUNTER_AT, "3/12", font=name_face, fill=(0x40, 0x40, 0x40))
    for image_id, (_, place, _) in PRESSED.items():
        browse.paste(pressed_images[image_id], place)
    for zone in (CLOSE_ZONE, PREV_ZONE, NEXT_ZONE, COPY_ZONE, EXPORT_ZONE):
        draw.rectangle([zone[0], zone[1], zone[2] - 1, zone[3] - 1], outline=(255, 0, 255))
    draw.rectangle([PICTURE_AREA[0], PICTURE_AREA[1], PICTURE_AREA[2] - 1, PICTURE_AREA[3] - 1], outline=(0, 200, 255))
    browse.save(os.path.join(folder, "preview_browsing.png"))
    # 3. one album: the side panel in the list's place
    single = background.copy()
    single.paste(panel, SIDE_PANEL[2])
    single.save(os.path.join(folder, "preview_side_panel.png"))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--preview", metavar="DIR", help="also write alignment previews into DIR")
    options = parser.parse_args()

    background = draw_background()
    save_jpeg(background, 142, "background", WINDOW)

    pressed_background = draw_background(pressed=tuple(PRESSED))
    pressed_images = {}
    for image_id, (purpose, place, size) in PRESSED.items():
        pressed_images[image_id] = crop(pressed_background, place, size)
        save_jpeg(pressed_images[image_id], image_id, purpose, size)

    image_id, purpose, place, size = CLOSE_HIGHLIGHT
    highlight = crop(draw_background(hover=True), place, size)
    save_jpeg(highlight, image_id, purpose, size)

    rows = draw_list_rows()
    for (row_id, purpose), image in rows.items():
        save_jpeg(image, row_id, purpose, LIST_ROW_SIZE)

    panel = draw_side_panel(background)
    save_jpeg(panel, SIDE_PANEL[0], SIDE_PANEL[1], SIDE_PANEL[3])

    splash = draw_splash()
    save_jpeg(splash, SPLASH[0], SPLASH[1], SPLASH[3])

    shadows = draw_shadows()
    for (shadow_id, purpose, size), image in zip((SHADOW_RIGHT, SHADOW_BOTTOM, SHADOW_CORNER), shadows):
        save_jpeg(image, shadow_id, purpose, size)

    icon32 = draw_icon(32)
    icon32.save(os.path.join(HERE, "128_icon.png"))
    write_ico(os.path.join(HERE, "128_icon.ico"), [icon32, draw_icon(16)])

    if options.preview:
        write_previews(options.preview, background, pressed_images, highlight, rows, shadows, panel, splash)
    return 0


if __name__ == "__main__":
    sys.exit(main())
