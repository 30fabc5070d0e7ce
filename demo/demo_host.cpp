// demo_host: the play host. A window with a play control in it, fed with frames over TCP: from a
// capture host (or the synthetic frame_sender) that it connects to, or that connects to it.
//
//   demo_host --connect HOST:PORT | --listen [HOST:]PORT | --port N
//             [--format bmp|png] [--mode clip|zoom|stretch] [--size WxH] [--seconds S]
//             [--streams N] [--queue N] [--at X,Y] [--screenshot FILE.png] [--measure-after N]
//             [--paint-every-frame]
//
// --size is the control's size. Connecting, the host runs until the sender ends its stream;
// listening, until --streams streams have ended (a sender that died is reported, and the next
// one waited for); at most S seconds either way. Then it prints what it received and showed,
// writes a screenshot of its window and checks that the control's area shows a picture.
// Exit status: 0 frames shown, 1 set-up failure, 2 bad command line, 3 no frame arrived, 4 frames
// arrived but none was taken, 5 the picture does not show.
#include <windows.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "demo/frame_presenter.h"
#include "demo/frame_receiver.h"
#include "demo/host_app.h"
#include "demo/host_options.h"
#include "demo/resource_usage.h"
#include "demo/window_capture.h"
#include "host/control_host.h"
#include "zu_video_play.h"

namespace zu {
namespace {

constexpr UINT kFramesWaiting = WM_APP + 1;
constexpr UINT_PTR kDeadlineTimer = 1;

// What the window's messages work on, made once the control is in place.
struct Session {
  FrameReceiver* receiver = nullptr;
  FramePresenter* presenter = nullptr;
  int64_t measure_after = 0;
  std::optional<ResourceUsage> before;
};

void TakeWhatArrived(Session& session) {
  PrintNotes("host", session.receiver->TakeNotes());
  session.presenter->Present(session.receiver->TakeFrames());
  if (session.measure_after > 0 && !session.before &&
      session.presenter->counts().shown >= session.measure_after) {
    session.before = MeasureResources();
  }
}

void PrintReport(const ReceiverCounts& wire, const PresenterCounts& shown, double cpu_seconds) {
  const double span = shown.last_shown - shown.first_shown;
  const double fps = shown.shown > 1 && span > 0 ? (shown.shown - 1) / span : 0.0;
  const double bytes = wire.frames ? static_cast<double>(wire.bytes) / wire.frames : 0.0;
  const uint32_t handed = shown.taken + shown.refused;
  const double intake_ms = handed ? 1000.0 * shown.intake_seconds / handed : 0.0;
  const double paint_ms = shown.paints ? 1000.0 * shown.paint_seconds / shown.paints : 0.0;
  const double median_ms = 1000.0 * shown.latencies.Median();
  const double p99_ms = 1000.0 * shown.latencies.Quantile(0.99);
  const double wire_ms = 1000.0 * shown.wire_latencies.Median();
  const double cpu_ms = wire.frames ? 1000.0 * cpu_seconds / wire.frames : 0.0;
  std::printf(
      "host: connections %u, protocol errors %u; frames received %u, taken %u, "
      "refused %u, shown %u, replaced %u, dropped %u\n",
      wire.connections, wire.protocol_errors, wire.frames, shown.taken, shown.refused, shown.shown,
      shown.replaced, wire.dropped);
  std::printf("host: %.1f frames/s shown over %.2f s, %.0f bytes/frame\n", fps, span, bytes);
  std::printf(
      "host: per frame: intake %.3f ms (RefreshFrame), paint %.3f ms (UpdateWindow), "
      "CPU %.3f ms\n",
      intake_ms, paint_ms, cpu_ms);
  std::printf(
      "host: latency capture to paint: median %.2f ms, 99th percentile %.2f ms, max %.2f ms over "
      "%zu frames; of it, capture to the frame's last byte read: median %.2f ms\n",
      median_ms, p99_ms, 1000.0 * shown.latencies.Max(), shown.latencies.count(), wire_ms);
  std::printf("host: frame format changed %u time(s) to follow the wire\n", shown.format_changes);
  std::printf("host: peak memory %.1f MB\n", PeakMegabytes());
  std::printf(
      "host: stats received=%u taken=%u refused=%u shown=%u replaced=%u dropped=%u "
      "connections=%u errors=%u fps=%.1f bytes=%.0f intake_ms=%.3f paint_ms=%.3f "
      "latency_median_ms=%.3f latency_p99_ms=%.3f wire_median_ms=%.3f cpu_ms=%.3f seconds=%.2f\n",
      wire.frames, shown.taken, shown.refused, shown.shown, shown.replaced, wire.dropped,
      wire.connections, wire.protocol_errors, fps, bytes, intake_ms, paint_ms, median_ms, p99_ms,
      wire_ms, cpu_ms, span);
}

int Run(const PlayHostOptions& options) {
  HostEnvironment environment(options.manifest);
  if (!environment.problem().empty()) {
    return std::fprintf(stderr, "host: %s\n", environment.problem().c_str()), 1;
  }
  Session session;
  session.measure_after = options.measure_after;
  auto window = HostWindow::Make(L"ZuDemoHost", L"Zu demo host: play control",
                                 FitOnScreen({options.size.width, options.size.height}), options.at,
                                 [&session](UINT message, WPARAM wparam, LPARAM) {
                                   if (message == kFramesWaiting && session.receiver) {
                                     TakeWhatArrived(session);
                                     if (session.receiver->Finished()) PostQuitMessage(0);
                                     return true;
                                   }
                                   if (message == WM_TIMER && wparam == kDeadlineTimer) {
                                     PostQuitMessage(0);
                                     return true;
                                   }
                                   return false;
                                 });
  if (!window) return std::fprintf(stderr, "host: cannot make the host window\n"), 1;
  const RECT position = window->ControlRect();

  ControlHost host(window->hwnd(), position);
  host.set_host_names(L"Zu demo host", L"Play");
  HRESULT hr = host.Create(CLSID_ZuVideoPlay);
  if (FAILED(hr)) {
    std::fprintf(stderr,
                 "host: cannot create the play control (0x%08lx): is ZuVPlay.dll registered?\n",
                 static_cast<unsigned long>(hr));
    return 1;
  }
  hr = host.Host();
  const HWND control_window = host.ControlWindow();
  if (FAILED(hr) || control_window == nullptr) {
    std::fprintf(stderr,
                 "host: the play control did not activate in place (0x%08lx, window %p): "
                 "frames can be taken but not painted\n",
                 static_cast<unsigned long>(hr), static_cast<void*>(control_window));
  }
  auto control = host.ControlAs<IZuVideoPlayCtl>();
  if (!control) return std::fprintf(stderr, "host: the control has no IZuVideoPlayCtl\n"), 1;
  control->put_FrameFormat(static_cast<VpyFrameFormat>(options.format));
  control->put_SizeMode(static_cast<VpySizeMode>(options.size_mode));

  ReceiverOptions receiver_options;
  receiver_options.peer = options.peer;
  receiver_options.queue_limit = static_cast<size_t>(options.queue);
  receiver_options.streams = static_cast<uint32_t>(options.streams);
  FrameReceiver receiver(window->hwnd(), kFramesWaiting, receiver_options);
  std::string problem;
  if (!receiver.Open(&problem)) return std::fprintf(stderr, "host: %s\n", problem.c_str()), 1;
  if (options.peer.listen) {
    std::printf("host: listening on port %u\n", receiver.port());
    std::fflush(stdout);
  }
  FramePresenter presenter(control.Get(), control_window);
  presenter.set_paint_every_frame(options.paint_every_frame);
  session.receiver = &receiver;
  session.presenter = &presenter;
  SetTimer(window->hwnd(), kDeadlineTimer, static_cast<UINT>(options.seconds * 1000), nullptr);
  const double cpu_before = ProcessCpuSeconds();
  receiver.Start();
  HostWindow::RunMessageLoop();
  receiver.Stop();
  KillTimer(window->hwnd(), kDeadlineTimer);
  TakeWhatArrived(session);
  const double cpu_seconds = ProcessCpuSeconds() - cpu_before;
  session.receiver = nullptr;

  const ReceiverCounts wire = receiver.Counts();
  const PresenterCounts& shown = presenter.counts();
  PrintReport(wire, shown, cpu_seconds);
  if (session.before) {
    std::printf("host: resources before %s\n", DescribeResources(*session.before).c_str());
    std::printf("host: resources after %s\n", DescribeResources(MeasureResources()).c_str());
  }

  // What the window shows now, the last frame painted.
  RedrawWindow(window->hwnd(), nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  const std::vector<uint8_t> picture = CaptureClientArea(window->hwnd());
  if (!options.screenshot.empty() &&
      (picture.empty() || !WritePngFile(Widen(options.screenshot), picture))) {
    std::fprintf(stderr, "host: could not write the screenshot\n");
  }
  const Coverage coverage = MeasureControlPicture(picture, position);
  std::printf("host: picture covers %.1f%% of the control in %u%s colours\n",
              100.0 * coverage.Fraction(), coverage.colours, coverage.colours >= 4096 ? "+" : "");

  int status = 0;
  if (wire.frames == 0) {
    std::fprintf(stderr, "host: FAILED: no frame arrived\n");
    status = 3;
  } else if (shown.taken == 0) {
    std::fprintf(stderr, "host: FAILED: frames arrived, but the control took none\n");
    status = 4;
  } else if (shown.shown == 0 || !PictureShows(coverage)) {
    std::fprintf(stderr, "host: FAILED: the picture does not show in the control's window\n");
    status = 5;
  }
  control.Reset();
  host.Unhost();
  return status;
}

}  // namespace
}  // namespace zu

int main(int argc, char** argv) {
  zu::PlayHostOptions options;
  const std::string problem = zu::ParsePlayHostOptions(argc, argv, &options);
  if (!problem.empty()) {
    std::fprintf(stderr, "demo_host: %s\n%s", problem.c_str(), zu::kPlayHostUsage);
    return 2;
  }
  return zu::Run(options);
}
