#include "fuzz/fuzz_checks.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "codec/frame_format.h"
#include "codec/png_frame_decoder.h"
#include "codec/png_frame_encoder.h"
#include "tools/frame_picture.h"

namespace zu {
namespace {

uint32_t DecodedBitCount(uint16_t bit_count) { return bit_count == 32 ? 24 : bit_count; }

}  // namespace

void FuzzFail(const char* format, ...) {
  std::fputs("fuzz check failed: ", stderr);
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fputc('\n', stderr);
  std::abort();
}

void CheckDecodedBlock(const uint8_t* block, int32_t length) {
  FrameLayout layout;
  const FrameVerdict verdict = CheckFrame(block, length, &layout);
  if (verdict != FrameVerdict::kOk) {
    FuzzFail("decoder returned a %d-byte block that fails CheckFrame: %s", length,
             DescribeVerdict(verdict));
  }
  if (layout.required_bytes != static_cast<uint64_t>(length)) {
    FuzzFail("decoder returned %d bytes for a frame of %llu", length,
             static_cast<unsigned long long>(layout.required_bytes));
  }
  if (layout.top_down) FuzzFail("decoder returned a top-down frame");
}

void CheckPngRoundTrip(const uint8_t* frame, int32_t length) {
  FrameLayout in;
  if (CheckFrame(frame, length, &in) != FrameVerdict::kOk) {
    FuzzFail("round trip given a frame that fails CheckFrame");
  }
  const BitmapHeader& h = in.header;
  const uint64_t decoded_bytes =
      in.rows_offset + DibRowStride(h.biWidth, DecodedBitCount(h.biBitCount)) * in.row_count;
  if (static_cast<uint32_t>(h.biWidth) > kMaxDecodeDimension ||
      in.row_count > kMaxDecodeDimension || decoded_bytes > kMaxDecodedBytes) {
    return;
  }

  PngFrameEncoder encoder;
  int32_t stream_length = -1;
  FrameBlock stream(encoder.EncodeFrame(frame, length, &stream_length));
  if (!stream || stream_length <= 0) {
    FuzzFail("encoder refused a frame that passes CheckFrame: %dx%d, %u bits, %u colours",
             h.biWidth, h.biHeight, h.biBitCount, in.color_entries);
  }

  PngFrameDecoder decoder;
  int32_t decoded_length = -1;
  FrameBlock decoded(decoder.DecodeFrame(stream.get(), stream_length, &decoded_length));
  if (!decoded) {
    FuzzFail("decoder refused the encoder's %d-byte stream for a %dx%d, %u-bit frame",
             stream_length, h.biWidth, h.biHeight, h.biBitCount);
  }
  CheckDecodedBlock(decoded.get(), decoded_length);

  FrameLayout out;
  CheckFrame(decoded.get(), decoded_length, &out);
  if (out.header.biBitCount != DecodedBitCount(h.biBitCount)) {
    FuzzFail("a %u-bit frame came back with %u bits", h.biBitCount, out.header.biBitCount);
  }
  if (h.biBitCount <= 8 && out.color_entries != in.color_entries) {
    FuzzFail("a %u-colour table came back with %u colours", in.color_entries, out.color_entries);
  }
  std::string difference;
  if (!SamePicture(frame, decoded.get(), &difference)) {
    FuzzFail("%dx%d, %u bits, came back changed: %s", h.biWidth, h.biHeight, h.biBitCount,
             difference.c_str());
  }
}

}  // namespace zu
