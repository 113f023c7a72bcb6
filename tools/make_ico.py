#!/usr/bin/env python3
"""Writes res/windows/sentrel.ico, the Windows program icon, from the committed PNG icons.

Each image is stored as PNG inside the ICO container (Windows Vista and later read that),
so no image library is needed: 16, 32 and 48 pixels from the main frame's icon, 256 from
the application icon.
"""
import os
import struct

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SOURCES = ["res/ico128_16.png", "res/ico128_32.png", "res/ico128_48.png", "res/icons/sentrel_256.png"]


def png_size(data):
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    return struct.unpack(">II", data[16:24])


def main():
    images = [open(os.path.join(ROOT, p), "rb").read() for p in SOURCES]
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, blobs = b"", b""
    for data in images:
        w, h = png_size(data)
        entries += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
        blobs += data
    with open(os.path.join(ROOT, "res", "windows", "sentrel.ico"), "wb") as f:
        f.write(header + entries + blobs)


if __name__ == "__main__":
    main()
