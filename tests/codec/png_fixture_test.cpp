// The decoder against pictures another writer made: tests/data/png, written by
// tests/data/make_png_fixtures.py (PIL, and a zlib + struct writer for forms PIL cannot write).
// The expected pixels are the script's formulas, computed here again.
#include <gtest/gtest.h>

#include <string>

#include "tests/codec/codec_test_support.h"

namespace zu {
namespace {

// The formulas of make_png_fixtures.py.
uint32_t Channel(int x, int y, int c) {
  static const int kA[4] = {19, 5, 11, 23}, kB[4] = {7, 31, 3, 13}, kK[4] = {0, 64, 128, 200};
  return static_cast<uint32_t>(x * kA[c] + y * kB[c] + kK[c]) & 255;
}
uint32_t Index(int x, int y, uint32_t n) { return static_cast<uint32_t>(x + 3 * y) % n; }
uint32_t PaletteEntry(uint32_t i) {
  return ((i * 67 + 13) & 255) << 16 | ((i * 151 + 41) & 255) << 8 | ((i * 29 + 200) & 255);
}
uint32_t Grey16(int x, int y) {
  return static_cast<uint32_t>(x * 0x1234 + y * 0x0F0F + 0x0102) & 0xFFFF;
}

enum class Kind {
  kTrueColour,  // 24 bits, Channel 0..2
  kAlpha,       // 32 bits, Channel 0..3
  kGreyAlpha,   // 32 bits, grey Channel 0, alpha Channel 3
  kPalette,     // indices Index(n) into PaletteEntry
  kGrey,        // indices Index(n), grey table of n levels
  kGrey16,      // 16 bits, the sample's bytes high then low
};

struct Fixture {
  const char* name;
  int width;
  int height;
  Kind kind;
  uint16_t bit_count;  // of the decoded frame
  uint32_t entries;    // palette or grey levels
};

const Fixture kFixtures[] = {
    {"rgb8_13x7", 13, 7, Kind::kTrueColour, 24, 0},
    {"rgb8_13x7_adam7", 13, 7, Kind::kTrueColour, 24, 0},
    {"rgb16_7x5", 7, 5, Kind::kTrueColour, 24, 0},
    {"rgba8_7x5", 7, 5, Kind::kAlpha, 32, 0},
    {"rgba16_5x3", 5, 3, Kind::kAlpha, 32, 0},
    {"graya8_5x7", 5, 7, Kind::kGreyAlpha, 32, 0},
    {"pal1_13x3", 13, 3, Kind::kPalette, 1, 2},
    {"pal2_7x5", 7, 5, Kind::kPalette, 8, 3},
    {"pal2_trns_7x5", 7, 5, Kind::kPalette, 8, 3},
    {"pal4_13x7", 13, 7, Kind::kPalette, 4, 11},
    {"pal4_13x7_adam7", 13, 7, Kind::kPalette, 4, 11},
    {"pal8_3_5x5", 5, 5, Kind::kPalette, 8, 3},
    {"pal8_20_7x5", 7, 5, Kind::kPalette, 8, 20},
    {"gray1_13x3", 13, 3, Kind::kGrey, 1, 2},
    {"gray2_13x7", 13, 7, Kind::kGrey, 8, 4},
    {"gray2_13x7_adam7", 13, 7, Kind::kGrey, 8, 4},
    {"gray4_5x7", 5, 7, Kind::kGrey, 4, 16},
    {"gray8_13x5", 13, 5, Kind::kGrey, 8, 256},
    {"gray8_trns_text_13x5", 13, 5, Kind::kGrey, 8, 256},
    {"gray16_5x7", 5, 7, Kind::kGrey16, 16, 0},
};

Bytes ReadFixture(const std::string& name) { return ReadTestData("png/" + name + ".png"); }

// The stored pixel value FramePixel should read at (x, y).
uint32_t ExpectedPixel(const Fixture& f, int x, int y) {
  switch (f.kind) {
    case Kind::kTrueColour:
      return Channel(x, y, 0) << 16 | Channel(x, y, 1) << 8 | Channel(x, y, 2);
    case Kind::kAlpha:
      return Channel(x, y, 3) << 24 | Channel(x, y, 0) << 16 | Channel(x, y, 1) << 8 |
             Channel(x, y, 2);
    case Kind::kGreyAlpha: return Channel(x, y, 3) << 24 | Channel(x, y, 0) * 0x010101u;
    case Kind::kPalette:
    case Kind::kGrey: return Index(x, y, f.entries);
    case Kind::kGrey16: return (Grey16(x, y) >> 8) | (Grey16(x, y) & 255) << 8;
  }
  return 0;
}

uint32_t ExpectedTableEntry(const Fixture& f, uint32_t i) {
  if (f.kind == Kind::kPalette) return PaletteEntry(i);
  return i * 255 / (f.entries - 1) * 0x010101u;
}

TEST(PngFixtures, DecodeToThePicturesTheyHold) {
  PngFrameDecoder decoder;
  for (const Fixture& f : kFixtures) {
    SCOPED_TRACE(f.name);
    const Bytes png = ReadFixture(f.name);
    if (png.empty()) continue;
    const Decoded d = DecodeChecked(decoder, png);
    if (!d.frame) {
      ADD_FAILURE() << "no frame";
      continue;
    }
    const FrameLayout& l = d.layout;
    EXPECT_EQ(l.header.biWidth, f.width);
    EXPECT_EQ(l.header.biHeight, f.height);
    EXPECT_EQ(l.header.biBitCount, f.bit_count);
    EXPECT_EQ(l.header.biCompression, kBiRgb);
    if (f.kind == Kind::kPalette ||
        (f.kind == Kind::kGrey && f.bit_count == 8 && f.entries < 256)) {
      // A table shorter than the bit count's default has to be spelt out.
      EXPECT_EQ(l.header.biClrUsed, f.entries);
    } else if (f.kind == Kind::kGrey) {
      EXPECT_TRUE(l.header.biClrUsed == 0 || l.header.biClrUsed == f.entries) << l.header.biClrUsed;
    } else {
      EXPECT_EQ(l.header.biClrUsed, 0u);
    }
    ASSERT_EQ(l.color_entries, f.entries);
    for (uint32_t i = 0; i < f.entries; ++i) {
      EXPECT_EQ(FrameTableEntry(d.frame.get(), i), ExpectedTableEntry(f, i)) << "table entry " << i;
    }
    int mismatches = 0;
    for (int y = 0; y < f.height; ++y) {
      for (int x = 0; x < f.width; ++x) {
        const uint32_t got = FramePixel(d.frame.get(), l, x, y), want = ExpectedPixel(f, x, y);
        if (got != want && ++mismatches <= 5) {
          ADD_FAILURE() << "pixel (" << x << ", " << y << "): got 0x" << std::hex << got
                        << ", want 0x" << want;
        }
      }
    }
    EXPECT_EQ(mismatches, 0);
  }
}

TEST(PngFixtures, SamePictureDecodesTheSameWhateverTheStreamSays) {
  // Adam7 against straight rows, and ancillary chunks (tRNS, tEXt) against none.
  const char* const pairs[][2] = {
      {"rgb8_13x7_adam7", "rgb8_13x7"},       {"pal4_13x7_adam7", "pal4_13x7"},
      {"gray2_13x7_adam7", "gray2_13x7"},     {"pal2_trns_7x5", "pal2_7x5"},
      {"gray8_trns_text_13x5", "gray8_13x5"},
  };
  for (const auto& pair : pairs) {
    SCOPED_TRACE(std::string(pair[0]) + " against " + pair[1]);
    const Decoded a = DecodeChecked(ReadFixture(pair[0]));
    const Decoded b = DecodeChecked(ReadFixture(pair[1]));
    ASSERT_TRUE(a.frame);
    ASSERT_TRUE(b.frame);
    EXPECT_TRUE(SameBytes(a.bytes(), b.bytes()));
  }
}

TEST(PngFixtures, TheFixturesAreTheFormsTheyClaim) {
  // Guards the table above against a fixture regenerated in another form.
  struct Form {
    const char* name;
    uint8_t depth, color_type, interlace;
    const char* extra_chunk;
  };
  const Form forms[] = {
      {"rgb8_13x7_adam7", 8, 2, 1, nullptr},
      {"pal4_13x7_adam7", 4, 3, 1, nullptr},
      {"gray2_13x7_adam7", 2, 0, 1, nullptr},
      {"rgb8_13x7", 8, 2, 0, nullptr},
      {"pal2_7x5", 2, 3, 0, nullptr},
      {"pal8_3_5x5", 8, 3, 0, nullptr},
      {"gray4_5x7", 4, 0, 0, nullptr},
      {"gray16_5x7", 16, 0, 0, nullptr},
      {"rgb16_7x5", 16, 2, 0, nullptr},
      {"rgba16_5x3", 16, 6, 0, nullptr},
      {"graya8_5x7", 8, 4, 0, nullptr},
      {"pal2_trns_7x5", 2, 3, 0, "tRNS"},
      {"gray8_trns_text_13x5", 8, 0, 0, "tEXt"},
  };
  for (const Form& form : forms) {
    SCOPED_TRACE(form.name);
    const Bytes png = ReadFixture(form.name);
    std::vector<PngChunk> chunks;
    ASSERT_TRUE(ParsePng(png.data(), png.size(), &chunks));
    const PngHeader h = ReadPngHeader(chunks.front());
    EXPECT_EQ(h.depth, form.depth);
    EXPECT_EQ(h.color_type, form.color_type);
    EXPECT_EQ(h.interlace, form.interlace);
    if (form.extra_chunk) {
      bool found = false;
      for (const PngChunk& c : chunks) found = found || c.type == form.extra_chunk;
      EXPECT_TRUE(found) << "no " << form.extra_chunk;
    }
  }
}

}  // namespace
}  // namespace zu
