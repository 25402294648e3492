#!/usr/bin/env python3
"""Records the X pointer's cursor for a while (XFixes, the display named by DISPLAY).

cursor_watch.py SECONDS OUT_FILE

Samples the cursor every 5 ms and writes one line to OUT_FILE when done:
"FIRST LAST CHANGED", the first and last cursor's serial numbers and 1 when
any sample differed from the first (0 otherwise). Exits 1 when the display
cannot be read.
"""
import ctypes
import ctypes.util
import sys
import time


class CursorImage(ctypes.Structure):
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short),
                ("width", ctypes.c_ushort), ("height", ctypes.c_ushort),
                ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort),
                ("cursor_serial", ctypes.c_ulong), ("pixels", ctypes.c_void_p),
                ("atom", ctypes.c_ulong), ("name", ctypes.c_char_p)]


def main(argv):
    x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
    xfixes = ctypes.CDLL(ctypes.util.find_library("Xfixes"))
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XFree.argtypes = [ctypes.c_void_p]
    xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(CursorImage)
    xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(None)
    if not display:
        return 1
    deadline = time.monotonic() + float(argv[1])
    first = last = None
    changed = 0
    while time.monotonic() < deadline:
        image = xfixes.XFixesGetCursorImage(display)
        if image:
            last = image.contents.cursor_serial
            x11.XFree(image)
            if first is None:
                first = last
            elif last != first:
                changed = 1
        time.sleep(0.005)
    if first is None:
        return 1
    with open(argv[2], "w") as out:
        out.write("%d %d %d\n" % (first, last, changed))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
