#!/usr/bin/env python3
"""What a written picture file holds, as a peer reads it.

usage: describe_picture.py FILE

Prints one line "FORMAT WIDTH HEIGHT BITS PALETTE TRANSPARENT" and then the
first frame as raw RGB bytes, decoded by Pillow. BITS is the bits per pixel
the file's header declares (BMP biBitCount, PNG bit depth times channels,
GIF bits of the colour table, JPEG 8 times components); PALETTE is the number
of colour-table entries the file carries (0 without one); TRANSPARENT is 1
when the file marks a transparent colour. Exits 1 when Pillow cannot read it.
"""
import struct
import sys

from PIL import Image

path = sys.argv[1]
with open(path, "rb") as handle:
    data = handle.read()

try:
    picture = Image.open(path)
    picture.load()
except Exception:  # any failure of Pillow: no description
    sys.exit(1)

bits = palette = 0
transparent = 1 if "transparency" in picture.info else 0
if picture.format == "BMP":
    bits = struct.unpack_from("<H", data, 28)[0]
    used = struct.unpack_from("<I", data, 46)[0]
    palette = used if used else (1 << bits if bits <= 8 else 0)
elif picture.format == "PNG":
    depth, color_type = data[24], data[25]
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[color_type]
    bits = depth * channels
    offset = 8
    while offset + 8 <= len(data):
        length, kind = struct.unpack_from(">I4s", data, offset)
        if kind == b"PLTE":
            palette = length // 3
        if kind == b"tRNS":
            transparent = 1
        offset += 12 + length
elif picture.format == "GIF":
    flags = data[10]
    if flags & 0x80:
        bits = (flags & 7) + 1
        palette = 1 << bits
elif picture.format == "JPEG":
    bits = 8 * len(picture.getbands())

rgb = picture.convert("RGB")
sys.stdout.buffer.write(b"%s %d %d %d %d %d\n" % (picture.format.encode(), rgb.size[0], rgb.size[1],
                                                   bits, palette, transparent))
sys.stdout.buffer.write(rgb.tobytes())
