// zu_bench_play: the play control's cost per frame under Wine, beside a bare baseline that does
// the same work by hand, on the same machine in the same run.
//
// Per frame, the control: RefreshFrame with the frame's string and count, then one paint of its
// window (UpdateWindow). The baseline: what the intake itself costs (BMP: one allocation and a
// copy of the bytes; PNG: the codec's decode, whose block is kept as the control keeps it), then
// StretchDIBits of the same rectangle in the WM_PAINT of a bare window of the same size. Both
// draw 1:1 (SizeMode CLIP, window = frame size). Rounds alternate between the two so that a
// machine that slows down mid-run slows both; each side's median round is reported.
//
//   zu_bench_play [--rounds N]
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <wrl/client.h>

#include "codec/frame_format.h"
#include "codec/png_frame_decoder.h"
#include "demo/frame_source.h"
#include "host/control_host.h"
#include "play/zu_video_play_ctl.h"
#include "shell/com_util.h"

namespace zu {
namespace {

using Microsoft::WRL::ComPtr;

constexpr int kDistinctFrames = 8;
constexpr double kTargetRatio = 1.10;
constexpr double kTargetBmpVgaFps = 30.0;

LARGE_INTEGER Frequency() {
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  return f;
}

double Now() {
  static const LARGE_INTEGER frequency = Frequency();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0.0 : v[v.size() / 2];
}

// ---------------------------------------------------------------- the baseline window

// A bare window that draws the frame it holds with one StretchDIBits, nothing else.
struct BareView {
  FrameBlock frame;
  uint32_t rows_offset = 0;
};

LRESULT CALLBACK BareViewProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_PAINT) {
    auto* view = reinterpret_cast<BareView*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (view && view->frame) {
      const auto* info = reinterpret_cast<const BITMAPINFO*>(view->frame.get());
      const LONG w = info->bmiHeader.biWidth, h = info->bmiHeader.biHeight;
      StretchDIBits(dc, 0, 0, w, h, 0, 0, w, h, view->frame.get() + view->rows_offset, info,
                    DIB_RGB_COLORS, SRCCOPY);
    }
    EndPaint(window, &paint);
    return 0;
  }
  if (message == WM_ERASEBKGND) return 1;
  return DefWindowProcW(window, message, wparam, lparam);
}

HWND MakePopup(const wchar_t* class_name, WNDPROC proc, int width, int height) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = class_name;
  RegisterClassExW(&wc);  // a second call for the same class fails harmlessly
  HWND window = CreateWindowExW(WS_EX_TOOLWINDOW, class_name, L"zu play bench",
                                WS_POPUP | WS_CLIPCHILDREN, 0, 0, width, height, nullptr, nullptr,
                                wc.hInstance, nullptr);
  if (window) ShowWindow(window, SW_SHOWNOACTIVATE);
  return window;
}

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

// ---------------------------------------------------------------- one row

struct Row {
  int width, height;
  WireFormat format;
  int frames_per_round;
};

struct Result {
  double control_ms = 0, baseline_ms = 0;
  double bytes = 0;
  bool ok = false;
  std::string problem;
};

Result MeasureRow(const Row& row, int rounds) {
  Result result;
  const SynthFrameSource source(row.width, row.height, row.format);
  std::vector<Bstr> strings;
  std::vector<LONG> counts;
  for (int i = 0; i < kDistinctFrames; ++i) {
    const std::vector<uint8_t> bytes = source.Frame(static_cast<uint32_t>(i));
    strings.emplace_back();
    strings.back().Reset(SysAllocStringByteLen(reinterpret_cast<const char*>(bytes.data()),
                                               static_cast<UINT>(bytes.size())));
    counts.push_back(static_cast<LONG>(bytes.size()));
    result.bytes += static_cast<double>(bytes.size()) / kDistinctFrames;
  }

  // The control, hosted in place as the demo hosts it, in run mode.
  HWND host_window = MakePopup(L"ZuBenchHost", DefWindowProcW, row.width, row.height);
  BareView view;
  HWND bare = MakePopup(L"ZuBenchBare", BareViewProc, row.width, row.height);
  if (!host_window || !bare) {
    result.problem = "no window";
    return result;
  }
  SetWindowLongPtrW(bare, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&view));
  {
    ControlHost host(host_window, RECT{0, 0, row.width, row.height});
    ComPtr<IUnknown> made;
    if (FAILED(ZuVideoPlayCtl::Create(IID_PPV_ARGS(&made))) || FAILED(host.Attach(made.Get())) ||
        FAILED(host.Host()) || host.ControlWindow() == nullptr) {
      result.problem = "the control did not activate in place";
    } else {
      auto control = host.ControlAs<IZuVideoPlayCtl>();
      control->put_FrameFormat(static_cast<VpyFrameFormat>(row.format));
      control->put_SizeMode(vpySizeCLIP);
      const HWND control_window = host.ControlWindow();
      Pump();

      int next = 0;
      bool refused = false;
      auto control_frame = [&] {
        VARIANT_BOOL success = 0;
        BSTR text = strings[next].Get();
        control->RefreshFrame(&text, counts[next], &success);
        UpdateWindow(control_window);
        refused |= success != 1;
        next = (next + 1) % kDistinctFrames;
      };
      PngFrameDecoder decoder;
      auto baseline_frame = [&] {
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(strings[next].Get());
        FrameBlock frame;
        if (row.format == WireFormat::kPng) {
          int32_t length = 0;
          frame.reset(decoder.DecodeFrame(bytes, counts[next], &length));
        } else {
          frame.reset(static_cast<uint8_t*>(std::malloc(static_cast<size_t>(counts[next]))));
          if (frame) std::memcpy(frame.get(), bytes, static_cast<size_t>(counts[next]));
        }
        view.frame = std::move(frame);
        view.rows_offset = view.frame ? kBitmapHeaderSize + 4 * ColorTableEntries(ReadBitmapHeader(view.frame.get())) : 0;
        RECT picture = {0, 0, row.width, row.height};
        InvalidateRect(bare, &picture, FALSE);
        UpdateWindow(bare);
        next = (next + 1) % kDistinctFrames;
      };
      auto round = [&](auto& one_frame) {
        const double start = Now();
        for (int i = 0; i < row.frames_per_round; ++i) one_frame();
        GdiFlush();
        Pump();  // what the frames left queued (the window manager's share) counts too
        return 1000.0 * (Now() - start) / row.frames_per_round;
      };
      // Warm-up: caches, the first-frame full invalidation, the decoder's first allocation.
      for (int i = 0; i < kDistinctFrames * 2; ++i) {
        control_frame();
        baseline_frame();
      }
      std::vector<double> control_ms, baseline_ms;
      for (int r = 0; r < rounds; ++r) {
        control_ms.push_back(round(control_frame));
        baseline_ms.push_back(round(baseline_frame));
      }
      result.control_ms = Median(control_ms);
      result.baseline_ms = Median(baseline_ms);
      result.ok = !refused;
      if (refused) result.problem = "the control refused a frame";
    }
    host.Unhost();
  }
  SetWindowLongPtrW(bare, GWLP_USERDATA, 0);
  DestroyWindow(bare);
  DestroyWindow(host_window);
  Pump();
  return result;
}

double PeakMegabytes() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

int Run(int rounds) {
  if (FAILED(OleInitialize(nullptr))) return std::fprintf(stderr, "zu_bench_play: no OLE\n"), 1;
  const Row rows[] = {
      {640, 480, WireFormat::kBmp, 120},
      {1280, 720, WireFormat::kBmp, 60},
      {640, 480, WireFormat::kPng, 30},
      {1280, 720, WireFormat::kPng, 15},
  };
  std::printf("play control per frame (RefreshFrame + one paint) beside a bare baseline, %d-bit, "
              "median of %d rounds\n",
              static_cast<int>(sizeof(void*) * 8), rounds);
  std::printf("%-9s %-6s %11s %11s %12s %7s %12s %13s\n", "frame", "format", "bytes/frame",
              "control ms", "baseline ms", "ratio", "control fps", "baseline fps");
  bool targets = true, failed = false;
  for (const Row& row : rows) {
    const Result r = MeasureRow(row, rounds);
    char frame[32];
    std::snprintf(frame, sizeof frame, "%dx%d", row.width, row.height);
    const char* format = row.format == WireFormat::kPng ? "png" : "bmp";
    if (!r.ok) {
      std::printf("%-9s %-6s  failed: %s\n", frame, format, r.problem.c_str());
      failed = true;
      continue;
    }
    const double ratio = r.baseline_ms > 0 ? r.control_ms / r.baseline_ms : 0;
    const bool within = ratio <= kTargetRatio;
    std::printf("%-9s %-6s %11.0f %11.3f %12.3f %6.0f%% %12.1f %13.1f%s\n", frame, format, r.bytes,
                r.control_ms, r.baseline_ms, 100.0 * ratio, 1000.0 / r.control_ms,
                1000.0 / r.baseline_ms, within ? "" : "  (above +10%)");
    targets &= within;
    if (row.format == WireFormat::kBmp && row.width == 640 && 1000.0 / r.control_ms < kTargetBmpVgaFps) {
      std::printf("  bmp 640x480 below %.0f frames/s\n", kTargetBmpVgaFps);
      targets = false;
    }
  }
  std::printf("peak memory %.1f MB; targets (control within 10%% of baseline, bmp 640x480 above "
              "30 frames/s): %s\n",
              PeakMegabytes(), failed ? "not measured" : targets ? "met" : "missed");
  OleUninitialize();
  return failed ? 1 : 0;
}

}  // namespace
}  // namespace zu

int main(int argc, char** argv) {
  int rounds = 7;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--rounds") == 0) rounds = std::max(1, std::atoi(argv[i + 1]));
  }
  return zu::Run(rounds);
}
