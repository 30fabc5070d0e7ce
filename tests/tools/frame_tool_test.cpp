#include "tools/zuframe/frame_tool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "codec/frame_format.h"
#include "tests/tools/temp_dir.h"
#include "tools/frame_picture.h"
#include "tools/synth_frame.h"
#include "tools/zuframe/frame_file.h"

namespace zu {
namespace {

using Bytes = std::vector<uint8_t>;

class FrameToolTest : public ::testing::Test {
 protected:
  int Run(const std::vector<std::string>& args) {
    out_.str("");
    err_.str("");
    return RunFrameTool(args, out_, err_);
  }

  std::string Path(const std::string& name) const { return dir_.Path(name); }

  void Write(const std::string& name, const Bytes& bytes) {
    std::string problem;
    ASSERT_TRUE(WriteWholeFile(Path(name), bytes.data(), bytes.size(), &problem)) << problem;
  }

  Bytes Read(const std::string& name) {
    Bytes bytes;
    std::string problem;
    EXPECT_TRUE(ReadWholeFile(Path(name), &bytes, &problem)) << name << ": " << problem;
    return bytes;
  }

  bool Exists(const std::string& name) const { return std::filesystem::exists(Path(name)); }

  // in.bmp and its PNG, out.png, made by the tool.
  void MakePng(const Bytes& frame) {
    Write("in.bmp", MakeBmpFile(frame.data(), frame.size()));
    ASSERT_EQ(Run({"encode", Path("in.bmp"), Path("out.png")}), kToolExitOk) << err_.str();
  }

  TempDir dir_;
  std::ostringstream out_, err_;
};

// ---------------------------------------------------------------- encode and decode

TEST_F(FrameToolTest, EncodeThenDecodeShowsTheSamePicture) {
  const struct {
    int32_t width, height;
    uint16_t bits;
    bool raw_input;
  } rows[] = {
      {37, 5, 1, false},   {13, -6, 4, false}, {33, 17, 8, true}, {9, 4, 16, false},
      {37, 21, 24, false}, {5, -3, 24, true},  {6, 5, 32, false},
  };
  for (const auto& row : rows) {
    const std::string name = std::to_string(row.width) + "x" + std::to_string(row.height) + "x" +
                             std::to_string(row.bits) + (row.raw_input ? " raw" : " .bmp");
    SCOPED_TRACE(name);
    const Bytes frame = SynthFrame(row.width, row.height, row.bits);
    Write("in", row.raw_input ? frame : MakeBmpFile(frame.data(), frame.size()));

    ASSERT_EQ(Run({"encode", Path("in"), Path("out.png")}), kToolExitOk) << err_.str();
    EXPECT_EQ(DetectFrameFileKind(Read("out.png")), FrameFileKind::kPngStream);
    ASSERT_EQ(Run({"decode", Path("out.png"), Path("back.bmp")}), kToolExitOk) << err_.str();
    EXPECT_EQ(err_.str(), "");

    Bytes back;
    std::string problem;
    ASSERT_TRUE(LoadFrame(Read("back.bmp"), &back, &problem)) << problem;
    FrameLayout layout;
    CheckFrame(back.data(), static_cast<int64_t>(back.size()), &layout);
    EXPECT_EQ(layout.header.biBitCount, row.bits == 32 ? 24 : row.bits);
    std::string difference;
    EXPECT_TRUE(SamePicture(frame.data(), back.data(), &difference)) << difference;
  }
}

TEST_F(FrameToolTest, DecodeRawWritesTheFrameWithoutFileHeader) {
  MakePng(SynthFrame(10, 4, 24));
  ASSERT_EQ(Run({"decode", Path("out.png"), Path("back.bmp")}), kToolExitOk) << err_.str();
  ASSERT_EQ(Run({"decode", "--raw", Path("out.png"), Path("back.raw")}), kToolExitOk) << err_.str();
  const Bytes bmp = Read("back.bmp"), raw = Read("back.raw");
  EXPECT_EQ(DetectFrameFileKind(raw), FrameFileKind::kRawFrame);
  EXPECT_EQ(CheckFrame(raw.data(), static_cast<int64_t>(raw.size())), FrameVerdict::kOk);
  ASSERT_EQ(bmp.size(), raw.size() + kBmpFileHeaderSize);
  EXPECT_TRUE(std::equal(raw.begin(), raw.end(), bmp.begin() + kBmpFileHeaderSize));
}

TEST_F(FrameToolTest, SynthWritesTheGeneratorsFrameAsABmpFile) {
  ASSERT_EQ(Run({"synth", Path("a.bmp"), "64", "48"}), kToolExitOk) << err_.str();
  const Bytes frame24 = SynthFrame(64, 48, 24);
  EXPECT_EQ(Read("a.bmp"), MakeBmpFile(frame24.data(), frame24.size()));

  ASSERT_EQ(Run({"synth", Path("b.bmp"), "20", "-7", "4"}), kToolExitOk) << err_.str();
  const Bytes frame4 = SynthFrame(20, -7, 4);
  EXPECT_EQ(Read("b.bmp"), MakeBmpFile(frame4.data(), frame4.size()));
}

// ---------------------------------------------------------------- info

TEST_F(FrameToolTest, InfoPrintsTheHeaderAndAnOkVerdictForAGoodFrame) {
  Run({"synth", Path("a.bmp"), "64", "-48", "8"});
  ASSERT_EQ(Run({"info", Path("a.bmp")}), kToolExitOk) << err_.str();
  const std::string out = out_.str();
  EXPECT_EQ(out.substr(0, out.find('\n')),
            Path("a.bmp") + ": .bmp file, 4150 bytes, bfSize 4150, pixel data at 1078");
  for (const char* line :
       {"  biWidth          64\n", "  biHeight         -48 (top-down)\n", "  biBitCount       8\n",
        "  colour table     256 entries\n", "  row stride       64 bytes\n",
        "  frame size       4136 bytes, 4136 needed\n",
        "verdict: ok, frame is complete and drawable\n"}) {
    EXPECT_NE(out.find(line), std::string::npos) << "missing: " << line << "in:\n" << out;
  }
  EXPECT_EQ(err_.str(), "");
}

TEST_F(FrameToolTest, InfoOnAPngReportsTheFrameItDecodesTo) {
  MakePng(SynthFrame(30, -20, 32));
  ASSERT_EQ(Run({"info", Path("out.png")}), kToolExitOk) << err_.str();
  const std::string out = out_.str();
  // 32 bits go out as truecolour and come back as a bottom-up 24-bit frame: 40 + 20 * 92 bytes.
  EXPECT_NE(out.find(": PNG stream, "), std::string::npos) << out;
  EXPECT_NE(out.find(", decodes to a 1880-byte frame\n"), std::string::npos) << out;
  for (const char* line :
       {"  biWidth          30\n", "  biHeight         20 (bottom-up)\n", "  biBitCount       24\n",
        "verdict: ok, frame is complete and drawable\n"}) {
    EXPECT_NE(out.find(line), std::string::npos) << "missing: " << line << "in:\n" << out;
  }
}

TEST_F(FrameToolTest, InfoGivesTheVerdictOfAFaultyFrameAndFails) {
  Bytes frame = SynthFrame(8, 8, 24);
  frame.resize(frame.size() - 1);
  Write("short.raw", frame);
  EXPECT_EQ(Run({"info", Path("short.raw")}), kToolExitBadInput);
  const std::string out = out_.str();
  EXPECT_NE(out.find("  frame size       231 bytes, 232 needed\n"), std::string::npos) << out;
  EXPECT_NE(out.find("verdict: pixel rows run past the end of the data\n"), std::string::npos)
      << out;

  Bytes compressed = SynthFrame(8, 8, 24);
  compressed[16] = 1;
  Write("rle.raw", compressed);
  EXPECT_EQ(Run({"info", Path("rle.raw")}), kToolExitBadInput);
  EXPECT_NE(out_.str().find("  biCompression    1\n"), std::string::npos) << out_.str();
  EXPECT_NE(out_.str().find("verdict: compressed bitmaps are not carried\n"), std::string::npos)
      << out_.str();
}

// A driver may leave indices past a short colour table; the PNG path carries them like the BMP
// path does instead of dropping the frame.
TEST_F(FrameToolTest, IndicesPastTheColourTableCrossAsTheyAre) {
  Bytes past_table = SynthFrame(4, 2, 8);
  past_table[32] = 3;  // biClrUsed: three colours...
  past_table.erase(past_table.begin() + 40 + 3 * 4, past_table.begin() + 40 + 256 * 4);
  std::fill(past_table.begin() + 40 + 3 * 4, past_table.end(), 1);
  past_table[40 + 3 * 4 + 2] = 9;  // ...and a pixel that asks for the tenth
  Write("past_table.raw", past_table);
  ASSERT_EQ(Run({"encode", Path("past_table.raw"), Path("x.png")}), kToolExitOk) << err_.str();
  ASSERT_EQ(Run({"decode", "--raw", Path("x.png"), Path("back.raw")}), kToolExitOk) << err_.str();
  // Table and rows come back byte for byte; of the header, only the fields PNG carries.
  const Bytes back = Read("back.raw");
  ASSERT_EQ(back.size(), past_table.size());
  EXPECT_TRUE(std::equal(back.begin() + 40, back.end(), past_table.begin() + 40));
  EXPECT_EQ(back[32], 3);
}

// ---------------------------------------------------------------- failures

TEST_F(FrameToolTest, BadInputGivesOneLineNamingTheFileAndTheProblem) {
  Bytes short_bmp = MakeBmpFile(SynthFrame(8, 8, 24).data(), SynthFrame(8, 8, 24).size());
  short_bmp.resize(short_bmp.size() - 5);
  Write("short.bmp", short_bmp);
  MakePng(SynthFrame(8, 8, 24));
  Bytes cut_png = Read("out.png");
  cut_png.resize(cut_png.size() / 2);
  Write("cut.png", cut_png);
  Write("junk", {'h', 'e', 'l', 'l', 'o'});

  const struct {
    std::vector<std::string> args;
    std::string file;  // named in the message
    std::string problem;
  } rows[] = {
      {{"encode", Path("short.bmp"), Path("x.png")},
       "short.bmp",
       "pixel rows run past the end of the data"},
      {{"encode", Path("out.png"), Path("x.png")}, "out.png", "is a PNG stream, not a bitmap"},
      {{"encode", Path("missing.bmp"), Path("x.png")}, "missing.bmp", "cannot open"},
      {{"encode", Path("in.bmp"), Path("no-dir/x.png")}, "no-dir/x.png", "cannot create"},
      {{"decode", Path("in.bmp"), Path("x.bmp")}, "in.bmp", "not a PNG stream"},
      {{"decode", Path("cut.png"), Path("x.bmp")},
       "cut.png",
       "PNG stream is damaged, cut short or over the size limits"},
      {{"info", Path("cut.png")},
       "cut.png",
       "PNG stream is damaged, cut short or over the size limits"},
      {{"info", Path("junk")}, "junk", "not a .bmp file, a bitmap frame or a PNG stream"},
  };
  for (const auto& row : rows) {
    const std::string command = row.args[0] + " " + row.file;
    EXPECT_EQ(Run(row.args), kToolExitBadInput) << command;
    const std::string err = err_.str();
    const std::string expected = "zuframe: " + Path(row.file) + ": " + row.problem;
    EXPECT_EQ(err.substr(0, expected.size()), expected) << command;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << command << ": " << err;
    EXPECT_FALSE(Exists("x.png") || Exists("x.bmp")) << command << " left an output file";
  }
}

TEST_F(FrameToolTest, UsageErrorsExitWithTwoAndShowTheUsage) {
  const struct {
    std::vector<std::string> args;
    std::string first_line;
  } rows[] = {
      {{}, "usage: zuframe encode IN OUT.png          IN: .bmp file or bitmap frame"},
      {{"frobnicate"}, "zuframe: unknown command 'frobnicate'"},
      {{"encode", "in.bmp"}, "zuframe: encode takes IN and OUT.png"},
      {{"decode", "--raw", "in.png"}, "zuframe: decode takes IN.png and OUT"},
      {{"info"}, "zuframe: info takes one FILE"},
      {{"synth", "x.bmp", "64"}, "zuframe: synth takes OUT.bmp W H [BITS]"},
      {{"synth", "x.bmp", "0", "48"}, "zuframe: synth: width must be 1 to 16384"},
      {{"synth", "x.bmp", "64px", "48"}, "zuframe: synth: width must be 1 to 16384"},
      {{"synth", "x.bmp", "64", "16385"},
       "zuframe: synth: height must be 1 to 16384, or its negative for a top-down frame"},
      {{"synth", "x.bmp", "64", "48", "12"}, "zuframe: synth: bits must be 1, 4, 8, 16, 24 or 32"},
      {{"synth", "x.bmp", "16384", "16384", "32"},
       "zuframe: synth: frame would exceed the decoder's 128 MiB limit"},
  };
  for (const auto& row : rows) {
    std::string command;
    for (const auto& arg : row.args) command += arg + " ";
    EXPECT_EQ(Run(row.args), kToolExitUsage) << command;
    const std::string err = err_.str();
    EXPECT_EQ(err.substr(0, err.find('\n')), row.first_line) << command;
    EXPECT_NE(err.find("usage: zuframe"), std::string::npos) << command;
  }
}

}  // namespace
}  // namespace zu
