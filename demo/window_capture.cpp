#include "demo/window_capture.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "codec/frame_format.h"
#include "codec/png_frame_encoder.h"

namespace zu {

namespace {

// `width` x `height` pixels of `source` from (x, y), as a 24-bit bottom-up frame.
std::vector<uint8_t> CopyPixels(HDC source, int x, int y, int width, int height) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, as frame data
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP section = CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC memory_dc = CreateCompatibleDC(source);
  bool ok = false;
  if (section && memory_dc && bits) {
    HGDIOBJ old = SelectObject(memory_dc, section);
    ok = BitBlt(memory_dc, 0, 0, width, height, source, x, y, SRCCOPY) != FALSE;
    GdiFlush();
    SelectObject(memory_dc, old);
  }
  std::vector<uint8_t> frame;
  if (ok) {
    const size_t rows = static_cast<size_t>(DibRowStride(width, 24)) * height;
    frame.resize(kBitmapHeaderSize + rows);
    std::memcpy(frame.data(), &info.bmiHeader, kBitmapHeaderSize);
    std::memcpy(frame.data() + kBitmapHeaderSize, bits, rows);
  }
  if (memory_dc) DeleteDC(memory_dc);
  if (section) DeleteObject(section);
  return frame;
}

}  // namespace

std::vector<uint8_t> CaptureClientArea(HWND window) {
  RECT client;
  if (!GetClientRect(window, &client) || client.right <= 0 || client.bottom <= 0) return {};
  HDC window_dc = GetDC(window);
  if (window_dc == nullptr) return {};
  std::vector<uint8_t> frame = CopyPixels(window_dc, 0, 0, client.right, client.bottom);
  ReleaseDC(window, window_dc);
  return frame;
}

std::vector<uint8_t> CaptureScreenArea(const RECT& area) {
  RECT screen = {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN), 0, 0};
  screen.right = screen.left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
  screen.bottom = screen.top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
  RECT visible;
  if (!IntersectRect(&visible, &area, &screen)) return {};
  HDC screen_dc = GetDC(nullptr);
  if (screen_dc == nullptr) return {};
  std::vector<uint8_t> frame = CopyPixels(screen_dc, visible.left, visible.top,
                                          visible.right - visible.left, visible.bottom - visible.top);
  ReleaseDC(nullptr, screen_dc);
  return frame;
}

bool WritePngFile(const std::wstring& path, const std::vector<uint8_t>& frame) {
  PngFrameEncoder encoder;
  int32_t length = 0;
  std::unique_ptr<uint8_t, FreeDeleter> stream(
      encoder.EncodeFrame(frame.data(), static_cast<int32_t>(frame.size()), &length));
  if (!stream) return false;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(file, stream.get(), static_cast<DWORD>(length), &written, nullptr) &&
                  written == static_cast<DWORD>(length);
  CloseHandle(file);
  return ok;
}

}  // namespace zu
