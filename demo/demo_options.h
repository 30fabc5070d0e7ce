// Command-line values shared by the demo's programs, and the one parser they all use.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "demo/wire_protocol.h"

namespace zu {

struct FrameSize {
  int32_t width = 0;
  int32_t height = 0;
};

struct ScreenPoint {
  int32_t x = 0;
  int32_t y = 0;
};

// Where a host's peer is: an address to connect to, or one to listen on for it.
struct Endpoint {
  std::string host;
  uint16_t port = 0;  // listening: 0 takes any free port
  bool listen = false;
};

// "640x480"; each side 1 to 8192.
std::optional<FrameSize> ParseFrameSize(std::string_view text);
// "bmp" or "png".
std::optional<WireFormat> ParseWireFormat(std::string_view text);
// "clip", "zoom" or "stretch": the play control's SizeMode 0, 1, 2.
std::optional<int32_t> ParseSizeMode(std::string_view text);
// A whole number from `low` to `high`.
std::optional<int64_t> ParseNumber(std::string_view text, int64_t low, int64_t high);
// "X,Y", each 0 to 16384: a window's place on the screen.
std::optional<ScreenPoint> ParseScreenPoint(std::string_view text);
// "HOST:PORT" (port 1 to 65535; "[v6 address]:PORT" too): where to connect.
std::optional<Endpoint> ParseConnectEndpoint(std::string_view text);
// "[HOST:]PORT" (port 0 to 65535): where to listen; without a host, on loopback only, so that
// nothing is opened to the network unless asked for by name (0.0.0.0 for every interface).
std::optional<Endpoint> ParseListenEndpoint(std::string_view text);
// "127.0.0.1:5000", "[::1]:5000".
std::string DescribeEndpoint(const Endpoint& endpoint);

// Stores a parsed option value in its field; false when the text did not parse.
template <class Value, class Field>
bool StoreOption(const std::optional<Value>& parsed, Field* field) {
  if (parsed) *field = static_cast<Field>(*parsed);
  return parsed.has_value();
}

// One option of a program: "--name VALUE", or a flag without a value (`store` then gets "").
struct OptionSpec {
  std::string_view name;
  bool flag = false;
  std::function<bool(std::string_view value)> store;  // false: a bad value
};

// Reads argv[1..] against `specs`; an option given twice keeps its last value. Empty when every
// argument was taken, else what was wrong: "unknown option --x", "missing value for --size",
// "bad value for --size".
std::string ParseCommandLine(int argc, const char* const* argv, const std::vector<OptionSpec>& specs);

}  // namespace zu
