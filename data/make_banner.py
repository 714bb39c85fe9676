#!/usr/bin/env python3
"""Draws the banner image "mfc100rd.dll": an ordinary 24-bit BMP showing the
product name, sized for the main window's 110 x 16 dialog-unit banner area.

    python3 data/make_banner.py [OUTPUT]   (default: mfc100rd.dll beside this script)

Standard library only; the letters come from the small bitmap font below.
"""

import os
import struct
import sys

WIDTH, HEIGHT = 330, 48
SCALE = 5  # each font pixel becomes a SCALE x SCALE block

# 5 x 7 glyphs, '#' = ink. Lower-case letters sit on the baseline of row 6.
FONT = {
    "Q": [
        ".###.",
        "#...#",
        "#...#",
        "#...#",
        "#.#.#",
        "#..#.",
        ".##.#",
    ],
    "u": [
        ".....",
        ".....",
        "#...#",
        "#...#",
        "#...#",
        "#..##",
        ".##.#",
    ],
    "o": [
        ".....",
        ".....",
        ".###.",
        "#...#",
        "#...#",
        "#...#",
        ".###.",
    ],
    "r": [
        ".....",
        ".....",
        "#.##.",
        "##..#",
        "#....",
        "#....",
        "#....",
    ],
    "v": [
        ".....",
        ".....",
        "#...#",
        "#...#",
        "#...#",
        ".#.#.",
        "..#..",
    ],
    "e": [
        ".....",
        ".....",
        ".###.",
        "#...#",
        "#####",
        "#....",
        ".###.",
    ],
    "x": [
        ".....",
        ".....",
        "#...#",
        ".#.#.",
        "..#..",
        ".#.#.",
        "#...#",
    ],
}

TEXT = "Quorvex"


def background(x, y):
    """A left-to-right blue gradient with a thin light rule along the bottom."""
    if y >= HEIGHT - 3:
        return (0x4F, 0xB3, 0xE8)
    t = x / (WIDTH - 1)
    return (int(0x0B + 0x10 * t), int(0x2A + 0x30 * t), int(0x55 + 0x50 * t))


def draw():
    pixels = [[background(x, y) for x in range(WIDTH)] for y in range(HEIGHT)]
    glyph_w, glyph_h, gap = 5 * SCALE, 7 * SCALE, SCALE
    text_w = len(TEXT) * glyph_w + (len(TEXT) - 1) * gap
    left = (WIDTH - text_w) // 2
    top = (HEIGHT - 3 - glyph_h) // 2
    for n, letter in enumerate(TEXT):
        ox = left + n * (glyph_w + gap)
        for row, line in enumerate(FONT[letter]):
            for col, cell in enumerate(line):
                if cell != "#":
                    continue
                for dy in range(SCALE):
                    for dx in range(SCALE):
                        pixels[top + row * SCALE + dy][ox + col * SCALE + dx] = (0xFF, 0xFF, 0xFF)
    return pixels


def bmp_bytes(pixels):
    row_size = (WIDTH * 3 + 3) & ~3
    image_size = row_size * HEIGHT
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + image_size, 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, image_size, 2835, 2835, 0, 0)
    body = bytearray()
    for y in range(HEIGHT - 1, -1, -1):  # BMP rows run bottom-up
        for r, g, b in pixels[y]:
            body += bytes((b, g, r))
        body += b"\0" * (row_size - WIDTH * 3)
    return header + info + bytes(body)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "mfc100rd.dll")
    with open(out, "wb") as f:
        f.write(bmp_bytes(draw()))


if __name__ == "__main__":
    main()
