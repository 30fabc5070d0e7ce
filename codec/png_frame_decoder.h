// Turns a PNG stream into a BMP-variant frame (header, colour table, bottom-up rows).
//
// Every block it returns passes CheckFrame and draws as the stream's picture:
//   palette 1, 4, 8          same bit count, table from PLTE (biClrUsed = its length)
//   palette 2                widened to 8-bit indices
//   grayscale 1, 4, 8        same bit count with a grey colour table
//   grayscale 2              widened to 8-bit indices with a 4-entry grey table
//   grayscale 16             16 bits, the sample bytes as stored (what the encoder wrote for a
//                            16-bit frame comes back byte for byte)
//   truecolour 8, 16         24 bits, blue-green-red (16-bit samples reduced to 8)
//   grayscale + alpha 8, 16  32 bits, blue-green-red-alpha
//   truecolour + alpha 8, 16 32 bits, blue-green-red-alpha
// Ancillary chunks (gamma, transparency, text...) have no effect.
#pragma once

#include <cstdint>

#include "codec/frame_format.h"

// libpng's structures, named here so its header stays out of ours.
struct png_struct_def;
struct png_info_def;

namespace zu {

// Streams from outside are refused before anything is allocated for the picture when either
// side is above kMaxDecodeDimension pixels or the decoded frame would exceed kMaxDecodedBytes.
// A 4K frame (3840 x 2160 at 32 bits, about 33 MB) passes with room to spare.
constexpr uint32_t kMaxDecodeDimension = 16384;
constexpr uint32_t kMaxDecodedBytes = 128u * 1024u * 1024u;

class PngFrameDecoder {
 public:
  PngFrameDecoder() = default;
  ~PngFrameDecoder();
  PngFrameDecoder(const PngFrameDecoder&) = delete;
  PngFrameDecoder& operator=(const PngFrameDecoder&) = delete;

  // Returns a malloc'd BMP-variant frame and stores its length, or returns null (length 0) for
  // a stream that is damaged, cut short, not PNG, over the limits, or a length of 0 or below.
  uint8_t* DecodeFrame(const uint8_t* stream, int32_t stream_length, int32_t* bitmap_length);

 private:
  static void ReadFromMemory(png_struct_def* png, uint8_t* destination, size_t length);

  void ReleaseWorkingStorage();
  uint8_t* Fail();  // releases the working storage; returns null

  // Plain pointers, released by ReleaseWorkingStorage: the library's error return jumps over
  // C++ destructors.
  const uint8_t* input_bytes_ = nullptr;
  int32_t input_position_ = 0;
  int32_t input_length_ = 0;
  uint8_t** row_pointers_ = nullptr;
  uint8_t* bitmap_ = nullptr;
  png_struct_def* png_ = nullptr;
  png_info_def* info_ = nullptr;
};

}  // namespace zu
