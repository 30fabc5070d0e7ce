// The capture host's pieces under Wine, with the real capture control on the simulated camera:
// the frame road from the Capture event through the send queue and TCP into the play host's
// receiver, several controls in one process, and what the road does when its far end misbehaves
// (gone, cut, slow). Every wait below is a guard against a hang, not a measure of speed.
#include <winsock2.h>

#include <gtest/gtest.h>
#include <wrl/client.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "capture/zu_video_cap_ctl.h"
#include "codec/frame_format.h"
#include "demo/capture_session.h"
#include "demo/frame_forwarder.h"
#include "demo/frame_presenter.h"
#include "demo/frame_receiver.h"
#include "demo/host_app.h"
#include "demo/picture_check.h"
#include "demo/socket.h"
#include "demo/window_capture.h"
#include "host/control_host.h"
#include "play/zu_video_play_ctl.h"
#include "simcam/simcam_control.h"
#include "tests/support/modal_watcher.h"

namespace zu {
namespace {

using Microsoft::WRL::ComPtr;

constexpr UINT kFramesWaiting = WM_APP + 9;
constexpr DWORD kPatienceMs = 20000;  // far beyond what any wait below needs

// One receiving end as the play host has it, keeping every frame it is handed.
struct Inbox {
  std::unique_ptr<FrameReceiver> receiver;
  std::vector<WireFrame> frames;
};

// One capture road: its send queue and the control that feeds it (destroyed first).
struct Lane {
  std::unique_ptr<FrameForwarder> forwarder;
  std::unique_ptr<CaptureSession> session;
};

std::string Joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

// The size a BMP-variant frame's header gives, or 0 x 0 for anything else.
SIZE FrameSizeOf(const WireFrame& frame) {
  if (frame.header.count < kBitmapHeaderSize) return {0, 0};
  const BitmapHeader header = ReadBitmapHeader(reinterpret_cast<const uint8_t*>(frame.data.Get()));
  return {header.biWidth, header.biHeight};
}

class CaptureRoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(OleInitialize(nullptr), S_OK);
    ASSERT_TRUE(winsock_.ok());
    ASSERT_TRUE(simcam_.Bind()) << "avicap32.dll is not the simulated camera";
    simcam_.reset();
    watcher_ = std::make_unique<test::ModalWatcher>();
    window_ = CreateWindowExW(0, L"STATIC", L"capture road test",
                              WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 720, 400,
                              nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window_, nullptr);
  }

  void TearDown() override {
    lanes_.clear();
    inboxes_.clear();
    if (window_) DestroyWindow(window_);
    watcher_.reset();
    simcam_.reset();
    OleUninitialize();
  }

  void Configure(const std::string& text) {
    std::string error;
    ASSERT_TRUE(simcam_.Configure(text, &error)) << text << ": " << error;
  }

  // A play host's receiver listening on loopback (`port` 0: any), taking `streams` streams.
  Inbox* Listen(uint16_t port = 0, uint32_t streams = 1) {
    ReceiverOptions options;
    options.peer = {"127.0.0.1", port, true};
    options.queue_limit = 1024;  // every frame reaches the test
    options.streams = streams;
    auto inbox = std::make_unique<Inbox>();
    inbox->receiver = std::make_unique<FrameReceiver>(window_, kFramesWaiting, options);
    std::string error;
    EXPECT_TRUE(inbox->receiver->Open(&error)) << error;
    inbox->receiver->Start();
    inboxes_.push_back(std::move(inbox));
    return inboxes_.back().get();
  }

  // A send queue connecting to loopback `port`.
  static std::unique_ptr<FrameForwarder> Forwarder(uint16_t port, size_t queue_limit = 64) {
    ForwarderOptions options;
    options.peer = {"127.0.0.1", port, false};
    options.queue_limit = queue_limit;
    options.retry_ms = 50;
    auto forwarder = std::make_unique<FrameForwarder>(options);
    EXPECT_TRUE(forwarder->Start());
    return forwarder;
  }

  // A capture control on `settings.device`, placed at `origin` in the window and started.
  std::unique_ptr<CaptureSession> Capture(FrameForwarder* forwarder,
                                          const CaptureSettings& settings, POINT origin) {
    ComPtr<IUnknown> control;
    EXPECT_EQ(CreateComObject<ZuVideoCapCtl>(nullptr, IID_PPV_ARGS(&control)), S_OK);
    auto session = std::make_unique<CaptureSession>(
        window_, CaptureControlRect(origin, settings.width, settings.height), forwarder);
    EXPECT_EQ(session->Place(control.Get(), settings), S_OK);
    EXPECT_NE(session->ControlWindow(), nullptr);
    EXPECT_EQ(session->Start(), S_OK);
    return session;
  }

  static CaptureSettings Settings(short device, LONG width, LONG height, LONG elapse_ms = 20) {
    CaptureSettings settings;
    settings.device = device;
    settings.width = width;
    settings.height = height;
    settings.elapse_ms = elapse_ms;
    return settings;
  }

  // Runs the window's messages (the capture timers, the receivers' notices) until `done` holds
  // or the patience runs out; what the receivers hand over lands in their inboxes.
  bool PumpUntil(const std::function<bool()>& done, DWORD ms = kPatienceMs) {
    const DWORD start = GetTickCount();
    while (!done()) {
      if (GetTickCount() - start >= ms) return false;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == kFramesWaiting) {
          Collect();
        } else {
          TranslateMessage(&msg);
          DispatchMessageW(&msg);
        }
      }
    }
    return true;
  }

  void Collect() {
    for (auto& inbox : inboxes_) {
      for (WireFrame& frame : inbox->receiver->TakeFrames())
        inbox->frames.push_back(std::move(frame));
    }
  }

  WinsockSession winsock_;
  simcam::SimCamApi simcam_;
  std::unique_ptr<test::ModalWatcher> watcher_;
  HWND window_ = nullptr;
  std::vector<std::unique_ptr<Inbox>> inboxes_;
  std::vector<Lane> lanes_;
};

// The road as a user's two hosts build it, in one process: the capture control's CaptureEx
// events in PNG through the queue and TCP into the receiver, then into a play control that shows
// them, with each frame's latency measured from its capture stamp.
TEST_F(CaptureRoadTest, CaptureExFramesInPngShowInAPlayControlAtTheOtherEnd) {
  Configure("driver 0");
  Inbox* inbox = Listen();
  auto forwarder = Forwarder(inbox->receiver->port());
  CaptureSettings settings = Settings(0, 160, 120);
  settings.format = vcpFormatPNG;
  settings.ex_event = true;
  auto session = Capture(forwarder.get(), settings, {8, 8});

  ControlHost play(window_, {200, 8, 360, 128});
  ComPtr<IUnknown> made;
  ASSERT_EQ(ZuVideoPlayCtl::Create(IID_PPV_ARGS(&made)), S_OK);
  ASSERT_EQ(play.Attach(made.Get()), S_OK);
  ASSERT_EQ(play.Host(), S_OK);
  auto control = play.ControlAs<IZuVideoPlayCtl>();
  FramePresenter presenter(control.Get(), play.ControlWindow());
  ASSERT_TRUE(PumpUntil([&] {
    presenter.Present(std::exchange(inbox->frames, {}));
    return presenter.counts().shown >= 5;
  }));
  session->Stop();
  const PresenterCounts& shown = presenter.counts();
  EXPECT_EQ(shown.refused, 0u);
  EXPECT_EQ(shown.format_changes, 1u) << "the PNG flag of the wire reached the play control";
  EXPECT_EQ(shown.latencies.count(), shown.shown);
  EXPECT_EQ(session->counts().unreadable, 0u) << "CaptureEx's variant was not read";

  const Coverage picture = MeasureControlPicture(CaptureClientArea(window_), {200, 8, 360, 128});
  EXPECT_TRUE(PictureShows(picture)) << 100 * picture.Fraction() << "% in " << picture.colours;
  const Coverage preview =
      MeasureControlPicture(CaptureClientArea(window_), CaptureControlRect({8, 8}, 160, 120));
  EXPECT_TRUE(PictureShows(preview)) << 100 * preview.Fraction() << "% in " << preview.colours;
  EXPECT_TRUE(test::NoDialogs(*watcher_));
  control.Reset();
}

// Three controls, each on a driver of its own with a size of its own, each sending to its own
// receiver; the middle one is destroyed and made again while the others go on. Every receiver
// gets only frames of its own size, and the new control's frames start a new sequence.
TEST_F(CaptureRoadTest, SeveralControlsEachDeliverOnlyTheirOwnFramesWhileOneIsMadeAgain) {
  Configure("driver 0; driver 1; driver 2");
  const SIZE sizes[] = {{96, 72}, {128, 96}, {160, 120}};
  const POINT origins[] = {{8, 8}, {112, 8}, {248, 8}};
  std::vector<Inbox*> inboxes;
  for (int i = 0; i < 3; ++i) {
    inboxes.push_back(Listen());
    Lane lane;
    lane.forwarder = Forwarder(inboxes[i]->receiver->port());
    lane.session = Capture(lane.forwarder.get(),
                           Settings(static_cast<short>(i), sizes[i].cx, sizes[i].cy), origins[i]);
    lanes_.push_back(std::move(lane));
  }
  auto all_have = [&](size_t n) {
    return [&inboxes, n] {
      return std::all_of(inboxes.begin(), inboxes.end(),
                         [n](Inbox* inbox) { return inbox->frames.size() >= n; });
    };
  };
  ASSERT_TRUE(PumpUntil(all_have(5)));

  lanes_[1].session.reset();  // out of the window: its link ends with its control window
  EXPECT_EQ(simcam_.driver_owner(1), nullptr) << "the driver stayed connected";
  // What it had captured still arrives; after that, nothing from it.
  FrameForwarder& queue = *lanes_[1].forwarder;
  ASSERT_TRUE(PumpUntil([&] {
    return queue.Counts().Waiting() == 0 && inboxes[1]->frames.size() == queue.Counts().sent;
  }));
  const size_t first_run = inboxes[1]->frames.size();
  const size_t others[] = {inboxes[0]->frames.size(), inboxes[2]->frames.size()};
  ASSERT_TRUE(PumpUntil([&] {
    return inboxes[0]->frames.size() >= others[0] + 5 && inboxes[2]->frames.size() >= others[1] + 5;
  })) << "the other controls stopped when one went";
  EXPECT_EQ(inboxes[1]->frames.size(), first_run) << "frames came from a control that is gone";

  lanes_[1].session = Capture(lanes_[1].forwarder.get(), Settings(1, 128, 96), origins[1]);
  const HWND owner = simcam_.driver_owner(1);
  ASSERT_NE(owner, nullptr);
  EXPECT_EQ(GetParent(owner), lanes_[1].session->ControlWindow());
  ASSERT_TRUE(PumpUntil([&] { return inboxes[1]->frames.size() >= first_run + 5; }));

  for (int i = 0; i < 3; ++i) {
    const std::vector<WireFrame>& frames = inboxes[i]->frames;
    for (size_t f = 0; f < frames.size(); ++f) {
      const SIZE size = FrameSizeOf(frames[f]);
      ASSERT_EQ(size.cx, sizes[i].cx) << "receiver " << i << " frame " << f;
      ASSERT_EQ(size.cy, sizes[i].cy) << "receiver " << i << " frame " << f;
      ASSERT_EQ(frames[f].header.count, kBitmapHeaderSize + sizes[i].cx * sizes[i].cy * 3);
    }
    // One sequence per control: the remade one starts again at 0.
    for (size_t f = 1; f < frames.size(); ++f) {
      const bool restart = i == 1 && f == first_run;
      if (restart) {
        EXPECT_EQ(frames[f].header.sequence, 0u);
      } else {
        EXPECT_EQ(frames[f].header.sequence, frames[f - 1].header.sequence + 1)
            << "receiver " << i << " frame " << f;
      }
    }
  }
  EXPECT_TRUE(test::NoDialogs(*watcher_));
}

// A receiver that takes the connection and then reads nothing until told: the queue drops the
// oldest frames while the newest wait, and Push never waits for the network.
TEST_F(CaptureRoadTest, TheSendQueueDropsTheOldestFramesAndNeverWaitsForTheNetwork) {
  uint16_t port = 0;
  UniqueSocket listener = ListenLoopback(0, &port);
  ASSERT_TRUE(listener.Valid());
  const int small = 16 * 1024;  // taken over by the accepted socket
  setsockopt(listener.Get(), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&small),
             sizeof small);
  constexpr size_t kLimit = 3;
  constexpr uint32_t kFrames = 40, kBytes = 1024 * 1024;
  auto forwarder = Forwarder(port, kLimit);
  UniqueSocket peer(accept(listener.Get(), nullptr, nullptr));
  ASSERT_TRUE(peer.Valid());
  ASSERT_TRUE(PumpUntil([&] { return forwarder->Counts().connections == 1; }));

  std::vector<uint8_t> frame(kBytes);
  for (uint32_t i = 0; i < kFrames; ++i) {
    std::fill(frame.begin(), frame.end(), static_cast<uint8_t>(i));
    WireHeader header;
    header.count = kBytes;
    header.sequence = i;
    forwarder->Push(header, frame.data());  // with nobody reading, this must still return
  }
  const ForwarderCounts stuck = forwarder->Counts();
  EXPECT_EQ(stuck.pushed, kFrames);
  EXPECT_GT(stuck.dropped, 0u);
  EXPECT_EQ(stuck.lost, 0u);
  EXPECT_LE(stuck.Waiting(), kLimit + 1) << "more frames queued than the limit";

  // Now the receiver reads everything, and the queue empties into it.
  std::vector<uint32_t> received;
  bool whole = true;
  std::thread reader([&] {
    FrameReader stream;
    std::vector<uint8_t> chunk(256 * 1024);
    ReceivedFrame got;
    int n;
    while ((n = recv(peer.Get(), reinterpret_cast<char*>(chunk.data()),
                     static_cast<int>(chunk.size()), 0)) > 0) {
      stream.Feed(chunk.data(), static_cast<size_t>(n));
      while (stream.PopFrame(&got)) {
        whole = whole && got.bytes.size() == kBytes &&
                std::all_of(got.bytes.begin(), got.bytes.end(), [&](uint8_t b) {
                  return b == static_cast<uint8_t>(got.header.sequence);
                });
        received.push_back(got.header.sequence);
      }
    }
    whole = whole && stream.Finish() == WireError::kNone;
  });
  EXPECT_TRUE(forwarder->Finish(kPatienceMs)) << Joined(forwarder->TakeNotes());
  reader.join();

  const ForwarderCounts done = forwarder->Counts();
  EXPECT_TRUE(whole) << "a frame arrived damaged";
  EXPECT_EQ(received.size(), done.sent);
  EXPECT_EQ(done.sent + done.dropped, kFrames) << "frames went missing beyond those dropped";
  EXPECT_EQ(done.Waiting(), 0u);
  ASSERT_FALSE(received.empty());
  EXPECT_TRUE(std::is_sorted(received.begin(), received.end()));
  EXPECT_EQ(received.back(), kFrames - 1) << "the newest frame was dropped";
  // The newest frames waited and went out: the last kLimit pushed all arrived.
  for (uint32_t newest = kFrames - kLimit; newest < kFrames; ++newest) {
    EXPECT_EQ(std::count(received.begin(), received.end(), newest), 1) << "frame " << newest;
  }
}

// The play host goes away mid-stream (its socket closed with frames unread, as when its process
// is killed): the capture control goes on grabbing with nobody to send to, and the queue connects
// again as soon as a play host listens on the port once more.
TEST_F(CaptureRoadTest, APlayHostGoneMidStreamCostsFramesAndTheQueueConnectsAgain) {
  Configure("driver 0");
  Inbox* first = Listen();
  const uint16_t port = first->receiver->port();
  auto forwarder = Forwarder(port, 4);
  auto session = Capture(forwarder.get(), Settings(0, 160, 120), {8, 8});
  ASSERT_TRUE(PumpUntil([&] { return first->frames.size() >= 5; }));

  // Gone at once, connection and listening socket, as a killed process goes.
  Collect();
  const std::vector<WireFrame> before = std::move(first->frames);
  inboxes_.clear();
  const uint32_t events = session->counts().events;
  ASSERT_TRUE(PumpUntil([&] { return forwarder->Counts().failures >= 1; }))
      << Joined(forwarder->TakeNotes());
  ASSERT_TRUE(PumpUntil([&] { return session->counts().events >= events + 10; }))
      << "the capture stopped without a play host";

  Inbox* second = Listen(port);
  ASSERT_TRUE(PumpUntil([&] { return second->frames.size() >= 5; }))
      << Joined(forwarder->TakeNotes());
  session->Stop();

  // A connection made in the moment between the old play host's end and its listening socket's
  // may break off too; every connection but the last one did.
  const ForwarderCounts counts = forwarder->Counts();
  EXPECT_GE(counts.connections, 2u);
  EXPECT_EQ(counts.failures, counts.connections - 1);
  EXPECT_GE(counts.dropped + counts.lost, 1u) << "frames captured with nobody to send to";
  EXPECT_GE(counts.sent, before.size() + second->frames.size());
  EXPECT_GT(second->frames.front().header.sequence, before.back().header.sequence);
  const std::string notes = Joined(forwarder->TakeNotes());
  EXPECT_NE(notes.find("connection 1"), std::string::npos) << notes;
  EXPECT_NE(notes.find("connecting again"), std::string::npos) << notes;
  EXPECT_TRUE(test::NoDialogs(*watcher_));
}

// A capture host that dies inside a frame (its socket closed with half a frame written): the
// play host's receiver reports the stream that broke off, waits, and takes the next capture host.
TEST_F(CaptureRoadTest, ACaptureHostGoneInsideAFrameIsReportedAndTheNextOneServed) {
  Configure("driver 0");
  Inbox* inbox = Listen(0, 2);
  {
    UniqueSocket dying = ConnectLoopback(inbox->receiver->port());
    ASSERT_TRUE(dying.Valid());
    std::vector<uint8_t> frame(kBitmapHeaderSize + 32 * 24 * 3, 0x40);
    WireHeader header;
    header.count = static_cast<uint32_t>(frame.size());
    const std::vector<uint8_t> message = WireMessage(header, frame.data());
    ASSERT_TRUE(SendAll(dying.Get(), message.data(), message.size()));
    ASSERT_TRUE(SendAll(dying.Get(), message.data(), message.size() / 2));
  }
  ASSERT_TRUE(PumpUntil([&] { return inbox->receiver->Counts().protocol_errors == 1; }));

  auto forwarder = Forwarder(inbox->receiver->port());
  auto session = Capture(forwarder.get(), Settings(0, 160, 120), {8, 8});
  ASSERT_TRUE(PumpUntil([&] { return inbox->frames.size() >= 6; }));
  session->Stop();
  EXPECT_TRUE(forwarder->Finish(kPatienceMs));
  ASSERT_TRUE(PumpUntil([&] { return inbox->receiver->Finished(); }));

  const ReceiverCounts counts = inbox->receiver->Counts();
  EXPECT_EQ(counts.connections, 2u);
  EXPECT_EQ(counts.protocol_errors, 1u);
  Collect();
  EXPECT_EQ(counts.frames, forwarder->Counts().sent + 1) << "the whole frame of the first host";
  EXPECT_EQ(FrameSizeOf(inbox->frames[1]).cx, 160) << "the next host's frames";
  const std::string notes = Joined(inbox->receiver->TakeNotes());
  EXPECT_NE(notes.find("ended inside a frame"), std::string::npos) << notes;
  EXPECT_NE(notes.find("stream 1 broke off after 1 frames; waiting for the next sender"),
            std::string::npos)
      << notes;
}

// A relay between the two ends that cuts its first connection inside the second frame: that
// stream ends for both ends, the queue connects again through the relay, and the receiver, told
// of a stream cut short, takes the next one.
TEST_F(CaptureRoadTest, ANetworkCutInsideAFrameEndsOnlyThatStream) {
  Configure("driver 0");
  Inbox* inbox = Listen(0, 2);
  const uint16_t target = inbox->receiver->port();
  constexpr size_t kFrameBytes = kWireHeaderBytes + kBitmapHeaderSize + 160 * 120 * 3;
  uint16_t relay_port = 0;
  UniqueSocket relay_listener = ListenLoopback(0, &relay_port);
  ASSERT_TRUE(relay_listener.Valid());
  std::atomic<bool> cut{false};
  std::thread relay([&] {
    for (int connection = 0; connection < 2; ++connection) {
      UniqueSocket from(accept(relay_listener.Get(), nullptr, nullptr));
      UniqueSocket to = ConnectLoopback(target);
      if (!from.Valid() || !to.Valid()) return;
      // The first connection carries a frame and a half, then the network goes.
      size_t budget = connection == 0 ? kFrameBytes + kFrameBytes / 2 : SIZE_MAX;
      std::vector<char> chunk(64 * 1024);
      int n;
      while (budget > 0 && (n = recv(from.Get(), chunk.data(),
                                     static_cast<int>(std::min(chunk.size(), budget)), 0)) > 0) {
        if (!SendAll(to.Get(), reinterpret_cast<uint8_t*>(chunk.data()), static_cast<size_t>(n)))
          break;
        budget -= static_cast<size_t>(n);
      }
      if (connection == 0) cut = true;
    }
  });
  auto forwarder = Forwarder(relay_port);
  auto session = Capture(forwarder.get(), Settings(0, 160, 120), {8, 8});
  ASSERT_TRUE(PumpUntil([&] { return cut && inbox->receiver->Counts().connections == 2; }))
      << Joined(forwarder->TakeNotes());
  const size_t after_cut = inbox->frames.size();
  ASSERT_TRUE(PumpUntil([&] { return inbox->frames.size() >= after_cut + 5; }));
  session->Stop();
  EXPECT_TRUE(forwarder->Finish(kPatienceMs));
  relay.join();
  ASSERT_TRUE(PumpUntil([&] { return inbox->receiver->Finished(); }));
  Collect();

  const ReceiverCounts wire = inbox->receiver->Counts();
  const ForwarderCounts sent = forwarder->Counts();
  EXPECT_EQ(wire.protocol_errors, 1u);
  EXPECT_EQ(sent.connections, 2u);
  EXPECT_GE(sent.failures, 1u);
  // Whatever the first connection's buffers held past the cut never arrived; nothing else is
  // missing, and nothing arrived twice.
  EXPECT_LE(wire.frames, sent.sent);
  std::set<uint32_t> sequences;
  for (const WireFrame& frame : inbox->frames) {
    EXPECT_EQ(frame.header.count, kFrameBytes - kWireHeaderBytes);
    EXPECT_TRUE(sequences.insert(frame.header.sequence).second) << frame.header.sequence;
  }
  EXPECT_EQ(sent.pushed, sent.sent + sent.dropped + sent.lost);
  const std::string notes = Joined(inbox->receiver->TakeNotes());
  EXPECT_NE(notes.find("ended inside a frame"), std::string::npos) << notes;
}

// A receiver that reads a little at a time: the capture goes on at its own pace, frames are
// dropped at the queue, and every frame that arrives is whole and in order.
TEST_F(CaptureRoadTest, ASlowReaderCostsDroppedFramesAndEveryFrameArrivesWhole) {
  Configure("driver 0");
  uint16_t port = 0;
  UniqueSocket listener = ListenLoopback(0, &port);
  ASSERT_TRUE(listener.Valid());
  const int small = 16 * 1024;
  setsockopt(listener.Get(), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&small),
             sizeof small);
  std::vector<ReceivedFrame> received;
  WireError ending = WireError::kNone;
  std::thread reader([&] {
    UniqueSocket peer(accept(listener.Get(), nullptr, nullptr));
    FrameReader stream;
    char chunk[16 * 1024];
    ReceivedFrame got;
    int n;
    while ((n = recv(peer.Get(), chunk, sizeof chunk, 0)) > 0) {
      stream.Feed(reinterpret_cast<uint8_t*>(chunk), static_cast<size_t>(n));
      while (stream.PopFrame(&got)) received.push_back(std::move(got));
      Sleep(5);
    }
    ending = stream.Finish();
  });
  auto forwarder = Forwarder(port, 4);
  auto session = Capture(forwarder.get(), Settings(0, 320, 240, 10), {8, 8});
  ASSERT_TRUE(PumpUntil([&] { return session->counts().events >= 60; }))
      << "the capture waited for the reader";
  session->Stop();
  EXPECT_TRUE(forwarder->Finish(kPatienceMs));
  reader.join();

  const ForwarderCounts counts = forwarder->Counts();
  EXPECT_EQ(counts.pushed, session->counts().events);
  EXPECT_GT(counts.dropped, 0u) << "a reader this slow kept up";
  EXPECT_EQ(counts.lost, 0u);
  EXPECT_EQ(counts.sent + counts.dropped, counts.pushed);
  EXPECT_EQ(received.size(), counts.sent);
  EXPECT_EQ(ending, WireError::kNone) << "the stream did not end cleanly";
  for (size_t i = 0; i < received.size(); ++i) {
    EXPECT_EQ(CheckFrame(received[i].bytes.data(), static_cast<int64_t>(received[i].bytes.size())),
              FrameVerdict::kOk)
        << i;
    if (i > 0) {
      EXPECT_GT(received[i].header.sequence, received[i - 1].header.sequence) << i;
    }
  }
  EXPECT_TRUE(test::NoDialogs(*watcher_));
}

}  // namespace
}  // namespace zu
