#!/usr/bin/env python3
"""Draws the Corvil Switcher icon and writes it beside this script: the 48 x 48
pixel drawing (256 colours) as corvil-switcher.png and corvil-switcher.ico,
and the same shapes as a scalable drawing, corvil-switcher.svg, and rendered
smoothly at 128 and 256 pixels (corvil-switcher-128.png, -256.png). The
artwork: a routing matrix, eight input dots on the left joined to two
outputs."""
import os
import struct
import zlib

SIZE = 48
BG = (24, 56, 104)
PANEL = (36, 84, 150)
DOT = (230, 236, 245)
LIT = (255, 190, 40)
LINE = (140, 170, 210)


def draw():
    px = [[(0, 0, 0, 0)] * SIZE for _ in range(SIZE)]
    def put(x, y, c):
        if 0 <= x < SIZE and 0 <= y < SIZE:
            px[y][x] = (*c, 255)
    # rounded panel
    for y in range(2, 46):
        for x in range(2, 46):
            corner = min(x - 2, 45 - x, y - 2, 45 - y)
            if corner < 3 and (min(x - 2, 45 - x) < 3 and min(y - 2, 45 - y) < 3):
                dx = (3 - min(x - 2, 45 - x)); dy = (3 - min(y - 2, 45 - y))
                if dx * dx + dy * dy > 10:
                    continue
            put(x, y, BG if (x in (2, 45) or y in (2, 45)) else PANEL)
    inputs = [7 + 5 * i for i in range(8)]
    outputs = [16, 32]
    routes = {0: 2, 1: 6}
    for o, iy in routes.items():
        oy = outputs[o]
        for x in range(10, 38):
            t = (x - 10) / 27.0
            y = round(inputs[iy] + (oy - inputs[iy]) * t)
            put(x, y, LIT); put(x, y + 1, LIT)
    for y in inputs:
        for dx in range(-2, 2):
            for dy in range(-1, 2):
                put(8 + dx, y + dy, DOT)
    for y in outputs:
        for dx in range(-3, 3):
            for dy in range(-3, 3):
                if dx * dx + dy * dy <= 9:
                    put(39 + dx, y + dy, LIT)
    return px


def png(px):
    raw = b"".join(b"\0" + bytes(v for p in row for v in p) for row in px)
    def chunk(t, d):
        return struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d) & 0xFFFFFFFF)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def ico(px):
    # 256-colour BMP image with an AND mask for transparency.
    palette = []
    index = {}
    pixels = []
    for row in px:
        for p in row:
            c = p[:3] if p[3] else (0, 0, 0)
            if c not in index:
                index[c] = len(palette)
                palette.append(c)
            pixels.append(index[c])
    assert len(palette) <= 256
    palette += [(0, 0, 0)] * (256 - len(palette))
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 8, 0, 0, 0, 0, 256, 0)
    pal = b"".join(struct.pack("BBBB", b, g, r, 0) for (r, g, b) in palette)
    xor = b"".join(bytes(pixels[y * SIZE:(y + 1) * SIZE]) for y in reversed(range(SIZE)))
    and_rows = []
    for y in reversed(range(SIZE)):
        bits = 0
        row = b""
        for x in range(SIZE):
            bits = (bits << 1) | (0 if px[y][x][3] else 1)
            if x % 8 == 7:
                row += bytes([bits]); bits = 0
        and_rows.append(row + b"\0" * ((4 - len(row) % 4) % 4))
    image = header + pal + xor + b"".join(and_rows)
    return struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 8, len(image), 22) + image


# The same drawing as shapes on a 48-unit square, for any size.
INPUTS = [7 + 5 * i + 0.5 for i in range(8)]
OUTPUTS = [16.5, 32.5]
ROUTES = {0: 2, 1: 6}


def shapes():
    """(kind, colour, geometry) in drawing order."""
    out = [("round", BG, (2, 2, 44, 44, 4)), ("round", PANEL, (3, 3, 42, 42, 3))]
    for o, i in ROUTES.items():
        out.append(("line", LIT, (10, INPUTS[i] + 0.5, 38, OUTPUTS[o] + 0.5, 2)))
    for y in INPUTS:
        out.append(("rect", DOT, (6, y - 1.5, 4, 3)))
    for y in OUTPUTS:
        out.append(("circle", LIT, (39, y, 3.2)))
    return out


def inside(kind, g, x, y):
    if kind == "rect":
        return g[0] <= x < g[0] + g[2] and g[1] <= y < g[1] + g[3]
    if kind == "circle":
        return (x - g[0]) ** 2 + (y - g[1]) ** 2 <= g[2] ** 2
    if kind == "round":
        x0, y0, w, h, r = g
        cx = min(max(x, x0 + r), x0 + w - r)
        cy = min(max(y, y0 + r), y0 + h - r)
        return x0 <= x <= x0 + w and y0 <= y <= y0 + h and (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    x0, y0, x1, y1, width = g
    dx, dy = x1 - x0, y1 - y0
    t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy)))
    return (x - x0 - t * dx) ** 2 + (y - y0 - t * dy) ** 2 <= (width / 2) ** 2


def render(size, samples=4):
    """The shapes at size x size pixels, each pixel the mean of samples^2 points."""
    drawing = shapes()
    px = []
    for row in range(size):
        line = []
        for col in range(size):
            r = g = b = a = 0
            for sy in range(samples):
                for sx in range(samples):
                    x = (col + (sx + 0.5) / samples) * 48 / size
                    y = (row + (sy + 0.5) / samples) * 48 / size
                    colour = None
                    for kind, c, geometry in drawing:
                        if inside(kind, geometry, x, y):
                            colour = c
                    if colour:
                        r += colour[0]; g += colour[1]; b += colour[2]; a += 1
            n = samples * samples
            line.append((r // a, g // a, b // a, 255 * a // n) if a else (0, 0, 0, 0))
        px.append(line)
    return px


def svg():
    hexc = lambda c: "#%02x%02x%02x" % c
    parts = ['<svg xmlns="http://www.w3.org/2000/svg" width="48" height="48" viewBox="0 0 48 48">']
    for kind, c, g in shapes():
        if kind == "round":
            parts.append('<rect x="%g" y="%g" width="%g" height="%g" rx="%g" fill="%s"/>' % (*g, hexc(c)))
        elif kind == "rect":
            parts.append('<rect x="%g" y="%g" width="%g" height="%g" fill="%s"/>' % (*g, hexc(c)))
        elif kind == "circle":
            parts.append('<circle cx="%g" cy="%g" r="%g" fill="%s"/>' % (*g, hexc(c)))
        else:
            parts.append('<line x1="%g" y1="%g" x2="%g" y2="%g" stroke-width="%g" stroke-linecap="round" '
                         'stroke="%s"/>' % (*g, hexc(c)))
    return "\n".join(parts + ["</svg>", ""])


here = os.path.dirname(os.path.abspath(__file__))
open(os.path.join(here, "corvil-switcher.svg"), "w").write(svg())
for size in (128, 256):
    SIZE = size
    open(os.path.join(here, "corvil-switcher-%d.png" % size), "wb").write(png(render(size)))
SIZE = 48
pixels = draw()
open(os.path.join(here, "corvil-switcher.png"), "wb").write(png(pixels))
open(os.path.join(here, "corvil-switcher.ico"), "wb").write(ico(pixels))
