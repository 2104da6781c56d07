#!/usr/bin/env python3
"""Generate res/icons/, the Tolvane application icon as resource data.

The icon has four 32-bit images (16, 32, 48 and 64 px), each stored as an
icon resource is: a BITMAPINFOHEADER with doubled height, bottom-up BGRA
rows, then an empty 1-bpp AND mask. Every pixel is opaque. group.bin lists
them for an icon group; both of the executable's groups use it, so the
images are stored once.

Artwork: the top half is green with "Num" in black; the bottom half is black
with a light grey "C" in the left quarter and "S" in the right quarter. The
letters are hand-drawn pixel glyphs, one set per size, so nothing depends on
a font rasteriser and the output is byte-for-byte reproducible.

The generated files are committed; rerun this after changing the artwork:

    python3 tools/make_icons.py
"""

import os
import struct
import sys

GREEN = (130, 220, 100)
BLACK = (0, 0, 0)
GREY = (208, 208, 208)

# Glyph bitmaps: '#' is ink, '.' is background. Glyphs in one word are
# bottom-aligned, so lower-case letters simply have fewer rows.
GLYPHS = {
    16: {
        "N": [
            "#..#",
            "##.#",
            "#.##",
            "#..#",
            "#..#",
        ],
        "u": [
            "#.#",
            "#.#",
            "#.#",
            ".##",
        ],
        "m": [
            "####.",
            "#.#.#",
            "#.#.#",
            "#.#.#",
        ],
        "C": [
            ".###",
            "#...",
            "#...",
            "#...",
            "#...",
            ".###",
        ],
        "S": [
            ".###",
            "#...",
            ".##.",
            "...#",
            "...#",
            "###.",
        ],
    },
    32: {
        "N": [
            "###...##",
            "###...##",
            "####..##",
            "####..##",
            "##.##.##",
            "##.##.##",
            "##..####",
            "##..####",
            "##...###",
            "##...###",
        ],
        "u": [
            "##..##",
            "##..##",
            "##..##",
            "##..##",
            "##..##",
            "##.###",
            ".#####",
        ],
        "m": [
            "#########.",
            "##########",
            "##..##..##",
            "##..##..##",
            "##..##..##",
            "##..##..##",
            "##..##..##",
        ],
        "C": [
            "..#####.",
            ".#.....#",
            "#.......",
            "#.......",
            "#.......",
            "#.......",
            "#.......",
            "#.......",
            ".#.....#",
            "..#####.",
        ],
        "S": [
            "..#####.",
            ".#.....#",
            "#.......",
            "#.......",
            ".####...",
            "...####.",
            ".......#",
            ".......#",
            "#.....#.",
            ".#####..",
        ],
    },
    48: {
        "N": [
            "####....###",
            "####....###",
            "#####...###",
            "#####...###",
            "######..###",
            "######..###",
            "###.###.###",
            "###.###.###",
            "###..######",
            "###..######",
            "###...#####",
            "###...#####",
            "###....####",
            "###....####",
        ],
        "u": [
            "###....###",
            "###....###",
            "###....###",
            "###....###",
            "###....###",
            "###....###",
            "###....###",
            "####..####",
            ".#########",
            "..########",
        ],
        "m": [
            "#######.#####..",
            "##############.",
            "###############",
            "###...###...###",
            "###...###...###",
            "###...###...###",
            "###...###...###",
            "###...###...###",
            "###...###...###",
            "###...###...###",
        ],
        "C": [
            "....#######.",
            "..##########",
            ".###......##",
            "##..........",
            "##..........",
            "##..........",
            "##..........",
            "##..........",
            "##..........",
            "##..........",
            "##..........",
            "##..........",
            "##..........",
            ".###......##",
            "..##########",
            "....#######.",
        ],
        "S": [
            "....#######.",
            "..##########",
            ".###......##",
            "##..........",
            "##..........",
            "##..........",
            ".###........",
            "..#######...",
            "...#######..",
            "........###.",
            "..........##",
            "..........##",
            "..........##",
            "##......###.",
            "##########..",
            ".#######....",
        ],
    },
    64: {
        "N": [
            "#####......####",
            "######.....####",
            "######.....####",
            "#######....####",
            "#######....####",
            "########...####",
            "########...####",
            "####.####..####",
            "####.####..####",
            "####..####.####",
            "####..####.####",
            "####...########",
            "####...########",
            "####....#######",
            "####....#######",
            "####.....######",
            "####.....######",
            "####......#####",
        ],
        "u": [
            "####.....####",
            "####.....####",
            "####.....####",
            "####.....####",
            "####.....####",
            "####.....####",
            "####.....####",
            "####.....####",
            "#####...#####",
            "#############",
            ".############",
            ".############",
            "...##########",
        ],
        "m": [
            "#########..######...",
            "##################..",
            "###################.",
            "####################",
            "#####..######..#####",
            "####....####....####",
            "####....####....####",
            "####....####....####",
            "####....####....####",
            "####....####....####",
            "####....####....####",
            "####....####....####",
            "####....####....####",
        ],
        "C": [
            ".....#########..",
            "...############.",
            "..####......####",
            ".###..........##",
            ".##.............",
            "##..............",
            "##..............",
            "##..............",
            "##..............",
            "##..............",
            "##..............",
            "##..............",
            "##..............",
            "##..............",
            "##..............",
            ".##.............",
            ".###..........##",
            "..####......####",
            "...############.",
            ".....#########..",
        ],
        "S": [
            ".....#########..",
            "...############.",
            "..####......####",
            ".###..........##",
            ".##.............",
            "##..............",
            "##..............",
            ".##.............",
            ".####...........",
            "...##########...",
            "...##########...",
            "...........####.",
            ".............##.",
            "..............##",
            "..............##",
            ".............##.",
            "##..........###.",
            "####......####..",
            ".############...",
            "..#########.....",
        ],
    },
}

# Blank columns between the letters of "Num" at each size.
WORD_GAP = {16: 1, 32: 2, 48: 3, 64: 3}


def word_bitmap(glyphs, gap):
    """Join glyphs side by side, bottom-aligned, into one bitmap."""
    height = max(len(g) for g in glyphs)
    rows = [""] * height
    for i, glyph in enumerate(glyphs):
        width = len(glyph[0])
        padded = ["." * width] * (height - len(glyph)) + glyph
        for y in range(height):
            rows[y] += ("." * gap if i else "") + padded[y]
    return rows


def stamp(pixels, bitmap, x0, y0, w, h, colour):
    """Draw bitmap centred in the w x h box whose top-left is (x0, y0)."""
    bh = len(bitmap)
    bw = len(bitmap[0])
    assert bw <= w and bh <= h, "glyph does not fit its box"
    left = x0 + (w - bw) // 2
    top = y0 + (h - bh) // 2
    for y, row in enumerate(bitmap):
        for x, cell in enumerate(row):
            if cell == "#":
                pixels[top + y][left + x] = colour


def render(size):
    """Return the artwork for one size as rows (top first) of RGB tuples."""
    glyphs = GLYPHS[size]
    for name, glyph in glyphs.items():
        assert all(len(r) == len(glyph[0]) for r in glyph), (size, name)
    assert len(glyphs["u"]) == len(glyphs["m"]), (size, "x-height")
    half = size // 2
    pixels = [[GREEN if y < half else BLACK for _ in range(size)]
              for y in range(size)]
    num = word_bitmap([glyphs["N"], glyphs["u"], glyphs["m"]], WORD_GAP[size])
    stamp(pixels, num, 0, 0, size, half, BLACK)
    stamp(pixels, glyphs["C"], 0, half, half, half, GREY)
    stamp(pixels, glyphs["S"], half, half, half, half, GREY)
    return pixels


def bmp_image(pixels):
    """Encode one icon image: BITMAPINFOHEADER, BGRA rows, AND mask."""
    size = len(pixels)
    xor = bytearray()
    for row in reversed(pixels):  # bottom-up
        for r, g, b in row:
            xor += bytes((b, g, r, 255))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytes(mask_stride * size)  # all zero: every pixel shows
    header = struct.pack(
        "<IiiHHIIiiII",
        40,             # biSize
        size,           # biWidth
        size * 2,       # biHeight covers colour + mask
        1,              # biPlanes
        32,             # biBitCount
        0,              # biCompression = BI_RGB
        len(xor) + len(mask),
        0, 0, 0, 0,
    )
    return header + bytes(xor) + mask


SIZES = [16, 32, 48, 64]


def group_directory(images):
    """GRPICONDIR: the icon group's list of images, which it names by the
    resource ID of each image (1 to 4) instead of a file offset."""
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    for number, (size, data) in enumerate(images, start=1):
        out += struct.pack("<BBBBHHIH", size % 256, size % 256, 0, 0,
                           1, 32, len(data), number)
    return bytes(out)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        root, "res", "icons")
    os.makedirs(folder, exist_ok=True)
    images = [(size, bmp_image(render(size))) for size in SIZES]
    files = [("icon-%d.dib" % size, data) for size, data in images]
    files.append(("group.bin", group_directory(images)))
    for name, data in files:
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
        print("wrote %s (%d bytes)" % (os.path.join(folder, name), len(data)))


if __name__ == "__main__":
    main()
