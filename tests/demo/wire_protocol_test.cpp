#include "demo/wire_protocol.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "codec/frame_format.h"
#include "demo/sender_fault.h"
#include "tools/synth_frame.h"

namespace zu {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Pattern(size_t n, uint8_t start) {
  Bytes out(n);
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(start + i * 7);
  return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

WireHeader Header(uint32_t count, uint32_t sequence = 0, WireFormat format = WireFormat::kBmp,
                  uint64_t capture_us = 0) {
  WireHeader header;
  header.format = format;
  header.count = count;
  header.sequence = sequence;
  header.capture_us = capture_us;
  return header;
}

Bytes Message(const Bytes& frame, uint32_t sequence = 0) {
  return WireMessage(Header(static_cast<uint32_t>(frame.size()), sequence), frame.data());
}

std::vector<ReceivedFrame> Drain(FrameReader& reader) {
  std::vector<ReceivedFrame> out;
  ReceivedFrame frame;
  while (reader.PopFrame(&frame)) out.push_back(std::move(frame));
  return out;
}

std::vector<Bytes> DrainBytes(FrameReader& reader) {
  std::vector<Bytes> out;
  for (ReceivedFrame& frame : Drain(reader)) out.push_back(std::move(frame.bytes));
  return out;
}

// ---------------------------------------------------------------- the header

TEST(WireHeader, IsLittleEndianWithMagicVersionFlagsCountSequenceAndTime) {
  const Bytes message = WireMessage(
      Header(3, 0x0A0B0C0Du, WireFormat::kPng, 0x0102030405060708ull), Pattern(3, 9).data());
  EXPECT_EQ(message, (Bytes{'Z', 'U', 'W', 'F',              // magic
                            1, 0,                            // version
                            1, 0,                            // flags: PNG
                            3, 0, 0, 0,                      // count
                            0x0D, 0x0C, 0x0B, 0x0A,          // sequence
                            8, 7, 6, 5, 4, 3, 2, 1,          // capture time
                            9, 16, 23}));
  uint8_t bmp[kWireHeaderBytes];
  WriteWireHeader(Header(0), bmp);
  EXPECT_EQ(bmp[6], 0) << "BMP sets no flag";

  WireHeader read;
  ASSERT_EQ(ReadWireHeader(message.data(), kMaxWireFrameBytes, &read), WireError::kNone);
  EXPECT_EQ(read.format, WireFormat::kPng);
  EXPECT_EQ(read.count, 3u);
  EXPECT_EQ(read.sequence, 0x0A0B0C0Du);
  EXPECT_EQ(read.capture_us, 0x0102030405060708ull);
}

TEST(WireHeader, RefusesWhatIsNotAVersionOneHeaderOfACountWithinTheCap) {
  const struct {
    const char* name;
    size_t at;
    uint8_t value;
    WireError error;
  } rows[] = {
      {"magic", 0, 'z', WireError::kBadMagic},
      {"last magic byte", 3, 0, WireError::kBadMagic},
      {"version 0", 4, 0, WireError::kBadVersion},
      {"version 2", 4, 2, WireError::kBadVersion},
      {"version 257", 5, 1, WireError::kBadVersion},
      {"unknown flag", 6, 0x03, WireError::kBadVersion},
      {"high flag", 7, 0x80, WireError::kBadVersion},
      {"count of cap + 1", 8, 17, WireError::kOversized},
      {"count far above the cap", 11, 0xFF, WireError::kOversized},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    uint8_t header[kWireHeaderBytes];
    WriteWireHeader(Header(16, 5), header);
    WireHeader unchanged;
    ASSERT_EQ(ReadWireHeader(header, 16, &unchanged), WireError::kNone);
    header[row.at] = row.value;
    WireHeader read;
    EXPECT_EQ(ReadWireHeader(header, 16, &read), row.error);
    EXPECT_EQ(read.sequence, 5u) << "the fields are read as the bytes say";
  }
}

// ---------------------------------------------------------------- good streams

TEST(FrameReaderStream, ReturnsFramesWholeWithTheirHeadersHoweverTheStreamIsCut) {
  const Bytes a = Pattern(1000, 1), b = Pattern(1, 77), c = Pattern(5000, 3);
  const Bytes stream =
      Concat({WireMessage(Header(1000, 7, WireFormat::kBmp, 111), a.data()),
              WireMessage(Header(1, 8, WireFormat::kPng, 222), b.data()),
              WireMessage(Header(5000, 10, WireFormat::kBmp, 333), c.data())});
  for (size_t piece : {size_t{1}, size_t{3}, size_t{24}, size_t{25}, size_t{999}, stream.size()}) {
    SCOPED_TRACE("pieces of " + std::to_string(piece));
    FrameReader reader;
    std::vector<ReceivedFrame> got;
    for (size_t at = 0; at < stream.size(); at += piece) {
      const size_t n = std::min(piece, stream.size() - at);
      ASSERT_EQ(reader.Feed(stream.data() + at, n), WireError::kNone);
      for (ReceivedFrame& f : Drain(reader)) got.push_back(std::move(f));
    }
    EXPECT_EQ(reader.Finish(), WireError::kNone);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].bytes, a);
    EXPECT_EQ(got[1].bytes, b);
    EXPECT_EQ(got[2].bytes, c);
    EXPECT_EQ(got[1].header.format, WireFormat::kPng);
    EXPECT_EQ(got[2].header.format, WireFormat::kBmp);
    EXPECT_EQ(got[2].header.count, 5000u);
    EXPECT_EQ(got[2].header.sequence, 10u);
    EXPECT_EQ(got[2].header.capture_us, 333u);
  }
}

TEST(FrameReaderStream, PassesAnEmptyFrameOnForTheControlToRefuse) {
  FrameReader reader;
  const Bytes stream = Concat({Message({}), Message(Pattern(2, 5))});
  ASSERT_EQ(reader.Feed(stream.data(), stream.size()), WireError::kNone);
  const std::vector<Bytes> got = DrainBytes(reader);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_TRUE(got[0].empty());
  EXPECT_EQ(got[1], Pattern(2, 5));
}

TEST(FrameReaderStream, TakesACountExactlyAtTheCap) {
  FrameReader reader(16);
  const Bytes stream = Message(Pattern(16, 0));
  EXPECT_EQ(reader.Feed(stream.data(), stream.size()), WireError::kNone);
  EXPECT_EQ(reader.FramesWaiting(), 1u);
}

// ---------------------------------------------------------------- broken streams

TEST(FrameReaderErrors, RefusesABadHeaderAndIgnoresTheRest) {
  const Bytes good = Pattern(8, 1);
  Bytes bad_magic = Message(good, 1);
  bad_magic[1] = 'X';
  Bytes bad_version = Message(good, 1);
  bad_version[4] = 9;
  const struct {
    const char* name;
    Bytes second;
    WireError error;
  } rows[] = {
      {"oversized", Message(Pattern(17, 0), 1), WireError::kOversized},
      {"bad magic", bad_magic, WireError::kBadMagic},
      {"bad version", bad_version, WireError::kBadVersion},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    FrameReader reader(16);
    const Bytes stream = Concat({Message(good, 0), row.second, Message(good, 2)});
    EXPECT_EQ(reader.Feed(stream.data(), stream.size()), row.error);
    EXPECT_EQ(reader.last_header().sequence, 1u);
    EXPECT_EQ(DrainBytes(reader), std::vector<Bytes>{good});  // what came before still counts
    EXPECT_EQ(reader.Feed(stream.data(), stream.size()), row.error);
    EXPECT_EQ(reader.FramesWaiting(), 0u);
    EXPECT_EQ(reader.Finish(), row.error);
  }
}

TEST(FrameReaderErrors, RefusesAHugeCountBeforeReservingForIt) {
  FrameReader reader;  // the default cap
  uint8_t header[kWireHeaderBytes];
  WriteWireHeader(Header(0xFFFFFFF0u), header);
  EXPECT_EQ(reader.Feed(header, sizeof header), WireError::kOversized);
  EXPECT_EQ(reader.last_header().count, 0xFFFFFFF0u);
  EXPECT_EQ(reader.partial_bytes(), 0u);
}

TEST(FrameReaderErrors, AStreamEndingInsideAHeaderOrFrameIsCutShort) {
  const Bytes message = Message(Pattern(10, 0));
  for (size_t keep : {size_t{1}, size_t{23}, size_t{24}, size_t{33}}) {
    SCOPED_TRACE("stream of " + std::to_string(keep) + " bytes");
    FrameReader reader;
    ASSERT_EQ(reader.Feed(message.data(), keep), WireError::kNone);
    EXPECT_EQ(reader.Finish(), WireError::kCutShort);
    EXPECT_EQ(reader.FramesWaiting(), 0u);
  }
  FrameReader empty;
  EXPECT_EQ(empty.Finish(), WireError::kNone);
}

// What each misbehaving sender leaves a reader with: frames that fail the frame check (the
// control refuses them), a stream error, and whether a good frame after the fault gets through.
TEST(FrameReaderErrors, EachSenderFaultEndsAsARefusableFrameOrAStreamError) {
  const Bytes frame = SynthFrame(64, 48, 24, 1);
  ASSERT_EQ(CheckFrame(frame.data(), static_cast<int64_t>(frame.size())), FrameVerdict::kOk);
  const Bytes next = Message(frame, 43);
  struct Row {
    SenderFault fault;
    size_t damaged_frames;  // handed on, each failing the frame check
    WireError error;        // where the reader ends (at once or at the end)
  } const rows[] = {
      {SenderFault::kNone, 0, WireError::kNone},
      {SenderFault::kGarbage, 1, WireError::kNone},
      {SenderFault::kTruncated, 1, WireError::kNone},
      // Half the frame as a frame; the other half's first bytes then read as a header.
      {SenderFault::kCountShort, 1, WireError::kBadMagic},
      {SenderFault::kOversized, 0, WireError::kOversized},
      {SenderFault::kDrop, 0, WireError::kCutShort},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(SenderFaultName(row.fault));
    const FaultyMessage message =
        MakeFaultyMessage(row.fault, Header(0, 42, WireFormat::kBmp, 4242), frame);
    EXPECT_EQ(message.close_after, row.fault == SenderFault::kDrop);
    FrameReader reader;
    reader.Feed(message.bytes.data(), message.bytes.size());
    if (!message.close_after) reader.Feed(next.data(), next.size());
    const WireError error = reader.Finish();
    EXPECT_EQ(error, row.error) << DescribeWireError(error);
    size_t damaged = 0, good = 0;
    for (const Bytes& f : DrainBytes(reader)) {
      if (f == frame) {
        ++good;
      } else {
        ++damaged;
        EXPECT_NE(CheckFrame(f.data(), static_cast<int64_t>(f.size())), FrameVerdict::kOk)
            << "a damaged frame of " << f.size() << " bytes passes the frame check";
      }
    }
    EXPECT_EQ(damaged, row.damaged_frames);
    const bool stream_error = row.error != WireError::kNone;
    EXPECT_EQ(good, stream_error ? 0u : (row.fault == SenderFault::kNone ? 2u : 1u));
  }
}

}  // namespace
}  // namespace zu
