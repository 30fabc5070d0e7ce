#include "demo/capture_session.h"

#include <olectl.h>

#include "demo/capture_clock.h"

namespace zu {
namespace {

// The events of _IZuVideoCapCtlEvents.
constexpr DISPID kCaptureEvent = 1;    // Capture(BSTR* pbstrCapData, long nCapData)
constexpr DISPID kCaptureExEvent = 2;  // CaptureEx(VARIANT vCapData, long nCapData)

constexpr LONG kEdge = 2;  // the control's sunken edge

// The frame string of either event: Capture passes the control's string by reference, CaptureEx
// a variant holding it, by reference too. Null for anything else.
BSTR FrameString(DISPID dispid, VARIANT* data) {
  if (data == nullptr) return nullptr;
  if (dispid == kCaptureEvent && V_VT(data) == (VT_BYREF | VT_BSTR) && V_BSTRREF(data)) {
    return *V_BSTRREF(data);
  }
  if (dispid == kCaptureExEvent && V_VT(data) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(data) &&
      V_VT(V_VARIANTREF(data)) == VT_BSTR) {
    return V_BSTR(V_VARIANTREF(data));
  }
  return nullptr;
}

}  // namespace

RECT CaptureControlRect(POINT origin, LONG width, LONG height) {
  return {origin.x, origin.y, origin.x + width + 2 * kEdge, origin.y + height + 2 * kEdge};
}

CaptureSession::CaptureSession(HWND window, const RECT& position, FrameForwarder* forwarder)
    : host_(window, position), forwarder_(forwarder) {
  host_.set_host_names(L"Zu capture host", L"Capture");
  QueryPerformanceFrequency(&frequency_);
}

CaptureSession::~CaptureSession() { Remove(); }

HRESULT CaptureSession::Configure(IZuVideoCapCtl* control, const CaptureSettings& settings) {
  // In this order: a braced list is evaluated from left to right.
  const HRESULT results[] = {
      control->put_DeviceID(settings.device),
      control->put_CaptureWidth(settings.width),
      control->put_CaptureHeight(settings.height),
      control->put_BitCount(settings.bit_count),
      control->put_CaptureFormat(settings.format),
      control->put_CaptureElapse(settings.elapse_ms),
      control->put_CaptureExEvent(settings.ex_event ? VARIANT_TRUE : VARIANT_FALSE),
  };
  for (const HRESULT hr : results) {
    if (FAILED(hr)) return hr;
  }
  // What the control keeps: CaptureWidth goes to a multiple of 8, BitCount to a known value.
  settings_ = settings;
  control->get_CaptureWidth(&settings_.width);
  control->get_CaptureHeight(&settings_.height);
  control->get_BitCount(&settings_.bit_count);
  control->get_CaptureFormat(&settings_.format);
  format_ = settings_.format == vcpFormatPNG ? WireFormat::kPng : WireFormat::kBmp;
  return S_OK;
}

HRESULT CaptureSession::Place(IUnknown* control, const CaptureSettings& settings) {
  if (control == nullptr) return E_POINTER;
  if (control_) return E_UNEXPECTED;
  Microsoft::WRL::ComPtr<IZuVideoCapCtl> capture;
  HRESULT hr = control->QueryInterface(IID_PPV_ARGS(&capture));
  if (SUCCEEDED(hr)) hr = host_.Attach(control);
  if (SUCCEEDED(hr)) hr = Configure(capture.Get(), settings);
  if (SUCCEEDED(hr)) hr = host_.Host();
  if (SUCCEEDED(hr)) {
    hr = host_.AdviseEvents(
        [this](DISPID dispid, DISPPARAMS* params) { return OnEvent(dispid, params); });
    // The capture control always has its event point; no point means no frames.
    if (hr == S_FALSE) hr = CONNECT_E_NOCONNECTION;
  }
  if (FAILED(hr)) {
    host_.Unhost();
    return hr;
  }
  control_ = std::move(capture);
  return S_OK;
}

HRESULT CaptureSession::Start() { return control_ ? control_->Start() : E_UNEXPECTED; }

HRESULT CaptureSession::Stop() { return control_ ? control_->Stop() : E_UNEXPECTED; }

HRESULT CaptureSession::Remove() {
  if (!control_) return S_OK;
  control_->Stop();
  control_.Reset();
  return host_.Unhost();
}

HRESULT CaptureSession::OnEvent(DISPID dispid, DISPPARAMS* params) {
  const uint64_t captured_us = CaptureClockMicros();
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  const BSTR text = FrameString(dispid, EventArgument(params, 0));
  const VARIANT* count = EventArgument(params, 1);
  const LONG bytes = count && V_VT(count) == VT_I4 ? V_I4(count) : -1;
  // The count is the frame's length; the string's storage (twice that) must hold it.
  if (text == nullptr || bytes < 0 || static_cast<UINT>(bytes) > SysStringByteLen(text)) {
    counts_.unreadable++;
    return S_OK;
  }
  WireHeader header;
  header.format = format_;
  header.count = static_cast<uint32_t>(bytes);
  header.sequence = counts_.events;
  header.capture_us = captured_us;
  forwarder_->Push(header, reinterpret_cast<const uint8_t*>(text));
  if (counts_.events++ == 0) counts_.first_us = captured_us;
  counts_.last_us = captured_us;
  counts_.bytes += static_cast<uint32_t>(bytes);
  LARGE_INTEGER end;
  QueryPerformanceCounter(&end);
  counts_.event_seconds.Add(static_cast<double>(end.QuadPart - start.QuadPart) /
                            static_cast<double>(frequency_.QuadPart));
  return S_OK;
}

}  // namespace zu
