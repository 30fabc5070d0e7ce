// Frames through the encoder and back through the decoder. The decoder on its own is held to
// pictures written by another PNG writer (png_fixture_test.cpp), so a frame that survives the
// trip also shows the encoder wrote what any reader would see.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "tests/codec/codec_test_support.h"

namespace zu {
namespace {

// Values that vary along rows and down columns in every byte of a pixel, so that swapped bytes,
// rows or columns show.
uint32_t TestPixel(uint16_t bit_count, uint32_t entries, int x, int y) {
  switch (bit_count) {
    case 1:
    case 4:
    case 8: return static_cast<uint32_t>(x * 7 + y * 3) % entries;
    case 16: return static_cast<uint32_t>(x * 0x0B0D + y * 0x1357 + 0x2468) & 0xFFFF;
    case 24:
      return (static_cast<uint32_t>(x * 0x1F + y * 0x0D) & 255) << 16 |
             (static_cast<uint32_t>(x * 0x05 + y * 0x3B + 0x40) & 255) << 8 |
             (static_cast<uint32_t>(x * 0x2B + y * 0x11 + 0x80) & 255);
    default:
      // The fourth byte is filled so that a writer taking it as alpha shows up.
      return TestPixel(24, 0, x, y) | (static_cast<uint32_t>(0x5A ^ x ^ (y << 3)) & 255) << 24;
  }
}

struct FrameCase {
  uint16_t bit_count;
  int32_t width;
  int32_t height;  // negative: top-down
  uint32_t clr_used;

  std::string Name() const {
    return std::to_string(width) + " x " + std::to_string(height) + " at " +
           std::to_string(bit_count) + " bits, biClrUsed " + std::to_string(clr_used);
  }
};

struct ExpectedPng {
  uint8_t color_type;
  uint8_t depth;
};

ExpectedPng PngFormFor(uint16_t bit_count) {
  switch (bit_count) {
    case 1:
    case 4:
    case 8: return {3, static_cast<uint8_t>(bit_count)};
    case 16: return {0, 16};
    default: return {2, 8};
  }
}

// Encodes one frame, checks the stream's chunks against the frame, decodes it and compares the
// pictures. One encoder and one decoder serve every case, so state left behind by one call shows
// up in the next.
void RoundTrip(PngFrameEncoder& encoder, PngFrameDecoder& decoder, const FrameCase& c) {
  SCOPED_TRACE(c.Name());
  BitmapHeader probe;
  probe.biBitCount = c.bit_count;
  probe.biClrUsed = c.clr_used;
  const uint32_t entries = ColorTableEntries(probe);
  const Bytes frame = BuildFrame(c.width, c.height, c.bit_count, c.clr_used, [&](int x, int y) {
    return TestPixel(c.bit_count, entries, x, y);
  });
  const Bytes untouched = frame;

  const Encoded png = EncodeChecked(encoder, frame);
  ASSERT_TRUE(png.stream);
  EXPECT_EQ(frame, untouched) << "the encoder wrote into its input";
  ASSERT_GE(png.chunks.size(), 3u);

  // IHDR, a PLTE for palette forms only, IDAT, IEND, and nothing ancillary.
  const PngHeader ihdr = ReadPngHeader(png.chunks.front());
  const ExpectedPng form = PngFormFor(c.bit_count);
  EXPECT_EQ(ihdr.width, static_cast<uint32_t>(c.width));
  EXPECT_EQ(ihdr.height, static_cast<uint32_t>(c.height < 0 ? -c.height : c.height));
  EXPECT_EQ(ihdr.color_type, form.color_type);
  EXPECT_EQ(ihdr.depth, form.depth);
  std::string layout;
  for (const PngChunk& chunk : png.chunks) {
    if (layout.empty() || layout.compare(layout.size() - 4, 4, chunk.type) != 0)
      layout += chunk.type;
  }
  EXPECT_EQ(layout, form.color_type == 3 ? "IHDRPLTEIDATIEND" : "IHDRIDATIEND");
  if (form.color_type == 3) {
    const Bytes& plte = png.chunks[1].data;
    ASSERT_EQ(plte.size(), 3u * entries);
    for (uint32_t i = 0; i < entries; ++i) {
      const uint32_t rgb = (plte[3 * i] << 16) | (plte[3 * i + 1] << 8) | plte[3 * i + 2];
      EXPECT_EQ(rgb, TableColor(i)) << "PLTE entry " << i;
    }
  }

  const Decoded back = DecodeChecked(decoder, png.stream.get(), png.length);
  ASSERT_TRUE(back.frame);
  const FrameLayout& l = back.layout;
  EXPECT_EQ(l.header.biWidth, c.width);
  EXPECT_EQ(l.header.biHeight, c.height < 0 ? -c.height : c.height);
  EXPECT_EQ(l.header.biBitCount, c.bit_count == 32 ? 24 : c.bit_count);
  EXPECT_EQ(l.header.biClrUsed, c.bit_count <= 8 ? entries : 0u);
  ASSERT_EQ(l.color_entries, c.bit_count <= 8 ? entries : 0u);
  for (uint32_t i = 0; i < l.color_entries; ++i) {
    EXPECT_EQ(FrameTableEntry(back.frame.get(), i), TableColor(i)) << "table entry " << i;
  }
  int mismatches = 0;
  for (int y = 0; y < static_cast<int>(l.row_count); ++y) {
    for (int x = 0; x < c.width; ++x) {
      uint32_t want = TestPixel(c.bit_count, entries, x, y);
      if (c.bit_count == 32) want &= 0xFFFFFF;
      const uint32_t got = FramePixel(back.frame.get(), l, x, y);
      if (got != want && ++mismatches <= 5) {
        ADD_FAILURE() << "pixel (" << x << ", " << y << "): got 0x" << std::hex << got
                      << ", sent 0x" << want;
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(PngRoundTrip, EveryBitCountAtOddWidthsBothRowOrders) {
  PngFrameEncoder encoder;
  PngFrameDecoder decoder;
  for (uint16_t bits : {1, 4, 8, 16, 24, 32}) {
    for (int32_t width : {1, 3, 5, 7, 13, 33}) {
      for (int32_t height : {1, 5, -1, -6}) {
        RoundTrip(encoder, decoder, {bits, width, height, 0});
      }
    }
  }
}

TEST(PngRoundTrip, ShortColourTables) {
  PngFrameEncoder encoder;
  PngFrameDecoder decoder;
  const FrameCase cases[] = {
      {1, 13, 3, 1}, {1, 13, -3, 2}, {4, 7, 5, 3},   {4, 7, -5, 16}, {4, 5, 2, 1},
      {8, 5, 4, 3},  {8, 7, -4, 20}, {8, 13, 5, 20}, {8, 3, 3, 256}, {8, 5, 1, 1},
  };
  for (const FrameCase& c : cases) RoundTrip(encoder, decoder, c);
}

TEST(PngRoundTrip, ATableBesideTrueColourIsOnlyAHint) {
  // RoundTrip expects no PLTE and a decoded frame without a table.
  PngFrameEncoder encoder;
  PngFrameDecoder decoder;
  const FrameCase cases[] = {{24, 5, 3, 3}, {24, 7, -2, 256}, {32, 3, 4, 20}, {16, 5, -3, 16}};
  for (const FrameCase& c : cases) RoundTrip(encoder, decoder, c);
}

TEST(PngEncoder, RowOrderPaddingAndTheFourthByteLeaveTheStreamAlone) {
  PngFrameEncoder encoder;
  for (uint16_t bits : {1, 4, 8, 16, 24, 32}) {
    SCOPED_TRACE(std::to_string(bits) + " bits");
    BitmapHeader probe;
    probe.biBitCount = bits;
    const uint32_t entries = ColorTableEntries(probe);
    const auto pixel = [&](int x, int y) { return TestPixel(bits, entries, x, y); };
    const Bytes bottom_up = BuildFrame(13, 5, bits, 0, pixel);
    const Encoded reference = EncodeChecked(encoder, bottom_up);
    ASSERT_TRUE(reference.stream);
    const Bytes want(reference.stream.get(), reference.stream.get() + reference.length);

    const Encoded top_down = EncodeChecked(encoder, BuildFrame(13, -5, bits, 0, pixel));
    ASSERT_TRUE(top_down.stream);
    EXPECT_TRUE(
        SameBytes(Bytes(top_down.stream.get(), top_down.stream.get() + top_down.length), want))
        << "top-down";

    // Every whole byte past the pixels in each row, and at 32 bits every fourth byte, changed.
    // (The unused low bits of a row's last byte are carried into the stream as they are; PNG
    // readers ignore them, so nothing here depends on them either way.)
    Bytes other = bottom_up;
    FrameLayout l;
    ASSERT_EQ(CheckFrame(other.data(), static_cast<int64_t>(other.size()), &l), FrameVerdict::kOk);
    const size_t used_bits = 13u * bits;
    for (uint32_t r = 0; r < l.row_count; ++r) {
      uint8_t* row = &other[l.rows_offset + r * l.row_stride];
      for (size_t i = (used_bits + 7) / 8; i < l.row_stride; ++i) row[i] ^= 0xFF;
      if (bits == 32) {
        for (size_t x = 0; x < 13; ++x) row[4 * x + 3] ^= 0xFF;
      }
    }
    const Encoded changed = EncodeChecked(encoder, other);
    ASSERT_TRUE(changed.stream);
    EXPECT_TRUE(SameBytes(Bytes(changed.stream.get(), changed.stream.get() + changed.length), want))
        << "padding or fourth bytes changed";
  }
}

TEST(PngRoundTrip, SixteenBitFramesComeBackByteForByte) {
  // A bottom-up frame whose padding is zero comes back whole; header fields the decoder has no
  // source for (resolution, biSizeImage) are left out of the comparison.
  Bytes frame = BuildFrame(7, 5, 16, 0, [](int x, int y) { return TestPixel(16, 0, x, y); });
  for (size_t row = 0; row < 5; ++row) std::memset(&frame[40 + row * 16 + 14], 0, 2);
  PngFrameEncoder encoder;
  const Encoded png = EncodeChecked(encoder, frame);
  ASSERT_TRUE(png.stream);
  const Decoded back = DecodeChecked(Bytes(png.stream.get(), png.stream.get() + png.length));
  ASSERT_TRUE(back.frame);
  const Bytes got = back.bytes();
  ASSERT_EQ(got.size(), frame.size());
  EXPECT_TRUE(
      SameBytes(Bytes(got.begin(), got.begin() + 20), Bytes(frame.begin(), frame.begin() + 20)))
      << "biSize to biCompression";
  EXPECT_TRUE(SameBytes(Bytes(got.begin() + 40, got.end()), Bytes(frame.begin() + 40, frame.end())))
      << "rows";
}

TEST(PngEncoder, RefusesFramesThatFailCheckFrame) {
  const auto index = [](int x, int y) { return static_cast<uint32_t>(x + y) & 1; };
  const Bytes good = BuildFrame(5, 3, 24, 0, [](int x, int y) { return 0x010203u * (x + y); });
  const int32_t whole = static_cast<int32_t>(good.size());
  Bytes compressed = good;
  compressed[16] = 1;
  Bytes bad_size = good;
  bad_size[0] = 12;
  const Bytes one_bit_3 = BuildFrame(13, 3, 1, 3, index);
  const Bytes one_bit_20 = BuildFrame(13, 3, 1, 20, index);
  const Bytes four_bit_20 = BuildFrame(7, 3, 4, 20, index);
  const Bytes eight_bit_257 = BuildFrame(7, 3, 8, 257, index);
  struct Row {
    const char* what;
    const Bytes& frame;
    int32_t length;
  };
  const Row rows[] = {
      {"1 bit, 3 colours", one_bit_3, static_cast<int32_t>(one_bit_3.size())},
      {"1 bit, 20 colours", one_bit_20, static_cast<int32_t>(one_bit_20.size())},
      {"4 bits, 20 colours", four_bit_20, static_cast<int32_t>(four_bit_20.size())},
      {"8 bits, 257 colours", eight_bit_257, static_cast<int32_t>(eight_bit_257.size())},
      {"one byte short", good, whole - 1},
      {"header only", good, 40},
      {"length 0", good, 0},
      {"length -1", good, -1},
      {"length INT32_MIN", good, INT32_MIN},
      {"compressed", compressed, whole},
      {"header size 12", bad_size, whole},
  };
  PngFrameEncoder encoder;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    EXPECT_FALSE(EncodeChecked(encoder, r.frame.data(), r.length).stream);
  }
  // The same encoder still works afterwards.
  EXPECT_TRUE(EncodeChecked(encoder, good).stream);
}

}  // namespace
}  // namespace zu
