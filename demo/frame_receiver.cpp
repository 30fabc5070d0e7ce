#include "demo/frame_receiver.h"

#include <utility>

#include "demo/capture_clock.h"

namespace zu {
namespace {

constexpr size_t kReadChunk = 256 * 1024;

}  // namespace

FrameReceiver::FrameReceiver(HWND notify, UINT message, const ReceiverOptions& options)
    : notify_(notify),
      message_(message),
      options_(options),
      stop_event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      link_(options.peer, stop_event_) {}

FrameReceiver::~FrameReceiver() {
  Stop();
  if (stop_event_) CloseHandle(stop_event_);
}

bool FrameReceiver::Open(std::string* error) { return link_.Open(error); }

void FrameReceiver::Start() {
  if (worker_.joinable() || stop_event_ == nullptr) return;
  std::string error;
  if (!Open(&error)) {
    Note(error);
    finished_ = true;
    Post();
    return;
  }
  worker_ = std::thread([this] { Run(); });
}

void FrameReceiver::Stop() {
  if (stop_event_) SetEvent(stop_event_);
  {
    // A blocked recv returns once the connection is shut down.
    std::lock_guard<std::mutex> lock(mutex_);
    if (socket_.Valid()) shutdown(socket_.Get(), SD_BOTH);
  }
  if (worker_.joinable()) worker_.join();
}

std::vector<WireFrame> FrameReceiver::TakeFrames() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<WireFrame> out;
  out.reserve(frames_.size());
  for (WireFrame& frame : frames_) out.push_back(std::move(frame));
  frames_.clear();
  return out;
}

std::vector<std::string> FrameReceiver::TakeNotes() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(notes_, {});
}

ReceiverCounts FrameReceiver::Counts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return counts_;
}

bool FrameReceiver::ReadStream(SOCKET s) {
  FrameReader reader;
  std::vector<uint8_t> chunk(kReadChunk);
  ReceivedFrame frame;
  for (;;) {
    const int got = recv(s, reinterpret_cast<char*>(chunk.data()), static_cast<int>(chunk.size()), 0);
    if (got <= 0) {
      if (WaitForSingleObject(stop_event_, 0) == WAIT_OBJECT_0) return true;
      const WireError error = got == 0 ? reader.Finish() : WireError::kCutShort;
      if (error == WireError::kNone) return true;
      Note(std::string("protocol error: ") + DescribeWireError(error) + " (" +
           std::to_string(reader.partial_bytes()) + " of " +
           std::to_string(reader.last_header().count) + " bytes" +
           (got < 0 ? ", connection failed" : "") + ")");
      return false;
    }
    const WireError error = reader.Feed(chunk.data(), static_cast<size_t>(got));
    while (reader.PopFrame(&frame)) Deliver(std::move(frame));
    if (error != WireError::kNone) {
      // What a bad header says beyond its magic means nothing; an oversized count is news.
      Note(std::string("protocol error: ") + DescribeWireError(error) +
           (error == WireError::kOversized
                ? " (count " + std::to_string(reader.last_header().count) + ")"
                : std::string()));
      return false;
    }
  }
}

void FrameReceiver::Deliver(ReceivedFrame&& received) {
  WireFrame frame;
  frame.header = received.header;
  frame.received_us = CaptureClockMicros();
  const uint32_t count = frame.header.count;
  // The string's storage holds exactly the frame's bytes; the count travels beside it.
  frame.data.Reset(
      SysAllocStringByteLen(reinterpret_cast<const char*>(received.bytes.data()), count));
  bool was_empty = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    counts_.frames++;
    counts_.bytes += count;
    if (frame.data.Get() == nullptr) {
      notes_.push_back("out of memory for a frame of " + std::to_string(count) + " bytes");
      return;
    }
    while (frames_.size() >= options_.queue_limit && !frames_.empty()) {
      frames_.pop_front();
      counts_.dropped++;
    }
    was_empty = frames_.empty();
    frames_.push_back(std::move(frame));
  }
  if (was_empty) Post();
}

void FrameReceiver::Note(std::string line) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    notes_.push_back(std::move(line));
  }
  Post();
}

void FrameReceiver::Post() { PostMessageW(notify_, message_, 0, 0); }

bool FrameReceiver::Serve(UniqueSocket s) {
  SOCKET raw = s.Get();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    counts_.connections++;
    socket_ = std::move(s);
  }
  const bool clean = ReadStream(raw);
  std::lock_guard<std::mutex> lock(mutex_);
  socket_.Reset();
  if (!clean) counts_.protocol_errors++;
  return clean;
}

void FrameReceiver::Connecting() {
  bool first = true;
  int reconnects_left = options_.reconnects;
  for (;;) {
    const DWORD patience = first ? options_.first_connect_ms : options_.reconnect_delay_ms * 5;
    UniqueSocket s = link_.Next(patience, options_.reconnect_delay_ms);
    if (WaitForSingleObject(stop_event_, 0) == WAIT_OBJECT_0) break;
    if (!s.Valid()) {
      Note("no sender on port " + std::to_string(options_.peer.port));
      break;
    }
    first = false;
    const bool clean = Serve(std::move(s));
    if (clean || reconnects_left-- <= 0) break;
    if (WaitForSingleObject(stop_event_, options_.reconnect_delay_ms) == WAIT_OBJECT_0) break;
  }
}

void FrameReceiver::Listening() {
  for (uint32_t served = 1; options_.streams == 0 || served <= options_.streams; ++served) {
    UniqueSocket s = link_.Next(PeerLink::kForever, 0);
    if (!s.Valid()) break;  // stopped
    const uint32_t before = Counts().frames;
    const bool clean = Serve(std::move(s));
    if (options_.streams != 0 && served == options_.streams) break;
    Note("stream " + std::to_string(served) + (clean ? " ended" : " broke off") + " after " +
         std::to_string(Counts().frames - before) + " frames; waiting for the next sender (" +
         link_.Describe() + ")");
  }
}

void FrameReceiver::Run() {
  if (link_.listening()) {
    Listening();
  } else {
    Connecting();
  }
  finished_ = true;
  Post();
}

}  // namespace zu
