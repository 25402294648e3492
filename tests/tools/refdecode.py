#!/usr/bin/env python3
"""Reference decode with Pillow: prints "W H\n" then raw RGB bytes (first frame)."""
import sys

from PIL import Image

with Image.open(sys.argv[1]) as picture:
    picture.load()
    rgb = picture.convert("RGB")
    sys.stdout.buffer.write(b"%d %d\n" % rgb.size)
    sys.stdout.buffer.write(rgb.tobytes())
