// Command-line values shared by the demo's sender and host.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "demo/wire_protocol.h"

namespace zu {

struct FrameSize {
  int32_t width = 0;
  int32_t height = 0;
};

// "640x480"; each side 1 to 8192.
std::optional<FrameSize> ParseFrameSize(std::string_view text);
// "bmp" or "png".
std::optional<WireFormat> ParseWireFormat(std::string_view text);
// "clip", "zoom" or "stretch": the play control's SizeMode 0, 1, 2.
std::optional<int32_t> ParseSizeMode(std::string_view text);
// A whole number from `low` to `high`.
std::optional<int64_t> ParseNumber(std::string_view text, int64_t low, int64_t high);

// Stores a parsed option value in its field; false when the text did not parse.
template <class Value, class Field>
bool StoreOption(const std::optional<Value>& parsed, Field* field) {
  if (parsed) *field = static_cast<Field>(*parsed);
  return parsed.has_value();
}

}  // namespace zu
