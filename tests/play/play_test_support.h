// Shared by the play control tests: a control in a visible parent window with a container double,
// canvases read back pixel by pixel, frames carried in strings as hosts carry them, and strings
// placed right before a page that faults on any access.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>
#include <wrl/client.h>

#include <cstdint>
#include <iosfwd>

#include "play/zu_video_play_ctl.h"
#include "tests/codec/codec_test_support.h"

std::ostream& operator<<(std::ostream& out, const RECT& r);

namespace zu::test {

// The container's ambient properties, as a test sets them.
class FakeAmbient : public AmbientProperties {
 public:
  bool UserMode() override { return user_mode; }
  bool user_mode = true;
};

// A string holding frame data as the capture side makes it: n characters, the bytes in front.
class FrameString {
 public:
  explicit FrameString(const Bytes& bytes);
  ~FrameString() { SysFreeString(text_); }
  FrameString(const FrameString&) = delete;
  FrameString& operator=(const FrameString&) = delete;
  BSTR* get() { return &text_; }
  LONG count() const { return count_; }

 private:
  BSTR text_ = nullptr;
  LONG count_ = 0;
};

// A 32-bit top-down DIB section selected into a memory DC.
class Canvas {
 public:
  Canvas(int width, int height, uint32_t fill = 0xFF00FF);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  HDC dc() const { return dc_; }
  int width() const { return width_; }
  int height() const { return height_; }
  uint32_t At(int x, int y) const { return bits_[y * width_ + x] & 0xFFFFFF; }  // 0xRRGGBB
  void Fill(uint32_t rgb);
  // What `window` shows on screen, from its top-left client corner.
  void CopyFrom(HWND window);

 private:
  int width_, height_;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ previous_ = nullptr;
  uint32_t* bits_ = nullptr;
};

uint32_t ToRgb(COLORREF color);     // 0x00BBGGRR to 0xRRGGBB
uint32_t SysRgb(int system_color);  // GetSysColor as 0xRRGGBB

// The colour GDI gives pixel (x, y), from the top left, of a frame BuildFrame made.
uint32_t DrawnColor(const Bytes& frame, int x, int y);

// The pixel value at (x, y) of a frame whose neighbouring rows and columns all differ.
uint32_t PatternPixel(uint16_t bit_count, int x, int y);
// Four quadrants of four different colours (two at 1 bit: diagonal quadrants match).
uint32_t QuadrantPixel(uint16_t bit_count, int quadrant);

// Success when `window`'s update region is exactly `expected` (empty for all zero).
::testing::AssertionResult UpdateRegionIs(HWND window, const RECT& expected);

// Counts WM_ERASEBKGND reaching one window while it lives; one at a time.
class EraseCounter {
 public:
  explicit EraseCounter(HWND window);
  ~EraseCounter();
  int count() const { return count_; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static EraseCounter* current_;
  HWND window_;
  WNDPROC original_;
  int count_ = 0;
};

// A string whose last byte lies right before a page that faults on any access. Its length
// prefix says `storage` bytes; `bytes` sits at its end.
class GuardedString {
 public:
  GuardedString(const Bytes& bytes, uint32_t storage);
  explicit GuardedString(const Bytes& bytes) : GuardedString(bytes, static_cast<uint32_t>(bytes.size())) {}
  ~GuardedString();
  GuardedString(const GuardedString&) = delete;
  GuardedString& operator=(const GuardedString&) = delete;
  BSTR* get() { return &text_; }

 private:
  uint8_t* region_ = nullptr;
  BSTR text_ = nullptr;
};

// The BackColor the fixture sets, as 0xRRGGBB.
constexpr uint32_t kBackRgb = 0x123456;

// A play control created as a host would, with its container double; most tests give it a
// window in a visible parent, since hidden windows collect no update region.
class PlayControlTest : public ::testing::Test {
 protected:
  static constexpr int kWidth = 200;
  static constexpr int kHeight = 100;

  void SetUp() override;
  void TearDown() override;

  ZuVideoPlayCtl* control() const { return static_cast<ZuVideoPlayCtl*>(play_.Get()); }
  HWND OpenWindow(int width = kWidth, int height = kHeight);
  // RefreshFrame with the frame in a fresh string; the flag, and the result in `hr`.
  VARIANT_BOOL Refresh(const Bytes& frame, HRESULT* hr = nullptr);
  // What the control paints into a canvas of its client size (or of `bounds` without a window).
  void Paint(Canvas& canvas);

  Microsoft::WRL::ComPtr<IZuVideoPlayCtl> play_;
  FakeAmbient ambient_;
  HWND parent_ = nullptr;
  HWND window_ = nullptr;
};

}  // namespace zu::test
