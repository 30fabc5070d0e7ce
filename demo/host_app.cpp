#include "demo/host_app.h"

#include <ole2.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>

namespace zu {

HostEnvironment::HostEnvironment(const std::string& manifest) {
  ole_ = SUCCEEDED(OleInitialize(nullptr));
  if (!ole_) {
    problem_ = "no OLE";
  } else if (!winsock_.ok()) {
    problem_ = "no Winsock";
  } else if (!manifest.empty()) {
    controls_ = std::make_unique<ActivationContext>(Widen(manifest));
    if (!controls_->ok()) {
      problem_ = "cannot activate the manifest " + manifest + " (error " +
                 std::to_string(controls_->error()) + ")";
    }
  }
}

HostEnvironment::~HostEnvironment() {
  controls_.reset();
  if (ole_) OleUninitialize();
}

std::unique_ptr<HostWindow> HostWindow::Make(const wchar_t* class_name, const wchar_t* title,
                                             SIZE control, ScreenPoint at, Handler handler) {
  std::unique_ptr<HostWindow> host(new HostWindow(control, std::move(handler)));
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &HostWindow::WindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = class_name;
  if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
  RECT outer = {0, 0, control.cx + 2 * kMargin, control.cy + 2 * kMargin};
  AdjustWindowRect(&outer, style, FALSE);
  host->window_ =
      CreateWindowExW(0, class_name, title, style, at.x, at.y, outer.right - outer.left,
                      outer.bottom - outer.top, nullptr, nullptr, wc.hInstance, host.get());
  if (host->window_ == nullptr) return nullptr;
  ShowWindow(host->window_, SW_SHOWNORMAL);
  UpdateWindow(host->window_);
  return host;
}

HostWindow::~HostWindow() {
  if (window_) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
}

void HostWindow::RunMessageLoop() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

LRESULT CALLBACK HostWindow::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* creating =
        static_cast<HostWindow*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creating));
  }
  auto* host = reinterpret_cast<HostWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (host && host->handler_ && host->handler_(message, wparam, lparam)) return 0;
  if (message == WM_CLOSE) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

SIZE FitOnScreen(SIZE control) {
  return {std::min<LONG>(control.cx, GetSystemMetrics(SM_CXSCREEN) - 4 * HostWindow::kMargin),
          std::min<LONG>(control.cy, GetSystemMetrics(SM_CYSCREEN) - 8 * HostWindow::kMargin)};
}

Coverage MeasureControlPicture(const std::vector<uint8_t>& shot, const RECT& control) {
  const PixelRect inner = {control.left + 2, control.top + 2, control.right - 2,
                           control.bottom - 2};
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  const uint32_t background =
      (uint32_t{GetRValue(face)} << 16) | (uint32_t{GetGValue(face)} << 8) | GetBValue(face);
  return MeasureCoverage(shot, inner, background);
}

double ProcessCpuSeconds() {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  auto seconds = [](const FILETIME& t) {
    return static_cast<double>((uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}

double PeakMegabytes() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

std::wstring Widen(std::string_view text) {
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

void PrintNotes(const char* prefix, const std::vector<std::string>& notes) {
  for (const std::string& note : notes) std::fprintf(stderr, "%s: %s\n", prefix, note.c_str());
}

}  // namespace zu
