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
  return static_cast<double>(now.QuadPart - start_.QuadPart) /
         static_cast<double>(frequency_.QuadPart);
}

void FramePresenter::Present(std::vector<WireFrame> frames) {
  const WireFrame* pending = nullptr;  // a taken frame waits for its paint
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
    if (pending) counts_.replaced++;
    if (SUCCEEDED(hr) && success == 1) {
      counts_.taken++;
      pending = &frame;
      if (paint_every_frame_) {
        Paint(*pending);
        pending = nullptr;
      }
    } else {
      // A refused frame leaves the control without one: nothing of the batch is left to show.
      counts_.refused++;
      pending = nullptr;
    }
  }
  if (pending) Paint(*pending);
}

void FramePresenter::Paint(const WireFrame& frame) {
  if (control_window_ == nullptr) return;
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
  const uint64_t captured_us = frame.header.capture_us;
  if (painted_us < captured_us) return;
  const double latency = (painted_us - captured_us) / 1e6;
  counts_.latency_seconds += latency;
  counts_.latency_max = std::max(counts_.latency_max, latency);
  counts_.latencies.Add(latency);
  if (frame.received_us >= captured_us) {
    counts_.wire_latencies.Add((frame.received_us - captured_us) / 1e6);
  }
}

}  // namespace zu
