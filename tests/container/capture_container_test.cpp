// The capture control as containers place it: ZuVCap.dll registered in the prefix, the control
// created by class identifier on the simulated camera, hosted by the test container and by Wine's
// own ATL host. In-place activation makes the control window and so starts the capture link;
// deactivation ends it; frames reach the container's event sink and the live preview shows
// inside the control.
#include <windows.h>

#include <commctrl.h>
#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "host/event_sink.h"
#include "simcam/simcam_control.h"
#include "tests/container/container_test_support.h"
#include "tests/play/play_test_support.h"
#include "tests/support/atl_host.h"
#include "tests/support/modal_watcher.h"
#include "zu_video_cap.h"

using Microsoft::WRL::ComPtr;

namespace zu::test {
namespace {

constexpr wchar_t kCaptureWindowTitle[] = L"Pelmar Video Capture Window";
constexpr int kWidth = 80, kHeight = 60;  // the control's default format, which it imposes

std::wstring CaptureDllPath() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring text(path, length);
  return text.substr(0, text.find_last_of(L"\\/") + 1) + L"ZuVCap.dll";
}

// Registered for the whole run; the prefix is left as it was found.
class RegisteredCaptureDll : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_EQ(RunRegsvr32(L"\"" + CaptureDllPath() + L"\""), 0) << "regsvr32 ZuVCap.dll";
  }
  void TearDown() override { RunRegsvr32(L"/u \"" + CaptureDllPath() + L"\""); }
};

[[maybe_unused]] ::testing::Environment* const kRegistered =
    ::testing::AddGlobalTestEnvironment(new RegisteredCaptureDll);

void RunMessages(std::chrono::milliseconds how_long) {
  const auto end = std::chrono::steady_clock::now() + how_long;
  while (std::chrono::steady_clock::now() < end) {
    PumpMessages();
    Sleep(5);
  }
}

// How many of a grid of points inside `window`, read off the screen, are neither the
// simulator's empty background nor `surface`: the live picture's share.
int PicturePoints(HWND window, uint32_t surface, int* sampled) {
  RECT client;
  GetClientRect(window, &client);
  Canvas shown(client.right, client.bottom);
  shown.CopyFrom(window);
  int points = 0;
  *sampled = 0;
  for (int y = 4; y < client.bottom - 4; y += 8) {
    for (int x = 4; x < client.right - 4; x += 8) {
      ++*sampled;
      const uint32_t pixel = shown.At(x, y);
      if (pixel != ToRgb(SIMCAM_BACKGROUND_COLOR) && pixel != surface) ++points;
    }
  }
  return points;
}

// A container at run time (or design time) with one capture control, on a driver that answers.
class CaptureInContainer : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(ole_.result()));
    avicap_ = LoadLibraryW(L"avicap32.dll");
    ASSERT_TRUE(simcam_.Bind(avicap_)) << "avicap32.dll is not the simulated camera";
    simcam_.reset();
    char error[128] = {};
    ASSERT_TRUE(simcam_.configure("driver 0 format=160x120x24", error, sizeof error)) << error;
    container_ = std::make_unique<TestContainer>();
    container_->ambients().user_mode = true;
    ASSERT_EQ(container_->Create(CLSID_ZuVideoCapture), S_OK);
    ASSERT_EQ(container_->control()->QueryInterface(IID_PPV_ARGS(&capture_)), S_OK);
  }
  void TearDown() override {
    capture_.Reset();
    if (container_) container_->Unhost();
    container_.reset();
    watcher_.reset();
    if (avicap_) {
      simcam_.reset();
      FreeLibrary(avicap_);
    }
  }

  HWND CaptureWindow() const {
    HWND control = container_->ControlWindow();
    return control ? FindWindowExW(control, nullptr, nullptr, kCaptureWindowTitle) : nullptr;
  }

  OleScope ole_;
  HMODULE avicap_ = nullptr;
  simcam::SimCamApi simcam_;
  std::unique_ptr<ModalWatcher> watcher_ = std::make_unique<ModalWatcher>();
  std::unique_ptr<TestContainer> container_;
  ComPtr<IZuVideoCapCtl> capture_;
};

TEST_F(CaptureInContainer, ActivationStartsTheLinkAndDeactivationEndsItEachTime) {
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    ASSERT_EQ(round == 0 ? container_->Host() : container_->InPlaceActivate(), S_OK);
    const HWND capture = CaptureWindow();
    ASSERT_NE(capture, nullptr) << "no capture window in the control window";
    EXPECT_EQ(simcam_.driver_owner(0), capture) << "driver 0 not connected to it";
    ASSERT_EQ(container_->InPlaceDeactivate(), S_OK);
    EXPECT_EQ(container_->ControlWindow(), nullptr);
    EXPECT_FALSE(IsWindow(capture));
    EXPECT_EQ(simcam_.driver_owner(0), nullptr) << "driver still connected";
  }
  // Close ends a link as well.
  ASSERT_EQ(container_->InPlaceActivate(), S_OK);
  ASSERT_NE(simcam_.driver_owner(0), nullptr);
  EXPECT_EQ(container_->Close(), S_OK);
  EXPECT_EQ(simcam_.driver_owner(0), nullptr);
  EXPECT_TRUE(watcher_->Seen().empty()) << "no message box on a working driver";
}

TEST_F(CaptureInContainer, FramesReachTheContainersSinkAndThePreviewShowsInTheControl) {
  ASSERT_EQ(container_->Host(), S_OK);
  std::vector<LONG> counts;
  ASSERT_EQ(container_->AdviseEvents([&](DISPID id, DISPPARAMS* params) {
              VARIANT* count = EventArgument(params, 1);
              if (id == 1 && count && V_VT(count) == VT_I4) counts.push_back(V_I4(count));
              return S_OK;
            }),
            S_OK);
  ASSERT_EQ(capture_->put_CaptureElapse(30), S_OK);
  ASSERT_EQ(capture_->Start(), S_OK);
  RunMessages(std::chrono::milliseconds(400));
  ASSERT_GE(counts.size(), 3u) << "frames in 400 ms at 30 ms";
  for (LONG count : counts) EXPECT_EQ(count, 40 + kWidth * kHeight * 3);

  const HWND capture = CaptureWindow();
  ASSERT_NE(capture, nullptr);
  RedrawWindow(container_->ControlWindow(), nullptr, nullptr,
               RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  int sampled = 0;
  const int picture = PicturePoints(capture, SysRgb(COLOR_BTNFACE), &sampled);
  EXPECT_GT(picture, sampled * 3 / 4) << picture << " of " << sampled << " points show the picture";
  EXPECT_EQ(capture_->Stop(), S_OK);
  const size_t stopped = counts.size();
  RunMessages(std::chrono::milliseconds(100));
  EXPECT_EQ(counts.size(), stopped) << "frames after Stop";
}

// Design time: the control's own surface is the icon's, while the link runs with its window as
// at run time.
TEST_F(CaptureInContainer, AtDesignTimeTheControlDrawsItsIcon) {
  container_->ambients().user_mode = false;
  ASSERT_EQ(container_->Host(), S_OK);
  EXPECT_NE(simcam_.driver_owner(0), nullptr);
  ComPtr<IViewObject> view;
  ASSERT_EQ(capture_.As(&view), S_OK);
  Canvas canvas(80, 80, SysRgb(COLOR_BTNFACE));
  RECTL bounds = {0, 0, 80, 80};
  ASSERT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, canvas.dc(), &bounds,
                       nullptr, nullptr, 0),
            S_OK);
  int icon = 0;
  for (int y = 8; y < 40; ++y) {
    for (int x = 8; x < 40; ++x) icon += canvas.At(x, y) != SysRgb(COLOR_BTNFACE);
  }
  EXPECT_GT(icon, 50) << "no icon at design time";
  ASSERT_EQ(container_->SetUserMode(true), S_OK);
  canvas.Fill(SysRgb(COLOR_BTNFACE));
  ASSERT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, canvas.dc(), &bounds,
                       nullptr, nullptr, 0),
            S_OK);
  icon = 0;
  for (int y = 8; y < 40; ++y) {
    for (int x = 8; x < 40; ++x) icon += canvas.At(x, y) != SysRgb(COLOR_BTNFACE);
  }
  EXPECT_EQ(icon, 0) << "icon at run time with a capture window";
}

TEST_F(CaptureInContainer, VerbsOneToThreeOpenTheDriversDialogsThenAnswerNotImplemented) {
  ASSERT_EQ(container_->Host(), S_OK);
  const wchar_t* const captions[] = {L"Video Format", L"Video Source", L"Video Display"};
  for (LONG verb = 1; verb <= 3; ++verb) {
    watcher_->Clear();
    EXPECT_EQ(container_->DoVerb(verb), E_NOTIMPL) << verb;
    const std::vector<DialogRecord> seen = watcher_->Seen();
    ASSERT_EQ(seen.size(), 1u) << verb;
    EXPECT_EQ(seen[0].caption, captions[verb - 1]);
  }
  watcher_->Clear();
  EXPECT_EQ(container_->DoVerb(4), E_NOTIMPL);
  EXPECT_TRUE(watcher_->Seen().empty()) << "verb 4 opens nothing";
}

// What a look inside the property frame's modal loop saw: the tab titles, and whether the page
// shown is the capture page (its device list, id 212).
struct FrameLook {
  bool looked = false;
  std::wstring caption;
  std::vector<std::wstring> tabs;
  bool device_list = false;
};
FrameLook g_frame;

BOOL CALLBACK FindDeviceList(HWND child, LPARAM) {
  wchar_t name[32] = {};
  GetClassNameW(child, name, 32);
  if (GetDlgCtrlID(child) == 212 && lstrcmpiW(name, L"ComboBox") == 0) g_frame.device_list = true;
  return TRUE;
}

BOOL CALLBACK LookAtFrame(HWND window, LPARAM) {
  wchar_t name[32] = {};
  GetClassNameW(window, name, 32);
  if (!IsWindowVisible(window) || lstrcmpW(name, L"#32770") != 0) return TRUE;
  HWND tabs = FindWindowExW(window, nullptr, L"SysTabControl32", nullptr);
  if (tabs == nullptr) return TRUE;
  g_frame.looked = true;
  wchar_t text[128] = {};
  GetWindowTextW(window, text, 128);
  g_frame.caption = text;
  const int count = static_cast<int>(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    TCITEMW item = {};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = 128;
    text[0] = 0;
    SendMessageW(tabs, TCM_GETITEMW, i, reinterpret_cast<LPARAM>(&item));
    g_frame.tabs.push_back(text);
  }
  EnumChildWindows(window, FindDeviceList, 0);
  PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
  return FALSE;
}

void CALLBACK FrameTimer(HWND, UINT, UINT_PTR timer, DWORD) {
  if (g_frame.looked) return;
  EnumThreadWindows(GetCurrentThreadId(), LookAtFrame, 0);
  if (g_frame.looked) KillTimer(nullptr, timer);
}

// Verb 0 at design time: the container has no frame to offer, so the control opens its own, over
// its page and then the stock colour and picture pages. At run time verb 0 activates.
TEST_F(CaptureInContainer, ThePrimaryVerbOpensThePropertyFrameAtDesignTimeAndActivatesAtRunTime) {
  container_->ambients().user_mode = false;
  ASSERT_EQ(container_->SetClientSite(), S_OK);
  watcher_.reset();
  // The frame is closed from inside its own loop; the watcher only stands by.
  ModalWatcher backstop(std::chrono::milliseconds(3000));
  g_frame = FrameLook();
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, FrameTimer);
  const HRESULT hr = container_->DoVerb(OLEIVERB_PRIMARY);
  KillTimer(nullptr, timer);
  EXPECT_TRUE(SUCCEEDED(hr)) << std::hex << hr;
  ASSERT_TRUE(g_frame.looked) << "no property frame";
  EXPECT_NE(g_frame.caption.find(L"Pelmar/OCX Video Capture"), std::wstring::npos)
      << Narrow(g_frame.caption);
  // Wine registers no stock colour and picture pages, so its frame shows the first page alone;
  // what the control asks for is all three.
  ASSERT_FALSE(g_frame.tabs.empty());
  EXPECT_EQ(g_frame.tabs[0], L"General");
  ComPtr<ISpecifyPropertyPages> pages;
  ASSERT_EQ(capture_.As(&pages), S_OK);
  CAUUID listed = {};
  ASSERT_EQ(pages->GetPages(&listed), S_OK);
  std::vector<std::wstring> classes;
  for (ULONG i = 0; i < listed.cElems; ++i) {
    wchar_t text[40];
    StringFromGUID2(listed.pElems[i], text, 40);
    classes.push_back(text);
  }
  CoTaskMemFree(listed.pElems);
  EXPECT_EQ(classes, (std::vector<std::wstring>{L"{7F679A30-B4CD-4A54-9442-53F03311CD2A}",
                                                L"{7EBDAAE1-8120-11CF-899F-00AA00688B10}",
                                                L"{7EBDAAE2-8120-11CF-899F-00AA00688B10}"}));
  EXPECT_TRUE(g_frame.device_list) << "the first page shown is not the capture page";
  EXPECT_EQ(container_->ControlWindow(), nullptr) << "activated at design time";

  ASSERT_EQ(container_->SetUserMode(true), S_OK);
  EXPECT_EQ(container_->DoVerb(OLEIVERB_PRIMARY), S_OK);
  EXPECT_NE(container_->ControlWindow(), nullptr);
  EXPECT_NE(simcam_.driver_owner(0), nullptr);
}

// ---------------------------------------------------------------- Wine's own host

// atl.dll places the control by program identifier and offers no ambient properties, so the
// control is at design time there; its window still makes the link, and the preview shows.
TEST(WineHostCapture, PlacesTheControlByProgramIdentifierAndShowsThePreview) {
  OleScope ole;
  ASSERT_TRUE(SUCCEEDED(ole.result()));
  HMODULE avicap = LoadLibraryW(L"avicap32.dll");
  simcam::SimCamApi simcam;
  ASSERT_TRUE(simcam.Bind(avicap));
  simcam.reset();
  ASSERT_TRUE(simcam.configure("driver 0 format=160x120x24", nullptr, 0));
  ModalWatcher watcher;
  {
    AtlHost atl;
    ASSERT_TRUE(atl.Ok());
    HostWindow host(RECT{60, 60, 300, 260});
    ASSERT_NE(host.Get(), nullptr);
    ASSERT_EQ(atl.Place(CLSID_ZuVideoCapture, host.Get()), S_OK) << Narrow(atl.progid());
    HWND capture = nullptr;
    for (HWND child = GetWindow(host.Get(), GW_CHILD); child && !capture;
         child = GetWindow(child, GW_HWNDNEXT)) {
      capture = FindWindowExW(child, nullptr, nullptr, kCaptureWindowTitle);
    }
    ASSERT_NE(capture, nullptr) << "no capture window in the host";
    EXPECT_EQ(simcam.driver_owner(0), capture);

    ComPtr<IUnknown> control = atl.Control(host.Get());
    ASSERT_TRUE(control);
    ComPtr<IZuVideoCapCtl> capture_control;
    ASSERT_EQ(control.As(&capture_control), S_OK);
    ASSERT_EQ(capture_control->put_CaptureElapse(30), S_OK);
    ASSERT_EQ(capture_control->Start(), S_OK);
    RunMessages(std::chrono::milliseconds(300));
    RedrawWindow(capture, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    int sampled = 0;
    const int picture = PicturePoints(capture, SysRgb(COLOR_BTNFACE), &sampled);
    EXPECT_GT(picture, sampled * 3 / 4) << picture << " of " << sampled;
    capture_control->Stop();
    capture_control.Reset();
    control.Reset();
    DestroyWindow(host.Get());
    PumpMessages();
    EXPECT_EQ(simcam.driver_owner(0), nullptr) << "the link outlived the host";
  }
  EXPECT_TRUE(watcher.Seen().empty());
  simcam.reset();
}

}  // namespace
}  // namespace zu::test
