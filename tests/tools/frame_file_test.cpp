#include "tools/zuframe/frame_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "codec/frame_format.h"
#include "tests/tools/temp_dir.h"
#include "tools/synth_frame.h"

namespace zu {
namespace {

using Bytes = std::vector<uint8_t>;

void Put32(Bytes& bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

// A .bmp file whose rows sit `gap` bytes after the colour table, the gap filled with 0xEE, and
// `tail` bytes of 0xDD after the rows.
Bytes BmpFileWithGap(const Bytes& frame, size_t gap, size_t tail = 0) {
  FrameLayout layout;
  EXPECT_EQ(CheckFrame(frame.data(), static_cast<int64_t>(frame.size()), &layout),
            FrameVerdict::kOk);
  Bytes file(kBmpFileHeaderSize, 0);
  file[0] = 'B';
  file[1] = 'M';
  file.insert(file.end(), frame.begin(), frame.begin() + layout.rows_offset);
  file.insert(file.end(), gap, 0xEE);
  const size_t rows_at = file.size();
  file.insert(file.end(), frame.begin() + layout.rows_offset, frame.end());
  file.insert(file.end(), tail, 0xDD);
  Put32(file, 2, static_cast<uint32_t>(file.size()));
  Put32(file, 10, static_cast<uint32_t>(rows_at));
  return file;
}

TEST(DetectFrameFileKind, TellsKindsApartByTheirFirstBytes) {
  const struct {
    const char* name;
    Bytes bytes;
    FrameFileKind kind;
  } rows[] = {
      {"PNG signature",
       {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0},
       FrameFileKind::kPngStream},
      {"PNG signature cut short", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a}, FrameFileKind::kUnknown},
      {"PNG signature, line ends converted",
       {0x89, 'P', 'N', 'G', '\n', 0x1a, '\n', 0},
       FrameFileKind::kUnknown},
      {"BM", {'B', 'M'}, FrameFileKind::kBmpFile},
      {"MB", {'M', 'B', 0, 0}, FrameFileKind::kUnknown},
      {"header size 40", {40, 0, 0, 0}, FrameFileKind::kRawFrame},
      {"header size 40 + 2^24", {40, 0, 0, 1}, FrameFileKind::kUnknown},
      {"header size 124", {124, 0, 0, 0}, FrameFileKind::kUnknown},
      {"empty", {}, FrameFileKind::kUnknown},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(DetectFrameFileKind(row.bytes), row.kind) << row.name;
  }
}

// ---------------------------------------------------------------- .bmp files

TEST(ExtractFrame, JoinsHeaderAndTableToTheRowsAtBfOffBits) {
  // 4 bits: a 16-entry table, so an offset that ignored the table would land 64 bytes early.
  const Bytes frame = SynthFrame(13, 5, 4);
  for (size_t gap : {0, 1, 6, 300}) {
    const Bytes file = BmpFileWithGap(frame, gap, /*tail=*/2);
    Bytes extracted;
    BmpFileHeader header;
    std::string problem;
    ASSERT_TRUE(ExtractFrame(file, &extracted, &header, &problem))
        << "gap " << gap << ": " << problem;
    EXPECT_EQ(header.bfOffBits, kBmpFileHeaderSize + 40 + 64 + gap) << "gap " << gap;
    EXPECT_EQ(header.bfSize, file.size()) << "gap " << gap;
    EXPECT_EQ(extracted, frame) << "gap " << gap;
  }
}

TEST(ExtractFrame, TakesARawFrameAsItIs) {
  const Bytes frame = SynthFrame(3, -2, 24);
  Bytes extracted;
  std::string problem;
  ASSERT_TRUE(ExtractFrame(frame, &extracted, nullptr, &problem)) << problem;
  EXPECT_EQ(extracted, frame);
}

TEST(MakeBmpFile, WritesAFileHeaderThatLeadsBackToTheFrame) {
  const Bytes frame = SynthFrame(7, 3, 8);
  const Bytes file = MakeBmpFile(frame.data(), frame.size());
  ASSERT_EQ(file.size(), kBmpFileHeaderSize + frame.size());
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[1], 'M');
  Bytes extracted;
  BmpFileHeader header;
  std::string problem;
  ASSERT_TRUE(ExtractFrame(file, &extracted, &header, &problem)) << problem;
  EXPECT_EQ(header.bfSize, file.size());
  EXPECT_EQ(header.bfOffBits, kBmpFileHeaderSize + 40 + 4 * 256);
  EXPECT_EQ(extracted, frame);
  // Reserved fields stay zero; some readers refuse anything else.
  EXPECT_EQ(Bytes(file.begin() + 6, file.begin() + 10), Bytes(4, 0));
}

// Every way a file can be unusable, and the words that name it.
TEST(LoadFrame, NamesWhatIsWrongWithTheFile) {
  const Bytes frame = SynthFrame(13, 5, 4);  // rows end at 14 + 104 + 5 * 8 = 158
  const Bytes good = BmpFileWithGap(frame, 0);

  Bytes wrong_signature = good;
  wrong_signature[1] = 'N';
  Bytes offset_in_table = good;
  Put32(offset_in_table, 10, 60);
  Bytes offset_past_end = good;
  Put32(offset_past_end, 10, 1000);
  Bytes offset_at_end = good;
  Put32(offset_at_end, 10, static_cast<uint32_t>(good.size()));
  Bytes big_header = good;
  Put32(big_header, kBmpFileHeaderSize, 124);
  Bytes compressed = good;
  Put32(compressed, kBmpFileHeaderSize + 16, 1);
  Bytes table_cut = good;
  table_cut.resize(kBmpFileHeaderSize + 40 + 30);

  const struct {
    const char* name;
    Bytes file;
    std::string problem;
  } rows[] = {
      {"empty", {}, "file is empty"},
      {"file header cut short", Bytes(good.begin(), good.begin() + 10),
       "file header is cut short (10 of 14 bytes)"},
      {"wrong signature", wrong_signature, "not a .bmp file, a bitmap frame or a PNG stream"},
      {"PNG", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'}, "is a PNG stream, not a bitmap"},
      {"bitmap header cut short", Bytes(good.begin(), good.begin() + 30),
       "shorter than the 40-byte bitmap header"},
      {"bitmap header of 124 bytes", big_header, "header size is not 40"},
      {"compressed", compressed, "compressed bitmaps are not carried"},
      {"colour table cut short", table_cut, "colour table runs past the end of the data"},
      {"offset inside the colour table", offset_in_table,
       "pixel data offset 60 lies inside the headers and colour table, which end at 118"},
      {"offset past the end", offset_past_end,
       "pixel data offset 1000 is past the end of the file (158 bytes)"},
      {"offset at the end", offset_at_end, "pixel rows run past the end of the data"},
      {"last row one byte short", Bytes(good.begin(), good.end() - 1),
       "pixel rows run past the end of the data"},
      {"raw frame one byte short", Bytes(frame.begin(), frame.end() - 1),
       "pixel rows run past the end of the data"},
  };
  for (const auto& row : rows) {
    Bytes extracted;
    std::string problem;
    EXPECT_FALSE(LoadFrame(row.file, &extracted, &problem)) << row.name;
    EXPECT_EQ(problem, row.problem) << row.name;
  }
}

// ---------------------------------------------------------------- files

class WholeFileTest : public ::testing::Test {
 protected:
  TempDir dir_;
};

// Frames are full of bytes that a text-mode stream would rewrite on Windows.
TEST_F(WholeFileTest, KeepsEveryByteValue) {
  Bytes written;
  for (int i = 0; i < 512; ++i) written.push_back(static_cast<uint8_t>(i * 7));
  for (uint8_t b : {0x0d, 0x0a, 0x0a, 0x0d, 0x1a, 0x00}) written.push_back(b);
  std::string problem;
  ASSERT_TRUE(WriteWholeFile(dir_.Path("bytes"), written.data(), written.size(), &problem))
      << problem;
  EXPECT_EQ(std::filesystem::file_size(dir_.Path("bytes")), written.size());
  Bytes read;
  ASSERT_TRUE(ReadWholeFile(dir_.Path("bytes"), &read, &problem)) << problem;
  EXPECT_EQ(read, written);
}

TEST_F(WholeFileTest, NamesFilesThatCannotBeOpenedOrCreated) {
  Bytes read;
  std::string problem;
  EXPECT_FALSE(ReadWholeFile(dir_.Path("missing.bmp"), &read, &problem));
  EXPECT_EQ(problem.rfind("cannot open", 0), 0u) << problem;

  const uint8_t byte = 0;
  problem.clear();
  EXPECT_FALSE(WriteWholeFile(dir_.Path("no-such-dir/out.png"), &byte, 1, &problem));
  EXPECT_EQ(problem.rfind("cannot create", 0), 0u) << problem;
}

}  // namespace
}  // namespace zu
