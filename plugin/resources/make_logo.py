#!/usr/bin/env python3
"""Draws the about box's logo: a lens over a barrel-bowed grid, and the word "Vexo".

The bitmap is 175 x 70 pixels, 24 bits per pixel, uncompressed, on the white of
the about box. Every shape is a distance field sampled 4 x 4 times per pixel, so
the edges are smooth without any imaging library. The output is deterministic:
the checked-in vexo-logo.bmp is exactly what this script writes.

Usage: make_logo.py OUTPUT.bmp
"""

import math
import struct
import sys

WIDTH, HEIGHT = 175, 70
SUBSAMPLES = 4

WHITE = (255, 255, 255)
NAVY = (31, 47, 79)
BLUE = (46, 104, 168)
PALE = (226, 236, 248)
GRID = (92, 140, 196)

LENS_CX, LENS_CY, LENS_R = 35.0, 35.0, 30.0
RING = 3.2


def segment_distance(px, py, ax, ay, bx, by):
    """Distance from (px, py) to the segment from a to b."""
    dx, dy = bx - ax, by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)
    t = max(0.0, min(1.0, t))
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


# The word, in rounded strokes: capital V, then the x-height letters e, x, o.
STROKE = 6.4
BASELINE = 54.0
CAP_TOP = 16.0
X_TOP = 28.0
X_MID = (X_TOP + BASELINE) / 2
X_RADIUS = (BASELINE - X_TOP) / 2 - STROKE / 2


def in_v(x, y):
    left = segment_distance(x, y, 74.0, CAP_TOP + 2, 87.0, BASELINE - 2)
    right = segment_distance(x, y, 100.0, CAP_TOP + 2, 87.0, BASELINE - 2)
    return min(left, right) <= STROKE / 2


def in_e(x, y):
    cx = 115.0
    dx, dy = x - cx, y - X_MID
    r = math.hypot(dx, dy)
    on_ring = abs(r - X_RADIUS) <= STROKE / 2
    # The mouth of the e opens towards the lower right.
    angle = math.degrees(math.atan2(dy, dx))
    in_mouth = 8.0 < angle < 50.0
    bar = abs(dy) <= STROKE / 2 - 0.6 and abs(dx) <= X_RADIUS
    return (on_ring and not in_mouth) or bar


def in_x(x, y):
    a = segment_distance(x, y, 130.0, X_TOP + 2.5, 146.0, BASELINE - 2.5)
    b = segment_distance(x, y, 146.0, X_TOP + 2.5, 130.0, BASELINE - 2.5)
    return min(a, b) <= STROKE / 2


def in_o(x, y):
    return abs(math.hypot(x - 159.5, y - X_MID) - X_RADIUS) <= STROKE / 2


def lens_colour(x, y):
    """Colour of the lens at (x, y), or None outside it."""
    dx, dy = x - LENS_CX, y - LENS_CY
    r = math.hypot(dx, dy)
    if r > LENS_R:
        return None
    if r > LENS_R - RING:
        return NAVY
    # A glint on the upper left of the glass.
    angle = math.degrees(math.atan2(dy, dx))
    if abs(r - 0.72 * LENS_R) < 1.6 and -160.0 < angle < -115.0:
        return WHITE
    # A straight grid seen through a fisheye bows outwards: the world point
    # behind an image point lies further out the further the point is from the
    # centre.
    u, v = dx / (LENS_R - RING), dy / (LENS_R - RING)
    scale = 1.0 + 0.55 * (u * u + v * v)
    wu, wv = u * scale * 2.5, v * scale * 2.5
    line = 0.09 * scale
    if abs(wu - round(wu)) < line or abs(wv - round(wv)) < line:
        return GRID
    return PALE


def sample(x, y):
    colour = lens_colour(x, y)
    if colour is not None:
        return colour
    if in_v(x, y) or in_e(x, y) or in_x(x, y):
        return NAVY
    if in_o(x, y):
        return BLUE
    return WHITE


def render():
    rows = []
    n = SUBSAMPLES
    for py in range(HEIGHT):
        row = []
        for px in range(WIDTH):
            total = [0, 0, 0]
            for sy in range(n):
                for sx in range(n):
                    c = sample(px + (sx + 0.5) / n, py + (sy + 0.5) / n)
                    total[0] += c[0]
                    total[1] += c[1]
                    total[2] += c[2]
            row.append(tuple((t + n * n // 2) // (n * n) for t in total))
        rows.append(row)
    return rows


def write_bmp(path, rows):
    stride = (WIDTH * 3 + 3) & ~3
    image_size = stride * HEIGHT
    offset = 14 + 40
    data = bytearray()
    data += struct.pack("<2sIHHI", b"BM", offset + image_size, 0, 0, offset)
    data += struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, image_size, 2835, 2835, 0, 0)
    for row in reversed(rows):  # bottom-up
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += bytes(stride - len(line))
        data += line
    with open(path, "wb") as out:
        out.write(data)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    write_bmp(sys.argv[1], render())
