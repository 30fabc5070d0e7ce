// CaptureSession: one capture control placed in a window of the application, as a real container
// places it, with its frames handed to a FrameForwarder.
//
//   CaptureSession session(window, {8, 8, 652, 492}, &forwarder);
//   session.Place(control, settings);  // properties, in place in run mode, the event sink
//   session.Start();                   // a frame every CaptureElapse ms from now on
//
// The properties are set before the control goes in place, as a form's stored properties are:
// the capture link starts when the control's window is made, on the driver DeviceID names and in
// the format the properties ask for. (Set later, each of them reconnects the driver; and with
// several controls, one made without a DeviceID first tries the driver another already holds.)
//
// The event handler runs on the control's thread inside Capture or CaptureEx: it stamps the
// frame with the capture clock, copies the bytes into the forwarder's queue and returns. The
// string is the control's and is freed when the handler returns, so the copy is the only way to
// keep the frame; nothing in the handler waits for the network.
#pragma once

#include <windows.h>

#include <cstdint>

#include "demo/frame_forwarder.h"
#include "demo/sample_stats.h"
#include "host/control_host.h"
#include "zu_video_cap.h"

namespace zu {

struct CaptureSettings {
  LONG width = 640;                        // CaptureWidth (the control rounds it to 8)
  LONG height = 480;                       // CaptureHeight
  VcpBitCount bit_count = vcpBit24;        // BitCount
  VcpCaptureFormat format = vcpFormatBMP;  // CaptureFormat
  LONG elapse_ms = 33;                     // CaptureElapse
  bool ex_event = false;                   // CaptureExEvent: CaptureEx rather than Capture
  short device = -1;                       // DeviceID; -1 the first driver installed
};

struct CaptureCounts {
  uint32_t events = 0;      // frames handed to the forwarder
  uint32_t unreadable = 0;  // events whose arguments held no frame
  uint64_t bytes = 0;
  uint64_t first_us = 0;  // capture clock stamps of the first and the last frame
  uint64_t last_us = 0;
  Samples event_seconds;  // time inside the handler, per frame
};

// Where a capture control of `width` x `height` sits with its top-left corner at `origin`: the
// capture window fills it inside the control's 2-pixel sunken edge.
RECT CaptureControlRect(POINT origin, LONG width, LONG height);

class CaptureSession {
 public:
  // `forwarder` must outlive the session.
  CaptureSession(HWND window, const RECT& position, FrameForwarder* forwarder);
  ~CaptureSession();  // Remove
  CaptureSession(const CaptureSession&) = delete;
  CaptureSession& operator=(const CaptureSession&) = delete;

  // Sets the properties on `control` (made by CoCreateInstance, or any other way), places it in
  // place in run mode and connects the frame sink. The first failure is returned; the session
  // then holds nothing.
  HRESULT Place(IUnknown* control, const CaptureSettings& settings);
  HRESULT Start();
  HRESULT Stop();
  // Stop, then the control leaves the window (its capture link ends with its window). Safe to
  // call twice.
  HRESULT Remove();

  // The control's window; null before Place or after Remove.
  HWND ControlWindow() const { return host_.ControlWindow(); }
  IZuVideoCapCtl* control() const { return control_.Get(); }
  // What the control made of the settings (CaptureWidth rounded), read back after Place.
  const CaptureSettings& settings() const { return settings_; }
  const CaptureCounts& counts() const { return counts_; }

 private:
  HRESULT OnEvent(DISPID dispid, DISPPARAMS* params);
  HRESULT Configure(IZuVideoCapCtl* control, const CaptureSettings& settings);

  ControlHost host_;
  FrameForwarder* forwarder_;
  Microsoft::WRL::ComPtr<IZuVideoCapCtl> control_;
  CaptureSettings settings_;
  WireFormat format_ = WireFormat::kBmp;
  CaptureCounts counts_;
  LARGE_INTEGER frequency_ = {};
};

}  // namespace zu
