#include "codec/frame_format.h"

#include <cstring>

namespace zu {
namespace {

uint16_t Read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Read32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void Write16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Write32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

bool IsDrawableBitCount(uint32_t bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

}  // namespace

BitmapHeader ReadBitmapHeader(const uint8_t* b) {
  BitmapHeader h;
  h.biSize = Read32(b + 0);
  h.biWidth = static_cast<int32_t>(Read32(b + 4));
  h.biHeight = static_cast<int32_t>(Read32(b + 8));
  h.biPlanes = Read16(b + 12);
  h.biBitCount = Read16(b + 14);
  h.biCompression = Read32(b + 16);
  h.biSizeImage = Read32(b + 20);
  h.biXPelsPerMeter = static_cast<int32_t>(Read32(b + 24));
  h.biYPelsPerMeter = static_cast<int32_t>(Read32(b + 28));
  h.biClrUsed = Read32(b + 32);
  h.biClrImportant = Read32(b + 36);
  return h;
}

void WriteBitmapHeader(const BitmapHeader& h, uint8_t* b) {
  Write32(b + 0, h.biSize);
  Write32(b + 4, static_cast<uint32_t>(h.biWidth));
  Write32(b + 8, static_cast<uint32_t>(h.biHeight));
  Write16(b + 12, h.biPlanes);
  Write16(b + 14, h.biBitCount);
  Write32(b + 16, h.biCompression);
  Write32(b + 20, h.biSizeImage);
  Write32(b + 24, static_cast<uint32_t>(h.biXPelsPerMeter));
  Write32(b + 28, static_cast<uint32_t>(h.biYPelsPerMeter));
  Write32(b + 32, h.biClrUsed);
  Write32(b + 36, h.biClrImportant);
}

uint32_t ColorTableEntries(const BitmapHeader& h) {
  if (h.biClrUsed != 0) return h.biClrUsed;
  switch (h.biBitCount) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    default: return 0;
  }
}

uint64_t DibRowStride(int64_t width, uint32_t bit_count) {
  if (width <= 0) return 0;
  const uint64_t bits = static_cast<uint64_t>(width) * bit_count;
  return (bits + 31) / 32 * 4;
}

const char* DescribeVerdict(FrameVerdict v) {
  switch (v) {
    case FrameVerdict::kOk: return "frame is complete and drawable";
    case FrameVerdict::kNoHeader: return "shorter than the 40-byte bitmap header";
    case FrameVerdict::kBadHeaderSize: return "header size is not 40";
    case FrameVerdict::kBadDimensions: return "width or height is zero or negative";
    case FrameVerdict::kUnsupportedBitCount: return "bit count is not 1, 4, 8, 16, 24 or 32";
    case FrameVerdict::kCompressed: return "compressed bitmaps are not carried";
    case FrameVerdict::kTooManyColors: return "colour table is longer than the bit count allows";
    case FrameVerdict::kTableTruncated: return "colour table runs past the end of the data";
    case FrameVerdict::kRowsTruncated: return "pixel rows run past the end of the data";
  }
  return "unknown verdict";
}

FrameVerdict CheckFrame(const void* bytes, int64_t count, FrameLayout* layout) {
  if (bytes == nullptr || count < kBitmapHeaderSize) return FrameVerdict::kNoHeader;
  FrameLayout l;
  l.header = ReadBitmapHeader(static_cast<const uint8_t*>(bytes));
  const BitmapHeader& h = l.header;
  l.color_entries = ColorTableEntries(h);
  if (layout) *layout = l;

  if (h.biSize != kBitmapHeaderSize) return FrameVerdict::kBadHeaderSize;
  // INT32_MIN has no positive counterpart; no real frame is that tall anyway.
  if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN) return FrameVerdict::kBadDimensions;
  if (!IsDrawableBitCount(h.biBitCount)) return FrameVerdict::kUnsupportedBitCount;
  if (h.biCompression != kBiRgb) return FrameVerdict::kCompressed;
  const uint32_t max_colors = h.biBitCount <= 8 ? (1u << h.biBitCount) : kMaxColorTableEntries;
  if (l.color_entries > max_colors) return FrameVerdict::kTooManyColors;

  const uint64_t rows_offset = kBitmapHeaderSize + 4ull * l.color_entries;
  const uint64_t stride = DibRowStride(h.biWidth, h.biBitCount);
  const uint64_t rows = h.biHeight < 0 ? -static_cast<int64_t>(h.biHeight) : h.biHeight;
  l.rows_offset = static_cast<uint32_t>(rows_offset);  // at most 40 + 1024
  l.row_count = static_cast<uint32_t>(rows);
  l.top_down = h.biHeight < 0;
  // stride < 2^35 and rows < 2^31, so the product cannot overflow 64 bits.
  l.required_bytes = rows_offset + stride * rows;
  l.row_stride = stride > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(stride);
  if (layout) *layout = l;

  const uint64_t available = static_cast<uint64_t>(count);
  if (rows_offset > available) return FrameVerdict::kTableTruncated;
  if (l.required_bytes > available) return FrameVerdict::kRowsTruncated;
  return FrameVerdict::kOk;
}

FrameBlock CopyFrame(const void* bytes, int64_t count, FrameVerdict* verdict) {
  const FrameVerdict v = CheckFrame(bytes, count);
  if (verdict) *verdict = v;
  if (v != FrameVerdict::kOk) return nullptr;
  if (static_cast<uint64_t>(count) > SIZE_MAX) return nullptr;
  FrameBlock block(static_cast<uint8_t*>(std::malloc(static_cast<size_t>(count))));
  if (block) std::memcpy(block.get(), bytes, static_cast<size_t>(count));
  return block;
}

}  // namespace zu
