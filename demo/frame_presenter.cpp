#include "demo/frame_presenter.h"

#include <utility>

namespace zu {

FramePresenter::FramePresenter(IZuVideoPlayCtl* control, HWND control_window)
    : control_(control), control_window_(control_window) {
  QueryPerformanceFrequency(&frequency_);
  QueryPerformanceCounter(&start_);
}

double FramePresenter::Now() const {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart - start_.QuadPart) / static_cast<double>(frequency_.QuadPart);
}

void FramePresenter::Present(std::vector<WireFrame> frames) {
  bool pending = false;  // a taken frame waits for its paint
  for (WireFrame& frame : frames) {
    VARIANT_BOOL success = 0;
    BSTR text = frame.data.Get();
    const double before = Now();
    const HRESULT hr = control_->RefreshFrame(&text, static_cast<LONG>(frame.count), &success);
    counts_.intake_seconds += Now() - before;
    if (SUCCEEDED(hr) && success == 1) {
      if (pending) counts_.replaced++;
      counts_.taken++;
      pending = true;
    } else {
      // A refused frame leaves the control without one: nothing of the batch is left to show.
      counts_.refused++;
      if (pending) counts_.replaced++;
      pending = false;
    }
  }
  if (!pending || control_window_ == nullptr) return;
  // The control invalidated its picture; a paint is only real when there is something to paint.
  RECT update;
  if (!GetUpdateRect(control_window_, &update, FALSE)) return;
  const double before = Now();
  UpdateWindow(control_window_);
  const double after = Now();
  counts_.paint_seconds += after - before;
  counts_.paints++;
  if (counts_.shown == 0) counts_.first_shown = after;
  counts_.last_shown = after;
  counts_.shown++;
}

}  // namespace zu
