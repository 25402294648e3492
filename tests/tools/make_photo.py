#!/usr/bin/env python3
"""Writes a JPEG with Pillow, with its EXIF orientation tag set.

usage: make_photo.py KIND WIDTH HEIGHT ORIENTATION OUTPUT

KIND "quadrants": four flat quarters, red top left, green top right, blue
bottom left, white bottom right, so that every turn and mirror of the stored
picture puts a different colour in each corner.
KIND "photo": what a camera gives, made from a fixed seed: soft gradients,
overlapping shapes with sharp edges, fine texture and sensor noise, slightly
blurred as a lens would.
ORIENTATION 1-8 is written as EXIF tag 0x0112; 0 writes no EXIF block.
"""
import random
import sys

from PIL import Image, ImageDraw, ImageFilter

kind, width, height, orientation, output = (
    sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), sys.argv[5])

if kind == "quadrants":
    picture = Image.new("RGB", (width, height), (255, 255, 255))
    draw = ImageDraw.Draw(picture)
    half_w, half_h = width // 2, height // 2
    draw.rectangle((0, 0, half_w - 1, half_h - 1), fill=(255, 0, 0))
    draw.rectangle((half_w, 0, width - 1, half_h - 1), fill=(0, 255, 0))
    draw.rectangle((0, half_h, half_w - 1, height - 1), fill=(0, 0, 255))
else:
    rng = random.Random(14)
    ramp = Image.linear_gradient("L")
    picture = Image.merge("RGB", (
        ramp.rotate(90, expand=True).resize((width, height)),
        ramp.resize((width, height)),
        Image.radial_gradient("L").resize((width, height))))
    draw = ImageDraw.Draw(picture)
    for _ in range(60):
        x, y = rng.randrange(width), rng.randrange(height)
        r = rng.randrange(max(2, width // 40), max(3, width // 6))
        colour = tuple(rng.randrange(256) for _ in range(3))
        if rng.random() < 0.5:
            draw.ellipse((x - r, y - r, x + r, y + r), fill=colour)
        else:
            draw.line((x, y, x + r, y + r // 2), fill=colour, width=max(1, r // 10))
    noise = Image.effect_noise((width, height), 24).convert("RGB")
    picture = Image.blend(picture, noise, 0.12).filter(ImageFilter.GaussianBlur(0.8))

options = {"quality": 92}
if orientation:
    exif = Image.Exif()
    exif[0x0112] = orientation
    options["exif"] = exif
picture.save(output, "JPEG", **options)
