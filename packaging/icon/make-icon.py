#!/usr/bin/env python3
"""Draws the programs' icons and writes them beside this script. Corvil
Switcher's: the 48 x 48 pixel drawing as corvil-switcher.png, and the same
shapes as a scalable drawing, corvil-switcher.svg, and rendered smoothly at
128 and 256 pixels (corvil-switcher-128.png, -256.png). For Windows, one .ico
a program with 16, 24, 32, 48 and 256 pixel images (the 48 of the switcher
its pixel drawing): corvil-switcher.ico, corvilctl.ico and
corvil-emulator.ico (the switcher's artwork on a panel of their own colour),
fathom-host.ico (an analyser's bars). The artwork: a routing matrix, eight
input dots on the left joined to two outputs."""
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
    size = len(px)
    raw = b"".join(b"\0" + bytes(v for p in row for v in p) for row in px)
    def chunk(t, d):
        return struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d) & 0xFFFFFFFF)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def ico(images):
    """An .ico of several sizes: 32-bit images with an AND mask, 256 as PNG."""
    blobs = []
    for px in images:
        size = len(px)
        if size >= 256:
            blobs.append((size, png(px)))
            continue
        header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
        xor = b"".join(bytes(v for (r, g, b, a) in px[y] for v in (b, g, r, a)) for y in reversed(range(size)))
        mask = b""
        for y in reversed(range(size)):
            row = bytearray((size + 31) // 32 * 4)
            for x in range(size):
                if not px[y][x][3]:
                    row[x // 8] |= 0x80 >> (x % 8)
            mask += bytes(row)
        blobs.append((size, header + xor + mask))
    out = struct.pack("<HHH", 0, 1, len(blobs))
    offset = 6 + 16 * len(blobs)
    for size, blob in blobs:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    return out + b"".join(blob for _, blob in blobs)


# The same drawing as shapes on a 48-unit square, for any size.
INPUTS = [7 + 5 * i + 0.5 for i in range(8)]
OUTPUTS = [16.5, 32.5]
ROUTES = {0: 2, 1: 6}


def shapes(bg=BG, panel=PANEL):
    """(kind, colour, geometry) in drawing order."""
    out = [("round", bg, (2, 2, 44, 44, 4)), ("round", panel, (3, 3, 42, 42, 3))]
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


def analyser():
    """fathom-host's: an analyser's bars on a dark panel."""
    out = [("round", (30, 30, 36), (2, 2, 44, 44, 4)), ("round", (48, 48, 58), (3, 3, 42, 42, 3))]
    for i, h in enumerate([14, 24, 32, 20, 28, 12, 18]):
        out.append(("rect", (90, 210, 120), (7 + i * 5, 41 - h, 4, h)))
    return out


def render(size, drawing=None, samples=4):
    """The shapes at size x size pixels, each pixel the mean of samples^2 points."""
    drawing = drawing or shapes()
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
    open(os.path.join(here, "corvil-switcher-%d.png" % size), "wb").write(png(render(size)))
pixels = draw()
open(os.path.join(here, "corvil-switcher.png"), "wb").write(png(pixels))
programs = {
    "corvil-switcher": shapes(),
    "corvilctl": shapes((40, 40, 44), (72, 72, 80)),
    "corvil-emulator": shapes((20, 76, 48), (36, 118, 76)),
    "fathom-host": analyser(),
}
for name, drawing in programs.items():
    images = [pixels if name == "corvil-switcher" and size == 48 else render(size, drawing)
              for size in (16, 24, 32, 48, 256)]
    open(os.path.join(here, name + ".ico"), "wb").write(ico(images))
