// Where a kept frame appears in the play control: the source rectangle in frame pixels and the
// destination rectangle in the target's coordinates, fitted by the control's size mode.
#pragma once

#include <cstdint>

namespace zu {

// Same field order and meaning as the Win32 RECT, so it can be copied into one.
struct FrameRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  friend bool operator==(const FrameRect& a, const FrameRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
  }
  friend bool operator!=(const FrameRect& a, const FrameRect& b) { return !(a == b); }
};

// The values of VpySizeMode.
enum SizeModeValue : int32_t { kSizeClip = 0, kSizeZoom = 1, kSizeStretch = 2 };

struct FrameLayoutResult {
  FrameRect source;
  FrameRect destination;
};

// Fits a frame of `width` x `height` pixels into `target` (the window's client rectangle, whose
// corner is 0, 0; or the bounds of a rendering without a window):
//   STRETCH  the whole frame over the whole target;
//   ZOOM     the whole frame scaled to the largest size that keeps its aspect ratio, centred
//            (ratios in double precision, every conversion truncating toward zero);
//   CLIP     (and any other mode) the frame at its own size, centred; where it is larger than
//            the target its centre part is taken. An odd margin leaves the extra pixel at the
//            right or bottom.
// A target with a negative extent counts as empty.
FrameLayoutResult ComputeFrameLayout(int32_t width, int32_t height, int32_t size_mode,
                                     const FrameRect& target);

}  // namespace zu
