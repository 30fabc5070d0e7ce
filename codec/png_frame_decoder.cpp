#include "codec/png_frame_decoder.h"

#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include "codec/png_callbacks.h"

namespace zu {

PngFrameDecoder::~PngFrameDecoder() { ReleaseWorkingStorage(); }

void PngFrameDecoder::ReleaseWorkingStorage() {
  if (png_ != nullptr) {
    png_structp png = png_;
    png_infop info = info_;
    png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
  }
  png_ = nullptr;
  info_ = nullptr;
  std::free(row_pointers_);
  row_pointers_ = nullptr;
  std::free(bitmap_);
  bitmap_ = nullptr;
}

uint8_t* PngFrameDecoder::Fail() {
  ReleaseWorkingStorage();
  return nullptr;
}

void PngFrameDecoder::ReadFromMemory(png_structp png, png_bytep destination, size_t length) {
  auto* self = static_cast<PngFrameDecoder*>(png_get_io_ptr(png));
  const size_t left = static_cast<size_t>(self->input_length_ - self->input_position_);
  if (length > left) png_error(png, "stream ends early");
  std::memcpy(destination, self->input_bytes_ + self->input_position_, length);
  self->input_position_ += static_cast<int32_t>(length);
}

uint8_t* PngFrameDecoder::DecodeFrame(const uint8_t* stream, int32_t stream_length,
                                      int32_t* bitmap_length) {
  if (bitmap_length == nullptr) return nullptr;
  *bitmap_length = 0;
  ReleaseWorkingStorage();
  if (stream == nullptr || stream_length <= 0) return nullptr;
  input_bytes_ = stream;
  input_position_ = 0;
  input_length_ = stream_length;

  png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, this, OnPngError, IgnorePngWarning);
  if (png_ == nullptr) return Fail();
  info_ = png_create_info_struct(png_);
  if (info_ == nullptr) return Fail();
  png_set_read_fn(png_, this, ReadFromMemory);
  // The library refuses larger dimensions while reading IHDR, before any row is allocated.
  png_set_user_limits(png_, kMaxDecodeDimension, kMaxDecodeDimension);

  // Nothing with a destructor lives from here to the end: a library error jumps back here.
  if (setjmp(png_jmpbuf(png_))) return Fail();

  // These chunks have no effect on the frame, yet the library allocates whatever length one
  // claims before reading it (fuzzing found a 67-byte stream whose tEXt asked for 1.9 GB).
  // Skipped, they are read past in small pieces and never stored.
  static const png_byte kSkippedChunks[] = "tEXt\0zTXt\0iTXt\0iCCP\0sPLT\0eXIf\0pCAL\0sCAL";
  png_set_keep_unknown_chunks(png_, PNG_HANDLE_CHUNK_NEVER, kSkippedChunks,
                              static_cast<int>(sizeof kSkippedChunks / 5));
  png_set_bgr(png_);
  png_read_info(png_, info_);
  png_uint_32 width = 0, height = 0;
  int depth = 0, color_type = 0, interlace = 0;
  png_get_IHDR(png_, info_, &width, &height, &depth, &color_type, &interlace, nullptr, nullptr);

  // Shape every stream into a bitmap that the frame rules read right (see the header's table).
  uint32_t bit_count = 0;
  uint32_t table_entries = 0;
  bool grey_table = false;
  switch (color_type) {
    case PNG_COLOR_TYPE_PALETTE: {
      if (depth == 2) png_set_packing(png_);
      bit_count = depth == 2 ? 8 : depth;
      png_colorp palette = nullptr;
      int entries = 0;
      if (png_get_PLTE(png_, info_, &palette, &entries) == 0 || entries <= 0) {
        png_error(png_, "palette image without a palette");
      }
      table_entries = static_cast<uint32_t>(entries);
      // The library already holds the palette to 2^depth; a bitmap must too.
      if (table_entries > (1u << depth)) table_entries = 1u << depth;
      break;
    }
    case PNG_COLOR_TYPE_GRAY:
      if (depth == 16) {
        // Left as stored: this is how 16-bit frames travel, and they must come back exact.
        bit_count = 16;
      } else {
        if (depth == 2) png_set_packing(png_);
        bit_count = depth == 2 ? 8 : depth;
        table_entries = 1u << depth;
        grey_table = true;
      }
      break;
    case PNG_COLOR_TYPE_RGB:
      if (depth == 16) png_set_scale_16(png_);
      bit_count = 24;
      break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      png_set_gray_to_rgb(png_);
      if (depth == 16) png_set_scale_16(png_);
      bit_count = 32;
      break;
    case PNG_COLOR_TYPE_RGB_ALPHA:
      if (depth == 16) png_set_scale_16(png_);
      bit_count = 32;
      break;
    default:
      png_error(png_, "unknown colour type");
  }
  png_set_interlace_handling(png_);
  png_read_update_info(png_, info_);

  const size_t row_bytes = png_get_rowbytes(png_, info_);
  const uint64_t stride = DibRowStride(width, bit_count);
  if (row_bytes == 0 || row_bytes > stride) png_error(png_, "unexpected row length");
  const uint64_t rows_offset = kBitmapHeaderSize + 4ull * table_entries;
  const uint64_t length = rows_offset + stride * height;
  if (length > kMaxDecodedBytes) png_error(png_, "decoded frame over budget");

  bitmap_ = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(length)));
  row_pointers_ = static_cast<uint8_t**>(std::malloc(sizeof(uint8_t*) * height));
  if (bitmap_ == nullptr || row_pointers_ == nullptr) return Fail();

  BitmapHeader header;
  header.biSize = kBitmapHeaderSize;
  header.biWidth = static_cast<int32_t>(width);
  header.biHeight = static_cast<int32_t>(height);
  header.biPlanes = 1;
  header.biBitCount = static_cast<uint16_t>(bit_count);
  header.biCompression = kBiRgb;
  header.biClrUsed = table_entries;
  WriteBitmapHeader(header, bitmap_);

  uint8_t* table = bitmap_ + kBitmapHeaderSize;
  if (grey_table) {
    for (uint32_t k = 0; k < table_entries; ++k) {
      const uint8_t grey = static_cast<uint8_t>(k * 255 / (table_entries - 1));
      table[4 * k + 0] = table[4 * k + 1] = table[4 * k + 2] = grey;
      table[4 * k + 3] = 0;
    }
  } else if (table_entries > 0) {
    png_colorp palette = nullptr;
    int entries = 0;
    png_get_PLTE(png_, info_, &palette, &entries);
    for (uint32_t k = 0; k < table_entries; ++k) {
      table[4 * k + 0] = palette[k].blue;
      table[4 * k + 1] = palette[k].green;
      table[4 * k + 2] = palette[k].red;
      table[4 * k + 3] = 0;
    }
  }

  // The library writes the rows top-down straight into the bitmap's bottom-up rows. Interlaced
  // passes merge into what a row already holds, so those rows start zeroed; otherwise only the
  // padding at each row's end needs it. That includes the row's last pixel byte: at 1 and 4 bits
  // the library keeps whatever that byte's unused low bits held (seen with libpng 1.6).
  uint8_t* rows = bitmap_ + rows_offset;
  if (interlace != PNG_INTERLACE_NONE) std::memset(rows, 0, static_cast<size_t>(stride * height));
  for (uint32_t i = 0; i < height; ++i) {
    uint8_t* row = rows + static_cast<size_t>(height - 1 - i) * stride;
    row_pointers_[i] = row;
    if (interlace == PNG_INTERLACE_NONE) {
      std::memset(row + row_bytes - 1, 0, stride - row_bytes + 1);
    }
  }
  png_read_image(png_, row_pointers_);
  png_read_end(png_, nullptr);

  uint8_t* result = bitmap_;
  bitmap_ = nullptr;
  ReleaseWorkingStorage();
  *bitmap_length = static_cast<int32_t>(length);
  return result;
}

}  // namespace zu
