#include "demo/frame_presenter.h"

#include <algorithm>
#include <utility>

#include "demo/capture_clock.h"

namespace zu {

FramePresenter::FramePresenter(IZuVideoPlayCtl* control, HWND control_window)
    : control_(control), control_window_(control_window) {
  QueryPerformanceFrequency(&frequency_);
  QueryPerformanceCounter(&start_);
  control_->get_FrameFormat(&format_);
}

double FramePresenter::Now() const {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart - start_.QuadPart) / static_cast<double>(frequency_.QuadPart);
}

void FramePresenter::Present(std::vector<WireFrame> frames) {
  bool pending = false;  // a taken frame waits for its paint
  uint64_t pending_capture_us = 0;
  for (WireFrame& frame : frames) {
    const VpyFrameFormat format =
        frame.header.format == WireFormat::kPng ? vpyFormatPNG : vpyFormatBMP;
    if (format != format_ && SUCCEEDED(control_->put_FrameFormat(format))) {
      format_ = format;
      counts_.format_changes++;
    }
    VARIANT_BOOL success = 0;
    BSTR text = frame.data.Get();
    const double before = Now();
    const HRESULT hr =
        control_->RefreshFrame(&text, static_cast<LONG>(frame.header.count), &success);
    counts_.intake_seconds += Now() - before;
    if (SUCCEEDED(hr) && success == 1) {
      if (pending) counts_.replaced++;
      counts_.taken++;
      pending = true;
      pending_capture_us = frame.header.capture_us;
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
  // A stamp from a clock ahead of this one (another machine) says nothing: no latency.
  const uint64_t painted_us = CaptureClockMicros();
  if (painted_us < pending_capture_us) return;
  const double latency = (painted_us - pending_capture_us) / 1e6;
  counts_.latency_seconds += latency;
  counts_.latency_max = std::max(counts_.latency_max, latency);
  counts_.latencies.Add(latency);
}

}  // namespace zu
