#include "codec/frame_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <memory>

#include "tests/codec/codec_test_support.h"

namespace zu {
namespace {

constexpr int32_t kInt32Max = std::numeric_limits<int32_t>::max();
constexpr int32_t kInt32Min = std::numeric_limits<int32_t>::min();
constexpr int64_t kInt64Max = std::numeric_limits<int64_t>::max();
constexpr int64_t kInt64Min = std::numeric_limits<int64_t>::min();

BitmapHeader Header(int32_t width, int32_t height, uint16_t bit_count, uint32_t clr_used = 0) {
  BitmapHeader h;
  h.biSize = kBitmapHeaderSize;
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = bit_count;
  h.biClrUsed = clr_used;
  return h;
}

// ---------------------------------------------------------------- header bytes

TEST(BitmapHeaderBytes, FieldsSitLittleEndianAtTheirOffsets) {
  // Laid out by hand from the BITMAPINFOHEADER layout, not with WriteBitmapHeader.
  const uint8_t bytes[40] = {
      0x28, 0x00, 0x00, 0x00,  // biSize 40
      0x78, 0x56, 0x34, 0x12,  // biWidth 0x12345678
      0xFE, 0xFF, 0xFF, 0xFF,  // biHeight -2
      0x01, 0x00,              // biPlanes 1
      0x18, 0x00,              // biBitCount 24
      0x03, 0x00, 0x00, 0x00,  // biCompression 3
      0x10, 0x20, 0x30, 0x40,  // biSizeImage 0x40302010
      0x00, 0x00, 0x00, 0x80,  // biXPelsPerMeter INT32_MIN
      0x13, 0x0B, 0x00, 0x00,  // biYPelsPerMeter 2835
      0xFF, 0xFF, 0xFF, 0xFF,  // biClrUsed 0xFFFFFFFF
      0x07, 0x01, 0x00, 0x00,  // biClrImportant 263
  };
  const BitmapHeader h = ReadBitmapHeader(bytes);
  EXPECT_EQ(h.biSize, 40u);
  EXPECT_EQ(h.biWidth, 0x12345678);
  EXPECT_EQ(h.biHeight, -2);
  EXPECT_EQ(h.biPlanes, 1);
  EXPECT_EQ(h.biBitCount, 24);
  EXPECT_EQ(h.biCompression, 3u);
  EXPECT_EQ(h.biSizeImage, 0x40302010u);
  EXPECT_EQ(h.biXPelsPerMeter, kInt32Min);
  EXPECT_EQ(h.biYPelsPerMeter, 2835);
  EXPECT_EQ(h.biClrUsed, 0xFFFFFFFFu);
  EXPECT_EQ(h.biClrImportant, 263u);

  uint8_t written[40];
  std::memset(written, 0xCC, sizeof written);
  WriteBitmapHeader(h, written);
  for (int i = 0; i < 40; ++i) EXPECT_EQ(written[i], bytes[i]) << "byte " << i;
}

// ---------------------------------------------------------------- colour table and row sizes

TEST(ColorTableEntries, FollowsBiClrUsedElseTheBitCount) {
  struct Row {
    uint16_t bit_count;
    uint32_t clr_used;
    uint32_t want;
  };
  const Row rows[] = {
      {1, 0, 2},
      {4, 0, 16},
      {8, 0, 256},
      {16, 0, 0},
      {24, 0, 0},
      {32, 0, 0},
      {2, 0, 0},
      {0, 0, 0},
      {8, 16, 16},
      {8, 3, 3},
      {4, 1, 1},
      {24, 3, 3},
      {32, 256, 256},
      // Not clamped: CheckFrame is the one that refuses these.
      {1, 3, 3},
      {8, 257, 257},
      {8, 0xFFFFFFFFu, 0xFFFFFFFFu},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(ColorTableEntries(Header(1, 1, r.bit_count, r.clr_used)), r.want)
        << "bit count " << r.bit_count << ", biClrUsed " << r.clr_used;
  }
}

TEST(DibRowStride, RoundsBitsUpToWholeDwords) {
  struct Row {
    int64_t width;
    uint32_t bit_count;
    uint64_t want;
  };
  const Row rows[] = {
      {3, 24, 12},  // 9 bytes
      {4, 24, 12},  // exactly 12
      {5, 24, 16},
      {1, 1, 4},
      {32, 1, 4},
      {33, 1, 8},
      {9, 4, 8},  // 36 bits
      {8, 4, 4},
      {5, 8, 8},
      {4, 8, 4},
      {3, 16, 8},
      {2, 16, 4},
      {7, 32, 28},
      {0, 24, 0},
      {-1, 24, 0},
      {kInt64Min, 8, 0},
      // Widths no 32-bit product could hold.
      {kInt32Max, 1, 268435456},    // ceil((2^31 - 1) / 32) dwords
      {kInt32Max, 24, 6442450944},  // 3 * 2^31 rounded up from 3 * (2^31 - 1)
      {kInt32Max, 32, 8589934588},  // 4 * (2^31 - 1)
      {int64_t{1} << 40, 32, uint64_t{1} << 42},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(DibRowStride(r.width, r.bit_count), r.want)
        << "width " << r.width << ", bit count " << r.bit_count;
  }
}

// ---------------------------------------------------------------- CheckFrame

// The base frame of the verdict table: 5 x 3 at 8 bits, 16 colours. Its table ends at
// 40 + 16 * 4 = 104 and each row is 8 bytes, so it needs 104 + 3 * 8 = 128 bytes.
constexpr int64_t kBaseTableEnd = 104;
constexpr int64_t kBaseSize = 128;

// Runs CheckFrame on a heap block holding only the header bytes the count allows (at most 128, as
// CheckFrame reads no further than the header), so that ASan sees any read past them.
FrameVerdict CheckHeader(const BitmapHeader& h, int64_t count, FrameLayout* layout = nullptr) {
  const size_t held = count <= 0 ? 0 : static_cast<size_t>(count < kBaseSize ? count : kBaseSize);
  uint8_t full[kBaseSize] = {};
  WriteBitmapHeader(h, full);
  std::unique_ptr<uint8_t[]> block(new uint8_t[held == 0 ? 1 : held]);
  std::memcpy(block.get(), full, held);
  return CheckFrame(block.get(), count, layout);
}

TEST(CheckFrame, GivesOneVerdictPerFault) {
  // Each row is the base frame (5 x 3 at 8 bits, 16 colours, 128 bytes) with the fields shown.
  struct Row {
    const char* what;
    int32_t width, height;
    uint16_t bits;
    uint32_t clr_used, bi_size, compression;
    int64_t count;
    FrameVerdict want;
  };
  using V = FrameVerdict;
  const int64_t all = kBaseSize;
  // clang-format off
  const Row rows[] = {
      {"complete",                   5, 3, 8, 16, 40, 0, all, V::kOk},
      {"with bytes to spare",        5, 3, 8, 16, 40, 0, all + 100, V::kOk},
      {"count 0",                    5, 3, 8, 16, 40, 0, 0, V::kNoHeader},
      {"count 39",                   5, 3, 8, 16, 40, 0, 39, V::kNoHeader},
      {"count -1",                   5, 3, 8, 16, 40, 0, -1, V::kNoHeader},
      {"count INT32_MIN",            5, 3, 8, 16, 40, 0, kInt32Min, V::kNoHeader},
      {"count INT64_MIN",            5, 3, 8, 16, 40, 0, kInt64Min, V::kNoHeader},
      {"biSize 0",                   5, 3, 8, 16, 0, 0, all, V::kBadHeaderSize},
      {"biSize 12",                  5, 3, 8, 16, 12, 0, all, V::kBadHeaderSize},
      {"biSize 124",                 5, 3, 8, 16, 124, 0, all, V::kBadHeaderSize},
      {"width 0",                    0, 3, 8, 16, 40, 0, all, V::kBadDimensions},
      {"width -5",                  -5, 3, 8, 16, 40, 0, all, V::kBadDimensions},
      {"width INT32_MIN",    kInt32Min, 3, 8, 16, 40, 0, all, V::kBadDimensions},
      {"height 0",                   5, 0, 8, 16, 40, 0, all, V::kBadDimensions},
      {"height INT32_MIN",   5, kInt32Min, 8, 16, 40, 0, all, V::kBadDimensions},
      {"top-down",                  5, -3, 8, 16, 40, 0, all, V::kOk},
      {"top-down one byte short",   5, -3, 8, 16, 40, 0, all - 1, V::kRowsTruncated},
      {"bit count 0",                5, 3, 0, 16, 40, 0, all, V::kUnsupportedBitCount},
      {"bit count 2",                5, 3, 2, 16, 40, 0, all, V::kUnsupportedBitCount},
      {"bit count 15",               5, 3, 15, 16, 40, 0, all, V::kUnsupportedBitCount},
      {"bit count 64",               5, 3, 64, 16, 40, 0, all, V::kUnsupportedBitCount},
      {"RLE8",                       5, 3, 8, 16, 40, 1, all, V::kCompressed},
      {"bit fields",                 5, 3, 8, 16, 40, 3, all, V::kCompressed},
      {"8 bits, 257 colours",        5, 3, 8, 257, 40, 0, kInt64Max, V::kTooManyColors},
      {"8 bits, 2^32 - 1 colours",   5, 3, 8, 0xFFFFFFFFu, 40, 0, kInt64Max, V::kTooManyColors},
      {"4 bits, 17 colours",         5, 3, 4, 17, 40, 0, kInt64Max, V::kTooManyColors},
      {"1 bit, 3 colours",           5, 3, 1, 3, 40, 0, kInt64Max, V::kTooManyColors},
      {"24 bits, 257 colours",       5, 3, 24, 257, 40, 0, kInt64Max, V::kTooManyColors},
      // The 16-entry table ends at 104.
      {"header only",                5, 3, 8, 16, 40, 0, 40, V::kTableTruncated},
      {"table one byte short",       5, 3, 8, 16, 40, 0, kBaseTableEnd - 1, V::kTableTruncated},
      {"table complete, no rows",    5, 3, 8, 16, 40, 0, kBaseTableEnd, V::kRowsTruncated},
      {"rows one byte short",        5, 3, 8, 16, 40, 0, all - 1, V::kRowsTruncated},
      // 1 bit, default table of 2: rows start at 48, three of 4 bytes.
      {"1 bit, complete",            5, 3, 1, 0, 40, 0, 60, V::kOk},
      {"1 bit, one byte short",      5, 3, 1, 0, 40, 0, 59, V::kRowsTruncated},
      {"1 bit, 2 colours",           5, 3, 1, 2, 40, 0, 60, V::kOk},
      // 24 bits, no table: three rows of 16 bytes.
      {"24 bits, complete",          5, 3, 24, 0, 40, 0, 88, V::kOk},
      {"24 bits, header only",       5, 3, 24, 0, 40, 0, 40, V::kRowsTruncated},
      // A table beside 24 bits may hold up to 256 entries and must still be there.
      {"24 bits, 256 colours, table one byte short",
                                     5, 3, 24, 256, 40, 0, 40 + 1024 - 1, V::kTableTruncated},
      {"widest and tallest, 32 bits",
                     kInt32Max, kInt32Max, 32, 0, 40, 0, kInt64Max, V::kRowsTruncated},
      {"widest and tallest top-down, 1 bit",
                    kInt32Max, -kInt32Max, 1, 0, 40, 0, kInt32Max, V::kRowsTruncated},
  };
  // clang-format on
  for (const Row& r : rows) {
    BitmapHeader h = Header(r.width, r.height, r.bits, r.clr_used);
    h.biSize = r.bi_size;
    h.biCompression = r.compression;
    const FrameVerdict got = CheckHeader(h, r.count);
    EXPECT_EQ(got, r.want) << r.what << " (count " << r.count << "): got \"" << DescribeVerdict(got)
                           << "\", want \"" << DescribeVerdict(r.want) << "\"";
  }
}

TEST(CheckFrame, RefusesANullPointer) {
  EXPECT_EQ(CheckFrame(nullptr, kBaseSize), FrameVerdict::kNoHeader);
}

TEST(CheckFrame, LaysOutTheFrame) {
  struct Row {
    BitmapHeader header;
    uint32_t color_entries, rows_offset, row_stride, row_count;
    bool top_down;
    uint64_t required_bytes;
  };
  const Row rows[] = {
      {Header(5, 3, 8, 16), 16, 104, 8, 3, false, 128},
      {Header(5, 3, 8, 0), 256, 1064, 8, 3, false, 1088},
      {Header(33, -2, 1), 2, 48, 8, 2, true, 64},
      {Header(3, 4, 24), 0, 40, 12, 4, false, 88},
      {Header(3, -4, 24, 3), 3, 52, 12, 4, true, 100},
      {Header(7, 1, 32), 0, 40, 28, 1, false, 68},
      {Header(3, 2, 16), 0, 40, 8, 2, false, 56},
      // The stride does not fit 32 bits and is capped there; the total is exact:
      // 40 + 4 (2^31 - 1)^2 = 2^64 - 2^34 + 44.
      {Header(kInt32Max, kInt32Max, 32), 0, 40, 0xFFFFFFFFu, 0x7FFFFFFFu, false,
       std::numeric_limits<uint64_t>::max() - (uint64_t{1} << 34) + 45},
      {Header(kInt32Max, -kInt32Max, 8, 256), 256, 1064, 0x80000000u, 0x7FFFFFFFu, true,
       1064 + uint64_t{0x80000000u} * 0x7FFFFFFFu},
  };
  for (const Row& r : rows) {
    const BitmapHeader& h = r.header;
    FrameLayout l;
    CheckHeader(h, kInt64Max, &l);
    const testing::Message row = testing::Message()
                                 << h.biWidth << " x " << h.biHeight << " at " << h.biBitCount
                                 << " bits, biClrUsed " << h.biClrUsed;
    EXPECT_EQ(l.header.biWidth, h.biWidth) << row;
    EXPECT_EQ(l.header.biHeight, h.biHeight) << row;
    EXPECT_EQ(l.color_entries, r.color_entries) << row;
    EXPECT_EQ(l.rows_offset, r.rows_offset) << row;
    EXPECT_EQ(l.row_stride, r.row_stride) << row;
    EXPECT_EQ(l.row_count, r.row_count) << row;
    EXPECT_EQ(l.top_down, r.top_down) << row;
    EXPECT_EQ(l.required_bytes, r.required_bytes) << row;
  }
}

TEST(CheckFrame, FillsTheHeaderEvenWhenTheRestIsRefused) {
  BitmapHeader h = Header(5, 3, 3, 16);
  FrameLayout l;
  EXPECT_EQ(CheckHeader(h, kBaseSize, &l), FrameVerdict::kUnsupportedBitCount);
  EXPECT_EQ(l.header.biBitCount, 3);
  EXPECT_EQ(l.header.biClrUsed, 16u);
}

TEST(CheckFrame, AcceptsBuiltFramesOfEveryBitCountAndOrder) {
  for (uint16_t bits : {1, 4, 8, 16, 24, 32}) {
    for (int32_t height : {1, 4, -4}) {
      for (int32_t width : {1, 3, 5, 13, 33}) {
        const Bytes frame = BuildFrame(width, height, bits, 0, [](int x, int y) { return x + y; });
        FrameLayout l;
        EXPECT_EQ(CheckFrame(frame.data(), static_cast<int64_t>(frame.size()), &l),
                  FrameVerdict::kOk)
            << width << " x " << height << " at " << bits << " bits";
        EXPECT_EQ(l.required_bytes, frame.size())
            << width << " x " << height << " at " << bits << " bits";
        EXPECT_EQ(CheckFrame(frame.data(), static_cast<int64_t>(frame.size()) - 1),
                  FrameVerdict::kRowsTruncated)
            << width << " x " << height << " at " << bits << " bits";
      }
    }
  }
}

// ---------------------------------------------------------------- CopyFrame

TEST(CopyFrame, CopiesExactlyTheCountGiven) {
  Bytes frame = BuildFrame(5, -3, 8, 16, [](int x, int y) { return (x * 3 + y) % 16; });
  // Bytes past the rows belong to the copy too: the count, not the layout, decides its length.
  frame.push_back(0x5A);
  frame.push_back(0xC3);
  FrameVerdict verdict = FrameVerdict::kNoHeader;
  const FrameBlock copy = CopyFrame(frame.data(), static_cast<int64_t>(frame.size()), &verdict);
  ASSERT_TRUE(copy);
  EXPECT_EQ(verdict, FrameVerdict::kOk);
  EXPECT_NE(copy.get(), frame.data());
  EXPECT_TRUE(SameBytes(Bytes(copy.get(), copy.get() + frame.size()), frame));
}

TEST(CopyFrame, RefusesWhatCheckFrameRefuses) {
  const Bytes frame = BuildFrame(5, 3, 24, 0, [](int x, int y) { return 0x102030u * (x + y); });
  struct Row {
    const char* what;
    int64_t count;
    FrameVerdict want;
  };
  const Row rows[] = {
      {"one byte short", static_cast<int64_t>(frame.size()) - 1, FrameVerdict::kRowsTruncated},
      {"header only", 40, FrameVerdict::kRowsTruncated},
      {"count 39", 39, FrameVerdict::kNoHeader},
      {"count 0", 0, FrameVerdict::kNoHeader},
      {"count -1", -1, FrameVerdict::kNoHeader},
  };
  for (const Row& r : rows) {
    FrameVerdict verdict = FrameVerdict::kOk;
    const FrameBlock copy = CopyFrame(frame.data(), r.count, &verdict);
    EXPECT_FALSE(copy) << r.what;
    EXPECT_EQ(verdict, r.want) << r.what << ": got \"" << DescribeVerdict(verdict) << "\"";
  }
  Bytes bad = frame;
  bad[16] = 1;  // biCompression
  FrameVerdict verdict = FrameVerdict::kOk;
  EXPECT_FALSE(CopyFrame(bad.data(), static_cast<int64_t>(bad.size()), &verdict));
  EXPECT_EQ(verdict, FrameVerdict::kCompressed);
  EXPECT_FALSE(CopyFrame(nullptr, 100));
}

}  // namespace
}  // namespace zu
