#include "demo/socket.h"

#include <ws2tcpip.h>

#include <climits>
#include <cstring>

namespace zu {
namespace {

// The first address of `host` for a stream socket; false when it does not resolve.
bool Resolve(const std::string& host, uint16_t port, bool passive, sockaddr_storage* out,
             int* length) {
  addrinfo hints = {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = passive ? AI_PASSIVE : 0;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || found == nullptr) {
    return false;
  }
  std::memcpy(out, found->ai_addr, found->ai_addrlen);
  *length = static_cast<int>(found->ai_addrlen);
  freeaddrinfo(found);
  return true;
}

uint16_t PortOf(const sockaddr_storage& address) {
  if (address.ss_family == AF_INET6) {
    return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
  }
  return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
}

void SetBlocking(SOCKET s, bool blocking) {
  u_long non_blocking = blocking ? 0 : 1;
  ioctlsocket(s, FIONBIO, &non_blocking);
}

}  // namespace

UniqueSocket ListenOn(const std::string& host, uint16_t port, uint16_t* bound_port) {
  sockaddr_storage address = {};
  int length = 0;
  if (!Resolve(host, port, true, &address, &length)) return {};
  UniqueSocket s(socket(address.ss_family, SOCK_STREAM, IPPROTO_TCP));
  if (!s.Valid()) return {};
  // A host that comes back on the port of one that was killed finds that one's connection still
  // waiting out its close; Linux (under Wine) refuses the port then unless told otherwise.
  const BOOL reuse = TRUE;
  setsockopt(s.Get(), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse),
             sizeof reuse);
  if (bind(s.Get(), reinterpret_cast<const sockaddr*>(&address), length) != 0 ||
      listen(s.Get(), 4) != 0) {
    return {};
  }
  length = sizeof address;
  if (getsockname(s.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) return {};
  if (bound_port) *bound_port = PortOf(address);
  return s;
}

UniqueSocket ListenLoopback(uint16_t port, uint16_t* bound_port) {
  return ListenOn("127.0.0.1", port, bound_port);
}

UniqueSocket StartConnect(const std::string& host, uint16_t port) {
  sockaddr_storage address = {};
  int length = 0;
  if (!Resolve(host, port, false, &address, &length)) return {};
  UniqueSocket s(socket(address.ss_family, SOCK_STREAM, IPPROTO_TCP));
  if (!s.Valid()) return {};
  SetBlocking(s.Get(), false);
  if (connect(s.Get(), reinterpret_cast<const sockaddr*>(&address), length) != 0 &&
      WSAGetLastError() != WSAEWOULDBLOCK) {
    return {};
  }
  return s;
}

int FinishConnect(SOCKET s, DWORD ms) {
  fd_set writable, failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(s, &writable);
  FD_SET(s, &failed);
  timeval timeout = {static_cast<long>(ms / 1000), static_cast<long>((ms % 1000) * 1000)};
  const int ready = select(0, nullptr, &writable, &failed, &timeout);
  if (ready == 0) return 0;
  if (ready < 0 || FD_ISSET(s, &failed)) return -1;
  int error = 0, length = sizeof error;
  getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
  if (error != 0) return -1;
  SetBlocking(s, true);
  return 1;
}

UniqueSocket ConnectLoopback(uint16_t port) {
  UniqueSocket s = StartConnect("127.0.0.1", port);
  if (!s.Valid() || FinishConnect(s.Get(), 5000) != 1) return {};
  return s;
}

bool SendAll(SOCKET s, const uint8_t* data, size_t length) {
  while (length > 0) {
    const int chunk = length > INT_MAX ? INT_MAX : static_cast<int>(length);
    const int sent = send(s, reinterpret_cast<const char*>(data), chunk, 0);
    if (sent <= 0) return false;
    data += sent;
    length -= static_cast<size_t>(sent);
  }
  return true;
}

bool WaitReadable(SOCKET s, DWORD ms) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(s, &readable);
  timeval timeout = {static_cast<long>(ms / 1000), static_cast<long>((ms % 1000) * 1000)};
  return select(0, &readable, nullptr, nullptr, &timeout) == 1;
}

bool PeerHasGone(SOCKET s) {
  if (!WaitReadable(s, 0)) return false;
  char byte;
  return recv(s, &byte, 1, MSG_PEEK) <= 0;
}

void SendWithoutDelay(SOCKET s) {
  const BOOL on = TRUE;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}

}  // namespace zu
