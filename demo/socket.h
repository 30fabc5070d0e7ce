// Winsock with owners: the library session and a socket that closes itself, and the few socket
// calls the demo's programs make.
#pragma once

#include <winsock2.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace zu {

class WinsockSession {
 public:
  WinsockSession() { ok_ = WSAStartup(MAKEWORD(2, 2), &data_) == 0; }
  ~WinsockSession() {
    if (ok_) WSACleanup();
  }
  WinsockSession(const WinsockSession&) = delete;
  WinsockSession& operator=(const WinsockSession&) = delete;
  bool ok() const { return ok_; }

 private:
  WSADATA data_ = {};
  bool ok_ = false;
};

class UniqueSocket {
 public:
  UniqueSocket() = default;
  explicit UniqueSocket(SOCKET s) : socket_(s) {}
  ~UniqueSocket() { Reset(); }
  UniqueSocket(const UniqueSocket&) = delete;
  UniqueSocket& operator=(const UniqueSocket&) = delete;
  UniqueSocket(UniqueSocket&& other) noexcept : socket_(other.Release()) {}
  UniqueSocket& operator=(UniqueSocket&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

  SOCKET Get() const { return socket_; }
  bool Valid() const { return socket_ != INVALID_SOCKET; }
  SOCKET Release() { return std::exchange(socket_, INVALID_SOCKET); }
  void Reset(SOCKET s = INVALID_SOCKET) {
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
    socket_ = s;
  }

 private:
  SOCKET socket_ = INVALID_SOCKET;
};

// A listening socket on `host`:`port` (a name or a numeric address; port 0: any free port), and
// the port it got; invalid when the address cannot be had.
UniqueSocket ListenOn(const std::string& host, uint16_t port, uint16_t* bound_port);
UniqueSocket ListenLoopback(uint16_t port, uint16_t* bound_port);
// A socket whose connection to `host`:`port` has been started without waiting for it (see
// FinishConnect); invalid when the name does not resolve or no socket can be made.
UniqueSocket StartConnect(const std::string& host, uint16_t port);
// Waits up to `ms` for a connection StartConnect began: 1 connected (the socket blocks again
// from now on), 0 still going, -1 refused or failed.
int FinishConnect(SOCKET s, DWORD ms);
// A connected socket to 127.0.0.1:`port`, or an invalid one (waits for the answer).
UniqueSocket ConnectLoopback(uint16_t port);
// Sends all `length` bytes; false when the connection failed first.
bool SendAll(SOCKET s, const uint8_t* data, size_t length);
// Up to `ms` for something to read (or the end of the stream); false when nothing came.
bool WaitReadable(SOCKET s, DWORD ms);
// The peer closed its end or the connection broke. The demo's receivers never send, so any
// readable state of a sending socket means that.
bool PeerHasGone(SOCKET s);
// Frames go out as soon as they are written: small pieces (a header, a frame's tail) must not
// wait for the acknowledgement of the previous segment.
void SendWithoutDelay(SOCKET s);

}  // namespace zu
