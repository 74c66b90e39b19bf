#!/usr/bin/env python3
"""Regenerates the sample PNGs in content/: 64x64 filled circles on transparency."""

import os
import struct
import zlib

SIZE = 64
IMAGES = {
    "logo.png": (0x2E, 0x6F, 0xD8),
    "offer1.png": (0x2E, 0xA0, 0x4F),
    "offer2.png": (0xE0, 0x7A, 0x1F),
}


def chunk(kind, data):
    return (struct.pack(">I", len(data)) + kind + data
            + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))


def circle_png(rgb):
    r2 = (SIZE / 2 - 1) ** 2
    rows = bytearray()
    for y in range(SIZE):
        rows.append(0)  # filter: none
        for x in range(SIZE):
            dx, dy = x + 0.5 - SIZE / 2, y + 0.5 - SIZE / 2
            rows += bytes(rgb) + (b"\xff" if dx * dx + dy * dy <= r2 else b"\x00")
    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b""))


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "content")
    for name, rgb in IMAGES.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(circle_png(rgb))


if __name__ == "__main__":
    main()
