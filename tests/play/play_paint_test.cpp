// What the play control paints, read back pixel by pixel from DIB sections and from its window.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "play/frame_layout.h"
#include "tests/play/play_test_support.h"

namespace zu::test {
namespace {

using Microsoft::WRL::ComPtr;

constexpr uint32_t kMarker = 0xFF00FF;

Bytes PatternFrame(int width, int height, uint16_t bits, uint32_t clr_used = 0) {
  return BuildFrame(width, height, bits, clr_used, [=](int x, int y) {
    const uint32_t v = PatternPixel(bits, x, y);
    return clr_used != 0 ? v % clr_used : v;
  });
}

Bytes QuadrantFrame(int width, int height, uint16_t bits) {
  return BuildFrame(width, height, bits, 0, [=](int x, int y) {
    return QuadrantPixel(bits, (x >= width / 2 ? 1 : 0) + (y >= std::abs(height) / 2 ? 2 : 0));
  });
}

// Every pixel of the canvas is the frame's pixel at `origin` + (x, y).
::testing::AssertionResult ShowsFrameAt(const Canvas& canvas, const Bytes& frame, POINT origin) {
  int wrong = 0;
  std::string first;
  for (int y = 0; y < canvas.height(); ++y) {
    for (int x = 0; x < canvas.width(); ++x) {
      const uint32_t want = DrawnColor(frame, origin.x + x, origin.y + y);
      if (canvas.At(x, y) != want && wrong++ == 0) {
        char text[96];
        std::snprintf(text, sizeof text, "(%d, %d) is %06X where %06X was expected", x, y, canvas.At(x, y), want);
        first = text;
      }
    }
  }
  if (wrong == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << wrong << " pixels differ; first " << first;
}

// ---------------------------------------------------------------- bit counts and modes

struct Depth {
  uint16_t bits;
  uint32_t clr_used;
};
std::string DepthName(const ::testing::TestParamInfo<Depth>& info) {
  return std::to_string(info.param.bits) + "_bit" +
         (info.param.clr_used ? "_" + std::to_string(info.param.clr_used) + "_colours" : "");
}
const Depth kDepths[] = {{1, 0}, {4, 0}, {8, 0}, {8, 10}, {16, 0}, {24, 0}, {32, 0}};

class PaintDepth : public PlayControlTest, public ::testing::WithParamInterface<Depth> {};

// 231 x 121 in 200 x 100: both differences odd. The source rectangle's y counts from the bottom
// row, so of the 21 rows cut, the 11 at the top go.
TEST_P(PaintDepth, ClipShowsTheCentrePixelForPixelWithColoursFromTheTable) {
  OpenWindow();
  const Bytes frame = PatternFrame(231, 121, GetParam().bits, GetParam().clr_used);
  ASSERT_EQ(Refresh(frame), 1);
  Canvas canvas(kWidth, kHeight);
  Paint(canvas);
  EXPECT_TRUE(ShowsFrameAt(canvas, frame, POINT{15, 11}));
}

TEST_P(PaintDepth, ZoomAndStretchScaleTheWholeFrameUpright) {
  OpenWindow();
  const uint16_t bits = GetParam().bits;
  const Bytes frame = QuadrantFrame(8, 6, bits);
  ASSERT_EQ(Refresh(frame), 1);
  for (LONG mode : {vpySizeZOOM, vpySizeSTRETCH}) {
    SCOPED_TRACE(mode == vpySizeZOOM ? "ZOOM" : "STRETCH");
    play_->put_SizeMode(static_cast<VpySizeMode>(mode));
    Canvas canvas(kWidth, kHeight);
    Paint(canvas);
    const FrameRect d = ComputeFrameLayout(8, 6, mode, FrameRect{0, 0, kWidth, kHeight}).destination;
    const int dw = d.right - d.left, dh = d.bottom - d.top;
    for (int q = 0; q < 4; ++q) {
      const int x = d.left + (2 * (q % 2) + 1) * dw / 4, y = d.top + (2 * (q / 2) + 1) * dh / 4;
      EXPECT_EQ(canvas.At(x, y), DrawnColor(frame, (q % 2) * 4, (q / 2) * 3)) << "quadrant " << q;
    }
    if (d.left > 10) {
      EXPECT_EQ(canvas.At(d.left - 5, kHeight / 2), kBackRgb);
      EXPECT_EQ(canvas.At(d.right + 5, kHeight / 2), kBackRgb);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Depths, PaintDepth, ::testing::ValuesIn(kDepths), DepthName);

// Shrinking must drop columns, not merge them: red and green merged by the DC's default mode
// come out black. The DC keeps the stretching mode its owner gave it.
TEST_F(PlayControlTest, ShrinkingKeepsTheFramesColoursAndTheCallersStretchMode) {
  OpenWindow();
  const Bytes frame = BuildFrame(2 * kWidth, 4, 24, 0, [](int x, int) {
    return x % 2 ? 0xFF0000u : 0x00FF00u;
  });
  ASSERT_EQ(Refresh(frame), 1);
  play_->put_SizeMode(vpySizeSTRETCH);
  Canvas canvas(kWidth, kHeight);
  const int callers_mode = GetStretchBltMode(canvas.dc());
  ASSERT_NE(callers_mode, COLORONCOLOR);
  Paint(canvas);
  int other = 0;
  for (int y = 2; y < kHeight - 2; ++y) {
    for (int x = 2; x < kWidth - 2; ++x) {
      const uint32_t c = canvas.At(x, y);
      if (c != DrawnColor(frame, 0, 0) && c != DrawnColor(frame, 1, 0)) ++other;
    }
  }
  EXPECT_EQ(other, 0) << "pixels in neither of the frame's colours";
  EXPECT_EQ(GetStretchBltMode(canvas.dc()), callers_mode);
}

// 150 x 101 cuts one row: the source starts at (0, 0) unstretched, the case in which GDI takes a
// top-down frame's source from its top.
TEST_F(PlayControlTest, TopDownFramesDrawAsTheirBottomUpTwins) {
  OpenWindow();
  const SIZE sizes[] = {{231, 121}, {150, 101}, {150, 60}};
  for (int i = 0; i < 9; ++i) {
    const SIZE size = sizes[i / 3];
    const LONG mode = i % 3;
    SCOPED_TRACE(testing::Message() << size.cx << " x " << size.cy << " in mode " << mode);
    const Bytes up = PatternFrame(size.cx, size.cy, 24), down = PatternFrame(size.cx, -size.cy, 24);
    play_->put_SizeMode(static_cast<VpySizeMode>(mode));
    Canvas bottom_up(kWidth, kHeight), top_down(kWidth, kHeight);
    ASSERT_EQ(Refresh(up), 1);
    Paint(bottom_up);
    ASSERT_EQ(Refresh(down), 1);
    Paint(top_down);
    int differ = 0;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) differ += bottom_up.At(x, y) != top_down.At(x, y);
    }
    EXPECT_EQ(differ, 0);
  }
  const Bytes down = PatternFrame(231, -121, 24);
  play_->put_SizeMode(vpySizeCLIP);
  ASSERT_EQ(Refresh(down), 1);
  Canvas canvas(kWidth, kHeight);
  Paint(canvas);
  EXPECT_TRUE(ShowsFrameAt(canvas, down, POINT{15, 11}));
}

// ---------------------------------------------------------------- around the frame

TEST_F(PlayControlTest, BackgroundAndSunkenEdgeSurroundThePicture) {
  OpenWindow();
  const Bytes frame = PatternFrame(40, 20, 24);
  ASSERT_EQ(Refresh(frame), 1);
  Canvas canvas(kWidth, kHeight);
  Paint(canvas);
  EXPECT_EQ(canvas.At(80, 40), DrawnColor(frame, 0, 0));
  EXPECT_EQ(canvas.At(119, 59), DrawnColor(frame, 39, 19));
  EXPECT_EQ(canvas.At(79, 40), kBackRgb);
  EXPECT_EQ(canvas.At(120, 59), kBackRgb);
  EXPECT_EQ(canvas.At(2, 2), kBackRgb);
  EXPECT_EQ(canvas.At(0, 50), SysRgb(COLOR_BTNSHADOW));
  EXPECT_EQ(canvas.At(100, 0), SysRgb(COLOR_BTNSHADOW));
  EXPECT_EQ(canvas.At(1, 50), SysRgb(COLOR_3DDKSHADOW));
  EXPECT_EQ(canvas.At(199, 50), SysRgb(COLOR_BTNHIGHLIGHT));
  EXPECT_EQ(canvas.At(100, 99), SysRgb(COLOR_BTNHIGHLIGHT));
  EXPECT_EQ(canvas.At(198, 50), SysRgb(COLOR_3DLIGHT));
  const RECT drawn = control()->PictureRect();
  EXPECT_TRUE(drawn.left == 80 && drawn.top == 40 && drawn.right == 120 && drawn.bottom == 60) << drawn;
}

// After a resize the old picture rectangle is left to the window's erase.
TEST_F(PlayControlTest, BackgroundLeavesOutTheLastPictureRectangle) {
  OpenWindow();
  const Bytes frame = PatternFrame(40, 20, 24);
  ASSERT_EQ(Refresh(frame), 1);
  Canvas first(kWidth, kHeight);
  Paint(first);
  SetWindowPos(window_, nullptr, 0, 0, 300, kHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  Canvas canvas(300, kHeight, kMarker);
  Paint(canvas);
  EXPECT_EQ(canvas.At(100, 50), kMarker);
  EXPECT_EQ(canvas.At(130, 40), DrawnColor(frame, 0, 0));
  EXPECT_EQ(canvas.At(20, 50), kBackRgb);
  EXPECT_EQ(canvas.At(200, 50), kBackRgb);
}

HBITMAP TwoToneBitmap(uint32_t top, uint32_t bottom) {
  BITMAPINFO info = {};
  info.bmiHeader = {sizeof info.bmiHeader, 4, -4, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  const HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  for (int i = 0; bitmap != nullptr && i < 16; ++i) static_cast<uint32_t*>(bits)[i] = i < 8 ? top : bottom;
  return bitmap;
}

ComPtr<IPictureDisp> PictureOf(HBITMAP bitmap) {
  PICTDESC description = {};
  description.cbSizeofstruct = sizeof description;
  description.picType = PICTYPE_BITMAP;
  description.bmp.hbitmap = bitmap;
  ComPtr<IPictureDisp> picture;
  EXPECT_EQ(OleCreatePictureIndirect(&description, IID_IPictureDisp, TRUE,
                                     reinterpret_cast<void**>(picture.GetAddressOf())),
            S_OK);
  return picture;
}

TEST_F(PlayControlTest, BackgroundPictureIsStretchedUprightOverTheBoundsUnderTheFrame) {
  OpenWindow();
  ComPtr<IPictureDisp> picture = PictureOf(TwoToneBitmap(0xFF0000, 0x0000FF));
  ASSERT_EQ(play_->putref_Picture(picture.Get()), S_OK);
  ComPtr<IPictureDisp> held;
  ASSERT_EQ(play_->get_Picture(&held), S_OK);
  EXPECT_EQ(held.Get(), picture.Get());

  Canvas empty(kWidth, kHeight);
  Paint(empty);
  EXPECT_EQ(empty.At(0, 0), 0xFF0000u) << "over the edge too";
  EXPECT_EQ(empty.At(kWidth - 1, 20), 0xFF0000u);
  EXPECT_EQ(empty.At(0, kHeight - 1), 0x0000FFu);
  EXPECT_EQ(empty.At(kWidth - 1, 80), 0x0000FFu);

  const Bytes frame = PatternFrame(40, 20, 24);
  ASSERT_EQ(Refresh(frame), 1);
  Canvas framed(kWidth, kHeight);
  Paint(framed);
  EXPECT_EQ(framed.At(100, 50), DrawnColor(frame, 20, 10));
  EXPECT_EQ(framed.At(10, 10), 0xFF0000u);
  EXPECT_EQ(framed.At(10, 90), 0x0000FFu);
}

// A picture with a stream form, standing in for picture objects whose copy is observable.
class FakePicture : public IPictureDisp, public IPersistStream {
 public:
  FakePicture(Bytes stream, bool offer_stream) : stream_(std::move(stream)), offer_stream_(offer_stream) {}
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IPictureDisp) {
      *out = static_cast<IPictureDisp*>(this);
    } else if (offer_stream_ && (riid == IID_IPersist || riid == IID_IPersistStream)) {
      *out = static_cast<IPersistStream*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
  STDMETHODIMP_(ULONG) Release() override { return --references; }
  STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP GetClassID(CLSID*) override { return E_NOTIMPL; }
  STDMETHODIMP IsDirty() override { return S_FALSE; }
  STDMETHODIMP Load(IStream*) override { return E_NOTIMPL; }
  STDMETHODIMP Save(IStream* stream, BOOL) override {
    ++saves;
    return stream->Write(stream_.data(), static_cast<ULONG>(stream_.size()), nullptr);
  }
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override {
    size->QuadPart = stream_.size();
    return S_OK;
  }
  ULONG references = 1;
  int saves = 0;

 private:
  Bytes stream_;
  bool offer_stream_;
};

// A bitmap file: green on top, blue below.
Bytes TwoToneBitmapFile() {
  const Bytes dib = BuildFrame(2, 2, 24, 0, [](int, int y) { return y == 0 ? 0x00FF00u : 0x0000FFu; });
  Bytes file = {'B', 'M'};
  const uint32_t fields[] = {static_cast<uint32_t>(14 + dib.size()), 0, 14 + 40};
  for (uint32_t v : fields) for (int i = 0; i < 4; ++i) file.push_back(static_cast<uint8_t>(v >> (8 * i)));
  file.insert(file.end(), dib.begin(), dib.end());
  return file;
}

TEST_F(PlayControlTest, PictureByValueKeepsACopyMadeThroughTheStreamOrNothing) {
  OpenWindow();
  FakePicture original(TwoToneBitmapFile(), true);
  ASSERT_EQ(play_->put_Picture(&original), S_OK);
  EXPECT_EQ(original.saves, 1);
  EXPECT_EQ(original.references, 1u) << "the original is not kept";
  ComPtr<IPictureDisp> copy;
  ASSERT_EQ(play_->get_Picture(&copy), S_OK);
  ASSERT_NE(copy, nullptr);
  Canvas canvas(kWidth, kHeight);
  Paint(canvas);
  EXPECT_EQ(canvas.At(100, 10), 0x00FF00u);
  EXPECT_EQ(canvas.At(100, 90), 0x0000FFu);

  FakePicture streamless(TwoToneBitmapFile(), false);
  ASSERT_EQ(play_->put_Picture(&streamless), S_OK);
  ASSERT_EQ(play_->get_Picture(&copy), S_OK);
  EXPECT_EQ(copy, nullptr);
  EXPECT_EQ(streamless.references, 1u);
}

// ---------------------------------------------------------------- modes and places

// Pixels of the control's icon (shell/make_control_images.py), from its top-left corner.
void ExpectIconAt(const Canvas& canvas, int left, int top) {
  EXPECT_EQ(canvas.At(left, top), kBackRgb) << "transparent corner";
  EXPECT_EQ(canvas.At(left + 1, top + 15), 0x000000u) << "frame line";
  EXPECT_EQ(canvas.At(left + 3, top + 15), 0x000080u) << "navy";
  EXPECT_EQ(canvas.At(left + 4, top + 7), 0xC0C0C0u) << "sprocket hole";
  EXPECT_EQ(canvas.At(left + 13, top + 15), 0xFFFF00u) << "play triangle";
  EXPECT_EQ(canvas.At(left + 31, top + 31), kBackRgb) << "transparent corner";
}

TEST_F(PlayControlTest, DesignModeShowsTheIconAndKeepsTheFrameForLater) {
  OpenWindow();
  const Bytes frame = PatternFrame(kWidth, kHeight, 24);
  ASSERT_EQ(Refresh(frame), 1);
  Canvas shown(kWidth, kHeight);
  Paint(shown);
  ambient_.user_mode = false;
  Canvas design(kWidth, kHeight);
  Paint(design);
  ExpectIconAt(design, 8, 8);
  EXPECT_EQ(design.At(100, 70), kBackRgb) << "no frame";
  const RECT none = control()->PictureRect();
  EXPECT_TRUE(none.left == 0 && none.top == 0 && none.right == 0 && none.bottom == 0) << none;

  control()->SetAmbientProperties(nullptr);
  Canvas unsited(kWidth, kHeight);
  Paint(unsited);
  ExpectIconAt(unsited, 8, 8);

  control()->SetAmbientProperties(&ambient_);
  ambient_.user_mode = true;
  Canvas again(kWidth, kHeight);
  Paint(again);
  EXPECT_TRUE(ShowsFrameAt(again, frame, POINT{0, 0}));
}

TEST_F(PlayControlTest, UserModeWithoutFrameShowsNoIcon) {
  OpenWindow();
  Canvas canvas(kWidth, kHeight);
  Paint(canvas);
  EXPECT_EQ(canvas.At(8 + 13, 8 + 15), kBackRgb);
  EXPECT_EQ(canvas.At(8 + 3, 8 + 15), kBackRgb);
}

// Printing and metafiles: no client area to read, no picture rectangle to keep.
TEST_F(PlayControlTest, WithoutWindowTheFrameIsPlacedInTheBoundsItIsGiven) {
  OpenWindow();
  const Bytes frame = PatternFrame(40, 20, 24);
  ASSERT_EQ(Refresh(frame), 1);
  UpdateWindow(window_);
  control()->DestroyControlWindow();
  window_ = nullptr;

  Canvas canvas(300, 200, kMarker);
  EXPECT_EQ(control()->OnDraw(canvas.dc(), RECT{50, 60, 250, 160}), S_OK);
  GdiFlush();
  EXPECT_EQ(canvas.At(130, 100), DrawnColor(frame, 0, 0));
  EXPECT_EQ(canvas.At(169, 119), DrawnColor(frame, 39, 19));
  EXPECT_EQ(canvas.At(60, 150), kBackRgb);
  EXPECT_EQ(canvas.At(10, 10), kMarker) << "outside the bounds";
  const RECT kept = control()->PictureRect();
  EXPECT_TRUE(kept.left == 80 && kept.top == 40 && kept.right == 120 && kept.bottom == 60) << kept;

  // Cut by the bounds on both axes; nothing may spill over them.
  const Bytes large = PatternFrame(240, -130, 24);
  ASSERT_EQ(Refresh(large), 1);
  canvas.Fill(kMarker);
  control()->OnDraw(canvas.dc(), RECT{50, 60, 250, 160});
  GdiFlush();
  EXPECT_EQ(canvas.At(50, 60), DrawnColor(large, 20, 15));
  EXPECT_EQ(canvas.At(249, 159), DrawnColor(large, 219, 114));
  for (POINT outside : {POINT{49, 100}, POINT{250, 100}, POINT{150, 59}, POINT{150, 160}}) {
    EXPECT_EQ(canvas.At(outside.x, outside.y), kMarker) << outside.x << ", " << outside.y;
  }

  ambient_.user_mode = false;
  canvas.Fill(kMarker);
  control()->OnDraw(canvas.dc(), RECT{50, 60, 250, 160});
  GdiFlush();
  ExpectIconAt(canvas, 58, 68);
  EXPECT_EQ(control()->PictureRect().right, 120);
}

TEST_F(PlayControlTest, PaintsIntoItsOwnWindow) {
  OpenWindow();
  const Bytes frame = PatternFrame(40, 20, 8);
  ASSERT_EQ(Refresh(frame), 1);
  UpdateWindow(window_);
  Canvas screen(kWidth, kHeight);
  screen.CopyFrom(window_);
  EXPECT_EQ(screen.At(80, 40), DrawnColor(frame, 0, 0));
  EXPECT_EQ(screen.At(119, 59), DrawnColor(frame, 39, 19));
  EXPECT_EQ(screen.At(100, 45), DrawnColor(frame, 20, 5));
  EXPECT_EQ(screen.At(40, 50), kBackRgb);
  EXPECT_EQ(screen.At(0, 50), SysRgb(COLOR_BTNSHADOW));

  ambient_.user_mode = false;
  InvalidateRect(window_, nullptr, FALSE);
  UpdateWindow(window_);
  screen.CopyFrom(window_);
  ExpectIconAt(screen, 8, 8);
}

}  // namespace
}  // namespace zu::test
