// Both controls without registration: ZuVCap.dll and ZuVPlay.dll lie beside this program with
// their component manifests, and the application manifest ZuControls.manifest names them. These
// tests run in two programs: regfree_tests carries that manifest as its own (resource RT_MANIFEST
// 1), so its process context holds the controls from the start; regfree_activated_tests carries
// none and activates the file beside it at run time, as the demo hosts do with --manifest. In
// both, nothing of the controls is in the registry: classes, program identifiers, misc status and
// type libraries all come from the manifests, the capture control fires its events on the
// simulated camera, and the play control paints the frames they carry.
#include <windows.h>

#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host/event_sink.h"
#include "simcam/simcam_control.h"
#include "tests/dist/regfree_support.h"
#include "tests/play/play_test_support.h"
#include "tests/support/modal_watcher.h"
#include "tests/support/test_container.h"
#include "tests/support/text.h"
#include "zu_video_cap.h"
#include "zu_video_play.h"

using Microsoft::WRL::ComPtr;

namespace zu::test {
namespace {

TEST(RegFreeRegistry, HoldsNoneOfTheControlsKeys) {
  const std::vector<std::string> found = RegisteredKeys();
  std::string list;
  for (const std::string& key : found) list += "\n  " + key;
  EXPECT_TRUE(found.empty()) << "registered in the prefix:" << list;
}

TEST_F(RegFree, EveryClassAndProgramIdentifierComesFromTheManifests) {
  for (const ClassRow& row : Classes()) {
    SCOPED_TRACE(row.name);
    // Side by side, a program identifier maps to a class identifier of the context's own making
    // (a "configured" one), not the class's; what it creates is the class all the same.
    for (const std::wstring& progid : row.progids) {
      SCOPED_TRACE(Utf8(progid));
      CLSID configured = {};
      ASSERT_EQ(CLSIDFromProgID(progid.c_str(), &configured), S_OK);
      ComPtr<IUnknown> made;
      ASSERT_EQ(CoCreateInstance(configured, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&made)),
                S_OK);
      if (row.member == nullptr) {
        ComPtr<IPropertyPage> page;
        EXPECT_EQ(made.As(&page), S_OK);
        continue;
      }
      ComPtr<IPersist> persist;
      ASSERT_EQ(made.As(&persist), S_OK);
      CLSID clsid = {};
      EXPECT_EQ(persist->GetClassID(&clsid), S_OK);
      EXPECT_EQ(clsid, *row.clsid);
    }
    wchar_t* progid = nullptr;
    EXPECT_EQ(ProgIDFromCLSID(*row.clsid, &progid), S_OK);
    if (progid) {
      EXPECT_EQ(std::wstring(progid), row.progids[0]);
      CoTaskMemFree(progid);
    }
    ComPtr<IUnknown> object;
    ASSERT_EQ(CoCreateInstance(*row.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object)),
              S_OK);
    if (row.member == nullptr) {
      ComPtr<IPropertyPage> page;
      EXPECT_EQ(object.As(&page), S_OK);
      continue;
    }
    // What a container asks before it sites the control: OleRegGetMiscStatus, from the manifest.
    ComPtr<IOleObject> ole_object;
    ASSERT_EQ(object.As(&ole_object), S_OK);
    DWORD status = 0;
    EXPECT_EQ(ole_object->GetMiscStatus(DVASPECT_CONTENT, &status), S_OK);
    EXPECT_EQ(status, kControlMiscStatus);
    // Late binding loads the type library by its identifier: the manifest's typelib entry.
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(object.As(&dispatch), S_OK);
    ComPtr<ITypeInfo> info;
    EXPECT_EQ(dispatch->GetTypeInfo(0, kLocale, &info), S_OK);
    LPOLESTR name = const_cast<LPOLESTR>(row.member);
    DISPID id = 0;
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, &name, 1, kLocale, &id), S_OK);
    EXPECT_EQ(id, row.member_id);
  }
}

// ---------------------------------------------------------------- frames from one to the other

// A frame as a host copies it out of an event: the bytes and their count.
struct CopiedFrame {
  std::vector<uint8_t> bytes;
  LONG count = 0;
};

struct FrameRoad {
  const char* name;
  VcpCaptureFormat capture_format;
  VARIANT_BOOL capture_ex;  // CaptureEx (a variant) instead of Capture (a string by reference)
  VpyFrameFormat play_format;
};

class RegFreeFrames : public RegFree, public ::testing::WithParamInterface<FrameRoad> {
 protected:
  void SetUp() override {
    RegFree::SetUp();
    if (HasFatalFailure()) return;
    avicap_ = LoadLibraryW(L"avicap32.dll");
    ASSERT_TRUE(simcam_.Bind(avicap_)) << "avicap32.dll is not the simulated camera";
    simcam_.reset();
    char error[128] = {};
    ASSERT_TRUE(simcam_.configure("driver 0 format=160x120x24", error, sizeof error)) << error;
  }
  void TearDown() override {
    capture_.Reset();
    play_.Reset();
    if (capture_host_) capture_host_->Unhost();
    if (play_host_) play_host_->Unhost();
    capture_host_.reset();
    play_host_.reset();
    watcher_.reset();
    if (avicap_) {
      simcam_.reset();
      FreeLibrary(avicap_);
    }
  }

  // Grabs frames until one arrived, or a second has passed.
  std::vector<CopiedFrame> GrabFrames() {
    std::vector<CopiedFrame> frames;
    capture_host_->AdviseEvents([&](DISPID id, DISPPARAMS* params) {
      VARIANT* data = EventArgument(params, 0);
      VARIANT* count = EventArgument(params, 1);
      if (!data || !count || V_VT(count) != VT_I4) return S_OK;
      const BSTR* text = nullptr;
      if (id == 1 && V_VT(data) == (VT_BSTR | VT_BYREF)) text = V_BSTRREF(data);
      if (id == 2 && V_VT(data) == (VT_VARIANT | VT_BYREF) &&
          V_VT(V_VARIANTREF(data)) == VT_BSTR) {
        text = &V_BSTR(V_VARIANTREF(data));
      }
      if (text == nullptr || *text == nullptr || V_I4(count) < 0 ||
          static_cast<UINT>(V_I4(count)) > SysStringByteLen(*text)) {
        return S_OK;
      }
      const auto* first = reinterpret_cast<const uint8_t*>(*text);
      frames.push_back({std::vector<uint8_t>(first, first + V_I4(count)), V_I4(count)});
      return S_OK;
    });
    capture_->put_CaptureElapse(30);
    capture_->Start();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (frames.empty() && std::chrono::steady_clock::now() < end) {
      PumpMessages();
      Sleep(5);
    }
    capture_->Stop();
    return frames;
  }

  HMODULE avicap_ = nullptr;
  simcam::SimCamApi simcam_;
  std::unique_ptr<ModalWatcher> watcher_ = std::make_unique<ModalWatcher>();
  std::unique_ptr<TestContainer> capture_host_;
  std::unique_ptr<TestContainer> play_host_;
  ComPtr<IZuVideoCapCtl> capture_;
  ComPtr<IZuVideoPlayCtl> play_;
};

TEST_P(RegFreeFrames, TheCaptureControlsEventsShowInThePlayControl) {
  const FrameRoad& road = GetParam();
  ContainerOptions left;
  left.window = {40, 40, 280, 200};
  capture_host_ = std::make_unique<TestContainer>(left);
  capture_host_->ambients().user_mode = true;
  ASSERT_EQ(capture_host_->Create(CLSID_ZuVideoCapture), S_OK);
  ASSERT_EQ(capture_host_->Host(), S_OK);
  capture_ = capture_host_->ControlAs<IZuVideoCapCtl>();
  ASSERT_TRUE(capture_);
  ASSERT_EQ(capture_->put_CaptureFormat(road.capture_format), S_OK);
  ASSERT_EQ(capture_->put_CaptureExEvent(road.capture_ex), S_OK);

  ContainerOptions right;
  right.window = {300, 40, 540, 200};
  play_host_ = std::make_unique<TestContainer>(right);
  play_host_->ambients().user_mode = true;
  ASSERT_EQ(play_host_->Create(CLSID_ZuVideoPlay), S_OK);
  ASSERT_EQ(play_host_->Host(), S_OK);
  play_ = play_host_->ControlAs<IZuVideoPlayCtl>();
  ASSERT_TRUE(play_);
  ASSERT_EQ(play_->put_FrameFormat(road.play_format), S_OK);
  const HWND play_window = play_host_->ControlWindow();
  ASSERT_NE(play_window, nullptr);

  const std::vector<CopiedFrame> frames = GrabFrames();
  ASSERT_FALSE(frames.empty()) << "no event from the capture control";
  EXPECT_TRUE(watcher_->Seen().empty()) << "a message box on a working camera";

  // The peer host's side: a string of n characters holding the n bytes, handed on with n.
  const CopiedFrame& frame = frames.back();
  BSTR text = SysAllocStringLen(nullptr, static_cast<UINT>(frame.count));
  ASSERT_NE(text, nullptr);
  memcpy(text, frame.bytes.data(), frame.bytes.size());
  VARIANT_BOOL taken = 0;
  if (road.capture_ex) {
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_BSTR;
    V_BSTR(&value) = text;
    EXPECT_EQ(play_->RefreshFrameEx(value, frame.count, &taken), S_OK);
  } else {
    EXPECT_EQ(play_->RefreshFrame(&text, frame.count, &taken), S_OK);
  }
  SysFreeString(text);
  ASSERT_EQ(taken, 1) << "the play control refused a frame of " << frame.count << " bytes";

  // The 80 x 60 frame (the capture control's default format), centred in the control's window.
  RedrawWindow(play_window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  RECT client = {};
  GetClientRect(play_window, &client);
  Canvas shown(client.right, client.bottom);
  shown.CopyFrom(play_window);
  const int left_edge = (client.right - 80) / 2, top_edge = (client.bottom - 60) / 2;
  const uint32_t background = SysRgb(COLOR_BTNFACE);
  int inside = 0, picture = 0;
  for (int y = top_edge + 2; y < top_edge + 58; y += 4) {
    for (int x = left_edge + 2; x < left_edge + 78; x += 4) {
      ++inside;
      picture += shown.At(x, y) != background;
    }
  }
  EXPECT_GT(picture, inside * 3 / 4) << picture << " of " << inside << " points show the frame";
  EXPECT_EQ(shown.At(4, client.bottom / 2), background) << "left of the frame";
}

INSTANTIATE_TEST_SUITE_P(
    Roads, RegFreeFrames,
    ::testing::Values(FrameRoad{"BmpThroughCaptureAndRefreshFrame", vcpFormatBMP, VARIANT_FALSE,
                                vpyFormatBMP},
                      FrameRoad{"PngThroughCaptureExAndRefreshFrameEx", vcpFormatPNG, VARIANT_TRUE,
                                vpyFormatPNG}),
    [](const ::testing::TestParamInfo<FrameRoad>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- another apartment

// Deletes the keys below HKEY_CLASSES_ROOT, in both views, that appeared since `before`.
void RemoveKeysThatAppeared(const std::vector<std::string>& before) {
  for (const std::string& entry : RegisteredKeys()) {
    if (std::find(before.begin(), before.end(), entry) != before.end()) continue;
    const std::string path = entry.substr(0, entry.find(" ("));
    const REGSAM view = entry.find("32-bit") != std::string::npos ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    const size_t cut = path.find('\\');
    HKEY parent = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.substr(0, cut).c_str(), 0, KEY_ALL_ACCESS | view,
                      &parent) == ERROR_SUCCESS) {
      RegDeleteTreeA(parent, path.substr(cut + 1).c_str());
      RegDeleteKeyExA(parent, path.substr(cut + 1).c_str(), view, 0);
      RegCloseKey(parent);
    }
  }
}

// Another apartment reaches a control through the type library marshaler, which finds the
// interface through the manifest's proxy-stub entry and its type library through the typelib one.
//
// Wine 8's marshaler loads that library with LoadTypeLib and the bare file name the manifest
// gives ("ZuVPlay.dll"), which registers it: the TypeLib and Interface keys of the play library
// appear in the prefix. The test takes them away again at once.
TEST_F(RegFree, TheDualInterfaceCrossesApartments) {
  const std::vector<std::string> before = RegisteredKeys();
  ComPtr<IZuVideoPlayCtl> play;
  ASSERT_EQ(CoCreateInstance(CLSID_ZuVideoPlay, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&play)),
            S_OK);
  IStream* stream = nullptr;
  ASSERT_EQ(CoMarshalInterThreadInterfaceInStream(IID_IZuVideoPlayCtl, play.Get(), &stream), S_OK);
  HRESULT unmarshaled = E_FAIL, called = E_FAIL;
  LONG version = 0;
  std::atomic<bool> done{false};
  std::thread other([&] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    IZuVideoPlayCtl* proxy = nullptr;
    unmarshaled = CoGetInterfaceAndReleaseStream(stream, IID_IZuVideoPlayCtl,
                                                 reinterpret_cast<void**>(&proxy));
    if (proxy) {
      called = proxy->get_Version(&version);
      proxy->Release();
    }
    CoUninitialize();
    done = true;
  });
  // The call comes back to this apartment as a message.
  while (!done) {
    PumpMessages();
    Sleep(2);
  }
  other.join();
  RemoveKeysThatAppeared(before);
  EXPECT_EQ(unmarshaled, S_OK);
  EXPECT_EQ(called, S_OK);
  EXPECT_EQ(version, 65536);
  EXPECT_EQ(RegisteredKeys(), before) << "keys the marshaler wrote are left in the prefix";
}

}  // namespace
}  // namespace zu::test
