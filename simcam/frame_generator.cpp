#include "simcam/frame_generator.h"

#include <algorithm>
#include <cstring>

#include "codec/frame_format.h"

namespace zu::simcam {
namespace {

// The scene repeats every kScenePeriod pixels both ways, so a drifted frame reads a window of
// precomputed rows at any offset. A power of two: the offsets wrap with a mask.
constexpr int32_t kScenePeriod = 512;
constexpr uint32_t kSceneMask = kScenePeriod - 1;
// Rows of noise start at one of these many 8-byte offsets into the noise block.
constexpr uint32_t kNoiseOffsets = 8192;
// 24 and 32 bits: noise adds 0 to kNoiseSpan to each channel.
constexpr int kNoiseSpan = 12;

int Triangle(int v) {
  v &= 511;
  return v < 256 ? v : 511 - v;
}

int Luma(int r, int g, int b) { return (77 * r + 150 * g + 29 * b) >> 8; }

uint32_t Mix(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352du;
  x ^= x >> 15;
  x *= 0x846ca68bu;
  x ^= x >> 16;
  return x;
}

class XorShift {
 public:
  explicit XorShift(uint32_t seed) : state_(seed ? seed : 0x2545f491u) {}
  uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }

 private:
  uint32_t state_;
};

constexpr uint8_t kBayer4[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

// The scene tile as 0xRRGGBB: soft colour waves, a checker of shaded squares and a bright ring,
// so that the drift is plain to see at any frame size. Built once per process.
const std::vector<uint32_t>& SceneTile() {
  static const std::vector<uint32_t> tile = [] {
    std::vector<uint32_t> t(static_cast<size_t>(kScenePeriod) * kScenePeriod);
    for (int y = 0; y < kScenePeriod; ++y) {
      for (int x = 0; x < kScenePeriod; ++x) {
        int r = 40 + Triangle(x) * 3 / 4;
        int g = 40 + Triangle(y + 128) * 3 / 4;
        int b = 40 + Triangle(x + y + 256) * 3 / 4;
        if (((x >> 6) ^ (y >> 6)) & 1) {
          r = r * 3 / 4;
          g = g * 3 / 4;
          b = b * 3 / 4;
        }
        const int dx = x - 256, dy = y - 256;
        const int d2 = dx * dx + dy * dy;
        if (d2 >= 150 * 150 && d2 < 170 * 170) r = g = b = 235;
        t[static_cast<size_t>(y) * kScenePeriod + x] =
            static_cast<uint32_t>(r) << 16 | static_cast<uint32_t>(g) << 8 | static_cast<uint32_t>(b);
      }
    }
    return t;
  }();
  return tile;
}

int32_t Bounce(uint32_t position, int32_t span) {
  if (span <= 0) return 0;
  const uint32_t q = position % (2u * static_cast<uint32_t>(span));
  return static_cast<int32_t>(q <= static_cast<uint32_t>(span) ? q : 2u * span - q);
}

int32_t ISqrt(int32_t v) {
  int32_t r = 0;
  while ((r + 1) * (r + 1) <= v) ++r;
  return r;
}

// 5x7 glyphs, one byte a row, bit 4 the leftmost pixel.
struct Glyph {
  char c;
  uint8_t rows[7];
};
constexpr Glyph kGlyphs[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    {'#', {0x0A, 0x0A, 0x1F, 0x0A, 0x1F, 0x0A, 0x0A}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}},
};

const uint8_t* GlyphRows(char c) {
  for (const Glyph& g : kGlyphs) {
    if (g.c == c) return g.rows;
  }
  return nullptr;
}

void StorePacked(uint8_t* row, int64_t x, uint16_t bits, uint32_t value) {
  switch (bits) {
    case 1: {
      const uint8_t mask = static_cast<uint8_t>(0x80 >> (x & 7));
      row[x >> 3] = value ? (row[x >> 3] | mask) : (row[x >> 3] & ~mask);
      break;
    }
    case 4: {
      const int shift = (x & 1) ? 0 : 4;
      row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & ~(0xF << shift)) | ((value & 0xF) << shift));
      break;
    }
    case 8: row[x] = static_cast<uint8_t>(value); break;
    case 16:
      row[2 * x] = static_cast<uint8_t>(value);
      row[2 * x + 1] = static_cast<uint8_t>(value >> 8);
      break;
    case 24:
      row[3 * x] = static_cast<uint8_t>(value);
      row[3 * x + 1] = static_cast<uint8_t>(value >> 8);
      row[3 * x + 2] = static_cast<uint8_t>(value >> 16);
      break;
    default:
      row[4 * x] = static_cast<uint8_t>(value);
      row[4 * x + 1] = static_cast<uint8_t>(value >> 8);
      row[4 * x + 2] = static_cast<uint8_t>(value >> 16);
      row[4 * x + 3] = 0;
      break;
  }
}

// Adds (or XORs) `count` noise bytes onto scene bytes. Lanes never carry (see the header), so a
// 64-bit add is eight independent byte adds.
void Combine(uint8_t* out, const uint8_t* scene, const uint8_t* noise, uint32_t count,
             bool use_xor) {
  uint32_t i = 0;
  for (; i + 8 <= count; i += 8) {
    uint64_t a, b;
    std::memcpy(&a, scene + i, 8);
    std::memcpy(&b, noise + i, 8);
    a = use_xor ? (a ^ b) : (a + b);
    std::memcpy(out + i, &a, 8);
  }
  for (; i < count; ++i) {
    out[i] = static_cast<uint8_t>(use_xor ? (scene[i] ^ noise[i]) : (scene[i] + noise[i]));
  }
}

}  // namespace

bool FrameGenerator::Prepare(const VideoFormat& format) {
  prepared_ = false;
  format_ = format;
  if (format.width <= 0 || format.height <= 0 || format.width > kMaxFrameSide ||
      format.height > kMaxFrameSide) {
    return false;
  }
  drawn_ = format;
  if (format.compression != kBiRgbCompression) {
    drawn_ = VideoFormat{format.width, format.height, 8, kBiRgbCompression, 256, 0};
  } else {
    switch (format.bit_count) {
      case 1: case 4: case 8: case 16: case 24: case 32: break;
      default: return false;
    }
    // A table longer than the pixels can index is legal in a header but adds nothing here.
    if (IsIndexed(format) && format.colors > (1u << format.bit_count)) {
      drawn_.colors = 1u << format.bit_count;
    }
  }
  image_size_ = ImageSize(format);
  stride_ = static_cast<uint32_t>(DibRowStride(drawn_.width, drawn_.bit_count));
  row_bytes_ = static_cast<uint32_t>((static_cast<uint64_t>(drawn_.width) * drawn_.bit_count + 7) / 8);
  levels_ = IsIndexed(drawn_) ? TableEntries(drawn_) : 0;
  drift_align_ = drawn_.bit_count == 1 ? 8 : drawn_.bit_count == 4 ? 2 : 1;
  xor_noise_ = drawn_.bit_count == 1;

  palette_ = FormatPalette(format);

  BuildScene();
  BuildNoise();

  ball_radius_ = std::max<int32_t>(2, std::min(drawn_.width, drawn_.height) / 10);
  ball_.assign(static_cast<size_t>(ball_radius_) + 1, Span{0});
  for (int32_t dy = 0; dy <= ball_radius_; ++dy) {
    ball_[dy].half_width = ISqrt(ball_radius_ * ball_radius_ - dy * dy);
  }
  ball_value_ = PixelValue(255, 170, 40);
  caption_ink_ = PixelValue(255, 255, 255);
  caption_paper_ = PixelValue(0, 0, 0);
  luma_.assign(format.compression != kBiRgbCompression
                   ? static_cast<size_t>(stride_) * drawn_.height : 0, 0);
  prepared_ = true;
  return true;
}

uint32_t FrameGenerator::PixelValue(int r, int g, int b) const {
  switch (drawn_.bit_count) {
    case 1: case 4: case 8:
      return levels_ > 1 ? (static_cast<uint32_t>(Luma(r, g, b)) * (levels_ - 1) + 127) / 255 : 0;
    case 16:
      return static_cast<uint32_t>((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
    default:
      return static_cast<uint32_t>(r) << 16 | static_cast<uint32_t>(g) << 8 | static_cast<uint32_t>(b);
  }
}

void FrameGenerator::BuildScene() {
  const std::vector<uint32_t>& tile = SceneTile();
  const int64_t scene_width = static_cast<int64_t>(drawn_.width) + kScenePeriod;
  // Whole 64-bit words, so the combine loop may read its last word from any drift offset.
  scene_stride_ = static_cast<uint32_t>(((scene_width * drawn_.bit_count + 7) / 8 + 15) & ~7ll);
  scene_.assign(static_cast<size_t>(scene_stride_) * kScenePeriod, 0);

  const uint16_t bits = drawn_.bit_count;
  // Headroom left for the noise: the largest value the noise adds.
  int headroom = 0;
  if (bits == 8) headroom = levels_ >= 128 ? 8 : levels_ >= 32 ? 2 : 0;
  if (bits == 4) headroom = levels_ >= 4 ? 1 : 0;
  const int top = static_cast<int>(levels_) - 1 - headroom;

  for (int32_t y = 0; y < kScenePeriod; ++y) {
    uint8_t* row = scene_.data() + static_cast<size_t>(y) * scene_stride_;
    const uint32_t* tile_row = tile.data() + static_cast<size_t>(y) * kScenePeriod;
    for (int64_t x = 0; x < scene_width; ++x) {
      const uint32_t rgb = tile_row[x & kSceneMask];
      const int r = (rgb >> 16) & 0xff, g = (rgb >> 8) & 0xff, b = rgb & 0xff;
      const int dither = kBayer4[y & 3][x & 3];
      uint32_t value = 0;
      switch (bits) {
        case 1:
          value = levels_ >= 2 && Luma(r, g, b) > dither * 16 + 8 ? 1 : 0;
          break;
        case 4:
          value = top > 0 ? static_cast<uint32_t>((Luma(r, g, b) * top * 16 + dither * 255) /
                                                  (255 * 16))
                          : 0;
          break;
        case 8:
          value = top > 0 ? static_cast<uint32_t>(Luma(r, g, b) * top / 255) : 0;
          break;
        case 16:
          value = static_cast<uint32_t>((r * 30 / 255) << 10 | (g * 30 / 255) << 5 | (b * 30 / 255));
          break;
        default: {
          const int span = 255 - kNoiseSpan;
          value = static_cast<uint32_t>((r * span / 255) << 16 | (g * span / 255) << 8 |
                                        (b * span / 255));
          break;
        }
      }
      StorePacked(row, x, bits, value);
    }
  }
}

void FrameGenerator::BuildNoise() {
  noise_.assign(static_cast<size_t>(kNoiseOffsets) * 8 + row_bytes_ + 8, 0);
  XorShift random(0x5eed2b1du ^ (drawn_.bit_count * 0x9e3779b9u));
  const uint16_t bits = drawn_.bit_count;
  int amplitude8 = levels_ >= 128 ? 4 : levels_ >= 32 ? 1 : 0;  // two draws of 0..amplitude8
  for (size_t i = 0; i < noise_.size(); ++i) {
    const uint32_t r = random.Next();
    uint8_t v = 0;
    switch (bits) {
      case 1:
        v = levels_ >= 2 ? static_cast<uint8_t>(1u << (r & 7)) : 0;
        if ((r >> 3) % 4 != 0) v = 0;  // about one pixel in 32 flips
        break;
      case 4:
        if (levels_ >= 4) {
          v = static_cast<uint8_t>(((r & 3) == 0 ? 0x10 : 0) | (((r >> 2) & 3) == 0 ? 0x01 : 0));
        }
        break;
      case 8:
        v = static_cast<uint8_t>(r % (amplitude8 + 1) + (r >> 8) % (amplitude8 + 1));
        break;
      case 16:
        // One 16-bit pixel per pair of bytes: each 5-bit channel gains 0 or 1.
        if (i % 2 == 0) {
          const uint32_t pixel = ((r & 3) == 0 ? 1u << 10 : 0) | (((r >> 2) & 3) == 0 ? 1u << 5 : 0) |
                                 (((r >> 4) & 3) == 0 ? 1u : 0);
          noise_[i] = static_cast<uint8_t>(pixel);
          if (i + 1 < noise_.size()) noise_[i + 1] = static_cast<uint8_t>(pixel >> 8);
          ++i;
          continue;
        }
        break;
      case 32:
        v = i % 4 == 3 ? 0 : static_cast<uint8_t>(r % 7 + (r >> 8) % 7);
        break;
      default:
        v = static_cast<uint8_t>(r % 7 + (r >> 8) % 7);
        break;
    }
    noise_[i] = v;
  }
}

void FrameGenerator::PutPixel(uint8_t* frame, int32_t x, int32_t y, uint32_t value) const {
  if (x < 0 || y < 0 || x >= drawn_.width || y >= drawn_.height) return;
  uint8_t* row = frame + static_cast<size_t>(drawn_.height - 1 - y) * stride_;
  StorePacked(row, x, drawn_.bit_count, value);
}

void FrameGenerator::FillRect(uint8_t* frame, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                              uint32_t value) const {
  x0 = std::max(x0, 0);
  y0 = std::max(y0, 0);
  x1 = std::min(x1, drawn_.width);
  y1 = std::min(y1, drawn_.height);
  for (int32_t y = y0; y < y1; ++y) {
    for (int32_t x = x0; x < x1; ++x) PutPixel(frame, x, y, value);
  }
}

void FrameGenerator::DrawBall(uint8_t* frame, uint32_t t) const {
  const int32_t r = ball_radius_;
  const int32_t cx = r + Bounce(t * 5, drawn_.width - 1 - 2 * r);
  const int32_t cy = r + Bounce(t * 3, drawn_.height - 1 - 2 * r);
  for (int32_t dy = -r; dy <= r; ++dy) {
    const int32_t half = ball_[dy < 0 ? -dy : dy].half_width;
    FillRect(frame, cx - half, cy + dy, cx + half + 1, cy + dy + 1, ball_value_);
  }
}

void FrameGenerator::DrawCaption(uint8_t* frame, const char* caption) const {
  const size_t length = std::strlen(caption);
  if (length == 0) return;
  const int32_t scale = drawn_.width >= 320 && drawn_.height >= 120 ? 2 : 1;
  const int32_t left = 2 * scale, top = 2 * scale;
  FillRect(frame, left - scale, top - scale, left + static_cast<int32_t>(length) * 6 * scale,
           top + 8 * scale, caption_paper_);
  for (size_t i = 0; i < length; ++i) {
    const uint8_t* rows = GlyphRows(caption[i]);
    if (rows == nullptr) continue;
    const int32_t x0 = left + static_cast<int32_t>(i) * 6 * scale;
    for (int32_t gy = 0; gy < 7; ++gy) {
      for (int32_t gx = 0; gx < 5; ++gx) {
        if (!(rows[gy] & (0x10 >> gx))) continue;
        FillRect(frame, x0 + gx * scale, top + gy * scale, x0 + (gx + 1) * scale,
                 top + (gy + 1) * scale, caption_ink_);
      }
    }
  }
}

void FrameGenerator::Render(uint32_t frame_index, const char* caption,
                            const PictureSettings& settings, uint8_t* out) {
  if (!prepared_) return;
  const bool compressed = format_.compression != kBiRgbCompression;
  uint8_t* frame = compressed ? luma_.data() : out;
  const uint32_t t = settings.motion ? frame_index : 0;
  const uint32_t dx = ((t * 3) & kSceneMask) / drift_align_ * drift_align_;
  const uint32_t dy = (t * 2) & kSceneMask;
  const uint32_t dx_bytes = dx * drawn_.bit_count / 8;
  const uint32_t seed = Mix(frame_index * 0x9e3779b9u + 0x1234567u);
  const int32_t height = drawn_.height;
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* scene =
        scene_.data() + static_cast<size_t>((y + dy) & kSceneMask) * scene_stride_ + dx_bytes;
    uint8_t* row = frame + static_cast<size_t>(height - 1 - y) * stride_;
    if (settings.noise) {
      const uint8_t* noise = noise_.data() + (Mix(seed + static_cast<uint32_t>(y)) % kNoiseOffsets) * 8;
      Combine(row, scene, noise, row_bytes_, xor_noise_);
    } else {
      std::memcpy(row, scene, row_bytes_);
    }
    for (uint32_t i = row_bytes_; i < stride_; ++i) row[i] = 0;
  }
  DrawBall(frame, t);
  if (settings.caption && caption != nullptr) DrawCaption(frame, caption);

  if (compressed) {
    // The luma plane top-down, then neutral bytes to the image size.
    const size_t width = static_cast<size_t>(drawn_.width);
    size_t written = 0;
    for (int32_t y = 0; y < height && written < image_size_; ++y) {
      const size_t n = std::min(width, image_size_ - written);
      std::memcpy(out + written, luma_.data() + static_cast<size_t>(height - 1 - y) * stride_, n);
      written += n;
    }
    std::memset(out + written, 128, image_size_ - written);
  }
}

}  // namespace zu::simcam
