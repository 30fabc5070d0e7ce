// FramePresenter: hands frames from the wire to a play control and paints them, on the window's
// thread, timing both. Each frame of a batch goes to RefreshFrame (so every refused frame is seen
// and counted); one paint follows the batch, and the frame that paint shows counts as shown, with
// its latency from capture (the header's capture time) to the end of that paint. The control's
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
};

class FramePresenter {
 public:
  FramePresenter(IZuVideoPlayCtl* control, HWND control_window);

  void Present(std::vector<WireFrame> frames);
  const PresenterCounts& counts() const { return counts_; }
  // Seconds since the presenter was made.
  double Now() const;

 private:
  IZuVideoPlayCtl* control_;  // not owned; outlives the presenter
  HWND control_window_;
  LARGE_INTEGER frequency_ = {};
  LARGE_INTEGER start_ = {};
  VpyFrameFormat format_ = vpyFormatBMP;
  PresenterCounts counts_;
};

}  // namespace zu
