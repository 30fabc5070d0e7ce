// Shared by the codec tests: frames built and read pixel by pixel, PNG streams taken apart and put
// together without our codec, and the two codec calls wrapped so that every block they return is
// checked the same way everywhere.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "codec/frame_format.h"
#include "codec/png_frame_decoder.h"
#include "codec/png_frame_encoder.h"

namespace zu {

using Bytes = std::vector<uint8_t>;

// ---------------------------------------------------------------- test data

// The file at $ZU_TESTDATA/relative_path (the source tree's tests/data by default). Adds a failure and returns nothing when it is missing.
Bytes ReadTestData(const std::string& relative_path);

// ---------------------------------------------------------------- frames

// Pixel values as the frame stores them, addressed from the top-left pixel whatever the row order:
//   1, 4, 8 bits   the colour-table index
//   16 bits        the two bytes as a little-endian value (first byte in the low 8 bits)
//   24 bits        0xRRGGBB (stored blue, green, red)
//   32 bits        0xQQRRGGBB, Q being the fourth stored byte
using PixelFunction = std::function<uint32_t(int x, int y)>;

// A frame of `width` x |height| pixels (top-down when height < 0) with a colour table of
// ColorTableEntries() entries whose entry i is TableColor(i). Row padding is filled with
// kPaddingFill so that nobody can depend on it.
constexpr uint8_t kPaddingFill = 0xA5;
Bytes BuildFrame(int32_t width, int32_t height, uint16_t bit_count, uint32_t clr_used,
                 const PixelFunction& pixel);

// The colour BuildFrame puts in table entry i, as 0xRRGGBB.
uint32_t TableColor(uint32_t i);

// Reads pixel (x, y) of a frame that passed CheckFrame with `layout`; same values as PixelFunction.
uint32_t FramePixel(const uint8_t* frame, const FrameLayout& layout, int x, int y);

// Table entry i of a checked frame as 0xQQRRGGBB, Q being the reserved fourth byte.
uint32_t FrameTableEntry(const uint8_t* frame, uint32_t i);

// What pixel (x, y) draws as, 0xAARRGGBB: through the colour table up to 8 bits (alpha 0xFF),
// 0xFF000000 | RGB at 24 bits, the stored bytes at 32 bits. Not meaningful at 16 bits.
uint32_t FrameColor(const uint8_t* frame, const FrameLayout& layout, int x, int y);

// Equal lengths and contents; otherwise says where the first difference lies.
::testing::AssertionResult SameBytes(const Bytes& got, const Bytes& want);

// ---------------------------------------------------------------- PNG streams

struct PngChunk {
  std::string type;
  size_t offset = 0;  // of the length field
  Bytes data;
};

// Walks a stream: signature, then chunks whose CRCs match, IHDR first, IEND last and ending
// exactly at `length`.
::testing::AssertionResult ParsePng(const uint8_t* stream, size_t length,
                                    std::vector<PngChunk>* chunks);

struct PngHeader {
  uint32_t width = 0;
  uint32_t height = 0;
  uint8_t depth = 8;
  uint8_t color_type = 0;
  uint8_t interlace = 0;
};
PngHeader ReadPngHeader(const PngChunk& ihdr);

// One chunk with its length and CRC.
Bytes MakeChunk(const char* type, const Bytes& data);
uint32_t ReadBigEndian32(const uint8_t* p);

// A non-interlaced stream written here, not by our encoder. `row(y, bytes)` fills one row's packed
// samples (no filter byte), handed to it zeroed; rows are Sub-filtered and deflated as they come,
// so pictures of hundreds of megabytes need no buffer of that size. `plte` is written when not
// empty.
using RowFunction = std::function<void(uint32_t y, uint8_t* row)>;
Bytes MakePngStream(const PngHeader& header, const RowFunction& row, const Bytes& plte = {});

// ---------------------------------------------------------------- the codec, checked

// Whatever the encoder returns: null with length 0, or a well-formed PNG stream (see ParsePng).
struct Encoded {
  FrameBlock stream;
  int32_t length = 0;
  std::vector<PngChunk> chunks;
};
Encoded EncodeChecked(PngFrameEncoder& encoder, const uint8_t* frame, int32_t length);
Encoded EncodeChecked(PngFrameEncoder& encoder, const Bytes& frame);

// Whatever the decoder returns: null with length 0, or a block that passes CheckFrame and is
// exactly as long as its layout requires.
struct Decoded {
  FrameBlock frame;
  int32_t length = 0;
  FrameLayout layout;
  Bytes bytes() const { return frame ? Bytes(frame.get(), frame.get() + length) : Bytes(); }
};
Decoded DecodeChecked(PngFrameDecoder& decoder, const uint8_t* stream, int32_t length);
Decoded DecodeChecked(PngFrameDecoder& decoder, const Bytes& stream);
Decoded DecodeChecked(const Bytes& stream);

}  // namespace zu
