// PNG streams from outside, into PngFrameDecoder.
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "codec/frame_format.h"
#include "codec/png_frame_decoder.h"
#include "fuzz/fuzz_checks.h"

namespace {

// Decoded frames up to this size also go through the encoder and back; larger ones would slow
// the search more than they add to it.
constexpr int32_t kRoundTripLimit = 1 << 20;

uint32_t ReadBigEndian32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// Almost every mutation breaks a chunk's CRC, and the library (not instrumented, so the fuzzer
// cannot see why) stops there. Repairing the CRCs lets mutations reach the chunk contents.
// Returns false when nothing needed repair.
bool RepairChunkCrcs(std::vector<uint8_t>* stream) {
  bool repaired = false;
  size_t at = 8;
  while (at + 12 <= stream->size()) {
    const uint32_t length = ReadBigEndian32(stream->data() + at);
    if (length > stream->size() - at - 12) break;
    uint8_t* type = stream->data() + at + 4;
    const uint32_t crc = static_cast<uint32_t>(crc32(crc32(0, nullptr, 0), type, length + 4));
    uint8_t* stored = type + 4 + length;
    if (ReadBigEndian32(stored) != crc) {
      for (int i = 0; i < 4; ++i) stored[i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
      repaired = true;
    }
    at += 12 + size_t{length};
  }
  return repaired;
}

void DecodeAndCheck(const uint8_t* data, int32_t length) {
  zu::PngFrameDecoder decoder;
  int32_t bitmap_length = -1;
  zu::FrameBlock block(decoder.DecodeFrame(data, length, &bitmap_length));
  if (!block) {
    if (bitmap_length != 0) zu::FuzzFail("no block, but a length of %d", bitmap_length);
    return;
  }
  zu::CheckDecodedBlock(block.get(), bitmap_length);

  // A control decodes frame after frame with one decoder; the second call must not see the first.
  int32_t again_length = -1;
  zu::FrameBlock again(decoder.DecodeFrame(data, length, &again_length));
  if (!again || again_length != bitmap_length ||
      std::memcmp(again.get(), block.get(), static_cast<size_t>(bitmap_length)) != 0) {
    zu::FuzzFail("a second decode with the same decoder gave a different frame");
  }

  if (bitmap_length <= kRoundTripLimit) zu::CheckPngRoundTrip(block.get(), bitmap_length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > INT32_MAX) return 0;
  DecodeAndCheck(data, static_cast<int32_t>(size));

  std::vector<uint8_t> repaired(data, data + size);
  if (RepairChunkCrcs(&repaired)) {
    DecodeAndCheck(repaired.data(), static_cast<int32_t>(repaired.size()));
  }
  return 0;
}
