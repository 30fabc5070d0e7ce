// What the simulated capture library offers: which driver indices answer, what each driver can
// do, what its dialogs pick, and which faults it shows. Read from a small text form:
//
//   # one statement a line; ';' also ends a statement, '#' starts a comment
//   driver 0 name="Desk Camera" version="2.1" sizes=160x120,320x240 bits=8,24 format=320x240x24
//   driver 2 sizes=any bits=4,8 format=160x120x8/16 dialogs=format faults=short-frames
//   window fail
//
// `driver N` (N from 0 to 9) declares a driver; every driver the text does not declare is
// absent, so a text without `driver` statements means a machine without capture drivers. Keys:
//
//   name, version   what capGetDriverDescription reports (quotes allow spaces and ';')
//   sizes           any (1 to 4096 either way; the default) or a list WxH,WxH...
//   bits            the BI_RGB bit counts it accepts; default 1,4,8,16,24,32
//   compressed      FOURCC:BITS,... compressed formats it also accepts (none by default)
//   format          its format when the configuration is applied: WxHxB, optionally :FOURCC and
//                   /N for biClrUsed N; default 320x240x24
//   dialogs         format,source,display (the default) or none
//   picture         noise|no-noise, motion|still, caption|no-caption; all on by default
//   pick            what the simulated user chooses in the dialogs before OK or Cancel: a
//                   format WxHxB[/N] for the format dialog, picture tokens for the source
//                   (noise, motion) and display (caption) dialogs; by default the current values
//   faults          refuse-connect, refuse-format, get-format-fails, empty-frames (dwBytesUsed
//                   0), short-frames (half the image), colors-over-256 (the format reports
//                   biClrUsed 300 and a table that long), no-dialogs
//
// `window fail` makes capCreateCaptureWindow return null. `log N` keeps each capture window's latest
// N messages in its log (0 to 65536, the default; a long run that no test reads needs none).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "simcam/frame_generator.h"
#include "simcam/video_format.h"

namespace zu::simcam {

constexpr int kDriverSlots = 10;
constexpr size_t kMaxLogEntries = 65536;
constexpr uint32_t kOversizedColorCount = 300;

struct Faults {
  bool refuse_connect = false;
  bool refuse_format = false;
  bool get_format_fails = false;
  bool empty_frames = false;
  bool short_frames = false;
  bool colors_over_256 = false;
};

struct FrameSize {
  int32_t width = 0;
  int32_t height = 0;
};

struct CompressedFormat {
  uint32_t fourcc = 0;
  uint16_t bit_count = 0;
};

struct DialogPicks {
  std::optional<VideoFormat> format;
  std::optional<bool> noise, motion, caption;
};

struct DriverConfig {
  std::string name = "Zu Simulated Camera";
  std::string version = "1.0";
  std::vector<FrameSize> sizes;  // empty: any size up to kMaxFrameSide
  std::vector<uint16_t> bit_counts{1, 4, 8, 16, 24, 32};
  std::vector<CompressedFormat> compressed;
  VideoFormat format;
  bool has_format_dialog = true;
  bool has_source_dialog = true;
  bool has_display_dialog = true;
  PictureSettings picture;
  DialogPicks picks;
  Faults faults;

  // Would a WM_CAP_SET_VIDEOFORMAT with this format be accepted (faults aside)?
  bool Supports(const VideoFormat& format) const;
};

struct SimConfig {
  std::array<std::optional<DriverConfig>, kDriverSlots> drivers;
  bool create_window_fails = false;
  size_t log_entries = kMaxLogEntries;  // kept per capture window
};

// One driver at index 0 with the defaults above.
SimConfig DefaultConfig();

// False with a message naming the statement for text it cannot read; `config` is then unchanged.
bool ParseConfig(std::string_view text, SimConfig* config, std::string* error);

// "WxHxB[:FOURCC][/N]"; false when the text is not one.
bool ParseFormat(std::string_view text, VideoFormat* format);

}  // namespace zu::simcam
