// Driver enumeration, capture-window creation, connection (one window per driver), capabilities
// and the message log, against the simulator loaded as the process's avicap32.dll.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "tests/simcam/simcam_test_support.h"

namespace zu::test {
namespace {

using SimCamDrivers = SimCamTest;

TEST_F(SimCamDrivers, TheLoaderPicksTheSimulatorBesideTheProgram) {
  wchar_t module_path[MAX_PATH], program_path[MAX_PATH];
  ASSERT_TRUE(GetModuleFileNameW(GetModuleHandleW(L"avicap32.dll"), module_path, MAX_PATH));
  ASSERT_TRUE(GetModuleFileNameW(nullptr, program_path, MAX_PATH));
  std::wstring module(module_path), program(program_path);
  EXPECT_EQ(module.substr(0, module.rfind(L'\\')), program.substr(0, program.rfind(L'\\')))
      << Utf8Path(module);
}

TEST_F(SimCamDrivers, DescriptionsAnswerExactlyForTheConfiguredIndices) {
  struct Row {
    const char* config;
    std::vector<int> answering;
  };
  const Row rows[] = {
      {nullptr, {0}},  // the default
      {"", {}},
      {"driver 2; driver 5", {2, 5}},
      {"driver 9 name=Nine", {9}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.config ? row.config : "(default)");
    if (row.config) Configure(row.config);
    else api_.reset();
    for (UINT index = 0; index < 12; ++index) {
      char name[80] = "untouched", version[80] = "untouched";
      const bool expected = std::find(row.answering.begin(), row.answering.end(),
                                      static_cast<int>(index)) != row.answering.end();
      EXPECT_EQ(capGetDriverDescriptionA(index, name, 80, version, 80) != FALSE, expected)
          << "index " << index;
      if (!expected) {
        EXPECT_STREQ(name, "untouched") << "index " << index;
      }
    }
  }
}

TEST_F(SimCamDrivers, DescriptionsCarryNameAndVersionCutToTheBuffers) {
  Configure("driver 1 name=\"Desk Camera; left\" version=\"2.5 beta\"");
  char name[80], version[80];
  ASSERT_TRUE(capGetDriverDescriptionA(1, name, 80, version, 80));
  EXPECT_STREQ(name, "Desk Camera; left");
  EXPECT_STREQ(version, "2.5 beta");
  char short_name[5];
  ASSERT_TRUE(capGetDriverDescriptionA(1, short_name, 5, nullptr, 0));
  EXPECT_STREQ(short_name, "Desk");
  wchar_t wide[80], wide_version[80];
  ASSERT_TRUE(capGetDriverDescriptionW(1, wide, 80, wide_version, 80));
  EXPECT_STREQ(wide, L"Desk Camera; left");
}

TEST_F(SimCamDrivers, CreatesAChildWindowOfItsOwnClassAsAsked) {
  HWND window = capCreateCaptureWindowA("Pelmar Video Capture Window", 0x50000020, 12, 34, 160,
                                        120, parent_, 10123);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(GetParent(window), parent_);
  EXPECT_EQ(GetDlgCtrlID(window), 10123);
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)), 0x50000020u);
  char title[64];
  GetWindowTextA(window, title, 64);
  EXPECT_STREQ(title, "Pelmar Video Capture Window");
  RECT rect;
  GetWindowRect(window, &rect);
  MapWindowPoints(nullptr, parent_, reinterpret_cast<POINT*>(&rect), 2);
  EXPECT_EQ(rect.left, 12);
  EXPECT_EQ(rect.top, 34);
  EXPECT_EQ(rect.right - rect.left, 160);
  EXPECT_EQ(rect.bottom - rect.top, 120);
  // The simulator's class, registered by its module: not a class of the program's.
  char class_name[64];
  GetClassNameA(window, class_name, 64);
  EXPECT_EQ(reinterpret_cast<HMODULE>(GetClassLongPtrW(window, GCLP_HMODULE)),
            GetModuleHandleW(L"avicap32.dll"))
      << class_name;
  EXPECT_EQ(api_.Windows(), std::vector<HWND>{window});

  HWND wide = capCreateCaptureWindowW(L"wide", WS_CHILD, 0, 0, 8, 8, parent_, 1);
  ASSERT_NE(wide, nullptr);
  GetClassNameA(wide, title, 64);
  EXPECT_STREQ(title, class_name);
}

TEST_F(SimCamDrivers, CreationFailsWithoutAParentOrWhenTold) {
  EXPECT_EQ(capCreateCaptureWindowA("x", WS_CHILD, 0, 0, 80, 60, nullptr, 1), nullptr);
  Configure("driver 0; window fail");
  EXPECT_EQ(capCreateCaptureWindowA("x", WS_CHILD, 0, 0, 80, 60, parent_, 1), nullptr);
  EXPECT_EQ(capCreateCaptureWindowW(L"x", WS_CHILD, 0, 0, 80, 60, parent_, 1), nullptr);
  EXPECT_TRUE(api_.Windows().empty());
  EXPECT_TRUE(capGetDriverDescriptionA(0, nullptr, 0, nullptr, 0));  // the driver is still there
}

TEST_F(SimCamDrivers, ConnectsOnlyToAnInstalledDriver) {
  Configure("driver 2; driver 5");
  HWND window = NewCaptureWindow();
  ASSERT_NE(window, nullptr);
  const struct {
    WPARAM index;
    bool connects;
  } rows[] = {{0, false}, {2, true}, {5, true}, {9, false}, {10, false}, {~WPARAM(0), false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::Message() << "index " << row.index);
    EXPECT_EQ(Send(window, WM_CAP_DRIVER_CONNECT, row.index) != 0, row.connects);
    // Connecting first lets go of the driver the window had, whatever comes of it.
    EXPECT_EQ(api_.driver_owner(2), row.index == 2 ? window : nullptr);
    EXPECT_EQ(api_.driver_owner(5), row.index == 5 ? window : nullptr);
  }
  ASSERT_TRUE(Send(window, WM_CAP_DRIVER_CONNECT, 5));
  EXPECT_TRUE(Send(window, WM_CAP_DRIVER_DISCONNECT));
  EXPECT_FALSE(Send(window, WM_CAP_DRIVER_DISCONNECT)) << "nothing left to disconnect";
  EXPECT_EQ(api_.driver_owner(5), nullptr);
}

TEST_F(SimCamDrivers, ADriverServesOneCaptureWindowAtATime) {
  Configure("driver 0; driver 1");
  HWND first = Connected(0);
  HWND second = NewCaptureWindow();
  ASSERT_NE(second, nullptr);
  EXPECT_FALSE(Send(second, WM_CAP_DRIVER_CONNECT, 0)) << "driver 0 is in use";
  ASSERT_EQ(Callbacks().errors.size(), 1u);
  EXPECT_EQ(Callbacks().errors[0].window, second);
  EXPECT_EQ(Callbacks().errors[0].id, SIMCAM_ERROR_CONNECT);
  EXPECT_TRUE(Send(second, WM_CAP_DRIVER_CONNECT, 1)) << "another driver is free";
  EXPECT_TRUE(Send(first, WM_CAP_DRIVER_CONNECT, 0)) << "connecting again to its own driver";

  // Released by disconnection and by destruction alike.
  EXPECT_TRUE(Send(first, WM_CAP_DRIVER_DISCONNECT));
  EXPECT_TRUE(Send(second, WM_CAP_DRIVER_CONNECT, 0));
  EXPECT_EQ(api_.driver_owner(1), nullptr) << "connecting elsewhere left driver 1";
  EXPECT_FALSE(Send(first, WM_CAP_DRIVER_CONNECT, 0));
  DestroyWindow(second);
  EXPECT_TRUE(Send(first, WM_CAP_DRIVER_CONNECT, 0));
}

TEST_F(SimCamDrivers, CapabilitiesNameTheDialogsTheDriverHas) {
  const struct {
    const char* dialogs;
    BOOL format, source, display;
  } rows[] = {{"format,source,display", TRUE, TRUE, TRUE},
              {"format", TRUE, FALSE, FALSE},
              {"source,display", FALSE, TRUE, TRUE},
              {"none", FALSE, FALSE, FALSE}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.dialogs);
    Configure(std::string("driver 3 dialogs=") + row.dialogs);
    HWND window = Connected(3);
    CAPDRIVERCAPS caps{};
    std::memset(&caps, 0x55, sizeof caps);
    EXPECT_TRUE(Send(window, WM_CAP_DRIVER_GET_CAPS, 44, reinterpret_cast<LPARAM>(&caps)));
    EXPECT_EQ(caps.wDeviceIndex, 3u);
    EXPECT_EQ(caps.fHasDlgVideoFormat, row.format);
    EXPECT_EQ(caps.fHasDlgVideoSource, row.source);
    EXPECT_EQ(caps.fHasDlgVideoDisplay, row.display);
    DestroyWindow(window);
  }
  // Without a driver the block is left as it was: a caller zero-fills it first.
  HWND window = NewCaptureWindow();
  CAPDRIVERCAPS caps{};
  EXPECT_FALSE(Send(window, WM_CAP_DRIVER_GET_CAPS, 44, reinterpret_cast<LPARAM>(&caps)));
  EXPECT_FALSE(caps.fHasDlgVideoFormat);
}

TEST_F(SimCamDrivers, TheLogHoldsEveryMessageWithItsArgumentsAndResult) {
  HWND window = NewCaptureWindow();  // registers the three callbacks
  Send(window, WM_CAP_DRIVER_CONNECT, 4);
  Send(window, WM_CAP_DRIVER_CONNECT, 0);
  Send(window, WM_CAP_SET_PREVIEWRATE, 250);
  Send(window, WM_CAP_SET_SCALE, TRUE);
  DestroyWindow(window);

  const struct {
    UINT message;
    WPARAM wparam;
    LRESULT result;
    const char* detail;
  } expected[] = {
      {WM_CAP_SET_CALLBACK_ERRORA, 0, TRUE, "set"},
      {WM_CAP_SET_CALLBACK_STATUSA, 0, TRUE, "set"},
      {WM_CAP_SET_CALLBACK_FRAME, 0, TRUE, "set"},
      {WM_CAP_DRIVER_CONNECT, 4, FALSE, "driver 4: none"},
      {WM_CAP_DRIVER_CONNECT, 0, TRUE, "driver 0 connected"},
      {WM_CAP_SET_PREVIEWRATE, 250, TRUE, "250 ms"},
      {WM_CAP_SET_SCALE, TRUE, FALSE, "not simulated"},
      {WM_DESTROY, 0, 0, "destroyed, driver released"},
  };
  const std::vector<SimCamLogEntry> log = api_.Log(window);
  ASSERT_EQ(log.size(), std::size(expected));
  for (size_t i = 0; i < log.size(); ++i) {
    SCOPED_TRACE(::testing::Message() << "entry " << i << ": " << log[i].detail);
    EXPECT_EQ(log[i].message, expected[i].message);
    EXPECT_EQ(log[i].wparam, expected[i].wparam);
    EXPECT_EQ(log[i].result, expected[i].result);
    EXPECT_STREQ(log[i].detail, expected[i].detail);
  }
  EXPECT_EQ(log[0].lparam, reinterpret_cast<LPARAM>(RecordError));
  EXPECT_EQ(api_.read_log(parent_, nullptr, 0), -1) << "not a capture window";
  api_.reset();
  EXPECT_EQ(api_.read_log(window, nullptr, 0), -1) << "forgotten by the reset";
}

}  // namespace
}  // namespace zu::test
