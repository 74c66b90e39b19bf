#!/usr/bin/env python3
"""Redraw the wizard's pictures and icon: python3 scripts/draw_pictures.py [OUTPUT_DIR] (default src/resources/images)."""

# Standard library only, so anyone with a bare Python can redraw the artwork.
# Shapes are signed distance functions; the distance at a sample's centre
# gives its coverage, which anti-aliases every edge without a rasteriser.
# Icon sizes of 32 px and less are drawn from hand-placed, pixel-aligned
# shapes: scaling the large design down to them turns every stroke to blur.

import math
import os
import struct
import sys
import zlib

ACCENT_TOP = (0x2F, 0xA4, 0xE7)
ACCENT_BOTTOM = (0x02, 0x77, 0xBD)
GREEN_TOP = (0x66, 0xBB, 0x6A)
GREEN_BOTTOM = (0x38, 0x8E, 0x3C)
RED_TOP = (0xEF, 0x53, 0x50)
RED_BOTTOM = (0xD3, 0x2F, 0x2F)

# ---------------------------------------------------------------- shapes
# Each shape is (distance function, bounding box); the box lets the renderer
# skip shapes far from a pixel, which keeps pure Python fast enough.


def capsule(ax, ay, bx, by, r):
    ex, ey = bx - ax, by - ay
    ee = ex * ex + ey * ey

    def dist(px, py):
        wx, wy = px - ax, py - ay
        t = (wx * ex + wy * ey) / ee
        if t < 0.0:
            t = 0.0
        elif t > 1.0:
            t = 1.0
        dx, dy = wx - ex * t, wy - ey * t
        return math.sqrt(dx * dx + dy * dy) - r

    return dist, (min(ax, bx) - r, min(ay, by) - r, max(ax, bx) + r, max(ay, by) + r)


def box(x0, y0, x1, y1):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2, (y1 - y0) / 2

    def dist(px, py):
        qx, qy = abs(px - cx) - hx, abs(py - cy) - hy
        ox, oy = max(qx, 0.0), max(qy, 0.0)
        return math.sqrt(ox * ox + oy * oy) + min(max(qx, qy), 0.0)

    return dist, (x0, y0, x1, y1)


def polygon(points, rounding=0.0):
    n = len(points)
    edges = [(points[i], points[i - 1]) for i in range(n)]

    def dist(px, py):
        vx, vy = points[0]
        d = (px - vx) ** 2 + (py - vy) ** 2
        inside = False
        for (ix, iy), (jx, jy) in edges:
            ex, ey = jx - ix, jy - iy
            wx, wy = px - ix, py - iy
            t = (wx * ex + wy * ey) / (ex * ex + ey * ey)
            t = 0.0 if t < 0.0 else 1.0 if t > 1.0 else t
            bx, by = wx - ex * t, wy - ey * t
            bb = bx * bx + by * by
            if bb < d:
                d = bb
            if (iy <= py) != (jy <= py) and (ex * wy > ey * wx) == (jy > iy):
                inside = not inside
        d = math.sqrt(d)
        return (-d if inside else d) - rounding

    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    return dist, (min(xs) - rounding, min(ys) - rounding, max(xs) + rounding, max(ys) + rounding)


def polyline(points, r):
    return [capsule(*points[i], *points[i + 1], r) for i in range(len(points) - 1)]


# ---------------------------------------------------------------- glyphs
# Large designs live on a 512 grid and are scaled; small ones are in pixels.


def scaled(shapes_512, size):
    k = size / 512.0

    def wrap(dist):
        return lambda px, py: dist(px / k, py / k) * k

    return [(wrap(d), tuple(v * k for v in bb)) for d, bb in shapes_512]


def download_glyph(size, weight=1.0):
    if size <= 16:
        return [
            box(7, 3, 9, 7),
            polygon([(4, 6), (12, 6), (8, 10)]),
            box(4, 9, 5, 13), box(11, 9, 12, 13), box(4, 12, 12, 13),
        ]
    if size <= 32:
        return [
            box(14, 6, 18, 13),
            polygon([(8, 12), (24, 12), (16, 20)]),
        ] + polyline([(6.5, 17), (6.5, 24.5), (25.5, 24.5), (25.5, 17)], 1.5)
    w = weight
    shapes = [capsule(256, 118, 256, 250, 30 * w),
              polygon([(176, 226), (336, 226), (256, 314)], 14 * w)]
    shapes += polyline([(138, 312), (138, 394), (374, 394), (374, 312)], 24 * w)
    return scaled(shapes, size)


def check_glyph(size):
    return scaled(polyline([(150, 258), (222, 330), (364, 188)], 32), size)


def cross_glyph(size):
    a, b = 178, 334
    return scaled([capsule(a, a, b, b, 32), capsule(a, b, b, a, 32)], size)


# ---------------------------------------------------------------- render


def render(size, glyph, top, bottom, radius, ss=1):
    """Draw a gradient disc with a white glyph; returns straight-alpha RGBA rows."""
    n = size * ss
    inv = 1.0 / ss
    c = size / 2.0
    r_out = radius + 1.0
    span = bottom[0] - top[0], bottom[1] - top[1], bottom[2] - top[2]
    # Accumulate premultiplied colour so averaging samples keeps edges true.
    acc = [[0.0] * (size * 4) for _ in range(size)]
    for sy in range(n):
        py = (sy + 0.5) * inv
        dy = py - c
        if abs(dy) >= r_out:
            continue
        t = (py - (c - radius)) / (2.0 * radius)
        t = 0.0 if t < 0.0 else 1.0 if t > 1.0 else t
        gr, gg, gb = top[0] + span[0] * t, top[1] + span[1] * t, top[2] + span[2] * t
        row_shapes = [(d, bb[0] - inv, bb[2] + inv) for d, bb in glyph
                      if bb[1] - inv <= py <= bb[3] + inv]
        half = math.sqrt(r_out * r_out - dy * dy)
        x0 = max(0, int((c - half) * ss))
        x1 = min(n, int((c + half) * ss) + 1)
        row = acc[sy // ss]
        for sx in range(x0, x1):
            px = (sx + 0.5) * inv
            dx = px - c
            a = 0.5 - (math.sqrt(dx * dx + dy * dy) - radius) * ss
            if a <= 0.0:
                continue
            if a > 1.0:
                a = 1.0
            d = 1e9
            for dist, lo, hi in row_shapes:
                if lo <= px <= hi:
                    v = dist(px, py)
                    if v < d:
                        d = v
            g = 0.5 - d * ss
            g = 0.0 if g < 0.0 else 1.0 if g > 1.0 else g
            i = (sx // ss) * 4
            row[i] += a * (gr + (255.0 - gr) * g)
            row[i + 1] += a * (gg + (255.0 - gg) * g)
            row[i + 2] += a * (gb + (255.0 - gb) * g)
            row[i + 3] += a
    norm = 1.0 / (ss * ss)
    out = []
    for row in acc:
        line = bytearray(size * 4)
        for i in range(0, size * 4, 4):
            a = row[i + 3] * norm
            if a <= 0.0:
                continue
            q = 1.0 / row[i + 3]
            line[i] = min(255, int(row[i] * q + 0.5))
            line[i + 1] = min(255, int(row[i + 1] * q + 0.5))
            line[i + 2] = min(255, int(row[i + 2] * q + 0.5))
            line[i + 3] = min(255, int(a * 255.0 + 0.5))
        out.append(bytes(line))
    return out


# ---------------------------------------------------------------- PNG


def _filter_rows(rows, bpp=4):
    """Every filter type for every row: filtered[type][y]."""
    filtered = [[], [], [], [], []]
    prev = bytes(len(rows[0]))
    for cur in rows:
        left = bytes(bpp) + cur[:-bpp]
        upleft = bytes(bpp) + prev[:-bpp]
        filtered[0].append(cur)
        filtered[1].append(bytes((a - b) & 255 for a, b in zip(cur, left)))
        filtered[2].append(bytes((a - b) & 255 for a, b in zip(cur, prev)))
        filtered[3].append(bytes((x - ((a + b) >> 1)) & 255 for x, a, b in zip(cur, left, prev)))
        paeth = bytearray(len(cur))
        for i, (x, a, b, c) in enumerate(zip(cur, left, prev, upleft)):
            p = a + b - c
            pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
            paeth[i] = (x - (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        filtered[4].append(bytes(paeth))
        prev = cur
    return filtered


def _cost(line):
    # Minimum sum of absolute differences: the usual adaptive heuristic.
    return sum(v if v < 128 else 256 - v for v in line)


def encode_png(rows):
    height, width = len(rows), len(rows[0]) // 4
    filtered = _filter_rows(rows)
    candidates = []
    adaptive = bytearray()
    for y in range(height):
        kind = min(range(5), key=lambda k: (_cost(filtered[k][y]), k))
        adaptive += bytes((kind,)) + filtered[kind][y]
    candidates.append(bytes(adaptive))
    for kind in range(5):
        candidates.append(b"".join(bytes((kind,)) + line for line in filtered[kind]))
    # Whichever filtering compresses best wins; ties go to the first, so output is stable.
    idat = min((zlib.compress(c, 9) for c in candidates), key=len)

    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data))

    ihdr = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", idat) + chunk(b"IEND", b"")


# ---------------------------------------------------------------- ICO


def encode_dib(rows):
    """32-bit icon entry: bottom-up BGRA plus the 1-bit mask older code paths read."""
    size = len(rows)
    xor = bytearray()
    mask = bytearray()
    stride = ((size + 31) // 32) * 4
    for row in reversed(rows):
        bits = bytearray(stride)
        for x in range(size):
            r, g, b, a = row[x * 4:x * 4 + 4]
            xor += bytes((b, g, r, a))
            if a == 0:
                bits[x >> 3] |= 0x80 >> (x & 7)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def encode_ico(entries):
    """entries: (size, data) pairs; sizes above 255 are written as 0, as the format asks."""
    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    body = b""
    for size, data in entries:
        dim = size if size < 256 else 0
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
        body += data
    return out + body


# ---------------------------------------------------------------- main


def disc_radius(size):
    # A little margin keeps the anti-aliased rim inside the canvas.
    return size / 2.0 - max(0.25, size / 128.0)


# The pages stretch a picture over a control of at most 40 dialog units (about 70 px at 100 %,
# 140 px at 200 %); a 256 px picture is sharp at every scale and costs the stub a third of a
# 512 px one.
PICTURE_SIZE = 256


def main(argv):
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out_dir = argv[1] if len(argv) > 1 else os.path.join(root, "src", "resources", "images")
    os.makedirs(out_dir, exist_ok=True)

    pictures = {
        "download.png": (download_glyph(PICTURE_SIZE), ACCENT_TOP, ACCENT_BOTTOM),
        "check.png": (check_glyph(PICTURE_SIZE), GREEN_TOP, GREEN_BOTTOM),
        "cross.png": (cross_glyph(PICTURE_SIZE), RED_TOP, RED_BOTTOM),
    }
    for name, (glyph, top, bottom) in pictures.items():
        rows = render(PICTURE_SIZE, glyph, top, bottom, disc_radius(PICTURE_SIZE))
        with open(os.path.join(out_dir, name), "wb") as f:
            f.write(encode_png(rows))

    entries = []
    for size in (16, 32, 48, 256):
        # Small sizes are supersampled: coverage from one distance is too coarse there.
        ss = 4 if size <= 48 else 1
        glyph = download_glyph(size, weight=1.25 if size <= 48 else 1.0)
        rows = render(size, glyph, ACCENT_TOP, ACCENT_BOTTOM, disc_radius(size), ss)
        entries.append((size, encode_png(rows) if size >= 256 else encode_dib(rows)))
    with open(os.path.join(out_dir, "brindle.ico"), "wb") as f:
        f.write(encode_ico(entries))


if __name__ == "__main__":
    main(sys.argv)
