#include "demo/frame_forwarder.h"

#include <cstring>
#include <utility>

namespace zu {
namespace {

// How often a worker with nothing to send looks whether its peer has gone, and how often one
// without a peer looks whether it is asked to finish.
constexpr DWORD kIdleCheckMs = 100;
constexpr DWORD kConnectSliceMs = 250;
// How long a cleanly ended stream waits for the peer to close its end.
constexpr DWORD kCloseWaitMs = 2000;

}  // namespace

FrameForwarder::FrameForwarder(const ForwarderOptions& options)
    : options_(options),
      stop_event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      wake_event_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      done_event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      link_(options.peer, stop_event_) {}

FrameForwarder::~FrameForwarder() {
  Stop();
  for (HANDLE event : {stop_event_, wake_event_, done_event_}) {
    if (event) CloseHandle(event);
  }
}

bool FrameForwarder::Open(std::string* error) { return link_.Open(error); }

bool FrameForwarder::Start(std::string* error) {
  if (worker_.joinable()) return true;
  if (!stop_event_ || !wake_event_ || !done_event_) {
    if (error) *error = "no events for the sending thread";
    return false;
  }
  if (!Open(error)) return false;
  worker_ = std::thread([this] { Run(); });
  return true;
}

void FrameForwarder::Push(const WireHeader& header, const uint8_t* frame) {
  Buffer buffer;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    counts_.pushed++;
    if (!spare_.empty()) {
      buffer = std::move(spare_.back());
      spare_.pop_back();
    }
  }
  // The copy is the only work done on the caller's thread, and it holds no lock.
  buffer.resize(kWireHeaderBytes + static_cast<size_t>(header.count));
  WriteWireHeader(header, buffer.data());
  if (header.count != 0) std::memcpy(buffer.data() + kWireHeaderBytes, frame, header.count);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    while (!queue_.empty() && queue_.size() >= options_.queue_limit) {
      spare_.push_back(std::move(queue_.front()));
      queue_.pop_front();
      counts_.dropped++;
    }
    queue_.push_back(std::move(buffer));
  }
  SetEvent(wake_event_);
}

bool FrameForwarder::Finish(DWORD ms) {
  if (!worker_.joinable()) return true;
  finishing_ = true;
  SetEvent(wake_event_);
  const bool ended = WaitForSingleObject(done_event_, ms) == WAIT_OBJECT_0;
  Stop();
  return ended && clean_end_;
}

void FrameForwarder::Stop() {
  if (stop_event_) SetEvent(stop_event_);
  {
    // A blocked send returns once the connection is shut down.
    std::lock_guard<std::mutex> lock(mutex_);
    if (socket_.Valid()) shutdown(socket_.Get(), SD_BOTH);
  }
  if (worker_.joinable()) worker_.join();
}

ForwarderCounts FrameForwarder::Counts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return counts_;
}

std::vector<std::string> FrameForwarder::TakeNotes() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(notes_, {});
}

void FrameForwarder::Note(std::string line) {
  std::lock_guard<std::mutex> lock(mutex_);
  notes_.push_back(std::move(line));
}

void FrameForwarder::Disconnect(const std::string& why) {
  uint32_t connection = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    socket_.Reset();
    counts_.failures++;
    connection = counts_.connections;
  }
  Note("connection " + std::to_string(connection) + " " + why + "; " +
       (link_.listening() ? "waiting for the next peer" : "connecting again"));
}

bool FrameForwarder::SendNext(SOCKET s) {
  // The peer never writes: anything to read is its end of the stream. Seen before a write, a
  // peer that went away costs no frame.
  if (PeerHasGone(s)) {
    Disconnect("ended by the peer");
    return false;
  }
  Buffer frame;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!queue_.empty()) {
      frame = std::move(queue_.front());
      queue_.pop_front();
    }
  }
  if (frame.empty()) {
    if (finishing_) {
      CloseCleanly(s);
      return false;
    }
    const HANDLE events[] = {stop_event_, wake_event_};
    WaitForMultipleObjects(2, events, FALSE, kIdleCheckMs);
    return true;
  }
  const bool written = SendAll(s, frame.data(), frame.size());
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (written) {
      counts_.sent++;
      counts_.bytes_sent += frame.size() - kWireHeaderBytes;
    } else {
      counts_.lost++;
    }
    spare_.push_back(std::move(frame));
  }
  if (!written) Disconnect("failed while sending a frame");
  return written;
}

void FrameForwarder::CloseCleanly(SOCKET s) {
  shutdown(s, SD_SEND);
  const DWORD start = GetTickCount();
  char sink[256];
  while (GetTickCount() - start < kCloseWaitMs && !Stopping()) {
    if (WaitReadable(s, kIdleCheckMs) && recv(s, sink, sizeof sink, 0) <= 0) break;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  socket_.Reset();
  clean_end_ = true;
}

void FrameForwarder::Run() {
  while (!Stopping()) {
    bool idle = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      idle = queue_.empty();
    }
    if (finishing_ && idle) {
      clean_end_ = true;  // nothing left to send and no peer to tell
      break;
    }
    UniqueSocket s = link_.Next(kConnectSliceMs, options_.retry_ms);
    if (!s.Valid()) continue;
    const SOCKET raw = s.Get();
    uint32_t connection = 0;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      connection = ++counts_.connections;
      socket_ = std::move(s);
    }
    Note("connection " + std::to_string(connection) + " made (" + link_.Describe() + ")");
    while (!Stopping() && SendNext(raw)) {
    }
    if (clean_end_) break;
    std::lock_guard<std::mutex> lock(mutex_);
    socket_.Reset();
  }
  SetEvent(done_event_);
}

}  // namespace zu
