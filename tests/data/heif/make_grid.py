#!/usr/bin/env python3
"""Assembles a HEIC file as an iPhone writes its photos, from single pictures of heif-enc: a
grid of HEVC tiles (each tile a hidden item with its own decoder configuration), cropped to an
output size smaller than the tiles cover, turned by an `irot` property, with an ICC profile in
a `colr` property. Only the structure is ours; every coded tile is heif-enc's.
  make_grid.py OUT.heic WIDTH HEIGHT ROTATION ICC TILE.heic...   (tiles row by row)
GRID_COLUMNS (2 by default) and GRID_TILE (the tiles' side, 64 by default) shape the grid.
"""
import os
import struct
import sys


def box(kind, payload):
    return struct.pack(">I4s", 8 + len(payload), kind) + payload


def full_box(kind, version, flags, payload):
    return box(kind, struct.pack(">I", version << 24 | flags) + payload)


def children(data, start, end):
    """(type, payload start, box end) of each box between start and end."""
    at = start
    while at < end:
        size, kind = struct.unpack(">I4s", data[at:at + 8])
        yield kind, at + 8, at + size
        at += size


def read_tile(path):
    """The hvcC box and the coded data of a heif-enc file holding one HEVC picture."""
    data = open(path, "rb").read()
    for kind, start, end in children(data, 0, len(data)):
        if kind != b"meta":
            continue
        for inner, s, e in children(data, start + 4, end):
            if inner == b"iprp":
                for ipco, s2, e2 in children(data, s, e):
                    if ipco == b"ipco":
                        for prop, s3, e3 in children(data, s2, e2):
                            if prop == b"hvcC":
                                hvcc = data[s3 - 8:e3]
            if inner == b"iloc":
                payload = data[s:e]
                version = payload[0]
                sizes = payload[4] << 8 | payload[5]
                assert version == 0 and sizes == 0x4440, "unexpected iloc layout"
                count = struct.unpack(">H", payload[6:8])[0]
                assert count == 1, "one item expected"
                _, _, base, extents, offset, length = struct.unpack(">HHIHII", payload[8:26])
                assert extents == 1
                coded = data[base + offset:base + offset + length]
    return hvcc, coded


def main():
    out, width, height, rotation, icc_path = sys.argv[1:6]
    tiles = [read_tile(p) for p in sys.argv[6:]]
    columns = int(os.environ.get("GRID_COLUMNS", "2"))
    assert len(tiles) % columns == 0 and len(tiles) + 5 < 128
    rows = len(tiles) // columns
    icc = open(icc_path, "rb").read()
    tile_w = tile_h = int(os.environ.get("GRID_TILE", "64"))
    grid_id, tile_ids = 1, list(range(2, 2 + len(tiles)))
    # Properties, 1-based: tile configurations, tile size, grid size, rotation, profile, depth.
    props = [hvcc for hvcc, _ in tiles]
    props.append(full_box(b"ispe", 0, 0, struct.pack(">II", tile_w, tile_h)))
    props.append(full_box(b"ispe", 0, 0, struct.pack(">II", int(width), int(height))))
    props.append(box(b"irot", bytes([int(rotation) & 3])))
    props.append(box(b"colr", b"prof" + icc))
    props.append(full_box(b"pixi", 0, 0, bytes([3, 8, 8, 8])))
    tile_ispe, grid_ispe, irot, colr, pixi = range(len(tiles) + 1, len(tiles) + 6)
    ipma = struct.pack(">I", 1 + len(tiles))
    ipma += struct.pack(">HB", grid_id, 4) + bytes([grid_ispe, 0x80 | irot, colr, pixi])
    for i, item in enumerate(tile_ids):
        ipma += struct.pack(">HB", item, 3) + bytes([0x80 | (i + 1), tile_ispe, pixi])
    iprp = box(b"iprp", box(b"ipco", b"".join(props)) + full_box(b"ipma", 0, 0, ipma))
    infe = [full_box(b"infe", 2, 0, struct.pack(">HH4s", grid_id, 0, b"grid") + b"\0")]
    infe += [full_box(b"infe", 2, 1, struct.pack(">HH4s", i, 0, b"hvc1") + b"\0") for i in tile_ids]
    iinf = full_box(b"iinf", 0, 0, struct.pack(">H", len(infe)) + b"".join(infe))
    iref = full_box(b"iref", 0, 0, box(b"dimg", struct.pack(">HH", grid_id, len(tiles)) +
                                       b"".join(struct.pack(">H", i) for i in tile_ids)))
    grid = struct.pack(">BBBBHH", 0, 0, rows - 1, columns - 1, int(width), int(height))
    blobs = [grid] + [coded for _, coded in tiles]
    items = [grid_id] + tile_ids
    hdlr = full_box(b"hdlr", 0, 0, struct.pack(">I4s", 0, b"pict") + bytes(12) + b"\0")
    pitm = full_box(b"pitm", 0, 0, struct.pack(">H", grid_id))
    ftyp = box(b"ftyp", b"heic" + struct.pack(">I", 0) + b"mif1heicmiaf")

    def iloc(offsets):
        entries = b"".join(struct.pack(">HHIHII", item, 0, 0, 1, off, len(blob))
                           for item, off, blob in zip(items, offsets, blobs))
        return full_box(b"iloc", 0, 0, bytes([0x44, 0x40]) + struct.pack(">H", len(items)) + entries)

    def meta(offsets):
        return full_box(b"meta", 0, 0, hdlr + pitm + iloc(offsets) + iinf + iref + iprp)

    head = len(ftyp) + len(meta([0] * len(items))) + 8  # the mdat's header
    offsets, at = [], head
    for blob in blobs:
        offsets.append(at)
        at += len(blob)
    with open(out, "wb") as f:
        f.write(ftyp + meta(offsets) + box(b"mdat", b"".join(blobs)))


main()
