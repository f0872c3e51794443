#!/usr/bin/env python3
"""Draws the program's own art and writes it as resources:
res/quilbo.ico (32x32, 16 colours) and res/openfolder.bmp (16x13, 24-bit).
Standard library only; rerun after changing a drawing."""
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


def icon_rows():
    size = 32
    rows = [["."] * size for _ in range(size)]
    for y in range(1, 31):
        for x in range(1, 31):
            # Round the corners off with a radius of 4.
            cx = 5 if x < 5 else 26 if x > 26 else x
            cy = 5 if y < 5 else 26 if y > 26 else y
            if (x - cx) ** 2 + (y - cy) ** 2 > 16:
                continue
            edge = (x - cx) ** 2 + (y - cy) ** 2 > 9 or x in (1, 30) or y in (1, 30)
            rows[y][x] = "k" if edge else ("b" if y < 6 else "n")
    # The line the peaks reach.
    for x in range(4, 28):
        rows[7][x] = "y"
    # Bars of the wave, symmetric about row 17, up to the line.
    heights = [3, 6, 9, 5, 10, 7, 4, 8, 10, 6, 3]
    for i, h in enumerate(heights):
        x = 5 + i * 2
        for y in range(17 - h, 17 + h + 1):
            rows[y][x] = "w" if abs(y - 17) < h else "c"
    for x in range(4, 28):
        if rows[17][x] == "n":
            rows[17][x] = "g"
    return rows


def write_icon(path):
    rows = icon_rows()
    size = 32
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(size)):  # bottom-up
        row = rows[y]
        for x in range(0, size, 2):
            hi = ICON_KEY.get(row[x], 0)
            lo = ICON_KEY.get(row[x + 1], 0)
            xor.append((hi << 4) | lo)
        bits = 0
        for x in range(size):
            bits = (bits << 1) | (1 if row[x] == "." else 0)
        mask += struct.pack(">I", bits)  # 32 pixels, already a multiple of 4 bytes
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, len(xor) + len(mask),
                         0, 0, 16, 0)
    image = header + palette + bytes(xor) + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack(
        "<BBBBHHII", size, size, 16, 0, 1, 4, len(image), 6 + 16)
    with open(path, "wb") as out:
        out.write(directory + image)


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


def write_bitmap(path):
    width, height = len(FOLDER[0]), len(FOLDER)
    stride = (width * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(FOLDER):  # bottom-up
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
    write_bitmap(os.path.join(RES, "openfolder.bmp"))
