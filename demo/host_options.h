// The command lines of the demo's two hosts: the capture host (a capture control whose frames go
// out over TCP) and the play host (a play control fed from TCP). Platform-neutral, so the native
// tests read them too.
#pragma once

#include <cstdint>
#include <string>

#include "demo/demo_options.h"
#include "demo/wire_protocol.h"

namespace zu {

// capture_host --connect HOST:PORT | --listen [HOST:]PORT
//              [--format bmp|png] [--size WxH] [--bits 1|4|8|16|24|32] [--elapse MS] [--ex]
//              [--device N] [--seconds S] [--frames N] [--queue N] [--at X,Y]
//              [--screenshot FILE.png] [--measure-after N]
//           [--manifest ZuControls.manifest]
struct CaptureHostOptions {
  Endpoint peer;                         // where the frames go (required)
  WireFormat format = WireFormat::kBmp;  // CaptureFormat
  FrameSize size = {640, 480};           // CaptureWidth, CaptureHeight
  int32_t bit_count = 4;                 // BitCount as VcpBitCount: 4 is vcpBit24
  int64_t elapse_ms = 33;                // CaptureElapse
  bool ex_event = false;                 // CaptureExEvent: frames come in CaptureEx
  int32_t device = -1;                   // DeviceID; -1 the first driver installed
  int64_t seconds = 10;                  // capturing time
  int64_t frames = 0;                    // stop after this many frames (0: by time only)
  int64_t queue = 4;                     // frames that may wait for the network
  ScreenPoint at = {0, 0};               // the window's top-left corner on the screen
  std::string screenshot;                // the screen around both hosts' windows, at the end
  std::string manifest;                  // the controls through this manifest, unregistered
  int64_t measure_after = 0;             // resources after this many frames and at the end
};

// play_host (demo_host) --connect HOST:PORT | --listen [HOST:]PORT | --port N
//           [--format bmp|png] [--mode clip|zoom|stretch] [--size WxH] [--seconds S]
//           [--streams N] [--queue N] [--at X,Y] [--screenshot FILE.png] [--measure-after N]
//           [--manifest ZuControls.manifest]
//           [--paint-every-frame]
struct PlayHostOptions {
  Endpoint peer;                         // --port N connects to 127.0.0.1:N (required)
  WireFormat format = WireFormat::kBmp;  // FrameFormat to start with; each frame's header rules
  int32_t size_mode = 0;                 // SizeMode
  FrameSize size = {640, 480};           // the control's size
  int64_t seconds = 10;                  // the longest it runs
  int64_t streams = 1;                   // listening: streams to take before it ends (0: no limit)
  int64_t queue = 4;                     // frames that may wait for the window's thread
  ScreenPoint at = {0, 0};
  std::string screenshot;          // the host's window, at the end
  std::string manifest;            // the controls through this manifest, unregistered
  int64_t measure_after = 0;       // resources after this many frames shown and at the end
  bool paint_every_frame = false;  // no frame taken is replaced before a paint
};

// Empty on success, else what was wrong with the command line.
std::string ParseCaptureHostOptions(int argc, const char* const* argv, CaptureHostOptions* out);
std::string ParsePlayHostOptions(int argc, const char* const* argv, PlayHostOptions* out);

extern const char kCaptureHostUsage[];
extern const char kPlayHostUsage[];

// The VcpBitCount value for a number of bits per pixel (1, 4, 8, 16, 24, 32).
std::optional<int32_t> ParseBitCount(std::string_view bits);

}  // namespace zu
