#include "demo/demo_options.h"

#include <algorithm>

namespace zu {

std::optional<int64_t> ParseNumber(std::string_view text, int64_t low, int64_t high) {
  if (text.empty() || text.size() > 12) return std::nullopt;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < low || value > high) return std::nullopt;
  return value;
}

namespace {

// "AxB" with the separator `separator` and each side from `low` to `high`.
std::optional<std::pair<int64_t, int64_t>> ParsePair(std::string_view text, char separator,
                                                     int64_t low, int64_t high) {
  const size_t at = text.find(separator);
  if (at == std::string_view::npos) return std::nullopt;
  const auto first = ParseNumber(text.substr(0, at), low, high);
  const auto second = ParseNumber(text.substr(at + 1), low, high);
  if (!first || !second) return std::nullopt;
  return std::make_pair(*first, *second);
}

// Splits "host:port" or "[v6]:port" at the port's colon; nullopt without one.
std::optional<std::pair<std::string_view, std::string_view>> SplitHostPort(std::string_view text) {
  if (!text.empty() && text.front() == '[') {
    const size_t close = text.find(']');
    if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':') {
      return std::nullopt;
    }
    return std::make_pair(text.substr(1, close - 1), text.substr(close + 2));
  }
  const size_t colon = text.rfind(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const std::string_view host = text.substr(0, colon);
  if (host.find(':') != std::string_view::npos) return std::nullopt;  // a v6 address needs []
  return std::make_pair(host, text.substr(colon + 1));
}

}  // namespace

std::optional<FrameSize> ParseFrameSize(std::string_view text) {
  const auto pair = ParsePair(text, 'x', 1, 8192);
  if (!pair) return std::nullopt;
  return FrameSize{static_cast<int32_t>(pair->first), static_cast<int32_t>(pair->second)};
}

std::optional<ScreenPoint> ParseScreenPoint(std::string_view text) {
  const auto pair = ParsePair(text, ',', 0, 16384);
  if (!pair) return std::nullopt;
  return ScreenPoint{static_cast<int32_t>(pair->first), static_cast<int32_t>(pair->second)};
}

std::optional<WireFormat> ParseWireFormat(std::string_view text) {
  if (text == "bmp") return WireFormat::kBmp;
  if (text == "png") return WireFormat::kPng;
  return std::nullopt;
}

std::optional<int32_t> ParseSizeMode(std::string_view text) {
  if (text == "clip") return 0;
  if (text == "zoom") return 1;
  if (text == "stretch") return 2;
  return std::nullopt;
}

std::optional<Endpoint> ParseConnectEndpoint(std::string_view text) {
  const auto parts = SplitHostPort(text);
  if (!parts || parts->first.empty()) return std::nullopt;
  const auto port = ParseNumber(parts->second, 1, 65535);
  if (!port) return std::nullopt;
  return Endpoint{std::string(parts->first), static_cast<uint16_t>(*port), false};
}

std::optional<Endpoint> ParseListenEndpoint(std::string_view text) {
  std::string_view host = "127.0.0.1", port_text = text;
  if (text.find(':') != std::string_view::npos || (!text.empty() && text.front() == '[')) {
    const auto parts = SplitHostPort(text);
    if (!parts || parts->first.empty()) return std::nullopt;
    host = parts->first;
    port_text = parts->second;
  }
  const auto port = ParseNumber(port_text, 0, 65535);
  if (!port) return std::nullopt;
  return Endpoint{std::string(host), static_cast<uint16_t>(*port), true};
}

std::string DescribeEndpoint(const Endpoint& endpoint) {
  const bool v6 = endpoint.host.find(':') != std::string::npos;
  return (v6 ? "[" + endpoint.host + "]" : endpoint.host) + ":" + std::to_string(endpoint.port);
}

std::string ParseCommandLine(int argc, const char* const* argv,
                             const std::vector<OptionSpec>& specs) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view name = argv[i];
    const auto spec = std::find_if(specs.begin(), specs.end(),
                                   [&](const OptionSpec& s) { return s.name == name; });
    if (spec == specs.end()) return "unknown option " + std::string(name);
    std::string_view value;
    if (!spec->flag) {
      if (i + 1 >= argc) return "missing value for " + std::string(name);
      value = argv[++i];
    }
    if (!spec->store(value)) return "bad value for " + std::string(name);
  }
  return {};
}

}  // namespace zu
