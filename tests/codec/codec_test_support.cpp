#include "tests/codec/codec_test_support.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace zu {
namespace {

const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

void PutBigEndian32(Bytes& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

struct FileCloser {
  void operator()(FILE* f) const noexcept { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// ctest gives the Windows programs the same Unix path as the native ones. Observed: Wine's
// msvcrt opens an absolute Unix path as it stands, whatever the current drive, so no translation.
File OpenForReading(const std::string& path) { return File(std::fopen(path.c_str(), "rb")); }

}  // namespace

// ---------------------------------------------------------------- test data

Bytes ReadTestData(const std::string& relative_path) {
  // ctest sets ZU_TESTDATA; a program started by hand falls back to the folder it was built from.
  const char* root = std::getenv("ZU_TESTDATA");
  if (root == nullptr || *root == '\0') root = ZU_TESTDATA_DIR;
  const std::string path = std::string(root) + "/" + relative_path;
  File file = OpenForReading(path);
  if (!file) {
    ADD_FAILURE() << "cannot open " << path;
    return {};
  }
  Bytes bytes;
  uint8_t buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
    bytes.insert(bytes.end(), buffer, buffer + got);
  }
  if (bytes.empty()) ADD_FAILURE() << path << " is empty";
  return bytes;
}

// ---------------------------------------------------------------- frames

uint32_t TableColor(uint32_t i) {
  return (((i * 37 + 11) & 255) << 16) | (((i * 91 + 3) & 255) << 8) | ((i * 13 + 200) & 255);
}

Bytes BuildFrame(int32_t width, int32_t height, uint16_t bit_count, uint32_t clr_used,
                 const PixelFunction& pixel) {
  BitmapHeader h;
  h.biSize = kBitmapHeaderSize;
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = bit_count;
  h.biCompression = kBiRgb;
  h.biClrUsed = clr_used;
  const uint32_t entries = ColorTableEntries(h);
  const size_t stride =
      static_cast<size_t>((static_cast<uint64_t>(width) * bit_count + 31) / 32 * 4);
  const uint32_t rows = static_cast<uint32_t>(height < 0 ? -height : height);
  h.biSizeImage = static_cast<uint32_t>(stride * rows);

  Bytes frame(kBitmapHeaderSize + 4 * entries + stride * rows, kPaddingFill);
  WriteBitmapHeader(h, frame.data());
  for (uint32_t i = 0; i < entries; ++i) {
    const uint32_t rgb = TableColor(i);
    uint8_t* q = &frame[kBitmapHeaderSize + 4 * i];
    q[0] = static_cast<uint8_t>(rgb);
    q[1] = static_cast<uint8_t>(rgb >> 8);
    q[2] = static_cast<uint8_t>(rgb >> 16);
    q[3] = 0;
  }
  for (uint32_t y = 0; y < rows; ++y) {
    const uint32_t stored = height < 0 ? y : rows - 1 - y;
    uint8_t* row = &frame[kBitmapHeaderSize + 4 * entries + stored * stride];
    // Sub-byte pixels are OR-ed into cleared bytes; the padding after them stays filled.
    if (bit_count < 8) std::memset(row, 0, (static_cast<size_t>(width) * bit_count + 7) / 8);
    for (int x = 0; x < width; ++x) {
      const uint32_t v = pixel(x, static_cast<int>(y));
      switch (bit_count) {
        case 1: row[x / 8] |= static_cast<uint8_t>((v & 1) << (7 - x % 8)); break;
        case 4: row[x / 2] |= static_cast<uint8_t>((v & 15) << (x % 2 ? 0 : 4)); break;
        default:
          for (int b = 0; b < bit_count / 8; ++b) {
            row[x * (bit_count / 8) + b] = static_cast<uint8_t>(v >> (8 * b));
          }
      }
    }
  }
  return frame;
}

uint32_t FramePixel(const uint8_t* frame, const FrameLayout& layout, int x, int y) {
  const uint32_t stored = layout.top_down ? y : layout.row_count - 1 - y;
  const uint8_t* row = frame + layout.rows_offset + static_cast<size_t>(stored) * layout.row_stride;
  const uint16_t bits = layout.header.biBitCount;
  switch (bits) {
    case 1: return (row[x / 8] >> (7 - x % 8)) & 1;
    case 4: return (row[x / 2] >> (x % 2 ? 0 : 4)) & 15;
    default: {
      uint32_t v = 0;
      for (int b = 0; b < bits / 8; ++b)
        v |= static_cast<uint32_t>(row[x * (bits / 8) + b]) << (8 * b);
      return v;
    }
  }
}

uint32_t FrameTableEntry(const uint8_t* frame, uint32_t i) {
  const uint8_t* q = frame + kBitmapHeaderSize + 4 * i;
  return (static_cast<uint32_t>(q[3]) << 24) | (q[2] << 16) | (q[1] << 8) | q[0];
}

uint32_t FrameColor(const uint8_t* frame, const FrameLayout& layout, int x, int y) {
  const uint32_t v = FramePixel(frame, layout, x, y);
  switch (layout.header.biBitCount) {
    case 1:
    case 4:
    case 8:
      if (v >= layout.color_entries) return 0xDEADBEEF;  // no colour: never a test's expectation
      return 0xFF000000 | (FrameTableEntry(frame, v) & 0xFFFFFF);
    case 24: return 0xFF000000 | v;
    default: return v;
  }
}

::testing::AssertionResult SameBytes(const Bytes& got, const Bytes& want) {
  if (got.size() != want.size()) {
    return ::testing::AssertionFailure()
           << got.size() << " bytes where " << want.size() << " were expected";
  }
  for (size_t i = 0; i < got.size(); ++i) {
    if (got[i] != want[i]) {
      return ::testing::AssertionFailure()
             << "first difference at byte " << i << ": " << int{got[i]} << " where " << int{want[i]}
             << " was expected";
    }
  }
  return ::testing::AssertionSuccess();
}

// ---------------------------------------------------------------- PNG streams

uint32_t ReadBigEndian32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

::testing::AssertionResult ParsePng(const uint8_t* stream, size_t length,
                                    std::vector<PngChunk>* chunks) {
  chunks->clear();
  if (length < 8 || std::memcmp(stream, kSignature, 8) != 0) {
    return ::testing::AssertionFailure() << "no PNG signature (length " << length << ")";
  }
  size_t at = 8;
  while (at < length) {
    if (length - at < 12) {
      return ::testing::AssertionFailure()
             << "chunk at " << at << " cut short by the end at " << length;
    }
    PngChunk chunk;
    chunk.offset = at;
    const uint32_t data_length = ReadBigEndian32(stream + at);
    chunk.type.assign(reinterpret_cast<const char*>(stream + at + 4), 4);
    if (data_length > length - at - 12) {
      return ::testing::AssertionFailure() << chunk.type << " at " << at << " claims "
                                           << data_length << " bytes, past the end at " << length;
    }
    const uint8_t* data = stream + at + 8;
    chunk.data.assign(data, data + data_length);
    const uint32_t crc = static_cast<uint32_t>(crc32(0, stream + at + 4, data_length + 4));
    if (crc != ReadBigEndian32(data + data_length)) {
      return ::testing::AssertionFailure() << chunk.type << " at " << at << " has a bad CRC";
    }
    at += 12 + data_length;
    chunks->push_back(std::move(chunk));
    if (chunks->back().type == "IEND") break;
  }
  if (chunks->empty() || chunks->front().type != "IHDR" || chunks->front().data.size() != 13) {
    return ::testing::AssertionFailure() << "the first chunk is not a 13-byte IHDR";
  }
  if (chunks->back().type != "IEND") return ::testing::AssertionFailure() << "no IEND";
  if (at != length) {
    return ::testing::AssertionFailure()
           << "IEND ends at " << at << " but the length is " << length;
  }
  return ::testing::AssertionSuccess();
}

PngHeader ReadPngHeader(const PngChunk& ihdr) {
  PngHeader h;
  if (ihdr.data.size() != 13) return h;
  h.width = ReadBigEndian32(&ihdr.data[0]);
  h.height = ReadBigEndian32(&ihdr.data[4]);
  h.depth = ihdr.data[8];
  h.color_type = ihdr.data[9];
  h.interlace = ihdr.data[12];
  return h;
}

Bytes MakeChunk(const char* type, const Bytes& data) {
  Bytes out;
  PutBigEndian32(out, static_cast<uint32_t>(data.size()));
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  PutBigEndian32(
      out, static_cast<uint32_t>(crc32(0, out.data() + 4, static_cast<uInt>(data.size() + 4))));
  return out;
}

Bytes MakePngStream(const PngHeader& header, const RowFunction& row, const Bytes& plte) {
  static const int kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
  const uint64_t bits_per_pixel =
      static_cast<uint64_t>(kChannels[header.color_type]) * header.depth;
  const size_t row_bytes = static_cast<size_t>((header.width * bits_per_pixel + 7) / 8);
  const size_t bpp = bits_per_pixel < 8 ? 1 : static_cast<size_t>(bits_per_pixel / 8);

  Bytes out(kSignature, kSignature + 8);
  Bytes ihdr;
  PutBigEndian32(ihdr, header.width);
  PutBigEndian32(ihdr, header.height);
  ihdr.insert(ihdr.end(), {header.depth, header.color_type, 0, 0, header.interlace});
  const Bytes ihdr_chunk = MakeChunk("IHDR", ihdr);
  out.insert(out.end(), ihdr_chunk.begin(), ihdr_chunk.end());
  if (!plte.empty()) {
    const Bytes plte_chunk = MakeChunk("PLTE", plte);
    out.insert(out.end(), plte_chunk.begin(), plte_chunk.end());
  }

  z_stream z{};
  deflateInit(&z, Z_BEST_SPEED);
  Bytes raw(row_bytes), filtered(row_bytes + 1);
  Bytes idat(1 << 16);
  auto pump = [&](int flush) {
    int status;
    do {
      z.next_out = idat.data();
      z.avail_out = static_cast<uInt>(idat.size());
      status = deflate(&z, flush);
      const size_t produced = idat.size() - z.avail_out;
      if (produced > 0) {
        const Bytes chunk = MakeChunk("IDAT", Bytes(idat.begin(), idat.begin() + produced));
        out.insert(out.end(), chunk.begin(), chunk.end());
      }
    } while (z.avail_out == 0 || (flush == Z_FINISH && status != Z_STREAM_END));
  };
  for (uint32_t y = 0; y < header.height; ++y) {
    std::fill(raw.begin(), raw.end(), 0);
    row(y, raw.data());
    filtered[0] = 1;  // Sub: every byte minus the one a pixel to its left
    for (size_t i = 0; i < row_bytes; ++i) {
      filtered[i + 1] = static_cast<uint8_t>(raw[i] - (i >= bpp ? raw[i - bpp] : 0));
    }
    z.next_in = filtered.data();
    z.avail_in = static_cast<uInt>(filtered.size());
    pump(Z_NO_FLUSH);
  }
  pump(Z_FINISH);
  deflateEnd(&z);
  const Bytes iend = MakeChunk("IEND", {});
  out.insert(out.end(), iend.begin(), iend.end());
  return out;
}

// ---------------------------------------------------------------- the codec, checked

Encoded EncodeChecked(PngFrameEncoder& encoder, const uint8_t* frame, int32_t length) {
  Encoded e;
  e.length = -7;
  e.stream.reset(encoder.EncodeFrame(frame, length, &e.length));
  if (!e.stream) {
    EXPECT_EQ(e.length, 0) << "the encoder returned no stream but a length";
    e.length = 0;
    return e;
  }
  if (e.length <= 0) {
    ADD_FAILURE() << "the encoder returned a stream of length " << e.length;
    return e;
  }
  EXPECT_TRUE(ParsePng(e.stream.get(), static_cast<size_t>(e.length), &e.chunks));
  return e;
}

Encoded EncodeChecked(PngFrameEncoder& encoder, const Bytes& frame) {
  return EncodeChecked(encoder, frame.data(), static_cast<int32_t>(frame.size()));
}

Decoded DecodeChecked(PngFrameDecoder& decoder, const uint8_t* stream, int32_t length) {
  Decoded d;
  d.length = -7;
  d.frame.reset(decoder.DecodeFrame(stream, length, &d.length));
  if (!d.frame) {
    EXPECT_EQ(d.length, 0) << "the decoder returned no block but a length";
    d.length = 0;
    return d;
  }
  const FrameVerdict verdict = CheckFrame(d.frame.get(), d.length, &d.layout);
  EXPECT_EQ(verdict, FrameVerdict::kOk)
      << "the decoder returned a block that fails CheckFrame: " << DescribeVerdict(verdict);
  EXPECT_EQ(static_cast<uint64_t>(d.length), d.layout.required_bytes)
      << "the block is not exactly as long as its header and table say";
  EXPECT_FALSE(d.layout.top_down) << "the decoder writes bottom-up rows";
  EXPECT_EQ(d.layout.header.biPlanes, 1);
  if (verdict != FrameVerdict::kOk) return d;
  // Padding bits and bytes are zero: a frame carries nothing of the heap it was built in.
  const uint64_t used_bits =
      static_cast<uint64_t>(d.layout.header.biWidth) * d.layout.header.biBitCount;
  for (uint32_t r = 0; r < d.layout.row_count; ++r) {
    const uint8_t* row =
        d.frame.get() + d.layout.rows_offset + static_cast<size_t>(r) * d.layout.row_stride;
    bool clean = used_bits % 8 == 0 || (row[used_bits / 8] & (0xFF >> (used_bits % 8))) == 0;
    for (size_t i = static_cast<size_t>((used_bits + 7) / 8); clean && i < d.layout.row_stride;
         ++i) {
      clean = row[i] == 0;
    }
    if (!clean) {
      ADD_FAILURE() << "stored row " << r << " has non-zero padding";
      break;
    }
  }
  for (uint32_t i = 0; i < d.layout.color_entries; ++i) {
    if (FrameTableEntry(d.frame.get(), i) >> 24 != 0) {
      ADD_FAILURE() << "colour table entry " << i << " has a non-zero reserved byte";
      break;
    }
  }
  return d;
}

Decoded DecodeChecked(PngFrameDecoder& decoder, const Bytes& stream) {
  return DecodeChecked(decoder, stream.data(), static_cast<int32_t>(stream.size()));
}

Decoded DecodeChecked(const Bytes& stream) {
  PngFrameDecoder decoder;
  return DecodeChecked(decoder, stream);
}

}  // namespace zu
