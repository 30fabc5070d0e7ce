// Routes the capture library's callbacks to the control whose capture window they name. The
// library calls plain functions with the capture window as first argument; each capture control
// enters its capture window here when its link starts and leaves when the link ends (window
// destroyed, or control released), so with several capture controls in one process each gets its
// own callbacks, and a callback for a window that no live control owns is answered FALSE.
#pragma once

#include <windows.h>

#include <vfw.h>

namespace zu {

class CaptureCallbackTarget {
 public:
  // The error and status callbacks: the number and text are the driver's.
  virtual LRESULT OnCaptureNotify(HWND capture_window, int id, const char* text) noexcept = 0;
  // One preview frame.
  virtual LRESULT OnCaptureFrame(HWND capture_window, VIDEOHDR* header) noexcept = 0;

 protected:
  ~CaptureCallbackTarget() = default;
};

// Enters or replaces the target of `capture_window`. False when the table is full.
bool RouteCaptureCallbacks(HWND capture_window, CaptureCallbackTarget* target) noexcept;
// Removes every entry of `target` (its link ended, or it is going away).
void StopCaptureCallbacks(CaptureCallbackTarget* target) noexcept;

// What the capture window is given as its callbacks.
LRESULT CALLBACK CaptureErrorCallback(HWND capture_window, int id, LPCSTR text);
LRESULT CALLBACK CaptureStatusCallback(HWND capture_window, int id, LPCSTR text);
LRESULT CALLBACK CaptureFrameCallback(HWND capture_window, LPVIDEOHDR header);

}  // namespace zu
