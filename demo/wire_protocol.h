// The demo's wire format between a frame sender and a host. Each frame travels as a 24-byte
// header and then `count` bytes of frame data, exactly as a capture control hands them out.
// Every field is little-endian:
//
//   offset  size  field
//        0     4  magic "ZUWF"
//        4     2  version, 1
//        6     2  flags: bit 0 set for the PNG frame variant, clear for BMP; no other bit is
//                 defined in version 1, and a header with one set is refused
//        8     4  count: the frame bytes that follow (0 is a frame too, for the control to refuse)
//       12     4  sequence: the sender's frame number, one up per frame it made (a gap is a frame
//                 that never went out)
//       16     8  capture time: microseconds on the capture clock (demo/capture_clock.h), taken
//                 when the frame was grabbed, so the host can tell capture-to-paint latency
//
// FrameReader takes the stream in whatever pieces the socket hands over and gives back whole
// frames with their headers. A header is checked whole before anything is allocated for its
// frame: a wrong magic, an unknown version or flag, or a count above the reader's cap is refused;
// a stream that ends inside a header or a frame is cut short. Any error ends the stream: the
// reader takes nothing more, and the host goes on with a new connection.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace zu {

enum class WireFormat : uint16_t { kBmp = 0, kPng = 1 };  // the controls' FrameFormat values

constexpr size_t kWireHeaderBytes = 24;
constexpr uint8_t kWireMagic[4] = {'Z', 'U', 'W', 'F'};
constexpr uint16_t kWireVersion = 1;
constexpr uint16_t kWireFlagPng = 0x0001;
// A 4K frame at 32 bits is about 33 MB; anything far above that is not a frame of ours.
constexpr uint32_t kMaxWireFrameBytes = 64u * 1024u * 1024u;

struct WireHeader {
  WireFormat format = WireFormat::kBmp;
  uint32_t count = 0;
  uint32_t sequence = 0;
  uint64_t capture_us = 0;
};

enum class WireError {
  kNone,
  kBadMagic,    // not a frame header: the stream is out of step, or not ours
  kBadVersion,  // a version or a flag this reader does not know
  kOversized,   // a count above the cap
  kCutShort,    // the stream ended inside a header or a frame
};

const char* DescribeWireError(WireError error);

void WriteWireHeader(const WireHeader& header, uint8_t out[kWireHeaderBytes]);
// Fills `out` with what the bytes say, then checks it: magic, version and flags, then the count
// against `max_count`.
WireError ReadWireHeader(const uint8_t in[kWireHeaderBytes], uint32_t max_count, WireHeader* out);
// Header and `header.count` bytes of `frame` in one buffer, ready to send.
std::vector<uint8_t> WireMessage(const WireHeader& header, const uint8_t* frame);

struct ReceivedFrame {
  WireHeader header;
  std::vector<uint8_t> bytes;  // header.count of them
};

class FrameReader {
 public:
  explicit FrameReader(uint32_t max_frame_bytes = kMaxWireFrameBytes)
      : max_frame_bytes_(max_frame_bytes) {}

  // Takes the next `length` bytes of the stream. Whole frames wait in PopFrame's queue. Returns
  // the reader's error; after one, further bytes are ignored.
  WireError Feed(const uint8_t* data, size_t length);
  // The stream ended (the peer closed). kCutShort when it ended inside a header or a frame.
  WireError Finish();

  // The oldest whole frame not yet taken; false when there is none.
  bool PopFrame(ReceivedFrame* frame);
  size_t FramesWaiting() const { return frames_.size(); }

  WireError error() const { return error_; }
  // The header being read when the error came (or the last one read), as its bytes said.
  const WireHeader& last_header() const { return header_; }
  // Bytes of the current header or frame received so far.
  size_t partial_bytes() const { return in_header_ ? header_fill_ : body_.size(); }

 private:
  const uint32_t max_frame_bytes_;
  WireError error_ = WireError::kNone;
  bool in_header_ = true;
  uint8_t header_bytes_[kWireHeaderBytes] = {};
  size_t header_fill_ = 0;
  WireHeader header_;
  std::vector<uint8_t> body_;
  std::deque<ReceivedFrame> frames_;
};

}  // namespace zu
