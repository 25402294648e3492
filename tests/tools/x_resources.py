#!/usr/bin/env python3
"""x_resources.py TEXT: sets the X resources (RESOURCE_MANAGER) of the display
named by DISPLAY to TEXT, as xrdb would, through libX11 itself."""
import ctypes
import sys

x11 = ctypes.CDLL("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XInternAtom.restype = ctypes.c_ulong
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x11.XChangeProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_ulong,
                                ctypes.c_int, ctypes.c_int, ctypes.c_char_p, ctypes.c_int]
x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
display = x11.XOpenDisplay(None)
if not display:
    sys.exit(1)
text = sys.argv[1].encode()
XA_STRING, PROP_MODE_REPLACE = 31, 0
x11.XChangeProperty(display, x11.XDefaultRootWindow(display),
                    x11.XInternAtom(display, b"RESOURCE_MANAGER", 0), XA_STRING, 8,
                    PROP_MODE_REPLACE, text, len(text))
x11.XCloseDisplay(display)  # flushes the request
