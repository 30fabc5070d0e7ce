// The simulated driver's video format: what a capture window reports as its BITMAPINFOHEADER,
// reduced to the fields the driver decides. Platform-neutral, so the frame generator and the
// configuration parser also build natively (for the benchmark).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zu::simcam {

constexpr uint32_t kBiRgbCompression = 0;
constexpr int32_t kMaxFrameSide = 4096;

struct VideoFormat {
  int32_t width = 320;
  int32_t height = 240;         // positive: rows bottom-up, as capture drivers deliver them
  uint16_t bit_count = 24;
  uint32_t compression = kBiRgbCompression;  // BI_RGB or a FOURCC
  uint32_t colors = 0;          // biClrUsed; 0 means the full table for 1, 4 and 8 bits
  uint32_t size_image = 0;      // compressed formats only: bytes a frame holds, 0 = computed

  bool operator==(const VideoFormat& other) const {
    return width == other.width && height == other.height && bit_count == other.bit_count &&
           compression == other.compression && colors == other.colors &&
           size_image == other.size_image;
  }
  bool operator!=(const VideoFormat& other) const { return !(*this == other); }
};

inline bool IsIndexed(const VideoFormat& format) {
  return format.compression == kBiRgbCompression && format.bit_count <= 8;
}

// Entries of the colour table that the format carries: biClrUsed, else the full table for 1, 4
// and 8 bits, else none.
uint32_t TableEntries(const VideoFormat& format);

// biSizeImage: rows padded to 4 bytes for BI_RGB, else size_image or width * height * bits / 8.
uint32_t ImageSize(const VideoFormat& format);

// The colour table the driver reports, as RGBQUAD values (blue in the low byte): a grey ramp over
// the entries the pixels can index, then zero entries up to TableEntries (a header may claim
// more than the bit count can use).
std::vector<uint32_t> FormatPalette(const VideoFormat& format);

// What WM_CAP_GET_VIDEOFORMAT copies out: a BITMAPINFOHEADER (biSizeImage filled in), then the
// colour table.
std::vector<uint8_t> FormatBlock(const VideoFormat& format);

// A complete bitmap file: the 14-byte file header, the format block, then `count` pixel bytes.
std::vector<uint8_t> BitmapFile(const VideoFormat& format, const uint8_t* pixels, size_t count);

// "320x240x24", "160x120x8/16" (biClrUsed 16), "320x240x12:I420".
std::string DescribeFormat(const VideoFormat& format);

uint32_t FourCc(const char code[4]);
std::string FourCcText(uint32_t fourcc);

}  // namespace zu::simcam
