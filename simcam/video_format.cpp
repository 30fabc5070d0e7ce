#include "simcam/video_format.h"

#include <algorithm>

#include "codec/frame_format.h"

namespace zu::simcam {

uint32_t TableEntries(const VideoFormat& format) {
  if (format.colors != 0) return format.colors;
  return IsIndexed(format) ? (1u << format.bit_count) : 0;
}

uint32_t ImageSize(const VideoFormat& format) {
  if (format.width <= 0 || format.height <= 0) return 0;
  if (format.compression == kBiRgbCompression) {
    return static_cast<uint32_t>(DibRowStride(format.width, format.bit_count) *
                                 static_cast<uint64_t>(format.height));
  }
  if (format.size_image != 0) return format.size_image;
  const uint64_t bits = static_cast<uint64_t>(format.width) * format.height * format.bit_count;
  return static_cast<uint32_t>((bits + 7) / 8);
}

std::vector<uint32_t> FormatPalette(const VideoFormat& format) {
  const uint32_t entries = TableEntries(format);
  std::vector<uint32_t> palette(entries, 0);
  if (!IsIndexed(format)) return palette;
  const uint32_t levels = std::min(entries, 1u << format.bit_count);
  for (uint32_t i = 0; i < levels; ++i) {
    const uint32_t grey = levels > 1 ? i * 255 / (levels - 1) : 0;
    palette[i] = grey << 16 | grey << 8 | grey;
  }
  return palette;
}

std::vector<uint8_t> FormatBlock(const VideoFormat& format) {
  const std::vector<uint32_t> palette = FormatPalette(format);
  std::vector<uint8_t> block(kBitmapHeaderSize + 4 * palette.size());
  BitmapHeader header;
  header.biSize = kBitmapHeaderSize;
  header.biWidth = format.width;
  header.biHeight = format.height;
  header.biPlanes = 1;
  header.biBitCount = format.bit_count;
  header.biCompression = format.compression;
  header.biSizeImage = ImageSize(format);
  header.biClrUsed = format.colors;
  WriteBitmapHeader(header, block.data());
  for (size_t i = 0; i < palette.size(); ++i) {
    for (int b = 0; b < 4; ++b) {
      block[kBitmapHeaderSize + 4 * i + b] = static_cast<uint8_t>(palette[i] >> (8 * b));
    }
  }
  return block;
}

std::vector<uint8_t> BitmapFile(const VideoFormat& format, const uint8_t* pixels, size_t count) {
  constexpr size_t kFileHeaderSize = 14;
  const std::vector<uint8_t> block = FormatBlock(format);
  std::vector<uint8_t> file(kFileHeaderSize + block.size() + count);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int b = 0; b < 4; ++b) file[at + b] = static_cast<uint8_t>(v >> (8 * b));
  };
  file[0] = 'B';
  file[1] = 'M';
  put32(2, static_cast<uint32_t>(file.size()));  // bfSize; bytes 6 to 9 are reserved, zero
  put32(10, static_cast<uint32_t>(kFileHeaderSize + block.size()));  // bfOffBits
  std::copy(block.begin(), block.end(), file.begin() + kFileHeaderSize);
  if (count != 0) std::copy(pixels, pixels + count, file.begin() + kFileHeaderSize + block.size());
  return file;
}

std::string DescribeFormat(const VideoFormat& format) {
  std::string text = std::to_string(format.width) + "x" + std::to_string(format.height) + "x" +
                     std::to_string(format.bit_count);
  if (format.compression != kBiRgbCompression) text += ":" + FourCcText(format.compression);
  if (format.colors != 0) text += "/" + std::to_string(format.colors);
  return text;
}

uint32_t FourCc(const char code[4]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(code[0])) |
         static_cast<uint32_t>(static_cast<uint8_t>(code[1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(code[2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(code[3])) << 24;
}

std::string FourCcText(uint32_t fourcc) {
  std::string text(4, ' ');
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>((fourcc >> (8 * i)) & 0xff);
    text[i] = c >= 0x20 && c < 0x7f ? c : '?';
  }
  return text;
}

}  // namespace zu::simcam
