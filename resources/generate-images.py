#!/usr/bin/env python3
"""Writes the program's images as plain bytes, so they can be rebuilt
without an image editor: the four 16 x 16 monochrome hand-pad arrows
(resource bitmaps 100 left, 101 right, 102 up, 103 down) and the program
icon (16 x 16 and 32 x 32, 32-bit with alpha).

    resources/generate-images.py [output-directory]
"""
import math
import os
import struct
import sys


def inside(p, a, b, c):
    def side(p1, p2, p3):
        return (p1[0] - p3[0]) * (p2[1] - p3[1]) - (p2[0] - p3[0]) * (p1[1] - p3[1])
    d1, d2, d3 = side(p, a, b), side(p, b, c), side(p, c, a)
    neg = d1 < 0 or d2 < 0 or d3 < 0
    pos = d1 > 0 or d2 > 0 or d3 > 0
    return not (neg and pos)


# Solid triangles in a 16 x 16 cell, pixel centres at +0.5.
ARROWS = {
    "arrow-left.bmp": ((2.5, 8.0), (12.5, 2.0), (12.5, 14.0)),
    "arrow-right.bmp": ((13.5, 8.0), (3.5, 2.0), (3.5, 14.0)),
    "arrow-up.bmp": ((8.0, 2.5), (2.0, 12.5), (14.0, 12.5)),
    "arrow-down.bmp": ((8.0, 13.5), (2.0, 3.5), (14.0, 3.5)),
}


def monochrome_bmp(triangle):
    """A 1-bit BMP: colour 0 black (the arrow), colour 1 white (the rest)."""
    width = height = 16
    stride = 4  # 16 bits padded to a multiple of 32
    rows = []
    for y in range(height - 1, -1, -1):  # bottom-up
        bits = 0
        for x in range(width):
            white = not inside((x + 0.5, y + 0.5), *triangle)
            bits = (bits << 1) | (1 if white else 0)
        rows.append(struct.pack(">H", bits) + b"\0\0")
    pixels = b"".join(rows)
    palette = struct.pack("<4B4B", 0, 0, 0, 0, 255, 255, 255, 0)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 1, 0, len(pixels), 2835, 2835, 2, 2)
    offset = 14 + len(info) + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    assert len(pixels) == stride * height
    return header + info + palette + pixels


def icon_pixel(x, y, size):
    """Night-sky disc, an encoder ring with index marks, a bright star."""
    c = (size - 1) / 2.0
    r = math.hypot(x - c, y - c) / (size / 2.0)
    if r > 0.98:
        return (0, 0, 0, 0)
    colour = (24, 40, 96)  # dark blue
    if 0.66 < r < 0.82:
        colour = (236, 236, 244)  # the ring
        angle = math.degrees(math.atan2(y - c, x - c)) % 30.0
        if size >= 32 and (angle < 4 or angle > 26):
            colour = (150, 160, 190)
    star = abs(x - c) + abs(y - c)
    if star < size * 0.16 or (min(abs(x - c), abs(y - c)) < size / 32.0 + 0.3 and star < size * 0.3):
        colour = (255, 214, 64)  # amber star
    return colour + (255,)


def icon_image(size):
    xor = bytearray()
    for y in range(size - 1, -1, -1):
        for x in range(size):
            r, g, b, a = icon_pixel(x, y, size)
            xor += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for y in range(size - 1, -1, -1):
        row = bytearray(mask_stride)
        for x in range(size):
            if icon_pixel(x, y, size)[3] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + bytes(xor) + bytes(mask)


def icon(sizes):
    images = [icon_image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for name, triangle in ARROWS.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(monochrome_bmp(triangle))
    with open(os.path.join(out, "kv7.ico"), "wb") as f:
        f.write(icon((16, 32, 48)))


if __name__ == "__main__":
    main()
