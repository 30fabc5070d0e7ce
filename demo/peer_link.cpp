#include "demo/peer_link.h"

namespace zu {
namespace {

// Waits on sockets in slices this long, so that the stop event is seen soon.
constexpr DWORD kSliceMs = 50;

bool OutOfPatience(DWORD start, DWORD patience_ms) {
  return patience_ms != PeerLink::kForever && GetTickCount() - start >= patience_ms;
}

}  // namespace

bool PeerLink::Open(std::string* error) {
  if (!peer_.listen || listener_.Valid()) return true;
  listener_ = ListenOn(peer_.host, peer_.port, &bound_port_);
  if (!listener_.Valid()) {
    if (error) *error = "cannot listen on " + DescribeEndpoint(peer_);
    return false;
  }
  return true;
}

std::string PeerLink::Describe() const {
  if (!peer_.listen) return "connecting to " + DescribeEndpoint(peer_);
  Endpoint bound = peer_;
  bound.port = bound_port_;
  return "listening on " + DescribeEndpoint(bound);
}

UniqueSocket PeerLink::Next(DWORD patience_ms, DWORD retry_ms) {
  UniqueSocket s = peer_.listen ? Accept(patience_ms) : Connect(patience_ms, retry_ms);
  if (s.Valid()) SendWithoutDelay(s.Get());
  return s;
}

UniqueSocket PeerLink::Accept(DWORD patience_ms) {
  if (!listener_.Valid() && !Open(nullptr)) return {};
  const DWORD start = GetTickCount();
  while (!Stopped()) {
    if (WaitReadable(listener_.Get(), kSliceMs)) {
      UniqueSocket s(accept(listener_.Get(), nullptr, nullptr));
      if (s.Valid()) return s;
    }
    if (OutOfPatience(start, patience_ms)) break;
  }
  return {};
}

UniqueSocket PeerLink::Connect(DWORD patience_ms, DWORD retry_ms) {
  const DWORD start = GetTickCount();
  while (!Stopped()) {
    UniqueSocket s = StartConnect(peer_.host, peer_.port);
    int state = s.Valid() ? 0 : -1;
    while (state == 0 && !Stopped() && !OutOfPatience(start, patience_ms)) {
      state = FinishConnect(s.Get(), kSliceMs);
    }
    if (state == 1) return s;
    if (OutOfPatience(start, patience_ms) || Stopped(retry_ms)) break;
  }
  return {};
}

}  // namespace zu
