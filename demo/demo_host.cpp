// demo_host: a window with a play control in it, fed with frames from a sender on loopback.
//
//   demo_host --port N [--format bmp|png] [--mode clip|zoom|stretch] [--size WxH]
//             [--seconds S] [--screenshot FILE.png] [--manifest ZuControls.manifest]
//
// --size is the control's size (the sender's frame size fits it exactly). The host runs until the
// sender ends its stream or S seconds have passed, then prints what it received and showed,
// writes a screenshot of its window and checks that the control's area shows a picture.
// Exit status: 0 frames shown, 1 set-up failure, 3 no frame arrived, 4 frames arrived but none
// was taken, 5 the picture does not show.
//
// --manifest makes the play control without registration: the host activates the application
// manifest given (which names the controls' assemblies, found in its folder) for its whole run.
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "demo/demo_options.h"
#include "demo/frame_presenter.h"
#include "demo/frame_receiver.h"
#include "demo/picture_check.h"
#include "demo/socket.h"
#include "demo/window_capture.h"
#include "host/activation_context.h"
#include "host/control_host.h"
#include "zu_video_play.h"

namespace zu {
namespace {

constexpr UINT kFramesWaiting = WM_APP + 1;
constexpr UINT_PTR kDeadlineTimer = 1;
constexpr int kMargin = 8;  // host window around the control

struct HostOptions {
  uint16_t port = 0;
  WireFormat format = WireFormat::kBmp;
  int32_t size_mode = 0;
  FrameSize size = {640, 480};
  int64_t seconds = 10;
  std::wstring screenshot;
  std::wstring manifest;  // empty: the controls are registered
};

int Usage(const char* problem) {
  std::fprintf(stderr, "demo_host: %s\n", problem);
  std::fprintf(stderr,
               "usage: demo_host --port N [--format bmp|png] [--mode clip|zoom|stretch]\n"
               "       [--size WxH] [--seconds S] [--screenshot FILE.png] [--manifest FILE]\n");
  return 2;
}

// The window's thread state; the window procedure reaches it through the window.
struct Session {
  FrameReceiver* receiver = nullptr;
  FramePresenter* presenter = nullptr;
};

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* session = reinterpret_cast<Session*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case kFramesWaiting:
      if (session && session->receiver) {
        for (const std::string& note : session->receiver->TakeNotes()) {
          std::fprintf(stderr, "host: %s\n", note.c_str());
        }
        if (session->presenter) session->presenter->Present(session->receiver->TakeFrames());
        if (session->receiver->Finished()) PostQuitMessage(0);
      }
      return 0;
    case WM_TIMER:
      if (wparam == kDeadlineTimer) PostQuitMessage(0);
      return 0;
    case WM_CLOSE:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

HWND MakeHostWindow(const FrameSize& control) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = HostWindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = L"ZuDemoHost";
  if (!RegisterClassExW(&wc)) return nullptr;
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
  RECT outer = {0, 0, control.width + 2 * kMargin, control.height + 2 * kMargin};
  AdjustWindowRect(&outer, style, FALSE);
  HWND window = CreateWindowExW(0, wc.lpszClassName, L"Zu demo host: play control", style, 0, 0,
                                outer.right - outer.left, outer.bottom - outer.top, nullptr,
                                nullptr, wc.hInstance, nullptr);
  if (window) {
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
  }
  return window;
}

double PeakMegabytes() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

int Run(const HostOptions& options) {
  if (FAILED(OleInitialize(nullptr))) return std::fprintf(stderr, "host: no OLE\n"), 1;
  struct OleScope {
    ~OleScope() { OleUninitialize(); }
  } ole_scope;
  WinsockSession winsock;
  if (!winsock.ok()) return std::fprintf(stderr, "host: no Winsock\n"), 1;
  std::unique_ptr<ActivationContext> controls;
  if (!options.manifest.empty()) {
    controls = std::make_unique<ActivationContext>(options.manifest);
    if (!controls->ok()) {
      std::fprintf(stderr, "host: cannot activate the manifest (error %lu)\n", controls->error());
      return 1;
    }
  }

  // A control larger than the screen would be captured with its off-screen part missing.
  const FrameSize view = {
      std::min(options.size.width, GetSystemMetrics(SM_CXSCREEN) - 4 * kMargin),
      std::min(options.size.height, GetSystemMetrics(SM_CYSCREEN) - 8 * kMargin)};
  HWND window = MakeHostWindow(view);
  if (window == nullptr) return std::fprintf(stderr, "host: cannot make the host window\n"), 1;
  const RECT position = {kMargin, kMargin, kMargin + view.width, kMargin + view.height};
  int status = 0;
  {
    ControlHost host(window, position);
    host.set_host_names(L"Zu demo host", L"Play");
    HRESULT hr = host.Create(CLSID_ZuVideoPlay);
    if (FAILED(hr)) {
      std::fprintf(stderr, "host: cannot create the play control (0x%08lx): %s\n",
                   static_cast<unsigned long>(hr),
                   controls ? "are ZuVPlay.dll and its manifest beside the manifest given?"
                            : "is ZuVPlay.dll registered?");
      DestroyWindow(window);
      return 1;
    }
    hr = host.Host();
    const HWND control_window = host.ControlWindow();
    if (FAILED(hr) || control_window == nullptr) {
      std::fprintf(stderr, "host: the play control did not activate in place (0x%08lx, window %p): "
                   "frames can be taken but not painted\n",
                   static_cast<unsigned long>(hr), static_cast<void*>(control_window));
    }
    auto control = host.ControlAs<IZuVideoPlayCtl>();
    if (!control) {
      std::fprintf(stderr, "host: the control has no IZuVideoPlayCtl\n");
      DestroyWindow(window);
      return 1;
    }
    control->put_FrameFormat(static_cast<VpyFrameFormat>(options.format));
    control->put_SizeMode(static_cast<VpySizeMode>(options.size_mode));

    ReceiverOptions receiver_options;
    receiver_options.port = options.port;
    FrameReceiver receiver(window, kFramesWaiting, receiver_options);
    FramePresenter presenter(control.Get(), control_window);
    Session session{&receiver, &presenter};
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&session));
    SetTimer(window, kDeadlineTimer, static_cast<UINT>(options.seconds * 1000), nullptr);
    receiver.Start();

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    receiver.Stop();
    KillTimer(window, kDeadlineTimer);
    for (const std::string& note : receiver.TakeNotes()) std::fprintf(stderr, "host: %s\n", note.c_str());
    presenter.Present(receiver.TakeFrames());

    const ReceiverCounts wire = receiver.Counts();
    const PresenterCounts& shown = presenter.counts();
    const double span = shown.last_shown - shown.first_shown;
    std::printf("host: connections %u, protocol errors %u; frames received %u, taken %u, "
                "refused %u, shown %u, replaced %u, dropped %u\n",
                wire.connections, wire.protocol_errors, wire.frames, shown.taken, shown.refused,
                shown.shown, shown.replaced, wire.dropped);
    std::printf("host: %.1f frames/s shown over %.2f s, %.0f bytes/frame\n",
                shown.shown > 1 && span > 0 ? (shown.shown - 1) / span : 0.0, span,
                wire.frames ? static_cast<double>(wire.bytes) / wire.frames : 0.0);
    std::printf("host: per frame: intake %.3f ms (RefreshFrame), paint %.3f ms (UpdateWindow)\n",
                shown.taken + shown.refused
                    ? 1000.0 * shown.intake_seconds / (shown.taken + shown.refused)
                    : 0.0,
                shown.paints ? 1000.0 * shown.paint_seconds / shown.paints : 0.0);
    std::printf("host: latency capture to paint: mean %.1f ms, max %.1f ms; frame format "
                "changed %u time(s) to follow the wire\n",
                shown.shown ? 1000.0 * shown.latency_seconds / shown.shown : 0.0,
                1000.0 * shown.latency_max, shown.format_changes);
    std::printf("host: peak memory %.1f MB\n", PeakMegabytes());

    // What the window shows now, the last frame painted.
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    const std::vector<uint8_t> picture = CaptureClientArea(window);
    if (!options.screenshot.empty()) {
      if (picture.empty() || !WritePngFile(options.screenshot, picture)) {
        std::fprintf(stderr, "host: could not write the screenshot\n");
      }
    }
    // Inside the control's sunken edge.
    const PixelRect inner = {position.left + 2, position.top + 2, position.right - 2,
                             position.bottom - 2};
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const uint32_t background = (uint32_t{GetRValue(face)} << 16) | (uint32_t{GetGValue(face)} << 8) |
                                GetBValue(face);
    const Coverage coverage = MeasureCoverage(picture, inner, background);
    std::printf("host: picture covers %.1f%% of the control in %u%s colours\n",
                100.0 * coverage.Fraction(), coverage.colours,
                coverage.colours >= 4096 ? "+" : "");

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
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    control.Reset();
    host.Unhost();
  }
  DestroyWindow(window);
  return status;
}

std::wstring Widen(std::string_view text) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

}  // namespace
}  // namespace zu

int main(int argc, char** argv) {
  using namespace zu;
  HostOptions options;
  bool have_port = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view name = argv[i];
    if (i + 1 >= argc) return Usage(("missing value for " + std::string(name)).c_str());
    const std::string_view value = argv[++i];
    bool ok = true;
    if (name == "--port") {
      ok = StoreOption(ParseNumber(value, 1, 65535), &options.port);
      have_port = ok;
    } else if (name == "--format") {
      ok = StoreOption(ParseWireFormat(value), &options.format);
    } else if (name == "--mode") {
      ok = StoreOption(ParseSizeMode(value), &options.size_mode);
    } else if (name == "--size") {
      ok = StoreOption(ParseFrameSize(value), &options.size);
    } else if (name == "--seconds") {
      ok = StoreOption(ParseNumber(value, 1, 3600), &options.seconds);
    } else if (name == "--screenshot") {
      options.screenshot = Widen(value);
    } else if (name == "--manifest") {
      options.manifest = Widen(value);
    } else {
      return Usage(("unknown option " + std::string(name)).c_str());
    }
    if (!ok) return Usage(("bad value for " + std::string(name)).c_str());
  }
  if (!have_port) return Usage("--port is required");
  return Run(options);
}
