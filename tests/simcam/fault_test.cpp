// Each scripted fault, seen as a capture client sees it. (A failing capCreateCaptureWindow is
// with the creation tests.)
#include <functional>
#include <string>
#include <vector>

#include "codec/frame_format.h"
#include "tests/simcam/simcam_test_support.h"
#include "tests/support/modal_watcher.h"

namespace zu::test {
namespace {

using SimCamFaults = SimCamTest;

TEST_F(SimCamFaults, EachFaultShowsAsTheClientWouldMeetIt) {
  struct Row {
    const char* name;
    const char* config;
    std::function<void()> check;
  };
  const Row rows[] = {
      {"no driver at all", "", [&] {
         HWND window = NewCaptureWindow();
         for (WPARAM i = 0; i < 10; ++i) EXPECT_FALSE(Send(window, WM_CAP_DRIVER_CONNECT, i));
         EXPECT_EQ(Send(window, WM_CAP_GET_VIDEOFORMAT), 0);
         EXPECT_FALSE(api_.push_frame(window));
       }},
      {"a driver that refuses to connect", "driver 0 faults=refuse-connect; driver 1", [&] {
         HWND window = NewCaptureWindow();
         EXPECT_TRUE(capGetDriverDescriptionA(0, nullptr, 0, nullptr, 0)) << "it is installed";
         EXPECT_FALSE(Send(window, WM_CAP_DRIVER_CONNECT, 0));
         EXPECT_EQ(api_.driver_owner(0), nullptr);
         ASSERT_EQ(Callbacks().errors.size(), 1u);
         EXPECT_EQ(Callbacks().errors[0].id, SIMCAM_ERROR_CONNECT);
         EXPECT_NE(Callbacks().errors[0].text.find("refused"), std::string::npos);
         EXPECT_TRUE(Send(window, WM_CAP_DRIVER_CONNECT, 1)) << "the other driver is fine";
       }},
      {"a format refused", "driver 0 faults=refuse-format", [&] {
         HWND window = Connected();
         std::vector<uint8_t> own = QueryFormat(window);
         ASSERT_EQ(own.size(), 40u);
         own.resize(44, 0);
         EXPECT_FALSE(Send(window, WM_CAP_SET_VIDEOFORMAT, 44, reinterpret_cast<LPARAM>(own.data())))
             << "even its own format";
         ASSERT_EQ(Callbacks().errors.size(), 1u);
         EXPECT_EQ(Callbacks().errors[0].id, SIMCAM_ERROR_FORMAT);
       }},
      {"a get-format that fails", "driver 0 faults=get-format-fails", [&] {
         HWND window = Connected();
         std::vector<uint8_t> buffer(1064);
         EXPECT_EQ(Send(window, WM_CAP_GET_VIDEOFORMAT), 0);
         EXPECT_EQ(Send(window, WM_CAP_GET_VIDEOFORMAT, 1064, reinterpret_cast<LPARAM>(buffer.data())), 0);
         ASSERT_FALSE(Callbacks().errors.empty());
         EXPECT_EQ(Callbacks().errors[0].id, SIMCAM_ERROR_FORMAT);
         EXPECT_TRUE(api_.push_frame(window)) << "frames still come";
         ASSERT_EQ(Callbacks().frames.size(), 1u);
         EXPECT_TRUE(Callbacks().frames[0].format.empty());
         EXPECT_GT(Callbacks().frames[0].bytes_used, 0u);
       }},
      {"frames without bytes", "driver 0 format=80x60x24 faults=empty-frames", [&] {
         HWND window = Connected();
         ASSERT_TRUE(api_.push_frame(window));
         ASSERT_EQ(Callbacks().frames.size(), 1u);
         EXPECT_EQ(Callbacks().frames[0].bytes_used, 0u);
         EXPECT_EQ(Callbacks().frames[0].buffer_length, 80u * 3 * 60);
       }},
      {"frames shorter than the format", "driver 0 format=80x60x24 faults=short-frames", [&] {
         HWND window = Connected();
         ASSERT_TRUE(api_.push_frame(window));
         ASSERT_EQ(Callbacks().frames.size(), 1u);
         const FrameRecord& frame = Callbacks().frames[0];
         EXPECT_EQ(frame.bytes_used, 80u * 3 * 60 / 2);
         const std::vector<uint8_t> packed = PackedFrame(frame);
         EXPECT_EQ(CheckFrame(packed.data(), static_cast<int64_t>(packed.size())),
                   FrameVerdict::kRowsTruncated);
       }},
      {"a table longer than 256 entries", "driver 0 format=80x60x8 faults=colors-over-256", [&] {
         HWND window = Connected();
         EXPECT_EQ(Send(window, WM_CAP_GET_VIDEOFORMAT), 40 + 4 * 300);
         std::vector<uint8_t> query(1064 + 16, 0xEE);
         EXPECT_EQ(Send(window, WM_CAP_GET_VIDEOFORMAT, 1064, reinterpret_cast<LPARAM>(query.data())), 1064);
         EXPECT_EQ(query[1064], 0xEE) << "no more than asked";
         EXPECT_EQ(ReadBitmapHeader(query.data()).biClrUsed, 300u);
         ASSERT_TRUE(api_.push_frame(window));
         const std::vector<uint8_t> packed = PackedFrame(Callbacks().frames.at(0));
         EXPECT_EQ(CheckFrame(packed.data(), static_cast<int64_t>(packed.size())),
                   FrameVerdict::kTooManyColors);
       }},
      {"a driver without dialogs", "driver 0 faults=no-dialogs", [&] {
         HWND window = Connected();
         CAPDRIVERCAPS caps{};
         ASSERT_TRUE(Send(window, WM_CAP_DRIVER_GET_CAPS, 44, reinterpret_cast<LPARAM>(&caps)));
         EXPECT_FALSE(caps.fHasDlgVideoFormat || caps.fHasDlgVideoSource || caps.fHasDlgVideoDisplay);
         ModalWatcher watcher;
         EXPECT_FALSE(Send(window, WM_CAP_DLG_VIDEOFORMAT));
         EXPECT_FALSE(Send(window, WM_CAP_DLG_VIDEOSOURCE));
         EXPECT_FALSE(Send(window, WM_CAP_DLG_VIDEODISPLAY));
         EXPECT_TRUE(NoDialogs(watcher));
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Configure(row.config);
    Callbacks() = CallbackLog{};
    row.check();
    // Nothing outlives its row: the next one starts with free drivers.
    HWND child;
    while ((child = GetWindow(parent_, GW_CHILD)) != nullptr) DestroyWindow(child);
    api_.reset();
  }
}

TEST_F(SimCamFaults, AFaultScriptedMidwayReachesAConnectedWindow) {
  HWND window = Connected();
  BITMAPINFOHEADER format{sizeof(BITMAPINFOHEADER), 160, 120, 1, 8, BI_RGB, 0, 0, 0, 0, 0};
  ASSERT_TRUE(Send(window, WM_CAP_SET_VIDEOFORMAT, sizeof format, reinterpret_cast<LPARAM>(&format)));

  Configure("driver 0 faults=empty-frames");
  EXPECT_EQ(api_.driver_owner(0), window) << "still connected";
  ASSERT_TRUE(api_.push_frame(window));
  EXPECT_EQ(Callbacks().frames.back().bytes_used, 0u);
  EXPECT_EQ(Callbacks().frames.back().buffer_length, 160u * 120) << "the format it set stays";

  Configure("driver 0");
  ASSERT_TRUE(api_.push_frame(window));
  EXPECT_EQ(Callbacks().frames.back().bytes_used, 160u * 120);

  Configure("driver 1");
  EXPECT_FALSE(api_.push_frame(window)) << "its driver is gone";
  EXPECT_FALSE(Send(window, WM_CAP_DRIVER_DISCONNECT));
}

}  // namespace
}  // namespace zu::test
