#!/usr/bin/env python3
"""Draws the program's own art and writes it as resources:
res/quilbo.ico (16x16, 24x24, 32x32 and 48x48, 16 colours each: the small and
large icons at 100 %, 150 % and 200 %) and the open-folder
picture res/openfolder.bmp (16x13, 24-bit) with its larger forms for displays
scaled to 150 % and 200 %, res/openfolder24.bmp (24x20) and openfolder32.bmp
(32x26). Standard library only; rerun after changing a drawing."""
import os
import struct

RES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "res")

# The 16-colour palette of Windows, as (r, g, b).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
    (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]

# Icon: a navy tile with rounded corners, a sound wave of white bars whose
# peaks meet a yellow line, the loudness the tool brings them to.
# Letters index PALETTE; "." is transparent.
ICON_KEY = {"k": 0, "n": 4, "b": 12, "w": 15, "y": 11, "c": 14, "g": 8}


# Each size drawn for its own grid rather than shrunk or stretched from one:
# margin and corner radius of the tile, the light band at its top, the row and
# columns of the line, the wave's middle row, first bar, bar spacing, heights.
ICON_DESIGNS = {
    16: dict(margin=0, radius=3, band=3, line=(4, 2, 13), middle=9, first=3, step=2,
             heights=[2, 4, 5, 3, 5, 2]),
    24: dict(margin=1, radius=3, band=4, line=(5, 3, 20), middle=12, first=4, step=2,
             heights=[2, 4, 7, 4, 6, 7, 3, 2]),
    32: dict(margin=1, radius=4, band=6, line=(7, 4, 27), middle=17, first=5, step=2,
             heights=[3, 6, 9, 5, 10, 7, 4, 8, 10, 6, 3]),
    48: dict(margin=1, radius=6, band=9, line=(10, 6, 41), middle=25, first=7, step=3,
             heights=[4, 9, 13, 7, 15, 10, 6, 12, 15, 9, 4]),
}


def icon_rows(size):
    d = ICON_DESIGNS[size]
    m, r = d["margin"], d["radius"]
    lo, hi = m + r, size - 1 - m - r
    rows = [["."] * size for _ in range(size)]
    for y in range(m, size - m):
        for x in range(m, size - m):
            # Round the corners off.
            cx = lo if x < lo else hi if x > hi else x
            cy = lo if y < lo else hi if y > hi else y
            if (x - cx) ** 2 + (y - cy) ** 2 > r * r:
                continue
            edge = ((x - cx) ** 2 + (y - cy) ** 2 > (r - 1) ** 2 or x in (m, size - 1 - m)
                    or y in (m, size - 1 - m))
            rows[y][x] = "k" if edge else ("b" if y < d["band"] else "n")
    # The line the peaks reach.
    line_y, x0, x1 = d["line"]
    for x in range(x0, x1 + 1):
        rows[line_y][x] = "y"
    # Bars of the wave, symmetric about the middle row, up to the line; on the
    # largest grid each bar is two pixels wide.
    mid = d["middle"]
    width = 2 if d["step"] == 3 else 1
    for i, h in enumerate(d["heights"]):
        for x in range(d["first"] + i * d["step"], d["first"] + i * d["step"] + width):
            for y in range(mid - h, mid + h + 1):
                rows[y][x] = "w" if abs(y - mid) < h else "c"
    for x in range(x0, x1 + 1):
        if rows[mid][x] == "n":
            rows[mid][x] = "g"
    return rows


def icon_image(size):
    rows = icon_rows(size)
    xor = bytearray()
    mask = bytearray()
    mask_stride = ((size + 31) // 32) * 4
    for y in reversed(range(size)):  # bottom-up
        row = rows[y]
        for x in range(0, size, 2):
            hi = ICON_KEY.get(row[x], 0)
            lo = ICON_KEY.get(row[x + 1], 0)
            xor.append((hi << 4) | lo)
        bits = 0
        for x in range(size):
            bits = (bits << 1) | (1 if row[x] == "." else 0)
        bits <<= mask_stride * 8 - size
        mask += bits.to_bytes(mask_stride, "big")
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, len(xor) + len(mask),
                         0, 0, 16, 0)
    return header + palette + bytes(xor) + bytes(mask)


def write_icon(path):
    sizes = sorted(ICON_DESIGNS)
    images = [icon_image(size) for size in sizes]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        directory += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    with open(path, "wb") as out:
        out.write(directory + b"".join(images))


# Open folder: yellow body, olive flap, a small black arrow; silver background,
# whose bottom-left pixel tells the program which colour is transparent.
FOLDER = [
    "..........kkk...",
    "...........kk.k.",
    ".kkkk.....k.k...",
    "kyyyyk...k......",
    "kywwyykkkkkkk...",
    "kyyyyyyyyyyyk...",
    "kyyyykkkkkkkkkk.",
    "kyyykoooooooook.",
    "kyykoooooooook..",
    "kyykooooooook...",
    "kykoooooooook...",
    "kkkkkkkkkkkk....",
    "................",
]
FOLDER_COLOURS = {
    ".": (192, 192, 192), "k": (0, 0, 0), "y": (255, 255, 0), "w": (255, 255, 255),
    "o": (128, 128, 0),
}


def scale2x(rows):
    """Doubles pixel art, rounding its diagonals instead of making steps (EPX)."""
    height, width = len(rows), len(rows[0])
    at = lambda x, y: rows[min(max(y, 0), height - 1)][min(max(x, 0), width - 1)]
    out = [[None] * (width * 2) for _ in range(height * 2)]
    for y in range(height):
        for x in range(width):
            p, a, b, c, d = at(x, y), at(x, y - 1), at(x + 1, y), at(x - 1, y), at(x, y + 1)
            out[2 * y][2 * x] = a if c == a and c != d and a != b else p
            out[2 * y][2 * x + 1] = b if a == b and a != c and b != d else p
            out[2 * y + 1][2 * x] = c if d == c and d != b and c != a else p
            out[2 * y + 1][2 * x + 1] = d if b == d and b != a and d != c else p
    return ["".join(row) for row in out]


def every_other(rows):
    return [row[::2] for row in rows[::2]]


def folder_pictures():
    """The folder at 16x13, and at 150 % and 200 % of it (24x20, 32x26)."""
    twice = scale2x(FOLDER)
    four = scale2x(twice)
    # 150 %: three quarters of the fourfold drawing, taken as every other pixel of
    # its first 48 x 39 after dropping every fourth row and column.
    keep = lambda n: [i for i in range(n) if i % 4 != 3]
    three = ["".join(four[y][x] for x in keep(len(four[0]))) for y in keep(len(four))]
    one_and_half = every_other(three)[:20]
    return {"openfolder.bmp": FOLDER, "openfolder24.bmp": one_and_half,
            "openfolder32.bmp": twice}


def write_bitmap(path, rows):
    width, height = len(rows[0]), len(rows)
    stride = (width * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):  # bottom-up
        line = bytearray()
        for ch in row:
            r, g, b = FOLDER_COLOURS[ch]
            line += bytes((b, g, r))
        line += b"\0" * (stride - len(line))
        pixels += line
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    with open(path, "wb") as out:
        out.write(header + info + bytes(pixels))


if __name__ == "__main__":
    write_icon(os.path.join(RES, "quilbo.ico"))
    for name, rows in folder_pictures().items():
        write_bitmap(os.path.join(RES, name), rows)
