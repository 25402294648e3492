#!/usr/bin/env python3
"""Pillow decodes of many files in one run.

usage: pillow_batch.py [--premultiply | --rgba] OUTDIR FILE...

For each FILE that Pillow decodes, writes OUTDIR/<name>.pil holding
"W H\\n" then the first frame as raw RGB bytes (as refdecode.py does for one
file). With --premultiply, pictures with an alpha channel give their colours
multiplied by alpha (round(c * a / 255)): what an RGBA interface that hands
out associated alpha delivers once the alpha byte is dropped. With --rgba,
the pixels are RGBA (as rgba_decode.py gives them). Files Pillow cannot
decode get no output.
"""
import os
import sys

from PIL import Image

args = sys.argv[1:]
premultiply = bool(args) and args[0] == "--premultiply"
want_rgba = bool(args) and args[0] == "--rgba"
if premultiply or want_rgba:
    args = args[1:]
outdir, paths = args[0], args[1:]

for path in paths:
    try:
        with Image.open(path) as picture:
            picture.load()
            if premultiply and ("A" in picture.mode or "a" in picture.mode):
                straight = picture.convert("RGBA").tobytes()
                rgb = bytearray()
                for i in range(0, len(straight), 4):
                    a = straight[i + 3]
                    rgb += bytes(((straight[i + k] * a + 127) // 255) for k in range(3))
                data = b"%d %d\n" % picture.size + bytes(rgb)
            elif want_rgba:
                pixels = picture.convert("RGBA")
                data = b"%d %d\n" % pixels.size + pixels.tobytes()
            else:
                rgb = picture.convert("RGB")
                data = b"%d %d\n" % rgb.size + rgb.tobytes()
    except Exception:  # any failure of Pillow: no reference
        continue
    with open(os.path.join(outdir, os.path.basename(path) + ".pil"), "wb") as out:
        out.write(data)
