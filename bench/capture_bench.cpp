// zu_bench_capture: the capture control's cost per frame under Wine, beside a bare baseline that
// does the same work by hand, on the same machine in the same run.
//
// Both sides are capture windows of the simulated camera, each on a driver of its own, and each
// frame is pushed through the window's frame callback (SimCamPushFrame), so both pay the same
// frame generation. The control's callback: OnCaptureFrame with one event sink that copies the
// bytes. The baseline's callback: the format query, the frame buffer copy, the string allocation
// and copy (for PNG the codec's encode first), one Invoke on the same kind of sink. Rounds
// alternate between the two; each side's median round is reported. Then what paces a live
// preview before any host work: a bare window timer, and the simulator's preview alone.
//
//   zu_bench_capture [--rounds N]   (needs the simulator as avicap32.dll beside it)
#include <windows.h>

#include <psapi.h>
#include <vfw.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <wrl/client.h>

#include "capture/zu_video_cap_ctl.h"
#include "codec/png_frame_encoder.h"
#include "simcam/simcam_control.h"

namespace zu {
namespace {

using Microsoft::WRL::ComPtr;

constexpr double kTargetRatio = 1.10;
constexpr int kFramesPerRound = 10;

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0.0 : v[v.size() / 2];
}

// What a host does with a frame: copies the bytes out during the event.
class CopyingSink final : public IDispatch {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
      *out = static_cast<IDispatch*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP GetTypeInfoCount(UINT* count) override { return *count = 0, S_OK; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                      UINT*) override {
    const VARIANT& data = params->rgvarg[1];
    const LONG count = params->rgvarg[0].lVal;
    if (V_VT(&data) == (VT_BYREF | VT_BSTR) && count > 0) {
      const auto* bytes = reinterpret_cast<const uint8_t*>(*data.pbstrVal);
      copy.assign(bytes, bytes + count);
    }
    ++frames;
    return S_OK;
  }
  std::vector<uint8_t> copy;
  long frames = 0;
};

// ---------------------------------------------------------------- the bare baseline

CopyingSink g_bare_sink;
bool g_bare_png = false;

LRESULT CALLBACK BareFrame(HWND window, LPVIDEOHDR header) {
  if (header->dwBytesUsed == 0) return TRUE;
  std::unique_ptr<uint8_t, FreeDeleter> query(static_cast<uint8_t*>(std::calloc(1, 1064)));
  SendMessageA(window, WM_CAP_GET_VIDEOFORMAT, 1064, reinterpret_cast<LPARAM>(query.get()));
  const uint32_t head = 40;  // 24-bit frames: no colour table
  const uint32_t size = head + header->dwBytesUsed;
  std::unique_ptr<uint8_t, FreeDeleter> frame(static_cast<uint8_t*>(std::malloc(size)));
  std::memcpy(frame.get(), query.get(), head);
  std::memcpy(frame.get() + head, header->lpData, header->dwBytesUsed);
  const uint8_t* bytes = frame.get();
  uint32_t count = size;
  std::unique_ptr<uint8_t, FreeDeleter> stream;
  if (g_bare_png) {
    PngFrameEncoder encoder;
    int32_t length = 0;
    stream.reset(encoder.EncodeFrame(frame.get(), static_cast<int32_t>(size), &length));
    bytes = stream.get();
    count = static_cast<uint32_t>(length);
  }
  BSTR text = SysAllocStringLen(nullptr, count);
  std::memcpy(text, bytes, count);
  std::memset(reinterpret_cast<uint8_t*>(text) + count, 0, count);
  VARIANT arguments[2];
  arguments[1].vt = VT_BYREF | VT_BSTR;
  arguments[1].pbstrVal = &text;
  arguments[0].vt = VT_I4;
  arguments[0].lVal = static_cast<LONG>(count);
  DISPPARAMS params = {arguments, nullptr, 2, 0};
  g_bare_sink.Invoke(1, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr,
                     nullptr);
  SysFreeString(text);
  return TRUE;
}

// ---------------------------------------------------------------- one row

struct Row {
  int width, height;
  VcpCaptureFormat format;
};

bool RunRow(const simcam::SimCamApi& simcam, HWND parent, const Row& row, int rounds) {
  char config[128];
  std::snprintf(config, sizeof config, "driver 0 format=%dx%dx24; driver 1 format=%dx%dx24",
                row.width, row.height, row.width, row.height);
  simcam.reset();
  if (!simcam.Configure(config)) return false;

  ComPtr<IZuVideoCapCtl> control;
  if (FAILED(CreateComObject<ZuVideoCapCtl>(nullptr, IID_PPV_ARGS(&control)))) return false;
  auto* self = static_cast<ZuVideoCapCtl*>(control.Get());
  control->put_DeviceID(0);
  control->put_EnableSystemDriverSetting(1);
  control->put_CaptureFormat(row.format);
  if (!self->CreateControlWindow(parent, RECT{0, 0, 64, 48}) || !self->CaptureWindowHandle()) {
    return false;
  }
  CopyingSink sink;
  ComPtr<IConnectionPointContainer> container;
  ComPtr<IConnectionPoint> point;
  DWORD cookie = 0;
  control.As(&container);
  container->FindConnectionPoint(DIID__IZuVideoCapCtlEvents, &point);
  point->Advise(&sink, &cookie);

  HWND bare = capCreateCaptureWindowA("bare", WS_CHILD, 0, 0, 64, 48, parent, 2);
  SendMessageA(bare, WM_CAP_SET_CALLBACK_FRAME, 0, reinterpret_cast<LPARAM>(&BareFrame));
  SendMessageA(bare, WM_CAP_DRIVER_CONNECT, 1, 0);
  g_bare_png = row.format == vcpFormatPNG;

  std::vector<double> control_rounds, bare_rounds;
  for (int round = 0; round < rounds; ++round) {
    double start = Now();
    for (int i = 0; i < kFramesPerRound; ++i) simcam.push_frame(self->CaptureWindowHandle());
    control_rounds.push_back((Now() - start) / kFramesPerRound);
    start = Now();
    for (int i = 0; i < kFramesPerRound; ++i) simcam.push_frame(bare);
    bare_rounds.push_back((Now() - start) / kFramesPerRound);
  }
  const double ours = Median(control_rounds) * 1000.0;
  const double theirs = Median(bare_rounds) * 1000.0;
  const double ratio = theirs > 0 ? ours / theirs : 0;
  std::printf("| %dx%d | %s | %.3f | %.3f | %.3f | %.0f | %zu |%s\n", row.width, row.height,
              row.format == vcpFormatPNG ? "PNG" : "BMP", ours, theirs, ratio,
              ours > 0 ? 1000.0 / ours : 0.0, sink.copy.size(),
              ratio > kTargetRatio ? " over target" : "");
  point->Unadvise(cookie);
  self->DestroyControlWindow();
  SendMessageA(bare, WM_CAP_DRIVER_DISCONNECT, 0, 0);
  DestroyWindow(bare);
  return sink.frames > 0 && g_bare_sink.frames > 0;
}

// ---------------------------------------------------------------- what paces a preview

long g_paced_frames = 0;

LRESULT CALLBACK CountFrame(HWND, LPVIDEOHDR) {
  ++g_paced_frames;
  return TRUE;
}

LRESULT CALLBACK CountTimer(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_TIMER) ++g_paced_frames;
  return DefWindowProcW(window, message, wparam, lparam);
}

// Frames a second for `seconds`, with the messages pumped as a host's loop does.
double Paced(double seconds) {
  g_paced_frames = 0;
  const double start = Now();
  while (Now() - start < seconds) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  return g_paced_frames / (Now() - start);
}

// The rate a preview can reach before any host work: a bare window timer at the interval, then
// the simulated camera's preview at each size with a frame callback that does nothing (its own
// frame generation and preview paint only).
void PacingRows(const simcam::SimCamApi& simcam, HWND parent) {
  constexpr double kSeconds = 2.0;
  std::printf("\nwhat paces a preview (%s, %.0f s each): frames/s reached\n",
              sizeof(void*) == 8 ? "64-bit" : "32-bit", kSeconds);
  std::printf("| source | interval ms | frames/s | ms a frame |\n|---|---|---|---|\n");
  WNDCLASSW wc = {};
  wc.lpfnWndProc = CountTimer;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"ZuBenchTimer";
  RegisterClassW(&wc);
  HWND timer_window = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 1, 1, nullptr, nullptr,
                                    wc.hInstance, nullptr);
  for (const UINT interval : {33u, 16u}) {
    SetTimer(timer_window, 1, interval, nullptr);
    const double rate = Paced(kSeconds);
    KillTimer(timer_window, 1);
    std::printf("| SetTimer alone | %u | %.1f | %.2f |\n", interval, rate, rate > 0 ? 1000 / rate : 0);
  }
  DestroyWindow(timer_window);
  // Shown, so that the preview paints as it does in a host.
  SetWindowPos(parent, nullptr, 0, 0, 1320, 780, SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  const int sizes[][2] = {{320, 240}, {640, 480}, {1280, 720}};
  for (const auto& size : sizes) {
    char config[64];
    std::snprintf(config, sizeof config, "driver 0 format=%dx%dx24; log 0", size[0], size[1]);
    simcam.reset();
    if (!simcam.Configure(config)) continue;
    HWND preview = capCreateCaptureWindowA("paced", WS_CHILD | WS_VISIBLE, 0, 0, size[0], size[1],
                                           parent, 3);
    SendMessageA(preview, WM_CAP_SET_CALLBACK_FRAME, 0, reinterpret_cast<LPARAM>(&CountFrame));
    SendMessageA(preview, WM_CAP_DRIVER_CONNECT, 0, 0);
    for (const UINT interval : {33u, 16u}) {
      SendMessageA(preview, WM_CAP_SET_PREVIEWRATE, interval, 0);
      SendMessageA(preview, WM_CAP_SET_PREVIEW, TRUE, 0);
      const double rate = Paced(kSeconds);
      SendMessageA(preview, WM_CAP_SET_PREVIEW, FALSE, 0);
      std::printf("| simulated camera %dx%d, empty callback | %u | %.1f | %.2f |\n", size[0],
                  size[1], interval, rate, rate > 0 ? 1000 / rate : 0);
    }
    SendMessageA(preview, WM_CAP_DRIVER_DISCONNECT, 0, 0);
    DestroyWindow(preview);
  }
}

}  // namespace
}  // namespace zu

int main(int argc, char** argv) {
  int rounds = 15;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--rounds") == 0) rounds = std::max(1, std::atoi(argv[i + 1]));
  }
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  zu::simcam::SimCamApi simcam;
  if (!simcam.Bind()) {
    std::fprintf(stderr, "zu_bench_capture: avicap32.dll is not the simulated camera\n");
    return 1;
  }
  HWND parent = CreateWindowExW(0, L"STATIC", L"capture bench", WS_OVERLAPPEDWINDOW, 0, 0, 200,
                                200, nullptr, nullptr, nullptr, nullptr);
  std::printf("capture control per frame (%s, %d rounds of %d frames, median), 24 bits\n",
              sizeof(void*) == 8 ? "64-bit" : "32-bit", rounds, zu::kFramesPerRound);
  std::printf("| size | format | control ms | bare ms | ratio | frames/s | bytes |\n");
  std::printf("|---|---|---|---|---|---|---|\n");
  bool ok = true;
  const zu::Row rows[] = {{640, 480, vcpFormatBMP}, {640, 480, vcpFormatPNG},
                          {1280, 720, vcpFormatBMP}, {1280, 720, vcpFormatPNG}};
  for (const zu::Row& row : rows) ok = zu::RunRow(simcam, parent, row, rounds) && ok;
  zu::PacingRows(simcam, parent);
  PROCESS_MEMORY_COUNTERS memory = {};
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
  std::printf("peak memory: working set %.1f MB, private %.1f MB\n",
              memory.PeakWorkingSetSize / 1048576.0, memory.PeakPagefileUsage / 1048576.0);
  DestroyWindow(parent);
  CoUninitialize();
  return ok ? 0 : 1;
}
