// What both demo hosts need around their control: OLE and Winsock for the program's life, a
// top-level window whose client area holds the control, a look at whether the control's area
// shows a live picture, and the process's own costs.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "demo/demo_options.h"
#include "demo/picture_check.h"
#include "demo/socket.h"
#include "host/activation_context.h"

namespace zu {

// OleInitialize and WSAStartup, undone in reverse at the end of the scope.
class HostEnvironment {
 public:
  // With `manifest`, an application manifest naming the controls' assemblies: the controls are
  // then made without registration, through that manifest, for the whole run.
  explicit HostEnvironment(const std::string& manifest = {});
  ~HostEnvironment();
  HostEnvironment(const HostEnvironment&) = delete;
  HostEnvironment& operator=(const HostEnvironment&) = delete;
  // Empty when both are up, else which is missing.
  const std::string& problem() const { return problem_; }

 private:
  bool ole_ = false;
  WinsockSession winsock_;
  std::unique_ptr<ActivationContext> controls_;
  std::string problem_;
};

// The host's main window. `handler` sees every message first and returns true for those it
// handled; WM_CLOSE ends the message loop unless it handles it.
class HostWindow {
 public:
  using Handler = std::function<bool(UINT message, WPARAM wparam, LPARAM lparam)>;
  static constexpr int kMargin = 8;  // around the control

  // A window whose client area holds `control` pixels with kMargin around it, its top-left
  // corner at `at`, shown. Null when it cannot be made.
  static std::unique_ptr<HostWindow> Make(const wchar_t* class_name, const wchar_t* title,
                                          SIZE control, ScreenPoint at, Handler handler);
  ~HostWindow();
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  HWND hwnd() const { return window_; }
  // Where the control goes in the client area.
  RECT ControlRect() const {
    return {kMargin, kMargin, kMargin + control_.cx, kMargin + control_.cy};
  }
  // Runs the message loop until WM_QUIT.
  static void RunMessageLoop();

 private:
  HostWindow(SIZE control, Handler handler) : control_(control), handler_(std::move(handler)) {}
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  HWND window_ = nullptr;
  SIZE control_;
  Handler handler_;
};

// The largest control that fits on the screen with its host window around it: a control larger
// than the screen would be captured with its off-screen part missing.
SIZE FitOnScreen(SIZE control);

// How much of `control` (a control's rectangle in `window`'s client area) shows a picture, inside
// its 2-pixel sunken edge, against the button face. `shot` is CaptureClientArea(window).
Coverage MeasureControlPicture(const std::vector<uint8_t>& shot, const RECT& control);

// User and kernel time this process has used so far.
double ProcessCpuSeconds();
// The most memory the process has held at once, in megabytes.
double PeakMegabytes();

std::wstring Widen(std::string_view text);
// Prints each note as "PREFIX: note" on stderr.
void PrintNotes(const char* prefix, const std::vector<std::string>& notes);

}  // namespace zu
