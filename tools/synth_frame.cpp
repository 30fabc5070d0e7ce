#include "tools/synth_frame.h"

#include <algorithm>
#include <cstring>

#include "codec/frame_format.h"

namespace zu {
namespace {

// Frames at or above this size cannot be handed to the codec, whose lengths are 32-bit.
constexpr uint64_t kMaxSynthBytes = 0x7fffffffu;

// A gradient that rises over 256 steps and falls over the next 256: no hard edge anywhere, so the
// picture stays smooth while it drifts.
int Triangle(int64_t v) {
  const int p = static_cast<int>(v & 511);
  return p < 256 ? p : 511 - p;
}

int ClampSample(int v) { return std::min(255, std::max(0, v)); }

// xorshift32: small, fast, and the same sequence on every compiler.
class Noise {
 public:
  Noise(uint32_t seed, uint32_t frame_index) {
    // Mix the frame index in so consecutive frames do not share a noise pattern.
    uint32_t s = seed ^ (frame_index * 0x9e3779b9u);
    s ^= s >> 16;
    s *= 0x7feb352du;
    s ^= s >> 15;
    state_ = s != 0 ? s : 0x2545f491u;
  }

  // Sensor-like noise in [-8, 8], peaked at 0: the sum of two uniform draws.
  int Sample() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return static_cast<int>(state_ % 9) + static_cast<int>((state_ >> 8) % 9) - 8;
  }

 private:
  uint32_t state_;
};

struct Rgb {
  int r, g, b;
};

// The noise-free picture at (x, y), y counted from the top.
Rgb Gradient(int64_t x, int64_t y, int64_t width, int64_t height, int64_t t) {
  return {Triangle(x * 384 / width + 3 * t), Triangle(y * 384 / height + 2 * t + 100),
          Triangle((x + y) * 256 / (width + height) + 5 * t + 200)};
}

int Luma(const Rgb& c) { return (77 * c.r + 150 * c.g + 29 * c.b) >> 8; }

void SetPackedIndex(uint8_t* row, int64_t x, uint16_t bits, int index) {
  const int per_byte = 8 / bits;
  const int shift = 8 - bits * (1 + static_cast<int>(x % per_byte));
  row[x / per_byte] |= static_cast<uint8_t>(index << shift);
}

}  // namespace

std::vector<uint8_t> SynthFrame(int32_t width, int32_t height, uint16_t bit_count,
                                uint32_t frame_index, uint32_t seed) {
  if (width <= 0 || height == 0 || height == INT32_MIN) return {};
  if (bit_count != 1 && bit_count != 4 && bit_count != 8 && bit_count != 16 && bit_count != 24 &&
      bit_count != 32) {
    return {};
  }
  const uint32_t table_entries = bit_count <= 8 ? (1u << bit_count) : 0;
  const uint64_t rows = height < 0 ? -static_cast<int64_t>(height) : height;
  const uint64_t stride = DibRowStride(width, bit_count);
  const uint64_t rows_offset = kBitmapHeaderSize + 4ull * table_entries;
  if (stride * rows > kMaxSynthBytes - rows_offset) return {};

  std::vector<uint8_t> frame(static_cast<size_t>(rows_offset + stride * rows));
  BitmapHeader header;
  header.biSize = kBitmapHeaderSize;
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = bit_count;
  header.biCompression = kBiRgb;
  header.biSizeImage = static_cast<uint32_t>(stride * rows);
  WriteBitmapHeader(header, frame.data());

  for (uint32_t i = 0; i < table_entries; ++i) {
    const uint8_t grey = static_cast<uint8_t>(i * 255 / (table_entries - 1));
    uint8_t* entry = frame.data() + kBitmapHeaderSize + 4 * i;
    entry[0] = entry[1] = entry[2] = grey;
  }

  Noise noise(seed, frame_index);
  const int64_t t = frame_index;
  // Noise is drawn in picture order, so the row order changes the bytes but not the picture.
  for (uint64_t y = 0; y < rows; ++y) {
    const uint64_t stored = height > 0 ? rows - 1 - y : y;
    uint8_t* row = frame.data() + rows_offset + stored * stride;
    for (int64_t x = 0; x < width; ++x) {
      const Rgb c = Gradient(x, static_cast<int64_t>(y), width, static_cast<int64_t>(rows), t);
      switch (bit_count) {
        case 1:
          SetPackedIndex(row, x, 1, Luma(c) + 4 * noise.Sample() >= 128 ? 1 : 0);
          break;
        case 4:
          SetPackedIndex(row, x, 4, ClampSample(Luma(c) + noise.Sample()) >> 4);
          break;
        case 8:
          row[x] = static_cast<uint8_t>(ClampSample(Luma(c) + noise.Sample()));
          break;
        case 16: {
          const int r = ClampSample(c.r + noise.Sample()) >> 3;
          const int g = ClampSample(c.g + noise.Sample()) >> 3;
          const int b = ClampSample(c.b + noise.Sample()) >> 3;
          const int v = (r << 10) | (g << 5) | b;
          row[2 * x] = static_cast<uint8_t>(v);
          row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
          break;
        }
        default: {
          uint8_t* pixel = row + x * (bit_count / 8);
          pixel[0] = static_cast<uint8_t>(ClampSample(c.b + noise.Sample()));
          pixel[1] = static_cast<uint8_t>(ClampSample(c.g + noise.Sample()));
          pixel[2] = static_cast<uint8_t>(ClampSample(c.r + noise.Sample()));
          break;
        }
      }
    }
  }
  return frame;
}

}  // namespace zu
