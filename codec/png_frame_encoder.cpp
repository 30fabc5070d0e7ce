#include "codec/png_frame_encoder.h"

#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include "codec/png_callbacks.h"

namespace zu {

PngFrameEncoder::~PngFrameEncoder() { ReleaseWorkingStorage(); }

void PngFrameEncoder::ReleaseWorkingStorage() {
  if (png_ != nullptr) {
    png_structp png = png_;
    png_infop info = info_;
    png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
  }
  png_ = nullptr;
  info_ = nullptr;
  std::free(row_pointers_);
  row_pointers_ = nullptr;
  std::free(palette_);
  palette_ = nullptr;
  std::free(output_area_);
  output_area_ = nullptr;
  output_length_ = 0;
  output_capacity_ = 0;
}

// The area starts at the bitmap's size, which fits nearly every camera frame; noise or tiny
// frames can compress to more than that, so it doubles rather than cut the stream short.
bool PngFrameEncoder::GrowOutput(uint64_t needed) {
  if (needed <= static_cast<uint64_t>(output_capacity_)) return true;
  if (needed > INT32_MAX) return false;
  uint64_t capacity = static_cast<uint64_t>(output_capacity_) * 2;
  if (capacity < needed) capacity = needed;
  if (capacity > INT32_MAX) capacity = INT32_MAX;
  void* grown = std::realloc(output_area_, static_cast<size_t>(capacity));
  if (grown == nullptr) return false;
  output_area_ = static_cast<uint8_t*>(grown);
  output_capacity_ = static_cast<int32_t>(capacity);
  return true;
}

void PngFrameEncoder::WriteToMemory(png_structp png, png_bytep data, size_t length) {
  auto* self = static_cast<PngFrameEncoder*>(png_get_io_ptr(png));
  const uint64_t end = static_cast<uint64_t>(self->output_length_) + length;
  if (!self->GrowOutput(end)) png_error(png, "output area cannot grow");
  std::memcpy(self->output_area_ + self->output_length_, data, length);
  self->output_length_ = static_cast<int32_t>(end);
}

void PngFrameEncoder::FlushNothing(png_structp) {}

uint8_t* PngFrameEncoder::Fail() {
  ReleaseWorkingStorage();
  return nullptr;
}

uint8_t* PngFrameEncoder::EncodeFrame(const uint8_t* bitmap, int32_t bitmap_length,
                                      int32_t* stream_length) {
  if (stream_length == nullptr) return nullptr;
  *stream_length = 0;
  ReleaseWorkingStorage();

  FrameLayout layout;
  if (CheckFrame(bitmap, bitmap_length, &layout) != FrameVerdict::kOk) return nullptr;
  const BitmapHeader& header = layout.header;
  const uint32_t width = static_cast<uint32_t>(header.biWidth);
  const uint32_t height = layout.row_count;
  // PNG's own ceiling; CheckFrame allows taller frames than PNG can describe.
  if (width > PNG_UINT_31_MAX || height > PNG_UINT_31_MAX) return nullptr;

  if (!GrowOutput(static_cast<uint32_t>(bitmap_length))) return nullptr;

  // Bottom-up rows are handed over in reverse; the library reads them in place.
  row_pointers_ = static_cast<uint8_t**>(std::malloc(sizeof(uint8_t*) * height));
  if (row_pointers_ == nullptr) return Fail();
  // The library copies each row before transforming it, so the bitmap itself is never written.
  uint8_t* rows = const_cast<uint8_t*>(bitmap) + layout.rows_offset;
  for (uint32_t i = 0; i < height; ++i) {
    const uint32_t stored = layout.top_down ? i : height - 1 - i;
    row_pointers_[i] = rows + static_cast<size_t>(stored) * layout.row_stride;
  }

  const bool has_palette = header.biBitCount <= 8;
  int color_type = PNG_COLOR_TYPE_RGB;
  int bit_depth = 8;
  if (has_palette) {
    color_type = PNG_COLOR_TYPE_PALETTE;
    bit_depth = header.biBitCount;
  } else if (header.biBitCount == 16) {
    // The pixel's two bytes travel untouched as one big-endian grey sample.
    color_type = PNG_COLOR_TYPE_GRAY;
    bit_depth = 16;
  }

  const uint32_t palette_entries = has_palette ? layout.color_entries : 0;
  if (has_palette) {
    palette_ = static_cast<uint8_t*>(std::malloc(3 * palette_entries));
    if (palette_ == nullptr) return Fail();
    const uint8_t* table = bitmap + kBitmapHeaderSize;
    for (uint32_t k = 0; k < palette_entries; ++k) {
      palette_[3 * k + 0] = table[4 * k + 2];
      palette_[3 * k + 1] = table[4 * k + 1];
      palette_[3 * k + 2] = table[4 * k + 0];
    }
  }

  png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, this, OnPngError, IgnorePngWarning);
  if (png_ == nullptr) return Fail();
  info_ = png_create_info_struct(png_);
  if (info_ == nullptr) return Fail();
  png_set_write_fn(png_, this, WriteToMemory, FlushNothing);

  // Nothing with a destructor lives from here to the end: a library error jumps back here.
  if (setjmp(png_jmpbuf(png_))) {
    return Fail();
  }

  png_set_IHDR(png_, info_, width, height, bit_depth, color_type, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
  // A driver may leave indices past a short colour table; the BMP path carries such frames as
  // they come, so the PNG path does too rather than drop the frame. Our decoder reads them back
  // unchanged and the renderer treats them as it does on the BMP path.
  png_set_check_for_invalid_index(png_, 0);
  png_set_bgr(png_);
  if (has_palette) {
    png_set_PLTE(png_, info_, reinterpret_cast<png_const_colorp>(palette_),
                 static_cast<int>(palette_entries));
  }
  png_write_info(png_, info_);
  if (header.biBitCount == 32) {
    // The fourth byte of a 32-bit pixel is unused by the bitmap; dropping it keeps the stream
    // an ordinary opaque picture that decodes to a 24-bit frame showing the same colours.
    // (The library accepts this only once the header is written.)
    png_set_filler(png_, 0, PNG_FILLER_AFTER);
  }
  png_write_image(png_, row_pointers_);
  png_write_end(png_, nullptr);

  // Hand the area over, trimmed to the stream.
  uint8_t* stream = output_area_;
  const int32_t length = output_length_;
  if (void* trimmed = std::realloc(stream, static_cast<size_t>(length))) {
    stream = static_cast<uint8_t*>(trimmed);
  }
  output_area_ = nullptr;
  ReleaseWorkingStorage();
  *stream_length = length;
  return stream;
}

}  // namespace zu
