// BMP-variant frames from outside, into CheckFrame and CopyFrame; and frames that pass, through
// the encoder and decoder.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "codec/frame_format.h"
#include "fuzz/fuzz_checks.h"

namespace {

constexpr int32_t kRoundTripLimit = 1 << 20;

// Most raw inputs fail the check, so the codec would rarely see a frame; this makes a valid one
// from the same bytes: the shape from the first few, colour table and rows from the rest.
std::vector<uint8_t> BuildValidFrame(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  static constexpr uint16_t kBitCounts[] = {1, 4, 8, 16, 24, 32};
  const uint16_t bits = in.PickValueInArray(kBitCounts);
  const int32_t width = in.ConsumeIntegralInRange<int32_t>(1, 80);
  const int32_t rows = in.ConsumeIntegralInRange<int32_t>(1, 40);
  const bool top_down = in.ConsumeBool();
  // Up to 8 bits a short table leaves indices pointing past it; above 8 the table is a hint.
  const uint32_t clr_used = bits <= 8 ? in.ConsumeIntegralInRange<uint32_t>(0, 1u << bits)
                                      : in.ConsumeIntegralInRange<uint32_t>(0, 4);

  zu::BitmapHeader header;
  header.biSize = zu::kBitmapHeaderSize;
  header.biWidth = width;
  header.biHeight = top_down ? -rows : rows;
  header.biPlanes = in.ConsumeIntegral<uint16_t>();
  header.biBitCount = bits;
  header.biCompression = zu::kBiRgb;
  header.biSizeImage = in.ConsumeIntegral<uint32_t>();
  header.biXPelsPerMeter = in.ConsumeIntegral<int32_t>();
  header.biClrUsed = clr_used;
  header.biClrImportant = in.ConsumeIntegral<uint32_t>();

  const uint32_t entries = zu::ColorTableEntries(header);
  const size_t rows_offset = zu::kBitmapHeaderSize + 4 * entries;
  const size_t length = rows_offset + zu::DibRowStride(width, bits) * static_cast<uint32_t>(rows);
  std::vector<uint8_t> frame(length, 0);
  zu::WriteBitmapHeader(header, frame.data());
  const std::vector<uint8_t> rest = in.ConsumeRemainingBytes<uint8_t>();
  // Repeated rather than zero-filled, so small inputs still give busy pictures.
  for (size_t i = zu::kBitmapHeaderSize; !rest.empty() && i < length; ++i) {
    frame[i] = rest[(i - zu::kBitmapHeaderSize) % rest.size()];
  }
  return frame;
}

void CheckAcceptedFrame(const uint8_t* data, size_t size, const zu::FrameLayout& layout) {
  if (layout.required_bytes > size) {
    zu::FuzzFail("accepted %zu bytes for a frame that needs %llu", size,
                 static_cast<unsigned long long>(layout.required_bytes));
  }
  if (layout.rows_offset != zu::kBitmapHeaderSize + 4ull * layout.color_entries ||
      layout.required_bytes !=
          layout.rows_offset + uint64_t{layout.row_stride} * layout.row_count ||
      layout.row_stride != zu::DibRowStride(layout.header.biWidth, layout.header.biBitCount)) {
    zu::FuzzFail("layout does not add up: table %u, rows at %u, stride %u x %u rows, %llu bytes",
                 layout.color_entries, layout.rows_offset, layout.row_stride, layout.row_count,
                 static_cast<unsigned long long>(layout.required_bytes));
  }
  const int64_t needed = static_cast<int64_t>(layout.required_bytes);
  if (zu::CheckFrame(data, needed) != zu::FrameVerdict::kOk ||
      zu::CheckFrame(data, needed - 1) != zu::FrameVerdict::kRowsTruncated) {
    zu::FuzzFail("the count is not the bound: %llu bytes should be exactly enough",
                 static_cast<unsigned long long>(layout.required_bytes));
  }

  // Read every byte the layout claims, so the sanitizer sees any that is not there.
  volatile uint8_t sink = 0;
  for (uint64_t i = layout.rows_offset; i < layout.required_bytes; ++i) sink ^= data[i];
  (void)sink;

  zu::FrameVerdict verdict = zu::FrameVerdict::kNoHeader;
  zu::FrameBlock copy = zu::CopyFrame(data, static_cast<int64_t>(size), &verdict);
  if (!copy || verdict != zu::FrameVerdict::kOk) zu::FuzzFail("CopyFrame refused a checked frame");
  if (std::memcmp(copy.get(), data, size) != 0) zu::FuzzFail("CopyFrame changed the bytes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > INT32_MAX) return 0;
  const int64_t count = static_cast<int64_t>(size);

  zu::FrameLayout layout;
  const zu::FrameVerdict verdict = zu::CheckFrame(data, count, &layout);
  if (zu::CheckFrame(data, -count - 1) != zu::FrameVerdict::kNoHeader) {
    zu::FuzzFail("a negative count was not refused");
  }
  if (verdict == zu::FrameVerdict::kOk) {
    CheckAcceptedFrame(data, size, layout);
    if (layout.required_bytes <= static_cast<uint64_t>(kRoundTripLimit)) {
      zu::CheckPngRoundTrip(data, static_cast<int32_t>(size));
    }
    return 0;
  }

  zu::FrameVerdict copy_verdict = zu::FrameVerdict::kOk;
  if (zu::CopyFrame(data, count, &copy_verdict) || copy_verdict != verdict) {
    zu::FuzzFail("CopyFrame disagrees with CheckFrame (%s)", zu::DescribeVerdict(verdict));
  }

  const std::vector<uint8_t> frame = BuildValidFrame(data, size);
  zu::FrameLayout built;
  const zu::FrameVerdict built_verdict =
      zu::CheckFrame(frame.data(), static_cast<int64_t>(frame.size()), &built);
  if (built_verdict != zu::FrameVerdict::kOk) {
    zu::FuzzFail("a well-formed %u-bit frame was refused: %s", built.header.biBitCount,
                 zu::DescribeVerdict(built_verdict));
  }
  CheckAcceptedFrame(frame.data(), frame.size(), built);
  zu::CheckPngRoundTrip(frame.data(), static_cast<int32_t>(frame.size()));
  return 0;
}
