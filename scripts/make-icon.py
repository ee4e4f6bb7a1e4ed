#!/usr/bin/env python3
"""Draws the program's icon (a blue shield with a white check mark) and writes it as a
multi-size .ico file. Pure Python, so it runs anywhere: python3 scripts/make-icon.py OUT.ico"""
import math
import struct
import sys

SIZES = [16, 20, 24, 32, 40, 48, 64, 256]
SAMPLES = 4  # supersampling per axis, for smooth edges


def half_width(y):
    """Half width of the shield at height y (0 top, 1 bottom), or None outside it."""
    if y < 0.07 or y > 0.95:
        return None
    if y < 0.55:
        return 0.37
    t = (y - 0.55) / 0.40
    return 0.37 * max(0.0, 1.0 - t ** 1.7)


def distance_to_segment(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    cx, cy = ax + t * dx, ay + t * dy
    return math.hypot(px - cx, py - cy)


CHECK = [(0.31, 0.50), (0.45, 0.64), (0.70, 0.34)]


def colour_at(x, y):
    """(r, g, b, a) of one sample point in the unit square."""
    w = half_width(y)
    if w is None or abs(x - 0.5) > w:
        return (0, 0, 0, 0)
    edge = w - abs(x - 0.5)
    if edge < 0.045 or y < 0.07 + 0.045:
        return (235, 242, 250, 255)
    for (ax, ay), (bx, by) in zip(CHECK, CHECK[1:]):
        if distance_to_segment(x, y, ax, ay, bx, by) < 0.055:
            return (255, 255, 255, 255)
    shade = y
    top, bottom = (64, 132, 214), (24, 60, 120)
    return tuple(int(top[i] + (bottom[i] - top[i]) * shade) for i in range(3)) + (255,)


def render(size):
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    r, g, b, a = colour_at((px + (sx + 0.5) / SAMPLES) / size, (py + (sy + 0.5) / SAMPLES) / size)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            n = SAMPLES * SAMPLES
            alpha = acc[3] / n
            if acc[3]:
                row.append((acc[0] // acc[3], acc[1] // acc[3], acc[2] // acc[3], int(alpha)))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def bmp_image(size):
    rows = render(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in reversed(rows):  # bottom-up
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytes(mask_stride * size)  # alpha carries the shape
    return header + bytes(pixels) + mask


def main(out):
    images = [bmp_image(s) for s in SIZES]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(SIZES, images):
        dim = 0 if size >= 256 else size
        data += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    for image in images:
        data += image
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "pellora.ico")
