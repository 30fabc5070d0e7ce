// Winsock with owners: the library session and a socket that closes itself. Loopback only: the
// demo's sender and host run on one machine.
#pragma once

#include <winsock2.h>

#include <cstddef>
#include <cstdint>
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

// A listening socket on 127.0.0.1:`port` (0: any free port), and the port it got.
UniqueSocket ListenLoopback(uint16_t port, uint16_t* bound_port);
// A connected socket to 127.0.0.1:`port`, or an invalid one.
UniqueSocket ConnectLoopback(uint16_t port);
// Sends all `length` bytes; false when the connection failed first.
bool SendAll(SOCKET s, const uint8_t* data, size_t length);

}  // namespace zu
