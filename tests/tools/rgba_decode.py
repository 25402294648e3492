#!/usr/bin/env python3
"""Pillow decode of a picture's first frame: prints "W H\n", then the raw
pixels as RGBA (default) or RGB (second argument "rgb")."""
import sys

from PIL import Image

with Image.open(sys.argv[1]) as picture:
    picture.load()
    mode = "RGB" if len(sys.argv) > 2 and sys.argv[2] == "rgb" else "RGBA"
    pixels = picture.convert(mode)
    sys.stdout.buffer.write(b"%d %d\n" % pixels.size)
    sys.stdout.buffer.write(pixels.tobytes())
