// Camera-like test frames for the tools, the benchmarks and the demo's frame sender.
//
// A frame is a smooth gradient that drifts a little with every frame index, with moderate
// per-pixel noise on top, so it compresses about as well as a real webcam picture rather than
// as well as a flat test card. All arithmetic is integer, so every platform makes the same bytes
// for the same arguments.
#pragma once

#include <cstdint>
#include <vector>

namespace zu {

constexpr uint32_t kSynthDefaultSeed = 0x5eed2b1du;

// Returns a BMP-variant frame (header, colour table, rows; no file header), or an empty vector
// when the arguments describe no drawable frame or one of 2 GiB or more. A negative height makes
// a top-down frame. Bit counts of 8 and below get a grey colour table; 16 bits is 5-5-5.
std::vector<uint8_t> SynthFrame(int32_t width, int32_t height, uint16_t bit_count,
                                uint32_t frame_index = 0, uint32_t seed = kSynthDefaultSeed);

}  // namespace zu
