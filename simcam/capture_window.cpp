#include "simcam/capture_window.h"

#include <vfw.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "simcam/ansi_text.h"
#include "simcam/driver_dialogs.h"
#include "simcam/frame_generator.h"
#include "simcam/simcam_control.h"
#include "simcam/simulator.h"

namespace zu::simcam {
namespace {

constexpr wchar_t kClassName[] = L"ZuSimCamCaptureWindow";
constexpr UINT_PTR kPreviewTimer = 1;
// Private: SimCamPushFrame's request, sent so the frame is grabbed on the window's thread.
constexpr UINT kPushFrameMessage = WM_APP + 0x2c1;
constexpr UINT kDefaultPreviewRateMs = 66;
constexpr COLORREF kBackground = SIMCAM_BACKGROUND_COLOR;

HINSTANCE g_module = nullptr;
ATOM g_class = 0;
SRWLOCK g_class_lock = SRWLOCK_INIT;

bool IsCapMessage(UINT message) { return message >= WM_CAP_START && message <= WM_CAP_END; }

// A BITMAPINFO with room for a full colour table, for painting.
struct PaintInfo {
  BITMAPINFOHEADER header;
  RGBQUAD colors[256];
};

class CaptureWindow {
 public:
  explicit CaptureWindow(HWND window) : window_(window) {}

  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

 private:
  // Keeps the object alive while a handler calls out: a callback or a dialog may destroy the
  // window, and WM_NCDESTROY then leaves the deletion to the outermost handler.
  struct Busy {
    explicit Busy(CaptureWindow* w) : window(w) { ++window->busy_; }
    ~Busy() {
      if (--window->busy_ == 0 && window->destroyed_) delete window;
    }
    CaptureWindow* window;
  };

  LRESULT Capture(UINT message, WPARAM wparam, LPARAM lparam, std::string* detail);
  LRESULT Connect(int index, std::string* detail);
  LRESULT Disconnect(std::string* detail);
  LRESULT GetCaps(WPARAM size, CAPDRIVERCAPS* caps, std::string* detail);
  LRESULT GetFormat(WPARAM size, void* buffer, std::string* detail);
  LRESULT SetFormat(WPARAM size, const BITMAPINFO* info, std::string* detail);
  LRESULT SetPreview(bool on, std::string* detail);
  LRESULT SetPreviewRate(UINT ms, std::string* detail);
  LRESULT SaveDib(const std::wstring& name, std::string* detail);
  LRESULT Dialog(UINT message, std::string* detail);
  LRESULT GetStatus(WPARAM size, CAPSTATUS* status);

  // Grabs a frame from the connected driver into frame_ and, if `deliver`, hands it to the
  // frame callback. False without a driver, or while a callback is still reading the last one.
  bool Grab(bool deliver);
  void UpdateTimer();
  void Paint(HDC dc);
  void ReportError(int id, const std::string& text);
  void ReportStatus(int id, const std::string& text);
  void OnDestroy();

  HWND window_;
  int busy_ = 0;
  bool destroyed_ = false;

  CAPERRORCALLBACKA error_a_ = nullptr;
  CAPERRORCALLBACKW error_w_ = nullptr;
  CAPSTATUSCALLBACKA status_a_ = nullptr;
  CAPSTATUSCALLBACKW status_w_ = nullptr;
  CAPVIDEOCALLBACK frame_callback_ = nullptr;
  LPARAM user_data_ = 0;

  bool preview_ = false;  // kept across a reconnection: frames resume with the driver
  bool timer_running_ = false;
  UINT timer_ms_ = 0;
  UINT rate_ms_ = kDefaultPreviewRateMs;
  DWORD start_tick_ = GetTickCount();
  bool in_frame_callback_ = false;

  FrameGenerator generator_;
  std::vector<uint8_t> frame_;
  bool has_frame_ = false;
  VideoFormat frame_format_;
  PaintInfo paint_info_{};
  uint32_t frame_index_ = 0;
  uint32_t frames_delivered_ = 0;
};

LRESULT CALLBACK CaptureWindow::Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = reinterpret_cast<CaptureWindow*>(GetWindowLongPtrW(window, 0));
  if (message == WM_NCCREATE) {
    self = new (std::nothrow) CaptureWindow(window);
    if (self == nullptr) return FALSE;
    SetWindowLongPtrW(window, 0, reinterpret_cast<LONG_PTR>(self));
    Simulator::Get().WindowCreated(window);
  }
  if (self == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  Busy busy(self);

  if (IsCapMessage(message)) {
    Simulator& simulator = Simulator::Get();
    const Simulator::Ticket ticket = simulator.LogArrival(window, message, wparam, lparam);
    std::string detail;
    const LRESULT result = self->Capture(message, wparam, lparam, &detail);
    simulator.LogResult(window, ticket, result, detail);
    return result;
  }
  switch (message) {
    case kPushFrameMessage:
      return self->Grab(true) ? TRUE : FALSE;
    case WM_TIMER:
      if (wparam == kPreviewTimer) {
        if (!self->Grab(true)) self->UpdateTimer();
        return 0;
      }
      break;
    case WM_ERASEBKGND:
      return 1;  // WM_PAINT covers every pixel
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      self->Paint(dc);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_PRINTCLIENT:
      self->Paint(reinterpret_cast<HDC>(wparam));
      return 0;
    case WM_DESTROY:
      self->OnDestroy();
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrW(window, 0, 0);
      self->destroyed_ = true;  // deleted when the outermost handler returns
      return DefWindowProcW(window, message, wparam, lparam);
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void CaptureWindow::OnDestroy() {
  Simulator& simulator = Simulator::Get();
  const Simulator::Ticket ticket = simulator.LogArrival(window_, WM_DESTROY, 0, 0);
  KillTimer(window_, kPreviewTimer);
  timer_running_ = false;
  const bool had_driver = simulator.Disconnect(window_);
  simulator.LogResult(window_, ticket, 0, had_driver ? "destroyed, driver released" : "destroyed");
  simulator.WindowDestroyed(window_);
}

LRESULT CaptureWindow::Capture(UINT message, WPARAM wparam, LPARAM lparam, std::string* detail) {
  auto callback_detail = [&](bool set) {
    *detail = set ? "set" : "cleared";
    return TRUE;
  };
  switch (message) {
    case WM_CAP_SET_CALLBACK_ERRORA:
      error_a_ = reinterpret_cast<CAPERRORCALLBACKA>(lparam);
      error_w_ = nullptr;
      return callback_detail(lparam != 0);
    case WM_CAP_SET_CALLBACK_ERRORW:
      error_w_ = reinterpret_cast<CAPERRORCALLBACKW>(lparam);
      error_a_ = nullptr;
      return callback_detail(lparam != 0);
    case WM_CAP_SET_CALLBACK_STATUSA:
      status_a_ = reinterpret_cast<CAPSTATUSCALLBACKA>(lparam);
      status_w_ = nullptr;
      return callback_detail(lparam != 0);
    case WM_CAP_SET_CALLBACK_STATUSW:
      status_w_ = reinterpret_cast<CAPSTATUSCALLBACKW>(lparam);
      status_a_ = nullptr;
      return callback_detail(lparam != 0);
    case WM_CAP_SET_CALLBACK_FRAME:
      frame_callback_ = reinterpret_cast<CAPVIDEOCALLBACK>(lparam);
      return callback_detail(lparam != 0);
    case WM_CAP_GET_USER_DATA:
      return user_data_;
    case WM_CAP_SET_USER_DATA:
      user_data_ = lparam;
      return TRUE;
    case WM_CAP_DRIVER_CONNECT:
      return Connect(static_cast<int>(wparam), detail);
    case WM_CAP_DRIVER_DISCONNECT:
      return Disconnect(detail);
    case WM_CAP_DRIVER_GET_NAMEA:
    case WM_CAP_DRIVER_GET_VERSIONA:
    case WM_CAP_DRIVER_GET_NAMEW:
    case WM_CAP_DRIVER_GET_VERSIONW: {
      const std::optional<DriverState> driver = Simulator::Get().DriverOf(window_);
      if (!driver) return FALSE;
      const bool name = message == WM_CAP_DRIVER_GET_NAMEA || message == WM_CAP_DRIVER_GET_NAMEW;
      const std::string& text = name ? driver->config.name : driver->config.version;
      if (message == WM_CAP_DRIVER_GET_NAMEA || message == WM_CAP_DRIVER_GET_VERSIONA) {
        return CopyToBuffer(text, reinterpret_cast<char*>(lparam), wparam);
      }
      return CopyToBuffer(Widen(text.c_str()), reinterpret_cast<wchar_t*>(lparam), wparam);
    }
    case WM_CAP_DRIVER_GET_CAPS:
      return GetCaps(wparam, reinterpret_cast<CAPDRIVERCAPS*>(lparam), detail);
    case WM_CAP_FILE_SAVEDIBA:
      if (lparam == 0) return FALSE;
      return SaveDib(Widen(reinterpret_cast<const char*>(lparam)), detail);
    case WM_CAP_FILE_SAVEDIBW:
      if (lparam == 0) return FALSE;
      return SaveDib(reinterpret_cast<const wchar_t*>(lparam), detail);
    case WM_CAP_DLG_VIDEOFORMAT:
    case WM_CAP_DLG_VIDEOSOURCE:
    case WM_CAP_DLG_VIDEODISPLAY:
      return Dialog(message, detail);
    case WM_CAP_GET_VIDEOFORMAT:
      return GetFormat(wparam, reinterpret_cast<void*>(lparam), detail);
    case WM_CAP_SET_VIDEOFORMAT:
      return SetFormat(wparam, reinterpret_cast<const BITMAPINFO*>(lparam), detail);
    case WM_CAP_SET_PREVIEW:
      return SetPreview(wparam != 0, detail);
    case WM_CAP_SET_PREVIEWRATE:
      return SetPreviewRate(static_cast<UINT>(wparam), detail);
    case WM_CAP_GET_STATUS:
      return GetStatus(wparam, reinterpret_cast<CAPSTATUS*>(lparam));
    case WM_CAP_GRAB_FRAME:
    case WM_CAP_GRAB_FRAME_NOSTOP:
      // A still grab ends the preview, as on a real capture window.
      if (message == WM_CAP_GRAB_FRAME && preview_) SetPreview(false, detail);
      return Grab(true) ? TRUE : FALSE;
  }
  *detail = "not simulated";
  return FALSE;
}

LRESULT CaptureWindow::Connect(int index, std::string* detail) {
  Simulator& simulator = Simulator::Get();
  const std::optional<DriverState> current = simulator.DriverOf(window_);
  const std::string name = "driver " + std::to_string(index);
  if (current && current->index == index) {
    *detail = name + " already connected";
    return TRUE;
  }
  // Connecting closes the driver the window had, whether or not the new one opens.
  if (current) simulator.Disconnect(window_);
  has_frame_ = false;
  const ConnectResult result = simulator.Connect(index, window_);
  UpdateTimer();
  InvalidateRect(window_, nullptr, FALSE);
  switch (result) {
    case ConnectResult::kConnected:
      *detail = name + " connected";
      start_tick_ = GetTickCount();
      return TRUE;
    case ConnectResult::kNoDriver:
      *detail = name + ": none";
      ReportError(SIMCAM_ERROR_CONNECT, "No capture driver at index " + std::to_string(index));
      return FALSE;
    case ConnectResult::kInUse:
      *detail = name + ": in use";
      ReportError(SIMCAM_ERROR_CONNECT, "The capture driver is in use by another window");
      return FALSE;
    case ConnectResult::kRefused:
      *detail = name + ": refused";
      ReportError(SIMCAM_ERROR_CONNECT, "The capture driver refused the connection");
      return FALSE;
  }
  return FALSE;
}

LRESULT CaptureWindow::Disconnect(std::string* detail) {
  const bool had = Simulator::Get().Disconnect(window_);
  has_frame_ = false;
  UpdateTimer();
  InvalidateRect(window_, nullptr, FALSE);
  *detail = had ? "disconnected" : "no driver";
  return had ? TRUE : FALSE;
}

LRESULT CaptureWindow::GetCaps(WPARAM size, CAPDRIVERCAPS* caps, std::string* detail) {
  const std::optional<DriverState> driver = Simulator::Get().DriverOf(window_);
  if (!driver) {
    *detail = "no driver";
    return FALSE;
  }
  if (caps == nullptr) return FALSE;
  CAPDRIVERCAPS answer{};
  answer.wDeviceIndex = static_cast<UINT>(driver->index);
  answer.fHasDlgVideoSource = driver->config.has_source_dialog;
  answer.fHasDlgVideoFormat = driver->config.has_format_dialog;
  answer.fHasDlgVideoDisplay = driver->config.has_display_dialog;
  answer.fCaptureInitialized = TRUE;
  std::memcpy(caps, &answer, std::min<size_t>(size, sizeof answer));
  *detail = std::string(answer.fHasDlgVideoFormat ? "format " : "") +
            (answer.fHasDlgVideoSource ? "source " : "") +
            (answer.fHasDlgVideoDisplay ? "display" : "");
  if (detail->empty()) *detail = "no dialogs";
  return TRUE;
}

LRESULT CaptureWindow::GetFormat(WPARAM size, void* buffer, std::string* detail) {
  const std::optional<DriverState> driver = Simulator::Get().DriverOf(window_);
  if (!driver) {
    *detail = "no driver";
    return 0;
  }
  if (driver->config.faults.get_format_fails) {
    *detail = "failed";
    ReportError(SIMCAM_ERROR_FORMAT, "The capture driver could not report its format");
    return 0;
  }
  const std::vector<uint8_t> block = FormatBlock(ReportedFormat(*driver));
  if (buffer == nullptr) {
    *detail = "size " + std::to_string(block.size());
    return static_cast<LRESULT>(block.size());
  }
  const size_t n = std::min<size_t>(size, block.size());
  std::memcpy(buffer, block.data(), n);
  *detail = "copied " + std::to_string(n) + " of " + std::to_string(block.size()) + ": " +
            DescribeFormat(ReportedFormat(*driver));
  return static_cast<LRESULT>(n);
}

LRESULT CaptureWindow::SetFormat(WPARAM size, const BITMAPINFO* info, std::string* detail) {
  const std::optional<DriverState> driver = Simulator::Get().DriverOf(window_);
  if (!driver) {
    *detail = "no driver";
    return FALSE;
  }
  if (info == nullptr || size < sizeof(BITMAPINFOHEADER) ||
      info->bmiHeader.biSize < sizeof(BITMAPINFOHEADER)) {
    *detail = "no header";
    return FALSE;
  }
  const BITMAPINFOHEADER& h = info->bmiHeader;
  VideoFormat format;
  format.width = h.biWidth;
  format.height = h.biHeight;
  format.bit_count = h.biBitCount;
  format.compression = h.biCompression;
  // The driver keeps its own palette and computes the image size; a table length matters only
  // where there is a table.
  format.colors = IsIndexed(format) ? h.biClrUsed : 0;
  format.size_image = 0;
  const std::string text = DescribeFormat(format);
  const bool accepted = h.biPlanes == 1 && !driver->config.faults.refuse_format &&
                        driver->config.Supports(format);
  if (!accepted) {
    *detail = text + " refused";
    ReportError(SIMCAM_ERROR_FORMAT, "The capture driver refused the format " + text);
    return FALSE;
  }
  Simulator::Get().SetFormat(window_, format);
  *detail = text + " accepted";
  return TRUE;
}

LRESULT CaptureWindow::SetPreview(bool on, std::string* detail) {
  const bool connected = Simulator::Get().DriverOf(window_).has_value();
  // Stopping always takes, so that a preview stopped while the driver was away does not come
  // back with the next connection; starting needs a driver.
  if (on && !connected) {
    *detail = "no driver";
    return FALSE;
  }
  const bool was = preview_;
  preview_ = on;
  *detail = std::string(on ? "on" : "off") + (connected ? "" : ", no driver");
  if (on && !was) start_tick_ = GetTickCount();
  UpdateTimer();
  InvalidateRect(window_, nullptr, FALSE);
  if (on != was) {
    if (on) {
      ReportStatus(SIMCAM_STATUS_PREVIEW_STARTED, "Preview started");
    } else {
      ReportStatus(SIMCAM_STATUS_PREVIEW_STOPPED, "Preview stopped");
    }
  }
  return connected ? TRUE : FALSE;
}

LRESULT CaptureWindow::SetPreviewRate(UINT ms, std::string* detail) {
  rate_ms_ = ms;
  *detail = std::to_string(ms) + " ms";
  UpdateTimer();
  return TRUE;
}

void CaptureWindow::UpdateTimer() {
  const bool want = preview_ && Simulator::Get().DriverOf(window_).has_value();
  // A rate of 0 runs as fast as the system's timers go.
  const UINT ms = std::max<UINT>(rate_ms_, USER_TIMER_MINIMUM);
  if (want && (!timer_running_ || timer_ms_ != ms)) {
    // Replacing the timer of the same identifier keeps one frame per interval.
    timer_running_ = SetTimer(window_, kPreviewTimer, ms, nullptr) != 0;
    timer_ms_ = ms;
  } else if (!want && timer_running_) {
    KillTimer(window_, kPreviewTimer);
    timer_running_ = false;
  }
}

bool CaptureWindow::Grab(bool deliver) {
  if (in_frame_callback_) return false;
  const std::optional<DriverState> driver = Simulator::Get().DriverOf(window_);
  if (!driver) return false;
  if (!generator_.prepared() || generator_.format() != driver->format) {
    if (!generator_.Prepare(driver->format)) return false;
    frame_.assign(generator_.image_size(), 0);
  }
  ++frame_index_;
  SYSTEMTIME now;
  GetLocalTime(&now);
  char caption[48];
  std::snprintf(caption, sizeof caption, "#%06u %02u:%02u:%02u.%03u SIM", frame_index_,
                now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
  generator_.Render(frame_index_, caption, driver->picture, frame_.data());
  has_frame_ = true;
  frame_format_ = driver->format;

  paint_info_ = PaintInfo{};
  paint_info_.header.biSize = sizeof(BITMAPINFOHEADER);
  paint_info_.header.biWidth = frame_format_.width;
  paint_info_.header.biHeight = frame_format_.height;
  paint_info_.header.biPlanes = 1;
  paint_info_.header.biBitCount = frame_format_.bit_count;
  paint_info_.header.biCompression = BI_RGB;
  const std::vector<uint32_t>& palette = generator_.palette();
  const size_t entries = std::min<size_t>(palette.size(), 256);
  paint_info_.header.biClrUsed = static_cast<DWORD>(entries);
  std::memcpy(paint_info_.colors, palette.data(), entries * 4);
  if (preview_) InvalidateRect(window_, nullptr, FALSE);

  if (!deliver) return true;
  ++frames_delivered_;
  if (frame_callback_ == nullptr) return true;
  VIDEOHDR header{};
  header.lpData = frame_.data();
  header.dwBufferLength = static_cast<DWORD>(frame_.size());
  header.dwBytesUsed = static_cast<DWORD>(frame_.size());
  if (driver->config.faults.short_frames) header.dwBytesUsed /= 2;
  if (driver->config.faults.empty_frames) header.dwBytesUsed = 0;
  header.dwTimeCaptured = GetTickCount() - start_tick_;
  header.dwFlags = VHDR_DONE | VHDR_PREPARED | VHDR_KEYFRAME;
  in_frame_callback_ = true;
  frame_callback_(window_, &header);
  in_frame_callback_ = false;
  return true;
}

void CaptureWindow::Paint(HDC dc) {
  RECT client;
  GetClientRect(window_, &client);
  const bool live = preview_ && has_frame_ && frame_format_.compression == kBiRgbCompression &&
                    Simulator::Get().DriverOf(window_).has_value();
  const int saved = SaveDC(dc);
  if (live) {
    SetDIBitsToDevice(dc, 0, 0, frame_format_.width, frame_format_.height, 0, 0, 0,
                      frame_format_.height, frame_.data(),
                      reinterpret_cast<const BITMAPINFO*>(&paint_info_), DIB_RGB_COLORS);
    ExcludeClipRect(dc, 0, 0, frame_format_.width, frame_format_.height);
  }
  HBRUSH background = CreateSolidBrush(kBackground);
  FillRect(dc, &client, background);
  DeleteObject(background);
  RestoreDC(dc, saved);
}

LRESULT CaptureWindow::SaveDib(const std::wstring& name, std::string* detail) {
  *detail = Narrow(name.c_str());
  const std::optional<DriverState> driver = Simulator::Get().DriverOf(window_);
  if (!driver) {
    *detail += ": no driver";
    ReportError(SIMCAM_ERROR_NO_FRAME, "There is no frame to save");
    return FALSE;
  }
  // The current frame, in the driver's current format: grabbed now if there is none yet.
  if ((!has_frame_ || frame_format_ != driver->format) && !Grab(false)) {
    *detail += ": no frame";
    ReportError(SIMCAM_ERROR_NO_FRAME, "There is no frame to save");
    return FALSE;
  }
  VideoFormat reported = frame_format_;
  if (driver->config.faults.colors_over_256) reported.colors = kOversizedColorCount;
  const std::vector<uint8_t> file = BitmapFile(reported, frame_.data(), frame_.size());
  HANDLE handle = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  const bool ok = handle != INVALID_HANDLE_VALUE &&
                  WriteFile(handle, file.data(), static_cast<DWORD>(file.size()), &written,
                            nullptr) &&
                  written == file.size();
  if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  if (!ok) {
    *detail += ": not written";
    ReportError(SIMCAM_ERROR_SAVE, "The frame could not be saved to " + Narrow(name.c_str()));
    return FALSE;
  }
  *detail += ": written " + DescribeFormat(reported);
  return TRUE;
}

LRESULT CaptureWindow::Dialog(UINT message, std::string* detail) {
  const std::optional<DriverState> driver = Simulator::Get().DriverOf(window_);
  if (!driver) {
    *detail = "no driver";
    return FALSE;
  }
  const DriverConfig& config = driver->config;
  const bool exists = message == WM_CAP_DLG_VIDEOFORMAT   ? config.has_format_dialog
                      : message == WM_CAP_DLG_VIDEOSOURCE ? config.has_source_dialog
                                                          : config.has_display_dialog;
  if (!exists) {
    *detail = "no such dialog";
    return FALSE;
  }
  if (message == WM_CAP_DLG_VIDEOFORMAT) {
    VideoFormat chosen;
    if (!RunFormatDialog(window_, *driver, &chosen)) {
      *detail = "cancel";
      return TRUE;
    }
    Simulator::Get().SetFormat(window_, chosen);
    *detail = "ok " + DescribeFormat(chosen);
    return TRUE;
  }
  PictureSettings picture = driver->picture;
  const bool ok = message == WM_CAP_DLG_VIDEOSOURCE ? RunSourceDialog(window_, *driver, &picture)
                                                    : RunDisplayDialog(window_, *driver, &picture);
  if (!ok) {
    *detail = "cancel";
    return TRUE;
  }
  Simulator::Get().SetPicture(window_, picture);
  *detail = std::string("ok") + (picture.noise ? " noise" : " no-noise") +
            (picture.motion ? " motion" : " still") +
            (picture.caption ? " caption" : " no-caption");
  return TRUE;
}

LRESULT CaptureWindow::GetStatus(WPARAM size, CAPSTATUS* status) {
  if (status == nullptr) return FALSE;
  const std::optional<DriverState> driver = Simulator::Get().DriverOf(window_);
  CAPSTATUS answer{};
  if (driver) {
    answer.uiImageWidth = static_cast<UINT>(driver->format.width);
    answer.uiImageHeight = static_cast<UINT>(driver->format.height);
  }
  answer.fLiveWindow = preview_ && driver.has_value();
  answer.dwCurrentVideoFrame = frames_delivered_;
  answer.dwCurrentTimeElapsedMS = GetTickCount() - start_tick_;
  std::memcpy(status, &answer, std::min<size_t>(size, sizeof answer));
  return TRUE;
}

void CaptureWindow::ReportError(int id, const std::string& text) {
  if (error_a_ != nullptr) error_a_(window_, id, text.c_str());
  if (error_w_ != nullptr) error_w_(window_, id, Widen(text.c_str()).c_str());
}

void CaptureWindow::ReportStatus(int id, const std::string& text) {
  if (status_a_ != nullptr) status_a_(window_, id, text.c_str());
  if (status_w_ != nullptr) status_w_(window_, id, Widen(text.c_str()).c_str());
}

}  // namespace

void SetModule(HINSTANCE module) { g_module = module; }
HINSTANCE Module() { return g_module; }

bool RegisterCaptureWindowClass() {
  SimulatorLock lock(&g_class_lock);
  if (g_class != 0) return true;
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = CaptureWindow::Proc;
  window_class.cbWndExtra = sizeof(void*);
  window_class.hInstance = g_module;
  window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  window_class.lpszClassName = kClassName;
  g_class = RegisterClassExW(&window_class);
  return g_class != 0;
}

void UnregisterCaptureWindowClass() {
  SimulatorLock lock(&g_class_lock);
  if (g_class != 0) UnregisterClassW(kClassName, g_module);
  g_class = 0;
}

HWND CreateCaptureWindowW(LPCWSTR title, DWORD style, int x, int y, int width, int height,
                          HWND parent, int id) {
  if (parent == nullptr || Simulator::Get().CreateWindowFails() || !RegisterCaptureWindowClass()) {
    return nullptr;
  }
  return CreateWindowExW(0, kClassName, title, style, x, y, width, height, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), g_module, nullptr);
}

HWND CreateCaptureWindowA(LPCSTR title, DWORD style, int x, int y, int width, int height,
                          HWND parent, int id) {
  return CreateCaptureWindowW(title ? Widen(title).c_str() : nullptr, style, x, y, width, height,
                              parent, id);
}

bool IsCaptureWindow(HWND window) {
  if (window == nullptr || !IsWindow(window)) return false;
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != GetCurrentProcessId()) return false;
  wchar_t name[64];
  const int length = GetClassNameW(window, name, 64);
  return length > 0 && std::wcscmp(name, kClassName) == 0;
}

bool PushFrame(HWND window) {
  if (!IsCaptureWindow(window)) return false;
  return SendMessageW(window, kPushFrameMessage, 0, 0) != FALSE;
}

}  // namespace zu::simcam
