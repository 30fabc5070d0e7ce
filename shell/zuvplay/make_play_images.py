#!/usr/bin/env python3
"""Writes zu_video_play.ico, the play control's icon (ICON 204): 32 x 32, 16 colours, and
zu_video_play_toolbox.bmp, its toolbox bitmap (BITMAP 101): 16 x 15, 16 colours.

A navy film frame with sprocket holes and a yellow play triangle, on a transparent ground. The
play tests look for these pixels where the control draws its icon, so a new design needs new
expectations there (tests/play/play_paint_test.cpp).
"""
import struct
import sys

# The 16 colours of the standard VGA palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, SILVER, YELLOW = 0, 4, 7, 11
SIZE = 32


def pixel(x, y):
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


def toolbox_pixel(x, y):
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


def write_toolbox_bitmap(path, width=16, height=15):
    stride = (width * 4 + 31) // 32 * 4
    rows = bytearray()
    for y in reversed(range(height)):
        row = bytearray()
        for x in range(0, width, 2):
            row.append(toolbox_pixel(x, y) << 4 | toolbox_pixel(x + 1, y))
        rows += row + bytes(stride - len(row))
    table = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 4, 0, len(rows), 0, 0, 16, 0)
    offset = 14 + len(info) + len(table)
    file_header = struct.pack('<2sIHHI', b'BM', offset + len(rows), 0, 0, offset)
    with open(path, 'wb') as f:
        f.write(file_header + info + table + bytes(rows))


def main(path):
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


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'zu_video_play.ico')
    write_toolbox_bitmap(sys.argv[2] if len(sys.argv) > 2 else 'zu_video_play_toolbox.bmp')
