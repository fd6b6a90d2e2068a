#!/usr/bin/env python3
"""Draws Keelo's application icon and writes it as resources/app_icon.ico.

The mark is a rounded teal square with a white timer: a ring, a crown on top and one hand.
Every shape is a signed distance field, so each image is drawn at its own size with a
one-pixel anti-aliased edge instead of being scaled down from a large one; small sizes stay
sharp. Images of 16 to 128 pixels are 32-bit BMP images (with the AND mask that the format
still requires); the 256-pixel image is stored as PNG, as Windows expects at that size.

Only the standard library is used, so the script runs wherever Python 3 does:

    python3 resources/make_icon.py [OUTPUT.ico]
"""

import math
import os
import struct
import sys
import zlib

SIZES = (16, 20, 24, 32, 40, 48, 64, 96, 128, 256)
PNG_SIZES = (256,)

TOP_COLOUR = (0x1D, 0xA5, 0x8C)
BOTTOM_COLOUR = (0x0E, 0x63, 0x56)
MARK_COLOUR = (0xFF, 0xFF, 0xFF)


def rounded_square(x, y, half, radius):
    """Distance from (x, y) to a square centred at (0.5, 0.5); negative inside."""
    qx = abs(x - 0.5) - (half - radius)
    qy = abs(y - 0.5) - (half - radius)
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - radius


def capsule(x, y, ax, ay, bx, by, radius):
    """Distance from (x, y) to the segment a-b thickened by radius."""
    px, py = x - ax, y - ay
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, (px * dx + py * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - t * dx, py - t * dy) - radius


def timer_mark(x, y):
    """Distance to the union of the timer's ring, crown and hand."""
    cx, cy, ring_radius, ring_half_width = 0.5, 0.55, 0.255, 0.048
    ring = abs(math.hypot(x - cx, y - cy) - ring_radius) - ring_half_width
    crown_y = cy - ring_radius - 0.075
    crown = capsule(x, y, cx - 0.055, crown_y, cx + 0.055, crown_y, 0.04)
    stem = capsule(x, y, cx, crown_y, cx, cy - ring_radius, 0.03)
    angle = math.radians(-50.0)
    hand = capsule(x, y, cx, cy, cx + 0.15 * math.cos(angle), cy + 0.15 * math.sin(angle), 0.042)
    return min(ring, crown, stem, hand)


def coverage(distance, size):
    """Fraction of a pixel covered by the shape, with a one-pixel ramp at its edge."""
    return max(0.0, min(1.0, 0.5 - distance * size))


def draw(size):
    """Rows of (red, green, blue, alpha) tuples, top row first, straight alpha."""
    # Small icons need the whole cell; larger ones get the margin Windows' own icons have.
    margin = 0.0 if size <= 24 else 0.04
    half = 0.5 - margin
    radius = 0.22 * half * 2
    rows = []
    for row in range(size):
        y = (row + 0.5) / size
        t = row / max(size - 1, 1)
        background = tuple(round(top + (bottom - top) * t)
                           for top, bottom in zip(TOP_COLOUR, BOTTOM_COLOUR))
        pixels = []
        for column in range(size):
            x = (column + 0.5) / size
            body = coverage(rounded_square(x, y, half, radius), size)
            mark = coverage(timer_mark(x, y), size)
            colour = tuple(round(b + (m - b) * mark) for b, m in zip(background, MARK_COLOUR))
            pixels.append(colour + (round(255 * body),))
        rows.append(pixels)
    return rows


def png_image(size, rows):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    raw = b"".join(b"\x00" + bytes(channel for pixel in row for channel in pixel)
                   for row in rows)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def bmp_image(size, rows):
    mask_stride = ((size + 31) // 32) * 4
    colour = bytearray()
    mask = bytearray()
    # Device-independent bitmaps run bottom-up.
    for row in reversed(rows):
        for red, green, blue, alpha in row:
            colour += bytes((blue, green, red, alpha))
        bits = bytearray(mask_stride)
        for column, pixel in enumerate(row):
            if pixel[3] == 0:
                bits[column // 8] |= 0x80 >> (column % 8)
        mask += bits
    # The height counts the colour and the mask halves together.
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                         len(colour) + len(mask), 0, 0, 0, 0)
    return header + bytes(colour) + bytes(mask)


def icon_file(sizes):
    images = []
    for size in sizes:
        rows = draw(size)
        images.append((size, png_image(size, rows) if size in PNG_SIZES else bmp_image(size, rows)))
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries = b""
    for size, data in images:
        # 0 stands for 256 in the one-byte size fields.
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return directory + entries + b"".join(data for _, data in images)


def main():
    default = os.path.join(os.path.dirname(os.path.abspath(__file__)), "app_icon.ico")
    output = sys.argv[1] if len(sys.argv) > 1 else default
    with open(output, "wb") as file:
        file.write(icon_file(SIZES))


if __name__ == "__main__":
    main()
