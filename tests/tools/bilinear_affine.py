#!/usr/bin/env python3
"""Corner-anchored bilinear resampling by Pillow, for comparison with the scaler.

Usage: bilinear_affine.py INPUT.ppm WIDTH HEIGHT OUTPUT.ppm

Pillow's affine transform samples output pixel centres and interpolates
between input pixel centres; the coefficients below shift both so that output
pixel (x, y) samples input position (x * sw / dw, y * sh / dh), measured from
the first pixel, which is how the scaler places its samples.
"""
import sys

from PIL import Image

source = Image.open(sys.argv[1]).convert("RGB")
width, height = int(sys.argv[2]), int(sys.argv[3])
sw, sh = source.size
rx, ry = sw / width, sh / height
coefficients = (rx, 0.0, 0.5 - 0.5 * rx, 0.0, ry, 0.5 - 0.5 * ry)
result = source.transform((width, height), Image.AFFINE, coefficients, resample=Image.BILINEAR)
result.save(sys.argv[4])
