#!/usr/bin/env python3
"""Expected result of the Pelorn PNG reader, from a PNG decode of our own.

usage: png_expected.py DISPLAY_GAMMA OUTDIR FILE...

Decodes each PNG here (zlib, unfiltering, Adam7, every colour type and bit
depth; no libpng) and applies the reader's rules to the raw samples:
palette and low-bit grey expanded, grey to RGB, alpha/tRNS composited onto
the file's bKGD (given in file gamma) or onto black (in screen terms),
16-bit samples cut to their high byte, and gamma corrected with exponent
1 / (file gamma x display gamma) when the file has a gAMA chunk and the
product is not within 0.05 of 1. The file gamma comes from the gAMA chunk
alone: an sRGB or iCCP chunk without gAMA means no correction, and a file
with gAMA and sRGB keeps its gAMA value.

Without gamma correction the result follows libpng's integer compositing
exactly ("exact"); with it the ideal floating-point value is written
("gamma"), followed by a lower and an upper bound per byte that allow for the
precision of libpng's gamma tables.
Files that cannot be decoded are skipped ("skip").

For each FILE writes OUTDIR/<name>.rgb: "W H KIND\n" then W*H*3 bytes
(for "gamma" three such planes: ideal, lower bound, upper bound).
"""
import os
import struct
import sys
import zlib

ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]
CHANNELS = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}
MAX_SAMPLES = 3_000_000


class Skip(Exception):
    pass


def chunks(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise Skip("signature")
    pos = 8
    while pos + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if len(body) != length:
            raise Skip("truncated")
        if zlib.crc32(kind + body) != struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])[0]:
            raise Skip("crc")
        yield kind, body
        pos += 12 + length
        if kind == b"IEND":
            return
    raise Skip("no IEND")


def unfilter(raw, offset, width, height, bpp_bits, channels):
    """Returns (rows of bytes, new offset)."""
    stride = (width * bpp_bits + 7) // 8
    bpp = max(1, bpp_bits // 8)
    rows = []
    prior = bytearray(stride)
    for _ in range(height):
        filt = raw[offset]
        line = bytearray(raw[offset + 1:offset + 1 + stride])
        if len(line) != stride:
            raise Skip("short data")
        offset += 1 + stride
        if filt == 1:
            for i in range(bpp, stride):
                line[i] = (line[i] + line[i - bpp]) & 255
        elif filt == 2:
            for i in range(stride):
                line[i] = (line[i] + prior[i]) & 255
        elif filt == 3:
            for i in range(stride):
                left = line[i - bpp] if i >= bpp else 0
                line[i] = (line[i] + ((left + prior[i]) >> 1)) & 255
        elif filt == 4:
            for i in range(stride):
                a = line[i - bpp] if i >= bpp else 0
                b = prior[i]
                c = prior[i - bpp] if i >= bpp else 0
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 255
        elif filt != 0:
            raise Skip("filter")
        rows.append(line)
        prior = line
    return rows, offset


def samples_of(line, width, depth, channels):
    count = width * channels
    if depth == 8:
        return list(line[:count])
    if depth == 16:
        return [(line[2 * i] << 8) | line[2 * i + 1] for i in range(count)]
    out = []
    per_byte = 8 // depth
    mask = (1 << depth) - 1
    for i in range(count):
        byte = line[i // per_byte]
        shift = 8 - depth * (i % per_byte + 1)
        out.append((byte >> shift) & mask)
    return out


def decode(data):
    info = {"text": []}
    idat = bytearray()
    for kind, body in chunks(data):
        if kind == b"IHDR":
            w, h, depth, ctype, comp, filt, inter = struct.unpack(">IIBBBBB", body)
            info.update(w=w, h=h, depth=depth, ctype=ctype, interlace=inter)
        elif kind == b"PLTE":
            info["plte"] = [tuple(body[i:i + 3]) for i in range(0, len(body) - 2, 3)]
        elif kind == b"tRNS":
            info["trns"] = body
        elif kind == b"bKGD":
            info["bkgd"] = body
        elif kind == b"gAMA" and len(body) == 4 and not idat and "gama" not in info:
            # The first gAMA before the picture data with a value in libpng's
            # range; others are passed over.
            value = struct.unpack(">I", body)[0]
            if 16 <= value <= 625000000:
                info["gama"] = value
        elif kind == b"IDAT":
            idat += body
    w, h, depth, ctype = info["w"], info["h"], info["depth"], info["ctype"]
    if ctype not in CHANNELS or w * h > MAX_SAMPLES:
        raise Skip("type or size")
    channels = CHANNELS[ctype]
    raw = zlib.decompressobj().decompress(bytes(idat))
    pixels = [None] * (w * h)
    if info["interlace"]:
        offset = 0
        for x0, y0, dx, dy in ADAM7:
            pw = (w - x0 + dx - 1) // dx if w > x0 else 0
            ph = (h - y0 + dy - 1) // dy if h > y0 else 0
            if pw == 0 or ph == 0:
                continue
            rows, offset = unfilter(raw, offset, pw, ph, depth * channels, channels)
            for j, line in enumerate(rows):
                s = samples_of(line, pw, depth, channels)
                for i in range(pw):
                    pixels[(y0 + j * dy) * w + x0 + i * dx] = s[i * channels:(i + 1) * channels]
    else:
        rows, _ = unfilter(raw, 0, w, h, depth * channels, channels)
        for j, line in enumerate(rows):
            s = samples_of(line, w, depth, channels)
            for i in range(w):
                pixels[j * w + i] = s[i * channels:(i + 1) * channels]
    return info, pixels


def file_gamma(info):
    """The gAMA chunk's value (gamma x 100000), or None without one."""
    return info.get("gama")


def composite8(fg, alpha, bg):
    temp = fg * alpha + bg * (255 - alpha) + 128
    return (temp + (temp >> 8)) >> 8


def composite16(fg, alpha, bg):
    temp = fg * alpha + bg * (65535 - alpha) + 32768
    return (temp + (temp >> 16)) >> 16


def expected(info, pixels, display_gamma):
    depth, ctype = info["depth"], info["ctype"]
    plte = info.get("plte", [])
    trns = info.get("trns")
    # Working depth after expansion: palette and low-bit grey become 8 bits.
    work = 16 if depth == 16 else 8
    top = (1 << work) - 1
    scale = top // ((1 << depth) - 1) if ctype in (0, 4) and depth < 8 else 1

    def colour_alpha(px):
        """(r, g, b, alpha) at the working depth."""
        if ctype == 3:
            index = px[0]
            r, g, b = plte[index] if index < len(plte) else (0, 0, 0)
            alpha = trns[index] if trns is not None and index < len(trns) else 255
            return r, g, b, alpha
        if ctype == 0:
            v = px[0]
            alpha = top
            # libpng masks the tRNS level to the bit depth (a 1-bit file with
            # tRNS 255 makes its white pixels transparent, as Pillow does too).
            if trns is not None and len(trns) >= 2 and v == struct.unpack(">H", trns[:2])[0] & (top if depth == 16 else (1 << depth) - 1):
                alpha = 0
            return v * scale, v * scale, v * scale, alpha
        if ctype == 4:
            return px[0], px[0], px[0], px[1]
        if ctype == 2:
            alpha = top
            if trns is not None and len(trns) >= 6 and tuple(px) == struct.unpack(">HHH", trns[:6]):
                alpha = 0
            return px[0], px[1], px[2], alpha
        return px[0], px[1], px[2], px[3]

    bkgd = info.get("bkgd")
    if bkgd is not None:
        if ctype == 3:
            r, g, b = plte[bkgd[0]] if bkgd[0] < len(plte) else (0, 0, 0)
            background = (r, g, b)
        elif ctype in (0, 4):
            v = struct.unpack(">H", bkgd[:2])[0] * scale
            background = (v, v, v)
        else:
            background = struct.unpack(">HHH", bkgd[:6])
    else:
        background = (0, 0, 0)

    g = file_gamma(info)
    gamma_on = g is not None and abs(g * display_gamma / 100000.0 - 1.0) >= 0.05
    def corrected(fg, alpha, bg):
        """(ideal, lower bound, upper bound) of one gamma-corrected sample."""
        fgamma = g / 100000.0
        a = alpha / top
        # libpng works through tables: 16-bit samples index them by their
        # high byte, and partly transparent pixels are composited as linear
        # values of table precision (about 8 bits). The bounds are the ideal
        # result over that quantisation step, +-1.
        step = 1.0 / 256 if work == 16 else 0.0
        linear_step = 1.5 / 256
        values = []
        for ds in (-step, 0.0, step):
            s = min(1.0, max(0.0, fg / top + ds))
            bn = min(1.0, max(0.0, bg / top + ds))
            if alpha == top:
                values.append(s ** (1.0 / (fgamma * display_gamma)))
            elif alpha == 0:
                values.append(bn ** (1.0 / (fgamma * display_gamma)) if bkgd is not None else bn)
            else:
                linear_bg = bn ** (1.0 / fgamma) if bkgd is not None else bn ** display_gamma
                linear = a * s ** (1.0 / fgamma) + (1 - a) * linear_bg
                for dl in (-linear_step, 0.0, linear_step):
                    values.append(min(1.0, max(0.0, linear + dl)) ** (1.0 / display_gamma))
        ideal = values[len(values) // 2]
        return (min(255, int(ideal * 255 + 0.5)), max(0, int(min(values) * 255 + 0.5) - 1),
                min(255, int(max(values) * 255 + 0.5) + 1))

    memo = {}
    out, low, high = bytearray(), bytearray(), bytearray()
    for px in pixels:
        r, gr, b, alpha = colour_alpha(px)
        for fg, bg in ((r, background[0]), (gr, background[1]), (b, background[2])):
            if not gamma_on:
                if alpha == top:
                    v = fg
                elif alpha == 0:
                    v = bg
                else:
                    v = composite16(fg, alpha, bg) if work == 16 else composite8(fg, alpha, bg)
                out.append(v >> 8 if work == 16 else v)
                continue
            key = (fg, alpha, bg)
            if key not in memo:
                memo[key] = corrected(fg, alpha, bg)
            ideal, lo, hi = memo[key]
            out.append(ideal)
            low.append(lo)
            high.append(hi)
    if not gamma_on:
        return out, "exact"
    return out + low + high, "gamma"

def main():
    display_gamma = float(sys.argv[1])
    outdir = sys.argv[2]
    for path in sys.argv[3:]:
        name = os.path.basename(path)
        target = os.path.join(outdir, name + ".rgb")
        try:
            with open(path, "rb") as f:
                data = f.read()
            info, pixels = decode(data)
            rgb, kind = expected(info, pixels, display_gamma)
            with open(target, "wb") as f:
                f.write(b"%d %d %s\n" % (info["w"], info["h"], kind.encode()))
                f.write(bytes(rgb))
        except (Skip, zlib.error, KeyError, IndexError, struct.error, TypeError) as reason:
            with open(target, "wb") as f:
                f.write(b"0 0 skip\n")


if __name__ == "__main__":
    main()
