#include "demo/sender_fault.h"

namespace zu {
namespace {

constexpr struct {
  SenderFault fault;
  const char* name;
} kFaultNames[] = {
    {SenderFault::kNone, "none"},          {SenderFault::kGarbage, "garbage"},
    {SenderFault::kTruncated, "truncated"}, {SenderFault::kCountShort, "count"},
    {SenderFault::kOversized, "oversized"}, {SenderFault::kDrop, "drop"},
};

}  // namespace

std::optional<SenderFault> ParseSenderFault(std::string_view name) {
  for (const auto& entry : kFaultNames) {
    if (name == entry.name) return entry.fault;
  }
  return std::nullopt;
}

const char* SenderFaultName(SenderFault fault) {
  for (const auto& entry : kFaultNames) {
    if (entry.fault == fault) return entry.name;
  }
  return "?";
}

FaultyMessage MakeFaultyMessage(SenderFault fault, WireHeader header,
                                const std::vector<uint8_t>& frame) {
  const uint32_t count = static_cast<uint32_t>(frame.size());
  header.count = count;
  FaultyMessage out;
  switch (fault) {
    case SenderFault::kNone:
      out.bytes = WireMessage(header, frame.data());
      break;
    case SenderFault::kGarbage: {
      std::vector<uint8_t> noise(frame.size());
      uint32_t state = header.sequence | 1u;
      for (uint8_t& b : noise) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        b = static_cast<uint8_t>(state);
      }
      out.bytes = WireMessage(header, noise.data());
      break;
    }
    case SenderFault::kTruncated:
      header.count = count / 2;
      out.bytes = WireMessage(header, frame.data());
      break;
    case SenderFault::kCountShort:
      out.bytes = WireMessage(header, frame.data());
      header.count = count / 2;
      WriteWireHeader(header, out.bytes.data());
      break;
    case SenderFault::kOversized:
      out.bytes = WireMessage(header, frame.data());
      header.count = 0xFFFFFFF0u;
      WriteWireHeader(header, out.bytes.data());
      break;
    case SenderFault::kDrop:
      out.bytes = WireMessage(header, frame.data());
      out.bytes.resize(kWireHeaderBytes + count / 2);
      out.close_after = true;
      break;
  }
  return out;
}

}  // namespace zu
