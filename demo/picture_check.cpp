#include "demo/picture_check.h"

#include <algorithm>
#include <unordered_set>

#include "codec/frame_format.h"

namespace zu {

namespace {
constexpr uint32_t kColourCap = 4096;
constexpr double kMinFraction = 0.5;
constexpr uint32_t kMinColours = 64;
}  // namespace

Coverage MeasureCoverage(const std::vector<uint8_t>& frame, PixelRect rect, uint32_t background) {
  Coverage out;
  FrameLayout layout;
  if (CheckFrame(frame.data(), static_cast<int64_t>(frame.size()), &layout) != FrameVerdict::kOk ||
      layout.header.biBitCount != 24 || layout.top_down) {
    return out;
  }
  const int32_t width = layout.header.biWidth;
  const int32_t height = static_cast<int32_t>(layout.row_count);
  const int32_t left = std::max(rect.left, 0), right = std::min(rect.right, width);
  const int32_t top = std::max(rect.top, 0), bottom = std::min(rect.bottom, height);
  std::unordered_set<uint32_t> colours;
  for (int32_t y = top; y < bottom; ++y) {
    const uint8_t* row = frame.data() + layout.rows_offset +
                         static_cast<size_t>(height - 1 - y) * layout.row_stride;
    for (int32_t x = left; x < right; ++x) {
      const uint8_t* p = row + 3 * static_cast<size_t>(x);
      const uint32_t rgb = (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
      out.pixels++;
      if (rgb == background) continue;
      out.foreground++;
      if (colours.size() < kColourCap) colours.insert(rgb);
    }
  }
  out.colours = static_cast<uint32_t>(colours.size());
  return out;
}

bool PictureShows(const Coverage& coverage) {
  return coverage.Fraction() >= kMinFraction && coverage.colours >= kMinColours;
}

}  // namespace zu
