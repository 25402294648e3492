#!/usr/bin/env python3
"""Draws what the viewer window should show, from the skin JPEGs and the
picture as Pillow decodes them; the viewer's own code takes no part.

viewer_model.py OUT.png [ITEM ...]

Items, drawn in this order whatever their order on the line:
  splash                 the splash card at (290, 200)
  panel                  the one-album side panel at (0, 163)
  picture=PATH           the picture, fitted into the 549 x 470 area when it
                         does not fit (Pillow's bilinear resize), centred on
                         (478, 277), with its drop shadow
  name=TEXT              the file name under the picture, centred on x 438
  counter=TEXT           the counter, its top left at (550, 565)
  rows=SPEC              the album list at (15, 199): rows separated by "|",
                         each "root", "album" or "sub" and ":" and its label;
                         selected=N picks the selected row (default 0)

Text is drawn with FreeType through Pillow in the font fontconfig gives for
the request, placed by the face's Windows ascent as a Windows device context
places it; Pillow sizes fonts in whole pixels only, so the comparison that
reads this model allows a pixel's shift (screen_wait.py's "near").
"""
import struct
import subprocess
import sys
from pathlib import Path

from PIL import Image, ImageDraw, ImageFont

SKIN = Path(__file__).resolve().parents[2] / "resources" / "skin"
AREA_LEFT, AREA_TOP, AREA_WIDTH, AREA_HEIGHT = 204, 42, 549, 470
LIST_LEFT, LIST_TOP, LIST_WIDTH, LIST_HEIGHT, ROW_HEIGHT = 15, 199, 134, 276, 31
LIST_GREY = (0x7A, 0x7A, 0x7A)
TEXT_GREY = (0x40, 0x40, 0x40)
LIGHT_GREY = (0xC0, 0xC0, 0xC0)
BLACK = (0, 0, 0)


def skin(name):
    return Image.open(next(SKIN.glob(name + "_*.jpg"))).convert("RGB")


def font_file(request):
    return subprocess.run(["fc-match", "-f", "%{file}", request], check=True,
                          capture_output=True, text=True).stdout


def windows_metrics(path):
    """unitsPerEm, usWinAscent and usWinDescent from the font's head and OS/2 tables."""
    data = Path(path).read_bytes()
    tables = {}
    count = struct.unpack_from(">H", data, 4)[0]
    for i in range(count):
        tag, _, offset, _ = struct.unpack_from(">4sIII", data, 12 + 16 * i)
        tables[tag] = offset
    units = struct.unpack_from(">H", data, tables[b"head"] + 18)[0]
    ascent, descent = struct.unpack_from(">HH", data, tables[b"OS/2"] + 74)
    return units, ascent, descent


class Face:
    """A font asked as a Windows logical font: a negative height is the
    character (em) height, a positive one the cell (ascent + descent)."""

    def __init__(self, request, height):
        path = font_file(request)
        units, ascent, descent = windows_metrics(path)
        em = -height if height < 0 else height * units / (ascent + descent)
        self.ascent = round(ascent * em / units)
        self.cell = self.ascent + round(descent * em / units)
        self.font = ImageFont.truetype(path, round(em), layout_engine=ImageFont.Layout.BASIC)

    def draw(self, draw, x, top, text, colour, centred=False):
        # A device context lays text out glyph by glyph at the hinted
        # advances, unkerned; centred text starts half its width left of x.
        advances = [self.font.getlength(character) for character in text]
        if centred:
            x -= int(sum(advances)) // 2
        for character, advance in zip(text, advances):
            draw.text((x, top + self.ascent), character, fill=colour, font=self.font, anchor="ls")
            x += advance


def fitted(picture):
    w, h = picture.size
    if w < AREA_WIDTH and h < AREA_HEIGHT:
        return picture
    scale = max(w / AREA_WIDTH, h / AREA_HEIGHT)
    return picture.resize((int(w / scale), int(h / scale)), Image.BILINEAR)


def draw_picture(window, path):
    picture = fitted(Image.open(path).convert("RGB"))
    w, h = picture.size
    x = AREA_LEFT + AREA_WIDTH // 2 - w // 2
    y = AREA_TOP + AREA_HEIGHT // 2 - h // 2
    window.paste(picture, (x, y))
    bottom = skin("154")
    window.paste(bottom.crop((0, 0, min(w, bottom.width), bottom.height)), (x + 4, y + h))
    right = skin("153")
    rows = min(h, right.height)
    # The right shadow is taken upward from the image's second-to-last row.
    strip = right.crop((0, 484 - rows, right.width, 484)).transpose(Image.FLIP_TOP_BOTTOM)
    window.paste(strip, (x + w, y + 3))
    window.paste(skin("155"), (x + w - 6, y + h))


def draw_rows(window, spec, selected):
    draw = ImageDraw.Draw(window)
    draw.rectangle((LIST_LEFT, LIST_TOP, LIST_LEFT + LIST_WIDTH - 1, LIST_TOP + LIST_HEIGHT - 1),
                   fill=LIST_GREY)
    face = Face("Arial:weight=40:slant=0:scalable=true", -12)
    for index, row in enumerate(spec.split("|")):
        kind, label = row.split(":", 1)
        indented = kind == "sub"
        if index == selected:
            image = "151" if indented else "150"
        else:
            image = {"root": "149", "album": "143", "sub": "147"}[kind]
        top = LIST_TOP + index * ROW_HEIGHT
        window.paste(skin(image), (LIST_LEFT, top))
        left = LIST_LEFT + (30 if indented else 10)
        text_top = top + (ROW_HEIGHT - 3 - face.cell) // 2
        shadow, ink = (BLACK, LIGHT_GREY) if index == 0 else (LIGHT_GREY, BLACK)
        # Everything outside the list box is clipped away.
        layer = window.crop((LIST_LEFT, LIST_TOP, LIST_LEFT + LIST_WIDTH, LIST_TOP + LIST_HEIGHT))
        layer_draw = ImageDraw.Draw(layer)
        face.draw(layer_draw, left + 1 - LIST_LEFT, text_top + 1 - LIST_TOP, label, shadow)
        face.draw(layer_draw, left - LIST_LEFT, text_top - LIST_TOP, label, ink)
        window.paste(layer, (LIST_LEFT, LIST_TOP))


def main(argv):
    if len(argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    items = dict(item.split("=", 1) if "=" in item else (item, "") for item in argv[2:])
    window = skin("142")
    if "panel" in items:
        window.paste(skin("161"), (0, 163))
    if "splash" in items:
        window.paste(skin("167"), (290, 200))
    if "rows" in items:
        draw_rows(window, items["rows"], int(items.get("selected", "0")))
    if "picture" in items:
        draw_picture(window, items["picture"])
    draw = ImageDraw.Draw(window)
    if "name" in items or "counter" in items:
        face = Face("sans-serif:weight=80:slant=0:scalable=true", 16)
    if "name" in items:
        face.draw(draw, 438, 565, items["name"], TEXT_GREY, centred=True)
    if "counter" in items:
        face.draw(draw, 550, 565, items["counter"], TEXT_GREY)
    window.save(argv[1])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
