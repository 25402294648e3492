#!/usr/bin/env python3
"""Sets the X resources of the display named by DISPLAY, as xrdb would.

x_resources.py TEXT

Replaces the root window's RESOURCE_MANAGER property with TEXT (lines such
as "Xft.dpi:\\t144"), through libX11 itself, so that no X tool beyond the
library every X program has is needed. Exits 0 when set, 1 when the display
cannot be opened.
"""
import ctypes
import sys

XA_STRING = 31
PROP_MODE_REPLACE = 0


def main(argv):
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XDefaultRootWindow.restype = ctypes.c_ulong
    x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XChangeProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong,
                                    ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                    ctypes.c_char_p, ctypes.c_int]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(None)
    if not display:
        return 1
    text = argv[1].encode()
    atom = x11.XInternAtom(display, b"RESOURCE_MANAGER", 0)
    x11.XChangeProperty(display, x11.XDefaultRootWindow(display), atom, XA_STRING, 8,
                        PROP_MODE_REPLACE, text, len(text))
    x11.XCloseDisplay(display)  # flushes the request
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
