// The frame codec beside what it wraps: PngFrameEncoder and PngFrameDecoder against bare libpng
// doing the same work with the same settings, and CopyFrame against malloc and memcpy. The
// wrappers may cost little over the library; the summary after the run says whether they do.
#include <benchmark/benchmark.h>
#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/summary_reporter.h"
#include "codec/frame_format.h"
#include "codec/png_frame_decoder.h"
#include "codec/png_frame_encoder.h"
#include "tools/synth_frame.h"

namespace zu {
namespace {

using Bytes = std::vector<uint8_t>;

// ---------------------------------------------------------------- bare libpng

// A 24-bit bottom-up frame the way the encoder writes it: default compression and filters,
// blue-green-red order swapped by the library, rows handed over bottom row last, the stream
// collected in a buffer that grows as the library writes.
void WriteToVector(png_structp png, png_bytep data, size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

void FlushNothing(png_structp) {}

[[noreturn]] void OnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

void IgnoreWarning(png_structp, png_const_charp) {}

// Returns false on a library error. `row_pointers` is scratch of the frame's height.
bool BareEncode(const uint8_t* frame, const FrameLayout& layout, png_bytep* row_pointers,
                Bytes* out) {
  const uint32_t width = static_cast<uint32_t>(layout.header.biWidth);
  const uint32_t height = layout.row_count;
  const uint8_t* rows = frame + layout.rows_offset;
  for (uint32_t y = 0; y < height; ++y) {
    const uint32_t stored = layout.top_down ? y : height - 1 - y;
    row_pointers[y] = const_cast<png_bytep>(rows + static_cast<size_t>(stored) * layout.row_stride);
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, IgnoreWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, out, WriteToVector, FlushNothing);
  png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
  png_set_bgr(png);
  png_write_info(png, info);
  png_write_image(png, row_pointers);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

struct ReadCursor {
  const uint8_t* bytes;
  size_t length;
  size_t position;
};

void ReadFromCursor(png_structp png, png_bytep destination, size_t length) {
  auto* in = static_cast<ReadCursor*>(png_get_io_ptr(png));
  if (length > in->length - in->position) png_error(png, "stream ends early");
  std::memcpy(destination, in->bytes + in->position, length);
  in->position += length;
}

// A truecolour stream into a malloc'd 24-bit bottom-up frame, blue-green-red, as the decoder
// makes it. Returns null on a library error; `row_pointers` is scratch of the frame's height.
uint8_t* BareDecode(const Bytes& stream, png_bytep* row_pointers, size_t* length) {
  ReadCursor cursor{stream.data(), stream.size(), 0};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, IgnoreWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (info == nullptr) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return nullptr;
  }
  uint8_t* volatile frame = nullptr;  // volatile: read after the error return
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::free(frame);
    return nullptr;
  }
  png_set_read_fn(png, &cursor, ReadFromCursor);
  png_set_bgr(png);
  png_read_info(png, info);
  png_read_update_info(png, info);
  const uint32_t width = png_get_image_width(png, info);
  const uint32_t height = png_get_image_height(png, info);
  const uint64_t stride = DibRowStride(width, 24);
  const size_t bytes = static_cast<size_t>(kBitmapHeaderSize + stride * height);
  frame = static_cast<uint8_t*>(std::malloc(bytes));
  if (frame == nullptr) png_error(png, "out of memory");
  BitmapHeader header;
  header.biSize = kBitmapHeaderSize;
  header.biWidth = static_cast<int32_t>(width);
  header.biHeight = static_cast<int32_t>(height);
  header.biPlanes = 1;
  header.biBitCount = 24;
  WriteBitmapHeader(header, frame);
  for (uint32_t y = 0; y < height; ++y) {
    row_pointers[y] = frame + kBitmapHeaderSize + (height - 1 - y) * stride;
  }
  png_read_image(png, row_pointers);
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  *length = bytes;
  return frame;
}

// ---------------------------------------------------------------- the runs

struct Case {
  Bytes frame;
  FrameLayout layout;
  Bytes stream;  // what PngFrameEncoder makes of the frame
  std::vector<png_bytep> row_pointers;
};

// Built before timing, and checked: the bare paths must make exactly what the codec makes, or
// the comparison would not be like with like.
bool PrepareCase(int32_t width, int32_t height, Case* c, std::string* problem) {
  c->frame = SynthFrame(width, height, 24);
  if (CheckFrame(c->frame.data(), static_cast<int64_t>(c->frame.size()), &c->layout) !=
      FrameVerdict::kOk) {
    *problem = "test frame fails CheckFrame";
    return false;
  }
  c->row_pointers.resize(c->layout.row_count);
  PngFrameEncoder encoder;
  int32_t length = 0;
  FrameBlock stream(
      encoder.EncodeFrame(c->frame.data(), static_cast<int32_t>(c->frame.size()), &length));
  if (!stream) {
    *problem = "PngFrameEncoder refused the test frame";
    return false;
  }
  c->stream.assign(stream.get(), stream.get() + length);

  Bytes bare_stream;
  if (!BareEncode(c->frame.data(), c->layout, c->row_pointers.data(), &bare_stream) ||
      bare_stream != c->stream) {
    *problem = "bare libpng writes a different stream: the settings differ";
    return false;
  }
  size_t bare_length = 0;
  FrameBlock bare_frame(BareDecode(c->stream, c->row_pointers.data(), &bare_length));
  PngFrameDecoder decoder;
  int32_t decoded_length = 0;
  FrameBlock decoded(decoder.DecodeFrame(c->stream.data(), static_cast<int32_t>(c->stream.size()),
                                         &decoded_length));
  if (!bare_frame || !decoded || bare_length != static_cast<size_t>(decoded_length) ||
      std::memcmp(bare_frame.get() + kBitmapHeaderSize, decoded.get() + kBitmapHeaderSize,
                  bare_length - kBitmapHeaderSize) != 0 ||
      std::memcmp(decoded.get() + kBitmapHeaderSize, c->frame.data() + kBitmapHeaderSize,
                  bare_length - kBitmapHeaderSize) != 0) {
    *problem = "the decoders disagree with each other or with the frame";
    return false;
  }
  return true;
}

void SetCounters(benchmark::State& state, size_t bytes_out) {
  state.counters["bytes_out"] = static_cast<double>(bytes_out);
  state.counters["frames/s"] = benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate);
}

void EncodeCodec(benchmark::State& state, const Case* c) {
  PngFrameEncoder encoder;
  int32_t length = 0;
  for (auto _ : state) {
    FrameBlock stream(
        encoder.EncodeFrame(c->frame.data(), static_cast<int32_t>(c->frame.size()), &length));
    benchmark::DoNotOptimize(stream.get());
  }
  SetCounters(state, static_cast<size_t>(length));
}

void EncodeBare(benchmark::State& state, Case* c) {
  size_t length = 0;
  for (auto _ : state) {
    Bytes stream;
    stream.reserve(c->frame.size());  // the encoder's starting size too
    BareEncode(c->frame.data(), c->layout, c->row_pointers.data(), &stream);
    benchmark::DoNotOptimize(stream.data());
    length = stream.size();
  }
  SetCounters(state, length);
}

void DecodeCodec(benchmark::State& state, const Case* c) {
  PngFrameDecoder decoder;
  int32_t length = 0;
  for (auto _ : state) {
    FrameBlock frame(
        decoder.DecodeFrame(c->stream.data(), static_cast<int32_t>(c->stream.size()), &length));
    benchmark::DoNotOptimize(frame.get());
  }
  SetCounters(state, static_cast<size_t>(length));
}

void DecodeBare(benchmark::State& state, Case* c) {
  size_t length = 0;
  for (auto _ : state) {
    FrameBlock frame(BareDecode(c->stream, c->row_pointers.data(), &length));
    benchmark::DoNotOptimize(frame.get());
  }
  SetCounters(state, length);
}

void CopyCodec(benchmark::State& state, const Case* c) {
  for (auto _ : state) {
    FrameBlock copy = CopyFrame(c->frame.data(), static_cast<int64_t>(c->frame.size()));
    benchmark::DoNotOptimize(copy.get());
    benchmark::ClobberMemory();
  }
  SetCounters(state, c->frame.size());
}

void CopyBare(benchmark::State& state, const Case* c) {
  for (auto _ : state) {
    FrameBlock copy(static_cast<uint8_t*>(std::malloc(c->frame.size())));
    std::memcpy(copy.get(), c->frame.data(), c->frame.size());
    benchmark::DoNotOptimize(copy.get());
    benchmark::ClobberMemory();
  }
  SetCounters(state, c->frame.size());
}

}  // namespace
}  // namespace zu

int main(int argc, char** argv) {
  // Defaults for a quiet 2-core machine: the codec and bare runs of one size alternate in random
  // order, so drift in clock or load hits both, and the median of 9 short repetitions is kept.
  // Flags given on the command line come later and win.
  std::vector<char*> args = {argv[0]};
  char interleave[] = "--benchmark_enable_random_interleaving=true";
  char repetitions[] = "--benchmark_repetitions=9";
  char min_time[] = "--benchmark_min_time=0.2";
  char aggregates[] = "--benchmark_display_aggregates_only=true";
  args.insert(args.end(), {interleave, repetitions, min_time, aggregates});
  args.insert(args.end(), argv + 1, argv + argc);
  int arg_count = static_cast<int>(args.size());
  benchmark::Initialize(&arg_count, args.data());
  if (benchmark::ReportUnrecognizedArguments(arg_count, args.data())) return 2;

  static const struct { int32_t width, height; } kSizes[] = {{320, 240}, {640, 480}, {1280, 720}};
  static zu::Case cases[3];
  for (int i = 0; i < 3; ++i) {
    const std::string size =
        std::to_string(kSizes[i].width) + "x" + std::to_string(kSizes[i].height);
    std::string problem;
    if (!zu::PrepareCase(kSizes[i].width, kSizes[i].height, &cases[i], &problem)) {
      std::fprintf(stderr, "zu_bench_codec: %s: %s\n", size.c_str(), problem.c_str());
      return 1;
    }
    zu::Case* c = &cases[i];
    benchmark::RegisterBenchmark(("encode/codec/" + size).c_str(), zu::EncodeCodec, c);
    benchmark::RegisterBenchmark(("encode/libpng/" + size).c_str(), zu::EncodeBare, c);
    benchmark::RegisterBenchmark(("decode/codec/" + size).c_str(), zu::DecodeCodec, c);
    benchmark::RegisterBenchmark(("decode/libpng/" + size).c_str(), zu::DecodeBare, c);
    benchmark::RegisterBenchmark(("copy/codec/" + size).c_str(), zu::CopyCodec, c);
    benchmark::RegisterBenchmark(("copy/memcpy/" + size).c_str(), zu::CopyBare, c);
  }

  zu::SummaryReporter reporter({{"encode", 0.05}, {"decode", 0.05}, {"copy", 0.10}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
