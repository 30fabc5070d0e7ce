// The capture window of the platform's capture library (avicap32) as typed calls: every
// operation the capture control uses, with what it passes and what it gets back. Messages go
// with SendMessageA; a null window answers every query with failure.
#pragma once

#include <windows.h>

#include <vfw.h>

#include <cstdint>

namespace zu {

// The format block exchanged with a driver: a BITMAPINFOHEADER and one colour entry.
constexpr WPARAM kFormatBlockBytes = 44;
static_assert(sizeof(BITMAPINFO) == kFormatBlockBytes, "BITMAPINFO is the 44-byte format block");

// Is a capture driver installed at `index` (0 to 9)? The name and version are not kept.
bool CaptureDriverInstalled(int index) noexcept;

// A new capture window: a child of `parent` with the given title, style, place and identifier;
// null when the library cannot make one.
HWND CreateCaptureWindow(const char* title, DWORD style, int x, int y, int width, int height,
                         HWND parent, int id) noexcept;

class CaptureWindow {
 public:
  explicit CaptureWindow(HWND window) noexcept : window_(window) {}

  HWND Handle() const noexcept { return window_; }

  bool SetErrorCallback(CAPERRORCALLBACKA callback) const noexcept;
  bool SetStatusCallback(CAPSTATUSCALLBACKA callback) const noexcept;
  bool SetFrameCallback(CAPVIDEOCALLBACK callback) const noexcept;

  bool Connect(int driver_index) const noexcept;
  void Disconnect() const noexcept;
  // Which of the driver's dialogs exist; all false when the driver does not say.
  CAPDRIVERCAPS Capabilities() const noexcept;

  // The size of the driver's current format; 0 without a driver.
  uint32_t FormatSize() const noexcept;
  // Copies up to `size` bytes of the current format into `buffer`.
  bool GetFormat(void* buffer, uint32_t size) const noexcept;
  // Offers the 44-byte format block; true when the driver accepts it.
  bool SetFormat(const BITMAPINFO& format) const noexcept;

  bool SetPreview(bool on) const noexcept;
  bool SetPreviewRate(UINT milliseconds) const noexcept;
  // Writes the current frame to a bitmap file.
  bool SaveDib(const char* path) const noexcept;

  // The driver's dialogs; each returns when its dialog closes.
  bool ShowFormatDialog() const noexcept;
  bool ShowSourceDialog() const noexcept;
  bool ShowDisplayDialog() const noexcept;

 private:
  LRESULT Send(UINT message, WPARAM wparam, LPARAM lparam) const noexcept {
    return window_ ? SendMessageA(window_, message, wparam, lparam) : 0;
  }

  HWND window_;
};

}  // namespace zu
