#!/usr/bin/env python3
"""Makes the entries of the end-to-end folder that point elsewhere: a ZIP holding yellow.bmp with
an ArcLink file naming it, and a shell shortcut (.lnk, written by the format's rules) to
magenta.bmp.
  make_links.py <app folder> <Windows path of the zip> <Windows path of the shortcut target>"""
import os
import struct
import sys
import zipfile

app, zip_windows, target_windows = sys.argv[1], sys.argv[2], sys.argv[3]
elsewhere = os.path.join(app, "elsewhere")
with zipfile.ZipFile(os.path.join(elsewhere, "yellow.zip"), "w", zipfile.ZIP_DEFLATED) as z:
    z.write(os.path.join(elsewhere, "yellow.bmp"), "colours/yellow.bmp")
size = os.path.getsize(os.path.join(elsewhere, "yellow.bmp"))
with open(os.path.join(app, "pics", "yellow.ArcLink"), "wb") as f:
    f.write(f"{zip_windows}\r\ncolours\\yellow.bmp\r\n{size}\r\n".encode("cp932"))

# A shell link with a LinkInfo block holding the local base path.
clsid = bytes.fromhex("0114020000000000c000000000000046")
header = struct.pack("<I16sIIQQQIIIHHII", 0x4C, clsid, 0x02, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0)
volume = struct.pack("<IIII", 0x11, 3, 0, 0x10) + b"\0"
base = target_windows.encode("cp932") + b"\0"
suffix = b"\0"
info_header = 0x1C
volume_offset = info_header
base_offset = volume_offset + len(volume)
suffix_offset = base_offset + len(base)
info_size = suffix_offset + len(suffix)
link_info = struct.pack("<IIIIIII", info_size, info_header, 1, volume_offset, base_offset, 0,
                        suffix_offset) + volume + base + suffix
with open(os.path.join(app, "pics", "magenta.lnk"), "wb") as f:
    f.write(header + link_info + b"\0\0\0\0")
