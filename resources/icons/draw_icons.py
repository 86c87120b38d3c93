#!/usr/bin/env python3
"""Draws the module's six icon groups and writes them as .ico files.

Each icon is described below as a list of simple shapes on a 48-unit canvas
and rendered at 16, 32 and 48 pixels (4x4 samples per pixel for smooth
edges) into 32-bit images with an AND mask. Pure Python, no packages.
The output is the same on every run, so the committed files can be checked
against a fresh one.

    python3 resources/icons/draw_icons.py [OUTPUT_DIR]
"""
import os
import struct
import sys

SIZES = (16, 32, 48)
SAMPLES = 4

# Colours (red, green, blue).
PAPER = (250, 250, 248)
EDGE = (96, 106, 122)
BLUE = (38, 110, 196)
DARK_BLUE = (24, 72, 140)
TEAL = (22, 150, 140)
AMBER = (226, 150, 28)
GREY = (150, 156, 166)
LINE = (160, 172, 190)
WHITE = (255, 255, 255)


# Shapes: each is a test of a point (x, y) in canvas units, and a colour.
def rect(x0, y0, x1, y1, colour):
    return (lambda x, y: x0 <= x < x1 and y0 <= y < y1), colour


def rounded(x0, y0, x1, y1, r, colour):
    def inside(x, y):
        if not (x0 <= x < x1 and y0 <= y < y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside, colour


def ellipse(cx, cy, rx, ry, colour):
    return (lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0), colour


def ring(cx, cy, r_out, r_in, colour):
    def inside(x, y):
        d = (x - cx) ** 2 + (y - cy) ** 2
        return r_in * r_in <= d <= r_out * r_out
    return inside, colour


def polygon(points, colour):
    def inside(x, y):
        hit = False
        j = len(points) - 1
        for i, (xi, yi) in enumerate(points):
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                hit = not hit
            j = i
        return hit
    return inside, colour


def page(band):
    """A sheet with a folded corner, a coloured band and text lines."""
    outline = [(8, 2), (31, 2), (41, 12), (41, 46), (8, 46)]
    inner = [(10, 4), (30, 4), (39, 13), (39, 44), (10, 44)]
    shapes = [polygon(outline, EDGE), polygon(inner, PAPER),
              polygon([(30, 2), (41, 13), (30, 13)], EDGE),
              polygon([(31, 5), (38, 12), (31, 12)], (222, 226, 232)),
              rect(10, 15, 39, 22, band)]
    for y in (26, 31, 36):
        shapes.append(rect(14, y, 35, y + 2.5, LINE))
    return shapes


def launcher():
    return [rounded(3, 3, 45, 45, 9, DARK_BLUE), rounded(5, 5, 43, 43, 8, BLUE),
            ring(22, 22, 13, 8.5, WHITE),
            polygon([(28, 27), (32, 24), (42, 37), (38, 41)], WHITE)]


def data_file():
    body = [rect(8, 10, 40, 38, TEAL), ellipse(24, 38, 16, 6, TEAL)]
    stripes = [ellipse(24, y, 16, 6, (16, 118, 110)) for y in (20, 29)]
    covers = [rect(8, y - 6, 40, y, TEAL) for y in (20, 29)]
    top = [ellipse(24, 10, 16, 6, (90, 196, 186)), ellipse(24, 10, 13, 4, (140, 216, 208))]
    out = [ellipse(24, 38, 17.5, 7.5, (12, 90, 84)), rect(6.5, 10, 41.5, 38, (12, 90, 84)),
           ellipse(24, 10, 17.5, 7.5, (12, 90, 84))]
    shapes = out + body
    for stripe, cover in zip(stripes, covers):
        shapes += [stripe, cover]
    return shapes + top


def table():
    shapes = [rect(4, 6, 44, 42, EDGE), rect(6, 8, 42, 40, PAPER), rect(6, 8, 42, 16, BLUE)]
    for x in (18, 30):
        shapes.append(rect(x, 8, x + 1.5, 40, LINE))
    for y in (24, 32):
        shapes.append(rect(6, y, 42, y + 1.5, LINE))
    return shapes


def chart():
    shapes = [rect(5, 41, 44, 43.5, EDGE), rect(5, 5, 7.5, 43.5, EDGE)]
    for x, top, colour in ((11, 26, BLUE), (20, 14, TEAL), (29, 30, AMBER), (38, 20, DARK_BLUE)):
        shapes.append(rect(x, top, x + 6, 41, colour))
    return shapes


# Groups 100 to 105, in the order the module carries them.
ICONS = [
    ("100_launcher", launcher()),
    ("101_document", page(BLUE)),
    ("102_data_file", data_file()),
    ("103_legacy_document", page(AMBER)),
    ("104_table", table()),
    ("105_chart", chart()),
]


def render(shapes, size):
    """Rows of (r, g, b, a), top row first."""
    scale = 48.0 / size
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0]
            covered = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (px + (sx + 0.5) / SAMPLES) * scale
                    y = (py + (sy + 0.5) / SAMPLES) * scale
                    colour = None
                    for inside, c in shapes:
                        if inside(x, y):
                            colour = c
                    if colour:
                        covered += 1
                        for i in range(3):
                            acc[i] += colour[i]
            n = SAMPLES * SAMPLES
            if covered:
                row.append(tuple(round(v / covered) for v in acc) + (round(255 * covered / n),))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def dib(rows):
    """A 32-bit icon image: header, bottom-up BGRA pixels, AND mask."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return header + bytes(pixels) + bytes(mask)


def ico(shapes):
    images = [dib(render(shapes, s)) for s in SIZES]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, image in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    for image in images:
        out += image
    return bytes(out)


def main():
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    os.makedirs(target, exist_ok=True)
    for name, shapes in ICONS:
        with open(os.path.join(target, name + ".ico"), "wb") as f:
            f.write(ico(shapes))


if __name__ == "__main__":
    main()
