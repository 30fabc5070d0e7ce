#include "tools/zuframe/frame_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "codec/frame_format.h"

namespace zu {
namespace {

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

uint32_t Read32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void Write32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// errno is the only portable clue fstream leaves; it is set by the open underneath on both
// glibc and the Windows runtime.
std::string WithReason(const char* what, int error) {
  std::string text = what;
  if (error != 0) {
    text += ": ";
    text += std::strerror(error);
  }
  return text;
}

}  // namespace

FrameFileKind DetectFrameFileKind(const std::vector<uint8_t>& bytes) {
  if (bytes.size() >= sizeof kPngSignature &&
      std::memcmp(bytes.data(), kPngSignature, sizeof kPngSignature) == 0) {
    return FrameFileKind::kPngStream;
  }
  if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') return FrameFileKind::kBmpFile;
  if (bytes.size() >= 4 && Read32(bytes.data()) == kBitmapHeaderSize)
    return FrameFileKind::kRawFrame;
  return FrameFileKind::kUnknown;
}

const char* DescribeFrameFileKind(FrameFileKind kind) {
  switch (kind) {
    case FrameFileKind::kPngStream:
      return "PNG stream";
    case FrameFileKind::kBmpFile:
      return ".bmp file";
    case FrameFileKind::kRawFrame:
      return "bitmap frame";
    case FrameFileKind::kUnknown:
      break;
  }
  return "unrecognised data";
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* problem) {
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *problem = WithReason("cannot open", errno);
    return false;
  }
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  in.seekg(0, std::ios::beg);
  if (size < 0 || !in) {
    *problem = "cannot read (not a regular file?)";
    return false;
  }
  if (static_cast<uint64_t>(size) > kMaxFrameFileBytes) {
    *problem = "file is 2 GiB or larger, too large for a frame";
    return false;
  }
  bytes->assign(static_cast<size_t>(size), 0);
  in.read(reinterpret_cast<char*>(bytes->data()), size);
  if (in.gcount() != size) {
    *problem = WithReason("cannot read", errno);
    return false;
  }
  return true;
}

bool WriteWholeFile(const std::string& path, const uint8_t* bytes, size_t length,
                    std::string* problem) {
  errno = 0;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) {
    *problem = WithReason("cannot create", errno);
    return false;
  }
  out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(length));
  out.close();
  if (!out) {
    *problem = WithReason("cannot write", errno);
    std::remove(path.c_str());
    return false;
  }
  return true;
}

bool ExtractFrame(const std::vector<uint8_t>& file, std::vector<uint8_t>* frame,
                  BmpFileHeader* file_header, std::string* problem) {
  switch (DetectFrameFileKind(file)) {
    case FrameFileKind::kRawFrame:
      *frame = file;
      return true;
    case FrameFileKind::kBmpFile:
      break;
    case FrameFileKind::kPngStream:
      *problem = "is a PNG stream, not a bitmap";
      return false;
    case FrameFileKind::kUnknown:
      *problem = file.empty() ? "file is empty" : "not a .bmp file, a bitmap frame or a PNG stream";
      return false;
  }

  if (file.size() < kBmpFileHeaderSize) {
    *problem = "file header is cut short (" + std::to_string(file.size()) + " of " +
               std::to_string(kBmpFileHeaderSize) + " bytes)";
    return false;
  }
  BmpFileHeader header;
  header.bfSize = Read32(file.data() + 2);
  header.bfOffBits = Read32(file.data() + 10);
  if (file_header) *file_header = header;

  const uint8_t* info = file.data() + kBmpFileHeaderSize;
  const int64_t info_available = static_cast<int64_t>(file.size() - kBmpFileHeaderSize);
  FrameLayout layout;
  const FrameVerdict verdict = CheckFrame(info, info_available, &layout);
  if (verdict != FrameVerdict::kOk && verdict != FrameVerdict::kRowsTruncated) {
    // Header or colour table at fault: the bytes as they stand let CheckFrame say so again.
    frame->assign(info, info + info_available);
    return true;
  }

  const uint64_t tables_end = kBmpFileHeaderSize + uint64_t{layout.rows_offset};
  if (header.bfOffBits < tables_end) {
    *problem = "pixel data offset " + std::to_string(header.bfOffBits) +
               " lies inside the headers and colour table, which end at " +
               std::to_string(tables_end);
    return false;
  }
  if (header.bfOffBits > file.size()) {
    *problem = "pixel data offset " + std::to_string(header.bfOffBits) +
               " is past the end of the file (" + std::to_string(file.size()) + " bytes)";
    return false;
  }
  // Writers may pad the file after the rows; only the rows belong to the frame.
  const uint64_t rows_bytes = layout.required_bytes - layout.rows_offset;
  const uint64_t rows_available = std::min<uint64_t>(rows_bytes, file.size() - header.bfOffBits);
  frame->clear();
  frame->reserve(static_cast<size_t>(layout.rows_offset + rows_available));
  frame->insert(frame->end(), info, info + layout.rows_offset);
  frame->insert(frame->end(), file.begin() + header.bfOffBits,
                file.begin() + static_cast<ptrdiff_t>(header.bfOffBits + rows_available));
  return true;
}

bool LoadFrame(const std::vector<uint8_t>& file, std::vector<uint8_t>* frame,
               std::string* problem) {
  if (!ExtractFrame(file, frame, nullptr, problem)) return false;
  const FrameVerdict verdict = CheckFrame(frame->data(), static_cast<int64_t>(frame->size()));
  if (verdict != FrameVerdict::kOk) {
    *problem = DescribeVerdict(verdict);
    return false;
  }
  return true;
}

std::vector<uint8_t> MakeBmpFile(const uint8_t* frame, size_t length) {
  FrameLayout layout;
  CheckFrame(frame, static_cast<int64_t>(length), &layout);
  std::vector<uint8_t> file(kBmpFileHeaderSize + length);
  file[0] = 'B';
  file[1] = 'M';
  Write32(file.data() + 2, static_cast<uint32_t>(file.size()));
  Write32(file.data() + 10, kBmpFileHeaderSize + layout.rows_offset);
  std::memcpy(file.data() + kBmpFileHeaderSize, frame, length);
  return file;
}

}  // namespace zu
