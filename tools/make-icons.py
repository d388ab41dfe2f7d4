#!/usr/bin/env python3
"""Draws the program's icons and writes them as .ico files into res/.

Icon 116 (Dovetrak3.ico) is the program's icon: a dark blue disk with a
green arrow that lands on it. Icon 128 (TrayIdle.ico) is the tray's resting
icon: the same picture drawn for small sizes. Each file holds 16, 24, 32 and
48 pixel images in 32-bit colour with alpha. Run it again after changing the
drawing; the output is the same on every run.
"""
import os
import struct

SIZES = (16, 24, 32, 48)
SUPERSAMPLE = 4


def inside_round_rect(x, y, x0, y0, x1, y1, r):
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def inside_arrow(x, y, tray):
    # A downward arrow: a shaft and a triangular head, in unit coordinates.
    shaft_w = 0.13 if tray else 0.11
    if abs(x - 0.5) <= shaft_w and 0.10 <= y <= 0.40:
        return True
    head_top, head_bottom, head_half = 0.36, 0.62, 0.28 if tray else 0.25
    if head_top <= y <= head_bottom:
        half = head_half * (head_bottom - y) / (head_bottom - head_top)
        return abs(x - 0.5) <= half
    return False


def shade(x, y, tray):
    """Colour (r, g, b, a) of the point (x, y) in unit coordinates."""
    if inside_arrow(x, y, tray):
        return (64, 200, 96, 255)
    if inside_round_rect(x, y, 0.08, 0.55, 0.92, 0.92, 0.10):
        # The disk: a slot line and a small light.
        if abs(y - 0.735) <= 0.025 and 0.18 <= x <= 0.62:
            return (150, 180, 230, 255)
        if (x - 0.78) ** 2 + (y - 0.735) ** 2 <= 0.05 ** 2:
            return (64, 200, 96, 255)
        return (28, 56, 120, 255)
    return (0, 0, 0, 0)


def render(size, tray):
    pixels = []
    n = SUPERSAMPLE
    for row in range(size):
        line = []
        for col in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(n):
                for sx in range(n):
                    r, g, b, a = shade((col + (sx + 0.5) / n) / size, (row + (sy + 0.5) / n) / size, tray)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            alpha = acc[3] // (n * n)
            if acc[3]:
                line.append((acc[0] // acc[3], acc[1] // acc[3], acc[2] // acc[3], alpha))
            else:
                line.append((0, 0, 0, 0))
        pixels.append(line)
    return pixels


def dib(size, pixels):
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = bytearray()
    for row in reversed(pixels):  # bottom-up
        for r, g, b, a in row:
            xor += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(mask_stride)
        for col, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[col // 8] |= 0x80 >> (col % 8)
        mask += bits
    return header + bytes(xor) + bytes(mask)


def write_ico(path, tray):
    images = [(s, dib(s, render(s, tray))) for s in SIZES]
    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    res = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'res')
    write_ico(os.path.join(res, 'Dovetrak3.ico'), tray=False)
    write_ico(os.path.join(res, 'TrayIdle.ico'), tray=True)
