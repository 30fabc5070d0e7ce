// PeerLink: how one end of a frame stream finds the other, the same for both hosts. Listening,
// it binds at Open (so the port is known before anyone connects) and each Next accepts one
// connection; connecting, each Next connects, trying again until it gets through. Every wait
// ends as soon as the stop event is set, so a host can always shut down.
#pragma once

#include <windows.h>

#include <string>

#include "demo/demo_options.h"
#include "demo/socket.h"

namespace zu {

class PeerLink {
 public:
  static constexpr DWORD kForever = INFINITE;

  // `stop`: a manual-reset event, owned by the caller, that ends every wait.
  PeerLink(Endpoint peer, HANDLE stop) : peer_(std::move(peer)), stop_(stop) {}

  // Listening: binds and listens now. Connecting: nothing to do. False, with what went wrong,
  // when the address cannot be had.
  bool Open(std::string* error);
  // Listening: the port bound (after Open); connecting: the peer's.
  uint16_t port() const { return peer_.listen ? bound_port_ : peer_.port; }
  bool listening() const { return peer_.listen; }
  // "listening on 127.0.0.1:5000", "connecting to host:5000".
  std::string Describe() const;

  // The next connection: accepted, or made with one attempt every `retry_ms`, within
  // `patience_ms` (kForever: until stopped). Invalid when stopped or out of patience.
  UniqueSocket Next(DWORD patience_ms, DWORD retry_ms);

 private:
  bool Stopped(DWORD wait_ms = 0) const {
    return WaitForSingleObject(stop_, wait_ms) == WAIT_OBJECT_0;
  }
  UniqueSocket Accept(DWORD patience_ms);
  UniqueSocket Connect(DWORD patience_ms, DWORD retry_ms);

  Endpoint peer_;
  HANDLE stop_;
  UniqueSocket listener_;
  uint16_t bound_port_ = 0;
};

}  // namespace zu
