#!/usr/bin/env python3
"""Draws the calibration page's pictures into OUTDIR as 24-bit Windows bitmaps:

logo.bmp  the product mark: four ink drops (cyan, magenta, yellow, black)
bars.bmp  solid ink blocks over gradients to white, the areas where a saved
          share of ink shows most
kids.bmp  a photo-like scene (sky, sun, hills, two children, a ball, grass)
          with soft shading and fine texture, where thinning shows in detail

Usage: make_pictures.py OUTDIR
"""
import math
import os
import random
import struct
import sys


def write_bmp(path, width, height, pixel):
    """pixel(x, y) -> (r, g, b) with y = 0 at the top."""
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):  # bottom-up
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((clamp(b), clamp(g), clamp(r)))
        row += bytes(stride - len(row))
        rows.append(bytes(row))
    data = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def clamp(v):
    return max(0, min(255, int(v)))


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


CYAN, MAGENTA, YELLOW, BLACK = (0, 160, 227), (228, 0, 124), (255, 237, 0), (20, 20, 20)
WHITE = (255, 255, 255)


def logo(x, y, width=480, height=120):
    """Four drops side by side on white, each shaded from its centre."""
    inks = (CYAN, MAGENTA, YELLOW, BLACK)
    cell = width // 4
    i = min(3, x // cell)
    cx, cy, radius = i * cell + cell / 2, height * 0.62, height * 0.3
    dx, dy = x - cx, y - cy
    inside = dx * dx + dy * dy <= radius * radius
    # The drop's point: a triangle above the circle.
    tip = height * 0.08
    if not inside and tip <= y < cy:
        half = radius * (y - tip) / (cy - tip)
        inside = abs(dx) <= half * 0.95
    if not inside:
        return WHITE
    shade = min(1.0, math.hypot(dx + radius * 0.35, dy + radius * 0.35) / (radius * 1.6))
    return mix(mix(inks[i], WHITE, 0.45), inks[i], shade)


def bars(x, y, width=330, height=440):
    """Seven columns (C, M, Y, K, red, green, blue): the top third solid, the
    rest a gradient to white, and a strip of fine lines at the bottom."""
    inks = (CYAN, MAGENTA, YELLOW, BLACK, (220, 30, 40), (20, 150, 60), (30, 50, 170))
    column = min(6, x * 7 // width)
    ink = inks[column]
    if x % (width // 7) < 3:
        return WHITE
    if y < height // 3:
        return ink
    if y < height * 5 // 6:
        t = (y - height // 3) / (height * 5 / 6 - height / 3)
        return mix(ink, WHITE, t)
    return ink if (x + y) % 12 < 6 else WHITE


def kids(width=440, height=330, seed=171):
    rnd = random.Random(seed)
    noise = [[rnd.uniform(-12, 12) for _ in range(width)] for _ in range(height)]
    horizon = height * 0.55
    sun = (width * 0.8, height * 0.18, height * 0.09)
    people = [  # (centre x, feet y, size, shirt colour)
        (width * 0.32, height * 0.86, 1.0, (200, 40, 40)),
        (width * 0.55, height * 0.90, 0.85, (40, 90, 200)),
    ]
    ball = (width * 0.72, height * 0.86, height * 0.05)

    def hill(x):
        return horizon - 18 * math.sin(x / width * 5.0) - 10 * math.sin(x / width * 11.0 + 1.0)

    def pixel(x, y):
        n = noise[y][x]
        # Sky to hills to grass.
        if y < hill(x):
            colour = mix((70, 130, 220), (200, 225, 250), y / horizon)
            d = math.hypot(x - sun[0], y - sun[1])
            if d < sun[2]:
                colour = (255, 220, 60)
            elif d < sun[2] * 2.2:
                colour = mix((255, 235, 150), colour, (d - sun[2]) / (sun[2] * 1.2))
            n *= 0.3
        else:
            depth = (y - horizon) / (height - horizon)
            colour = mix((120, 170, 90), (40, 120, 30), max(0.0, min(1.0, depth)))
            if (x * 7 + y * 3) % 11 == 0:
                colour = mix(colour, (20, 70, 15), 0.6)  # blades of grass
        for cx, feet, size, shirt in people:
            head_r = 16 * size
            body_top, body_bottom = feet - 95 * size, feet - 40 * size
            head_y = body_top - head_r
            if math.hypot(x - cx, y - head_y) < head_r:
                shade = 0.75 + 0.25 * (1 - math.hypot(x - cx + 5, y - head_y + 5) / head_r)
                colour = tuple(c * shade for c in (235, 190, 150))
                if head_y - head_r <= y < head_y - head_r * 0.35:
                    colour = (90, 55, 30)  # hair
            elif body_top <= y < body_bottom and abs(x - cx) < (18 + (y - body_top) * 0.15) * size:
                colour = mix(shirt, BLACK, abs(x - cx) / (40 * size) * 0.5)
            elif body_bottom <= y < feet and 4 * size < abs(x - cx) < 14 * size:
                colour = (50, 50, 80)  # legs
            elif body_top + 8 * size <= y < body_top + 14 * size and 18 * size < abs(x - cx) < 40 * size:
                colour = (235, 190, 150)  # arms
        if math.hypot(x - ball[0], y - ball[1]) < ball[2]:
            stripe = int((x - ball[0] + y - ball[1]) / 6) % 2
            colour = (250, 250, 250) if stripe else (240, 160, 0)
        return tuple(c + n for c in colour)

    return pixel


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    write_bmp(os.path.join(out, "logo.bmp"), 480, 120, logo)
    write_bmp(os.path.join(out, "bars.bmp"), 330, 440, bars)
    write_bmp(os.path.join(out, "kids.bmp"), 440, 330, kids())


if __name__ == "__main__":
    main()
