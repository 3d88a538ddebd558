#!/usr/bin/env python3
"""Draws Plugferry.ico: a small ferry carrying a plug-in block over water,
32 x 32 and 16 x 16 pixels in the 16-colour palette of the system.

Usage: make_icon.py OUT.ico   (the committed icon was made with this script)
"""
import struct
import sys

PALETTE = [  # the standard 16 colours, as (r, g, b)
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
CLEAR, BLACK, NAVY, BLUE, CYAN, TEAL, WHITE, YELLOW, MAROON, GREY, SILVER = (
    None, 0, 4, 12, 14, 6, 15, 11, 1, 8, 7)


def draw(n):
    """Returns n rows of n palette indices (None = transparent)."""
    s = n / 32.0
    img = [[CLEAR] * n for _ in range(n)]

    def box(x0, y0, x1, y1, colour):
        for y in range(int(y0 * s), max(int(y1 * s), int(y0 * s) + 1)):
            for x in range(int(x0 * s), max(int(x1 * s), int(x0 * s) + 1)):
                if 0 <= x < n and 0 <= y < n:
                    img[y][x] = colour

    # The cargo: a plug-in block with a gold lid and a socket.
    box(10, 5, 22, 15, GREY)
    box(11, 6, 21, 14, SILVER)
    box(11, 6, 21, 8, YELLOW)
    box(14, 10, 18, 13, BLACK)
    # The hull, wider at the top.
    for row, (x0, x1) in enumerate([(3, 29), (4, 28), (5, 27), (6, 26), (7, 25), (8, 24)]):
        box(x0, 15 + row, x1, 16 + row, MAROON if row else BLACK)
    box(9, 17, 11, 19, WHITE)
    box(15, 17, 17, 19, WHITE)
    box(21, 17, 23, 19, WHITE)
    # Water: two bands with wave crests.
    box(0, 21, 32, 32, NAVY)
    box(0, 21, 32, 24, BLUE)
    for x in range(0, 32, 6):
        box(x, 24, x + 3, 25, CYAN)
        box(x + 3, 28, x + 6, 29, TEAL)
    return img


def dib(img):
    n = len(img)
    header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    xor_rows, and_rows = [], []
    for row in reversed(img):  # bottom-up
        nibbles = [(c if c is not None else 0) for c in row]
        packed = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, n, 2))
        xor_rows.append(packed + b'\0' * ((-len(packed)) % 4))
        bits = 0
        mask = bytearray()
        for i, c in enumerate(row):
            bits = (bits << 1) | (1 if c is None else 0)
            if i % 8 == 7:
                mask.append(bits)
                bits = 0
        and_rows.append(bytes(mask) + b'\0' * ((-len(mask)) % 4))
    return header + palette + b''.join(xor_rows) + b''.join(and_rows)


def main():
    images = [dib(draw(32)), dib(draw(16))]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((32, 16), images):
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    out += b''.join(images)
    with open(sys.argv[1], 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main()
