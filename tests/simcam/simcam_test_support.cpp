#include "tests/simcam/simcam_test_support.h"

#include <algorithm>
#include <atomic>

#include "codec/frame_format.h"

namespace zu::test {
namespace {

constexpr wchar_t kParentClass[] = L"ZuSimCamTestParent";

ATOM ParentClass() {
  static const ATOM atom = [] {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = DefWindowProcW;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = kParentClass;
    return RegisterClassW(&window_class);
  }();
  return atom;
}

}  // namespace

CallbackLog& Callbacks() {
  static CallbackLog log;
  return log;
}

LRESULT CALLBACK RecordError(HWND window, int id, LPCSTR text) {
  Callbacks().errors.push_back({window, id, text ? text : ""});
  return TRUE;
}

LRESULT CALLBACK RecordStatus(HWND window, int id, LPCSTR text) {
  Callbacks().statuses.push_back({window, id, text ? text : ""});
  return TRUE;
}

LRESULT CALLBACK RecordFrame(HWND window, LPVIDEOHDR header) {
  FrameRecord frame{window, header->dwBytesUsed, header->dwBufferLength, header->dwFlags,
                    header->dwTimeCaptured, {}, {}};
  frame.format = QueryFormat(window);
  frame.data.assign(header->lpData, header->lpData + header->dwBytesUsed);
  Callbacks().frames.push_back(std::move(frame));
  return TRUE;
}

std::vector<uint8_t> QueryFormat(HWND window) {
  const LRESULT size = SendMessageA(window, WM_CAP_GET_VIDEOFORMAT, 0, 0);
  if (size <= 0) return {};
  std::vector<uint8_t> block(static_cast<size_t>(size));
  const LRESULT copied = SendMessageA(window, WM_CAP_GET_VIDEOFORMAT, block.size(),
                                      reinterpret_cast<LPARAM>(block.data()));
  if (copied <= 0) return {};
  block.resize(static_cast<size_t>(copied));
  return block;
}

std::vector<uint8_t> PackedFrame(const FrameRecord& frame) {
  std::vector<uint8_t> packed(frame.format);
  packed.insert(packed.end(), frame.data.begin(), frame.data.end());
  return packed;
}

std::string Utf8Path(const std::wstring& path) {
  const int size = WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? size - 1 : 0, '\0');
  if (size > 1) WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, &out[0], size, nullptr, nullptr);
  return out;
}

void SimCamTest::SetUp() {
  // The simulator is what the loader found for avicap32.dll: the test is linked to the
  // platform's import library, and only the override and the copy beside the test program make
  // these exports appear.
  ASSERT_TRUE(api_.Bind()) << "the avicap32.dll in this process is not the simulator";
  SetEnvironmentVariableA("ZU_SIMCAM", nullptr);
  api_.reset();
  Callbacks() = CallbackLog{};
  ASSERT_NE(ParentClass(), 0);
  parent_ = CreateWindowExW(0, kParentClass, L"simcam test", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                            0, 0, 700, 560, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(parent_, nullptr);
}

void SimCamTest::TearDown() {
  if (parent_ != nullptr) DestroyWindow(parent_);  // and the capture windows in it
  parent_ = nullptr;
  SetEnvironmentVariableA("ZU_SIMCAM", nullptr);
  if (api_.reset != nullptr) api_.reset();
}

void SimCamTest::Configure(const std::string& text) {
  std::string error;
  ASSERT_TRUE(api_.Configure(text, &error)) << text << ": " << error;
}

HWND SimCamTest::NewCaptureWindow(int width, int height) {
  HWND window = capCreateCaptureWindowA("Test Capture Window", WS_CHILD | WS_VISIBLE | 0x20, 0, 0,
                                        width, height, parent_, 10007);
  if (window != nullptr) {
    Send(window, WM_CAP_SET_CALLBACK_ERRORA, 0, reinterpret_cast<LPARAM>(RecordError));
    Send(window, WM_CAP_SET_CALLBACK_STATUSA, 0, reinterpret_cast<LPARAM>(RecordStatus));
    Send(window, WM_CAP_SET_CALLBACK_FRAME, 0, reinterpret_cast<LPARAM>(RecordFrame));
  }
  return window;
}

HWND SimCamTest::Connected(int driver) {
  HWND window = NewCaptureWindow();
  EXPECT_NE(window, nullptr);
  EXPECT_TRUE(Send(window, WM_CAP_DRIVER_CONNECT, driver));
  return window;
}

void SimCamTest::Pump(DWORD ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= ms) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - elapsed, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
}

size_t SimCamTest::FramesOf(HWND window) const {
  const auto& frames = Callbacks().frames;
  return static_cast<size_t>(std::count_if(frames.begin(), frames.end(),
                                           [&](const FrameRecord& f) { return f.window == window; }));
}

TempFile::TempFile(const wchar_t* extension) {
  static std::atomic<int> counter{0};
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  path_ = std::wstring(folder) + L"zu_simcam_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
          std::to_wstring(++counter) + extension;
  DeleteFileW(path_.c_str());
}

TempFile::~TempFile() { DeleteFileW(path_.c_str()); }

bool TempFile::Exists() const { return GetFileAttributesW(path_.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<uint8_t> TempFile::Read() const {
  HANDLE file = CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::vector<uint8_t> bytes(GetFileSize(file, nullptr));
  DWORD read = 0;
  if (!bytes.empty()) ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  CloseHandle(file);
  bytes.resize(read);
  return bytes;
}

}  // namespace zu::test
