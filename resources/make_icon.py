#!/usr/bin/env python3
"""Writes vorquin.ico: a clipboard drawn at 16x16 and 32x32, 32-bit BGRA."""

import struct
import sys
from pathlib import Path

BOARD = (0x2f, 0x5d, 0x8c, 0xff)   # blue, as (r, g, b, a)
PAPER = (0xf4, 0xf4, 0xf0, 0xff)
CLIP = (0x9a, 0xa0, 0xa6, 0xff)
CLEAR = (0, 0, 0, 0)


def pixel(x, y, size):
    """Colour of (x, y), y counted from the top; shapes scale with size."""
    s = size / 32.0
    inside = lambda x0, y0, x1, y1: x0 * s <= x < x1 * s and y0 * s <= y < y1 * s
    if inside(11, 1, 21, 7):
        return CLIP
    if inside(7, 4, 25, 31):
        if inside(10, 9, 22, 28):
            # Text lines on the sheet.
            row = int(y / s)
            if row in (12, 16, 20, 24) and 12 * s <= x < (18 if row == 24 else 20) * s:
                return BOARD
            return PAPER
        return BOARD
    return CLEAR


def image(size):
    """A DIB with doubled height: BGRA rows bottom-up, then an empty AND mask."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = []
    for y in reversed(range(size)):
        for x in range(size):
            r, g, b, a = pixel(x, y, size)
            rows.append(bytes((b, g, r, a)))
    mask_row = ((size + 31) // 32) * 4
    return header + b"".join(rows) + bytes(mask_row * size)


def icon(sizes):
    images = [image(n) for n in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", n % 256, n % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def main():
    target = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).with_name("vorquin.ico")
    target.write_bytes(icon([32, 16]))


if __name__ == "__main__":
    main()
