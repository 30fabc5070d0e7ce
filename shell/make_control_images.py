#!/usr/bin/env python3
"""Writes the controls' icons (32 x 32, 16 colours) and toolbox bitmaps (16 x 15, 16 colours):

  make_control_images.py            all four files, beside their libraries' sources

Play (ICON 204, BITMAP 101): a navy film frame with sprocket holes and a yellow play triangle.
Capture (ICON 202, BITMAP 101): a navy camera body with a silver lens and a red recording light.
Both on a transparent ground (the bitmaps on silver, the toolbox's own ground). The paint tests
look for these pixels where the controls draw their icons, so a new design needs new
expectations there (tests/play/play_paint_test.cpp, tests/capture).
"""
import os
import struct

# The 16 colours of the standard VGA palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, SILVER, GREY, RED, YELLOW, WHITE = 0, 4, 7, 8, 9, 11, 15
SIZE = 32


def play_pixel(x, y):
    """Palette index at (x, y) from the top left, or None where the icon is transparent."""
    if not (1 <= x <= 30 and 5 <= y <= 26):
        return None
    if x in (1, 30) or y in (5, 26):
        return BLACK
    if y in (7, 8, 23, 24) and x >= 4 and (x - 4) % 5 < 2 and x <= 25:
        return SILVER
    if 11 <= y <= 20:
        half = min(y - 11, 20 - y)
        if 12 <= x <= 13 + 2 * half:
            return YELLOW
    return NAVY


def play_toolbox_pixel(x, y):
    """The toolbox picture: the icon's film frame and play triangle at half size, on silver,
    which form designers show as the toolbox's own ground."""
    if not (0 <= x <= 15 and 2 <= y <= 12):
        return SILVER
    if x in (0, 15) or y in (2, 12):
        return BLACK
    if 5 <= y <= 9:
        half = min(y - 5, 9 - y)
        if 6 <= x <= 6 + 2 * half:
            return YELLOW
    return NAVY


def capture_pixel(x, y):
    """Palette index at (x, y) from the top left, or None where the icon is transparent."""
    if 11 <= x <= 20 and 5 <= y <= 8:
        return BLACK if x in (11, 20) or y == 5 else NAVY  # the viewfinder hump
    if not (1 <= x <= 30 and 8 <= y <= 27):
        return None
    if x in (1, 30) or y in (8, 27):
        return BLACK
    lens = (x - 16) ** 2 + (y - 17) ** 2
    if lens <= 16:
        return WHITE if lens <= 2 else GREY
    if lens <= 42:
        return SILVER
    if 25 <= x <= 27 and 11 <= y <= 12:
        return RED
    return NAVY


def capture_toolbox_pixel(x, y):
    """The capture icon at half size, on silver."""
    if 6 <= x <= 10 and 1 <= y <= 3:
        return BLACK if x in (6, 10) or y == 1 else NAVY
    if not (0 <= x <= 15 and 3 <= y <= 13):
        return SILVER
    if x in (0, 15) or y in (3, 13):
        return BLACK
    lens = (x - 8) ** 2 + (y - 8) ** 2
    if lens <= 2:
        return GREY
    if lens <= 8:
        return SILVER
    if x == 13 and y == 5:
        return RED
    return NAVY


def write_icon(path, pixel):
    xor_rows, and_rows = [], []
    for y in reversed(range(SIZE)):  # bitmaps are stored bottom-up
        indices = [pixel(x, y) for x in range(SIZE)]
        xor = bytearray()
        for x in range(0, SIZE, 2):
            hi, lo = (indices[x] or 0), (indices[x + 1] or 0)
            xor.append(hi << 4 | lo)
        xor_rows.append(bytes(xor))
        mask = 0
        for x in range(SIZE):
            if indices[x] is None:
                mask |= 1 << (SIZE - 1 - x)
        and_rows.append(struct.pack('>I', mask))
    table = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    bits = b''.join(xor_rows) + b''.join(and_rows)
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, 2 * SIZE, 1, 4, 0, len(bits), 0, 0, 0, 0)
    image = header + table + bits
    directory = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    with open(path, 'wb') as f:
        f.write(directory + entry + image)


def write_toolbox_bitmap(path, pixel, width=16, height=15):
    stride = (width * 4 + 31) // 32 * 4
    rows = bytearray()
    for y in reversed(range(height)):
        row = bytearray()
        for x in range(0, width, 2):
            row.append(pixel(x, y) << 4 | pixel(x + 1, y))
        rows += row + bytes(stride - len(row))
    table = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 4, 0, len(rows), 0, 0, 16, 0)
    offset = 14 + len(info) + len(table)
    file_header = struct.pack('<2sIHHI', b'BM', offset + len(rows), 0, 0, offset)
    with open(path, 'wb') as f:
        f.write(file_header + info + table + bytes(rows))


if __name__ == '__main__':
    here = os.path.dirname(os.path.abspath(__file__))
    write_icon(os.path.join(here, 'zuvplay', 'zu_video_play.ico'), play_pixel)
    write_toolbox_bitmap(os.path.join(here, 'zuvplay', 'zu_video_play_toolbox.bmp'),
                         play_toolbox_pixel)
    write_icon(os.path.join(here, 'zuvcap', 'zu_video_cap.ico'), capture_pixel)
    write_toolbox_bitmap(os.path.join(here, 'zuvcap', 'zu_video_cap_toolbox.bmp'),
                         capture_toolbox_pixel)
