// FramePresenter: hands frames from the wire to a play control and paints them, on the window's
// thread, timing both. Each frame of a batch goes to RefreshFrame (so every refused frame is seen
// and counted); one paint follows the batch (or each frame, when asked: every frame then shows,
// at the cost of a paint each), and the frame that paint shows counts as shown, with
// its latency from capture (the header's capture time) to the end of that paint, and the part of
// it spent before the frame's last byte was read (the capture host and the network). The control's
// FrameFormat follows the variant each frame's header names.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "demo/frame_receiver.h"
#include "demo/sample_stats.h"
#include "zu_video_play.h"

namespace zu {

struct PresenterCounts {
  uint32_t taken = 0;     // RefreshFrame's flag was 1
  uint32_t refused = 0;   // the flag was 0
  uint32_t shown = 0;     // taken, and a paint of the control's window followed
  uint32_t replaced = 0;  // taken, but the next frame came before a paint
  double intake_seconds = 0;  // inside RefreshFrame, all frames
  double paint_seconds = 0;   // inside UpdateWindow, all paints
  uint32_t paints = 0;
  double first_shown = 0;     // seconds on the presenter's clock
  double last_shown = 0;
  uint32_t format_changes = 0;  // FrameFormat set to follow the wire
  double latency_seconds = 0;   // capture to paint, all shown frames
  double latency_max = 0;
  Samples latencies;            // seconds, one a shown frame with a usable stamp
  Samples wire_latencies;       // of those, capture to the frame's last byte read
};

class FramePresenter {
 public:
  FramePresenter(IZuVideoPlayCtl* control, HWND control_window);

  void Present(std::vector<WireFrame> frames);
  void set_paint_every_frame(bool on) { paint_every_frame_ = on; }
  const PresenterCounts& counts() const { return counts_; }
  // Seconds since the presenter was made.
  double Now() const;

 private:
  IZuVideoPlayCtl* control_;  // not owned; outlives the presenter
  HWND control_window_;
  LARGE_INTEGER frequency_ = {};
  LARGE_INTEGER start_ = {};
  void Paint(const WireFrame& frame);

  VpyFrameFormat format_ = vpyFormatBMP;
  bool paint_every_frame_ = false;
  PresenterCounts counts_;
};

}  // namespace zu
