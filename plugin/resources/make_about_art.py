#!/usr/bin/env python3
"""Draws the about box artwork: a small evening landscape whose left half is
shown as photographed (deep shadows) and whose right half has its shadows
lifted, the way the filter does it. Writes a 266 x 142, 24-bit uncompressed
BMP. Usage: make_about_art.py OUT.bmp"""

import math
import struct
import sys

WIDTH, HEIGHT = 266, 142

# 5 x 7 letters for the two captions.
FONT = {
    "B": ["11110", "10001", "10001", "11110", "10001", "10001", "11110"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "F": ["11111", "10000", "10000", "11110", "10000", "10000", "10000"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
}


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def scene(x, y):
    """The photograph: linear RGB in 0..1, dark where the light does not reach."""
    u, v = x / (WIDTH - 1), y / (HEIGHT - 1)
    sky = mix((0.95, 0.72, 0.45), (0.35, 0.55, 0.85), min(1.0, v * 2.2))
    sky = mix(sky, (0.30, 0.48, 0.80), max(0.0, 0.5 - v))
    sun = math.exp(-((u - 0.78) ** 2 + ((v - 0.30) * 0.6) ** 2) / 0.004)
    colour = mix(sky, (1.0, 0.95, 0.8), min(1.0, sun))
    far = 0.50 + 0.06 * math.sin(u * 9.0) + 0.03 * math.sin(u * 23.0 + 1.0)
    near = 0.66 + 0.08 * math.sin(u * 5.0 + 2.0) + 0.02 * math.sin(u * 31.0)
    if v > far:
        colour = mix((0.30, 0.38, 0.45), (0.20, 0.28, 0.30), min(1.0, (v - far) * 4))
    if v > near:
        depth = min(1.0, (v - near) * 3)
        grass = mix((0.30, 0.45, 0.18), (0.16, 0.30, 0.10), depth)
        stripe = 0.06 * math.sin(u * 90.0 + v * 40.0)
        colour = tuple(max(0.0, c + stripe * c) for c in grass)
    # A tree against the light.
    trunk = abs(u - 0.5) < 0.012 and 0.45 < v < 0.80
    crown = ((u - 0.5) / 0.13) ** 2 + ((v - 0.38) / 0.17) ** 2 < 1.0
    if trunk or crown:
        colour = (0.22, 0.30, 0.12) if crown else (0.25, 0.17, 0.10)
    # The scene is backlit: the light falls from the upper right.
    light = 0.04 + 0.96 * max(0.0, min(1.0, 1.1 - v * 1.3 + (u - 0.5) * 0.25)) ** 2
    if v < far and not (trunk or crown):
        light = 1.0
    return tuple(c * light for c in colour)


def lifted(rgb):
    """Dark values rise, bright values stay."""
    value = max(rgb) or 1e-6
    target = value + 2.2 * value * (1.0 - value) ** 2.5
    return tuple(c * target / value for c in rgb)


def caption(pixels, text, x0, y0):
    for k, letter in enumerate(text):
        for row, bits in enumerate(FONT[letter]):
            for col, bit in enumerate(bits):
                if bit == "1":
                    x, y = x0 + k * 6 + col, y0 + row
                    pixels[y][x] = (255, 255, 255)
                    if y + 1 < HEIGHT and x + 1 < WIDTH and pixels[y + 1][x + 1] != (255, 255, 255):
                        pixels[y + 1][x + 1] = (20, 20, 20)


def main():
    pixels = []
    for y in range(HEIGHT):
        row = []
        for x in range(WIDTH):
            rgb = scene(x, y)
            if x > WIDTH // 2:
                rgb = lifted(rgb)
            row.append(tuple(int(max(0.0, min(1.0, c)) ** (1 / 2.2) * 255 + 0.5) for c in rgb))
        pixels.append(row)
    for y in range(HEIGHT):
        pixels[y][WIDTH // 2] = (255, 255, 255)
    caption(pixels, "BEFORE", 6, HEIGHT - 12)
    caption(pixels, "AFTER", WIDTH // 2 + 6, HEIGHT - 12)

    stride = (WIDTH * 3 + 3) & ~3
    image = bytearray()
    for row in reversed(pixels):  # bottom-up rows
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += bytes(stride - len(line))
        image += line
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(image), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, len(image), 2835, 2835, 0, 0)
    with open(sys.argv[1], "wb") as f:
        f.write(header + info + image)


if __name__ == "__main__":
    main()
