// The configuration text, from the test functions and from ZU_SIMCAM, and the reset.
#include <string>
#include <vector>

#include "tests/simcam/simcam_test_support.h"

namespace zu::test {
namespace {

using SimCamConfig = SimCamTest;

bool Answers(UINT index, std::string* name = nullptr, std::string* version = nullptr) {
  char n[80] = "", v[80] = "";
  const bool ok = capGetDriverDescriptionA(index, n, 80, v, 80) != FALSE;
  if (name) *name = n;
  if (version) *version = v;
  return ok;
}

TEST_F(SimCamConfig, RefusesTextItCannotReadSayingWhereAndKeepsTheOldConfiguration) {
  Configure("driver 4");
  const struct {
    const char* text;
    const char* message_part;
  } rows[] = {
      {"camera 0", "unknown statement"},
      {"driver 10", "index"},
      {"driver", "index"},
      {"driver 0; driver 0", "twice"},
      {"driver 0 colour=red", "unknown key"},
      {"driver 0 name", "key=value"},
      {"driver 0 sizes=0x10", "bad size"},
      {"driver 0 bits=12", "bad bit count"},
      {"driver 0 format=320x240", "bad format"},
      {"driver 0 format=80x60x24/16", "bad format"},
      {"driver 0 compressed=I420", "bad compressed"},
      {"driver 0 sizes=160x120 format=320x240x24", "not one it accepts"},
      {"driver 0 bits=8 format=320x240x24", "not one it accepts"},
      {"driver 0 sizes=320x240 format=320x240x8 pick=640x480x8", "picked"},
      {"driver 0 name=\"open", "quote"},
      {"driver 0 faults=melt", "unknown fault"},
      {"driver 0 dialogs=about", "unknown dialog"},
      {"driver 0 picture=sepia", "unknown picture"},
      {"window open", "window fail"},
      {"log", "log N"},
      {"log 65537", "log N"},
      {"log -1", "log N"},
      {"driver 0\n\ndriver x", "line 3"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    std::string error;
    EXPECT_FALSE(api_.Configure(row.text, &error));
    EXPECT_NE(error.find(row.message_part), std::string::npos) << error;
    EXPECT_TRUE(Answers(4)) << "unchanged";
    EXPECT_FALSE(Answers(0));
  }
}

TEST_F(SimCamConfig, ReadsCommentsQuotesAndEitherLineEnd) {
  Configure("# two drivers\r\ndriver 1 name=\"A; B\" # the first\r\n\tdriver 7 version=7.1;driver 8");
  std::string name, version;
  EXPECT_TRUE(Answers(1, &name));
  EXPECT_EQ(name, "A; B");
  EXPECT_TRUE(Answers(7, &name, &version));
  EXPECT_EQ(name, "Zu Simulated Camera");
  EXPECT_EQ(version, "7.1");
  EXPECT_TRUE(Answers(8));
  EXPECT_FALSE(Answers(0));
}

TEST_F(SimCamConfig, TheEnvironmentGivesTheTextOrAFileWithIt) {
  SetEnvironmentVariableA("ZU_SIMCAM", "driver 3 name=FromText");
  api_.reset();
  std::string name, version;
  EXPECT_TRUE(Answers(3, &name));
  EXPECT_EQ(name, "FromText");
  EXPECT_FALSE(Answers(0));

  TempFile file(L".txt");
  {
    HANDLE handle = CreateFileW(file.path().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    const std::string text = "# from a file\ndriver 6 version=\"6.0 file\"\ndriver 2\n";
    DWORD written = 0;
    WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(handle);
  }
  SetEnvironmentVariableA("ZU_SIMCAM", file.ansi().c_str());
  api_.reset();
  EXPECT_TRUE(Answers(6, nullptr, &version));
  EXPECT_EQ(version, "6.0 file");
  EXPECT_TRUE(Answers(2));
  EXPECT_FALSE(Answers(3));

  // A broken text gives no drivers rather than a default camera nobody asked for.
  SetEnvironmentVariableA("ZU_SIMCAM", "driver 99");
  char error[128] = "";
  EXPECT_FALSE(api_.configure(nullptr, error, sizeof error));
  EXPECT_NE(std::string(error).find("index"), std::string::npos) << error;
  for (UINT i = 0; i < 10; ++i) EXPECT_FALSE(Answers(i)) << i;

  SetEnvironmentVariableA("ZU_SIMCAM", nullptr);
  EXPECT_TRUE(api_.configure(nullptr, nullptr, 0));
  EXPECT_TRUE(Answers(0)) << "the default again";
}

TEST_F(SimCamConfig, ResetFreesEveryDriverAndForgetsTheWindows) {
  HWND window = Connected();
  ASSERT_EQ(api_.Windows().size(), 1u);
  api_.reset();
  EXPECT_EQ(api_.driver_owner(0), nullptr);
  EXPECT_TRUE(api_.Windows().empty());
  EXPECT_FALSE(api_.push_frame(window)) << "the window lost its driver";
  HWND other = Connected();
  EXPECT_EQ(api_.driver_owner(0), other);
  EXPECT_EQ(api_.Windows(), std::vector<HWND>{other});
  // The old window still works and logs again.
  EXPECT_FALSE(Send(window, WM_CAP_DRIVER_CONNECT, 0)) << "in use by the new one";
  EXPECT_EQ(api_.Log(window).size(), 1u);
}

// The log keeps a window's latest `log N` messages, and none with 0; the messages are handled all
// the same.
TEST_F(SimCamConfig, TheLogKeepsAsManyMessagesAsTheTextSays) {
  for (const size_t kept : {size_t{0}, size_t{2}}) {
    Configure("driver 0; log " + std::to_string(kept));
    HWND window = Connected();
    Send(window, WM_CAP_SET_PREVIEWRATE, 40);
    Send(window, WM_CAP_SET_PREVIEW, TRUE);
    const std::vector<SimCamLogEntry> log = api_.Log(window);
    ASSERT_EQ(log.size(), kept);
    if (kept == 2) {
      EXPECT_EQ(log[0].message, static_cast<UINT>(WM_CAP_SET_PREVIEWRATE));
      EXPECT_EQ(log[1].message, static_cast<UINT>(WM_CAP_SET_PREVIEW));
      EXPECT_EQ(log[1].result, TRUE) << "the result found its entry";
    }
    EXPECT_EQ(api_.driver_owner(0), window);
    DestroyWindow(window);
  }
}

}  // namespace
}  // namespace zu::test
