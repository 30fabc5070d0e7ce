#include "demo/host_options.h"

#include <vector>

namespace zu {
namespace {

// Reads a host's command line: the peer and the options both hosts take, then those `own`
// adds. `out` changes only when every argument was good.
template <class Options, class Own>
std::string ParseHostOptions(int argc, const char* const* argv, Options* out, Own&& own) {
  Options o;
  bool have_peer = false;
  std::vector<OptionSpec> specs = {
      {"--connect", false,
       [&](std::string_view v) {
         return have_peer = StoreOption(ParseConnectEndpoint(v), &o.peer);
       }},
      {"--listen", false,
       [&](std::string_view v) {
         return have_peer = StoreOption(ParseListenEndpoint(v), &o.peer);
       }},
      {"--format", false,
       [&](std::string_view v) { return StoreOption(ParseWireFormat(v), &o.format); }},
      {"--size", false,
       [&](std::string_view v) { return StoreOption(ParseFrameSize(v), &o.size); }},
      {"--seconds", false,
       [&](std::string_view v) { return StoreOption(ParseNumber(v, 1, 86400), &o.seconds); }},
      {"--queue", false,
       [&](std::string_view v) { return StoreOption(ParseNumber(v, 1, 1024), &o.queue); }},
      {"--at", false, [&](std::string_view v) { return StoreOption(ParseScreenPoint(v), &o.at); }},
      {"--screenshot", false,
       [&](std::string_view v) {
         o.screenshot = std::string(v);
         return !v.empty();
       }},
      {"--manifest", false,
       [&](std::string_view v) {
         o.manifest = std::string(v);
         return !v.empty();
       }},
      {"--measure-after", false,
       [&](std::string_view v) {
         return StoreOption(ParseNumber(v, 1, 100000000), &o.measure_after);
       }},
  };
  own(o, have_peer, specs);
  std::string problem = ParseCommandLine(argc, argv, specs);
  // The peer is the one option every host needs.
  if (problem.empty() && !have_peer) problem = "--connect or --listen is required";
  if (problem.empty()) *out = std::move(o);
  return problem;
}

}  // namespace

const char kCaptureHostUsage[] =
    "usage: capture_host --connect HOST:PORT | --listen [HOST:]PORT\n"
    "       [--format bmp|png] [--size WxH] [--bits 1|4|8|16|24|32] [--elapse MS] [--ex]\n"
    "       [--device N] [--seconds S] [--frames N] [--queue N] [--at X,Y]\n"
    "       [--screenshot FILE.png] [--measure-after N] [--manifest FILE]\n";

const char kPlayHostUsage[] =
    "usage: demo_host --connect HOST:PORT | --listen [HOST:]PORT | --port N\n"
    "       [--format bmp|png] [--mode clip|zoom|stretch] [--size WxH] [--seconds S]\n"
    "       [--streams N] [--queue N] [--at X,Y] [--screenshot FILE.png] [--measure-after N]\n"
    "       [--paint-every-frame] [--manifest FILE]\n";

std::optional<int32_t> ParseBitCount(std::string_view bits) {
  constexpr struct {
    std::string_view text;
    int32_t value;
  } kBitCounts[] = {{"1", 0}, {"4", 1}, {"8", 2}, {"16", 3}, {"24", 4}, {"32", 5}};
  for (const auto& entry : kBitCounts) {
    if (entry.text == bits) return entry.value;
  }
  return std::nullopt;
}

std::string ParseCaptureHostOptions(int argc, const char* const* argv, CaptureHostOptions* out) {
  return ParseHostOptions(
      argc, argv, out, [](CaptureHostOptions& o, bool&, std::vector<OptionSpec>& specs) {
        specs.push_back({"--bits", false, [&](std::string_view v) {
                           return StoreOption(ParseBitCount(v), &o.bit_count);
                         }});
        specs.push_back({"--elapse", false, [&](std::string_view v) {
                           return StoreOption(ParseNumber(v, 1, 60000), &o.elapse_ms);
                         }});
        specs.push_back({"--ex", true, [&](std::string_view) { return o.ex_event = true; }});
        specs.push_back({"--device", false, [&](std::string_view v) {
                           return StoreOption(ParseNumber(v, 0, 9), &o.device);
                         }});
        specs.push_back({"--frames", false, [&](std::string_view v) {
                           return StoreOption(ParseNumber(v, 1, 100000000), &o.frames);
                         }});
      });
}

std::string ParsePlayHostOptions(int argc, const char* const* argv, PlayHostOptions* out) {
  return ParseHostOptions(
      argc, argv, out, [](PlayHostOptions& o, bool& have_peer, std::vector<OptionSpec>& specs) {
        // The form from before the play host could listen: a sender on loopback.
        specs.push_back({"--port", false, [&](std::string_view v) {
                           const auto port = ParseNumber(v, 1, 65535);
                           if (port)
                             o.peer = Endpoint{"127.0.0.1", static_cast<uint16_t>(*port), false};
                           return have_peer = port.has_value();
                         }});
        specs.push_back({"--mode", false, [&](std::string_view v) {
                           return StoreOption(ParseSizeMode(v), &o.size_mode);
                         }});
        specs.push_back({"--paint-every-frame", true, [&](std::string_view) {
                       return o.paint_every_frame = true;
                     }});
    specs.push_back({"--streams", false, [&](std::string_view v) {
                           return StoreOption(ParseNumber(v, 0, 1000000), &o.streams);
                         }});
      });
}

}  // namespace zu
