#!/usr/bin/env python3
"""Pillow's decode of a picture turned upright by its EXIF orientation, and
optionally reduced with Lanczos: the reference for the viewer's pictures.

usage: upright_reference.py FILE OUTPUT.ppm [WIDTH HEIGHT]

Writes a binary PPM. With WIDTH HEIGHT the upright picture is resized to
that size with Pillow's Lanczos filter.
"""
import sys

from PIL import Image, ImageOps

path, output = sys.argv[1], sys.argv[2]
with Image.open(path) as picture:
    upright = ImageOps.exif_transpose(picture).convert("RGB")
if len(sys.argv) > 4:
    upright = upright.resize((int(sys.argv[3]), int(sys.argv[4])), Image.LANCZOS)
with open(output, "wb") as out:
    out.write(b"P6\n%d %d\n255\n" % upright.size)
    out.write(upright.tobytes())
