// What a checked frame shows, pixel by pixel, whatever its bit count and row order. The tests and
// fuzz targets compare frames through it: a frame that went through PNG and back may come back
// with another row order or bit count and still show the same picture.
#pragma once

#include <cstdint>
#include <string>

#include "codec/frame_format.h"

namespace zu {

class FramePicture {
 public:
  // `frame` must pass CheckFrame and outlive the picture.
  explicit FramePicture(const uint8_t* frame);

  uint32_t Width() const { return static_cast<uint32_t>(layout_.header.biWidth); }
  uint32_t Height() const { return layout_.row_count; }
  const FrameLayout& Layout() const { return layout_; }

  // (x, y) from the top left. Palette and 24/32-bit pixels give 0xRRGGBB (the fourth byte of a
  // 32-bit pixel is unused); an index past the colour table gives kIndexPastTable | index; a
  // 16-bit pixel gives k16Bit | its two bytes as a little-endian number.
  uint32_t ColorAt(uint32_t x, uint32_t y) const;

  static constexpr uint32_t kIndexPastTable = 0x80000000u;
  static constexpr uint32_t k16Bit = 0x40000000u;

 private:
  const uint8_t* frame_;
  FrameLayout layout_;
};

// True when both frames have the same size and show the same colour at every pixel; otherwise
// `difference` (optional) names the first pixel that differs.
bool SamePicture(const uint8_t* a, const uint8_t* b, std::string* difference = nullptr);

}  // namespace zu
