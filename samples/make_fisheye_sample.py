#!/usr/bin/env python3
"""Renders the fisheye sample: a flat scene of straight lines, panels and text, put
through the inverse of the plug-in's own lens model at its built-in preset, fitted to
the image's size as the plug-in fits it. Correcting the result with the plug-in gives
back the flat scene, up to resampling, so every straight line of the scene comes out
straight.

The model bows only the lines that run along the short side (the verticals of a wide
image): it takes each line of the corrected image along the long side (each row of a
wide image) from a single such line of the fisheye image. So the scene's lines along the
long side are straight in the fisheye image already; only their spacing differs.
Standard library only; deterministic.

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
    "C": [" ### ", "#   #", "#    ", "#    ", "#    ", "#   #", " ### "],
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
    "U": ["#   #", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "],
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
SUBTITLE = TextLine("VERTICAL LINES COME OUT STRAIGHT", 0.0, 0.11, 0.06)

SKY_LINE = -0.55  # scene plane coordinates: the image centre at 0, +v downwards
GROUND_LINE = 0.62
GRID = 0.25
SCENE_HALF_HEIGHT = 0.886  # from the centre to the top edge of the corrected image
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


def f32(x):
    """x rounded to the nearest single-precision float, the plug-in's arithmetic."""
    return struct.unpack("<f", struct.pack("<f", x))[0]


# The plug-in's built-in lens preset, the one every run of it applies.
PRESET = {name: f32(value) for name, value in {
    "HS": 1.0649, "V3": 0.0, "VC3": 0.145, "V5": 0.08, "RR": 1.509, "Twist": 0.0,
    "VCQ3": 0.18, "VS": 1.0649, "H3": 0.4, "HC3": 0.0, "H5": 0.0, "HC": 0.0}.items()}


class Lens:
    """The plug-in's lens model, fitted to one image size as each run of it does.

    The plug-in maps every position of the corrected image back to the fisheye position it
    samples; source_short and source_long are that map, from_short_source and
    from_long_source its inverse. The geometry and the fit
    are computed in single precision like the plug-in's, the per-pixel map in double.
    Positions are in pixels, 0 at the first pixel's centre, along the long and the short
    side of the image (the columns and rows of a wide image, the other way round for a tall
    one).
    """

    def __init__(self, width, height):
        p = PRESET
        # These terms would make the source's short-side position depend on the long-side
        # one too, which the inverse does not allow for; the preset has none of them.
        assert p["Twist"] == p["HC"] == p["HC3"] == p["H5"] == 0.0
        self.transposed = height > width
        self.long_side, self.short_side = (height, width) if self.transposed else (width, height)
        long_side, short_side = f32(self.long_side), f32(self.short_side)
        diagonal = f32(math.sqrt(f32(short_side * short_side + long_side * long_side)))
        self.radius = f32(f32(diagonal * 0.5) * p["RR"])
        self.inv_radius = f32(1.0 / self.radius)
        self.cl = f32(f32(long_side - 1.0) * 0.5)
        self.cs = f32(f32(short_side - 1.0) * 0.5)
        self.h3, self.v5, self.vc3, self.vcq3 = p["H3"], p["V5"], p["VC3"], p["VCQ3"]
        self.vs = self.fit_short_scale(p["VS"], short_side)
        self.hs = self.vs
        self.v3 = self.fit_long_cubic(p["HS"], p["V3"], long_side)
        # The plug-in runs with neutral strengths, which leave V3 and H3 as they are.

    def fit_short_scale(self, vs, short_side):
        """VS such that the corrected position at the middle of the long side and the start of
        the short side samples the start of the source's short side."""
        tolerance = f32(f32(0.2) / short_side)
        offset = f32(self.cs * self.inv_radius)
        b = vs
        for _ in range(100):
            v = f32(offset * b)
            v = f32(v - f32(f32(f32(v * v) * v) * self.h3))
            ratio = f32(f32(self.cs - f32(self.cs - f32(v * self.radius))) / self.cs)
            b = f32(b / ratio)
            if abs(f32(1.0 - ratio)) <= tolerance:
                return b
        return vs

    def fit_long_cubic(self, hs, v3, long_side):
        """V3 such that the corrected position at the start of the long side and the middle of
        the short side samples one pixel before the start of the source's long side, with
        the long-side scale held within [VS, 1.03 VS]."""
        tolerance = f32(f32(0.2) / long_side)
        highest = f32(self.vs * f32(1.03))
        a, c = hs, v3
        for _ in range(100):
            u = f32(-f32(self.cl * self.inv_radius) * a)
            if c != 0.0:
                u = f32(u - f32(f32(f32(u * u) * u) * c))
            s = f32(u * u)
            u = f32(u + f32(f32(f32(f32(s * s) * u) - f32(s * u)) * self.v5))
            ratio = f32(f32(self.cl - f32(f32(f32(u * self.radius) + self.cl) + 1.0)) / self.cl)
            a = f32(a / ratio)
            k = 1.0
            if a < self.vs:
                k, a = f32(self.vs / a), self.vs
            if a > highest:
                k, a = f32(highest / a), highest
            c = f32(c + f32(f32(k - 1.0) / f32(3.0)))
            if abs(f32(1.0 - ratio)) <= tolerance:
                return c
        return v3

    def source_short(self, s):
        """The source's short-side position for corrected short-side position s, its
        derivative, and the normalised v that the long-side map needs."""
        v0 = -((s - self.cs) * self.inv_radius) * self.vs
        v = v0 - v0 * v0 * v0 * self.h3
        dv = -self.inv_radius * self.vs * (1.0 - 3.0 * v0 * v0 * self.h3)
        return self.cs - v * self.radius, -dv * self.radius, v

    def source_long(self, l, v):
        """The source's long-side position for corrected long-side position l on the row
        whose normalised short-side position is v, and its derivative along l."""
        u1 = (l - self.cl) * self.inv_radius * self.hs
        u2 = u1 - u1 ** 3 * self.v3
        u3 = u2 + (u2 ** 5 - u2 ** 3) * self.v5
        q = v * v
        d = self.vc3 * q + self.vcq3 * q * q
        u4 = u3 + (u3 ** 3 - u3) * d
        root = math.sqrt(1.0 - q)
        derivative = (self.radius * root * (1.0 + (3.0 * u3 * u3 - 1.0) * d)
                      * (1.0 + (5.0 * u2 ** 4 - 3.0 * u2 * u2) * self.v5)
                      * (1.0 - 3.0 * u1 * u1 * self.v3) * self.inv_radius * self.hs)
        return u4 * root * self.radius + self.cl, derivative

    @staticmethod
    def solve(f, target):
        """The x at which f, which returns its value and slope, reaches target; Newton's
        method from x = target."""
        x = target
        for _ in range(50):
            value, slope = f(x)
            step = (value - target) / slope
            x -= step
            if abs(step) < 1e-9:
                break
        return x

    def from_short_source(self, short):
        """The corrected short-side position that samples source position short, and its v."""
        s = self.solve(lambda t: self.source_short(t)[:2], short)
        return s, self.source_short(s)[2]

    def from_long_source(self, long, v):
        """The corrected long-side position that samples source position long on the row of v."""
        return self.solve(lambda t: self.source_long(t, v), long)


def render(width, height, samples):
    """Rows of 8-bit RGB bytes of the fisheye image: at each position, the colour of the
    scene at the corrected position that the plug-in would sample from there."""
    lens = Lens(width, height)
    # The scene fills the corrected image alike at every size: its top edge shows the same
    # row of the scene.
    zoom = SCENE_HALF_HEIGHT / (height / 2.0)
    cx, cy = (width - 1) / 2.0, (height - 1) / 2.0
    half_diagonal = math.hypot(width / 2.0, height / 2.0)
    offsets = [(k + 0.5) / samples - 0.5 for k in range(samples)]
    # The short-side map does not depend on the long-side position: one inverse per
    # position along the short side serves the whole image. Fisheye positions that no
    # corrected pixel samples (by the ends of the long sides, away from the centre line)
    # show the scene beyond the corrected frame, as a lens would.
    short_inverse = [lens.from_short_source(i + o)
                     for i in range(lens.short_side) for o in offsets]
    seed = 12345
    rows = []
    for py in range(height):
        row = bytearray()
        for px in range(width):
            total = [0.0, 0.0, 0.0]
            for sy in range(samples):
                for sx in range(samples):
                    if lens.transposed:
                        s, v = short_inverse[px * samples + sx]
                        x, y = s, lens.from_long_source(py + offsets[sy], v)
                    else:
                        s, v = short_inverse[py * samples + sy]
                        x, y = lens.from_long_source(px + offsets[sx], v), s
                    colour = scene((x - cx) * zoom, (y - cy) * zoom)
                    for i in range(3):
                        total[i] += colour[i]
            # Lens vignetting and a little sensor grain, as in a photograph.
            r = math.hypot(px - cx, py - cy) / half_diagonal
            light = 1.0 - 0.3 * r * r
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
    parser.add_argument("--samples", type=int, default=3,
                        help="samples per pixel along each axis, for smooth edges")
    args = parser.parse_args()
    rows = render(args.width, args.height, args.samples)
    write_png(args.output, args.width, args.height, rows)


if __name__ == "__main__":
    main()
