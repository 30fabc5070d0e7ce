// WM_CAP_FILE_SAVEDIB: the current frame as a complete bitmap file, read back by the codec's
// frame check and by the system's own bitmap loader.
#include <cstring>
#include <string>
#include <vector>

#include "codec/frame_format.h"
#include "tests/simcam/simcam_test_support.h"
#include "tools/frame_picture.h"

namespace zu::test {
namespace {

using SimCamSnapshot = SimCamTest;

uint32_t Read32(const std::vector<uint8_t>& bytes, size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

// The file as GDI reads it: LoadImage, then GetDIBits to 32-bit top-down rows (0xRRGGBB).
std::vector<uint32_t> LoadWithGdi(const std::wstring& path, int* width, int* height) {
  HBITMAP bitmap = static_cast<HBITMAP>(
      LoadImageW(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
  if (bitmap == nullptr) return {};
  BITMAP described{};
  GetObjectW(bitmap, sizeof described, &described);
  *width = described.bmWidth;
  *height = described.bmHeight;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = described.bmWidth;
  info.bmiHeader.biHeight = -described.bmHeight;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  std::vector<uint32_t> pixels(static_cast<size_t>(described.bmWidth) * described.bmHeight);
  HDC dc = GetDC(nullptr);
  const int rows = GetDIBits(dc, bitmap, 0, described.bmHeight, pixels.data(), &info,
                             DIB_RGB_COLORS);
  ReleaseDC(nullptr, dc);
  DeleteObject(bitmap);
  if (rows != described.bmHeight) return {};
  for (uint32_t& p : pixels) p &= 0xFFFFFF;
  return pixels;
}

TEST_F(SimCamSnapshot, WritesTheCurrentFrameAsACompleteBitmapFileAtEveryBitCount) {
  const char* formats[] = {"80x60x1", "81x60x1", "80x60x4", "83x61x4/9", "80x60x8",
                           "82x60x8/16", "80x60x16", "81x59x24", "80x60x32"};
  for (const char* format : formats) {
    SCOPED_TRACE(format);
    Configure(std::string("driver 0 format=") + format);
    HWND window = Connected();
    Callbacks().frames.clear();
    ASSERT_TRUE(api_.push_frame(window));
    ASSERT_EQ(Callbacks().frames.size(), 1u);
    const std::vector<uint8_t> frame = PackedFrame(Callbacks().frames[0]);

    TempFile file;
    EXPECT_TRUE(Send(window, WM_CAP_FILE_SAVEDIBA, 0, reinterpret_cast<LPARAM>(file.ansi().c_str())));
    const std::vector<uint8_t> bytes = file.Read();
    ASSERT_GT(bytes.size(), 54u);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    EXPECT_EQ(Read32(bytes, 2), bytes.size());
    EXPECT_EQ(Read32(bytes, 6), 0u);
    FrameLayout layout;
    ASSERT_EQ(CheckFrame(bytes.data() + 14, static_cast<int64_t>(bytes.size() - 14), &layout),
              FrameVerdict::kOk);
    EXPECT_EQ(Read32(bytes, 10), 14 + layout.rows_offset);
    EXPECT_EQ(layout.required_bytes, bytes.size() - 14);
    // The frame last delivered, byte for byte.
    ASSERT_EQ(bytes.size() - 14, frame.size());
    EXPECT_EQ(std::memcmp(bytes.data() + 14, frame.data(), frame.size()), 0);

    int width = 0, height = 0;
    const std::vector<uint32_t> gdi = LoadWithGdi(file.path(), &width, &height);
    ASSERT_FALSE(gdi.empty()) << "GDI could not load the file";
    const FramePicture picture(bytes.data() + 14);
    ASSERT_EQ(static_cast<uint32_t>(width), picture.Width());
    ASSERT_EQ(static_cast<uint32_t>(height), picture.Height());
    int mismatches = 0;
    for (uint32_t y = 0; y < picture.Height(); ++y) {
      for (uint32_t x = 0; x < picture.Width(); ++x) {
        uint32_t ours = picture.ColorAt(x, y);
        uint32_t theirs = gdi[y * width + x];
        if (ours & FramePicture::k16Bit) {
          // 5-5-5: GDI widens each channel; its top five bits are the stored ones.
          const uint32_t v = ours & 0x7FFF;
          ours = ((v >> 10) & 31) << 16 | ((v >> 5) & 31) << 8 | (v & 31);
          theirs = ((theirs >> 19) & 31) << 16 | ((theirs >> 11) & 31) << 8 | ((theirs >> 3) & 31);
        }
        if (ours != theirs && ++mismatches <= 3) {
          ADD_FAILURE() << "(" << x << ", " << y << "): ours " << std::hex << ours << ", GDI's "
                        << theirs;
        }
      }
    }
    EXPECT_EQ(mismatches, 0);
    DestroyWindow(window);
  }
}

TEST_F(SimCamSnapshot, SavesAFrameBeforeAnyWasGrabbedAndReplacesAnOldFile) {
  Configure("driver 0 format=64x48x24");
  HWND window = Connected();
  TempFile file;
  {
    HANDLE old = CreateFileW(file.path().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(old, INVALID_HANDLE_VALUE);
    std::vector<char> junk(100000, 'x');
    DWORD written = 0;
    WriteFile(old, junk.data(), static_cast<DWORD>(junk.size()), &written, nullptr);
    CloseHandle(old);
  }
  EXPECT_TRUE(Send(window, WM_CAP_FILE_SAVEDIBW, 0, reinterpret_cast<LPARAM>(file.path().c_str())));
  const std::vector<uint8_t> bytes = file.Read();
  EXPECT_EQ(bytes.size(), 14u + 40 + 64 * 3 * 48);
  EXPECT_EQ(CheckFrame(bytes.data() + 14, static_cast<int64_t>(bytes.size()) - 14), FrameVerdict::kOk);
  EXPECT_TRUE(Callbacks().frames.empty()) << "a snapshot is not a preview frame";
}

TEST_F(SimCamSnapshot, FailuresWriteNothingAndAreReported) {
  HWND window = NewCaptureWindow();
  TempFile file;
  EXPECT_FALSE(Send(window, WM_CAP_FILE_SAVEDIBA, 0, reinterpret_cast<LPARAM>(file.ansi().c_str())));
  EXPECT_FALSE(file.Exists()) << "no driver, no file";
  ASSERT_EQ(Callbacks().errors.size(), 1u);
  EXPECT_EQ(Callbacks().errors[0].id, SIMCAM_ERROR_NO_FRAME);

  ASSERT_TRUE(Send(window, WM_CAP_DRIVER_CONNECT, 0));
  const std::string unwritable = file.ansi() + "\\no such folder\\frame.bmp";
  EXPECT_FALSE(Send(window, WM_CAP_FILE_SAVEDIBA, 0, reinterpret_cast<LPARAM>(unwritable.c_str())));
  ASSERT_EQ(Callbacks().errors.size(), 2u);
  EXPECT_EQ(Callbacks().errors[1].id, SIMCAM_ERROR_SAVE);
  EXPECT_NE(Callbacks().errors[1].text.find("frame.bmp"), std::string::npos);
}

}  // namespace
}  // namespace zu::test
