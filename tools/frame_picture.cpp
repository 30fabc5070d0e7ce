#include "tools/frame_picture.h"

#include <cstdio>

namespace zu {

FramePicture::FramePicture(const uint8_t* frame) : frame_(frame) {
  // The caller vouches for the frame; the count only has to cover what it describes.
  CheckFrame(frame, INT64_MAX, &layout_);
}

uint32_t FramePicture::ColorAt(uint32_t x, uint32_t y) const {
  const uint32_t stored = layout_.top_down ? y : layout_.row_count - 1 - y;
  const uint8_t* row =
      frame_ + layout_.rows_offset + static_cast<uint64_t>(stored) * layout_.row_stride;
  const uint16_t bits = layout_.header.biBitCount;
  if (bits <= 8) {
    const uint64_t bit = uint64_t{x} * bits;
    const uint32_t index = (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
    if (index >= layout_.color_entries) return kIndexPastTable | index;
    const uint8_t* entry = frame_ + kBitmapHeaderSize + 4 * index;
    return (uint32_t{entry[2]} << 16) | (uint32_t{entry[1]} << 8) | entry[0];
  }
  if (bits == 16) {
    const uint8_t* pixel = row + 2 * uint64_t{x};
    return k16Bit | pixel[0] | (uint32_t{pixel[1]} << 8);
  }
  const uint8_t* pixel = row + static_cast<uint64_t>(x) * (bits / 8);
  return (uint32_t{pixel[2]} << 16) | (uint32_t{pixel[1]} << 8) | pixel[0];
}

bool SamePicture(const uint8_t* a, const uint8_t* b, std::string* difference) {
  const FramePicture first(a), second(b);
  char text[160];
  if (first.Width() != second.Width() || first.Height() != second.Height()) {
    std::snprintf(text, sizeof text, "size %ux%u against %ux%u", first.Width(), first.Height(),
                  second.Width(), second.Height());
    if (difference) *difference = text;
    return false;
  }
  for (uint32_t y = 0; y < first.Height(); ++y) {
    for (uint32_t x = 0; x < first.Width(); ++x) {
      const uint32_t p = first.ColorAt(x, y), q = second.ColorAt(x, y);
      if (p != q) {
        std::snprintf(text, sizeof text, "pixel (%u, %u) from the top left: 0x%08x against 0x%08x",
                      x, y, p, q);
        if (difference) *difference = text;
        return false;
      }
    }
  }
  return true;
}

}  // namespace zu
