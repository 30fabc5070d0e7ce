// The demo's wire format between a frame sender and a host: each frame is a 4-byte little-endian
// byte count, then that many bytes of frame data. Nothing else travels; the frame variant (BMP or
// PNG) is agreed outside the stream, as the two controls agree it through their properties.
//
// FrameReader takes the stream in whatever pieces the socket hands over and gives back whole
// frames. A count above the reader's cap is refused before anything is allocated for it; a
// stream that ends inside a frame is cut short. Either error ends the stream: the reader takes
// nothing more, and the host goes on with a new connection.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace zu {

constexpr size_t kWireHeaderBytes = 4;
// A 4K frame at 32 bits is about 33 MB; anything far above that is not a frame of ours.
constexpr uint32_t kMaxWireFrameBytes = 64u * 1024u * 1024u;

// The count as it goes on the wire.
void WriteWireHeader(uint32_t count, uint8_t out[kWireHeaderBytes]);
// Header and frame in one buffer, ready to send.
std::vector<uint8_t> WireMessage(const uint8_t* frame, uint32_t count);

enum class WireError {
  kNone,
  kOversized,  // a count above the cap
  kCutShort,   // the stream ended inside a header or a frame
};

const char* DescribeWireError(WireError error);

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
  bool PopFrame(std::vector<uint8_t>* frame);
  size_t FramesWaiting() const { return frames_.size(); }

  WireError error() const { return error_; }
  // The count of the frame being read when the error came (or of the last header read).
  uint32_t last_count() const { return count_; }
  // Bytes of the current header or frame received so far.
  size_t partial_bytes() const { return in_header_ ? header_fill_ : body_.size(); }

 private:
  const uint32_t max_frame_bytes_;
  WireError error_ = WireError::kNone;
  bool in_header_ = true;
  uint8_t header_[kWireHeaderBytes] = {};
  size_t header_fill_ = 0;
  uint32_t count_ = 0;
  std::vector<uint8_t> body_;
  std::deque<std::vector<uint8_t>> frames_;
};

}  // namespace zu
