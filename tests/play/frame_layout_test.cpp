#include "play/frame_layout.h"

#include <gtest/gtest.h>

#include <ostream>

namespace zu {

std::ostream& operator<<(std::ostream& os, const FrameRect& r) {
  return os << "(" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ")";
}

namespace {

struct LayoutCase {
  const char* name;
  int32_t mode, w, h;
  FrameRect target;
  FrameRect source, destination;
};

std::ostream& operator<<(std::ostream& os, const LayoutCase& c) { return os << c.name; }

class FrameLayoutTable : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(FrameLayoutTable, GivesSourceAndDestination) {
  const LayoutCase& c = GetParam();
  const FrameLayoutResult r = ComputeFrameLayout(c.w, c.h, c.mode, c.target);
  EXPECT_EQ(r.source, c.source);
  EXPECT_EQ(r.destination, c.destination);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, FrameLayoutTable,
    ::testing::Values(
        LayoutCase{"clip_cuts_centre", kSizeClip, 320, 240, {0, 0, 200, 100},
                   {60, 70, 260, 170}, {0, 0, 200, 100}},
        LayoutCase{"clip_centres_small_frame", kSizeClip, 160, 120, {0, 0, 200, 200},
                   {0, 0, 160, 120}, {20, 40, 180, 160}},
        LayoutCase{"clip_odd_margin_goes_right_and_down", kSizeClip, 161, 121, {0, 0, 200, 200},
                   {0, 0, 161, 121}, {19, 39, 180, 160}},
        LayoutCase{"clip_odd_cut_takes_smaller_half_first", kSizeClip, 101, 51, {0, 0, 100, 50},
                   {0, 0, 100, 50}, {0, 0, 100, 50}},
        LayoutCase{"clip_one_axis_cut_other_centred", kSizeClip, 300, 50, {0, 0, 200, 100},
                   {50, 0, 250, 50}, {0, 25, 200, 75}},
        LayoutCase{"clip_empty_target_takes_centre_point", kSizeClip, 320, 240, {0, 0, 0, 0},
                   {160, 120, 160, 120}, {0, 0, 0, 0}},
        LayoutCase{"zoom_landscape_in_square", kSizeZoom, 320, 240, {0, 0, 200, 200},
                   {0, 0, 320, 240}, {0, 25, 200, 175}},
        LayoutCase{"zoom_portrait_in_square", kSizeZoom, 240, 320, {0, 0, 200, 200},
                   {0, 0, 240, 320}, {25, 0, 175, 200}},
        LayoutCase{"zoom_height_bound", kSizeZoom, 320, 240, {0, 0, 400, 200},
                   {0, 0, 320, 240}, {67, 0, 333, 200}},
        LayoutCase{"zoom_enlarges", kSizeZoom, 160, 120, {0, 0, 400, 400},
                   {0, 0, 160, 120}, {0, 50, 400, 350}},
        LayoutCase{"zoom_divides_by_ratio", kSizeZoom, 176, 144, {0, 0, 33, 30},
                   {0, 0, 176, 144}, {0, 2, 33, 28}},
        LayoutCase{"zoom_square_frame", kSizeZoom, 100, 100, {0, 0, 300, 200},
                   {0, 0, 100, 100}, {50, 0, 250, 200}},
        LayoutCase{"zoom_portrait_width_bound", kSizeZoom, 100, 400, {0, 0, 20, 200},
                   {0, 0, 100, 400}, {0, 60, 20, 140}},
        LayoutCase{"zoom_empty_target", kSizeZoom, 320, 240, {0, 0, 0, 0},
                   {0, 0, 320, 240}, {0, 0, 0, 0}},
        LayoutCase{"stretch_ignores_aspect", kSizeStretch, 320, 240, {0, 0, 200, 100},
                   {0, 0, 320, 240}, {0, 0, 200, 100}},
        LayoutCase{"unknown_mode_clips", 7, 160, 120, {0, 0, 200, 200},
                   {0, 0, 160, 120}, {20, 40, 180, 160}},
        LayoutCase{"offset_target_shifts_destination", kSizeClip, 160, 120, {10, 20, 210, 220},
                   {0, 0, 160, 120}, {30, 60, 190, 180}},
        LayoutCase{"offset_target_zoom", kSizeZoom, 320, 240, {-50, 100, 150, 300},
                   {0, 0, 320, 240}, {-50, 125, 150, 275}},
        LayoutCase{"inverted_target_counts_as_empty", kSizeStretch, 8, 8, {10, 10, 0, 0},
                   {0, 0, 8, 8}, {10, 10, 10, 10}},
        LayoutCase{"huge_frame_clipped_without_overflow", kSizeClip, INT32_MAX, INT32_MAX,
                   {0, 0, 2, 2}, {1073741822, 1073741822, 1073741824, 1073741824},
                   {0, 0, 2, 2}},
        LayoutCase{"extreme_aspect_zoom", kSizeZoom, INT32_MAX, 1, {0, 0, 1000, 1000},
                   {0, 0, INT32_MAX, 1}, {0, 500, 1000, 500}}),
    [](const ::testing::TestParamInfo<LayoutCase>& info) { return std::string(info.param.name); });

// The divided form and the integer form of the zoomed height differ for this size; hosts that
// lay out overlays beside the picture rely on the divided one.
TEST(FrameLayout, ZoomHeightIsWidthDividedByRatio) {
  const FrameLayoutResult r = ComputeFrameLayout(176, 144, kSizeZoom, {0, 0, 33, 30});
  EXPECT_EQ(r.destination.bottom - r.destination.top, 26);
  EXPECT_NE(33 * 144 / 176, 26);
}

}  // namespace
}  // namespace zu
