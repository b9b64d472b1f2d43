#!/usr/bin/env python3
"""Draws the Corvil Switcher icon (48 x 48, 256 colours) and writes it as
corvil-switcher.png and corvil-switcher.ico beside this script. The artwork:
a routing matrix, eight input dots on the left joined to two outputs."""
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


here = os.path.dirname(os.path.abspath(__file__))
pixels = draw()
open(os.path.join(here, "corvil-switcher.png"), "wb").write(png(pixels))
open(os.path.join(here, "corvil-switcher.ico"), "wb").write(ico(pixels))
