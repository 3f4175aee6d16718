#!/usr/bin/env python3
"""Draws the icons and pictures of the language resource libraries.

make_images.py OUTPUT_DIR   writes every file into OUTPUT_DIR
make_images.py --list       prints the file names, one a line

Icons hold a 16x16 and a 32x32 image (32 bits with alpha, plus the AND mask);
bitmaps are 24-bit Windows bitmaps. Everything is drawn from shapes with 4x4
supersampling, so the sources stay small and the output is the same on every
build.
"""
import math
import os
import struct
import sys

SS = 4  # supersampling factor


def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


class Canvas:
    """RGBA floating canvas; shapes are functions (x, y) -> colour or None in
    unit coordinates (0..1 across the canvas), evaluated per subsample."""

    def __init__(self, width, height, background=(0, 0, 0, 0)):
        self.w, self.h = width, height
        self.px = [list(background) for _ in range(width * height)]

    def paint(self, shader, box=None):
        x0, y0, x1, y1 = box if box else (0, 0, self.w, self.h)
        x0, y0 = max(0, int(x0)), max(0, int(y0))
        x1, y1 = min(self.w, int(math.ceil(x1))), min(self.h, int(math.ceil(y1)))
        n = SS * SS
        for y in range(y0, y1):
            for x in range(x0, x1):
                acc = [0.0, 0.0, 0.0, 0.0]
                hits = 0
                for sy in range(SS):
                    for sx in range(SS):
                        c = shader((x + (sx + 0.5) / SS) / self.w, (y + (sy + 0.5) / SS) / self.h)
                        if c is None:
                            continue
                        hits += 1
                        for i in range(3):
                            acc[i] += c[i] * c[3]
                        acc[3] += c[3]
                if not hits:
                    continue
                cover = acc[3] / n
                if cover <= 0:
                    continue
                src = [acc[i] / acc[3] for i in range(3)]
                dst = self.px[y * self.w + x]
                out_a = cover + dst[3] * (1 - cover)
                for i in range(3):
                    dst[i] = (src[i] * cover + dst[i] * dst[3] * (1 - cover)) / out_a if out_a else 0
                dst[3] = out_a

    def rgba_bytes(self):
        return [(int(round(clamp(p[0] / 255) * 255)), int(round(clamp(p[1] / 255) * 255)),
                 int(round(clamp(p[2] / 255) * 255)), int(round(clamp(p[3]) * 255))) for p in self.px]


def rgb(r, g, b, a=1.0):
    return (r, g, b, a)


# --- shapes ---------------------------------------------------------------

def drop(cx, top, bottom, halfwidth):
    """An ink drop: a circle at the bottom with a point at the top."""
    r = halfwidth
    cy = bottom - r

    def inside(x, y):
        if y < top or y > bottom:
            return False
        if y >= cy:
            return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
        # the tip: straight sides tangent to the circle
        t = (y - top) / (cy - top)
        return abs(x - cx) <= r * t ** 1.2
    return inside


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def disc(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def bar(x0, y0, x1, y1, width):
    """A line segment of the given width."""
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy

    def inside(x, y):
        t = clamp(((x - x0) * dx + (y - y0) * dy) / length2)
        px, py = x0 + t * dx, y0 + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= (width / 2) ** 2
    return inside


def fill(shape, colour):
    return lambda x, y: colour if shape(x, y) else None


def gradient_fill(shape, top_colour, bottom_colour, y0, y1):
    def shade(x, y):
        if not shape(x, y):
            return None
        t = clamp((y - y0) / (y1 - y0))
        return tuple(top_colour[i] * (1 - t) + bottom_colour[i] * t for i in range(3)) + (1.0,)
    return shade


# --- icons ----------------------------------------------------------------

INK = (18, 92, 170)
INK_DARK = (8, 48, 110)


def ink_drop_icon(size, grey=False):
    c = Canvas(size, size)
    top_c, bottom_c = ((150, 150, 150), (90, 90, 90)) if grey else ((60, 150, 230), INK_DARK)
    outline = (70, 70, 70) if grey else (5, 30, 80)
    d_out = drop(0.5, 0.02, 0.98, 0.36)
    d_in = drop(0.5, 0.09, 0.92, 0.30)
    c.paint(fill(d_out, rgb(*outline)))
    c.paint(gradient_fill(d_in, top_c, bottom_c, 0.1, 0.95))
    # highlight
    c.paint(fill(disc(0.38, 0.62, 0.07), rgb(255, 255, 255, 0.85)))
    # the saving: a light band of missing dots across the drop
    if not grey:
        for i in range(3):
            c.paint(fill(disc(0.52 + 0.12 * (i - 1), 0.78, 0.035), rgb(210, 230, 250)))
    else:
        c.paint(fill(bar(0.12, 0.14, 0.88, 0.90, 0.13), rgb(200, 30, 30)))
    return c


def printer_icon(size):
    c = Canvas(size, size)
    # paper coming out of the printer, with ink bands thinning to the right
    c.paint(fill(rect(0.22, 0.04, 0.78, 0.50), rgb(90, 90, 90)))
    c.paint(fill(rect(0.25, 0.07, 0.75, 0.50), rgb(255, 255, 255)))
    bands = [(20, 20, 20), (0, 160, 220), (220, 0, 130), (245, 200, 0)]
    for i, col in enumerate(bands):
        y0 = 0.11 + i * 0.09
        c.paint(fill(rect(0.29, y0, 0.71, y0 + 0.05), rgb(*col)))
    # printer body
    c.paint(fill(rect(0.04, 0.42, 0.96, 0.84), rgb(50, 55, 65)))
    c.paint(fill(rect(0.08, 0.46, 0.92, 0.80), rgb(150, 158, 170)))
    c.paint(fill(rect(0.20, 0.66, 0.80, 0.96), rgb(50, 55, 65)))
    c.paint(fill(rect(0.24, 0.66, 0.76, 0.92), rgb(250, 250, 250)))
    c.paint(fill(disc(0.82, 0.55, 0.05), rgb(40, 200, 60)))
    return c


def ico_file(canvases):
    images = []
    for cv in canvases:
        size = cv.w
        header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
        pix = cv.rgba_bytes()
        rows = []
        for y in range(size - 1, -1, -1):  # bottom-up
            rows.append(b''.join(struct.pack('<BBBB', p[2], p[1], p[0], p[3]) for p in pix[y * size:(y + 1) * size]))
        stride = ((size + 31) // 32) * 4
        mask = bytearray()
        for y in range(size - 1, -1, -1):
            row = bytearray(stride)
            for x in range(size):
                if pix[y * size + x][3] < 128:
                    row[x // 8] |= 0x80 >> (x % 8)
            mask += row
        images.append((size, header + b''.join(rows) + bytes(mask)))
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b''.join(data for _, data in images)


# --- bitmaps --------------------------------------------------------------

def bmp_file(cv, background=(255, 255, 255)):
    """Windows bitmap of the canvas composed over the background: 8 bits with
    a palette when at most 256 colours occur, else 24 bits."""
    w, h = cv.w, cv.h
    pixels = []
    for r, g, b, a in cv.rgba_bytes():
        a /= 255
        pixels.append((int(b * a + background[2] * (1 - a)), int(g * a + background[1] * (1 - a)),
                       int(r * a + background[0] * (1 - a))))
    palette = sorted(set(pixels))
    paletted = len(palette) <= 256
    index = {colour: i for i, colour in enumerate(palette)}
    stride = ((w if paletted else w * 3) + 3) & ~3
    body = bytearray()
    for y in range(h - 1, -1, -1):
        line = pixels[y * w:(y + 1) * w]
        row = bytes(index[p] for p in line) if paletted else b''.join(bytes(p) for p in line)
        body += row + b'\0' * (stride - len(row))
    table = b''.join(bytes(p) + b'\0' for p in palette) if paletted else b''
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 8 if paletted else 24, 0, len(body), 2835, 2835,
                       len(palette) if paletted else 0, 0)
    offset = 14 + len(info) + len(table)
    header = struct.pack('<2sIHHI', b'BM', offset + len(body), 0, 0, offset)
    return header + info + table + bytes(body)


class Lcg:
    """Small fixed pseudo-random sequence, the same on every build."""

    def __init__(self, seed):
        self.state = seed

    def next(self):
        self.state = (self.state * 1103515245 + 12345) & 0x7FFFFFFF
        return self.state / 0x7FFFFFFF


# Representative saved share of each preview band (bands 0-6).
BAND_LEVELS = [0, 18, 30, 43, 58, 70, 75]
PREVIEW_W, PREVIEW_H = 184, 72


def preview(level, colours):
    """A sample of printed ink: solid stripes whose dots are thinned by the
    band's share, so the lighter look of a higher level shows."""
    w, h = PREVIEW_W, PREVIEW_H
    cv = Canvas(w, h, (255, 255, 255, 1.0))
    rnd = Lcg(7919 + level)
    keep = 1 - level / 100
    stripe = h // len(colours)
    for y in range(h):
        col = colours[min(y // stripe, len(colours) - 1)]
        for x in range(w):
            if rnd.next() < keep:
                cv.px[y * w + x] = [col[0], col[1], col[2], 1.0]
    # frame
    for x in range(w):
        cv.px[x] = cv.px[(h - 1) * w + x] = [128, 128, 128, 1.0]
    for y in range(h):
        cv.px[y * w] = cv.px[y * w + w - 1] = [128, 128, 128, 1.0]
    return cv


BLACK_INKS = [(20, 20, 20)]
COLOUR_INKS = [(0, 160, 225), (225, 0, 135), (250, 210, 0)]

ABOUT_W, ABOUT_H = 480, 452


def about_picture():
    """Bitmap 171: a white card with an ink drop and thinning ink bands. The
    program writes its texts at the top right and the bottom left and lays
    the About texts over the pale middle panel, so those parts stay plain."""
    w, h = ABOUT_W, ABOUT_H
    cv = Canvas(w, h, (255, 255, 255, 1.0))
    # drop at the top left
    s = 1.0 / w
    t = 1.0 / h
    cv.paint(fill(drop(40 * s, 6 * t, 70 * t, 26 * s), rgb(5, 30, 80)), (10, 4, 72, 74))
    cv.paint(gradient_fill(drop(40 * s, 12 * t, 66 * t, 21 * s), (60, 150, 230), INK_DARK, 12 * t, 66 * t),
             (10, 4, 72, 74))
    cv.paint(fill(disc(33 * s, 48 * t, 5 * s), rgb(255, 255, 255, 0.85)), (24, 40, 42, 56))
    # ink bands, thinning from left to right
    rnd = Lcg(4242)
    bands = [(20, 20, 20), (0, 160, 225), (225, 0, 135), (250, 210, 0)]
    x0, x1 = 80, 280
    for i, col in enumerate(bands):
        y0 = 10 + i * 14
        for y in range(y0, y0 + 10):
            for x in range(x0, x1):
                keep = 1 - 0.75 * (x - x0) / (x1 - x0)
                if rnd.next() < keep:
                    cv.px[y * w + x] = [col[0], col[1], col[2], 1.0]
    # pale panel under the About texts
    for y in range(84, 340):
        for x in range(8, w - 8):
            cv.px[y * w + x] = [244, 247, 251, 1.0]
    # rule above the bottom texts
    for x in range(8, w - 8):
        cv.px[350 * w + x] = [18, 92, 170, 1.0]
    return cv


def outputs():
    files = {
        'app.ico': lambda: ico_file([ink_drop_icon(16), ink_drop_icon(32)]),
        'disable_ink.ico': lambda: ico_file([ink_drop_icon(16, grey=True), ink_drop_icon(32, grey=True)]),
        'print_demo.ico': lambda: ico_file([printer_icon(16), printer_icon(32)]),
        'about.bmp': lambda: bmp_file(about_picture()),
    }
    for band, level in enumerate(BAND_LEVELS):
        files['preview_black_%d.bmp' % band] = (lambda lv=level: bmp_file(preview(lv, BLACK_INKS)))
        files['preview_colour_%d.bmp' % band] = (lambda lv=level: bmp_file(preview(lv, COLOUR_INKS)))
    return files


def main():
    files = outputs()
    if sys.argv[1:] == ['--list']:
        print('\n'.join(sorted(files)))
        return
    out_dir = sys.argv[1]
    os.makedirs(out_dir, exist_ok=True)
    for name in sorted(files):
        with open(os.path.join(out_dir, name), 'wb') as f:
            f.write(files[name]())


if __name__ == '__main__':
    main()
