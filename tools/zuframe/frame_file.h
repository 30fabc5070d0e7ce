// Frames as files: the bytes of whole files, .bmp file headers, and telling the kinds apart.
//
// Functions that can fail return false and describe the problem in words that read after
// "zuframe: FILE: "; they never print.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zu {

constexpr uint32_t kBmpFileHeaderSize = 14;
// The codec's lengths are 32-bit; nothing larger can be a frame or a stream.
constexpr uint64_t kMaxFrameFileBytes = 0x7fffffffu;

// What a file holds, told by its first bytes: a PNG signature, "BM", or the little-endian 40 that
// opens a bitmap header.
enum class FrameFileKind { kPngStream, kBmpFile, kRawFrame, kUnknown };

FrameFileKind DetectFrameFileKind(const std::vector<uint8_t>& bytes);
const char* DescribeFrameFileKind(FrameFileKind kind);

// Binary, whole-file I/O. Reading refuses files above kMaxFrameFileBytes before allocating;
// a failed write removes the partial file.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* problem);
bool WriteWholeFile(const std::string& path, const uint8_t* bytes, size_t length,
                    std::string* problem);

struct BmpFileHeader {
  uint32_t bfSize = 0;
  uint32_t bfOffBits = 0;
};

// The frame a .bmp file or a raw frame carries. For a .bmp file the header and colour table are
// joined to the rows found at bfOffBits, whatever lies between. Fails only on faults of the file
// itself (file header, pixel offset); faults of the frame are left for CheckFrame to name, so a
// frame cut short comes back cut short. `file_header` is filled for .bmp files.
bool ExtractFrame(const std::vector<uint8_t>& file, std::vector<uint8_t>* frame,
                  BmpFileHeader* file_header, std::string* problem);

// ExtractFrame, then CheckFrame: succeeds only with a frame that passes.
bool LoadFrame(const std::vector<uint8_t>& file, std::vector<uint8_t>* frame, std::string* problem);

// A .bmp file for a frame that passes CheckFrame: file header, then the frame unchanged.
std::vector<uint8_t> MakeBmpFile(const uint8_t* frame, size_t length);

}  // namespace zu
