#!/usr/bin/env python3
"""Draws the tray program's icons and writes them as .ico files (8-bit, 256 colours).

    scripts/make-tray-art.py [output folder, default tray/res]

Corvane.ico: the program icon, 32x32 and 16x16. Tray.ico: the notification-area icon,
16x16. The picture: a blue rounded badge with a white "T" and an orange link arc, drawn
with 8x8 supersampling and reduced to a palette of its own. Standard library only.
"""
import math
import os
import struct
import sys

SS = 8  # samples per pixel along each axis
FACE = (192, 192, 192)  # classic 3-D face colour: half-covered edge pixels blend into it


def lerp(a, b, t):
    return tuple(round(a[i] + (b[i] - a[i]) * t) for i in range(3))


def rounded_rect(x, y, x0, y0, x1, y1, r):
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r and x0 <= x <= x1 and y0 <= y <= y1


def sample(u, v):
    """Colour (r, g, b) or None (transparent) at a point of the unit square."""
    if not rounded_rect(u, v, 0.03, 0.03, 0.97, 0.97, 0.2):
        return None
    # Badge: blue, lighter at the top left; a thin dark rim.
    rim = not rounded_rect(u, v, 0.09, 0.09, 0.91, 0.91, 0.15)
    t = min(1.0, max(0.0, (u * 0.4 + v * 0.8) / 1.2))
    colour = lerp((74, 144, 226), (16, 58, 140), t)
    if rim:
        colour = (12, 40, 100)
    # Orange arc: the link, around the top right corner.
    d = math.hypot(u - 0.30, v - 0.70)
    ang = math.atan2(0.70 - v, u - 0.30)
    if 0.50 <= d <= 0.62 and -0.10 <= ang <= 1.20 and not rim:
        colour = (255, 160, 32)
    # White "T".
    if (0.24 <= u <= 0.76 and 0.22 <= v <= 0.38) or (0.41 <= u <= 0.59 and 0.22 <= v <= 0.80):
        colour = (255, 255, 255)
    return colour


def render(size):
    pixels = []
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0, 0, 0]
            covered = 0
            for sy in range(SS):
                for sx in range(SS):
                    c = sample((x + (sx + 0.5) / SS) / size, (y + (sy + 0.5) / SS) / size)
                    if c is not None:
                        covered += 1
                        for i in range(3):
                            acc[i] += c[i]
            n = SS * SS
            if covered * 2 < n:
                row.append(None)
            else:
                avg = [a / covered for a in acc]
                k = covered / n
                row.append(tuple(round(avg[i] * k + FACE[i] * (1 - k)) for i in range(3)))
        pixels.append(row)
    return pixels


def palette_for(images):
    counts = {}
    for img in images:
        for row in img:
            for c in row:
                if c is not None:
                    counts[c] = counts.get(c, 0) + 1
    colours = sorted(counts, key=lambda c: -counts[c])
    if len(colours) > 255:
        # Merge by 4 bits per channel, keep the 255 most frequent buckets.
        buckets = {}
        for c, n in counts.items():
            key = tuple(v >> 4 for v in c)
            b = buckets.setdefault(key, [0, 0, 0, 0])
            for i in range(3):
                b[i] += c[i] * n
            b[3] += n
        ranked = sorted(buckets.values(), key=lambda b: -b[3])[:255]
        colours = [tuple(round(b[i] / b[3]) for i in range(3)) for b in ranked]
    return [(0, 0, 0)] + colours  # index 0: the transparent pixels' colour


def nearest(pal, c):
    return min(range(1, len(pal)), key=lambda i: sum((pal[i][k] - c[k]) ** 2 for k in range(3)))


def ico_image(img, pal):
    size = len(img)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 8, 0, 0, 0, 0, 256, 0)
    table = b"".join(struct.pack("<BBBB", c[2], c[1], c[0], 0) for c in pal)
    table += b"\0" * (4 * (256 - len(pal)))
    cache = {}
    xor = b""
    for row in reversed(img):
        line = bytes(0 if c is None else cache.setdefault(c, nearest(pal, c)) for c in row)
        xor += line + b"\0" * ((-len(line)) % 4)
    mask = b""
    for row in reversed(img):
        bits = 0
        line = b""
        for x, c in enumerate(row):
            bits = (bits << 1) | (1 if c is None else 0)
            if x % 8 == 7:
                line += bytes([bits])
                bits = 0
        if size % 8:
            line += bytes([bits << (8 - size % 8)])
        mask += line + b"\0" * ((-len(line)) % 4)
    return header + table + xor + mask


def write_ico(path, sizes):
    images = [render(s) for s in sizes]
    pal = palette_for(images)
    blobs = [ico_image(img, pal) for img in images]
    out = struct.pack("<HHH", 0, 1, len(blobs))
    offset = 6 + 16 * len(blobs)
    for s, blob in zip(sizes, blobs):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 8, len(blob), offset)
        offset += len(blob)
    with open(path, "wb") as f:
        f.write(out + b"".join(blobs))


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "tray", "res")
    write_ico(os.path.join(folder, "Corvane.ico"), [32, 16])
    write_ico(os.path.join(folder, "Tray.ico"), [16])


if __name__ == "__main__":
    main()
