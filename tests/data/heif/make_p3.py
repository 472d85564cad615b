#!/usr/bin/env python3
"""Writes a Display P3 ICC profile (version 2, matrix and shaper): the P3 primaries adapted to
D50 as in the profile Apple's phones embed, and the sRGB tone curve.  make_p3.py OUT.icc"""
import struct
import sys


def s15(v):
    return struct.pack(">i", round(v * 65536))


def xyz(x, y, z):
    return b"XYZ " + bytes(4) + s15(x) + s15(y) + s15(z)


def text(t):
    return b"desc" + bytes(4) + struct.pack(">I", len(t) + 1) + t + b"\0" + bytes(12) + bytes(67)


# The sRGB curve: linear below 0.04045, else ((v + 0.055) / 1.055) ^ 2.4, sampled.
curve = [round(65535 * (v / 12.92 if v <= 0.04045 else ((v + 0.055) / 1.055) ** 2.4))
         for v in (i / 1023 for i in range(1024))]
trc = b"curv" + bytes(4) + struct.pack(">I", len(curve)) + b"".join(struct.pack(">H", c) for c in curve)
tags = [(b"desc", text(b"Display P3")), (b"wtpt", xyz(0.9642, 1.0, 0.8249)),
        (b"rXYZ", xyz(0.5151, 0.2412, -0.0011)), (b"gXYZ", xyz(0.2919, 0.6922, 0.0419)),
        (b"bXYZ", xyz(0.1572, 0.0666, 0.7841)), (b"rTRC", trc), (b"gTRC", trc), (b"bTRC", trc),
        (b"cprt", b"text" + bytes(4) + b"No copyright, use freely\0")]
table, data = b"", b""
start = 128 + 4 + 12 * len(tags)
for sig, body in tags:
    while len(body) % 4:
        body += b"\0"
    table += sig + struct.pack(">II", start + len(data), len(body))
    data += body
size = start + len(data)
header = struct.pack(">I4sI4s4s4s", size, b"none", 0x02100000, b"mntr", b"RGB ", b"XYZ ")
header += bytes(12) + b"acsp" + b"APPL" + bytes(4) + bytes(8) + bytes(8) + bytes(4)
header += s15(0.9642) + s15(1.0) + s15(0.8249) + bytes(4) + bytes(16) + bytes(28)
assert len(header) == 128
open(sys.argv[1], "wb").write(header + struct.pack(">I", len(tags)) + table + data)
