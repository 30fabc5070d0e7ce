// Does a picture show? Looks at a rectangle of a 24-bit bottom-up BMP-variant frame (such as a
// screenshot of the host window) and counts the pixels that are not the background colour.
#pragma once

#include <cstdint>
#include <vector>

namespace zu {

struct PixelRect {
  int32_t left, top, right, bottom;  // y from the top; right and bottom exclusive
};

struct Coverage {
  uint64_t pixels = 0;      // inside the rectangle and the frame
  uint64_t foreground = 0;  // of those, not the background colour
  uint32_t colours = 0;     // distinct colours among the foreground, up to 4096
  double Fraction() const { return pixels ? static_cast<double>(foreground) / pixels : 0.0; }
};

// `background` is 0x00RRGGBB. A frame that is not 24-bit bottom-up covers nothing.
Coverage MeasureCoverage(const std::vector<uint8_t>& frame, PixelRect rect, uint32_t background);

// A live picture, not a flat fill or an icon: most of the rectangle away from the background,
// in many colours.
bool PictureShows(const Coverage& coverage);

}  // namespace zu
