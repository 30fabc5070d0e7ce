// The two host programs as processes, killed the way an operating system kills them: the capture
// host goes on without its play host and connects again to the next one; the play host reports a
// capture host that died and serves the next. Both controls are registered for the program's run
// from the build (the capture control from the copy beside the capture host and the simulated
// camera), and the program's environment makes Wine load the simulator.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/regsvr32.h"

namespace zu {
namespace {

constexpr DWORD kPatienceMs = 30000;  // a guard against a hang, far beyond any wait below

std::wstring Widened(const char* text) {
  std::wstring out;
  for (; *text; ++text) out += static_cast<wchar_t>(*text == '/' ? '\\' : *text);
  return out;
}

// A folder of the build as the Windows programs name it.
std::wstring BuildPath(const char* relative) { return L"Z:" + Widened(ZU_BUILD_DIR) + Widened(relative); }

// One host program running, its output (stdout and stderr together) read as it comes.
class HostProcess {
 public:
  explicit HostProcess(const std::wstring& command_line) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE read_end = nullptr, write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return;
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = write_end;
    startup.hStdError = write_end;
    std::wstring command = command_line;
    started_ = CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                              &startup, &process_) != FALSE;
    CloseHandle(write_end);
    reader_ = std::thread([this, read_end] {
      char chunk[4096];
      DWORD got = 0;
      while (ReadFile(read_end, chunk, sizeof chunk, &got, nullptr) && got > 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        output_.append(chunk, got);
      }
      CloseHandle(read_end);
    });
  }
  ~HostProcess() {
    Kill();
    if (reader_.joinable()) reader_.join();
    if (started_) {
      CloseHandle(process_.hThread);
      CloseHandle(process_.hProcess);
    }
  }
  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;

  bool started() const { return started_; }
  std::string Output() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return output_;
  }
  // True once the output holds `part`.
  bool WaitForOutput(const std::string& part, DWORD ms = kPatienceMs) const {
    const DWORD start = GetTickCount();
    while (Output().find(part) == std::string::npos) {
      if (GetTickCount() - start >= ms || Exited()) return Output().find(part) != std::string::npos;
      Sleep(20);
    }
    return true;
  }
  // The number that follows `label` in the output, or -1.
  long NumberAfter(const std::string& label) const {
    const std::string text = Output();
    const size_t at = text.find(label);
    return at == std::string::npos ? -1 : std::strtol(text.c_str() + at + label.size(), nullptr, 10);
  }
  bool Exited() const {
    return started_ && WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0;
  }
  // The exit status once the program ended within `ms`; STILL_ACTIVE otherwise.
  DWORD Wait(DWORD ms = kPatienceMs) {
    DWORD code = STILL_ACTIVE;
    if (started_ && WaitForSingleObject(process_.hProcess, ms) == WAIT_OBJECT_0) {
      GetExitCodeProcess(process_.hProcess, &code);
      if (reader_.joinable()) reader_.join();
    }
    return code;
  }
  // As the system ends a program: no clean-up of its own, its sockets closed under it.
  void Kill() {
    if (started_ && !Exited()) {
      TerminateProcess(process_.hProcess, 9);
      WaitForSingleObject(process_.hProcess, kPatienceMs);
    }
  }

 private:
  bool started_ = false;
  PROCESS_INFORMATION process_ = {};
  std::thread reader_;
  mutable std::mutex mutex_;
  std::string output_;
};

class HostProcessTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    for (const std::wstring& dll : Dlls()) {
      ASSERT_EQ(test::RunRegsvr32(L"\"" + dll + L"\""), 0) << test_name(dll);
    }
  }
  static void TearDownTestSuite() {
    for (const std::wstring& dll : Dlls()) test::RunRegsvr32(L"/u \"" + dll + L"\"");
  }
  static std::vector<std::wstring> Dlls() {
    return {BuildPath("/bin/ZuVPlay.dll"), BuildPath("/demo/ZuVCap.dll")};
  }
  static std::string test_name(const std::wstring& path) { return std::string(path.begin(), path.end()); }

  static std::unique_ptr<HostProcess> Capture(const std::wstring& arguments) {
    return Start(L"\"" + BuildPath("/demo/capture_host.exe") +
                 L"\" --size 160x120 --elapse 20 --at 0,0 " + arguments);
  }
  static std::unique_ptr<HostProcess> Play(const std::wstring& arguments) {
    return Start(L"\"" + BuildPath("/demo/demo_host.exe") + L"\" --size 160x120 --at 200,0 " +
                 arguments);
  }
  static std::unique_ptr<HostProcess> Start(const std::wstring& command) {
    auto process = std::make_unique<HostProcess>(command);
    EXPECT_TRUE(process->started());
    return process;
  }
};

// The play host dies mid-stream. The capture host notes the broken connection, goes on
// capturing, connects to the play host that comes back on the same port, and ends normally.
TEST_F(HostProcessTest, ThePlayHostKilledMidStreamTheCaptureHostGoesOnAndConnectsAgain) {
  auto first = Play(L"--listen 0 --seconds 60");
  ASSERT_TRUE(first->WaitForOutput("host: listening on port ")) << first->Output();
  const long port = first->NumberAfter("host: listening on port ");
  ASSERT_GT(port, 0);
  auto capture = Capture(L"--connect 127.0.0.1:" + std::to_wstring(port) + L" --seconds 6");
  ASSERT_TRUE(capture->WaitForOutput("connection 1 made")) << capture->Output();
  Sleep(500);  // frames flow
  first->Kill();
  ASSERT_TRUE(capture->WaitForOutput("connecting again")) << capture->Output();

  auto second = Play(L"--listen " + std::to_wstring(port) + L" --seconds 60");
  ASSERT_TRUE(capture->WaitForOutput("connection 2 made")) << capture->Output();
  EXPECT_EQ(capture->Wait(), 0u) << capture->Output();
  EXPECT_EQ(second->Wait(), 0u) << second->Output();
  const std::string out = capture->Output();
  EXPECT_NE(out.find("connections=2 failures=1"), std::string::npos) << out;
  EXPECT_GT(second->NumberAfter("host: stats received="), 0) << second->Output();
  EXPECT_EQ(second->NumberAfter(" refused="), 0) << second->Output();
}

// The capture host dies mid-stream. The play host reports the stream that ended, waits, and
// shows the next capture host's frames.
TEST_F(HostProcessTest, TheCaptureHostKilledThePlayHostReportsItAndWaitsForTheNext) {
  auto play = Play(L"--listen 0 --streams 2 --seconds 60");
  ASSERT_TRUE(play->WaitForOutput("host: listening on port ")) << play->Output();
  const std::wstring peer =
      L"--connect 127.0.0.1:" + std::to_wstring(play->NumberAfter("host: listening on port "));
  auto first = Capture(peer + L" --seconds 60");
  ASSERT_TRUE(first->WaitForOutput("connection 1 made")) << first->Output();
  Sleep(500);  // frames flow
  first->Kill();
  ASSERT_TRUE(play->WaitForOutput("waiting for the next sender")) << play->Output();
  EXPECT_FALSE(play->Exited());

  auto second = Capture(peer + L" --seconds 2");
  EXPECT_EQ(second->Wait(), 0u) << second->Output();
  EXPECT_EQ(play->Wait(), 0u) << play->Output();
  const std::string out = play->Output();
  EXPECT_NE(out.find("connections=2"), std::string::npos) << out;
  EXPECT_EQ(play->NumberAfter(" refused="), 0) << out;
  EXPECT_GE(play->NumberAfter("host: stats received="), second->NumberAfter(" sent="))
      << "the second capture host's frames did not all arrive\n"
      << out;
}

}  // namespace
}  // namespace zu
