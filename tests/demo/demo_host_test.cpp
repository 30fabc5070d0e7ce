// The host's pieces under Wine with the real play control: the container sites it in place in
// run mode, and the receiver and presenter carry on past senders that misbehave.
#include <winsock2.h>

#include <gtest/gtest.h>
#include <wrl/client.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "demo/capture_clock.h"
#include "demo/frame_presenter.h"
#include "demo/frame_receiver.h"
#include "demo/frame_source.h"
#include "demo/picture_check.h"
#include "demo/sender_fault.h"
#include "demo/socket.h"
#include "demo/window_capture.h"
#include "host/control_host.h"
#include "play/zu_video_play_ctl.h"

namespace zu {
namespace {

using Microsoft::WRL::ComPtr;
using Bytes = std::vector<uint8_t>;

constexpr UINT kFramesWaiting = WM_APP + 7;
constexpr RECT kPosition = {10, 20, 170, 140};  // 160 x 120, off the origin
constexpr int kFrameWidth = 160, kFrameHeight = 120;

uint32_t FaceColour() {
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  return (uint32_t{GetRValue(face)} << 16) | (uint32_t{GetGValue(face)} << 8) | GetBValue(face);
}

class DemoHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    ASSERT_TRUE(winsock_.ok());
    window_ = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"demo host test",
                              WS_POPUP | WS_CLIPCHILDREN, 0, 0, 200, 180, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window_, nullptr);
    ShowWindow(window_, SW_SHOWNOACTIVATE);
    host_ = std::make_unique<ControlHost>(window_, kPosition);
    ComPtr<IUnknown> made;
    ASSERT_EQ(ZuVideoPlayCtl::Create(IID_PPV_ARGS(&made)), S_OK);
    ASSERT_EQ(host_->Attach(made.Get()), S_OK);
    ASSERT_EQ(host_->Host(), S_OK);
    control_ = host_->ControlAs<IZuVideoPlayCtl>();
    ASSERT_TRUE(control_);
  }
  void TearDown() override {
    control_.Reset();
    host_.reset();
    if (window_) DestroyWindow(window_);
    OleUninitialize();
  }

  // Feeds the presenter until the receiver is done, or `ms` have passed.
  void Pump(FrameReceiver& receiver, FramePresenter& presenter, DWORD ms) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == kFramesWaiting) {
          presenter.Present(receiver.TakeFrames());
        } else {
          DispatchMessageW(&msg);
        }
      }
      if (receiver.Finished()) break;
    }
    presenter.Present(receiver.TakeFrames());
  }

  // A frame of the synthetic source as the receiver hands it on, stamped now.
  static WireFrame Frame(WireFormat format, uint32_t index) {
    const Bytes bytes = SynthFrameSource(kFrameWidth, kFrameHeight, format).Frame(index);
    WireFrame frame;
    frame.header.format = format;
    frame.header.count = static_cast<uint32_t>(bytes.size());
    frame.header.sequence = index;
    frame.header.capture_us = CaptureClockMicros();
    frame.data.Reset(
        SysAllocStringByteLen(reinterpret_cast<const char*>(bytes.data()), frame.header.count));
    return frame;
  }

  WinsockSession winsock_;
  HWND window_ = nullptr;
  std::unique_ptr<ControlHost> host_;
  ComPtr<IZuVideoPlayCtl> control_;
};

TEST_F(DemoHostTest, SitesTheControlInPlaceInItsWindowAtThePosition) {
  const HWND control_window = host_->ControlWindow();
  ASSERT_NE(control_window, nullptr);
  EXPECT_TRUE(host_->InPlaceActive());
  EXPECT_EQ(GetParent(control_window), window_);
  RECT placed;
  GetWindowRect(control_window, &placed);
  MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&placed), 2);
  EXPECT_EQ(placed.left, kPosition.left);
  EXPECT_EQ(placed.top, kPosition.top);
  EXPECT_EQ(placed.right, kPosition.right);
  EXPECT_EQ(placed.bottom, kPosition.bottom);
}

// The control draws frames only when the container says it runs in user mode.
TEST_F(DemoHostTest, AFrameHandedInShowsInTheHostWindow) {
  const HWND control_window = host_->ControlWindow();
  ASSERT_NE(control_window, nullptr);
  std::vector<WireFrame> batch;
  batch.push_back(Frame(WireFormat::kBmp, 3));
  FramePresenter presenter(control_.Get(), control_window);
  presenter.Present(std::move(batch));
  EXPECT_EQ(presenter.counts().taken, 1u);
  EXPECT_EQ(presenter.counts().shown, 1u);
  EXPECT_EQ(presenter.counts().format_changes, 0u);

  const Bytes shot = CaptureClientArea(window_);
  const Coverage inside = MeasureCoverage(
      shot, {kPosition.left + 2, kPosition.top + 2, kPosition.right - 2, kPosition.bottom - 2},
      FaceColour());
  EXPECT_TRUE(PictureShows(inside)) << 100 * inside.Fraction() << "% in " << inside.colours << " colours";
  // Beside the control the host's own flat background stays.
  EXPECT_FALSE(PictureShows(MeasureCoverage(shot, {kPosition.right + 2, 0, 200, 180}, FaceColour())));
}

// The variant travels in each frame's header; the control is told when it changes, and the
// latency of each shown frame is measured from its capture stamp.
TEST_F(DemoHostTest, TheControlsFrameFormatFollowsTheWire) {
  FramePresenter presenter(control_.Get(), host_->ControlWindow());
  const WireFormat formats[] = {WireFormat::kPng, WireFormat::kPng, WireFormat::kBmp};
  for (uint32_t i = 0; i < 3; ++i) {
    std::vector<WireFrame> batch;
    batch.push_back(Frame(formats[i], i));
    presenter.Present(std::move(batch));
    VpyFrameFormat format = vpyFormatBMP;
    ASSERT_EQ(control_->get_FrameFormat(&format), S_OK);
    EXPECT_EQ(format, formats[i] == WireFormat::kPng ? vpyFormatPNG : vpyFormatBMP) << i;
  }
  EXPECT_EQ(presenter.counts().taken, 3u) << "a PNG frame read as BMP is refused";
  EXPECT_EQ(presenter.counts().format_changes, 2u);
  EXPECT_EQ(presenter.counts().shown, 3u);
  // Stamped just before it was handed in, so well under the test's own run time.
  EXPECT_GT(presenter.counts().latency_max, 0.0);
  EXPECT_LT(presenter.counts().latency_max, 60.0);
}

// A batch of frames gets one paint, and the frames before the last are replaced unshown; asked
// to, the presenter paints each one, and every frame of the batch shows.
TEST_F(DemoHostTest, ABatchGetsOnePaintUnlessEveryFrameIsToBePainted) {
  for (const bool every : {false, true}) {
    FramePresenter presenter(control_.Get(), host_->ControlWindow());
    presenter.set_paint_every_frame(every);
    std::vector<WireFrame> batch;
    for (uint32_t i = 0; i < 3; ++i) batch.push_back(Frame(WireFormat::kBmp, i));
    presenter.Present(std::move(batch));
    const PresenterCounts& counts = presenter.counts();
    EXPECT_EQ(counts.taken, 3u) << every;
    EXPECT_EQ(counts.shown, every ? 3u : 1u) << every;
    EXPECT_EQ(counts.replaced, every ? 0u : 2u) << every;
    EXPECT_EQ(counts.paints, counts.shown) << every;
    EXPECT_EQ(counts.latencies.count(), counts.shown) << every;
  }
}

// The play control names a default source interface but offers no connection point for it:
// the host connects no sink, and hosting goes on as before.
TEST_F(DemoHostTest, ThePlayControlFiresNoEventsAndHostingGoesOn) {
  IID events = GUID_NULL;
  EXPECT_EQ(host_->EventInterface(&events), S_OK);
  EXPECT_TRUE(IsEqualIID(events, DIID__IZuVideoPlayCtlEvents));
  auto alive = std::make_shared<int>(0);
  DWORD cookie = 1;
  EXPECT_EQ(host_->AdviseEvents([alive](DISPID, DISPPARAMS*) { return S_OK; }, &cookie), S_FALSE);
  EXPECT_EQ(cookie, 0u);
  EXPECT_EQ(host_->EventConnections(), 0u);
  EXPECT_EQ(alive.use_count(), 1) << "the sink made for the events was kept";
  EXPECT_TRUE(host_->InPlaceActive());
  EXPECT_NE(host_->ControlWindow(), nullptr);
  EXPECT_EQ(host_->Unhost(), S_OK);
}

// A sender on loopback that plays a script of connections, each a list of wire messages.
class ScriptedSender {
 public:
  explicit ScriptedSender(std::vector<std::vector<FaultyMessage>> connections)
      : connections_(std::move(connections)) {
    listener_ = ListenLoopback(0, &port_);
    thread_ = std::thread([this] { Run(); });
  }
  ~ScriptedSender() {
    listener_.Reset();  // an accept still waiting fails
    if (thread_.joinable()) thread_.join();
  }
  uint16_t port() const { return port_; }

 private:
  void Run() {
    for (const auto& messages : connections_) {
      UniqueSocket peer(accept(listener_.Get(), nullptr, nullptr));
      if (!peer.Valid()) return;
      for (const FaultyMessage& m : messages) {
        // A host that gave up on the stream makes further sends fail; the script goes on.
        if (!SendAll(peer.Get(), m.bytes.data(), m.bytes.size()) || m.close_after) break;
      }
      shutdown(peer.Get(), SD_SEND);
      // Lets the host read to the end before the socket goes.
      char sink[4096];
      while (recv(peer.Get(), sink, sizeof sink, 0) > 0) {
      }
    }
  }

  std::vector<std::vector<FaultyMessage>> connections_;
  UniqueSocket listener_;
  uint16_t port_ = 0;
  std::thread thread_;
};

TEST_F(DemoHostTest, GoesOnPastGarbageTruncationDropsAndOversizedCounts) {
  const SynthFrameSource source(kFrameWidth, kFrameHeight, WireFormat::kBmp);
  auto message = [&](SenderFault fault, uint32_t index) {
    WireHeader header;
    header.sequence = index;
    return MakeFaultyMessage(fault, header, source.Frame(index));
  };
  ScriptedSender sender({
      {message(SenderFault::kNone, 0), message(SenderFault::kGarbage, 1),
       message(SenderFault::kTruncated, 2), message(SenderFault::kNone, 3),
       message(SenderFault::kDrop, 4)},
      {message(SenderFault::kNone, 5), message(SenderFault::kOversized, 6)},
      {message(SenderFault::kNone, 7), message(SenderFault::kNone, 8)},
  });
  ASSERT_NE(sender.port(), 0);
  ReceiverOptions options;
  options.peer = {"127.0.0.1", sender.port(), false};
  options.queue_limit = 64;  // every frame reaches the control
  options.first_connect_ms = 5000;
  FrameReceiver receiver(window_, kFramesWaiting, options);
  FramePresenter presenter(control_.Get(), host_->ControlWindow());
  receiver.Start();
  Pump(receiver, presenter, 20000);
  ASSERT_TRUE(receiver.Finished());
  receiver.Stop();

  const ReceiverCounts wire = receiver.Counts();
  EXPECT_EQ(wire.connections, 3u);
  EXPECT_EQ(wire.protocol_errors, 2u);  // the drop, the oversized count
  EXPECT_EQ(wire.frames, 7u);           // 0 1 2 3 | 5 | 7 8
  EXPECT_EQ(wire.dropped, 0u);
  const PresenterCounts& shown = presenter.counts();
  EXPECT_EQ(shown.refused, 2u);  // the garbage, the truncated frame
  EXPECT_EQ(shown.taken, 5u);
  EXPECT_GE(shown.shown, 1u);
  std::vector<std::string> notes = receiver.TakeNotes();
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_NE(notes[0].find("ended inside a frame"), std::string::npos) << notes[0];
  EXPECT_NE(notes[1].find("above the limit"), std::string::npos) << notes[1];
}

TEST_F(DemoHostTest, NoSenderEndsTheReceptionWithANote) {
  uint16_t port = 0;
  { UniqueSocket probe = ListenLoopback(0, &port); }  // a port nobody listens on any more
  ReceiverOptions options;
  options.peer = {"127.0.0.1", port, false};
  options.first_connect_ms = 300;
  FrameReceiver receiver(window_, kFramesWaiting, options);
  FramePresenter presenter(control_.Get(), host_->ControlWindow());
  receiver.Start();
  Pump(receiver, presenter, 5000);
  EXPECT_TRUE(receiver.Finished());
  EXPECT_EQ(receiver.Counts().connections, 0u);
  const std::vector<std::string> notes = receiver.TakeNotes();
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_NE(notes[0].find("no sender"), std::string::npos) << notes[0];
}

}  // namespace
}  // namespace zu
