// What the capture control paints under its capture window, drawn into a DIB section and read
// back by pixel: the background, the sunken edge, the picture, and the icon at design time or
// while there is no capture window.
#include <windows.h>

#include <gtest/gtest.h>

#include "tests/capture/capture_test_support.h"
#include "tests/shell/test_pictures.h"
#include "tests/support/test_container.h"

namespace zu::test {
namespace {

constexpr int kSize = 100;
constexpr COLORREF kBack = RGB(10, 200, 30);
// A pixel of the icon's red recording light (shell/make_control_images.py), drawn 8 pixels in.
constexpr POINT kIconLight = {8 + 26, 8 + 11};

class Paint : public CaptureFixture {
 protected:
  // Draws the control as the framework does and reads the pixels back.
  void Draw() {
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), kSize, -kSize, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(bitmap, nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT bounds = {0, 0, kSize, kSize};
    EXPECT_EQ(self_->OnDraw(dc, bounds), S_OK);
    GdiFlush();
    const auto* pixels = static_cast<const uint32_t*>(bits);
    pixels_.assign(pixels, pixels + kSize * kSize);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
  COLORREF At(POINT p) const {
    const uint32_t bgr = pixels_[p.y * kSize + p.x];
    return RGB((bgr >> 16) & 0xFF, (bgr >> 8) & 0xFF, bgr & 0xFF);
  }

  std::vector<uint32_t> pixels_;
};

TEST_F(Paint, BackgroundEdgeAndIconAtDesignTime) {
  control_->put_BackColor(kBack);
  Draw();
  EXPECT_EQ(At({50, 90}), kBack);
  EXPECT_EQ(At({0, 0}), GetSysColor(COLOR_BTNSHADOW)) << "the sunken edge's outer shadow";
  EXPECT_EQ(At(kIconLight), RGB(255, 0, 0)) << "no site: design time, the icon shows";
}

TEST_F(Paint, AtRunTimeTheIconShowsOnlyWithoutACaptureWindow) {
  control_->put_BackColor(kBack);
  TestContainer container;
  ASSERT_EQ(container.Attach(control_.Get()), S_OK);
  ASSERT_EQ(container.SetClientSite(), S_OK);  // ambient UserMode true
  Configure("");                               // no driver: no capture window
  ASSERT_NE(MakeWindow(), nullptr);
  MessageBoxes();
  Draw();
  EXPECT_EQ(At(kIconLight), RGB(255, 0, 0));
  DestroyWindowOfControl();

  Configure("driver 0");
  ASSERT_NE(MakeWindow(), nullptr);
  ASSERT_NE(self_->CaptureWindowHandle(), nullptr);
  Draw();
  EXPECT_EQ(At(kIconLight), kBack);
  DestroyWindowOfControl();
  container.ambients().user_mode = false;
  ASSERT_NE(MakeWindow(), nullptr);
  Draw();
  EXPECT_EQ(At(kIconLight), RGB(255, 0, 0)) << "design time, even with a capture window";
  DestroyWindowOfControl();
  container.ClearClientSite();
}

TEST_F(Paint, ThePictureCoversTheWholeBoundsEdgeIncluded) {
  control_->put_BackColor(kBack);
  Microsoft::WRL::ComPtr<IPictureDisp> picture = MakePicture(4, 4);
  ASSERT_TRUE(picture);
  ASSERT_EQ(control_->putref_Picture(picture.Get()), S_OK);
  Draw();
  EXPECT_NE(At({50, 90}), kBack);
  EXPECT_EQ(At({0, 0}), At({50, 90})) << "the picture lies over the edge";
}

}  // namespace
}  // namespace zu::test
