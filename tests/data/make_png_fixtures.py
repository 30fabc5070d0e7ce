#!/usr/bin/python3
"""Writes the PNG fixtures in tests/data/png/ that the codec tests decode.

Run with Debian's interpreter (python3-pil): /usr/bin/python3 tests/data/make_png_fixtures.py

Every picture comes from a second PNG writer, never from our own encoder: PIL where it can write
the form, otherwise the small zlib + struct writer below (PIL writes no interlaced files, no 2- or
4-bit grayscale, no 16-bit colour and no palette of 3 entries at 8 bits). Each file is read back
with PIL afterwards, so the hand-written ones are checked by an independent reader too.

The pixels follow formulas that tests/codec/png_fixture_test.cpp computes on its own; there is no
sidecar. With (x, y) counted from the top-left pixel:

  Channel(x, y, c) = (x * A[c] + y * B[c] + K[c]) & 255
      A = (19, 5, 11, 23), B = (7, 31, 3, 13), K = (0, 64, 128, 200), c = 0 red, 1 green, 2 blue,
      3 alpha.
  Index(x, y, n) = (x + 3 * y) % n
      the sample of palette pictures with n entries, and of grayscale pictures at depth d with
      n = 2 ** d (the grey level, which draws as level * 255 / (n - 1)).
  PaletteEntry(i) = ((i * 67 + 13) & 255, (i * 151 + 41) & 255, (i * 29 + 200) & 255)   (R, G, B)
  Grey16(x, y) = (x * 0x1234 + y * 0x0F0F + 0x0102) & 0xFFFF
  Wide(v) = v * 256 + (v ^ 0x15)
      16-bit colour samples for an 8-bit value v: the high byte is v, and both cutting to the high
      byte and rounding to the nearest 8-bit value give v back, while the low byte differs from v.

  name                  writer  form                              picture
  rgb8_13x7             PIL     truecolour 8                      Channel c = 0..2
  rgb8_13x7_adam7       hand    same, interlaced                  same
  pal4_13x7             PIL     palette 4 bits, 11 entries        Index(n = 11)
  pal4_13x7_adam7       hand    same, interlaced                  same
  gray2_13x7            hand    grayscale 2                       Index(n = 4)
  gray2_13x7_adam7      hand    same, interlaced                  same
  pal1_13x3             PIL     palette 1 bit, 2 entries          Index(n = 2)
  pal2_7x5              PIL     palette 2 bits, 3 entries         Index(n = 3)
  pal8_3_5x5            hand    palette 8 bits, 3 entries         Index(n = 3)
  pal8_20_7x5           PIL     palette 8 bits, 20 entries        Index(n = 20)
  pal2_trns_7x5         PIL     as pal2_7x5 plus tRNS             same as pal2_7x5
  gray1_13x3            PIL     grayscale 1                       Index(n = 2)
  gray4_5x7             hand    grayscale 4                       Index(n = 16)
  gray8_13x5            PIL     grayscale 8                       Index(n = 256)
  gray8_trns_text_13x5  PIL     as gray8_13x5 plus tRNS, tEXt     same as gray8_13x5
  gray16_5x7            PIL     grayscale 16                      Grey16
  rgb16_7x5             hand    truecolour 16                     Wide(Channel c = 0..2)
  rgba8_7x5             PIL     truecolour + alpha 8              Channel c = 0..3
  rgba16_5x3            hand    truecolour + alpha 16             Wide(Channel c = 0..3)
  graya8_5x7            PIL     grayscale + alpha 8               grey Channel c = 0, alpha c = 3
"""

import io
import os
import struct
import sys
import zlib

from PIL import Image, PngImagePlugin

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "png")

A = (19, 5, 11, 23)
B = (7, 31, 3, 13)
K = (0, 64, 128, 200)


def channel(x, y, c):
    return (x * A[c] + y * B[c] + K[c]) & 255


def index(x, y, n):
    return (x + 3 * y) % n


def palette_entry(i):
    return ((i * 67 + 13) & 255, (i * 151 + 41) & 255, (i * 29 + 200) & 255)


def grey16(x, y):
    return (x * 0x1234 + y * 0x0F0F + 0x0102) & 0xFFFF


def wide(v):
    return v * 256 + (v ^ 0x15)


def palette_bytes(n):
    return b"".join(bytes(palette_entry(i)) for i in range(n))


# ------------------------------------------------------------------ the hand writer

CHANNELS = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}
ADAM7 = ((0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2),
         (0, 1, 1, 2))


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def pack_row(samples, depth):
    """One scanline's samples as bytes, big-endian, sub-byte samples packed from the high bits."""
    if depth == 16:
        return b"".join(struct.pack(">H", s) for s in samples)
    if depth == 8:
        return bytes(samples)
    out = bytearray()
    per_byte = 8 // depth
    for i in range(0, len(samples), per_byte):
        group = samples[i:i + per_byte]
        value = 0
        for j, s in enumerate(group):
            value |= s << (8 - depth * (j + 1))
        out.append(value)
    return bytes(out)


def hand_png(width, height, depth, color_type, pixel, interlaced=False, plte=None):
    """pixel(x, y) returns the tuple of samples of one pixel. Filter type 0 on every row."""
    def scanlines(xs, ys):
        raw = bytearray()
        for y in ys:
            samples = [s for x in xs for s in pixel(x, y)]
            raw += b"\0" + pack_row(samples, depth)
        return raw

    if interlaced:
        raw = bytearray()
        for x0, y0, dx, dy in ADAM7:
            xs, ys = range(x0, width, dx), range(y0, height, dy)
            if len(xs) and len(ys):  # empty passes carry no bytes at all
                raw += scanlines(xs, ys)
    else:
        raw = scanlines(range(width), range(height))
    ihdr = struct.pack(">IIBBBBB", width, height, depth, color_type, 0, 0, 1 if interlaced else 0)
    body = chunk(b"IHDR", ihdr)
    if plte is not None:
        body += chunk(b"PLTE", plte)
    body += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    return b"\x89PNG\r\n\x1a\n" + body + chunk(b"IEND", b"")


# ------------------------------------------------------------------ PIL pictures

def pil_rgb(width, height):
    im = Image.new("RGB", (width, height))
    im.putdata([tuple(channel(x, y, c) for c in range(3))
                for y in range(height) for x in range(width)])
    return im


def pil_palette(width, height, n):
    im = Image.new("P", (width, height))
    im.putpalette(palette_bytes(n))
    im.putdata([index(x, y, n) for y in range(height) for x in range(width)])
    return im


def pil_save(im, **options):
    out = io.BytesIO()
    im.save(out, "PNG", **options)
    return out.getvalue()


def gray_levels(width, height, n):
    return [index(x, y, n) for y in range(height) for x in range(width)]


def build():
    files = {}

    files["rgb8_13x7"] = pil_save(pil_rgb(13, 7))
    files["rgb8_13x7_adam7"] = hand_png(
        13, 7, 8, 2, lambda x, y: tuple(channel(x, y, c) for c in range(3)), interlaced=True)

    files["pal4_13x7"] = pil_save(pil_palette(13, 7, 11))
    files["pal4_13x7_adam7"] = hand_png(
        13, 7, 4, 3, lambda x, y: (index(x, y, 11),), interlaced=True, plte=palette_bytes(11))

    files["gray2_13x7"] = hand_png(13, 7, 2, 0, lambda x, y: (index(x, y, 4),))
    files["gray2_13x7_adam7"] = hand_png(13, 7, 2, 0, lambda x, y: (index(x, y, 4),),
                                         interlaced=True)

    files["pal1_13x3"] = pil_save(pil_palette(13, 3, 2))
    files["pal2_7x5"] = pil_save(pil_palette(7, 5, 3))
    files["pal8_3_5x5"] = hand_png(5, 5, 8, 3, lambda x, y: (index(x, y, 3),),
                                   plte=palette_bytes(3))
    files["pal8_20_7x5"] = pil_save(pil_palette(7, 5, 20))
    files["pal2_trns_7x5"] = pil_save(pil_palette(7, 5, 3), transparency=1)

    one = Image.new("1", (13, 3))
    one.putdata([255 * v for v in gray_levels(13, 3, 2)])
    files["gray1_13x3"] = pil_save(one)
    files["gray4_5x7"] = hand_png(5, 7, 4, 0, lambda x, y: (index(x, y, 16),))
    grey = Image.new("L", (13, 5))
    grey.putdata(gray_levels(13, 5, 256))
    files["gray8_13x5"] = pil_save(grey)
    text = PngImagePlugin.PngInfo()
    text.add_text("Comment", "ancillary chunks change nothing")
    files["gray8_trns_text_13x5"] = pil_save(grey, transparency=7, pnginfo=text)

    g16 = Image.new("I;16", (5, 7))
    g16.putdata([grey16(x, y) for y in range(7) for x in range(5)])
    files["gray16_5x7"] = pil_save(g16)

    files["rgb16_7x5"] = hand_png(
        7, 5, 16, 2, lambda x, y: tuple(wide(channel(x, y, c)) for c in range(3)))

    rgba = Image.new("RGBA", (7, 5))
    rgba.putdata([tuple(channel(x, y, c) for c in range(4)) for y in range(5) for x in range(7)])
    files["rgba8_7x5"] = pil_save(rgba)
    files["rgba16_5x3"] = hand_png(
        5, 3, 16, 6, lambda x, y: tuple(wide(channel(x, y, c)) for c in range(4)))

    la = Image.new("LA", (5, 7))
    la.putdata([(channel(x, y, 0), channel(x, y, 3)) for y in range(7) for x in range(5)])
    files["graya8_5x7"] = pil_save(la)
    return files


# ------------------------------------------------------------------ read-back check

def ihdr_of(data):
    width, height, depth, color_type, _, _, interlace = struct.unpack(">IIBBBBB", data[16:29])
    return width, height, depth, color_type, interlace


def expected_rgba(name, x, y):
    """The colour PIL should report for a pixel, as (R, G, B, A) at 8 bits."""
    if name.startswith("rgb8") or name.startswith("rgb16"):
        return tuple(channel(x, y, c) for c in range(3)) + (255,)
    if name.startswith("rgba"):
        return tuple(channel(x, y, c) for c in range(4))
    if name.startswith("graya8"):
        g = channel(x, y, 0)
        return (g, g, g, channel(x, y, 3))
    entries = {"pal4": 11, "pal1": 2, "pal2": 3, "pal8_3": 3, "pal8_20": 20}
    for prefix, n in sorted(entries.items(), key=lambda e: -len(e[0])):
        if name.startswith(prefix + "_"):
            return palette_entry(index(x, y, n)) + (255,)
    depth = int(name[4:name.index("_")])
    level = index(x, y, 1 << depth) * 255 // ((1 << depth) - 1)
    return (level, level, level, 255)


def check(name, data):
    width, height, depth, color_type, interlace = ihdr_of(data)
    im = Image.open(io.BytesIO(data))
    im.load()
    if name.startswith("gray16"):
        got = [im.getpixel((x, y)) for y in range(height) for x in range(width)]
        want = [grey16(x, y) for y in range(height) for x in range(width)]
        assert got == want, name
        return
    if im.mode == "P" and "transparency" in im.info:
        im.info.pop("transparency")  # compare colours only
    if im.mode == "L" and "transparency" in im.info:
        im.info.pop("transparency")
    rgba = im.convert("RGBA")
    for y in range(height):
        for x in range(width):
            got = rgba.getpixel((x, y))
            want = expected_rgba(name, x, y)
            assert got == want, f"{name} ({x}, {y}): PIL reads {got}, formula says {want}"


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, data in sorted(build().items()):
        check(name, data)
        with open(os.path.join(OUT, name + ".png"), "wb") as f:
            f.write(data)
        width, height, depth, color_type, interlace = ihdr_of(data)
        print(f"{name + '.png':28} {width:3}x{height:<3} depth {depth:2} type {color_type}"
              f"{' interlaced' if interlace else ''}  {len(data)} bytes")
    return 0


if __name__ == "__main__":
    sys.exit(main())
