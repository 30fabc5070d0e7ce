// Compresses one BMP-variant frame into a complete PNG stream in memory.
//
//   bit count   PNG colour type, depth   samples
//   1, 4, 8     3 (palette), same        the bitmap's packed indices; PLTE from its table
//   16          0 (grayscale), 16        each pixel's two bytes in memory order, one sample
//   24          2 (truecolour), 8        red, green, blue
//   32          2 (truecolour), 8        red, green, blue; the unused fourth byte is dropped
//
// Rows go out top-down whatever the bitmap's row order. A colour table beside a bit count above 8
// is a palette hint only and is not written. No ancillary chunk is written. Palette indices past
// the colour table are carried as they are.
#pragma once

#include <cstdint>

#include "codec/frame_format.h"

// libpng's structures, named here so its header stays out of ours.
struct png_struct_def;
struct png_info_def;

namespace zu {

class PngFrameEncoder {
 public:
  PngFrameEncoder() = default;
  ~PngFrameEncoder();
  PngFrameEncoder(const PngFrameEncoder&) = delete;
  PngFrameEncoder& operator=(const PngFrameEncoder&) = delete;

  // Returns a malloc'd block holding exactly the PNG stream and stores its length, or returns
  // null (length 0) when the frame fails CheckFrame, memory runs out or the library fails.
  // The bitmap is only read.
  uint8_t* EncodeFrame(const uint8_t* bitmap, int32_t bitmap_length, int32_t* stream_length);

 private:
  static void WriteToMemory(png_struct_def* png, uint8_t* data, size_t length);
  static void FlushNothing(png_struct_def* png);

  bool GrowOutput(uint64_t needed);
  void ReleaseWorkingStorage();
  uint8_t* Fail();  // releases the working storage; returns null

  // Everything below lives only inside one EncodeFrame call. They are plain pointers, released
  // by ReleaseWorkingStorage, because the library's error return jumps over C++ destructors.
  uint8_t* output_area_ = nullptr;
  int32_t output_length_ = 0;
  int32_t output_capacity_ = 0;
  uint8_t** row_pointers_ = nullptr;
  uint8_t* palette_ = nullptr;
  png_struct_def* png_ = nullptr;
  png_info_def* info_ = nullptr;
};

}  // namespace zu
