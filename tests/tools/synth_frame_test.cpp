#include "tools/synth_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "codec/frame_format.h"
#include "tools/frame_picture.h"

namespace zu {
namespace {

TEST(SynthFrame, MakesAnExactlySizedFrameForEveryBitCount) {
  for (uint16_t bits : {1, 4, 8, 16, 24, 32}) {
    for (int32_t height : {7, -7}) {
      SCOPED_TRACE(::testing::Message() << bits << " bits, height " << height);
      const std::vector<uint8_t> frame = SynthFrame(21, height, bits);
      FrameLayout layout;
      ASSERT_EQ(CheckFrame(frame.data(), static_cast<int64_t>(frame.size()), &layout),
                FrameVerdict::kOk);
      EXPECT_EQ(layout.required_bytes, frame.size());
      EXPECT_EQ(layout.header.biWidth, 21);
      EXPECT_EQ(layout.header.biHeight, height);
      EXPECT_EQ(layout.header.biPlanes, 1);
      EXPECT_EQ(layout.header.biSizeImage, layout.row_stride * 7u);
    }
  }
}

TEST(SynthFrame, RowOrderDoesNotChangeThePicture) {
  for (uint16_t bits : {1, 4, 8, 16, 24, 32}) {
    const std::vector<uint8_t> bottom_up = SynthFrame(19, 11, bits, 3);
    const std::vector<uint8_t> top_down = SynthFrame(19, -11, bits, 3);
    std::string difference;
    EXPECT_TRUE(SamePicture(bottom_up.data(), top_down.data(), &difference))
        << bits << " bits: " << difference;
  }
}

TEST(SynthFrame, IsRepeatableAndChangesWithFrameIndexAndSeed) {
  const std::vector<uint8_t> frame = SynthFrame(64, 48, 24, 5);
  EXPECT_EQ(SynthFrame(64, 48, 24, 5), frame);
  EXPECT_NE(SynthFrame(64, 48, 24, 6), frame);
  EXPECT_NE(SynthFrame(64, 48, 24, 5, kSynthDefaultSeed + 1), frame);
}

// Like a camera picture: covers a wide range of values, yet neighbouring pixels differ only by a
// little noise. A flat card or pure noise would make the benchmarks meaningless.
TEST(SynthFrame, IsSmoothWithModerateNoise) {
  const std::vector<uint8_t> frame = SynthFrame(320, 240, 24, 9);
  const FramePicture picture(frame.data());
  int low = 255, high = 0;
  uint64_t step_sum = 0, steps = 0;
  for (uint32_t y = 0; y < picture.Height(); ++y) {
    for (uint32_t x = 0; x < picture.Width(); ++x) {
      const int green = (picture.ColorAt(x, y) >> 8) & 0xff;
      low = std::min(low, green);
      high = std::max(high, green);
      if (x > 0) {
        step_sum += std::abs(green - static_cast<int>((picture.ColorAt(x - 1, y) >> 8) & 0xff));
        ++steps;
      }
    }
  }
  EXPECT_GT(high - low, 128);
  const double mean_step = static_cast<double>(step_sum) / static_cast<double>(steps);
  EXPECT_GT(mean_step, 1.0);
  EXPECT_LT(mean_step, 8.0);
}

TEST(SynthFrame, RefusesFramesItCannotMake) {
  EXPECT_TRUE(SynthFrame(0, 8, 24).empty());
  EXPECT_TRUE(SynthFrame(8, 0, 24).empty());
  EXPECT_TRUE(SynthFrame(8, INT32_MIN, 24).empty());
  EXPECT_TRUE(SynthFrame(8, 8, 2).empty());
  EXPECT_TRUE(SynthFrame(65536, 65536, 32).empty());  // 16 GiB
}

}  // namespace
}  // namespace zu
