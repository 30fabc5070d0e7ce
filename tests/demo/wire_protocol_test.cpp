#include "demo/wire_protocol.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
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

std::vector<Bytes> Drain(FrameReader& reader) {
  std::vector<Bytes> out;
  Bytes frame;
  while (reader.PopFrame(&frame)) out.push_back(frame);
  return out;
}

TEST(WireHeader, IsLittleEndianCount) {
  uint8_t header[kWireHeaderBytes];
  WriteWireHeader(0x01020304u, header);
  EXPECT_EQ(Bytes(header, header + 4), (Bytes{0x04, 0x03, 0x02, 0x01}));
  const Bytes message = WireMessage(Pattern(3, 9).data(), 3);
  EXPECT_EQ(message, (Bytes{3, 0, 0, 0, 9, 16, 23}));
}

// ---------------------------------------------------------------- good streams

TEST(FrameReaderStream, ReturnsFramesWholeHoweverTheStreamIsCut) {
  const Bytes a = Pattern(1000, 1), b = Pattern(1, 77), c = Pattern(5000, 3);
  const Bytes stream = Concat({WireMessage(a.data(), 1000), WireMessage(b.data(), 1),
                               WireMessage(c.data(), 5000)});
  for (size_t piece : {size_t{1}, size_t{3}, size_t{4}, size_t{5}, size_t{999}, stream.size()}) {
    SCOPED_TRACE("pieces of " + std::to_string(piece));
    FrameReader reader;
    std::vector<Bytes> got;
    for (size_t at = 0; at < stream.size(); at += piece) {
      const size_t n = std::min(piece, stream.size() - at);
      ASSERT_EQ(reader.Feed(stream.data() + at, n), WireError::kNone);
      for (Bytes& f : Drain(reader)) got.push_back(std::move(f));
    }
    EXPECT_EQ(reader.Finish(), WireError::kNone);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], a);
    EXPECT_EQ(got[1], b);
    EXPECT_EQ(got[2], c);
  }
}

TEST(FrameReaderStream, PassesAnEmptyFrameOnForTheControlToRefuse) {
  FrameReader reader;
  const Bytes stream = Concat({WireMessage(nullptr, 0), WireMessage(Pattern(2, 5).data(), 2)});
  ASSERT_EQ(reader.Feed(stream.data(), stream.size()), WireError::kNone);
  const std::vector<Bytes> got = Drain(reader);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_TRUE(got[0].empty());
  EXPECT_EQ(got[1], Pattern(2, 5));
}

TEST(FrameReaderStream, TakesACountExactlyAtTheCap) {
  FrameReader reader(16);
  const Bytes stream = WireMessage(Pattern(16, 0).data(), 16);
  EXPECT_EQ(reader.Feed(stream.data(), stream.size()), WireError::kNone);
  EXPECT_EQ(reader.FramesWaiting(), 1u);
}

// ---------------------------------------------------------------- broken streams

TEST(FrameReaderErrors, RefusesACountAboveTheCapAndIgnoresTheRest) {
  FrameReader reader(16);
  const Bytes good = Pattern(8, 1);
  const Bytes stream = Concat({WireMessage(good.data(), 8), WireMessage(Pattern(17, 0).data(), 17),
                               WireMessage(good.data(), 8)});
  EXPECT_EQ(reader.Feed(stream.data(), stream.size()), WireError::kOversized);
  EXPECT_EQ(reader.last_count(), 17u);
  EXPECT_EQ(Drain(reader), std::vector<Bytes>{good});  // what came before still counts
  EXPECT_EQ(reader.Feed(stream.data(), stream.size()), WireError::kOversized);
  EXPECT_EQ(reader.FramesWaiting(), 0u);
}

TEST(FrameReaderErrors, RefusesAHugeCountBeforeReservingForIt) {
  FrameReader reader;  // the default cap
  const uint8_t header[] = {0xF0, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(reader.Feed(header, 4), WireError::kOversized);
  EXPECT_EQ(reader.last_count(), 0xFFFFFFF0u);
}

TEST(FrameReaderErrors, AStreamEndingInsideAHeaderOrFrameIsCutShort) {
  const Bytes message = WireMessage(Pattern(10, 0).data(), 10);
  for (size_t keep : {size_t{1}, size_t{3}, size_t{4}, size_t{13}}) {
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
  const Bytes next = WireMessage(frame.data(), static_cast<uint32_t>(frame.size()));
  struct Row {
    SenderFault fault;
    size_t damaged_frames;  // handed on, each failing the frame check
    bool stream_error;      // the reader ends in an error (at once or at the end)
  } const rows[] = {
      {SenderFault::kNone, 0, false},
      {SenderFault::kGarbage, 1, false},
      {SenderFault::kTruncated, 1, false},
      // Half the frame as a frame; the other half's first bytes then read as a count.
      {SenderFault::kCountShort, 1, true},
      {SenderFault::kOversized, 0, true},
      {SenderFault::kDrop, 0, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(SenderFaultName(row.fault));
    const FaultyMessage message = MakeFaultyMessage(row.fault, frame, 42);
    EXPECT_EQ(message.close_after, row.fault == SenderFault::kDrop);
    FrameReader reader;
    reader.Feed(message.bytes.data(), message.bytes.size());
    if (!message.close_after) reader.Feed(next.data(), next.size());
    const WireError error = reader.Finish();
    EXPECT_EQ(error != WireError::kNone, row.stream_error) << DescribeWireError(error);
    size_t damaged = 0, good = 0;
    for (const Bytes& f : Drain(reader)) {
      if (f == frame) {
        ++good;
      } else {
        ++damaged;
        EXPECT_NE(CheckFrame(f.data(), static_cast<int64_t>(f.size())), FrameVerdict::kOk)
            << "a damaged frame of " << f.size() << " bytes passes the frame check";
      }
    }
    EXPECT_EQ(damaged, row.damaged_frames);
    EXPECT_EQ(good, row.stream_error ? 0u : (row.fault == SenderFault::kNone ? 2u : 1u));
  }
}

}  // namespace
}  // namespace zu
