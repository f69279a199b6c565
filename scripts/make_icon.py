#!/usr/bin/env python3
"""Draws the window icon: a bench supply's front with a readout and two
terminals. Writes a 32 x 32, 32-bit Windows icon file to the path given."""
import struct
import sys

SIZE = 32
CASE = (60, 64, 72, 255)
FACE = (200, 204, 210, 255)
READOUT = (20, 40, 20, 255)
DIGITS = (60, 230, 60, 255)
RED = (220, 30, 30, 255)
BLACK = (20, 20, 20, 255)
CLEAR = (0, 0, 0, 0)


def draw():
    pixels = [[CLEAR] * SIZE for _ in range(SIZE)]

    def box(x0, y0, x1, y1, colour):
        for y in range(y0, y1):
            for x in range(x0, x1):
                pixels[y][x] = colour

    def disc(cx, cy, r, colour):
        for y in range(SIZE):
            for x in range(SIZE):
                if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                    pixels[y][x] = colour

    box(1, 4, 31, 29, CASE)
    box(3, 6, 29, 27, FACE)
    box(5, 8, 27, 16, READOUT)
    # A readout showing a straight trace of a steady output.
    box(7, 11, 25, 13, DIGITS)
    disc(10, 22, 3, RED)
    disc(22, 22, 3, BLACK)
    box(8, 22, 13, 23, FACE)  # the plus terminal's mark
    box(10, 20, 11, 25, FACE)
    box(20, 22, 25, 23, FACE)  # the minus terminal's mark
    return pixels


def ico(pixels):
    rows = b"".join(
        bytes(c for r, g, b, a in row for c in (b, g, r, a)) for row in reversed(pixels)
    )
    mask_row = ((SIZE + 31) // 32) * 4
    mask = bytes(mask_row * SIZE)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, len(rows) + len(mask), 0, 0, 0, 0)
    image = header + rows + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


if __name__ == "__main__":
    with open(sys.argv[1], "wb") as out:
        out.write(ico(draw()))
