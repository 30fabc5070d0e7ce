// Streams the decoder must turn away: cut short, altered, not PNG at all, or bigger than a frame
// may be. Natively these run under ASan with leak checking, which also covers the library's
// error returns.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>

#include "tests/codec/codec_test_support.h"

namespace zu {
namespace {

// Fixtures with every critical chunk (and, in the last, ancillary ones) to cut and alter.
const char* const kVictims[] = {"rgb8_13x7", "pal4_13x7", "pal4_13x7_adam7",
                                "gray8_trns_text_13x5"};

Bytes Victim(const char* name) { return ReadTestData(std::string("png/") + name + ".png"); }

TEST(PngDamagedStream, CutShortAnywhereGivesNoFrame) {
  PngFrameDecoder decoder;
  for (const char* name : kVictims) {
    SCOPED_TRACE(name);
    const Bytes png = Victim(name);
    std::vector<PngChunk> chunks;
    ASSERT_TRUE(ParsePng(png.data(), png.size(), &chunks));
    // Inside the signature, then at and just past each chunk's start, after its length and type,
    // in the middle of its data, before its CRC and inside it.
    std::set<size_t> cuts = {1, 4, 7, 8, png.size() - 1};
    for (const PngChunk& c : chunks) {
      const size_t data_end = c.offset + 8 + c.data.size();
      for (size_t cut : {c.offset, c.offset + 1, c.offset + 4, c.offset + 6, c.offset + 8,
                         c.offset + 8 + c.data.size() / 2, data_end - 1, data_end, data_end + 2}) {
        if (cut > 0 && cut < png.size()) cuts.insert(cut);
      }
    }
    for (size_t cut : cuts) {
      // A block of exactly the cut length, so that ASan sees any read past it.
      const Decoded d = DecodeChecked(decoder, Bytes(png.begin(), png.begin() + cut));
      EXPECT_FALSE(d.frame) << "cut to " << cut << " of " << png.size() << " bytes";
    }
    // After all those failures the same decoder still reads the whole stream.
    EXPECT_TRUE(DecodeChecked(decoder, png).frame);
  }
}

TEST(PngDamagedStream, AnAlteredByteInACriticalChunkGivesNoFrame) {
  // The CRC no longer matches, which the library treats as fatal for critical chunks.
  PngFrameDecoder decoder;
  for (const char* name : kVictims) {
    SCOPED_TRACE(name);
    const Bytes png = Victim(name);
    std::vector<PngChunk> chunks;
    ASSERT_TRUE(ParsePng(png.data(), png.size(), &chunks));
    for (const PngChunk& c : chunks) {
      if (c.type != "IHDR" && c.type != "PLTE" && c.type != "IDAT") continue;
      // Every data byte, then every CRC byte.
      for (size_t at = c.offset + 8; at < c.offset + 12 + c.data.size(); ++at) {
        Bytes altered = png;
        altered[at] ^= 0x10;
        const Decoded d = DecodeChecked(decoder, altered);
        EXPECT_FALSE(d.frame) << c.type << " byte " << (at - c.offset - 8) << " (stream offset "
                              << at << ")";
      }
    }
    EXPECT_TRUE(DecodeChecked(decoder, png).frame);
  }
}

TEST(PngDamagedStream, NotPngGivesNoFrame) {
  const Bytes frame = BuildFrame(5, 3, 24, 0, [](int x, int y) { return 0x102030u * (x + y); });
  Bytes bmp_file = {'B', 'M'};  // the same frame behind a BMP file header
  bmp_file.resize(14, 0);
  bmp_file.insert(bmp_file.end(), frame.begin(), frame.end());
  const Bytes signature_only = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes no_ihdr = signature_only;
  const Bytes iend = MakeChunk("IEND", {});
  no_ihdr.insert(no_ihdr.end(), iend.begin(), iend.end());
  const Bytes png = Victim("rgb8_13x7");
  ASSERT_FALSE(png.empty());
  Bytes mangled = png;
  mangled.erase(mangled.begin() + 4);  // as if "\r\n" had become "\n"
  struct Row {
    const char* what;
    const Bytes& bytes;
  };
  const Row rows[] = {
      {"a frame", frame},
      {"a BMP file", bmp_file},
      {"signature only", signature_only},
      {"signature then IEND", no_ihdr},
      {"mangled signature", mangled},
  };
  PngFrameDecoder decoder;
  for (const Row& r : rows) {
    EXPECT_FALSE(DecodeChecked(decoder, r.bytes).frame) << r.what;
  }
}

TEST(PngDamagedStream, LengthsOfZeroAndBelowGiveNoFrame) {
  const Bytes png = Victim("rgb8_13x7");
  ASSERT_FALSE(png.empty());
  PngFrameDecoder decoder;
  for (int32_t length : {0, -1, -static_cast<int32_t>(png.size()), INT32_MIN}) {
    EXPECT_FALSE(DecodeChecked(decoder, png.data(), length).frame) << "length " << length;
  }
  EXPECT_TRUE(DecodeChecked(decoder, png).frame);
}

// ---------------------------------------------------------------- limits

// Pictures made here with rows generated on the fly; they compress to almost nothing.
PngHeader Ihdr(uint32_t width, uint32_t height, uint8_t depth, uint8_t color_type) {
  PngHeader h;
  h.width = width;
  h.height = height;
  h.depth = depth;
  h.color_type = color_type;
  return h;
}

TEST(PngDecodeLimits, SidesUpToTheLimitPassAndOneMoreIsRefused) {
  const uint32_t max = kMaxDecodeDimension;
  struct Row {
    uint32_t width, height;
    bool decodes;
  };
  const Row rows[] = {
      {max, 1, true}, {max + 1, 1, false}, {1, max, true},     {1, max + 1, false},
      {max, 2, true}, {max + 1, 2, false}, {100000, 3, false}, {3, 100000, false},
  };
  PngFrameDecoder decoder;
  for (const Row& r : rows) {
    SCOPED_TRACE(std::to_string(r.width) + " x " + std::to_string(r.height));
    // 8-bit grey, pixel value x + y.
    const Bytes png = MakePngStream(Ihdr(r.width, r.height, 8, 0), [&](uint32_t y, uint8_t* row) {
      for (uint32_t x = 0; x < r.width; ++x) row[x] = static_cast<uint8_t>(x + y);
    });
    const Decoded d = DecodeChecked(decoder, png);
    EXPECT_EQ(static_cast<bool>(d.frame), r.decodes);
    if (d.frame) {
      EXPECT_EQ(d.layout.header.biWidth, static_cast<int32_t>(r.width));
      EXPECT_EQ(d.layout.header.biHeight, static_cast<int32_t>(r.height));
      const uint32_t last_x = r.width - 1, last_y = r.height - 1;
      EXPECT_EQ(FramePixel(d.frame.get(), d.layout, 0, 0), 0u);
      EXPECT_EQ(FramePixel(d.frame.get(), d.layout, last_x, last_y), (last_x + last_y) & 255);
    }
  }
}

TEST(PngDecodeLimits, HugePicturesAreRefusedByTheirDecodedSize) {
  // Both sides within kMaxDecodeDimension, the frame over kMaxDecodedBytes. 2-bit grey is widened
  // to 8 bits, so its frame is four times the size of its samples.
  const uint32_t max = kMaxDecodeDimension;
  static_assert(uint64_t{16384} * 4 * 2049 > kMaxDecodedBytes + 60000, "RGBA case must be over");
  static_assert(uint64_t{16384} * 8193 > kMaxDecodedBytes + 10000, "grey case must be over");
  struct Row {
    const char* what;
    PngHeader header;
  };
  const Row rows[] = {
      {"RGBA 16384 x 2049", Ihdr(max, 2049, 8, 6)},
      {"2-bit grey 16384 x 8193", Ihdr(max, 8193, 2, 0)},
  };
  PngFrameDecoder decoder;
  for (const Row& r : rows) {
    const Bytes png = MakePngStream(r.header, [](uint32_t, uint8_t*) {});  // black
    EXPECT_FALSE(DecodeChecked(decoder, png).frame) << r.what;
  }
}

TEST(PngDecodeLimits, AFrameJustUnderTheSizeLimitDecodes) {
  // 2-bit grey widened to 8 bits: 16384 x 8191 bytes of rows, under kMaxDecodedBytes by about
  // 16 KB with its header and table.
  static_assert(uint64_t{16384} * 8191 + 40 + 16 < kMaxDecodedBytes, "must be under");
  const uint32_t width = kMaxDecodeDimension, height = 8191;
  const Bytes png = MakePngStream(Ihdr(width, height, 2, 0), [](uint32_t y, uint8_t* row) {
    // Grey level (x + y) & 3, four pixels to a byte from the high bits.
    for (uint32_t i = 0; i < kMaxDecodeDimension / 4; ++i) {
      uint8_t byte = 0;
      for (uint32_t j = 0; j < 4; ++j)
        byte |= static_cast<uint8_t>(((4 * i + j + y) & 3) << (6 - 2 * j));
      row[i] = byte;
    }
  });
  const Decoded d = DecodeChecked(png);
  ASSERT_TRUE(d.frame);
  EXPECT_EQ(d.layout.header.biBitCount, 8);
  EXPECT_EQ(d.layout.color_entries, 4u);
  int mismatches = 0;
  for (uint32_t y = 0; y < height; y += 97) {
    for (uint32_t x = 0; x < width; ++x) {
      const uint32_t got = FramePixel(d.frame.get(), d.layout, x, y);
      if (got != ((x + y) & 3) && ++mismatches <= 5) {
        ADD_FAILURE() << "pixel (" << x << ", " << y << "): got " << got;
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(PngDecodeLimits, A4KFrameWithAlphaDecodes) {
  const uint32_t width = 3840, height = 2160;
  // Red x, green y, blue x + y, alpha 255 - x (all mod 256): Sub-filtered rows repeat one pixel.
  const auto pixel = [](uint32_t x, uint32_t y) {
    return ((255 - x) & 255) << 24 | (x & 255) << 16 | (y & 255) << 8 | ((x + y) & 255);
  };
  const Bytes png = MakePngStream(Ihdr(width, height, 8, 6), [&](uint32_t y, uint8_t* row) {
    for (uint32_t x = 0; x < width; ++x) {
      const uint32_t argb = pixel(x, y);
      row[4 * x] = static_cast<uint8_t>(argb >> 16);
      row[4 * x + 1] = static_cast<uint8_t>(argb >> 8);
      row[4 * x + 2] = static_cast<uint8_t>(argb);
      row[4 * x + 3] = static_cast<uint8_t>(argb >> 24);
    }
  });
  const Decoded d = DecodeChecked(png);
  ASSERT_TRUE(d.frame);
  EXPECT_EQ(d.layout.header.biWidth, 3840);
  EXPECT_EQ(d.layout.header.biHeight, 2160);
  EXPECT_EQ(d.layout.header.biBitCount, 32);
  int mismatches = 0;
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const uint32_t got = FrameColor(d.frame.get(), d.layout, x, y);
      if (got != pixel(x, y) && ++mismatches <= 5) {
        ADD_FAILURE() << "pixel (" << x << ", " << y << "): got 0x" << std::hex << got
                      << ", want 0x" << pixel(x, y);
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
}

}  // namespace
}  // namespace zu
