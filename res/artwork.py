#!/usr/bin/env python3
"""Draws the tool's own artwork: the terms dialog's side banner (bitmap 119) and the icon (group 115).

    artwork.py OUTPUT_DIR    writes banner.bmp and MigrationTool.ico

The logo is ours: a white ring on the brand blue, cut by an arrow leaving it to the lower right, for an
agent moving on. Everything is computed here (no image files in the repository), deterministically.
"""
import math
import os
import struct
import sys
import zlib

BLUE = (31, 95, 168)
WHITE = (255, 255, 255)


def ring_and_arrow(x, y):
    """Coverage of the logo at (x, y) in a unit square centred on (0.5, 0.5): 1 inside, 0 outside."""
    cx, cy = x - 0.46, y - 0.46
    r = math.hypot(cx, cy)
    if 0.23 <= r <= 0.34:
        return 1.0
    # The arrow's shaft, from the ring's centre to the lower right.
    ux, uy = (cx + cy) / math.sqrt(2), (cy - cx) / math.sqrt(2)
    if 0.05 <= ux <= 0.40 and abs(uy) <= 0.055:
        return 1.0
    # Its head: a triangle pointing along the shaft.
    if 0.34 <= ux <= 0.52 and abs(uy) <= (0.52 - ux) * 0.75:
        return 1.0
    return 0.0


def sample(shape, x0, y0, size, samples=4):
    """Antialiased coverage of one pixel."""
    hits = 0.0
    for i in range(samples):
        for j in range(samples):
            hits += shape(x0 + (i + 0.5) * size / samples, y0 + (j + 0.5) * size / samples)
    return hits / (samples * samples)


def mix(a, b, t):
    return tuple(round(a[k] * (1 - t) + b[k] * t) for k in range(3))


def banner():
    """164 x 312, one colour with a white band near the bottom carrying the logo; rows top to bottom."""
    width, height = 164, 312
    band_top, band_bottom = 226, 292
    logo = 56
    left, top = (width - logo) // 2, band_top + (band_bottom - band_top - logo) // 2
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            if not band_top <= y < band_bottom:
                row.append(BLUE)
            elif left <= x < left + logo and top <= y < top + logo:
                cover = sample(ring_and_arrow, (x - left) / logo, (y - top) / logo, 1 / logo)
                row.append(mix(WHITE, BLUE, cover))
            else:
                row.append(WHITE)
        rows.append(row)
    return width, height, rows


def write_bmp(path, width, height, rows):
    """24 bits per pixel, uncompressed, bottom-up, 3780 pixels per metre (96 dpi)."""
    stride = (width * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        pixels += line + b"\0" * (stride - len(line))
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 3780, 3780, 0, 0)
    with open(path, "wb") as out:
        out.write(b"BM" + struct.pack("<IHHI", 14 + len(header) + len(pixels), 0, 0, 14 + len(header)))
        out.write(header + pixels)


def icon_pixels(size):
    """RGBA rows: a rounded blue square with the white logo, transparent corners."""
    radius = 0.18
    def square(x, y):
        dx, dy = max(abs(x - 0.5) - (0.5 - radius), 0), max(abs(y - 0.5) - (0.5 - radius), 0)
        return 1.0 if math.hypot(dx, dy) <= radius else 0.0
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            alpha = sample(square, x / size, y / size, 1 / size)
            cover = sample(lambda u, v: ring_and_arrow(u * 1.04 - 0.02, v * 1.04 - 0.02), x / size, y / size, 1 / size)
            r, g, b = mix(BLUE, WHITE, cover)
            row.append((r, g, b, round(alpha * 255)))
        rows.append(row)
    return rows


PALETTE = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
PALETTE += [(v, v, v) for v in range(8, 248, 6)][: 256 - len(PALETTE)]
PALETTE += [(0, 0, 0)] * (256 - len(PALETTE))


def nearest(colour):
    return min(range(len(PALETTE)), key=lambda i: sum((PALETTE[i][k] - colour[k]) ** 2 for k in range(3)))


def and_mask(rows, size):
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(stride)
        for x, pixel in enumerate(row):
            if pixel[3] < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return mask


def ico_image_bmp(rows, size, bpp):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0, 0, 0, 0, 256 if bpp == 8 else 0, 0)
    body = bytearray()
    if bpp == 8:
        cache = {}
        for r, g, b in PALETTE:
            body += bytes((b, g, r, 0))
        stride = (size + 3) & ~3
        for row in reversed(rows):
            line = bytearray()
            for r, g, b, a in row:
                key = (r, g, b) if a >= 128 else (0, 0, 0)
                if key not in cache:
                    cache[key] = nearest(key)
                line.append(cache[key])
            body += line + b"\0" * (stride - len(line))
    else:
        for row in reversed(rows):
            for r, g, b, a in row:
                body += bytes((b, g, r, a))
    return header + body + and_mask(rows, size)


def png(rows, size):
    raw = b"".join(b"\0" + bytes(v for pixel in row for v in pixel) for row in rows)
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def write_ico(path):
    """16, 24, 32 and 48 pixels at 8 and 32 bits per pixel, and 256 pixels at 32 (PNG-compressed)."""
    images = []
    for size in (16, 24, 32, 48):
        rows = icon_pixels(size)
        for bpp in (8, 32):
            images.append((size, bpp, ico_image_bmp(rows, size, bpp)))
    images.append((256, 32, png(icon_pixels(256), 256)))
    offset = 6 + 16 * len(images)
    directory, data = bytearray(struct.pack("<HHH", 0, 1, len(images))), bytearray()
    for size, bpp, image in images:
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, bpp, len(image), offset + len(data))
        data += image
    with open(path, "wb") as out:
        out.write(directory + data)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    write_bmp(os.path.join(out, "banner.bmp"), *banner())
    write_ico(os.path.join(out, "MigrationTool.ico"))


if __name__ == "__main__":
    main()
