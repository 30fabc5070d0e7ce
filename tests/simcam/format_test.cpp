// The video format: what GET_VIDEOFORMAT reports (the size, then the block) and which formats
// SET_VIDEOFORMAT accepts.
#include <cstring>
#include <string>
#include <vector>

#include "codec/frame_format.h"
#include "tests/simcam/simcam_test_support.h"

namespace zu::test {
namespace {

using SimCamFormats = SimCamTest;

constexpr DWORD kI420 = 0x30323449;  // "I420"
constexpr DWORD kYuy2 = 0x32595559;  // "YUY2"

// The 44-byte block a capture client sends: a header and one colour entry.
struct FormatBlock44 {
  BITMAPINFOHEADER header;
  RGBQUAD color;
};

FormatBlock44 Block(LONG width, LONG height, WORD bits, DWORD compression = BI_RGB,
                    DWORD colors = 0) {
  FormatBlock44 block{};
  block.header.biSize = sizeof(BITMAPINFOHEADER);
  block.header.biWidth = width;
  block.header.biHeight = height;
  block.header.biPlanes = 1;
  block.header.biBitCount = bits;
  block.header.biCompression = compression;
  block.header.biClrUsed = colors;
  return block;
}

TEST_F(SimCamFormats, ReportsTheSizeFirstThenTheBlockAndNothingWithoutADriver) {
  HWND window = NewCaptureWindow();
  std::vector<uint8_t> buffer(1064 + 4, 0);  // a byte past the largest format shows overruns
  EXPECT_EQ(Send(window, WM_CAP_GET_VIDEOFORMAT), 0);
  EXPECT_EQ(Send(window, WM_CAP_GET_VIDEOFORMAT, buffer.size(),
                 reinterpret_cast<LPARAM>(buffer.data())), 0);

  const struct {
    const char* format;
    LRESULT size;
    LONG width, height;
    WORD bits;
    DWORD compression, size_image, colors;
  } rows[] = {
      {"320x240x24", 40, 320, 240, 24, BI_RGB, 320 * 3 * 240, 0},
      {"81x7x24", 40, 81, 7, 24, BI_RGB, 244 * 7, 0},
      {"80x60x32", 40, 80, 60, 32, BI_RGB, 80 * 4 * 60, 0},
      {"80x60x16", 40, 80, 60, 16, BI_RGB, 160 * 60, 0},
      {"80x60x8", 40 + 4 * 256, 80, 60, 8, BI_RGB, 80 * 60, 0},
      {"80x60x8/16", 40 + 4 * 16, 80, 60, 8, BI_RGB, 80 * 60, 16},
      {"81x60x4", 40 + 4 * 16, 81, 60, 4, BI_RGB, 44 * 60, 0},
      {"81x60x1", 40 + 4 * 2, 81, 60, 1, BI_RGB, 12 * 60, 0},
      {"80x60x12:I420", 40, 80, 60, 12, kI420, 80 * 60 * 12 / 8, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.format);
    Configure(std::string("driver 0 compressed=I420:12 format=") + row.format);
    ASSERT_TRUE(Send(window, WM_CAP_DRIVER_CONNECT, 0));
    EXPECT_EQ(Send(window, WM_CAP_GET_VIDEOFORMAT), row.size);
    std::fill(buffer.begin(), buffer.end(), 0xEE);
    EXPECT_EQ(Send(window, WM_CAP_GET_VIDEOFORMAT, buffer.size(),
                   reinterpret_cast<LPARAM>(buffer.data())), row.size);
    const BitmapHeader h = ReadBitmapHeader(buffer.data());
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, row.width);
    EXPECT_EQ(h.biHeight, row.height);
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biBitCount, row.bits);
    EXPECT_EQ(h.biCompression, row.compression);
    EXPECT_EQ(h.biSizeImage, row.size_image);
    EXPECT_EQ(h.biClrUsed, row.colors);
    EXPECT_EQ(buffer[row.size], 0xEE) << "copied past the format";
    if (row.size > 40) {
      // A grey ramp from black to white over the table.
      EXPECT_EQ(std::memcmp(&buffer[40], "\0\0\0\0", 4), 0);
      EXPECT_EQ(std::memcmp(&buffer[row.size - 4], "\xff\xff\xff\0", 4), 0);
    }
    Send(window, WM_CAP_DRIVER_DISCONNECT);
  }
}

TEST_F(SimCamFormats, CopiesNoMoreThanTheCallerAsks) {
  Configure("driver 0 format=80x60x8");
  HWND window = Connected();
  std::vector<uint8_t> buffer(64, 0xEE);
  EXPECT_EQ(Send(window, WM_CAP_GET_VIDEOFORMAT, 44, reinterpret_cast<LPARAM>(buffer.data())), 44);
  EXPECT_EQ(buffer[43], 0);     // the second colour entry's fourth byte
  EXPECT_EQ(buffer[44], 0xEE);  // not copied
}

TEST_F(SimCamFormats, AcceptsWhatTheDriverSupportsAndRefusesTheRest) {
  Configure("driver 0 sizes=160x120,320x240 bits=8,24 compressed=I420:12 format=320x240x24");
  HWND window = Connected();
  const FormatBlock44 planes2 = [] {
    FormatBlock44 b = Block(160, 120, 24);
    b.header.biPlanes = 2;
    return b;
  }();
  const FormatBlock44 short_header = [] {
    FormatBlock44 b = Block(160, 120, 24);
    b.header.biSize = 12;
    return b;
  }();
  const struct {
    const char* name;
    FormatBlock44 block;
    WPARAM length;
    bool accepted;
    const char* reported;  // what GET_VIDEOFORMAT shows afterwards
  } rows[] = {
      {"listed size, 24 bits", Block(160, 120, 24), 44, true, "160x120x24"},
      {"8 bits, full table", Block(320, 240, 8), 44, true, "320x240x8"},
      {"8 bits, 16 colours", Block(320, 240, 8, BI_RGB, 16), 44, true, "320x240x8/16"},
      {"24 bits with a table length", Block(160, 120, 24, BI_RGB, 5), 44, true, "160x120x24"},
      {"a listed compressed format", Block(160, 120, 12, kI420), 44, true, "160x120x12:I420"},
      {"unlisted size", Block(640, 480, 24), 44, false, nullptr},
      {"unlisted bit count", Block(160, 120, 16), 44, false, nullptr},
      {"12 bits uncompressed", Block(160, 120, 12), 44, false, nullptr},
      {"unlisted compression", Block(160, 120, 16, kYuy2), 44, false, nullptr},
      {"more colours than 8 bits index", Block(320, 240, 8, BI_RGB, 300), 44, false, nullptr},
      {"top-down rows", Block(160, -120, 24), 44, false, nullptr},
      {"two planes", planes2, 44, false, nullptr},
      {"header too short", short_header, 44, false, nullptr},
      {"length too short", Block(160, 120, 24), 20, false, nullptr},
  };
  std::string reported = "320x240x24";
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const size_t errors = Callbacks().errors.size();
    EXPECT_EQ(Send(window, WM_CAP_SET_VIDEOFORMAT, row.length,
                   reinterpret_cast<LPARAM>(&row.block)) != 0,
              row.accepted);
    if (row.accepted) reported = row.reported;
    const std::vector<uint8_t> block = QueryFormat(window);
    ASSERT_GE(block.size(), 40u);
    const BitmapHeader h = ReadBitmapHeader(block.data());
    std::string shown = std::to_string(h.biWidth) + "x" + std::to_string(h.biHeight) + "x" +
                        std::to_string(h.biBitCount);
    if (h.biCompression == kI420) shown += ":I420";
    if (h.biClrUsed) shown += "/" + std::to_string(h.biClrUsed);
    EXPECT_EQ(shown, reported);
    // The driver fills the image size in, whatever the caller sent.
    EXPECT_NE(h.biSizeImage, 0u);
    BITMAPINFOHEADER direct{};
    ASSERT_TRUE(api_.driver_format(0, &direct));
    EXPECT_EQ(direct.biWidth, h.biWidth);
    if (!row.accepted && row.length == 44 && row.block.header.biSize == 40) {
      ASSERT_EQ(Callbacks().errors.size(), errors + 1) << "a refusal is reported";
      EXPECT_EQ(Callbacks().errors.back().id, SIMCAM_ERROR_FORMAT);
    }
  }
  Send(window, WM_CAP_DRIVER_DISCONNECT);
  const FormatBlock44 block = Block(160, 120, 24);
  EXPECT_FALSE(Send(window, WM_CAP_SET_VIDEOFORMAT, 44, reinterpret_cast<LPARAM>(&block)))
      << "no driver";
}

TEST_F(SimCamFormats, TheDriverKeepsItsFormatAcrossConnections) {
  HWND first = Connected();
  const FormatBlock44 block = Block(176, 144, 8, BI_RGB, 64);
  ASSERT_TRUE(Send(first, WM_CAP_SET_VIDEOFORMAT, 44, reinterpret_cast<LPARAM>(&block)));
  DestroyWindow(first);
  HWND second = Connected();
  const std::vector<uint8_t> format = QueryFormat(second);
  ASSERT_EQ(format.size(), 40u + 4 * 64);
  const BitmapHeader h = ReadBitmapHeader(format.data());
  EXPECT_EQ(h.biWidth, 176);
  EXPECT_EQ(h.biBitCount, 8);
  EXPECT_EQ(h.biClrUsed, 64u);
}

}  // namespace
}  // namespace zu::test
