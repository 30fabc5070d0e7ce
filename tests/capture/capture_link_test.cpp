// The capture link on the simulated camera: the capture window it makes, the callbacks, centring,
// driver choice, the format block the driver receives, reconnection, teardown, the message boxes
// of each failure, and two controls in one process.
#include <windows.h>

#include <vfw.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/capture/capture_test_support.h"

namespace zu::test {
namespace {

using Link = CaptureFixture;

const std::string kCaption = "Pelmar/OCX VideoCapture: ";
std::string NoDriver() {
  return kCaption + Expected("CaptureDriver isn't found.", "キャプチャ用ドライバが見つかりません。");
}
std::string ConnectFailed() {
  return kCaption +
         Expected("It failed in theconnection of CaptureDriver.", "キャプチャドライバの接続に失敗しました。");
}
std::string FormatFailed() {
  return kCaption + Expected("It failed in a setip of the video data format.",
                             "ビデオデータのフォーマット設定に失敗しました。");
}

TEST_F(Link, TheCaptureWindowIsAChildOfTheControlWindowWithItsParameters) {
  const HWND window = MakeWindow();
  ASSERT_NE(window, nullptr);
  const HWND capture = self_->CaptureWindowHandle();
  ASSERT_NE(capture, nullptr);
  EXPECT_TRUE(self_->DriverConnected());
  EXPECT_EQ(GetParent(capture), window);
  char title[64] = {};
  GetWindowTextA(capture, title, sizeof title);
  EXPECT_STREQ(title, "Pelmar Video Capture Window");
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(capture, GWL_STYLE)) & 0xFFFF00FFu, 0x50000020u);
  // The control window has identifier 0: the capture window's is 10000.
  EXPECT_EQ(GetDlgCtrlID(capture), 10000);
  RECT rect;
  GetClientRect(capture, &rect);
  EXPECT_EQ(rect.right, 80);
  EXPECT_EQ(rect.bottom, 60);
  // Callbacks first, in this order, then the driver.
  const std::vector<UINT> messages = CaptureMessages();
  ASSERT_GE(messages.size(), 4u);
  EXPECT_EQ(std::vector<UINT>(messages.begin(), messages.begin() + 4),
            (std::vector<UINT>{WM_CAP_SET_CALLBACK_ERRORA, WM_CAP_SET_CALLBACK_STATUSA,
                               WM_CAP_SET_CALLBACK_FRAME, WM_CAP_DRIVER_CONNECT}));
  EXPECT_EQ(simcam_.driver_owner(0), capture);
  EXPECT_TRUE(MessageBoxes().empty());
}

TEST_F(Link, TheCaptureWindowIsCentredInTheControlWindow) {
  const struct {
    int control_width, control_height;
    LONG capture_width, capture_height;
    int x, y;
  } rows[] = {
      {200, 160, 80, 60, 60, 50},
      {100, 100, 81, 61, 10, 20},   // 81 rounds to 80: 50 - 40 = 10; 50 - 30 = 20
      {100, 100, 160, 120, 0, 0},   // wider and taller than the control: at the corner, clipped
      {100, 300, 160, 120, 0, 90},
  };
  for (const auto& row : rows) {
    control_->put_CaptureWidth(row.capture_width);
    control_->put_CaptureHeight(row.capture_height);
    ASSERT_NE(MakeWindow(row.control_width, row.control_height), nullptr);
    RECT place;
    GetWindowRect(self_->CaptureWindowHandle(), &place);
    MapWindowPoints(nullptr, self_->Window(), reinterpret_cast<POINT*>(&place), 2);
    EXPECT_EQ(place.left, row.x) << row.control_width << "x" << row.control_height;
    EXPECT_EQ(place.top, row.y) << row.control_width << "x" << row.control_height;
    EXPECT_EQ(place.right - place.left, row.capture_width / 8 * 8);
    DestroyWindowOfControl();
  }
}

TEST_F(Link, TheFirstDriverThatAnswersIsChosenUnlessDeviceIdNamesOne) {
  Configure("driver 2; driver 5");
  ASSERT_NE(MakeWindow(), nullptr);
  EXPECT_EQ(simcam_.driver_owner(2), self_->CaptureWindowHandle());
  EXPECT_EQ(control_->put_DeviceID(5), S_OK);
  EXPECT_EQ(simcam_.driver_owner(5), self_->CaptureWindowHandle());
  EXPECT_EQ(simcam_.driver_owner(2), nullptr) << "the first driver was let go";
  EXPECT_EQ(control_->put_DeviceID(3), S_OK);  // nothing at 3: ignored, no message
  EXPECT_EQ(simcam_.driver_owner(5), self_->CaptureWindowHandle());
  EXPECT_TRUE(MessageBoxes().empty());
}

// What the driver was given: the control's size and bits with BI_RGB, or its own format back.
TEST_F(Link, TheDriverGetsTheControlsFormatOrItsOwnBack) {
  const struct {
    const char* what;
    const char* driver;
    LONG system_setting;
    short custom_bits;  // 0: BitCount vcpBit8
    LONG width, height, bits;
    DWORD compression;
  } rows[] = {
      {"imposed", "driver 0 format=320x240x24", 0, 0, 160, 120, 8, BI_RGB},
      {"the driver's own", "driver 0 format=320x240x16", 1, 0, 320, 240, 16, BI_RGB},
      {"custom bits keep the compression",
       "driver 0 format=320x240x12:I420 compressed=I420:12", 0, 12, 160, 120, 12,
       mmioFOURCC('I', '4', '2', '0')},
  };
  for (const auto& row : rows) {
    Configure(row.driver);
    control_->put_CaptureWidth(160);
    control_->put_CaptureHeight(120);
    if (row.custom_bits) {
      control_->put_CustomBitCount(row.custom_bits);
    } else {
      control_->put_BitCount(vcpBit8);
    }
    control_->put_EnableSystemDriverSetting(row.system_setting);
    ASSERT_NE(MakeWindow(), nullptr) << row.what;
    EXPECT_TRUE(self_->DriverConnected()) << row.what;
    BITMAPINFOHEADER format = {};
    ASSERT_TRUE(simcam_.driver_format(0, &format)) << row.what;
    EXPECT_EQ(format.biSize, 40u) << row.what;
    EXPECT_EQ(format.biWidth, row.width) << row.what;
    EXPECT_EQ(format.biHeight, row.height) << row.what;
    EXPECT_EQ(format.biBitCount, row.bits) << row.what;
    EXPECT_EQ(format.biCompression, row.compression) << row.what;
    // The block handed over is the 44-byte BITMAPINFO.
    for (const SimCamLogEntry& entry : simcam_.Log(self_->CaptureWindowHandle())) {
      if (entry.message == WM_CAP_SET_VIDEOFORMAT) EXPECT_EQ(entry.wparam, 44u) << row.what;
    }
    DestroyWindowOfControl();
  }
  EXPECT_TRUE(MessageBoxes().empty());
}

TEST_F(Link, ASizeOrBitChangeWhileConnectedReconnectsWithoutTouchingThePreview) {
  ASSERT_NE(MakeWindow(), nullptr);
  control_->Start();
  const size_t before = CaptureMessages().size();
  control_->put_CaptureHeight(120);
  std::vector<UINT> after = CaptureMessages();
  after.erase(after.begin(), after.begin() + before);
  std::vector<UINT> driver_messages;
  for (UINT message : after) {
    if (message != WM_CAP_GET_VIDEOFORMAT) driver_messages.push_back(message);
  }
  EXPECT_EQ(driver_messages, (std::vector<UINT>{WM_CAP_DRIVER_DISCONNECT, WM_CAP_DRIVER_CONNECT,
                                                WM_CAP_SET_VIDEOFORMAT}));
  BITMAPINFOHEADER format = {};
  ASSERT_TRUE(simcam_.driver_format(0, &format));
  EXPECT_EQ(format.biHeight, 120);
}

TEST_F(Link, DestroyingTheWindowDisconnectsAndDestroysTheCaptureWindow) {
  ASSERT_NE(MakeWindow(), nullptr);
  const HWND capture = self_->CaptureWindowHandle();
  DestroyWindowOfControl();
  EXPECT_EQ(self_->CaptureWindowHandle(), nullptr);
  EXPECT_FALSE(self_->DriverConnected());
  EXPECT_FALSE(IsWindow(capture));
  EXPECT_EQ(simcam_.driver_owner(0), nullptr);
  // A driver change now reaches nothing and shows nothing.
  EXPECT_EQ(control_->put_DeviceID(0), S_OK);
  EXPECT_TRUE(MessageBoxes().empty());
}

// Each failure shows its message once and leaves the control without a capture window when it
// happens while the window is made.
TEST_F(Link, EachFailureShowsItsMessageBox) {
  const struct {
    const char* driver;
    std::string message;
  } rows[] = {
      {"", NoDriver()},
      {"driver 4 faults=refuse-connect", ConnectFailed()},
      {"driver 0 faults=refuse-format", FormatFailed()},
  };
  for (const auto& row : rows) {
    Configure(row.driver);
    ASSERT_NE(MakeWindow(), nullptr) << row.driver << ": the control window is made all the same";
    EXPECT_EQ(self_->CaptureWindowHandle(), nullptr) << row.driver;
    EXPECT_EQ(MessageBoxes(), std::vector<std::string>{row.message}) << row.driver;
    // Without a capture window the setters do not try again.
    control_->put_CaptureHeight(100);
    control_->put_DeviceID(-1);
    EXPECT_TRUE(MessageBoxes().empty()) << row.driver;
    control_->put_CaptureHeight(60);
    DestroyWindowOfControl();
  }
}

TEST_F(Link, ARefusedFormatAfterASetterLeavesTheCaptureWindowUnconnected) {
  Configure("driver 0 bits=24");
  ASSERT_NE(MakeWindow(), nullptr);
  control_->put_BitCount(vcpBit8);
  EXPECT_EQ(MessageBoxes(), std::vector<std::string>{FormatFailed()});
  EXPECT_NE(self_->CaptureWindowHandle(), nullptr);
  EXPECT_FALSE(self_->DriverConnected());
  EXPECT_EQ(simcam_.driver_owner(0), nullptr);
  control_->put_BitCount(vcpBit24);  // a later change tries again
  EXPECT_TRUE(self_->DriverConnected());
}

// Two controls, each on its own driver, each with its own callbacks; one on the other's driver
// cannot connect.
TEST_F(Link, TwoControlsEachGetTheirOwnCallbacks) {
  Configure("driver 0; driver 1");
  ASSERT_NE(MakeWindow(), nullptr);
  Microsoft::WRL::ComPtr<IZuVideoCapCtl> second;
  ASSERT_EQ(CreateComObject<ZuVideoCapCtl>(nullptr, IID_PPV_ARGS(&second)), S_OK);
  auto* other = static_cast<ZuVideoCapCtl*>(second.Get());
  second->put_DeviceID(1);
  ASSERT_NE(other->CreateControlWindow(parent_, RECT{220, 10, 420, 170}), nullptr);
  ASSERT_NE(other->CaptureWindowHandle(), nullptr);

  FrameSink mine, theirs;
  AdviseEvents(&mine);
  Microsoft::WRL::ComPtr<IConnectionPointContainer> container;
  Microsoft::WRL::ComPtr<IConnectionPoint> point;
  DWORD cookie = 0;
  ASSERT_EQ(second.As(&container), S_OK);
  ASSERT_EQ(container->FindConnectionPoint(DIID__IZuVideoCapCtlEvents, &point), S_OK);
  ASSERT_EQ(point->Advise(&theirs, &cookie), S_OK);

  EXPECT_TRUE(simcam_.push_frame(self_->CaptureWindowHandle()));
  EXPECT_TRUE(simcam_.push_frame(other->CaptureWindowHandle()));
  EXPECT_TRUE(simcam_.push_frame(other->CaptureWindowHandle()));
  EXPECT_EQ(mine.events.size(), 1u);
  EXPECT_EQ(theirs.events.size(), 2u);

  DestroyWindowOfControl();
  EXPECT_TRUE(simcam_.push_frame(other->CaptureWindowHandle()));
  EXPECT_EQ(theirs.events.size(), 3u) << "the other control still gets its frames";
  EXPECT_EQ(mine.events.size(), 1u);

  // A third control asking for driver 1, which the second holds.
  Microsoft::WRL::ComPtr<IZuVideoCapCtl> third;
  ASSERT_EQ(CreateComObject<ZuVideoCapCtl>(nullptr, IID_PPV_ARGS(&third)), S_OK);
  third->put_DeviceID(1);
  auto* late = static_cast<ZuVideoCapCtl*>(third.Get());
  ASSERT_NE(late->CreateControlWindow(parent_, RECT{10, 180, 210, 280}), nullptr);
  EXPECT_EQ(MessageBoxes(), std::vector<std::string>{ConnectFailed()});
  EXPECT_EQ(late->CaptureWindowHandle(), nullptr);
  late->DestroyControlWindow();
  other->DestroyControlWindow();
  point->Unadvise(cookie);
  control_.Reset();  // lets go of `mine` while it still stands
  self_ = nullptr;
}

// Error and status callbacks are answered only for a capture window a live control owns.
TEST_F(Link, NotificationsAreAnsweredForTheControlsOwnCaptureWindowOnly) {
  ASSERT_NE(MakeWindow(), nullptr);
  const HWND capture = self_->CaptureWindowHandle();
  EXPECT_EQ(CaptureStatusCallback(capture, 500, "live"), TRUE);
  EXPECT_EQ(CaptureErrorCallback(capture, 424, "error"), TRUE);
  EXPECT_EQ(CaptureStatusCallback(parent_, 500, "live"), FALSE);
  DestroyWindowOfControl();
  EXPECT_EQ(CaptureStatusCallback(capture, 500, "live"), FALSE) << "the link has ended";
  EXPECT_TRUE(MessageBoxes().empty()) << "driver reports are not shown";
}

}  // namespace
}  // namespace zu::test
