#!/usr/bin/env python3
"""Pillow decodes of many files in one run: pillow_batch.py OUTDIR FILE...

For each FILE that Pillow decodes, writes OUTDIR/<name>.pil holding
"W H\\n" then the first frame as raw RGB bytes (as refdecode.py does for one
file). Files Pillow cannot decode get no output.
"""
import os
import sys

from PIL import Image

for path in sys.argv[2:]:
    try:
        with Image.open(path) as picture:
            picture.load()
            rgb = picture.convert("RGB")
            data = b"%d %d\n" % rgb.size + rgb.tobytes()
    except Exception:  # any failure of Pillow: no reference
        continue
    with open(os.path.join(sys.argv[1], os.path.basename(path) + ".pil"), "wb") as out:
        out.write(data)
