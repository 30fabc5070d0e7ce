#include "demo/wire_protocol.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace zu {
namespace {

constexpr size_t kVersionAt = 4, kFlagsAt = 6, kCountAt = 8, kSequenceAt = 12, kTimeAt = 16;

template <class T>
void Put(uint8_t* out, T value) {
  for (size_t i = 0; i < sizeof(T); ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

template <class T>
T Get(const uint8_t* in) {
  T value = 0;
  for (size_t i = 0; i < sizeof(T); ++i) value |= static_cast<T>(T{in[i]} << (8 * i));
  return value;
}

}  // namespace

const char* DescribeWireError(WireError error) {
  switch (error) {
    case WireError::kNone: return "no error";
    case WireError::kBadMagic: return "not a frame header (bad magic)";
    case WireError::kBadVersion: return "unknown wire version or flags";
    case WireError::kOversized: return "frame byte count above the limit";
    case WireError::kCutShort: return "stream ended inside a frame";
  }
  return "unknown error";
}

void WriteWireHeader(const WireHeader& header, uint8_t out[kWireHeaderBytes]) {
  std::copy(std::begin(kWireMagic), std::end(kWireMagic), out);
  Put<uint16_t>(out + kVersionAt, kWireVersion);
  Put<uint16_t>(out + kFlagsAt, header.format == WireFormat::kPng ? kWireFlagPng : 0);
  Put<uint32_t>(out + kCountAt, header.count);
  Put<uint32_t>(out + kSequenceAt, header.sequence);
  Put<uint64_t>(out + kTimeAt, header.capture_us);
}

WireError ReadWireHeader(const uint8_t in[kWireHeaderBytes], uint32_t max_count, WireHeader* out) {
  const uint16_t flags = Get<uint16_t>(in + kFlagsAt);
  out->format = (flags & kWireFlagPng) ? WireFormat::kPng : WireFormat::kBmp;
  out->count = Get<uint32_t>(in + kCountAt);
  out->sequence = Get<uint32_t>(in + kSequenceAt);
  out->capture_us = Get<uint64_t>(in + kTimeAt);
  if (!std::equal(std::begin(kWireMagic), std::end(kWireMagic), in)) return WireError::kBadMagic;
  if (Get<uint16_t>(in + kVersionAt) != kWireVersion || (flags & ~kWireFlagPng) != 0) {
    return WireError::kBadVersion;
  }
  // Checked before anything is reserved: the count is the peer's word.
  if (out->count > max_count) return WireError::kOversized;
  return WireError::kNone;
}

std::vector<uint8_t> WireMessage(const WireHeader& header, const uint8_t* frame) {
  std::vector<uint8_t> message(kWireHeaderBytes + static_cast<size_t>(header.count));
  WriteWireHeader(header, message.data());
  if (header.count != 0) std::copy(frame, frame + header.count, message.begin() + kWireHeaderBytes);
  return message;
}

WireError FrameReader::Feed(const uint8_t* data, size_t length) {
  while (error_ == WireError::kNone && length > 0) {
    if (in_header_) {
      const size_t take = std::min(length, kWireHeaderBytes - header_fill_);
      std::copy(data, data + take, header_bytes_ + header_fill_);
      header_fill_ += take;
      data += take;
      length -= take;
      if (header_fill_ < kWireHeaderBytes) break;
      header_fill_ = 0;
      error_ = ReadWireHeader(header_bytes_, max_frame_bytes_, &header_);
      if (error_ != WireError::kNone) break;
      in_header_ = false;
      body_.clear();
      body_.reserve(header_.count);
    } else {
      const size_t take = std::min(length, static_cast<size_t>(header_.count) - body_.size());
      body_.insert(body_.end(), data, data + take);
      data += take;
      length -= take;
    }
    if (!in_header_ && body_.size() == header_.count) {
      frames_.push_back({header_, std::move(body_)});
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

bool FrameReader::PopFrame(ReceivedFrame* frame) {
  if (frames_.empty()) return false;
  *frame = std::move(frames_.front());
  frames_.pop_front();
  return true;
}

}  // namespace zu
