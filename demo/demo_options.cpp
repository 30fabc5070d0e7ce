#include "demo/demo_options.h"

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

std::optional<FrameSize> ParseFrameSize(std::string_view text) {
  const size_t x = text.find('x');
  if (x == std::string_view::npos) return std::nullopt;
  const auto width = ParseNumber(text.substr(0, x), 1, 8192);
  const auto height = ParseNumber(text.substr(x + 1), 1, 8192);
  if (!width || !height) return std::nullopt;
  return FrameSize{static_cast<int32_t>(*width), static_cast<int32_t>(*height)};
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

}  // namespace zu
