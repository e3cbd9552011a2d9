#!/usr/bin/env python3
"""Draws the application icon (a microphone with a red record dot) and writes app/recorder.ico.

The drawing below is the icon's source. The .ico holds 48, 32, 24 and 16 pixel images, each once in
256 colours (8-bit, palettized) and once in 32-bit colour with alpha. Standard library only, so the
icon can be remade anywhere:  python3 app/make_icon.py [output.ico]
"""
import math
import os
import struct
import sys

SIZES = (48, 32, 24, 16)
SUPERSAMPLE = 8


def stadium(x, y, cx, top, bottom, half_width):
    """Inside a vertical capsule with round ends."""
    if top + half_width <= y <= bottom - half_width:
        return abs(x - cx) <= half_width
    ey = top + half_width if y < top + half_width else bottom - half_width
    return (x - cx) ** 2 + (y - ey) ** 2 <= half_width ** 2


def lerp(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def shade(x, y):
    """Colour (r, g, b) of the point (x, y) of the unit square, or None where it is transparent.
    Later layers paint over earlier ones."""
    colour = None
    # Holder: the lower half of a ring around the capsule, a stem and a foot.
    ring = math.hypot(x - 0.42, y - 0.40)
    if y >= 0.40 and 0.25 <= ring <= 0.32:
        colour = (70, 74, 84)
    if abs(x - 0.42) <= 0.04 and 0.70 <= y <= 0.86:
        colour = (70, 74, 84)
    if 0.22 <= x <= 0.62 and 0.84 <= y <= 0.92:
        colour = (70, 74, 84)
    # Capsule: a steel body lit from the left, with a darker grille band.
    if stadium(x, y, 0.42, 0.06, 0.60, 0.17):
        t = min(max((x - 0.25) / 0.34, 0.0), 1.0)
        colour = lerp((200, 208, 220), (92, 100, 116), t)
        if 0.20 <= y <= 0.24 or 0.30 <= y <= 0.34 or 0.40 <= y <= 0.44:
            colour = lerp(colour, (40, 44, 52), 0.55)
    # Record dot, with a light rim so it reads on dark task bars.
    dot = math.hypot(x - 0.76, y - 0.74)
    if dot <= 0.22:
        colour = (255, 255, 255)
    if dot <= 0.18:
        t = min(dot / 0.18, 1.0)
        colour = lerp((255, 90, 80), (200, 0, 0), t)
    return colour


def render(size):
    """Rows of (r, g, b, a), top row first, anti-aliased by supersampling."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = hits = 0
            for sy in range(n):
                for sx in range(n):
                    c = shade((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size)
                    if c is not None:
                        r += c[0]
                        g += c[1]
                        b += c[2]
                        hits += 1
            if hits:
                row.append((r // hits, g // hits, b // hits, 255 * hits // (n * n)))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def palette():
    """A fixed 256-colour palette: a 6x6x6 colour cube and a 40-step grey ramp."""
    levels = (0, 51, 102, 153, 204, 255)
    colours = [(r, g, b) for r in levels for g in levels for b in levels]
    colours += [(round(i * 255 / 39),) * 3 for i in range(40)]
    return colours


def nearest(colour, colours, cache):
    if colour not in cache:
        cache[colour] = min(range(len(colours)),
                            key=lambda i: sum((colours[i][k] - colour[k]) ** 2 for k in range(3)))
    return cache[colour]


def and_mask(rows, size):
    """1 bit per pixel, set where the image is transparent; bottom row first, rows padded to 4 bytes."""
    stride = ((size + 31) // 32) * 4
    out = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a < 128:
                line[x // 8] |= 0x80 >> (x % 8)
        out += line
    return bytes(out)


def bitmap_header(size, bits, image_bytes, colours_used):
    # Height is doubled: the colour bits are followed by the transparency mask.
    return struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bits, 0, image_bytes, 0, 0, colours_used, 0)


def image_32(rows, size):
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    mask = and_mask(rows, size)
    return bitmap_header(size, 32, len(pixels) + len(mask), 0) + bytes(pixels) + mask


def image_8(rows, size, colours, cache):
    stride = (size + 3) // 4 * 4
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, (r, g, b, a) in enumerate(row):
            line[x] = nearest((r, g, b), colours, cache) if a >= 128 else 0
        pixels += line
    mask = and_mask(rows, size)
    table = b''.join(bytes((b, g, r, 0)) for r, g, b in colours)
    return bitmap_header(size, 8, len(pixels) + len(mask), 256) + table + bytes(pixels) + mask


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                             'recorder.ico')
    colours = palette()
    cache = {}
    images = []  # (size, bits, data)
    for size in SIZES:
        rows = render(size)
        images.append((size, 8, image_8(rows, size, colours, cache)))
        images.append((size, 32, image_32(rows, size)))

    header = struct.pack('<HHH', 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    directory = b''
    for size, bits, data in images:
        # Colour count 0 means 256 or more; planes 1.
        directory += struct.pack('<BBBBHHII', size, size, 0, 0, 1, bits, len(data), offset)
        offset += len(data)
    with open(out, 'wb') as f:
        f.write(header + directory + b''.join(data for _, _, data in images))


if __name__ == '__main__':
    main()
