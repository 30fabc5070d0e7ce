#include "demo/wire_protocol.h"

#include <algorithm>
#include <utility>

namespace zu {

void WriteWireHeader(uint32_t count, uint8_t out[kWireHeaderBytes]) {
  for (size_t i = 0; i < kWireHeaderBytes; ++i) out[i] = static_cast<uint8_t>(count >> (8 * i));
}

std::vector<uint8_t> WireMessage(const uint8_t* frame, uint32_t count) {
  std::vector<uint8_t> message(kWireHeaderBytes + static_cast<size_t>(count));
  WriteWireHeader(count, message.data());
  if (count != 0) std::copy(frame, frame + count, message.begin() + kWireHeaderBytes);
  return message;
}

const char* DescribeWireError(WireError error) {
  switch (error) {
    case WireError::kNone: return "no error";
    case WireError::kOversized: return "frame byte count above the limit";
    case WireError::kCutShort: return "stream ended inside a frame";
  }
  return "unknown error";
}

WireError FrameReader::Feed(const uint8_t* data, size_t length) {
  while (error_ == WireError::kNone && length > 0) {
    if (in_header_) {
      const size_t take = std::min(length, kWireHeaderBytes - header_fill_);
      std::copy(data, data + take, header_ + header_fill_);
      header_fill_ += take;
      data += take;
      length -= take;
      if (header_fill_ < kWireHeaderBytes) break;
      count_ = 0;
      for (size_t i = 0; i < kWireHeaderBytes; ++i) count_ |= uint32_t{header_[i]} << (8 * i);
      header_fill_ = 0;
      // Checked before anything is reserved: the count is the peer's word.
      if (count_ > max_frame_bytes_) {
        error_ = WireError::kOversized;
        break;
      }
      in_header_ = false;
      body_.clear();
      body_.reserve(count_);
    } else {
      const size_t take = std::min(length, static_cast<size_t>(count_) - body_.size());
      body_.insert(body_.end(), data, data + take);
      data += take;
      length -= take;
    }
    if (!in_header_ && body_.size() == count_) {
      frames_.push_back(std::move(body_));
      body_ = {};
      in_header_ = true;
    }
  }
  return error_;
}

WireError FrameReader::Finish() {
  if (error_ == WireError::kNone && (!in_header_ || header_fill_ != 0)) {
    error_ = WireError::kCutShort;
  }
  return error_;
}

bool FrameReader::PopFrame(std::vector<uint8_t>* frame) {
  if (frames_.empty()) return false;
  *frame = std::move(frames_.front());
  frames_.pop_front();
  return true;
}

}  // namespace zu
