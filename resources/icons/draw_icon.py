#!/usr/bin/env python3
"""Draws the application icon (a pole-mounted customer display) as an .ico
with 32x32 and 16x16 images, 24 bits per pixel, with a transparency mask.

    python3 draw_icon.py zep.ico
"""
import struct
import sys

T = None  # transparent
HOUSING = (0x37, 0x41, 0x4f)
EDGE = (0x1c, 0x22, 0x2b)
SHINE = (0x6b, 0x77, 0x88)
SCREEN = (0x06, 0x2a, 0x24)
GLOW = (0x3c, 0xf0, 0xb4)
DIM = (0x16, 0x6e, 0x58)
POLE = (0x8a, 0x93, 0xa0)
POLE_DARK = (0x5a, 0x62, 0x6e)


def canvas(size):
    return [[T] * size for _ in range(size)]


def rect(img, x0, y0, x1, y1, color):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            img[y][x] = color


def draw32():
    img = canvas(32)
    # Base plate and pole.
    rect(img, 8, 27, 23, 29, POLE_DARK)
    rect(img, 9, 27, 22, 27, POLE)
    rect(img, 14, 18, 17, 26, POLE)
    rect(img, 17, 18, 17, 26, POLE_DARK)
    # Display housing with a light top edge.
    rect(img, 1, 3, 30, 18, EDGE)
    rect(img, 2, 4, 29, 17, HOUSING)
    rect(img, 2, 4, 29, 4, SHINE)
    # Screen with two lines of lit segments.
    rect(img, 4, 6, 27, 15, SCREEN)
    line1 = [(5, 7), (8, 10), (12, 15), (17, 17), (19, 22)]
    line2 = [(5, 9), (11, 12), (14, 19), (21, 26)]
    for x0, x1 in line1:
        rect(img, x0, 8, x1, 9, GLOW)
    for x0, x1 in line2:
        rect(img, x0, 12, x1, 13, GLOW)
    rect(img, 24, 8, 26, 9, DIM)
    return img


def draw16():
    img = canvas(16)
    rect(img, 4, 14, 11, 15, POLE_DARK)
    rect(img, 7, 9, 8, 13, POLE)
    rect(img, 0, 1, 15, 9, EDGE)
    rect(img, 1, 2, 14, 8, HOUSING)
    rect(img, 2, 3, 13, 7, SCREEN)
    rect(img, 3, 4, 5, 4, GLOW)
    rect(img, 7, 4, 10, 4, GLOW)
    rect(img, 3, 6, 8, 6, GLOW)
    rect(img, 10, 6, 12, 6, GLOW)
    return img


def dib(img):
    size = len(img)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 24, 0, 0, 0, 0, 0, 0)
    xor = bytearray()
    for row in reversed(img):
        line = bytearray()
        for px in row:
            r, g, b = px if px else (0, 0, 0)
            line += bytes((b, g, r))
        while len(line) % 4:
            line.append(0)
        xor += line
    mask = bytearray()
    for row in reversed(img):
        bits = bytearray((size + 31) // 32 * 4)
        for x, px in enumerate(row):
            if px is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(xor) + bytes(mask)


def main(path):
    images = [draw32(), draw16()]
    blobs = [dib(i) for i in images]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for img, blob in zip(images, blobs):
        size = len(img)
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 24, len(blob), offset)
        offset += len(blob)
    for blob in blobs:
        out += blob
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "zep.ico")
