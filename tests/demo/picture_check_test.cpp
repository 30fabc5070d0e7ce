#include "demo/picture_check.h"

#include <gtest/gtest.h>

#include <vector>

#include "codec/frame_format.h"
#include "tools/synth_frame.h"

namespace zu {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint32_t kFace = 0xD4D0C8;

Bytes Flat(int w, int h, uint32_t rgb) {
  Bytes frame = SynthFrame(w, h, 24, 0);
  FrameLayout layout;
  CheckFrame(frame.data(), static_cast<int64_t>(frame.size()), &layout);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      uint8_t* p = frame.data() + layout.rows_offset + y * layout.row_stride + 3 * x;
      p[0] = rgb & 0xFF;
      p[1] = (rgb >> 8) & 0xFF;
      p[2] = rgb >> 16;
    }
  }
  return frame;
}

TEST(PictureCheck, ABackgroundFillIsNoPicture) {
  const Coverage c = MeasureCoverage(Flat(100, 80, kFace), {0, 0, 100, 80}, kFace);
  EXPECT_EQ(c.pixels, 8000u);
  EXPECT_EQ(c.foreground, 0u);
  EXPECT_FALSE(PictureShows(c));
}

TEST(PictureCheck, ACameraFrameIsAPicture) {
  const Coverage c = MeasureCoverage(SynthFrame(100, 80, 24, 3), {0, 0, 100, 80}, kFace);
  EXPECT_GT(c.Fraction(), 0.99);
  EXPECT_TRUE(PictureShows(c));
}

TEST(PictureCheck, AnotherFlatColourIsNoPictureEither) {
  // The control painted in some other colour (a stale background, a black window).
  const Coverage c = MeasureCoverage(Flat(100, 80, 0x000000), {0, 0, 100, 80}, kFace);
  EXPECT_EQ(c.foreground, 8000u);
  EXPECT_EQ(c.colours, 1u);
  EXPECT_FALSE(PictureShows(c));
}

TEST(PictureCheck, OnlyTheRectangleCountsAndItIsClippedToTheFrame) {
  // A picture in the left half, background in the right.
  Bytes frame = Flat(100, 80, kFace);
  const Bytes picture = SynthFrame(100, 80, 24, 1);
  FrameLayout layout;
  CheckFrame(frame.data(), static_cast<int64_t>(frame.size()), &layout);
  for (int y = 0; y < 80; ++y) {
    std::copy_n(picture.begin() + layout.rows_offset + y * layout.row_stride, 150,
                frame.begin() + layout.rows_offset + y * layout.row_stride);
  }
  EXPECT_TRUE(PictureShows(MeasureCoverage(frame, {0, 0, 50, 80}, kFace)));
  EXPECT_FALSE(PictureShows(MeasureCoverage(frame, {50, 0, 100, 80}, kFace)));
  EXPECT_EQ(MeasureCoverage(frame, {-10, -10, 500, 500}, kFace).pixels, 8000u);
}

TEST(PictureCheck, AFrameItCannotReadCoversNothing) {
  EXPECT_EQ(MeasureCoverage(Bytes(10, 0), {0, 0, 10, 10}, kFace).pixels, 0u);
  EXPECT_EQ(MeasureCoverage(SynthFrame(16, 16, 8, 0), {0, 0, 16, 16}, kFace).pixels, 0u);
}

}  // namespace
}  // namespace zu
