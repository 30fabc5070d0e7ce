#include "tools/zuframe/frame_tool.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <iomanip>

#include "codec/frame_format.h"
#include "codec/png_frame_decoder.h"
#include "codec/png_frame_encoder.h"
#include "tools/frame_picture.h"
#include "tools/synth_frame.h"
#include "tools/zuframe/frame_file.h"

namespace zu {
namespace {

constexpr char kUsage[] =
    "usage: zuframe encode IN OUT.png          IN: .bmp file or bitmap frame\n"
    "       zuframe decode [--raw] IN.png OUT  OUT: .bmp file, or the bare frame with --raw\n"
    "       zuframe info FILE                  .bmp file, bitmap frame or PNG stream\n"
    "       zuframe synth OUT.bmp W H [BITS]   camera-like test frame; BITS 1, 4, 8, 16, 24\n"
    "                                          (default) or 32; a negative H stores it top-down\n";

class Tool {
 public:
  Tool(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

  int Fail(const std::string& what, const std::string& problem) {
    err_ << "zuframe: " << what << ": " << problem << '\n';
    return kToolExitBadInput;
  }

  int Usage(const std::string& problem) {
    if (!problem.empty()) err_ << "zuframe: " << problem << '\n';
    err_ << kUsage;
    return kToolExitUsage;
  }

  int Encode(const std::string& in_path, const std::string& out_path) {
    std::vector<uint8_t> file, frame;
    std::string problem;
    if (!ReadWholeFile(in_path, &file, &problem)) return Fail(in_path, problem);
    if (!LoadFrame(file, &frame, &problem)) return Fail(in_path, problem);
    PngFrameEncoder encoder;
    int32_t stream_length = 0;
    // ReadWholeFile keeps files below 2 GiB, so the length fits.
    FrameBlock stream(
        encoder.EncodeFrame(frame.data(), static_cast<int32_t>(frame.size()), &stream_length));
    if (!stream) {
      return Fail(in_path, "PNG encoding failed");
    }
    if (!WriteWholeFile(out_path, stream.get(), static_cast<size_t>(stream_length), &problem)) {
      return Fail(out_path, problem);
    }
    return kToolExitOk;
  }

  int Decode(const std::string& in_path, const std::string& out_path, bool raw) {
    std::vector<uint8_t> file;
    std::string problem;
    if (!ReadWholeFile(in_path, &file, &problem)) return Fail(in_path, problem);
    if (DetectFrameFileKind(file) != FrameFileKind::kPngStream) {
      return Fail(in_path, "not a PNG stream");
    }
    int32_t length = 0;
    FrameBlock frame = DecodeStream(file, &length);
    if (!frame) return Fail(in_path, "PNG stream is damaged, cut short or over the size limits");
    const bool written =
        raw ? WriteWholeFile(out_path, frame.get(), static_cast<size_t>(length), &problem)
            : WriteBmp(out_path, frame.get(), static_cast<size_t>(length), &problem);
    return written ? kToolExitOk : Fail(out_path, problem);
  }

  int Info(const std::string& path) {
    std::vector<uint8_t> file, frame;
    std::string problem;
    if (!ReadWholeFile(path, &file, &problem)) return Fail(path, problem);
    const FrameFileKind kind = DetectFrameFileKind(file);
    out_ << path << ": " << DescribeFrameFileKind(kind) << ", " << file.size() << " bytes";
    if (kind == FrameFileKind::kPngStream) {
      int32_t length = 0;
      FrameBlock block = DecodeStream(file, &length);
      if (!block) {
        out_ << '\n';
        return Fail(path, "PNG stream is damaged, cut short or over the size limits");
      }
      out_ << ", decodes to a " << length << "-byte frame\n";
      frame.assign(block.get(), block.get() + length);
    } else {
      BmpFileHeader file_header;
      if (!ExtractFrame(file, &frame, &file_header, &problem)) {
        out_ << '\n';
        return Fail(path, problem);
      }
      if (kind == FrameFileKind::kBmpFile) {
        out_ << ", bfSize " << file_header.bfSize << ", pixel data at " << file_header.bfOffBits;
      }
      out_ << '\n';
    }
    return ReportFrame(frame);
  }

  int Synth(const std::string& out_path, const std::string& width_text,
            const std::string& height_text, const std::string& bits_text) {
    long width = 0, height = 0, bits = 0;
    const long max_side = static_cast<long>(kMaxDecodeDimension);
    if (!ParseNumber(width_text, &width) || width < 1 || width > max_side) {
      return Usage("synth: width must be 1 to " + std::to_string(max_side));
    }
    if (!ParseNumber(height_text, &height) || height == 0 || height < -max_side ||
        height > max_side) {
      return Usage("synth: height must be 1 to " + std::to_string(max_side) +
                   ", or its negative for a top-down frame");
    }
    if (!ParseNumber(bits_text, &bits) ||
        (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)) {
      return Usage("synth: bits must be 1, 4, 8, 16, 24 or 32");
    }
    // Test frames are for the codec; one it would refuse to decode tests nothing.
    const uint64_t rows = static_cast<uint64_t>(height < 0 ? -height : height);
    if (DibRowStride(width, static_cast<uint32_t>(bits)) * rows > kMaxDecodedBytes) {
      return Usage("synth: frame would exceed the decoder's " +
                   std::to_string(kMaxDecodedBytes >> 20) + " MiB limit");
    }
    const std::vector<uint8_t> frame = SynthFrame(
        static_cast<int32_t>(width), static_cast<int32_t>(height), static_cast<uint16_t>(bits));
    std::string problem;
    if (!WriteBmp(out_path, frame.data(), frame.size(), &problem)) return Fail(out_path, problem);
    return kToolExitOk;
  }

 private:
  static bool ParseNumber(const std::string& text, long* value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    *value = std::strtol(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0';
  }

  static FrameBlock DecodeStream(const std::vector<uint8_t>& stream, int32_t* length) {
    PngFrameDecoder decoder;
    return FrameBlock(
        decoder.DecodeFrame(stream.data(), static_cast<int32_t>(stream.size()), length));
  }

  static bool WriteBmp(const std::string& path, const uint8_t* frame, size_t length,
                       std::string* problem) {
    const std::vector<uint8_t> file = MakeBmpFile(frame, length);
    return WriteWholeFile(path, file.data(), file.size(), problem);
  }

  int ReportFrame(const std::vector<uint8_t>& frame) {
    FrameLayout layout;
    const FrameVerdict verdict =
        CheckFrame(frame.data(), static_cast<int64_t>(frame.size()), &layout);
    if (verdict != FrameVerdict::kNoHeader) {
      const BitmapHeader& h = layout.header;
      Field("biSize") << h.biSize << '\n';
      Field("biWidth") << h.biWidth << '\n';
      Field("biHeight") << h.biHeight
                        << (h.biHeight < 0   ? " (top-down)"
                            : h.biHeight > 0 ? " (bottom-up)"
                                             : "")
                        << '\n';
      Field("biPlanes") << h.biPlanes << '\n';
      Field("biBitCount") << h.biBitCount << '\n';
      Field("biCompression") << h.biCompression << '\n';
      Field("biSizeImage") << h.biSizeImage << '\n';
      Field("biXPelsPerMeter") << h.biXPelsPerMeter << '\n';
      Field("biYPelsPerMeter") << h.biYPelsPerMeter << '\n';
      Field("biClrUsed") << h.biClrUsed << '\n';
      Field("biClrImportant") << h.biClrImportant << '\n';
      Field("colour table") << layout.color_entries << " entries\n";
    }
    // Past the header checks the layout is complete; before them it holds only the header.
    if (verdict == FrameVerdict::kOk || verdict == FrameVerdict::kTableTruncated ||
        verdict == FrameVerdict::kRowsTruncated) {
      Field("row stride") << layout.row_stride << " bytes\n";
      Field("frame size") << frame.size() << " bytes, " << layout.required_bytes << " needed\n";
    }
    out_ << "verdict: " << (verdict == FrameVerdict::kOk ? "ok, " : "") << DescribeVerdict(verdict)
         << '\n';
    return verdict == FrameVerdict::kOk ? kToolExitOk : kToolExitBadInput;
  }

  std::ostream& Field(const char* name) {
    return out_ << "  " << std::left << std::setw(17) << name << std::right;
  }

  std::ostream& out_;
  std::ostream& err_;
};

}  // namespace

int RunFrameTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Tool tool(out, err);
  if (args.empty()) return tool.Usage("");
  const std::string& command = args[0];
  if (command == "encode") {
    if (args.size() != 3) return tool.Usage("encode takes IN and OUT.png");
    return tool.Encode(args[1], args[2]);
  }
  if (command == "decode") {
    std::vector<std::string> paths;
    bool raw = false;
    for (size_t i = 1; i < args.size(); ++i) {
      if (args[i] == "--raw") {
        raw = true;
      } else {
        paths.push_back(args[i]);
      }
    }
    if (paths.size() != 2) return tool.Usage("decode takes IN.png and OUT");
    return tool.Decode(paths[0], paths[1], raw);
  }
  if (command == "info") {
    if (args.size() != 2) return tool.Usage("info takes one FILE");
    return tool.Info(args[1]);
  }
  if (command == "synth") {
    if (args.size() != 4 && args.size() != 5) return tool.Usage("synth takes OUT.bmp W H [BITS]");
    return tool.Synth(args[1], args[2], args[3], args.size() == 5 ? args[4] : "24");
  }
  return tool.Usage("unknown command '" + command + "'");
}

}  // namespace zu
