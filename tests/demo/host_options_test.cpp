// The command lines of the two hosts, the endpoints they name, and the statistics they print.
#include "demo/host_options.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "demo/sample_stats.h"

namespace zu {
namespace {

// argv for a command line: the program's name, then `args`.
class Argv {
 public:
  Argv(std::initializer_list<const char*> args) : pointers_{"host"} {
    pointers_.insert(pointers_.end(), args.begin(), args.end());
  }
  int argc() const { return static_cast<int>(pointers_.size()); }
  const char* const* argv() const { return pointers_.data(); }

 private:
  std::vector<const char*> pointers_;
};

std::string Text(const Endpoint& e) {
  return (e.listen ? "listen " : "connect ") + DescribeEndpoint(e);
}

TEST(Endpoints, ConnectAndListenFormsParseToWhatTheyName) {
  struct Row {
    const char* text;
    bool listen;
    const char* expected;  // nullptr: refused
  } rows[] = {
      {"127.0.0.1:5000", false, "connect 127.0.0.1:5000"},
      {"camera-pc:65535", false, "connect camera-pc:65535"},
      {"[::1]:80", false, "connect [::1]:80"},
      {"host:0", false, nullptr},  // no port 0 to connect to
      {"host:65536", false, nullptr},
      {":5000", false, nullptr},   // no host
      {"5000", false, nullptr},    // connecting needs a host
      {"::1:80", false, nullptr},  // a v6 address needs brackets
      {"[::1]80", false, nullptr},
      {"host:50x", false, nullptr},
      {"5000", true, "listen 127.0.0.1:5000"},  // loopback unless a host is named
      {"0", true, "listen 127.0.0.1:0"},        // any free port
      {"0.0.0.0:7000", true, "listen 0.0.0.0:7000"},
      {"[::]:7000", true, "listen [::]:7000"},
      {"", true, nullptr},
      {":7000", true, nullptr},
      {"70000", true, nullptr},
  };
  for (const Row& row : rows) {
    const auto parsed = row.listen ? ParseListenEndpoint(row.text) : ParseConnectEndpoint(row.text);
    if (row.expected == nullptr) {
      EXPECT_FALSE(parsed.has_value()) << row.text << " gave " << Text(*parsed);
    } else {
      ASSERT_TRUE(parsed.has_value()) << row.text;
      EXPECT_EQ(Text(*parsed), row.expected) << row.text;
    }
  }
}

TEST(CommandLine, FlagsValuesAndMistakes) {
  std::string seen;
  bool flag = false;
  const std::vector<OptionSpec> specs = {
      {"--name", false,
       [&](std::string_view v) {
         seen = std::string(v);
         return v != "bad";
       }},
      {"--flag", true, [&](std::string_view v) { return flag = v.empty(); }},
  };
  struct Row {
    std::vector<const char*> args;
    const char* problem;
    const char* seen;
    bool flag;
  } rows[] = {
      {{}, "", "", false},
      {{"--name", "a", "--flag"}, "", "a", true},
      {{"--flag", "--name", "a", "--name", "b"}, "", "b", true},  // the last one counts
      {{"--name"}, "missing value for --name", "", false},
      {{"--name", "bad"}, "bad value for --name", "bad", false},
      {{"--other", "x"}, "unknown option --other", "", false},
      {{"name", "a"}, "unknown option name", "", false},
  };
  for (const Row& row : rows) {
    seen.clear();
    flag = false;
    std::vector<const char*> argv = {"program"};
    argv.insert(argv.end(), row.args.begin(), row.args.end());
    EXPECT_EQ(ParseCommandLine(static_cast<int>(argv.size()), argv.data(), specs), row.problem)
        << testing::PrintToString(row.args);
    EXPECT_EQ(seen, row.seen) << testing::PrintToString(row.args);
    EXPECT_EQ(flag, row.flag) << testing::PrintToString(row.args);
  }
}

TEST(CaptureHostOptions, EveryOptionReachesItsField) {
  const Argv args = {
      "--connect", "player:5000", "--format", "png",          "--size",   "320x240",
      "--bits",    "8",           "--elapse", "16",           "--ex",     "--device",
      "2",         "--seconds",   "7",        "--frames",     "900",      "--queue",
      "6",         "--at",        "10,20",    "--screenshot", "shot.png", "--measure-after",
      "100"};
  CaptureHostOptions o;
  ASSERT_EQ(ParseCaptureHostOptions(args.argc(), args.argv(), &o), "");
  EXPECT_EQ(Text(o.peer), "connect player:5000");
  EXPECT_EQ(o.format, WireFormat::kPng);
  EXPECT_EQ(o.size.width, 320);
  EXPECT_EQ(o.size.height, 240);
  EXPECT_EQ(o.bit_count, 2);  // vcpBit8
  EXPECT_EQ(o.elapse_ms, 16);
  EXPECT_TRUE(o.ex_event);
  EXPECT_EQ(o.device, 2);
  EXPECT_EQ(o.seconds, 7);
  EXPECT_EQ(o.frames, 900);
  EXPECT_EQ(o.queue, 6);
  EXPECT_EQ(o.at.x, 10);
  EXPECT_EQ(o.at.y, 20);
  EXPECT_EQ(o.screenshot, "shot.png");
  EXPECT_EQ(o.measure_after, 100);
}

TEST(CaptureHostOptions, DefaultsAndRefusals) {
  CaptureHostOptions o;
  const Argv listen = {"--listen", "0"};
  ASSERT_EQ(ParseCaptureHostOptions(listen.argc(), listen.argv(), &o), "");
  EXPECT_EQ(Text(o.peer), "listen 127.0.0.1:0");
  EXPECT_EQ(o.format, WireFormat::kBmp);
  EXPECT_EQ(o.bit_count, 4);  // vcpBit24
  EXPECT_EQ(o.elapse_ms, 33);
  EXPECT_FALSE(o.ex_event);
  EXPECT_EQ(o.device, -1);
  EXPECT_EQ(o.frames, 0);

  struct Row {
    Argv args;
    const char* problem;
  } rows[] = {
      {{}, "--connect or --listen is required"},
      {{"--format", "png"}, "--connect or --listen is required"},
      {{"--connect", "5000"}, "bad value for --connect"},
      {{"--listen", "0", "--bits", "12"}, "bad value for --bits"},
      {{"--listen", "0", "--elapse", "0"}, "bad value for --elapse"},
      {{"--listen", "0", "--device", "10"}, "bad value for --device"},
      {{"--listen", "0", "--ex", "1"}, "unknown option 1"},            // a flag takes no value
      {{"--listen", "0", "--mode", "zoom"}, "unknown option --mode"},  // the play host's
      {{"--listen", "0", "--at", "5"}, "bad value for --at"},
      {{"--listen", "0", "--queue", "0"}, "bad value for --queue"},
  };
  for (const Row& row : rows) {
    CaptureHostOptions kept;
    kept.seconds = 99;
    EXPECT_EQ(ParseCaptureHostOptions(row.args.argc(), row.args.argv(), &kept), row.problem);
    EXPECT_EQ(kept.seconds, 99) << "a refused command line left its options half set";
  }
}

TEST(PlayHostOptions, PeersModesAndRefusals) {
  PlayHostOptions o;
  const Argv old_form = {"--port", "4242", "--mode", "stretch", "--format", "png"};
  ASSERT_EQ(ParsePlayHostOptions(old_form.argc(), old_form.argv(), &o), "");
  EXPECT_EQ(Text(o.peer), "connect 127.0.0.1:4242");
  EXPECT_EQ(o.size_mode, 2);
  EXPECT_EQ(o.format, WireFormat::kPng);
  EXPECT_EQ(o.streams, 1);
  EXPECT_FALSE(o.paint_every_frame);

  const Argv listening = {"--listen", "0.0.0.0:6000", "--streams", "0", "--size", "1280x720",
                          "--queue", "64", "--at", "700,0", "--measure-after", "50",
                          "--paint-every-frame"};
  ASSERT_EQ(ParsePlayHostOptions(listening.argc(), listening.argv(), &o), "");
  EXPECT_EQ(Text(o.peer), "listen 0.0.0.0:6000");
  EXPECT_EQ(o.streams, 0);
  EXPECT_EQ(o.size.width, 1280);
  EXPECT_EQ(o.queue, 64);
  EXPECT_EQ(o.at.x, 700);
  EXPECT_EQ(o.measure_after, 50);
  EXPECT_TRUE(o.paint_every_frame);

  struct Row {
    Argv args;
    const char* problem;
  } rows[] = {
      {{"--mode", "clip"}, "--connect or --listen is required"},
      {{"--port", "0"}, "bad value for --port"},
      {{"--port", "1", "--mode", "fit"}, "bad value for --mode"},
      {{"--port", "1", "--ex"}, "unknown option --ex"},  // the capture host's
      {{"--port", "1", "--size", "0x10"}, "bad value for --size"},
      {{"--port", "1", "--seconds"}, "missing value for --seconds"},
  };
  for (const Row& row : rows) {
    PlayHostOptions kept;
    EXPECT_EQ(ParsePlayHostOptions(row.args.argc(), row.args.argv(), &kept), row.problem);
  }
}

TEST(Samples, NearestRankQuantiles) {
  Samples empty;
  EXPECT_EQ(empty.Median(), 0.0);
  EXPECT_EQ(empty.Quantile(0.99), 0.0);
  Samples s;
  // 1..100 in a scrambled order: the quantiles must not depend on it.
  for (int i = 0; i < 100; ++i) s.Add(static_cast<double>((i * 37) % 100 + 1));
  struct Row {
    double fraction, expected;
  } rows[] = {{0.0, 1}, {0.01, 1}, {0.5, 50}, {0.505, 51}, {0.99, 99}, {0.995, 100}, {1.0, 100}};
  for (const Row& row : rows) EXPECT_EQ(s.Quantile(row.fraction), row.expected) << row.fraction;
  EXPECT_EQ(s.Mean(), 50.5);
  EXPECT_EQ(s.Max(), 100.0);
  Samples two;
  two.Add(8);
  two.Add(2);
  EXPECT_EQ(two.Median(), 2.0);  // the lower middle
}

}  // namespace
}  // namespace zu
