// What the capture control's tests share: a control on the simulated camera with the modal
// watcher answering its message boxes, a parent window for its control window, a property sink
// and a frame sink that copies what each event hands it.
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "capture/zu_video_cap_ctl.h"
#include "simcam/simcam_control.h"
#include "tests/shell/fake_sinks.h"
#include "tests/support/modal_watcher.h"
#include "tests/support/text.h"

namespace zu::test {

// One event as a sink saw it: its DISPID, the argument types (first declared parameter first),
// the count and the bytes the string held.
struct CapturedEvent {
  DISPID member = 0;
  VARTYPE data_type = VT_EMPTY;
  VARTYPE inner_type = VT_EMPTY;  // CaptureEx: the type of the variant referred to
  LONG count = 0;
  UINT string_chars = 0;
  std::vector<uint8_t> bytes;     // the first `count` bytes of the string
  std::vector<uint8_t> tail;      // the string's second half
};

// An event sink that copies every frame during the call, as a host must. With `on_event`, runs
// it inside the call after copying (to stop the control, release it, ...).
class FrameSink final : public StackObject<IDispatch> {
 public:
  FrameSink() : StackObject(IID_IDispatch) {}
  STDMETHODIMP GetTypeInfoCount(UINT* count) override { return *count = 0, S_OK; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                      EXCEPINFO*, UINT*) override;

  std::vector<CapturedEvent> events;
  HRESULT answer = S_OK;  // what Invoke returns
  void (*on_event)(void* context) = nullptr;
  void* context = nullptr;
};

// A capture control and what it needs: COM, a message-box watcher, the simulator configured with
// `text`, a visible parent window. The control window is made by MakeWindow (the link starts).
class CaptureFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Applies a simulator configuration; fails the test when the text is refused.
  void Configure(const std::string& text);
  // The control's window in the parent, `width` by `height`; the capture link starts here.
  HWND MakeWindow(int width = 200, int height = 160);
  void DestroyWindowOfControl() { self_->DestroyControlWindow(); }
  // Advises `sink` on the control's event connection point.
  DWORD AdviseEvents(IUnknown* sink);
  // Advises `sink` on the property-notification point of `control` (by default control_).
  DWORD AdvisePropertySink(IUnknown* sink, IUnknown* control = nullptr);
  // The messages the capture window received, in order.
  std::vector<UINT> CaptureMessages() const;
  // The message boxes shown so far, as "caption: text".
  std::vector<std::string> MessageBoxes();

  Microsoft::WRL::ComPtr<IZuVideoCapCtl> control_;
  ZuVideoCapCtl* self_ = nullptr;
  simcam::SimCamApi simcam_;
  HWND parent_ = nullptr;
  std::unique_ptr<ModalWatcher> watcher_;
};

// The English or the Japanese text, by the user locale the run was started under.
std::string Expected(const char* english, const char* japanese);

}  // namespace zu::test
