#!/usr/bin/env python3
"""Draws the site's two status pictures, pentrel/online.gif and pentrel/onbattery.gif.

No image library needed: the shapes are computed per pixel and written as a GIF89a with a
transparent background. Run: python3 site/tools/make_pictures.py site/htdocs/pentrel
"""
import math
import struct
import sys
from pathlib import Path

SIZE = 64
# Palette: 0 transparent, then the colours the shapes use.
PALETTE = [
    (255, 255, 255),  # 0 transparent
    (34, 139, 34),    # 1 green
    (255, 255, 255),  # 2 white
    (40, 40, 48),     # 3 outline
    (230, 140, 0),    # 4 amber
    (255, 214, 0),    # 5 yellow
    (200, 200, 205),  # 6 light grey
    (20, 100, 20),    # 7 dark green
]


def online(x, y):
    """A green disc with a white check mark: the mains are good."""
    cx = cy = (SIZE - 1) / 2
    r = math.hypot(x - cx, y - cy)
    if r > 30:
        return 0
    if r > 27.5:
        return 7
    # Check mark: two thick strokes.
    def near(ax, ay, bx, by, w):
        dx, dy = bx - ax, by - ay
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
        return math.hypot(x - (ax + t * dx), y - (ay + t * dy)) <= w
    if near(17, 33, 27, 43, 4.2) or near(27, 43, 47, 21, 4.2):
        return 2
    return 1


def onbattery(x, y):
    """A battery a third full, with a lightning bolt: running from the battery."""
    left, right, top, bottom = 6, 52, 16, 48
    if 52 < x <= 57 and 25 <= y <= 39:
        return 3  # terminal
    if not (left <= x <= right and top <= y <= bottom):
        return 0
    if x < left + 3 or x > right - 3 or y < top + 3 or y > bottom - 3:
        return 3  # casing
    if x <= left + 17:
        fill = 4  # charge left
    else:
        fill = 6
    # Bolt: a polygon test by half-planes of two triangles.
    def tri(p, q, s):
        def side(a, b):
            return (b[0] - a[0]) * (y - a[1]) - (b[1] - a[1]) * (x - a[0])
        d1, d2, d3 = side(p, q), side(q, s), side(s, p)
        neg = d1 < 0 or d2 < 0 or d3 < 0
        pos = d1 > 0 or d2 > 0 or d3 > 0
        return not (neg and pos)
    if tri((33, 19), (22, 34), (31, 34)) or tri((27, 30), (36, 30), (25, 45)):
        return 5
    return fill


def lzw_uncompressed(pixels, min_code_size=8):
    """GIF image data without real compression: 9-bit codes, a clear code before the table grows."""
    clear, end = 1 << min_code_size, (1 << min_code_size) + 1
    codes = []
    for i, p in enumerate(pixels):
        if i % 250 == 0:
            codes.append(clear)
        codes.append(p)
    codes.append(end)
    bits, nbits, out = 0, 0, bytearray()
    for c in codes:
        bits |= c << nbits
        nbits += 9
        while nbits >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8
    if nbits:
        out.append(bits & 0xFF)
    blocks = bytearray([min_code_size])
    for i in range(0, len(out), 255):
        chunk = out[i:i + 255]
        blocks += bytes([len(chunk)]) + chunk
    return bytes(blocks + b"\x00")


def gif(draw):
    pixels = [draw(x, y) for y in range(SIZE) for x in range(SIZE)]
    palette = PALETTE + [(0, 0, 0)] * (256 - len(PALETTE))
    data = b"GIF89a" + struct.pack("<HHBBB", SIZE, SIZE, 0xF7, 0, 0)
    data += b"".join(bytes(c) for c in palette)
    data += b"\x21\xF9\x04\x01\x00\x00\x00\x00"  # graphic control: colour 0 is transparent
    data += b"\x2C" + struct.pack("<HHHHB", 0, 0, SIZE, SIZE, 0)
    data += lzw_uncompressed(pixels) + b"\x3B"
    return data


def main():
    folder = Path(sys.argv[1] if len(sys.argv) > 1 else ".")
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "online.gif").write_bytes(gif(online))
    (folder / "onbattery.gif").write_bytes(gif(onbattery))


if __name__ == "__main__":
    main()
