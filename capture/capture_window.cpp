#include "capture/capture_window.h"

namespace zu {

namespace {
// What the library is given for a driver's name and version; only its answer counts.
constexpr int kDriverTextBytes = 80;
}  // namespace

bool CaptureDriverInstalled(int index) noexcept {
  char name[kDriverTextBytes] = {};
  char version[kDriverTextBytes] = {};
  return capGetDriverDescriptionA(static_cast<UINT>(index), name, kDriverTextBytes, version,
                                  kDriverTextBytes) != FALSE;
}

HWND CreateCaptureWindow(const char* title, DWORD style, int x, int y, int width, int height,
                         HWND parent, int id) noexcept {
  return capCreateCaptureWindowA(title, style, x, y, width, height, parent, id);
}

bool CaptureWindow::SetErrorCallback(CAPERRORCALLBACKA callback) const noexcept {
  return Send(WM_CAP_SET_CALLBACK_ERRORA, 0, reinterpret_cast<LPARAM>(callback)) != 0;
}

bool CaptureWindow::SetStatusCallback(CAPSTATUSCALLBACKA callback) const noexcept {
  return Send(WM_CAP_SET_CALLBACK_STATUSA, 0, reinterpret_cast<LPARAM>(callback)) != 0;
}

bool CaptureWindow::SetFrameCallback(CAPVIDEOCALLBACK callback) const noexcept {
  return Send(WM_CAP_SET_CALLBACK_FRAME, 0, reinterpret_cast<LPARAM>(callback)) != 0;
}

bool CaptureWindow::Connect(int driver_index) const noexcept {
  return Send(WM_CAP_DRIVER_CONNECT, static_cast<WPARAM>(driver_index), 0) != 0;
}

void CaptureWindow::Disconnect() const noexcept { Send(WM_CAP_DRIVER_DISCONNECT, 0, 0); }

CAPDRIVERCAPS CaptureWindow::Capabilities() const noexcept {
  CAPDRIVERCAPS caps = {};
  Send(WM_CAP_DRIVER_GET_CAPS, sizeof caps, reinterpret_cast<LPARAM>(&caps));
  return caps;
}

uint32_t CaptureWindow::FormatSize() const noexcept {
  return static_cast<uint32_t>(Send(WM_CAP_GET_VIDEOFORMAT, 0, 0));
}

bool CaptureWindow::GetFormat(void* buffer, uint32_t size) const noexcept {
  return Send(WM_CAP_GET_VIDEOFORMAT, size, reinterpret_cast<LPARAM>(buffer)) != 0;
}

bool CaptureWindow::SetFormat(const BITMAPINFO& format) const noexcept {
  return Send(WM_CAP_SET_VIDEOFORMAT, kFormatBlockBytes, reinterpret_cast<LPARAM>(&format)) != 0;
}

bool CaptureWindow::SetPreview(bool on) const noexcept {
  return Send(WM_CAP_SET_PREVIEW, on ? TRUE : FALSE, 0) != 0;
}

bool CaptureWindow::SetPreviewRate(UINT milliseconds) const noexcept {
  return Send(WM_CAP_SET_PREVIEWRATE, milliseconds, 0) != 0;
}

bool CaptureWindow::SaveDib(const char* path) const noexcept {
  return Send(WM_CAP_FILE_SAVEDIBA, 0, reinterpret_cast<LPARAM>(path)) != 0;
}

bool CaptureWindow::ShowFormatDialog() const noexcept {
  return Send(WM_CAP_DLG_VIDEOFORMAT, 0, 0) != 0;
}

bool CaptureWindow::ShowSourceDialog() const noexcept {
  return Send(WM_CAP_DLG_VIDEOSOURCE, 0, 0) != 0;
}

bool CaptureWindow::ShowDisplayDialog() const noexcept {
  return Send(WM_CAP_DLG_VIDEODISPLAY, 0, 0) != 0;
}

}  // namespace zu
