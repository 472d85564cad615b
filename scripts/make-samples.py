#!/usr/bin/env python3
"""Writes a folder of sample pictures (24-bit BMP files) for `make run`: colour gradients with
a few shapes, made here so that the project needs no picture from elsewhere."""
import math
import os
import struct
import sys


def bmp(width, height, pixel):
    row = (width * 3 + 3) & ~3
    data = bytearray()
    for y in range(height - 1, -1, -1):
        line = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            line += bytes((b, g, r))
        line += b"\0" * (row - len(line))
        data += line
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return header + info + data


def sunset(x, y, w, h):
    t = y / h
    sun = math.hypot(x - w * 0.7, y - h * 0.62) < h * 0.12
    if sun:
        return 255, 220, 120
    if y > h * 0.7:
        return 20, 30 + int(40 * t), 70
    return int(250 - 120 * t), int(120 - 60 * t), int(80 + 100 * t)


def sea(x, y, w, h):
    wave = math.sin(x / 40 + y / 17) * 20
    return 10, int(90 + wave + 60 * y / h), int(160 + wave)


def forest(x, y, w, h):
    tree = (x % 128) < 64 and y > h * 0.4 + abs((x % 128) - 32) * 3
    if tree:
        return 20, 90, 40
    return 170, int(200 - 80 * y / h), 230


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    w, h = 1280, 800  # the Wine desktop's size: each sample fills it
    for name, fn in (("夕焼け.bmp", sunset), ("海.bmp", sea), ("森.bmp", forest)):
        path = os.path.join(out, name)
        if not os.path.exists(path):
            with open(path, "wb") as f:
                f.write(bmp(w, h, lambda x, y, fn=fn: fn(x, y, w, h)))


if __name__ == "__main__":
    main()
