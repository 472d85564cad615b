#!/usr/bin/env python3
"""Writes a large RGB PNG row by row without holding it: a gradient, red across and green down.
  make_large_png.py <path> <width> <height> [--header-only]
With --header-only the image data is a token few rows: a file that claims its size but is cheap
to make, for the pictures a reader must refuse by their size alone."""
import struct
import sys
import zlib


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def main():
    path, width, height = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    header_only = "--header-only" in sys.argv[4:]
    deflate = zlib.compressobj(6)
    across = bytes((x * 255) // width for x in range(width))
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        pending = b""
        for y in range(4 if header_only else height):
            row = bytearray(1 + 3 * width)
            row[1::3] = across
            row[2::3] = bytes([(y * 255) // height]) * width
            row[3::3] = bytes([128]) * width
            pending += deflate.compress(bytes(row))
            if len(pending) > 1 << 20:
                out.write(chunk(b"IDAT", pending))
                pending = b""
        out.write(chunk(b"IDAT", pending + deflate.flush()) + chunk(b"IEND", b""))


main()
