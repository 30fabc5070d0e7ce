#include "demo/socket.h"

#include <ws2tcpip.h>

#include <climits>

namespace zu {
namespace {

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

}  // namespace

UniqueSocket ListenLoopback(uint16_t port, uint16_t* bound_port) {
  UniqueSocket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (!s.Valid()) return {};
  sockaddr_in address = Loopback(port);
  if (bind(s.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      listen(s.Get(), 4) != 0) {
    return {};
  }
  int length = sizeof address;
  if (getsockname(s.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) return {};
  if (bound_port) *bound_port = ntohs(address.sin_port);
  return s;
}

UniqueSocket ConnectLoopback(uint16_t port) {
  UniqueSocket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (!s.Valid()) return {};
  const sockaddr_in address = Loopback(port);
  if (connect(s.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    return {};
  }
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

}  // namespace zu
