// FrameForwarder: the capture host's end of the wire. Push, called inside the capture event on
// the control's thread, copies the frame behind its wire header into a bounded queue and returns:
// it never waits for the network. A worker thread takes the frames oldest first and writes each
// whole to the connection its PeerLink makes.
//
// When the queue is full the oldest waiting frame makes room for the newest (drop oldest: a live
// picture wants the latest frame, and the receiver shows the newest it has), counted as dropped.
// A connection that fails (the peer killed, the network cut) costs the frame being written, counted
// as lost; the worker then gets the next connection (connecting, it tries again; listening, it
// waits for the next peer), and frames captured meanwhile wait in the queue as always. So at any
// time pushed = sent + dropped + lost + waiting.
//
// Frame buffers are kept for reuse once sent or dropped, so a steady stream allocates nothing.
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

namespace zu {

struct ForwarderOptions {
  Endpoint peer;
  size_t queue_limit = 4;
  DWORD retry_ms = 200;  // connecting: between attempts
};

struct ForwarderCounts {
  uint32_t pushed = 0;
  uint32_t sent = 0;     // written whole to a connection
  uint32_t dropped = 0;  // pushed out of the full queue by a newer frame
  uint32_t lost = 0;     // being written when the connection failed
  uint32_t connections = 0;
  uint32_t failures = 0;    // connections that broke off, by a failed write or a peer gone
  uint64_t bytes_sent = 0;  // frame bytes of the frames sent, without headers
  // Queued, or being written.
  uint32_t Waiting() const { return pushed - sent - dropped - lost; }
};

class FrameForwarder {
 public:
  explicit FrameForwarder(const ForwarderOptions& options);
  ~FrameForwarder();  // Stop
  FrameForwarder(const FrameForwarder&) = delete;
  FrameForwarder& operator=(const FrameForwarder&) = delete;

  // Listening: binds now, so that port() is known before the peer starts. False, with what went
  // wrong, when the address cannot be had.
  bool Open(std::string* error);
  uint16_t port() const { return link_.port(); }
  std::string Describe() const { return link_.Describe(); }
  // Opens when that was not done, then starts the worker; false when opening failed.
  bool Start(std::string* error = nullptr);

  // Any thread: queues `header.count` bytes of `frame` under `header`.
  void Push(const WireHeader& header, const uint8_t* frame);

  // Sends what waits, then ends the stream so that the peer sees a clean end, and the worker.
  // Gives up after `ms` (no peer to send to, one that does not read): what is left then counts
  // as waiting. True when the stream ended cleanly, or there was nothing to send and no peer.
  bool Finish(DWORD ms);
  // Ends the connection and the worker at once; safe to call twice.
  void Stop();

  ForwarderCounts Counts() const;
  // What happened on the wire since the last call, one line each.
  std::vector<std::string> TakeNotes();

 private:
  using Buffer = std::vector<uint8_t>;

  void Run();
  // Waits for a frame to send on `s`, or for the end; false when the connection is over.
  bool SendNext(SOCKET s);
  // The stream ends cleanly: the peer is told and given a moment to read the rest.
  void CloseCleanly(SOCKET s);
  void Disconnect(const std::string& why);
  void Note(std::string line);
  bool Stopping() const { return WaitForSingleObject(stop_event_, 0) == WAIT_OBJECT_0; }

  const ForwarderOptions options_;
  HANDLE stop_event_ = nullptr;  // manual reset: everything ends
  HANDLE wake_event_ = nullptr;  // auto reset: a frame came, or Finish was asked
  HANDLE done_event_ = nullptr;  // manual reset: the worker has ended
  PeerLink link_;
  std::thread worker_;
  std::atomic<bool> finishing_{false};
  std::atomic<bool> clean_end_{false};

  mutable std::mutex mutex_;
  UniqueSocket socket_;        // the current connection, shut down by Stop
  std::deque<Buffer> queue_;   // wire messages, oldest first
  std::vector<Buffer> spare_;  // buffers to reuse
  ForwarderCounts counts_;
  std::vector<std::string> notes_;
};

}  // namespace zu
