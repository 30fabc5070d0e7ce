// Camera-like frames for the demo's sender: the drifting, noisy gradient of SynthFrame at 24 bits
// with the frame number drawn in its top-left corner, as BMP-variant frame data or compressed to
// PNG by the capture side's encoder. A capture control will take this class's place as the
// source; the sender around it stays.
#pragma once

#include <cstdint>
#include <vector>

#include "demo/wire_protocol.h"

namespace zu {

class SynthFrameSource {
 public:
  SynthFrameSource(int32_t width, int32_t height, WireFormat format)
      : width_(width), height_(height), format_(format) {}

  // Frame data for frame `index`; empty when the size makes no frame or encoding fails.
  std::vector<uint8_t> Frame(uint32_t index) const;

 private:
  int32_t width_;
  int32_t height_;
  WireFormat format_;
};

// Draws `number` in decimal, white on black, into the top-left corner of a bottom-up 24-bit
// BMP-variant frame (as far as it fits). Other frames are left alone; false for them.
bool DrawFrameNumber(std::vector<uint8_t>* frame, uint32_t number);

}  // namespace zu
