#include "play/frame_layout.h"

#include <cmath>

namespace zu {
namespace {

// One axis of CLIP: centred when the frame fits, its centre part when it does not.
void ClipAxis(int64_t frame, int64_t room, int64_t* src_off, int64_t* src_len, int64_t* dst_off,
              int64_t* dst_len) {
  if (frame > room) {
    *src_off = (frame - room) / 2;
    *src_len = room;
    *dst_off = 0;
    *dst_len = room;
  } else {
    *src_off = 0;
    *src_len = frame;
    *dst_off = (room - frame) / 2;
    *dst_len = frame;
  }
}

// 32-bit x86 builds keep doubles in the x87's 80-bit registers, where 33 / (176 / 144.0) comes to
// 27 rather than the 26.99... of double arithmetic. Every ratio and quotient is rounded to a double
// on its own, so that all builds lay a frame out alike.
double Rounded(double value) {
  volatile double stored = value;
  return stored;
}

FrameRect MakeRect(int64_t x, int64_t y, int64_t w, int64_t h) {
  return FrameRect{static_cast<int32_t>(x), static_cast<int32_t>(y), static_cast<int32_t>(x + w),
                   static_cast<int32_t>(y + h)};
}

}  // namespace

FrameLayoutResult ComputeFrameLayout(int32_t width, int32_t height, int32_t size_mode,
                                     const FrameRect& target) {
  const int64_t w = width, h = height;
  int64_t W = static_cast<int64_t>(target.right) - target.left;
  int64_t H = static_cast<int64_t>(target.bottom) - target.top;
  if (W < 0) W = 0;
  if (H < 0) H = 0;

  int64_t sx = 0, sy = 0, sw = w, sh = h;
  int64_t dx = 0, dy = 0, dw = W, dh = H;
  if (size_mode == kSizeStretch) {
    // Whole frame over the whole target.
  } else if (size_mode == kSizeZoom) {
    // The height is W divided by the ratio, not W * h / w in integers: the two differ in the
    // last pixel for some sizes, and the divided form is the one hosts see.
    if (w >= h) {
      double r = Rounded(static_cast<double>(w) / static_cast<double>(h));
      if (r == 0.0 || std::isnan(r)) r = 1.0;
      dw = W;
      dh = static_cast<int64_t>(std::trunc(Rounded(static_cast<double>(W) / r)));
      if (H < dh) {
        dh = H;
        dw = static_cast<int64_t>(std::trunc(Rounded(static_cast<double>(H) * r)));
      }
    } else {
      const double r = Rounded(static_cast<double>(h) / static_cast<double>(w));
      dh = H;
      dw = static_cast<int64_t>(std::trunc(Rounded(static_cast<double>(H) / r)));
      if (W < dw) {
        dw = W;
        dh = static_cast<int64_t>(std::trunc(Rounded(static_cast<double>(W) * r)));
      }
    }
    dx = (W - dw) / 2;
    dy = (H - dh) / 2;
  } else {
    ClipAxis(w, W, &sx, &sw, &dx, &dw);
    ClipAxis(h, H, &sy, &sh, &dy, &dh);
  }
  return FrameLayoutResult{MakeRect(sx, sy, sw, sh),
                           MakeRect(target.left + dx, target.top + dy, dw, dh)};
}

}  // namespace zu
