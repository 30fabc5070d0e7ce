// Grabbing at the preview rate: the capture window paints the live picture, Start twice still
// gives one frame an interval, Stop ends the frames, and a sink that knows the events only from
// the type library gets them.
#include <windows.h>

#include <oleauto.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "tests/capture/capture_test_support.h"
#include "tests/support/test_container.h"

namespace zu::test {
namespace {

using Preview = CaptureFixture;
using Clock = std::chrono::steady_clock;

// Runs the thread's messages (the preview timer among them) for `span`.
void RunMessages(std::chrono::milliseconds span) {
  const Clock::time_point end = Clock::now() + span;
  while (Clock::now() < end) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    PumpMessages();
  }
}

// The frames counted over a second at 50 ms a frame: about 20. A second Start must not add a
// second timer (40); a loaded machine may lose some, so the band is wide.
TEST_F(Preview, StartTwiceStillGivesOneFrameAnInterval) {
  Configure("driver 0 format=32x16x24");
  control_->put_EnableSystemDriverSetting(1);
  ASSERT_NE(MakeWindow(), nullptr);
  FrameSink sink;
  AdviseEvents(&sink);
  control_->put_CaptureElapse(50);
  control_->Start();
  control_->Start();
  RunMessages(std::chrono::milliseconds(1000));
  const size_t frames = sink.events.size();
  EXPECT_GE(frames, 5u);
  EXPECT_LE(frames, 28u) << "two timers would give about 40";
  control_->Stop();
  PumpMessages();
  const size_t stopped = sink.events.size();
  RunMessages(std::chrono::milliseconds(200));
  EXPECT_EQ(sink.events.size(), stopped) << "no frame after Stop";
  DestroyWindowOfControl();
  control_.Reset();
  self_ = nullptr;
}

// The capture window shows the simulator's picture, not its background, while grabbing.
TEST_F(Preview, TheCaptureWindowPaintsTheLivePicture) {
  Configure("driver 0 format=80x60x24");
  ASSERT_NE(MakeWindow(), nullptr);
  control_->put_CaptureElapse(30);
  control_->Start();
  RunMessages(std::chrono::milliseconds(300));
  const HWND capture = self_->CaptureWindowHandle();
  UpdateWindow(capture);
  HDC screen = GetDC(capture);
  int unlike_background = 0;
  for (int y = 5; y < 60; y += 10) {
    for (int x = 5; x < 80; x += 10) {
      if (GetPixel(screen, x, y) != SIMCAM_BACKGROUND_COLOR) ++unlike_background;
    }
  }
  ReleaseDC(capture, screen);
  EXPECT_GT(unlike_background, 40) << "of 48 sampled pixels";
  control_->Stop();
}

// A sink that answers the event interface and learns its DISPIDs by name from the type library,
// as hosts that build sinks from it do.
class TypeLibrarySink final : public StackObject<IDispatch> {
 public:
  explicit TypeLibrarySink(ITypeInfo* events) : StackObject(DIID__IZuVideoCapCtlEvents) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"Capture"), const_cast<LPOLESTR>(L"CaptureEx")};
    events->GetIDsOfNames(&names[0], 1, &capture_);
    events->GetIDsOfNames(&names[1], 1, &capture_ex_);
  }
  STDMETHODIMP GetTypeInfoCount(UINT* count) override { return *count = 0, S_OK; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                      EXCEPINFO*, UINT*) override {
    if (member == capture_ && params->cArgs == 2) captures.push_back(params->rgvarg[0].lVal);
    if (member == capture_ex_ && params->cArgs == 2) capture_exes.push_back(params->rgvarg[0].lVal);
    return S_OK;
  }
  std::vector<LONG> captures, capture_exes;

 private:
  MEMBERID capture_ = DISPID_UNKNOWN;
  MEMBERID capture_ex_ = DISPID_UNKNOWN;
};

TEST_F(Preview, ASinkBuiltFromTheTypeLibraryGetsBothEvents) {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  Microsoft::WRL::ComPtr<ITypeLib> library;
  Microsoft::WRL::ComPtr<ITypeInfo> events;
  ASSERT_EQ(LoadTypeLibEx(path, REGKIND_NONE, &library), S_OK);
  ASSERT_EQ(library->GetTypeInfoOfGuid(DIID__IZuVideoCapCtlEvents, &events), S_OK);
  TypeLibrarySink sink(events.Get());
  Configure("driver 0 format=32x16x24");
  control_->put_EnableSystemDriverSetting(1);
  ASSERT_NE(MakeWindow(), nullptr);
  AdviseEvents(&sink);
  ASSERT_TRUE(simcam_.push_frame(self_->CaptureWindowHandle()));
  control_->put_CaptureExEvent(VARIANT_TRUE);
  ASSERT_TRUE(simcam_.push_frame(self_->CaptureWindowHandle()));
  EXPECT_EQ(sink.captures, std::vector<LONG>{40 + 32 * 16 * 3});
  EXPECT_EQ(sink.capture_exes, std::vector<LONG>{40 + 32 * 16 * 3});
  DestroyWindowOfControl();
  control_.Reset();  // before the sink goes
  self_ = nullptr;
}

}  // namespace
}  // namespace zu::test
