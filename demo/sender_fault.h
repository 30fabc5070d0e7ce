// Ways a frame sender can misbehave, for trying a host against them. Each turns one good frame
// into the bytes that go on the wire instead of it.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "demo/wire_protocol.h"

namespace zu {

enum class SenderFault {
  kNone,
  kGarbage,     // a correct header, random bytes
  kTruncated,   // a correct header for a frame cut to half its bytes
  kCountShort,  // a count below the bytes that follow: the rest reads as the next header
  kOversized,   // a count far above any frame, then the frame
  kDrop,        // the header and half the frame, then the connection closes
};

std::optional<SenderFault> ParseSenderFault(std::string_view name);
const char* SenderFaultName(SenderFault fault);

struct FaultyMessage {
  std::vector<uint8_t> bytes;
  bool close_after = false;  // the sender hangs up once these bytes are out
};

// The wire bytes for `frame` under `header` (its count is the frame's size) with `fault`
// applied; the sequence number varies the garbage.
FaultyMessage MakeFaultyMessage(SenderFault fault, WireHeader header,
                                const std::vector<uint8_t>& frame);

}  // namespace zu
