// FrameReceiver: the play host's end of the wire. A worker thread connects to the sender, or
// listens for it, reads the stream with a FrameReader and hands each whole frame, already in an
// automation string of its byte count, to the window's thread: it queues the frame and posts
// `message` to `notify` when the queue was empty. The window's thread takes the frames with
// TakeFrames; the control itself is only ever called there.
//
// When the window's thread falls behind, the oldest waiting frame makes room for the newest (a
// live picture wants the latest frame, not a backlog); Counts().dropped says how many.
// Connecting, a protocol error or a connection lost inside a frame is noted and the receiver
// connects again; a stream that ends cleanly, or a sender that cannot be reached, ends the
// reception. Listening, every stream's end is noted and the next sender is waited for, until
// `streams` streams have ended (0: until Stop).
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "demo/demo_options.h"
#include "demo/peer_link.h"
#include "demo/socket.h"
#include "demo/wire_protocol.h"
#include "shell/com_util.h"

namespace zu {

struct WireFrame {
  Bstr data;          // the bytes, in a string of at least header.count bytes
  WireHeader header;  // as it came: the byte count, the variant, sequence and capture time
  uint64_t received_us = 0;  // capture clock when its last byte was read
};

struct ReceiverOptions {
  Endpoint peer;
  size_t queue_limit = 4;
  DWORD first_connect_ms = 10000;  // connecting: the sender may still be starting
  int reconnects = 3;              // connecting: after errors, before giving up
  DWORD reconnect_delay_ms = 200;
  uint32_t streams = 1;            // listening: streams to take; 0 no limit
};

struct ReceiverCounts {
  uint32_t connections = 0;
  uint32_t protocol_errors = 0;
  uint32_t frames = 0;
  uint32_t dropped = 0;
  uint64_t bytes = 0;  // frame bytes, without headers
};

class FrameReceiver {
 public:
  FrameReceiver(HWND notify, UINT message, const ReceiverOptions& options);
  ~FrameReceiver();  // Stop
  FrameReceiver(const FrameReceiver&) = delete;
  FrameReceiver& operator=(const FrameReceiver&) = delete;

  // Listening: binds now, so that port() is known before the sender starts. False, with what
  // went wrong, when the address cannot be had.
  bool Open(std::string* error);
  uint16_t port() const { return link_.port(); }
  // Opens when that was not done, then starts the worker.
  void Start();
  // Ends the connection and the worker; safe to call twice.
  void Stop();

  // Window thread: the frames waiting, oldest first.
  std::vector<WireFrame> TakeFrames();
  // Window thread: what happened on the wire since the last call, one line each.
  std::vector<std::string> TakeNotes();
  ReceiverCounts Counts() const;
  // The worker is done: clean end of stream, or no sender to connect to.
  bool Finished() const { return finished_.load(); }

 private:
  void Run();
  void Connecting();
  void Listening();
  // Counts the connection and reads its stream; false when it ended in an error.
  bool Serve(UniqueSocket s);
  // One connection's stream; false when it ended in an error.
  bool ReadStream(SOCKET s);
  void Deliver(ReceivedFrame&& received);
  void Note(std::string line);
  void Post();

  const HWND notify_;
  const UINT message_;
  const ReceiverOptions options_;
  HANDLE stop_event_ = nullptr;
  PeerLink link_;
  std::thread worker_;
  std::atomic<bool> finished_{false};

  mutable std::mutex mutex_;
  UniqueSocket socket_;  // the current connection, shut down by Stop
  std::deque<WireFrame> frames_;
  std::vector<std::string> notes_;
  ReceiverCounts counts_;
};

}  // namespace zu
