// relay_host: a small host of both controls. One window holds a capture control and a play
// control; each frame the capture control hands over in its Capture event is copied out, as a
// sending program copies it before it writes it to its connection, and handed to the play
// control, as the receiving program does with what it reads. Forward() is where the two programs
// would meet: see "From one program to another" in host-guide.md.
//
//   relay_host [bmp|png] [SECONDS]
//
// It runs until its window is closed, or for SECONDS, then says how many frames the play control
// took, and ends with 0 when it took any (2 when none).
// The controls sit in windows of the system's own control host (atl.dll, window class
// "AtlAxWin"), created by program identifier. Every call and the event go through IDispatch with
// the DISPIDs of the guide, so the program needs no header or import library of the controls:
//
//   MinGW-w64: x86_64-w64-mingw32-g++ -O2 -municode -static relay_host.cpp -o relay_host.exe
//                  -lole32 -loleaut32 -luuid
//   MSVC:      cl /EHsc /DUNICODE /D_UNICODE relay_host.cpp ole32.lib oleaut32.lib user32.lib
//
// Run it beside the DLLs of its bitness, with the DLLs registered (regsvr32), or without
// registration: copy ZuControls.manifest beside it as relay_host.exe.manifest.
#include <windows.h>

#include <ocidl.h>
#include <oleauto.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <vector>

namespace {

// From the guide's tables.
constexpr DISPID kCaptureElapse = 2, kCaptureFormat = 3, kStart = 4, kStop = 5;
constexpr DISPID kCaptureWidth = 6, kCaptureHeight = 7;
constexpr DISPID kFrameFormat = 1, kSizeMode = 2, kRefreshFrame = 3;
constexpr DISPID kCaptureEvent = 1;  // Capture(BSTR* pbstrCapData, long nCapData)
constexpr long kZoom = 1;
constexpr UINT_PTR kEndTimer = 1;

IDispatch* g_play = nullptr;
long g_frames_shown = 0;

HRESULT PutProperty(IDispatch* control, DISPID id, long value) {
  VARIANT argument;
  VariantInit(&argument);
  V_VT(&argument) = VT_I4;
  V_I4(&argument) = value;
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params = {&argument, &named, 1, 1};
  return control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr,
                         nullptr, nullptr);
}

HRESULT CallMethod(IDispatch* control, DISPID id) {
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  return control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr,
                         nullptr, nullptr);
}

// The receiving side: the bytes go back into a string of as many characters as there are bytes,
// and the count travels beside it; the control takes exactly `count` bytes from the string.
bool Show(const std::vector<unsigned char>& frame) {
  const long count = static_cast<long>(frame.size());
  BSTR text = SysAllocStringLen(nullptr, static_cast<UINT>(count));
  if (text == nullptr) return false;
  std::memcpy(text, frame.data(), frame.size());
  VARIANT arguments[2];  // in reverse order: rgvarg[1] is the first parameter
  V_VT(&arguments[1]) = VT_BSTR | VT_BYREF;
  V_BSTRREF(&arguments[1]) = &text;
  V_VT(&arguments[0]) = VT_I4;
  V_I4(&arguments[0]) = count;
  DISPPARAMS params = {arguments, nullptr, 2, 0};
  VARIANT success;
  VariantInit(&success);
  const HRESULT hr = g_play->Invoke(kRefreshFrame, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                    &params, &success, nullptr, nullptr);
  SysFreeString(text);
  // 1 when the frame was taken (not -1); 0 when the bytes are not a frame of the FrameFormat set.
  return SUCCEEDED(hr) && V_VT(&success) == VT_BOOL && V_BOOL(&success) != 0;
}

// Where a sending program writes the frame to its connection (the count first, then the bytes),
// and the receiving program reads it and calls Show. Here both ends are this program.
void Forward(const std::vector<unsigned char>& frame) {
  if (Show(frame)) ++g_frames_shown;
}

// The capture control's events, on the thread of the window that holds it. The string is the
// control's: it is freed when this call returns, so the bytes are copied out here.
class CaptureEvents final : public IDispatch {
 public:
  explicit CaptureEvents(const IID& events) : events_(events) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (riid != IID_IUnknown && riid != IID_IDispatch && riid != events_) return E_NOINTERFACE;
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&references_); }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return left;
  }
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                      UINT*) override {
    if (id != kCaptureEvent || params == nullptr || params->cArgs != 2) return S_OK;
    const VARIANT& data = params->rgvarg[1];
    const VARIANT& count = params->rgvarg[0];
    if (V_VT(&data) != (VT_BSTR | VT_BYREF) || V_VT(&count) != VT_I4 || V_I4(&count) < 0) {
      return S_OK;
    }
    const BSTR text = *V_BSTRREF(&data);
    const UINT bytes = static_cast<UINT>(V_I4(&count));
    // The count is the only length that counts; the string holds at least that many bytes.
    if (text == nullptr || bytes > SysStringByteLen(text)) return S_OK;
    const auto* first = reinterpret_cast<const unsigned char*>(text);
    Forward(std::vector<unsigned char>(first, first + bytes));
    return S_OK;
  }

 private:
  ~CaptureEvents() = default;
  IID events_;
  LONG references_ = 1;
};

using GetControl = HRESULT(WINAPI*)(HWND, IUnknown**);

// The control of that program identifier in an AtlAxWin window at (x, 8), as IDispatch.
IDispatch* PlaceControl(HWND parent, const wchar_t* progid, int x, GetControl get_control) {
  HWND window = CreateWindowExW(0, L"AtlAxWin", progid, WS_CHILD | WS_VISIBLE, x, 8, 320, 240,
                                parent, nullptr, GetModuleHandleW(nullptr), nullptr);
  IUnknown* control = nullptr;
  IDispatch* dispatch = nullptr;
  if (window && SUCCEEDED(get_control(window, &control)) && control) {
    control->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
    control->Release();
  }
  if (dispatch == nullptr) {
    std::fwprintf(stderr, L"relay_host: no %ls: registered, or its manifest beside this program?\n",
                  progid);
  }
  return dispatch;
}

// Connects a CaptureEvents sink to the control's default source interface, whose identifier the
// control itself tells.
bool AdviseEvents(IDispatch* control, DWORD* cookie, IConnectionPoint** point) {
  IProvideClassInfo2* info = nullptr;
  IID events = IID_NULL;
  if (FAILED(control->QueryInterface(IID_IProvideClassInfo2, reinterpret_cast<void**>(&info)))) {
    return false;
  }
  const HRESULT hr = info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &events);
  info->Release();
  if (FAILED(hr)) return false;
  IConnectionPointContainer* container = nullptr;
  if (FAILED(control->QueryInterface(IID_IConnectionPointContainer,
                                     reinterpret_cast<void**>(&container)))) {
    return false;
  }
  const bool found = SUCCEEDED(container->FindConnectionPoint(events, point));
  container->Release();
  if (!found) return false;
  CaptureEvents* sink = new CaptureEvents(events);
  const bool advised = SUCCEEDED((*point)->Advise(sink, cookie));
  sink->Release();
  return advised;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_TIMER && wparam == kEndTimer) {
    DestroyWindow(window);
    return 0;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const long format = argc > 1 && std::wcscmp(argv[1], L"png") == 0 ? 1 : 0;  // both ends alike
  const long seconds = argc > 2 ? std::wcstol(argv[2], nullptr, 10) : 0;
  HMODULE atl = LoadLibraryW(L"atl.dll");
  using Init = BOOL(WINAPI*)();
  auto init = atl ? reinterpret_cast<Init>(reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxWinInit")))
                  : nullptr;
  auto get_control = atl ? reinterpret_cast<GetControl>(reinterpret_cast<void*>(
                               GetProcAddress(atl, "AtlAxGetControl")))
                         : nullptr;
  if (FAILED(OleInitialize(nullptr)) || !init || !get_control || !init()) {
    std::fwprintf(stderr, L"relay_host: no OLE or no atl.dll\n");
    return 1;
  }

  WNDCLASSW wc = {};
  wc.lpfnWndProc = MainWindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = L"ZuRelayHost";
  RegisterClassW(&wc);
  HWND main = CreateWindowExW(0, wc.lpszClassName, L"relay_host: capture -> play",
                              WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                              680, 300, nullptr, nullptr, wc.hInstance, nullptr);
  IDispatch* capture = PlaceControl(main, L"ZuVCap.ZuVideoCapCtl", 8, get_control);
  g_play = PlaceControl(main, L"ZuVPlay.ZuVideoPlayCtl", 344, get_control);
  IConnectionPoint* point = nullptr;
  DWORD cookie = 0;
  int status = 1;
  if (capture && g_play && AdviseEvents(capture, &cookie, &point)) {
    PutProperty(capture, kCaptureWidth, 320);  // reconnects the driver with the new format
    PutProperty(capture, kCaptureHeight, 240);
    PutProperty(capture, kCaptureElapse, 100);  // milliseconds; the default is 3000
    PutProperty(capture, kCaptureFormat, format);
    PutProperty(g_play, kFrameFormat, format);
    PutProperty(g_play, kSizeMode, kZoom);
    CallMethod(capture, kStart);
    ShowWindow(main, SW_SHOW);
    if (seconds > 0) SetTimer(main, kEndTimer, static_cast<UINT>(seconds * 1000), nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    CallMethod(capture, kStop);
    point->Unadvise(cookie);
    std::wprintf(L"relay_host: %ld frames shown\n", g_frames_shown);
    status = g_frames_shown > 0 ? 0 : 2;
  } else if (main) {
    DestroyWindow(main);
  }
  if (point) point->Release();
  if (capture) capture->Release();
  if (g_play) g_play->Release();
  OleUninitialize();
  return status;
}
