#!/usr/bin/env python3
"""Renders the fisheye sample: a flat scene of straight lines, panels and text,
photographed through an equidistant fisheye lens (the image radius grows with
the angle from the axis, r = f * theta), so that every straight line away from
the centre comes out bent. Standard library only; deterministic.

    python3 samples/make_fisheye_sample.py samples/fisheye.png
    python3 samples/make_fisheye_sample.py --width 360 --height 240 samples/before.png
"""

import argparse
import math
import struct
import zlib

# 5 x 7 glyphs, one string of five characters per row, '#' for ink.
GLYPHS = {
    "A": [" ### ", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"],
    "E": ["#####", "#    ", "#    ", "#### ", "#    ", "#    ", "#####"],
    "F": ["#####", "#    ", "#    ", "#### ", "#    ", "#    ", "#    "],
    "G": [" ### ", "#   #", "#    ", "# ###", "#   #", "#   #", " ### "],
    "H": ["#   #", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"],
    "I": [" ### ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", " ### "],
    "L": ["#    ", "#    ", "#    ", "#    ", "#    ", "#    ", "#####"],
    "M": ["#   #", "## ##", "# # #", "# # #", "#   #", "#   #", "#   #"],
    "N": ["#   #", "##  #", "# # #", "#  ##", "#   #", "#   #", "#   #"],
    "O": [" ### ", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "],
    "P": ["#### ", "#   #", "#   #", "#### ", "#    ", "#    ", "#    "],
    "R": ["#### ", "#   #", "#   #", "#### ", "# #  ", "#  # ", "#   #"],
    "S": [" ####", "#    ", "#    ", " ### ", "    #", "    #", "#### "],
    "T": ["#####", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  "],
    "V": ["#   #", "#   #", "#   #", "#   #", "#   #", " # # ", "  #  "],
    "X": ["#   #", "#   #", " # # ", "  #  ", " # # ", "#   #", "#   #"],
    "Y": ["#   #", "#   #", " # # ", "  #  ", "  #  ", "  #  ", "  #  "],
    " ": ["     "] * 7,
}


class TextLine:
    """A line of text laid out on the scene plane, centred on (cx, cy)."""

    def __init__(self, text, cx, cy, height):
        self.text = text
        self.cell = height / 7.0  # one glyph pixel
        self.advance = 6  # glyph width plus one blank column
        width = (len(text) * self.advance - 1) * self.cell
        self.left = cx - width / 2.0
        self.top = cy - height / 2.0
        self.right = self.left + width
        self.bottom = self.top + height

    def ink(self, u, v):
        if not (self.left <= u < self.right and self.top <= v < self.bottom):
            return False
        column = int((u - self.left) / self.cell)
        row = int((v - self.top) / self.cell)
        glyph = GLYPHS[self.text[column // self.advance]]
        x = column % self.advance
        return x < 5 and glyph[min(row, 6)][x] == "#"


TITLE = TextLine("VEXO FISHEYE SAMPLE", 0.0, -0.05, 0.11)
SUBTITLE = TextLine("STRAIGHT LINES STAY STRAIGHT", 0.0, 0.11, 0.06)

SKY_LINE = -0.55  # scene plane coordinates: the optical axis at 0, +v downwards
GROUND_LINE = 0.62
GRID = 0.25
SCENE_HALF_HEIGHT = 0.886
LINE_HALF_WIDTH = 0.007


def mix(a, b, t):
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def scene(u, v):
    """Colour (0..1 RGB) of the flat scene at plane coordinates (u, v)."""
    if TITLE.ink(u, v) or SUBTITLE.ink(u, v):
        return (0.08, 0.08, 0.1)
    # The banner behind the text, with a thick black frame.
    if -1.0 <= u <= 1.0 and -0.2 <= v <= 0.22:
        if u < -0.97 or u > 0.97 or v < -0.17 or v > 0.19:
            return (0.05, 0.05, 0.05)
        return (0.96, 0.95, 0.9)
    if v < SKY_LINE:
        t = min(1.0, (SKY_LINE - v) / 2.5)
        return mix((0.72, 0.82, 0.93), (0.25, 0.45, 0.78), t)
    if v > GROUND_LINE:
        # Paving: a checkerboard whose edges are all straight lines.
        checker = (math.floor(u / 0.2) + math.floor((v - GROUND_LINE) / 0.2)) % 2
        return (0.36, 0.35, 0.33) if checker else (0.55, 0.53, 0.5)
    # The wall: panels in a grid of dark joints, with a row of windows.
    gu = u / GRID - math.floor(u / GRID)
    gv = (v - SKY_LINE) / GRID - math.floor((v - SKY_LINE) / GRID)
    joint = LINE_HALF_WIDTH / GRID
    if gu < joint or gu > 1 - joint or gv < joint or gv > 1 - joint:
        return (0.18, 0.16, 0.15)
    column = math.floor(u / GRID)
    row = math.floor((v - SKY_LINE) / GRID)
    if row == 0 and 0.2 < gu < 0.8 and 0.15 < gv < 0.85:
        return (0.2, 0.3, 0.4) if gv > 0.5 else (0.45, 0.6, 0.72)
    shade = 0.04 * ((column * 7 + row * 3) % 5)
    return (0.72 - shade, 0.52 - shade, 0.4 - shade)


def render(width, height, diagonal_half_angle, samples):
    """Rows of 8-bit RGB bytes of the fisheye photograph."""
    cx, cy = width / 2.0, height / 2.0
    half_diagonal = math.hypot(cx, cy)
    focal = half_diagonal / diagonal_half_angle  # pixels per radian
    # Whatever the lens, the scene fills the frame alike: the middle of the top
    # edge looks at the same point of the scene.
    zoom = SCENE_HALF_HEIGHT / math.tan(cy / focal)
    seed = 12345
    rows = []
    for py in range(height):
        row = bytearray()
        for px in range(width):
            total = [0.0, 0.0, 0.0]
            for sy in range(samples):
                for sx in range(samples):
                    dx = px + (sx + 0.5) / samples - cx
                    dy = py + (sy + 0.5) / samples - cy
                    r = math.hypot(dx, dy)
                    theta = r / focal
                    scale = zoom * (math.tan(theta) / r if r > 0 else 1.0 / focal)
                    colour = scene(dx * scale, dy * scale)
                    for i in range(3):
                        total[i] += colour[i]
            # Lens vignetting and a little sensor grain, as in a photograph.
            theta = math.hypot(px + 0.5 - cx, py + 0.5 - cy) / focal
            light = 1.0 - 0.3 * (theta / diagonal_half_angle) ** 2
            for i in range(3):
                seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
                grain = ((seed >> 16) % 7 - 3) / 255.0
                value = total[i] / (samples * samples) * light + grain
                row.append(max(0, min(255, int(value * 255.0 + 0.5))))
        rows.append(bytes(row))
    return rows


def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def write_png(path, width, height, rows):
    raw = bytearray()
    for row in rows:
        # Filter 1 (each byte minus the one three to its left) suits smooth shading.
        raw.append(1)
        raw.extend(row[:3])
        raw.extend((row[i] - row[i - 3]) & 0xFF for i in range(3, len(row)))
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(png_chunk(b"IHDR", header))
        out.write(png_chunk(b"pHYs", struct.pack(">IIB", 2835, 2835, 1)))  # 72 dpi
        out.write(png_chunk(b"IDAT", zlib.compress(bytes(raw), 9)))
        out.write(png_chunk(b"IEND", b""))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output", help="PNG file to write")
    parser.add_argument("--width", type=int, default=720)
    parser.add_argument("--height", type=int, default=480)
    parser.add_argument("--angle", type=float, default=45.0,
                        help="half the lens's diagonal field of view, in degrees")
    parser.add_argument("--samples", type=int, default=3,
                        help="samples per pixel along each axis, for smooth edges")
    args = parser.parse_args()
    rows = render(args.width, args.height, math.radians(args.angle), args.samples)
    write_png(args.output, args.width, args.height, rows)


if __name__ == "__main__":
    main()
