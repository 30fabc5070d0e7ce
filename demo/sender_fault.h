// Ways a frame sender can misbehave, for trying a host against them. Each turns one good frame
// into the bytes that go on the wire instead of it.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace zu {

enum class SenderFault {
  kNone,
  kGarbage,     // a correct count, random bytes
  kTruncated,   // a correct count for a frame cut to half its bytes
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

// The wire bytes for `frame` with `fault` applied; `seed` varies the garbage.
FaultyMessage MakeFaultyMessage(SenderFault fault, const std::vector<uint8_t>& frame,
                                uint32_t seed);

}  // namespace zu
