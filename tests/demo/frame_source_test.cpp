#include "demo/frame_source.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "codec/frame_format.h"
#include "codec/png_frame_decoder.h"
#include "tools/synth_frame.h"

namespace zu {
namespace {

using Bytes = std::vector<uint8_t>;

// 0xRRGGBB at (x, y from the top) of a checked 24-bit bottom-up frame.
uint32_t PixelAt(const Bytes& frame, int x, int y) {
  FrameLayout layout;
  EXPECT_EQ(CheckFrame(frame.data(), static_cast<int64_t>(frame.size()), &layout), FrameVerdict::kOk);
  const uint8_t* p = frame.data() + layout.rows_offset +
                     static_cast<size_t>(layout.row_count - 1 - y) * layout.row_stride + 3 * x;
  return (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
}

TEST(SynthFrameSource, BmpFramesAreCheckedCameraSizedAndMove) {
  const SynthFrameSource source(320, 240, WireFormat::kBmp);
  const Bytes first = source.Frame(0), second = source.Frame(1);
  FrameLayout layout;
  ASSERT_EQ(CheckFrame(first.data(), static_cast<int64_t>(first.size()), &layout), FrameVerdict::kOk);
  EXPECT_EQ(layout.header.biBitCount, 24);
  EXPECT_EQ(first.size(), 40u + 320u * 240u * 3u);
  EXPECT_NE(first, second);
}

TEST(SynthFrameSource, PngFramesDecodeToTheBmpFrameOfTheSameIndex) {
  const SynthFrameSource bmp(96, 64, WireFormat::kBmp), png(96, 64, WireFormat::kPng);
  const Bytes want = bmp.Frame(7), stream = png.Frame(7);
  ASSERT_GE(stream.size(), 8u);
  EXPECT_EQ(stream[1], 'P');
  EXPECT_LT(stream.size(), want.size());
  PngFrameDecoder decoder;
  int32_t length = 0;
  std::unique_ptr<uint8_t, FreeDeleter> decoded(
      decoder.DecodeFrame(stream.data(), static_cast<int32_t>(stream.size()), &length));
  ASSERT_NE(decoded, nullptr);
  ASSERT_EQ(static_cast<size_t>(length), want.size());
  // The decoder writes its own header fields; the pixels must match.
  EXPECT_TRUE(std::equal(want.begin() + 40, want.end(), decoded.get() + 40));
}

TEST(SynthFrameSource, NoFrameForAnImpossibleSize) {
  EXPECT_TRUE(SynthFrameSource(0, 10, WireFormat::kBmp).Frame(0).empty());
  EXPECT_TRUE(SynthFrameSource(0, 10, WireFormat::kPng).Frame(0).empty());
}

TEST(DrawFrameNumber, DrawsDigitsWhiteOnBlackInTheTopLeftCorner) {
  Bytes eight = SynthFrame(64, 48, 24, 0), one = eight;
  ASSERT_TRUE(DrawFrameNumber(&eight, 8));
  ASSERT_TRUE(DrawFrameNumber(&one, 1));
  EXPECT_EQ(PixelAt(eight, 0, 0), 0x000000u);            // the border
  EXPECT_EQ(PixelAt(eight, 4, 4), 0xFFFFFFu);            // an 8's top-left cell is lit
  EXPECT_EQ(PixelAt(one, 4, 4), 0x000000u);              // a 1's is not
  EXPECT_EQ(PixelAt(one, 8, 4), 0xFFFFFFu);              // its stem is
  EXPECT_EQ(PixelAt(eight, 40, 40), PixelAt(one, 40, 40));  // the picture beyond is untouched
}

TEST(DrawFrameNumber, LeavesFramesItCannotDrawInAlone) {
  Bytes grey = SynthFrame(32, 32, 8, 0);
  const Bytes before = grey;
  EXPECT_FALSE(DrawFrameNumber(&grey, 5));
  EXPECT_EQ(grey, before);
  Bytes top_down = SynthFrame(32, -32, 24, 0);
  EXPECT_FALSE(DrawFrameNumber(&top_down, 5));
  // A frame smaller than the digits is drawn as far as it fits, without writing past it.
  Bytes tiny = SynthFrame(3, 2, 24, 0);
  EXPECT_TRUE(DrawFrameNumber(&tiny, 123456));
  EXPECT_EQ(tiny.size(), 40u + 2u * 12u);
}

}  // namespace
}  // namespace zu
