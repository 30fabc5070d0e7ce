// The simulated camera's picture: a scene that drifts diagonally, a ball that bounces across it,
// sensor-like noise that changes every frame, and a caption (frame counter and time) burnt in.
//
// Everything per pixel is precomputed when the format is chosen: the scene as rows of the target
// pixel format (wide and tall enough to be read at any drift offset), a block of noise bytes in
// that format, and the palette. A frame is then one pass of 64-bit adds (or XORs, at 1 bit) of a
// noise row onto a scene row per output row, plus a few thousand pixels of ball and caption. The
// quantised scene leaves headroom for the noise in every channel or index, so the adds never
// carry from one channel into the next and no per-pixel clamp is needed.
#pragma once

#include <cstdint>
#include <vector>

#include "simcam/video_format.h"

namespace zu::simcam {

// What the source and display dialogs change.
struct PictureSettings {
  bool noise = true;    // sensor noise
  bool motion = true;   // scene drift and ball; off freezes the picture (noise still changes)
  bool caption = true;  // frame counter and time

  bool operator==(const PictureSettings& o) const {
    return noise == o.noise && motion == o.motion && caption == o.caption;
  }
};

class FrameGenerator {
 public:
  // Precomputes for `format`; false for a format that cannot be drawn (the generator is then
  // empty). Compressed formats are drawn as an 8-bit luma plane, padded with neutral bytes up to
  // the image size: the bytes are right in size, not meant to be decoded.
  bool Prepare(const VideoFormat& format);

  bool prepared() const { return prepared_; }
  const VideoFormat& format() const { return format_; }
  uint32_t image_size() const { return image_size_; }
  // The colour table, as RGBQUAD values (blue in the low byte): TableEntries(format) long for
  // indexed formats, empty otherwise.
  const std::vector<uint32_t>& palette() const { return palette_; }

  // Writes one frame of image_size() bytes at `out`. `caption` (digits, space and ":.#-SIM") is
  // drawn at the top left when settings.caption is set; other characters are left blank.
  void Render(uint32_t frame_index, const char* caption, const PictureSettings& settings,
              uint8_t* out);

 private:
  struct Span {
    int32_t half_width;  // the ball's half width at a row offset from its centre
  };

  void BuildScene();
  void BuildNoise();
  uint32_t PixelValue(int r, int g, int b) const;
  void PutPixel(uint8_t* frame, int32_t x, int32_t y, uint32_t value) const;
  void FillRect(uint8_t* frame, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                uint32_t value) const;
  void DrawBall(uint8_t* frame, uint32_t t) const;
  void DrawCaption(uint8_t* frame, const char* caption) const;

  bool prepared_ = false;
  VideoFormat format_;
  VideoFormat drawn_;            // the format the scene is drawn in (8-bit luma for compressed)
  uint32_t image_size_ = 0;
  uint32_t stride_ = 0;          // of drawn_
  uint32_t row_bytes_ = 0;       // meaningful bytes of a row, before the padding
  uint32_t levels_ = 0;          // indexed formats: colour-table entries
  uint32_t drift_align_ = 1;     // pixels: keeps a drifted row on a byte boundary
  bool xor_noise_ = false;       // 1 bit: noise flips pixels
  std::vector<uint32_t> palette_;
  std::vector<uint8_t> scene_;   // kScenePeriod rows of scene_stride_ bytes
  uint32_t scene_stride_ = 0;
  std::vector<uint8_t> noise_;
  std::vector<Span> ball_;       // one per row offset, 0 to radius
  int32_t ball_radius_ = 0;
  uint32_t ball_value_ = 0, caption_ink_ = 0, caption_paper_ = 0;
  std::vector<uint8_t> luma_;    // compressed formats: the 8-bit frame drawn first
};

}  // namespace zu::simcam
