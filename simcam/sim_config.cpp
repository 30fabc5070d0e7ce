#include "simcam/sim_config.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace zu::simcam {
namespace {

bool ParseNumber(std::string_view text, int64_t max, int64_t* value) {
  if (text.empty()) return false;
  int64_t v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || v < 0 || v > max) return false;
  *value = v;
  return true;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

bool IsDibBitCount(int64_t bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

bool ParseSize(std::string_view text, FrameSize* size) {
  const std::vector<std::string_view> parts = Split(text, 'x');
  int64_t w = 0, h = 0;
  if (parts.size() != 2 || !ParseNumber(parts[0], kMaxFrameSide, &w) ||
      !ParseNumber(parts[1], kMaxFrameSide, &h) || w == 0 || h == 0) {
    return false;
  }
  *size = {static_cast<int32_t>(w), static_cast<int32_t>(h)};
  return true;
}

// Picture tokens, shared by `picture` and `pick`. False for any other token.
bool ApplyPictureToken(std::string_view token, std::optional<bool>* noise,
                       std::optional<bool>* motion, std::optional<bool>* caption) {
  if (token == "noise") *noise = true;
  else if (token == "no-noise") *noise = false;
  else if (token == "motion") *motion = true;
  else if (token == "still" || token == "no-motion") *motion = false;
  else if (token == "caption") *caption = true;
  else if (token == "no-caption") *caption = false;
  else return false;
  return true;
}

// Splits a statement into words; a double-quoted stretch (which may hold spaces and ';') stays
// in its word, without the quotes.
bool Words(std::string_view statement, std::vector<std::string>* words, std::string* error) {
  std::string word;
  bool in_word = false, quoted = false;
  for (char c : statement) {
    if (c == '"') {
      quoted = !quoted;
      in_word = true;
    } else if (!quoted && std::isspace(static_cast<unsigned char>(c))) {
      if (in_word) words->push_back(word);
      word.clear();
      in_word = false;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (quoted) {
    *error = "a quote is not closed";
    return false;
  }
  if (in_word) words->push_back(word);
  return true;
}

class Parser {
 public:
  explicit Parser(SimConfig* config) : config_(config) {}

  bool Statement(const std::vector<std::string>& words, std::string* error) {
    if (words[0] == "window") {
      if (words.size() != 2 || words[1] != "fail") return Fail(error, "expected \"window fail\"");
      config_->create_window_fails = true;
      return true;
    }
    if (words[0] == "log") {
      int64_t entries = 0;
      if (words.size() != 2 || !ParseNumber(words[1], static_cast<int64_t>(kMaxLogEntries), &entries)) {
        return Fail(error, "expected \"log N\" with N from 0 to " + std::to_string(kMaxLogEntries));
      }
      config_->log_entries = static_cast<size_t>(entries);
      return true;
    }
    if (words[0] != "driver") return Fail(error, "unknown statement \"" + words[0] + "\"");
    int64_t index = 0;
    if (words.size() < 2 || !ParseNumber(words[1], kDriverSlots - 1, &index)) {
      return Fail(error, "expected a driver index from 0 to 9");
    }
    if (config_->drivers[index]) return Fail(error, "driver " + words[1] + " is declared twice");
    DriverConfig driver;
    for (size_t i = 2; i < words.size(); ++i) {
      const std::string& word = words[i];
      const size_t equals = word.find('=');
      if (equals == std::string::npos) return Fail(error, "expected key=value, got \"" + word + "\"");
      const std::string key = word.substr(0, equals);
      const std::string value = word.substr(equals + 1);
      if (!Key(key, value, &driver, error)) return false;
    }
    if (!driver.Supports(driver.format)) {
      return Fail(error, "driver " + words[1] + ": its format " + DescribeFormat(driver.format) +
                             " is not one it accepts");
    }
    if (driver.picks.format && !driver.Supports(*driver.picks.format)) {
      return Fail(error, "driver " + words[1] + ": the picked format " +
                             DescribeFormat(*driver.picks.format) + " is not one it accepts");
    }
    config_->drivers[index] = std::move(driver);
    return true;
  }

 private:
  static bool Fail(std::string* error, std::string message) {
    *error = std::move(message);
    return false;
  }

  bool Key(const std::string& key, const std::string& value, DriverConfig* driver,
           std::string* error) {
    if (key == "name" || key == "version") {
      if (value.size() > 79) return Fail(error, key + " is longer than 79 characters");
      (key == "name" ? driver->name : driver->version) = value;
    } else if (key == "sizes") {
      driver->sizes.clear();
      if (value == "any") return true;
      for (std::string_view part : Split(value, ',')) {
        FrameSize size;
        if (!ParseSize(part, &size)) return Fail(error, "bad size \"" + std::string(part) + "\"");
        driver->sizes.push_back(size);
      }
    } else if (key == "bits") {
      driver->bit_counts.clear();
      for (std::string_view part : Split(value, ',')) {
        int64_t bits = 0;
        if (!ParseNumber(part, 32, &bits) || !IsDibBitCount(bits)) {
          return Fail(error, "bad bit count \"" + std::string(part) + "\"");
        }
        driver->bit_counts.push_back(static_cast<uint16_t>(bits));
      }
    } else if (key == "compressed") {
      driver->compressed.clear();
      for (std::string_view part : Split(value, ',')) {
        int64_t bits = 0;
        if (part.size() < 6 || part[4] != ':' || !ParseNumber(part.substr(5), 64, &bits) ||
            bits == 0) {
          return Fail(error, "bad compressed format \"" + std::string(part) + "\"");
        }
        driver->compressed.push_back({FourCc(part.data()), static_cast<uint16_t>(bits)});
      }
    } else if (key == "format") {
      if (!ParseFormat(value, &driver->format)) return Fail(error, "bad format \"" + value + "\"");
    } else if (key == "dialogs") {
      driver->has_format_dialog = driver->has_source_dialog = driver->has_display_dialog = false;
      if (value == "none") return true;
      for (std::string_view part : Split(value, ',')) {
        if (part == "format") driver->has_format_dialog = true;
        else if (part == "source") driver->has_source_dialog = true;
        else if (part == "display") driver->has_display_dialog = true;
        else return Fail(error, "unknown dialog \"" + std::string(part) + "\"");
      }
    } else if (key == "picture") {
      std::optional<bool> noise, motion, caption;
      for (std::string_view part : Split(value, ',')) {
        if (!ApplyPictureToken(part, &noise, &motion, &caption)) {
          return Fail(error, "unknown picture setting \"" + std::string(part) + "\"");
        }
      }
      driver->picture.noise = noise.value_or(driver->picture.noise);
      driver->picture.motion = motion.value_or(driver->picture.motion);
      driver->picture.caption = caption.value_or(driver->picture.caption);
    } else if (key == "pick") {
      for (std::string_view part : Split(value, ',')) {
        VideoFormat format;
        if (ParseFormat(part, &format)) {
          driver->picks.format = format;
        } else if (!ApplyPictureToken(part, &driver->picks.noise, &driver->picks.motion,
                                      &driver->picks.caption)) {
          return Fail(error, "unknown pick \"" + std::string(part) + "\"");
        }
      }
    } else if (key == "faults") {
      for (std::string_view part : Split(value, ',')) {
        Faults& f = driver->faults;
        if (part == "refuse-connect") f.refuse_connect = true;
        else if (part == "refuse-format") f.refuse_format = true;
        else if (part == "get-format-fails") f.get_format_fails = true;
        else if (part == "empty-frames") f.empty_frames = true;
        else if (part == "short-frames") f.short_frames = true;
        else if (part == "colors-over-256") f.colors_over_256 = true;
        else if (part == "no-dialogs") {
          driver->has_format_dialog = driver->has_source_dialog = driver->has_display_dialog = false;
        } else {
          return Fail(error, "unknown fault \"" + std::string(part) + "\"");
        }
      }
    } else {
      return Fail(error, "unknown key \"" + key + "\"");
    }
    return true;
  }

  SimConfig* config_;
};

}  // namespace

bool DriverConfig::Supports(const VideoFormat& f) const {
  if (f.width <= 0 || f.height <= 0 || f.width > kMaxFrameSide || f.height > kMaxFrameSide) {
    return false;
  }
  if (!sizes.empty() &&
      std::none_of(sizes.begin(), sizes.end(), [&](const FrameSize& s) {
        return s.width == f.width && s.height == f.height;
      })) {
    return false;
  }
  if (f.compression == kBiRgbCompression) {
    if (std::find(bit_counts.begin(), bit_counts.end(), f.bit_count) == bit_counts.end()) {
      return false;
    }
    return !IsIndexed(f) || f.colors <= (1u << f.bit_count);
  }
  return std::any_of(compressed.begin(), compressed.end(), [&](const CompressedFormat& c) {
    return c.fourcc == f.compression && c.bit_count == f.bit_count;
  });
}

SimConfig DefaultConfig() {
  SimConfig config;
  config.drivers[0] = DriverConfig{};
  return config;
}

bool ParseFormat(std::string_view text, VideoFormat* format) {
  VideoFormat f;
  const size_t slash = text.find('/');
  if (slash != std::string_view::npos) {
    int64_t colors = 0;
    if (!ParseNumber(text.substr(slash + 1), 256, &colors)) return false;
    f.colors = static_cast<uint32_t>(colors);
    text = text.substr(0, slash);
  }
  const size_t colon = text.find(':');
  if (colon != std::string_view::npos) {
    if (text.size() - colon - 1 != 4) return false;
    f.compression = FourCc(text.data() + colon + 1);
    text = text.substr(0, colon);
  }
  const std::vector<std::string_view> parts = Split(text, 'x');
  int64_t w = 0, h = 0, bits = 0;
  if (parts.size() != 3 || !ParseNumber(parts[0], kMaxFrameSide, &w) ||
      !ParseNumber(parts[1], kMaxFrameSide, &h) || !ParseNumber(parts[2], 64, &bits) || w == 0 ||
      h == 0 || bits == 0) {
    return false;
  }
  f.width = static_cast<int32_t>(w);
  f.height = static_cast<int32_t>(h);
  f.bit_count = static_cast<uint16_t>(bits);
  if (f.compression == kBiRgbCompression && !IsDibBitCount(bits)) return false;
  if (f.colors != 0 && !IsIndexed(f)) return false;
  *format = f;
  return true;
}

bool ParseConfig(std::string_view text, SimConfig* config, std::string* error) {
  SimConfig parsed;
  Parser parser(&parsed);
  // Statements end at a line break or a ';' outside quotes; a '#' outside quotes runs to the end
  // of its line.
  std::string statement;
  bool quoted = false, comment = false;
  int line = 1;
  auto finish = [&]() -> bool {
    std::vector<std::string> words;
    std::string message;
    if (!Words(statement, &words, &message) || (!words.empty() && !parser.Statement(words, &message))) {
      *error = "line " + std::to_string(line) + ": " + message;
      return false;
    }
    statement.clear();
    return true;
  };
  for (char c : text) {
    if (comment) {
      if (c == '\n') {
        comment = false;
        if (!finish()) return false;
        ++line;
      }
      continue;
    }
    if (c == '"') quoted = !quoted;
    if (!quoted && c == '#') {
      comment = true;
      continue;
    }
    if (!quoted && (c == '\n' || c == ';')) {
      if (!finish()) return false;
      if (c == '\n') ++line;
      continue;
    }
    statement += c == '\r' || c == '\t' ? ' ' : c;
  }
  if (!finish()) return false;
  *config = std::move(parsed);
  return true;
}

}  // namespace zu::simcam
