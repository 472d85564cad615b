#!/usr/bin/env python3
"""Draws the program's icon (a small framed landscape in the panel's colours) at 16, 24, 32 and
48 pixels and writes it as a Windows .ico with 32-bit images.
    scripts/make-icon.py app/res/Vesko2.ico"""
import struct
import sys

FRAME = (210, 228, 244)  # blue, green, red: the panel colour RGB(244, 228, 210)
EDGE = (64, 80, 96)


def pixel(x, y, n):
    """Colour (b, g, r, a) at the centre of pixel (x, y) of an n x n icon, top row first."""
    u = (x + 0.5) / n
    v = (y + 0.5) / n
    border = 1.5 / n if n <= 16 else 2.0 / n
    if u < 0.06 or u > 0.94 or v < 0.12 or v > 0.88:
        return (0, 0, 0, 0)
    if u < 0.06 + 1.0 / n or u > 0.94 - 1.0 / n or v < 0.12 + 1.0 / n or v > 0.88 - 1.0 / n:
        return EDGE + (255,)
    if u < 0.06 + border + 1.0 / n or u > 0.94 - border - 1.0 / n or \
            v < 0.12 + border + 1.0 / n or v > 0.88 - border - 1.0 / n:
        return FRAME + (255,)
    # Inside the frame: sky, sun, two hills.
    if (u - 0.68) ** 2 + (v - 0.36) ** 2 < 0.011:
        return (60, 200, 250, 255)
    hill1 = 0.62 + 0.18 * ((u - 0.30) / 0.45) ** 2
    hill2 = 0.70 + 0.12 * ((u - 0.78) / 0.35) ** 2
    if v > min(hill1, hill2):
        return (60, 150, 70, 255) if v > hill2 and hill2 < hill1 else (40, 120, 50, 255)
    t = (v - 0.12) / 0.76
    return (int(235 - 40 * t), int(190 - 30 * t), int(120 - 40 * t), 255)


def image(n):
    rows = []
    for y in reversed(range(n)):  # bottom-up
        rows.append(b"".join(struct.pack("4B", *pixel(x, y, n)) for x in range(n)))
    xor = b"".join(rows)
    mask_row = ((n + 31) // 32) * 4
    and_mask = bytes(mask_row * n)  # the alpha channel decides; the mask shows all
    header = struct.pack("<IiiHHIIiiII", 40, n, n * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0,
                         0, 0)
    return header + xor + and_mask


def main():
    sizes = [16, 24, 32, 48]
    images = [image(n) for n in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for n, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", n, n, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


main()
