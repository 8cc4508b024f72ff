#!/usr/bin/python3
"""Draws Kelvane's icon, a sheet of paper holding two paper frames side by side with the cut
between them, and writes it as a Windows icon (16, 32 and 48 pixels as bitmaps, 256 as PNG).

Usage: scripts/make-icon.py OUT.ico    (the standard library only; the result is committed)
"""
import struct
import sys
import zlib

PAPER = (255, 255, 255, 255)
EDGE = (64, 64, 64, 255)
FRAME = (214, 0, 147, 255)  # the auxiliary colour of paper frames
CUT = (0, 102, 204, 255)
CLEAR = (0, 0, 0, 0)


def draw(size):
    """Rows of RGBA pixels, top row first."""
    px = [[CLEAR] * size for _ in range(size)]
    unit = size / 16.0
    line = max(1, round(size / 32))

    def rect(x0, y0, x1, y1, colour, fill=False):
        a, b, c, d = (round(v * unit) for v in (x0, y0, x1, y1))
        for y in range(b, d):
            for x in range(a, c):
                if fill or x < a + line or x >= c - line or y < b + line or y >= d - line:
                    px[y][x] = colour

    rect(0.5, 2.5, 15.5, 13.5, PAPER, fill=True)
    rect(0.5, 2.5, 15.5, 13.5, EDGE)
    rect(2, 4, 7.5, 12, FRAME)
    rect(8.5, 4, 14, 12, FRAME)
    x = round(8 * unit) - line // 2
    for y in range(round(1 * unit), round(15 * unit)):
        if int(y / unit) % 2 == 0:  # dashed, as a cut is drawn
            for dx in range(line):
                px[y][x + dx] = CUT
    return px


def bitmap_entry(size):
    """A 32-bit BMP image without its file header, bottom row first, then the AND mask."""
    px = draw(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b''.join(bytes((p[2], p[1], p[0], p[3])) for row in reversed(px) for p in row)
    mask_row = ((size + 31) // 32) * 4
    mask = b''
    for row in reversed(px):
        bits = bytearray(mask_row)
        for x, p in enumerate(row):
            if p[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + colour + mask


def png_entry(size):
    px = draw(size)
    raw = b''.join(b'\0' + b''.join(bytes(p) for p in row) for row in px)

    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))

    ihdr = struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0)
    return b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', ihdr) + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b'')


def icon():
    images = [(s, bitmap_entry(s)) for s in (16, 32, 48)] + [(256, png_entry(256))]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b''.join(data for _, data in images)


if __name__ == '__main__':
    with open(sys.argv[1], 'wb') as f:
        f.write(icon())
