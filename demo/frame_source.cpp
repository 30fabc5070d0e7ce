#include "demo/frame_source.h"

#include <cstdlib>
#include <string>

#include "codec/frame_format.h"
#include "codec/png_frame_encoder.h"
#include "tools/synth_frame.h"

namespace zu {
namespace {

// 3 x 5 digit glyphs, one row a byte, bit 2 the left column.
constexpr uint8_t kDigits[10][5] = {
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7}, {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 1, 1}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7},
};
constexpr int kScale = 4;    // pixels per glyph cell
constexpr int kMargin = 4;   // black border around the digits

}  // namespace

bool DrawFrameNumber(std::vector<uint8_t>* frame, uint32_t number) {
  FrameLayout layout;
  if (CheckFrame(frame->data(), static_cast<int64_t>(frame->size()), &layout) != FrameVerdict::kOk ||
      layout.header.biBitCount != 24 || layout.top_down) {
    return false;
  }
  const std::string text = std::to_string(number);
  const int box_w = kMargin * 2 + static_cast<int>(text.size()) * 4 * kScale - kScale;
  const int box_h = kMargin * 2 + 5 * kScale;
  const int width = layout.header.biWidth;
  const int height = static_cast<int>(layout.row_count);
  uint8_t* rows = frame->data() + layout.rows_offset;
  for (int y = 0; y < box_h && y < height; ++y) {
    // y counts from the top; the rows are stored bottom-up.
    uint8_t* row = rows + static_cast<size_t>(height - 1 - y) * layout.row_stride;
    for (int x = 0; x < box_w && x < width; ++x) {
      bool lit = false;
      const int gx = x - kMargin;
      const int gy = y - kMargin;
      if (gx >= 0 && gy >= 0 && gy < 5 * kScale) {
        const size_t digit = static_cast<size_t>(gx / (4 * kScale));
        const int column = (gx % (4 * kScale)) / kScale;
        if (digit < text.size() && column < 3) {
          lit = (kDigits[text[digit] - '0'][gy / kScale] >> (2 - column)) & 1;
        }
      }
      const uint8_t value = lit ? 255 : 0;
      row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = value;
    }
  }
  return true;
}

std::vector<uint8_t> SynthFrameSource::Frame(uint32_t index) const {
  std::vector<uint8_t> bitmap = SynthFrame(width_, height_, 24, index);
  if (bitmap.empty()) return bitmap;
  DrawFrameNumber(&bitmap, index);
  if (format_ == WireFormat::kBmp) return bitmap;
  PngFrameEncoder encoder;
  int32_t length = 0;
  uint8_t* stream =
      encoder.EncodeFrame(bitmap.data(), static_cast<int32_t>(bitmap.size()), &length);
  if (stream == nullptr) return {};
  std::vector<uint8_t> png(stream, stream + length);
  std::free(stream);
  return png;
}

}  // namespace zu
