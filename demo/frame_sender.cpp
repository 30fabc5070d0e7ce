// frame_sender: streams camera-like frames to a host over TCP on loopback, at a set rate.
//
//   frame_sender [--port N] [--format bmp|png] [--size WxH] [--rate FPS] [--seconds S]
//                [--frames N] [--fault garbage|truncated|count|oversized|drop] [--fault-every K]
//
// It listens on 127.0.0.1 (port 0: any free one), prints "sender: listening on port P", and
// serves connections one after another until the time or the frame count is used up. With a
// fault, every K-th frame goes out damaged; a dropped connection is followed by the next one.
#include <winsock2.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "demo/capture_clock.h"
#include "demo/demo_options.h"
#include "demo/frame_source.h"
#include "demo/sender_fault.h"
#include "demo/socket.h"

namespace zu {
namespace {

struct SenderOptions {
  uint16_t port = 0;
  WireFormat format = WireFormat::kBmp;
  FrameSize size = {640, 480};
  int64_t rate = 30;
  int64_t seconds = 5;
  int64_t frames = 0;  // 0: no limit
  SenderFault fault = SenderFault::kNone;
  int64_t fault_every = 10;
  int64_t accept_ms = 20000;
};

int Usage(const char* problem) {
  std::fprintf(stderr, "frame_sender: %s\n", problem);
  std::fprintf(stderr,
               "usage: frame_sender [--port N] [--format bmp|png] [--size WxH] [--rate FPS]\n"
               "       [--seconds S] [--frames N] [--fault KIND] [--fault-every K]\n");
  return 2;
}

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& frequency) {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Waits for a connection for up to `ms`; invalid when none came.
UniqueSocket AcceptWithin(SOCKET listener, int64_t ms) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(listener, &set);
  timeval timeout = {static_cast<long>(ms / 1000), static_cast<long>((ms % 1000) * 1000)};
  if (select(0, &set, nullptr, nullptr, &timeout) != 1) return {};
  return UniqueSocket(accept(listener, nullptr, nullptr));
}

int Run(const SenderOptions& options) {
  WinsockSession winsock;
  if (!winsock.ok()) return std::fprintf(stderr, "sender: no Winsock\n"), 1;
  uint16_t port = 0;
  UniqueSocket listener = ListenLoopback(options.port, &port);
  if (!listener.Valid()) {
    std::fprintf(stderr, "sender: cannot listen on port %u\n", options.port);
    return 1;
  }
  std::printf("sender: listening on port %u\n", port);
  std::fflush(stdout);

  const SynthFrameSource source(options.size.width, options.size.height, options.format);
  LARGE_INTEGER frequency, start;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  const double interval = 1.0 / static_cast<double>(options.rate);
  uint32_t index = 0, sent = 0, faults = 0, connections = 0;
  uint64_t bytes = 0;
  double first_send = -1, last_send = 0;
  bool out_of_time = false;
  while (!out_of_time) {
    const double left_ms = options.seconds * 1000.0 - Seconds(start, frequency) * 1000.0;
    UniqueSocket peer = AcceptWithin(
        listener.Get(), connections == 0 ? options.accept_ms : static_cast<int64_t>(left_ms > 0 ? left_ms : 0));
    if (!peer.Valid()) break;
    if (connections++ == 0) QueryPerformanceCounter(&start);  // the clock runs from the first peer
    double next = Seconds(start, frequency);
    for (;;) {
      const double now = Seconds(start, frequency);
      if (now >= static_cast<double>(options.seconds) ||
          (options.frames > 0 && index >= options.frames)) {
        out_of_time = true;
        break;
      }
      if (now < next) {
        Sleep(static_cast<DWORD>((next - now) * 1000.0));
        continue;
      }
      // A sender that fell behind starts afresh rather than sending a burst.
      next = (now - next > interval ? now : next) + interval;
      // Stamped as a camera frame would be: when grabbed, before it is packed and encoded.
      WireHeader header;
      header.format = options.format;
      header.sequence = index;
      header.capture_us = CaptureClockMicros();
      const std::vector<uint8_t> frame = source.Frame(index);
      if (frame.empty()) return std::fprintf(stderr, "sender: cannot make a frame\n"), 1;
      const bool damaged = options.fault != SenderFault::kNone &&
                           (index + 1) % static_cast<uint32_t>(options.fault_every) == 0;
      const FaultyMessage message =
          MakeFaultyMessage(damaged ? options.fault : SenderFault::kNone, header, frame);
      ++index;
      if (!SendAll(peer.Get(), message.bytes.data(), message.bytes.size())) break;
      if (first_send < 0) first_send = now;
      last_send = now;
      ++sent;
      faults += damaged;
      bytes += frame.size();
      if (message.close_after) break;
    }
    // Half-close first, so the host reads every byte before it sees the end.
    shutdown(peer.Get(), SD_SEND);
  }
  const double span = last_send - first_send;
  std::printf("sender: frames sent %u (%u damaged, %s %dx%d), %u connection(s), %.0f bytes/frame, "
              "%.1f frames/s\n",
              sent, faults, options.format == WireFormat::kPng ? "png" : "bmp",
              options.size.width, options.size.height, connections,
              sent ? static_cast<double>(bytes) / sent : 0.0,
              sent > 1 && span > 0 ? (sent - 1) / span : 0.0);
  return sent > 0 ? 0 : 1;
}

}  // namespace
}  // namespace zu

int main(int argc, char** argv) {
  using namespace zu;
  SenderOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view name = argv[i];
    if (i + 1 >= argc) return Usage(("missing value for " + std::string(name)).c_str());
    const std::string_view value = argv[++i];
    bool ok = true;
    if (name == "--port") {
      ok = StoreOption(ParseNumber(value, 0, 65535), &options.port);
    } else if (name == "--format") {
      ok = StoreOption(ParseWireFormat(value), &options.format);
    } else if (name == "--size") {
      ok = StoreOption(ParseFrameSize(value), &options.size);
    } else if (name == "--rate") {
      ok = StoreOption(ParseNumber(value, 1, 1000), &options.rate);
    } else if (name == "--seconds") {
      ok = StoreOption(ParseNumber(value, 1, 3600), &options.seconds);
    } else if (name == "--frames") {
      ok = StoreOption(ParseNumber(value, 0, 100000000), &options.frames);
    } else if (name == "--fault") {
      ok = StoreOption(ParseSenderFault(value), &options.fault);
    } else if (name == "--fault-every") {
      ok = StoreOption(ParseNumber(value, 1, 1000000), &options.fault_every);
    } else {
      return Usage(("unknown option " + std::string(name)).c_str());
    }
    if (!ok) return Usage(("bad value for " + std::string(name)).c_str());
  }
  return Run(options);
}
