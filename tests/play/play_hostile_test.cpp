// Frames a script could hand the control, each ending right before a page that faults on any
// access: a read past the bytes given ends the program instead of passing unnoticed.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "codec/png_frame_encoder.h"
#include "tests/play/play_test_support.h"

namespace zu::test {
namespace {

Bytes Header(int32_t width, int32_t height, uint16_t bits, uint32_t clr_used) {
  BitmapHeader h;
  h.biSize = 40;
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = bits;
  h.biClrUsed = clr_used;
  Bytes bytes(40);
  WriteBitmapHeader(h, bytes.data());
  return bytes;
}

Bytes Resized(Bytes bytes, size_t size) {
  bytes.resize(size, 0x5A);
  return bytes;
}

Bytes Png(const Bytes& frame) {
  PngFrameEncoder encoder;
  int32_t length = 0;
  FrameBlock stream(encoder.EncodeFrame(frame.data(), static_cast<int32_t>(frame.size()), &length));
  return stream ? Bytes(stream.get(), stream.get() + length) : Bytes();
}

// The stream with its IHDR claiming `width` x `height`; the rest as it was.
Bytes WithClaimedSize(const Bytes& png, uint32_t width, uint32_t height) {
  std::vector<PngChunk> chunks;
  EXPECT_TRUE(ParsePng(png.data(), png.size(), &chunks));
  Bytes ihdr = chunks.front().data;
  for (int i = 0; i < 4; ++i) {
    ihdr[i] = static_cast<uint8_t>(width >> (24 - 8 * i));
    ihdr[4 + i] = static_cast<uint8_t>(height >> (24 - 8 * i));
  }
  Bytes out(png.begin(), png.begin() + 8);
  const Bytes header_chunk = MakeChunk("IHDR", ihdr);
  out.insert(out.end(), header_chunk.begin(), header_chunk.end());
  out.insert(out.end(), png.begin() + 8 + 12 + 13, png.end());
  return out;
}

constexpr int64_t kNegativeCount = INT64_MIN;

struct Hostile {
  const char* name;
  LONG format;
  Bytes bytes;
  int64_t storage_delta;  // the string's length prefix minus the byte count
  int64_t count_delta;    // nFrameData minus the byte count, or kNegativeCount
  VARIANT_BOOL flag;
};

TEST_F(PlayControlTest, HostileFramesAreRefusedWithoutReadingPastTheString) {
  const Bytes good = BuildFrame(16, 16, 24, 0, [](int x, int y) { return PatternPixel(24, x, y); });
  const Bytes palette = BuildFrame(16, 16, 8, 0, [](int x, int y) { return PatternPixel(8, x, y); });
  const Bytes png = Png(good);
  ASSERT_FALSE(png.empty());
  const std::vector<Hostile> cases = {
      {"good_frame_at_the_edge", vpyFormatBMP, good, 0, 0, 1},
      {"good_png_at_the_edge", vpyFormatPNG, png, 0, 0, 1},
      {"shorter_than_header", vpyFormatBMP, Resized(good, 39), 0, 0, 0},
      {"last_row_missing", vpyFormatBMP, Resized(good, good.size() - 48), 0, 0, 0},
      {"last_byte_missing", vpyFormatBMP, Resized(good, good.size() - 1), 0, 0, 0},
      {"huge_dimensions", vpyFormatBMP, Header(INT32_MAX, INT32_MAX, 32, 0), 0, 0, 0},
      {"huge_top_down", vpyFormatBMP, Header(INT32_MAX, -INT32_MAX, 32, 0), 0, 0, 0},
      {"most_negative_height", vpyFormatBMP, Header(16, INT32_MIN, 24, 0), 0, 0, 0},
      {"rows_overflow_32_bits", vpyFormatBMP, Header(0x10000, 0x10000, 32, 0), 0, 0, 0},
      {"table_past_data", vpyFormatBMP, Resized(palette, 40 + 100), 0, 0, 0},
      {"table_count_overflows", vpyFormatBMP, Resized(Header(16, 16, 8, 0xFFFFFFFF), 4000), 0, 0, 0},
      {"table_of_a_true_colour_frame", vpyFormatBMP, Resized(Header(1, 1, 24, 0x40000001), 48), 0, 0, 0},
      {"count_one_past_string", vpyFormatBMP, good, 0, 1, 0},
      {"count_far_past_string", vpyFormatBMP, good, 0, INT32_MAX - int64_t{4000}, 0},
      {"negative_count", vpyFormatBMP, good, 0, kNegativeCount, 0},
      {"png_cut_in_half", vpyFormatPNG, Resized(png, png.size() / 2), 0, 0, 0},
      {"png_one_past_string", vpyFormatPNG, png, 0, 1, 0},
      {"png_huge_claimed_size", vpyFormatPNG, WithClaimedSize(png, 0x7FFFFFFF, 0x7FFFFFFF), 0, 0, 0},
      {"png_claims_more_rows_than_it_carries", vpyFormatPNG, WithClaimedSize(png, 3000, 3000), 0, 0, 0},
      {"empty", vpyFormatBMP, Bytes(), 0, 0, 0},
  };
  for (const Hostile& c : cases) {
    SCOPED_TRACE(c.name);
    const int64_t size = static_cast<int64_t>(c.bytes.size());
    GuardedString text(c.bytes, static_cast<uint32_t>(size + c.storage_delta));
    play_->put_FrameFormat(static_cast<VpyFrameFormat>(c.format));
    const int64_t count = c.count_delta == kNegativeCount ? -1 : size + c.count_delta;
    VARIANT_BOOL flag = 7;
    const HRESULT hr = play_->RefreshFrame(text.get(), static_cast<LONG>(count), &flag);
    EXPECT_EQ(flag, c.flag);
    EXPECT_EQ(hr, c.flag == 1 ? S_OK : S_FALSE);
    EXPECT_EQ(control()->CurrentFrameSize() > 0, c.flag == 1);

    VARIANT by_reference;
    by_reference.vt = VT_BYREF | VT_BSTR;
    by_reference.pbstrVal = text.get();
    flag = 7;
    EXPECT_EQ(play_->RefreshFrameEx(by_reference, static_cast<LONG>(count), &flag), S_OK);
    EXPECT_EQ(flag, c.flag);
  }
}

// What was taken at the edge of the string is the control's own copy: drawing it reads nothing
// of the string.
TEST_F(PlayControlTest, FrameTakenAtTheEdgeOfAStringDrawsFromTheControlsCopy) {
  OpenWindow();
  const Bytes frame = BuildFrame(40, 20, 8, 0, [](int x, int y) { return PatternPixel(8, x, y); });
  {
    GuardedString text(frame);
    VARIANT_BOOL flag = 0;
    ASSERT_EQ(play_->RefreshFrame(text.get(), static_cast<LONG>(frame.size()), &flag), S_OK);
  }
  Canvas canvas(kWidth, kHeight);
  Paint(canvas);
  EXPECT_EQ(canvas.At(80, 40), DrawnColor(frame, 0, 0));
  EXPECT_EQ(canvas.At(119, 59), DrawnColor(frame, 39, 19));
}

}  // namespace
}  // namespace zu::test
