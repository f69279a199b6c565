#!/usr/bin/env python3
"""Draws the program's icon: a bench supply's front with a readout and two
terminals.

    make_icon.py OUT.ico [--hicolor DIR --name NAME]

writes the window icon (a Windows icon file with 16, 32 and 48 pixel images)
and, with --hicolor, the same drawing for the desktop's icon theme:
DIR/<n>x<n>/apps/NAME.png at the usual sizes and DIR/scalable/apps/NAME.svg.
Every size is drawn from one list of shapes on a 32 x 32 grid, so they all
show the same picture."""
import argparse
import math
import os
import struct
import zlib

GRID = 32
CASE = (60, 64, 72)
FACE = (200, 204, 210)
READOUT = (20, 40, 20)
DIGITS = (60, 230, 60)
RED = (220, 30, 30)
BLACK = (20, 20, 20)

# Painted in this order, each over the ones before: ("rect", x0, y0, x1, y1)
# or ("disc", centre x, centre y, radius), in grid units.
SHAPES = [
    ("rect", 1, 4, 31, 29, CASE),
    ("rect", 3, 6, 29, 27, FACE),
    ("rect", 5, 8, 27, 16, READOUT),
    # A readout showing a straight trace of a steady output.
    ("rect", 7, 11, 25, 13, DIGITS),
    ("disc", 10.5, 22.5, 3.5, RED),
    ("disc", 22.5, 22.5, 3.5, BLACK),
    ("rect", 8, 22, 13, 23, FACE),  # the plus terminal's mark
    ("rect", 10, 20, 11, 25, FACE),
    ("rect", 20, 22, 25, 23, FACE),  # the minus terminal's mark
]

ICO_SIZES = (16, 32, 48)
HICOLOR_SIZES = (16, 24, 32, 48, 64, 128, 256)


def overlap(a0, a1, b0, b1):
    return max(0.0, min(a1, b1) - max(a0, b0))


def coverage(shape, x, y, scale):
    """How much of pixel (x, y) the shape covers, 0 to 1."""
    if shape[0] == "rect":
        _, x0, y0, x1, y1, _ = shape
        return overlap(x, x + 1, x0 * scale, x1 * scale) * overlap(y, y + 1, y0 * scale, y1 * scale)
    _, cx, cy, r, _ = shape
    cx, cy, r = cx * scale, cy * scale, r * scale
    steps = 4
    inside = 0
    for i in range(steps):
        for j in range(steps):
            sx = x + (i + 0.5) / steps
            sy = y + (j + 0.5) / steps
            if (sx - cx) ** 2 + (sy - cy) ** 2 <= r * r:
                inside += 1
    return inside / (steps * steps)


def bounds(shape, scale, size):
    if shape[0] == "rect":
        _, x0, y0, x1, y1, _ = shape
    else:
        _, cx, cy, r, _ = shape
        x0, y0, x1, y1 = cx - r, cy - r, cx + r, cy + r
    lo = lambda v: max(0, int(math.floor(v * scale)))
    hi = lambda v: min(size, int(math.ceil(v * scale)))
    return lo(x0), lo(y0), hi(x1), hi(y1)


def draw(size):
    """Rows of (r, g, b, a) pixels, top row first."""
    scale = size / GRID
    # Premultiplied colour and alpha, painted shape over shape.
    canvas = [[[0.0, 0.0, 0.0, 0.0] for _ in range(size)] for _ in range(size)]
    for shape in SHAPES:
        colour = shape[-1]
        x0, y0, x1, y1 = bounds(shape, scale, size)
        for y in range(y0, y1):
            for x in range(x0, x1):
                c = coverage(shape, x, y, scale)
                if c <= 0:
                    continue
                pixel = canvas[y][x]
                for k in range(3):
                    pixel[k] = colour[k] * c + pixel[k] * (1 - c)
                pixel[3] = 255 * c + pixel[3] * (1 - c)
    rows = []
    for row in canvas:
        out = []
        for r, g, b, a in row:
            if a <= 0:
                out.append((0, 0, 0, 0))
            else:
                out.append(tuple(round(v * 255 / a) for v in (r, g, b)) + (round(a),))
        rows.append(out)
    return rows


def ico(images):
    """A Windows icon file holding 32-bit images of the given sizes."""
    blobs = []
    for size, pixels in images:
        rows = b"".join(
            bytes(c for r, g, b, a in row for c in (b, g, r, a)) for row in reversed(pixels)
        )
        mask = bytes(((size + 31) // 32) * 4 * size)
        header = struct.pack(
            "<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(rows) + len(mask), 0, 0, 0, 0
        )
        blobs.append((size, header + rows + mask))
    out = struct.pack("<HHH", 0, 1, len(blobs))
    offset = 6 + 16 * len(blobs)
    for size, blob in blobs:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    return out + b"".join(blob for _, blob in blobs)


def png(pixels):
    size = len(pixels)
    raw = b"".join(b"\0" + bytes(c for p in row for c in p) for row in pixels)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def svg():
    def fill(colour):
        return "#%02x%02x%02x" % colour

    parts = []
    for shape in SHAPES:
        if shape[0] == "rect":
            _, x0, y0, x1, y1, colour = shape
            parts.append('<rect x="%g" y="%g" width="%g" height="%g" fill="%s"/>'
                         % (x0, y0, x1 - x0, y1 - y0, fill(colour)))
        else:
            _, cx, cy, r, colour = shape
            parts.append('<circle cx="%g" cy="%g" r="%g" fill="%s"/>' % (cx, cy, r, fill(colour)))
    return ('<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d">\n'
            % (GRID, GRID, GRID, GRID)
            + "".join("  %s\n" % p for p in parts) + "</svg>\n")


def write(path, data):
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with open(path, "wb") as out:
        out.write(data)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("ico")
    parser.add_argument("--hicolor")
    parser.add_argument("--name")
    args = parser.parse_args()
    write(args.ico, ico([(size, draw(size)) for size in ICO_SIZES]))
    if args.hicolor:
        for size in HICOLOR_SIZES:
            write(os.path.join(args.hicolor, "%dx%d" % (size, size), "apps", args.name + ".png"),
                  png(draw(size)))
        write(os.path.join(args.hicolor, "scalable", "apps", args.name + ".svg"), svg().encode())
