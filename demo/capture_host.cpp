// capture_host: the capture host. A window with a capture control in it whose every frame goes
// out over TCP to a play host, which it connects to or which connects to it.
//
//   capture_host --connect HOST:PORT | --listen [HOST:]PORT
//                [--format bmp|png] [--size WxH] [--bits 1|4|8|16|24|32] [--elapse MS] [--ex]
//                [--device N] [--seconds S] [--frames N] [--queue N] [--at X,Y]
//                [--screenshot FILE.png] [--measure-after N]
//
// The control is created by class identifier (ZuVCap.dll must be registered), given CaptureWidth,
// CaptureHeight, BitCount, CaptureFormat, CaptureElapse, CaptureExEvent and DeviceID from the
// options, placed in place in run mode and started. Each Capture (or CaptureEx) event's bytes go
// out with the wire format of demo/wire_protocol.h, from a sending thread of their own: a slow or
// vanished play host costs dropped frames, never the preview. After S seconds (or N frames) it
// checks that its preview shows, stops, sends what waits, ends the stream cleanly and prints what
// it captured and sent.
//
// Exit status: 0 frames captured and sent, 1 set-up failure, 2 bad command line, 3 no frame was
// captured, 4 frames were captured but none went out, 5 the preview does not show.
#include <windows.h>

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "demo/capture_session.h"
#include "demo/frame_forwarder.h"
#include "demo/host_app.h"
#include "demo/host_options.h"
#include "demo/resource_usage.h"
#include "demo/window_capture.h"
#include "zu_video_cap.h"

namespace zu {
namespace {

constexpr UINT_PTR kTickTimer = 1;
constexpr UINT kTickMs = 50;
// How long the end of a run waits for the frames still queued to go out.
constexpr DWORD kDrainMs = 5000;

CaptureSettings SettingsOf(const CaptureHostOptions& options) {
  CaptureSettings settings;
  settings.width = options.size.width;
  settings.height = options.size.height;
  settings.bit_count = static_cast<VcpBitCount>(options.bit_count);
  settings.format = options.format == WireFormat::kPng ? vcpFormatPNG : vcpFormatBMP;
  settings.elapse_ms = static_cast<LONG>(options.elapse_ms);
  settings.ex_event = options.ex_event;
  settings.device = static_cast<short>(options.device);
  return settings;
}

// Stops the frames and lets the queue empty, so that a measurement sees no frame in flight.
void Quiesce(CaptureSession& session, FrameForwarder& forwarder) {
  session.Stop();
  const DWORD start = GetTickCount();
  while (forwarder.Counts().Waiting() != 0 && GetTickCount() - start < kDrainMs) Sleep(5);
}

// The screen around this host's window and, when it shows on the same screen, the play host's.
std::vector<uint8_t> ScreenAroundBothHosts(HWND own) {
  RECT area;
  GetWindowRect(own, &area);
  if (HWND play = FindWindowW(L"ZuDemoHost", nullptr)) {
    RECT other;
    GetWindowRect(play, &other);
    UnionRect(&area, &area, &other);
  }
  return CaptureScreenArea(area);
}

void PrintReport(const CaptureCounts& capture, const ForwarderCounts& wire, double cpu_seconds) {
  const double span = (capture.last_us - capture.first_us) / 1e6;
  const double fps = capture.events > 1 && span > 0 ? (capture.events - 1) / span : 0.0;
  const double bytes = capture.events ? static_cast<double>(capture.bytes) / capture.events : 0.0;
  const double event_ms = 1000.0 * capture.event_seconds.Mean();
  const double cpu_ms = capture.events ? 1000.0 * cpu_seconds / capture.events : 0.0;
  std::printf(
      "capture: frames captured %u, sent %u, dropped %u (queue full), lost %u (connection "
      "failed), waiting %u; connections %u, broken off %u; unreadable events %u\n",
      capture.events, wire.sent, wire.dropped, wire.lost, wire.Waiting(), wire.connections,
      wire.failures, capture.unreadable);
  std::printf("capture: %.1f frames/s captured over %.2f s, %.0f bytes/frame\n", fps, span, bytes);
  std::printf("capture: per frame: capture event %.3f ms (99th percentile %.3f ms), CPU %.3f ms\n",
              event_ms, 1000.0 * capture.event_seconds.Quantile(0.99), cpu_ms);
  std::printf("capture: peak memory %.1f MB\n", PeakMegabytes());
  std::printf(
      "capture: stats captured=%u sent=%u dropped=%u lost=%u waiting=%u unreadable=%u "
      "connections=%u failures=%u fps=%.1f bytes=%.0f event_ms=%.3f cpu_ms=%.3f "
      "seconds=%.2f\n",
      capture.events, wire.sent, wire.dropped, wire.lost, wire.Waiting(), capture.unreadable,
      wire.connections, wire.failures, fps, bytes, event_ms, cpu_ms, span);
}

int Run(const CaptureHostOptions& options) {
  HostEnvironment environment(options.manifest);
  if (!environment.problem().empty()) {
    return std::fprintf(stderr, "capture: %s\n", environment.problem().c_str()), 1;
  }
  CaptureSettings settings = SettingsOf(options);
  // The control keeps CaptureWidth to a multiple of 8; the window is made for what it keeps.
  settings.width = settings.width / 8 * 8;

  ForwarderOptions forwarder_options;
  forwarder_options.peer = options.peer;
  forwarder_options.queue_limit = static_cast<size_t>(options.queue);
  FrameForwarder forwarder(forwarder_options);
  std::string problem;
  if (!forwarder.Start(&problem)) return std::fprintf(stderr, "capture: %s\n", problem.c_str()), 1;
  std::printf("capture: %s\n", forwarder.Describe().c_str());
  if (options.peer.listen) std::printf("capture: listening on port %u\n", forwarder.port());
  std::fflush(stdout);

  // Set once the control is in place: what each tick of the timer looks at.
  std::function<void()> tick;
  auto window = HostWindow::Make(L"ZuCaptureHost", L"Zu capture host: capture control",
                                 FitOnScreen(SIZE{settings.width + 4, settings.height + 4}),
                                 options.at, [&tick](UINT message, WPARAM wparam, LPARAM) {
                                   if (message != WM_TIMER || wparam != kTickTimer) return false;
                                   if (tick) tick();
                                   return true;
                                 });
  if (!window) return std::fprintf(stderr, "capture: cannot make the host window\n"), 1;

  const RECT position = window->ControlRect();
  CaptureSession session(window->hwnd(), position, &forwarder);
  Microsoft::WRL::ComPtr<IUnknown> control;
  HRESULT hr =
      CoCreateInstance(CLSID_ZuVideoCapture, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&control));
  if (FAILED(hr)) {
    std::fprintf(stderr,
                 "capture: cannot create the capture control (0x%08lx): is ZuVCap.dll "
                 "registered?\n",
                 static_cast<unsigned long>(hr));
    return 1;
  }
  hr = session.Place(control.Get(), settings);
  control.Reset();
  if (FAILED(hr)) {
    std::fprintf(stderr, "capture: cannot place the capture control (0x%08lx)\n",
                 static_cast<unsigned long>(hr));
    return 1;
  }
  const CaptureSettings& kept = session.settings();
  constexpr int kBitsOf[] = {1, 4, 8, 16, 24, 32};  // by VcpBitCount
  const int bits =
      kept.bit_count >= vcpBit1 && kept.bit_count <= vcpBit32 ? kBitsOf[kept.bit_count] : 0;
  std::printf("capture: %ldx%ld at %d bits, %s, CaptureElapse %ld ms, %s events, DeviceID %d\n",
              static_cast<long>(kept.width), static_cast<long>(kept.height), bits,
              kept.format == vcpFormatPNG ? "PNG" : "BMP", static_cast<long>(kept.elapse_ms),
              kept.ex_event ? "CaptureEx" : "Capture", kept.device);
  std::fflush(stdout);

  std::optional<ResourceUsage> before;
  const double cpu_before = ProcessCpuSeconds();
  const DWORD start = GetTickCount();
  tick = [&] {
    PrintNotes("capture", forwarder.TakeNotes());
    const uint32_t captured = session.counts().events;
    if (options.measure_after > 0 && !before && captured >= options.measure_after) {
      // The same look at the preview as at the end, so that what it leaves in the system's
      // caches (a window's device context) is there at both measurements.
      MeasureControlPicture(CaptureClientArea(window->hwnd()), position);
      Quiesce(session, forwarder);
      before = MeasureResources();
      session.Start();
    }
    if ((options.frames > 0 && captured >= options.frames) ||
        GetTickCount() - start >= static_cast<DWORD>(options.seconds * 1000)) {
      PostQuitMessage(0);
    }
  };
  session.Start();
  SetTimer(window->hwnd(), kTickTimer, kTickMs, nullptr);
  HostWindow::RunMessageLoop();
  KillTimer(window->hwnd(), kTickTimer);
  tick = nullptr;

  // While the frames still stream: the preview, and the play host's picture beside it.
  const std::vector<uint8_t> own = CaptureClientArea(window->hwnd());
  const Coverage coverage = MeasureControlPicture(own, position);
  if (!options.screenshot.empty()) {
    const std::vector<uint8_t> both = ScreenAroundBothHosts(window->hwnd());
    if (both.empty() || !WritePngFile(Widen(options.screenshot), both)) {
      std::fprintf(stderr, "capture: could not write the screenshot\n");
    }
  }
  Quiesce(session, forwarder);
  std::optional<ResourceUsage> after;
  if (before) after = MeasureResources();
  const bool clean = forwarder.Finish(kDrainMs);
  const double cpu_seconds = ProcessCpuSeconds() - cpu_before;
  PrintNotes("capture", forwarder.TakeNotes());
  if (!clean) std::fprintf(stderr, "capture: the stream did not end cleanly\n");

  const CaptureCounts& counts = session.counts();
  const ForwarderCounts wire = forwarder.Counts();
  PrintReport(counts, wire, cpu_seconds);
  if (before) {
    std::printf("capture: resources before %s\n", DescribeResources(*before).c_str());
    std::printf("capture: resources after %s\n", DescribeResources(*after).c_str());
  }
  std::printf("capture: preview covers %.1f%% of the control in %u%s colours\n",
              100.0 * coverage.Fraction(), coverage.colours, coverage.colours >= 4096 ? "+" : "");
  session.Remove();

  if (counts.events == 0) {
    std::fprintf(stderr, "capture: FAILED: no frame was captured\n");
    return 3;
  }
  if (wire.sent == 0) {
    std::fprintf(stderr, "capture: FAILED: frames were captured, but none went out\n");
    return 4;
  }
  if (!PictureShows(coverage)) {
    std::fprintf(stderr, "capture: FAILED: the preview does not show in the control's window\n");
    return 5;
  }
  return 0;
}

}  // namespace
}  // namespace zu

int main(int argc, char** argv) {
  zu::CaptureHostOptions options;
  std::string problem = zu::ParseCaptureHostOptions(argc, argv, &options);
  if (problem.empty() && options.size.width < 8) problem = "--size: CaptureWidth is at least 8";
  if (!problem.empty()) {
    std::fprintf(stderr, "capture_host: %s\n%s", problem.c_str(), zu::kCaptureHostUsage);
    return 2;
  }
  return zu::Run(options);
}
