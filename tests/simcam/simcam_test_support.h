// A small capture client for the simulator's tests: it uses the capture library as a program
// would (linked against the platform's import library, capture windows in a parent window of its
// own, callbacks that record what they are told) and reaches the simulator's controls through
// SimCamApi.
#pragma once

#include <windows.h>

#include <vfw.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "simcam/simcam_control.h"

namespace zu::test {

struct Report {
  HWND window;
  int id;
  std::string text;
};

struct FrameRecord {
  HWND window;
  DWORD bytes_used;
  DWORD buffer_length;
  DWORD flags;
  DWORD time_captured;
  std::vector<uint8_t> format;  // the window's format block, read inside the callback, as the
                                // capture control reads it
  std::vector<uint8_t> data;    // dwBytesUsed bytes from lpData
};

// What the callbacks were told. The callbacks run on the window's thread, which in these tests
// is the test's own.
struct CallbackLog {
  std::vector<Report> errors;
  std::vector<Report> statuses;
  std::vector<FrameRecord> frames;
};
CallbackLog& Callbacks();

LRESULT CALLBACK RecordError(HWND window, int id, LPCSTR text);
LRESULT CALLBACK RecordStatus(HWND window, int id, LPCSTR text);
LRESULT CALLBACK RecordFrame(HWND window, LPVIDEOHDR header);

// The window's current format block (GET_VIDEOFORMAT: size first, then the copy); empty when
// the window reports none.
std::vector<uint8_t> QueryFormat(HWND window);

// A packed DIB made of a format block and the frame's bytes, as the capture control assembles it.
std::vector<uint8_t> PackedFrame(const FrameRecord& frame);

std::string Utf8Path(const std::wstring& path);

class SimCamTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Applies a configuration; the test fails when the simulator cannot read it.
  void Configure(const std::string& text);
  // A capture window in the fixture's parent, with the three callbacks registered.
  HWND NewCaptureWindow(int width = 320, int height = 240);
  HWND Connected(int driver = 0);
  LRESULT Send(HWND window, UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
    return SendMessageA(window, message, wparam, lparam);
  }
  // Runs the thread's message loop for `ms` milliseconds.
  void Pump(DWORD ms);
  // Frames the callback received for `window`.
  size_t FramesOf(HWND window) const;

  simcam::SimCamApi api_;
  HWND parent_ = nullptr;
};

// A fresh file name in the temporary folder, removed when the test ends.
class TempFile {
 public:
  explicit TempFile(const wchar_t* extension = L".bmp");
  ~TempFile();
  const std::wstring& path() const { return path_; }
  std::string ansi() const { return Utf8Path(path_); }
  bool Exists() const;
  std::vector<uint8_t> Read() const;

 private:
  std::wstring path_;
};

}  // namespace zu::test
