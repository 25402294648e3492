#!/usr/bin/env python3
"""Writes a smooth test picture with Pillow.

usage: make_picture.py WIDTH HEIGHT FORMAT OUTPUT

FORMAT is a Pillow format name (JPEG, PNG, BMP, GIF, TIFF, TGA, PCX). The
picture is red rising left to right, green rising top to bottom and blue a
radial ramp: smooth enough that bilinear shrinking by different programs
agrees within a level, varied enough that a shifted or mirrored picture shows.
"""
import sys

from PIL import Image

width, height, kind, output = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3], sys.argv[4]
ramp = Image.linear_gradient("L")  # 256 x 256, black at the top
red = ramp.rotate(90, expand=True).resize((width, height))
green = ramp.resize((width, height))
blue = Image.radial_gradient("L").resize((width, height))
picture = Image.merge("RGB", (red, green, blue))
options = {"quality": 95} if kind == "JPEG" else {}
picture.save(output, kind, **options)
