#!/usr/bin/env python3
"""Writes the seed corpora in fuzz/corpus/: tiny PNG streams for fuzz_decoder, tiny BMP-variant
frames for fuzz_frame_check. Run from anywhere: python3 fuzz/make_seeds.py

The PNGs are written here with zlib and struct, not by our encoder, so they cover forms our encoder
never writes (grey with alpha, 16-bit colour, interlacing, transparency). Each seed is a few dozen
to a few hundred bytes: libFuzzer mutates small inputs far faster than large ones.
"""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def channels(color_type):
    return {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[color_type]


def packed_row(samples, depth):
    if depth >= 8:
        return b"".join(s.to_bytes(depth // 8, "big") for s in samples)
    out, acc, used = bytearray(), 0, 0
    for s in samples:
        acc = (acc << depth) | s
        used += depth
        if used == 8:
            out.append(acc)
            acc, used = 0, 0
    if used:
        out.append(acc << (8 - used))
    return bytes(out)


def sample(x, y, c, depth, color_type, palette_size):
    limit = palette_size if color_type == 3 else 1 << depth
    return (x * 7 + y * 3 + c * 5 + x * y) % limit


ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]


def png(width, height, depth, color_type, palette_size=0, interlace=False, extra=b""):
    n = channels(color_type)

    def rows_for(xs, ys):
        raw = b""
        for y in ys:
            samples = [sample(x, y, c, depth, color_type, palette_size) for x in xs for c in range(n)]
            raw += b"\x00" + packed_row(samples, depth)
        return raw

    if interlace:
        raw = b""
        for x0, y0, dx, dy in ADAM7:
            xs, ys = range(x0, width, dx), range(y0, height, dy)
            if len(xs) and len(ys):
                raw += rows_for(xs, ys)
    else:
        raw = rows_for(range(width), range(height))
    ihdr = struct.pack(">IIBBBBB", width, height, depth, color_type, 0, 0, 1 if interlace else 0)
    out = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr)
    if color_type == 3:
        out += chunk(b"PLTE", bytes((i * 67 + k * 91) & 255 for i in range(palette_size) for k in range(3)))
    out += extra + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    return out


def frame(width, height, bits, clr_used=0, table=None, tail=b"", cut=0, past_table=False):
    entries = clr_used if clr_used else ({1: 2, 4: 16, 8: 256}.get(bits, 0))
    stride = (width * bits + 31) // 32 * 4
    rows = abs(height)
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, stride * rows, 0, 0, clr_used, 0)
    table_bytes = bytes(table) if table else bytes(((i * 37) & 255, (i * 91) & 255, (i * 13) & 255, 0)[k]
                                                  for i in range(entries) for k in range(4))
    # Palette frames get indices inside their table unless asked otherwise; the encoder may refuse
    # the others, which a separate seed covers.
    wrap = entries if entries and not past_table else 256
    if bits <= 8:
        per_byte = 8 // bits
        pixels = bytes(
            sum(((i * per_byte + k) * 5 % wrap % (1 << bits)) << (8 - bits * (k + 1)) for k in range(per_byte))
            for i in range(stride * rows))
    else:
        pixels = bytes((i * 29 + (i // stride) * 7) & 255 for i in range(stride * rows))
    data = header + table_bytes + pixels + tail
    return data[: len(data) - cut] if cut else data


def write(folder, name, data):
    path = os.path.join(HERE, "corpus", folder, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def main():
    trns_grey = chunk(b"tRNS", struct.pack(">H", 3))
    trns_palette = chunk(b"tRNS", bytes([0, 128, 255]))
    gama_text = chunk(b"gAMA", struct.pack(">I", 45455)) + chunk(b"tEXt", b"Comment\x00seed")
    decoder = {
        "gray1_9x3.png": png(9, 3, 1, 0),
        "gray2_5x3_adam7.png": png(5, 3, 2, 0, interlace=True),
        "gray4_5x3.png": png(5, 3, 4, 0),
        "gray8_4x4_trns.png": png(4, 4, 8, 0, extra=trns_grey),
        "gray16_3x3.png": png(3, 3, 16, 0),
        "rgb8_4x3_gama_text.png": png(4, 3, 8, 2, extra=gama_text),
        "rgb8_9x9_adam7.png": png(9, 9, 8, 2, interlace=True),
        "rgb16_2x2.png": png(2, 2, 16, 2),
        "pal1_9x2.png": png(9, 2, 1, 3, palette_size=2),
        "pal2_5x3.png": png(5, 3, 2, 3, palette_size=3),
        "pal4_5x3_trns.png": png(5, 3, 4, 3, palette_size=11, extra=trns_palette),
        "pal8_4x4.png": png(4, 4, 8, 3, palette_size=20),
        "graya8_3x3.png": png(3, 3, 8, 4),
        "graya16_2x2.png": png(2, 2, 16, 4),
        "rgba8_3x3_adam7.png": png(3, 3, 8, 6, interlace=True),
        "rgba16_2x2.png": png(2, 2, 16, 6),
    }
    # Found by fuzzing: a tEXt chunk that claims 1.9 GB made the decoder allocate that much before
    # reading a byte. Kept as a seed; with -malloc_limit_mb the fuzzer fails on it if it returns.
    ihdr_only = png(1, 1, 8, 2)[:33]
    decoder["text_claims_1950mb.png"] = ihdr_only + struct.pack(">I", 1950547980) + b"tEXt" + b"Comment\x00"
    for name, data in decoder.items():
        write("decoder", name, data)

    frame_check = {
        "bmp1_9x3.bin": frame(9, 3, 1),
        "bmp4_5x3_clr5.bin": frame(5, 3, 4, clr_used=5),
        "bmp8_4x2.bin": frame(4, 2, 8),
        "bmp8_3x3_clr3.bin": frame(3, 3, 8, clr_used=3),
        "bmp8_3x3_clr3_past_table.bin": frame(3, 3, 8, clr_used=3, past_table=True),
        "bmp16_3x3.bin": frame(3, 3, 16),
        "bmp24_5x-3_tail.bin": frame(5, -3, 24, tail=b"\xee\xee"),
        "bmp32_2x2.bin": frame(2, 2, 32),
        "bmp24_4x4_cut.bin": frame(4, 4, 24, cut=1),
    }
    for name, data in frame_check.items():
        write("frame_check", name, data)


if __name__ == "__main__":
    main()
