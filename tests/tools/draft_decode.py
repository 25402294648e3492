#!/usr/bin/env python3
"""Pillow's JPEG decode at a DCT scale: libjpeg's 1/K decoding (Pillow's
draft mode), as stored (no EXIF turn), written as a binary PPM.

usage: draft_decode.py FILE K OUTPUT.ppm
"""
import sys

from PIL import Image

path, k, output = sys.argv[1], int(sys.argv[2]), sys.argv[3]
with Image.open(path) as picture:
    width, height = picture.size
    picture.draft("RGB", (width // k, height // k))
    rgb = picture.convert("RGB")
with open(output, "wb") as out:
    out.write(b"P6\n%d %d\n255\n" % rgb.size)
    out.write(rgb.tobytes())
