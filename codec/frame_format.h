// Frame data: the bytes of one video frame as they travel between the two controls.
//
// The BMP variant is a packed device-independent bitmap with no file header: a 40-byte
// BITMAPINFOHEADER, a colour table of ColorTableEntries() RGBQUADs, then the pixel rows, each
// DibRowStride() bytes long (bottom-up when biHeight is positive). The PNG variant is a complete
// PNG stream; see png_frame_encoder.h and png_frame_decoder.h.
//
// Every reader of frame data that came from outside goes through CheckFrame() first. It is
// written for hostile input: all arithmetic is 64-bit and nothing past the given count is read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace zu {

constexpr uint32_t kBitmapHeaderSize = 40;
constexpr uint32_t kMaxColorTableEntries = 256;
constexpr uint32_t kBiRgb = 0;

// The header fields, decoded from little-endian bytes so the same code serves every platform.
struct BitmapHeader {
  uint32_t biSize = 0;
  int32_t biWidth = 0;
  int32_t biHeight = 0;
  uint16_t biPlanes = 0;
  uint16_t biBitCount = 0;
  uint32_t biCompression = 0;
  uint32_t biSizeImage = 0;
  int32_t biXPelsPerMeter = 0;
  int32_t biYPelsPerMeter = 0;
  uint32_t biClrUsed = 0;
  uint32_t biClrImportant = 0;
};

// Reads the 40 header bytes at `bytes`; the caller guarantees they are there.
BitmapHeader ReadBitmapHeader(const uint8_t* bytes);
// Writes `header` as 40 little-endian bytes at `bytes`.
void WriteBitmapHeader(const BitmapHeader& header, uint8_t* bytes);

// Colour-table length: biClrUsed when set, else 2, 16 or 256 for 1, 4 or 8 bits, else 0.
// Not clamped: a header may claim more than 256 entries, which CheckFrame refuses.
uint32_t ColorTableEntries(const BitmapHeader& header);

// Row length in bytes, rounded up to a multiple of 4. 64-bit, so no width overflows it; a
// negative width gives 0.
uint64_t DibRowStride(int64_t width, uint32_t bit_count);

enum class FrameVerdict {
  kOk,
  kNoHeader,            // fewer than 40 bytes, or a negative count
  kBadHeaderSize,       // biSize is not 40
  kBadDimensions,       // width not above 0, or height 0
  kUnsupportedBitCount, // not 1, 4, 8, 16, 24 or 32
  kCompressed,          // biCompression is not BI_RGB
  kTooManyColors,       // colour table longer than the bit count allows (or than 256)
  kTableTruncated,      // the colour table runs past the count
  kRowsTruncated,       // the pixel rows run past the count
};

// Short English description of a verdict, for tools and test messages.
const char* DescribeVerdict(FrameVerdict verdict);

// Where the parts of a checked frame lie.
struct FrameLayout {
  BitmapHeader header;
  uint32_t color_entries = 0;  // N
  uint32_t rows_offset = 0;    // 40 + 4 * N
  uint32_t row_stride = 0;     // DibRowStride
  uint32_t row_count = 0;      // |biHeight|
  bool top_down = false;       // biHeight < 0: first stored row is the top row
  uint64_t required_bytes = 0; // rows_offset + row_stride * row_count
};

// Does the frame's header, colour table and rows fit in `count` bytes, and can it be drawn?
// `layout` (optional) is filled whenever the header could be read.
FrameVerdict CheckFrame(const void* bytes, int64_t count, FrameLayout* layout = nullptr);

// Blocks of frame data handed between the codec and its callers come from malloc and go back
// with free; FrameBlock owns one.
struct FreeDeleter {
  void operator()(void* p) const noexcept { std::free(p); }
};
using FrameBlock = std::unique_ptr<uint8_t, FreeDeleter>;

// The BMP intake: checks the frame and returns a copy of exactly `count` bytes, or nothing
// when the check fails or memory runs out.
FrameBlock CopyFrame(const void* bytes, int64_t count, FrameVerdict* verdict = nullptr);

}  // namespace zu
