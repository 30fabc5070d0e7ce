// Frames and preview: what the frame callback receives at every bit count, the preview timer's
// pace, the status reports, and what the window paints.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "codec/frame_format.h"
#include "tests/simcam/simcam_test_support.h"
#include "tools/frame_picture.h"

namespace zu::test {
namespace {

using SimCamPreview = SimCamTest;

struct FormatRow {
  const char* format;
  uint32_t colors;  // entries the table must have
};

constexpr FormatRow kEveryBitCount[] = {
    {"80x60x1", 2},     {"81x60x1", 2},     {"80x60x4", 16},    {"83x61x4/9", 9},
    {"80x60x8", 256},   {"82x60x8/16", 16}, {"80x60x16", 0},    {"81x59x24", 0},
    {"80x60x32", 0},    {"640x480x24", 0},
};

TEST_F(SimCamPreview, PushedFramesPassTheFrameCheckAtEveryBitCount) {
  for (const FormatRow& row : kEveryBitCount) {
    SCOPED_TRACE(row.format);
    Configure(std::string("driver 0 format=") + row.format);
    HWND window = Connected();
    Callbacks().frames.clear();
    ASSERT_TRUE(api_.push_frame(window));
    ASSERT_TRUE(api_.push_frame(window));
    ASSERT_EQ(Callbacks().frames.size(), 2u);
    for (const FrameRecord& frame : Callbacks().frames) {
      EXPECT_EQ(frame.window, window);
      EXPECT_EQ(frame.flags & VHDR_DONE, static_cast<DWORD>(VHDR_DONE));
      EXPECT_EQ(frame.bytes_used, frame.buffer_length);
      const std::vector<uint8_t> packed = PackedFrame(frame);
      FrameLayout layout;
      ASSERT_EQ(CheckFrame(packed.data(), static_cast<int64_t>(packed.size()), &layout),
                FrameVerdict::kOk);
      EXPECT_EQ(layout.color_entries, row.colors);
      EXPECT_EQ(layout.required_bytes, packed.size()) << "the frame is exactly the format";
      EXPECT_EQ(layout.header.biSizeImage, frame.bytes_used);
      EXPECT_FALSE(layout.top_down);
      // Every pixel indexes the table.
      if (row.colors != 0) {
        const FramePicture picture(packed.data());
        for (uint32_t y = 0; y < picture.Height(); ++y) {
          for (uint32_t x = 0; x < picture.Width(); ++x) {
            ASSERT_EQ(picture.ColorAt(x, y) & FramePicture::kIndexPastTable, 0u)
                << "(" << x << ", " << y << ")";
          }
        }
      }
    }
    EXPECT_NE(Callbacks().frames[0].data, Callbacks().frames[1].data) << "a live picture";
    DestroyWindow(window);
  }
}

TEST_F(SimCamPreview, TheCameraPictureMovesAndIsNotFlat) {
  Configure("driver 0 format=320x240x24");
  HWND window = Connected();
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(api_.push_frame(window));
  const std::vector<uint8_t> first = PackedFrame(Callbacks().frames.front());
  const std::vector<uint8_t> last = PackedFrame(Callbacks().frames.back());
  const FramePicture a(first.data()), b(last.data());
  // Far from the caption at the top left: the scene has drifted, not just its noise changed.
  int moved = 0, distinct = 0;
  uint32_t previous = 0;
  for (uint32_t y = 120; y < 240; y += 7) {
    for (uint32_t x = 0; x < 320; x += 5) {
      const uint32_t ca = a.ColorAt(x, y), cb = b.ColorAt(x, y);
      auto channel_gap = [](uint32_t p, uint32_t q, int shift) {
        return std::abs(static_cast<int>((p >> shift) & 0xff) - static_cast<int>((q >> shift) & 0xff));
      };
      if (channel_gap(ca, cb, 0) + channel_gap(ca, cb, 8) + channel_gap(ca, cb, 16) > 40) ++moved;
      if (ca != previous) ++distinct;
      previous = ca;
    }
  }
  EXPECT_GT(moved, 50);
  EXPECT_GT(distinct, 500);
}

TEST_F(SimCamPreview, ThePreviewTimerDeliversFramesAtTheRateItIsGiven) {
  HWND window = Connected();
  // Counted over a second with wide bands: a loaded machine delays timers, it does not double
  // them. The two bands do not overlap, so a rate that is ignored fails one of them.
  const struct {
    WPARAM ms;
    size_t low, high;
  } rows[] = {{40, 12, 40}, {250, 2, 6}};
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.ms << " ms");
    EXPECT_TRUE(Send(window, WM_CAP_SET_PREVIEWRATE, row.ms));
    EXPECT_TRUE(Send(window, WM_CAP_SET_PREVIEW, TRUE));
    EXPECT_TRUE(Send(window, WM_CAP_SET_PREVIEW, TRUE)) << "a second start keeps one timer";
    Callbacks().frames.clear();
    Pump(1000);
    const size_t frames = FramesOf(window);
    EXPECT_GE(frames, row.low);
    EXPECT_LE(frames, row.high);
    EXPECT_TRUE(Send(window, WM_CAP_SET_PREVIEW, FALSE));
  }
  Callbacks().frames.clear();
  Pump(300);
  EXPECT_EQ(FramesOf(window), 0u) << "preview stopped";
}

TEST_F(SimCamPreview, FrameTimesCountFromThePreviewStart) {
  HWND window = Connected();
  Send(window, WM_CAP_SET_PREVIEWRATE, 30);
  Send(window, WM_CAP_SET_PREVIEW, TRUE);
  Pump(400);
  Send(window, WM_CAP_SET_PREVIEW, FALSE);
  const auto& frames = Callbacks().frames;
  ASSERT_GE(frames.size(), 2u);
  for (size_t i = 1; i < frames.size(); ++i) {
    EXPECT_GE(frames[i].time_captured, frames[i - 1].time_captured);
  }
  EXPECT_LT(frames.back().time_captured, 5000u);
}

TEST_F(SimCamPreview, PreviewReportsItsStartAndStopAndNeedsADriver) {
  HWND window = NewCaptureWindow();
  EXPECT_FALSE(Send(window, WM_CAP_SET_PREVIEW, TRUE)) << "no driver";
  EXPECT_TRUE(Callbacks().statuses.empty());
  ASSERT_TRUE(Send(window, WM_CAP_DRIVER_CONNECT, 0));
  Send(window, WM_CAP_SET_PREVIEWRATE, 100000);
  EXPECT_TRUE(Send(window, WM_CAP_SET_PREVIEW, TRUE));
  EXPECT_TRUE(Send(window, WM_CAP_SET_PREVIEW, TRUE));
  EXPECT_TRUE(Send(window, WM_CAP_SET_PREVIEW, FALSE));
  EXPECT_TRUE(Send(window, WM_CAP_SET_PREVIEW, FALSE));
  const auto& statuses = Callbacks().statuses;
  ASSERT_EQ(statuses.size(), 2u) << "one report per change";
  EXPECT_EQ(statuses[0].id, SIMCAM_STATUS_PREVIEW_STARTED);
  EXPECT_EQ(statuses[1].id, SIMCAM_STATUS_PREVIEW_STOPPED);
  EXPECT_EQ(statuses[0].window, window);
  EXPECT_FALSE(statuses[0].text.empty());
}

TEST_F(SimCamPreview, FramesResumeAfterTheDriverIsConnectedAgain) {
  HWND window = Connected();
  Send(window, WM_CAP_SET_PREVIEWRATE, 30);
  ASSERT_TRUE(Send(window, WM_CAP_SET_PREVIEW, TRUE));
  Send(window, WM_CAP_DRIVER_DISCONNECT);
  Callbacks().frames.clear();
  Pump(200);
  EXPECT_EQ(FramesOf(window), 0u) << "no driver, no frames";
  ASSERT_TRUE(Send(window, WM_CAP_DRIVER_CONNECT, 0));
  Pump(400);
  EXPECT_GT(FramesOf(window), 0u) << "the preview was not stopped, only its driver";

  // Stopped while the driver is away, it stays stopped when the driver comes back.
  Send(window, WM_CAP_DRIVER_DISCONNECT);
  EXPECT_FALSE(Send(window, WM_CAP_SET_PREVIEW, FALSE)) << "no driver to tell";
  ASSERT_TRUE(Send(window, WM_CAP_DRIVER_CONNECT, 0));
  Callbacks().frames.clear();
  Pump(300);
  EXPECT_EQ(FramesOf(window), 0u);
}

TEST_F(SimCamPreview, PushNeedsADriverAndTheCallbackIsPerWindow) {
  Configure("driver 0; driver 1");
  HWND first = Connected(0);
  HWND second = Connected(1);
  HWND idle = NewCaptureWindow();
  Send(second, WM_CAP_SET_CALLBACK_FRAME, 0, 0);
  EXPECT_FALSE(api_.push_frame(idle));
  EXPECT_FALSE(api_.push_frame(parent_)) << "not a capture window";
  EXPECT_TRUE(api_.push_frame(second));
  EXPECT_TRUE(api_.push_frame(first));
  ASSERT_EQ(Callbacks().frames.size(), 1u);
  EXPECT_EQ(Callbacks().frames[0].window, first);
}

// Paints into a 32-bit DIB section through WM_PRINTCLIENT and returns its pixels, top-down.
std::vector<uint32_t> PrintClient(HWND window, int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, bitmap);
  std::memset(bits, 0xAB, static_cast<size_t>(width) * height * 4);
  SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
  GdiFlush();
  std::vector<uint32_t> pixels(static_cast<const uint32_t*>(bits),
                               static_cast<const uint32_t*>(bits) + width * height);
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  for (uint32_t& p : pixels) p &= 0xFFFFFF;
  return pixels;
}

TEST_F(SimCamPreview, PaintsTheLatestFrameWhilePreviewRunsAndItsBackgroundOtherwise) {
  Configure("driver 0 format=160x120x24");
  HWND window = NewCaptureWindow(200, 150);
  const uint32_t background = (GetRValue(SIMCAM_BACKGROUND_COLOR) << 16) |
                              (GetGValue(SIMCAM_BACKGROUND_COLOR) << 8) |
                              GetBValue(SIMCAM_BACKGROUND_COLOR);
  auto all_background = [&](const std::vector<uint32_t>& pixels) {
    return std::all_of(pixels.begin(), pixels.end(), [&](uint32_t p) { return p == background; });
  };
  EXPECT_TRUE(all_background(PrintClient(window, 200, 150))) << "no driver";
  ASSERT_TRUE(Send(window, WM_CAP_DRIVER_CONNECT, 0));
  ASSERT_TRUE(api_.push_frame(window));
  EXPECT_TRUE(all_background(PrintClient(window, 200, 150))) << "no preview";

  Send(window, WM_CAP_SET_PREVIEWRATE, 100000);  // only the pushed frames
  ASSERT_TRUE(Send(window, WM_CAP_SET_PREVIEW, TRUE));
  Callbacks().frames.clear();
  ASSERT_TRUE(api_.push_frame(window));
  ASSERT_EQ(Callbacks().frames.size(), 1u);
  const std::vector<uint8_t> frame = PackedFrame(Callbacks().frames[0]);
  const FramePicture picture(frame.data());
  const std::vector<uint32_t> pixels = PrintClient(window, 200, 150);
  int mismatches = 0;
  for (int y = 0; y < 150; ++y) {
    for (int x = 0; x < 200; ++x) {
      const uint32_t want = x < 160 && y < 120 ? picture.ColorAt(x, y) : background;
      if (pixels[y * 200 + x] != want && ++mismatches < 5) {
        ADD_FAILURE() << "(" << x << ", " << y << "): " << std::hex << pixels[y * 200 + x]
                      << " instead of " << want;
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
  Send(window, WM_CAP_SET_PREVIEW, FALSE);
  EXPECT_TRUE(all_background(PrintClient(window, 200, 150))) << "preview stopped";
}

}  // namespace
}  // namespace zu::test
