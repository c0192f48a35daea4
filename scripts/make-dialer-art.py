#!/usr/bin/env python3
"""Draws the dialer's binary art and writes it in the Windows file formats.

Outputs (committed beside the resource script):
  dialer/res/TzDialer.ico   icon 128: 32x32 24-bit and 16x16 16-colour images
  dialer/res/hand.cur       cursor 135: 32x32 two-colour pointing hand, hot spot (12, 3)
  dialer/res/velmora.bmp    bitmap "VELMORAU": 100x100, 256 colours (the home-page button)
  dialer/res/signin_zn.bmp  sample sign-in picture, 256 colours, for the demo and the tests

Only the standard library is used. Shapes are drawn with 4x4 supersampling and reduced to
the target colour depth with a median-cut palette, so edges stay smooth at 256 colours.
Usage: make-dialer-art.py [output folder]   (default: dialer/res beside this script)
"""
import math
import os
import struct
import sys

SS = 4  # supersampling factor


# ---------------------------------------------------------------------------- canvas

class Canvas:
    """RGB canvas drawn at ss times the final size, then averaged down."""

    def __init__(self, w, h, bg=(0, 0, 0), ss=SS):
        self.ss = ss
        self.w, self.h = w, h
        self.W, self.H = w * ss, h * ss
        self.px = [list(bg) for _ in range(self.W * self.H)]

    def shade(self, fn):
        """fn(x, y) in final-pixel units (floats) -> (r, g, b) or None (keep)."""
        for Y in range(self.H):
            y = (Y + 0.5) / self.ss
            for X in range(self.W):
                c = fn((X + 0.5) / self.ss, y)
                if c is not None:
                    self.px[Y * self.W + X] = list(c)

    def fill_shape(self, inside, colour, x0=0, y0=0, x1=None, y1=None):
        """Paints colour where inside(x, y) holds; the bounding box limits the work."""
        x1 = self.w if x1 is None else x1
        y1 = self.h if y1 is None else y1
        X0, Y0 = max(0, int(x0 * self.ss)), max(0, int(y0 * self.ss))
        X1, Y1 = min(self.W, int(math.ceil(x1 * self.ss))), min(self.H, int(math.ceil(y1 * self.ss)))
        for Y in range(Y0, Y1):
            y = (Y + 0.5) / self.ss
            row = Y * self.W
            for X in range(X0, X1):
                x = (X + 0.5) / self.ss
                if inside(x, y):
                    c = colour(x, y) if callable(colour) else colour
                    self.px[row + X] = list(c)

    def rect(self, x0, y0, x1, y1, colour):
        self.fill_shape(lambda x, y: x0 <= x < x1 and y0 <= y < y1, colour, x0, y0, x1, y1)

    def circle(self, cx, cy, r, colour):
        self.fill_shape(lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r, colour,
                        cx - r, cy - r, cx + r + 1, cy + r + 1)

    def ring(self, cx, cy, r0, r1, a0, a1, colour):
        """Part of an annulus between angles a0..a1 (degrees, 0 = right, counter-clockwise)."""
        def inside(x, y):
            d = math.hypot(x - cx, y - cy)
            if not (r0 <= d <= r1):
                return False
            a = math.degrees(math.atan2(cy - y, x - cx)) % 360
            return a0 <= a <= a1
        self.fill_shape(inside, colour, cx - r1, cy - r1, cx + r1 + 1, cy + r1 + 1)

    def round_rect(self, x0, y0, x1, y1, r, colour):
        def inside(x, y):
            if not (x0 <= x < x1 and y0 <= y < y1):
                return False
            cx = min(max(x, x0 + r), x1 - r)
            cy = min(max(y, y0 + r), y1 - r)
            return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
        self.fill_shape(inside, colour, x0, y0, x1, y1)

    def polygon(self, pts, colour):
        xs = [p[0] for p in pts]
        ys = [p[1] for p in pts]

        def inside(x, y):
            c = False
            j = len(pts) - 1
            for i in range(len(pts)):
                xi, yi = pts[i]
                xj, yj = pts[j]
                if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                    c = not c
                j = i
            return c
        self.fill_shape(inside, colour, min(xs), min(ys), max(xs) + 1, max(ys) + 1)

    def thick_line(self, x0, y0, x1, y1, width, colour):
        dx, dy = x1 - x0, y1 - y0
        n = math.hypot(dx, dy) or 1.0
        ox, oy = -dy / n * width / 2, dx / n * width / 2
        self.polygon([(x0 + ox, y0 + oy), (x1 + ox, y1 + oy), (x1 - ox, y1 - oy), (x0 - ox, y0 - oy)], colour)

    def text(self, s, x, y, scale, colour, spacing=1):
        """Draws s with the 5x7 font; (x, y) is the top-left corner, scale pixels per dot."""
        cx = x
        for ch in s:
            glyph = FONT.get(ch)
            if glyph is None:
                cx += 4 * scale
                continue
            for gy, row in enumerate(glyph):
                for gx, bit in enumerate(row):
                    if bit == '#':
                        self.rect(cx + gx * scale, y + gy * scale, cx + (gx + 1) * scale,
                                  y + (gy + 1) * scale, colour)
            cx += (len(glyph[0]) + spacing) * scale
        return cx

    @staticmethod
    def text_width(s, scale, spacing=1):
        w = 0
        for ch in s:
            glyph = FONT.get(ch)
            w += (len(glyph[0]) + spacing) * scale if glyph else 4 * scale
        return w - spacing * scale

    def pixels(self):
        """Final-size pixels, rows top to bottom, each (r, g, b)."""
        out = []
        SS_ = self.ss
        n = SS_ * SS_
        for y in range(self.h):
            for x in range(self.w):
                r = g = b = 0
                for sy in range(self.ss):
                    base = (y * self.ss + sy) * self.W + x * self.ss
                    for sx in range(self.ss):
                        p = self.px[base + sx]
                        r += p[0]
                        g += p[1]
                        b += p[2]
                out.append((round(r / n), round(g / n), round(b / n)))
        return out


FONT = {
    'A': [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    'B': ["####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."],
    'C': [".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."],
    'D': ["####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."],
    'E': ["#####", "#....", "#....", "####.", "#....", "#....", "#####"],
    'G': [".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####"],
    'I': ["###", ".#.", ".#.", ".#.", ".#.", ".#.", "###"],
    'L': ["#....", "#....", "#....", "#....", "#....", "#....", "#####"],
    'M': ["#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"],
    'N': ["#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"],
    'O': [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    'P': ["####.", "#...#", "#...#", "####.", "#....", "#....", "#...."],
    'R': ["####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"],
    'S': [".####", "#....", "#....", ".###.", "....#", "....#", "####."],
    'T': ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."],
    'V': ["#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."],
    'W': ["#...#", "#...#", "#...#", "#.#.#", "#.#.#", "##.##", "#...#"],
    'Y': ["#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."],
    '-': [".....", ".....", ".....", "#####", ".....", ".....", "....."],
    '.': [".", ".", ".", ".", ".", ".", "#"],
}


def lerp(a, b, t):
    return tuple(round(a[i] + (b[i] - a[i]) * t) for i in range(3))


# ---------------------------------------------------------------------------- palettes

def median_cut(colours, count):
    """Palette of at most count colours for the given list of (colour, weight)."""
    boxes = [colours]
    while len(boxes) < count:
        # Split the box with the widest channel range (weighted by population).
        best, best_score, best_ch = None, -1, 0
        for i, box in enumerate(boxes):
            if len(box) < 2:
                continue
            for ch in range(3):
                vals = [c[0][ch] for c in box]
                score = (max(vals) - min(vals)) * math.sqrt(sum(c[1] for c in box))
                if score > best_score:
                    best, best_score, best_ch = i, score, ch
        if best is None or best_score <= 0:
            break
        box = sorted(boxes.pop(best), key=lambda c: c[0][best_ch])
        total = sum(c[1] for c in box)
        acc, cut = 0, 1
        for k, c in enumerate(box):
            acc += c[1]
            if acc >= total / 2:
                cut = max(1, min(len(box) - 1, k + 1))
                break
        boxes.append(box[:cut])
        boxes.append(box[cut:])
    pal = []
    for box in boxes:
        total = sum(c[1] for c in box)
        pal.append(tuple(round(sum(c[0][ch] * c[1] for c in box) / total) for ch in range(3)))
    return pal


def quantize(pixels, count, fixed=()):
    """Indexes pixels into a palette of count entries; fixed colours are kept exactly."""
    hist = {}
    for p in pixels:
        hist[p] = hist.get(p, 0) + 1
    if len(hist) + len(fixed) <= count:
        pal = list(fixed) + [c for c in hist if c not in fixed]
    else:
        pal = list(fixed) + median_cut([(c, n) for c, n in hist.items() if c not in fixed], count - len(fixed))
    cache = {}

    def nearest(c):
        if c not in cache:
            cache[c] = min(range(len(pal)), key=lambda i: sum((pal[i][k] - c[k]) ** 2 for k in range(3)))
        return cache[c]
    idx = [nearest(p) for p in pixels]
    while len(pal) < count:
        pal.append((0, 0, 0))
    return pal, idx


VGA16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
         (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
         (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def nearest_in(pal, c):
    return min(range(len(pal)), key=lambda i: sum((pal[i][k] - c[k]) ** 2 for k in range(3)))


# ---------------------------------------------------------------------------- file formats

def row_bytes(width, bpp):
    return ((width * bpp + 31) // 32) * 4


def info_header(w, h, bpp, colours, image_size):
    return struct.pack('<IiiHHIIiiII', 40, w, h, 1, bpp, 0, image_size, 2835, 2835, colours, 0)


def pack_rows(w, h, bpp, values):
    """values: row-major, top row first; returns bottom-up DIB rows."""
    out = bytearray()
    stride = row_bytes(w, bpp)
    for y in range(h - 1, -1, -1):
        row = values[y * w:(y + 1) * w]
        b = bytearray()
        if bpp == 24:
            for (r, g, bl) in row:
                b += bytes((bl, g, r))
        elif bpp == 8:
            b += bytes(row)
        else:
            per = 8 // bpp
            for x in range(0, w, per):
                v = 0
                for k in range(per):
                    v <<= bpp
                    if x + k < w:
                        v |= row[x + k]
                b.append(v)
        b += bytes(stride - len(b))
        out += b
    return bytes(out)


def palette_bytes(pal):
    return b''.join(bytes((b, g, r, 0)) for (r, g, b) in pal)


def bmp8(w, h, pixels):
    pal, idx = quantize(pixels, 256)
    bits = pack_rows(w, h, 8, idx)
    table = palette_bytes(pal)
    off = 14 + 40 + len(table)
    hdr = struct.pack('<2sIHHI', b'BM', off + len(bits), 0, 0, off)
    return hdr + info_header(w, h, 8, 256, len(bits)) + table + bits


def and_mask(w, h, opaque):
    return pack_rows(w, h, 1, [0 if o else 1 for o in opaque])


def icon_file(images):
    """images: list of (width, height, bpp, dib bytes incl. header)."""
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, blobs = b'', b''
    for (w, h, bpp, dib) in images:
        colours = (1 << bpp) if bpp < 8 else 0
        entries += struct.pack('<BBBBHHII', w, h, colours, 0, 1, bpp, len(dib), offset)
        blobs += dib
        offset += len(dib)
    return out + entries + blobs


def icon_image(w, h, rgba, bpp):
    opaque = [a >= 128 for (_, a) in rgba]
    rgb = [c for (c, _) in rgba]
    mask = and_mask(w, h, opaque)
    if bpp == 24:
        # Transparent pixels black in the colour image, so the AND/XOR pair shows the background.
        colour = pack_rows(w, h, 24, [c if o else (0, 0, 0) for c, o in zip(rgb, opaque)])
        table = b''
    else:
        idx = [nearest_in(VGA16, c) if o else 0 for c, o in zip(rgb, opaque)]
        colour = pack_rows(w, h, 4, idx)
        table = palette_bytes(VGA16)
    hdr = info_header(w, h * 2, bpp, 16 if bpp == 4 else 0, len(colour) + len(mask))
    return (w, h, bpp, hdr + table + colour + mask)


def cursor_file(w, h, hot, white, black):
    """Two-colour cursor: white and black are sets of (x, y); everything else is transparent."""
    xor = [1 if (x, y) in white else 0 for y in range(h) for x in range(w)]
    andm = [0 if ((x, y) in white or (x, y) in black) else 1 for y in range(h) for x in range(w)]
    colour = pack_rows(w, h, 1, xor)
    mask = pack_rows(w, h, 1, andm)
    hdr = info_header(w, h * 2, 1, 2, len(colour) + len(mask))
    dib = hdr + palette_bytes([(0, 0, 0), (255, 255, 255)]) + colour + mask
    out = struct.pack('<HHH', 0, 2, 1)
    out += struct.pack('<BBBBHHII', w, h, 0, 0, hot[0], hot[1], len(dib), 22)
    return out + dib


# ---------------------------------------------------------------------------- the art

BLUE_DARK = (16, 52, 112)
BLUE = (30, 104, 196)
BLUE_LIGHT = (120, 184, 240)
ORANGE = (244, 140, 32)
WHITE = (255, 255, 255)
TEAL_DARK = (10, 64, 72)
TEAL = (20, 120, 128)


def draw_logo(c, cx, cy, r, flat=False):
    """The round Tessory mark: a blue disc, a white T and two orange signal arcs."""
    if flat:
        c.circle(cx, cy, r, (0, 0, 128))
        c.ring(cx, cy, r * 0.80, r, 0, 360, (0, 0, 255))
    else:
        c.circle(cx, cy, r, lambda x, y: lerp(BLUE_LIGHT, BLUE_DARK, min(1, max(0, (y - cy + r) / (2 * r)))))
        c.ring(cx, cy, r * 0.88, r, 0, 360, (230, 240, 255))
    bar = r * 0.22
    c.rect(cx - r * 0.55, cy - r * 0.55, cx + r * 0.55, cy - r * 0.55 + bar, WHITE)
    c.rect(cx - bar / 2, cy - r * 0.55, cx + bar / 2, cy + r * 0.62, WHITE)
    arc = (255, 255, 0) if flat else ORANGE
    c.ring(cx + r * 0.28, cy + r * 0.02, r * 0.30, r * 0.42, 300, 360, arc)
    c.ring(cx + r * 0.28, cy + r * 0.02, r * 0.30, r * 0.42, 0, 60, arc)
    if not flat:
        c.ring(cx + r * 0.28, cy + r * 0.02, r * 0.52, r * 0.64, 310, 360, arc)
        c.ring(cx + r * 0.28, cy + r * 0.02, r * 0.52, r * 0.64, 0, 50, arc)


def make_icon(size, flat):
    """(colour, coverage) per pixel. The background is the rim colour, so that edge pixels that
    the mask keeps blend into the rim instead of into black."""
    ss = 1 if flat else SS
    rim = (0, 0, 255) if flat else (230, 240, 255)
    c = Canvas(size, size, rim, ss)
    draw_logo(c, size / 2, size / 2, size / 2 - 0.5, flat)
    m = Canvas(size, size, (0, 0, 0), ss)
    m.circle(size / 2, size / 2, size / 2 - 0.5, WHITE)
    return [(p, a[0]) for p, a in zip(c.pixels(), m.pixels())]


def make_button():
    w = h = 100
    c = Canvas(w, h, (236, 236, 236))
    c.round_rect(2, 2, 98, 98, 12, lambda x, y: lerp((64, 164, 170), TEAL_DARK, y / 100))
    # A bold V: a white left stroke and an orange right stroke meeting at the bottom.
    c.polygon([(22, 14), (36, 14), (52, 52), (45, 64)], WHITE)
    c.polygon([(64, 14), (78, 14), (52, 64), (45, 64), (52, 52)], ORANGE)
    tw = Canvas.text_width("VELMORA", 2)
    c.text("VELMORA", (w - tw) / 2, 74, 2, WHITE)
    return w, h, c.pixels()


def make_signin():
    # The frame of control 1003 less two pixels on each side, with the dialog font's
    # metrics on Windows (225 x 90 dialog units at 6 x 13 base units).
    w, h = 333, 142
    c = Canvas(w, h)
    c.shade(lambda x, y: lerp((196, 226, 250), (40, 96, 176), (y / h) * 0.8 + (x / w) * 0.2))
    # Soft waves across the lower half: the line of the broadband network.
    for k, (col, amp, base) in enumerate([((255, 255, 255), 6, 104), ((250, 170, 70), 5, 114),
                                          ((220, 236, 252), 4, 124)]):
        def inside(x, y, amp=amp, base=base, k=k):
            yc = base + amp * math.sin(x / 34.0 + k * 1.3)
            return abs(y - yc) < 1.6
        c.fill_shape(inside, col, 0, base - amp - 3, w, base + amp + 3)
    draw_logo(c, 52, 56, 36)
    c.text("TESSORY", 104, 30, 5, (255, 255, 255))
    c.text("TESSORY", 102, 28, 5, BLUE_DARK)
    c.text("BROADBAND SIGN-IN", 104, 72, 2, (255, 255, 255))
    return w, h, c.pixels()


def make_hand():
    """32x32 pointing hand, fingertip at (12, 3); returns (white, black) pixel sets."""
    shape = [
        "..........##....................",
        ".........#..#...................",
        ".........#..#...................",
        ".........#..#...................",
        ".........#..#...................",
        ".........#..####................",
        ".........#..#..####.............",
        ".........#..#..#..###...........",
        "......##.#..#..#..#..#..........",
        "......#.##.....#..#..#..........",
        "......#..#...........#..........",
        ".......#.#...........#..........",
        ".......#.............#..........",
        "........#............#..........",
        "........#...........#...........",
        ".........#..........#...........",
        ".........#.........#............",
        "..........#........#............",
        "..........##########............",
    ]
    # Shift so that the fingertip's top pixel sits at the hot spot (12, 3).
    tip_x = shape[0].index('#') + 1
    dx, dy = 12 - tip_x, 3
    black, white = set(), set()
    for y, row in enumerate(shape):
        inside_cols = [x for x, ch in enumerate(row) if ch == '#']
        for x, ch in enumerate(row):
            if ch == '#':
                black.add((x + dx, y + dy))
        # Interior: between the outermost outline pixels of the row, not on the outline.
        if len(inside_cols) >= 2 and 0 < y < len(shape) - 1:
            for x in range(inside_cols[0] + 1, inside_cols[-1]):
                if row[x] != '#' and not outside(shape, x, y):
                    white.add((x + dx, y + dy))
    white -= black
    return white, black


def outside(shape, x, y):
    """True when (x, y) is reachable from the border without crossing the outline."""
    h, w = len(shape), len(shape[0])
    key = id(shape)
    if key not in _outside_cache:
        seen = set()
        stack = [(0, 0)]
        while stack:
            px, py = stack.pop()
            if (px, py) in seen or not (0 <= px < w and 0 <= py < h) or shape[py][px] == '#':
                continue
            seen.add((px, py))
            stack += [(px + 1, py), (px - 1, py), (px, py + 1), (px, py - 1)]
        _outside_cache[key] = seen
    return (x, y) in _outside_cache[key]


_outside_cache = {}


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, '..', 'dialer', 'res')
    os.makedirs(out, exist_ok=True)

    big = make_icon(32, False)
    small = make_icon(16, True)
    with open(os.path.join(out, 'TzDialer.ico'), 'wb') as f:
        f.write(icon_file([icon_image(32, 32, big, 24), icon_image(16, 16, small, 4)]))

    white, black = make_hand()
    with open(os.path.join(out, 'hand.cur'), 'wb') as f:
        f.write(cursor_file(32, 32, (12, 3), white, black))

    w, h, px = make_button()
    with open(os.path.join(out, 'velmora.bmp'), 'wb') as f:
        f.write(bmp8(w, h, px))

    w, h, px = make_signin()
    with open(os.path.join(out, 'signin_zn.bmp'), 'wb') as f:
        f.write(bmp8(w, h, px))


if __name__ == '__main__':
    main()
