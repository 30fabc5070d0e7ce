// The play control's state, frame intake and what a new frame invalidates.
#include <gtest/gtest.h>

#include <cwchar>
#include <functional>
#include <vector>

#include "codec/png_frame_encoder.h"
#include "tests/play/play_test_support.h"

namespace zu::test {
namespace {

using Microsoft::WRL::ComPtr;

Bytes Pattern24(int width, int height) {
  return BuildFrame(width, height, 24, 0, [](int x, int y) { return PatternPixel(24, x, y); });
}

Bytes Png(const Bytes& frame) {
  PngFrameEncoder encoder;
  int32_t length = 0;
  FrameBlock stream(encoder.EncodeFrame(frame.data(), static_cast<int32_t>(frame.size()), &length));
  return stream ? Bytes(stream.get(), stream.get() + length) : Bytes();
}

Bytes WithHeader(Bytes frame, void (*change)(BitmapHeader&)) {
  BitmapHeader header = ReadBitmapHeader(frame.data());
  change(header);
  WriteBitmapHeader(header, frame.data());
  return frame;
}

// ---------------------------------------------------------------- properties

TEST_F(PlayControlTest, PropertiesStartAtDefaultsAndReplaceOutOfRangeValues) {
  ComPtr<IZuVideoPlayCtl> fresh;
  ASSERT_EQ(ZuVideoPlayCtl::Create(IID_PPV_ARGS(&fresh)), S_OK);
  VpyFrameFormat format = vpyFormatPNG;
  VpySizeMode mode = vpySizeZOOM;
  OLE_COLOR color = 0;
  LONG version = 0;
  ComPtr<IPictureDisp> picture;
  EXPECT_EQ(fresh->get_FrameFormat(&format), S_OK);
  EXPECT_EQ(format, vpyFormatBMP);
  EXPECT_EQ(fresh->get_SizeMode(&mode), S_OK);
  EXPECT_EQ(mode, vpySizeCLIP);
  EXPECT_EQ(fresh->get_BackColor(&color), S_OK);
  EXPECT_EQ(color, 0x8000000Fu);
  EXPECT_EQ(fresh->get_Picture(&picture), S_OK);
  EXPECT_EQ(picture, nullptr);
  EXPECT_EQ(fresh->put_Version(7), S_OK);
  EXPECT_EQ(fresh->get_Version(&version), S_OK);
  EXPECT_EQ(version, 65536);

  const struct { LONG put, size_mode, frame_format; } rows[] = {
      {2, 2, 0}, {1, 1, 1}, {3, 0, 0}, {-1, 0, 0}, {0x7FFFFFFF, 0, 0}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.put);
    EXPECT_EQ(fresh->put_SizeMode(static_cast<VpySizeMode>(row.put)), S_OK);
    EXPECT_EQ(fresh->put_FrameFormat(static_cast<VpyFrameFormat>(row.put)), S_OK);
    fresh->get_SizeMode(&mode);
    fresh->get_FrameFormat(&format);
    EXPECT_EQ(mode, row.size_mode);
    EXPECT_EQ(format, row.frame_format);
  }
}

TEST_F(PlayControlTest, MethodsRefuseMissingOutPointers) {
  VARIANT empty;
  VariantInit(&empty);
  FrameString text(Pattern24(4, 4));
  EXPECT_EQ(play_->get_FrameFormat(nullptr), E_POINTER);
  EXPECT_EQ(play_->get_SizeMode(nullptr), E_POINTER);
  EXPECT_EQ(play_->get_BackColor(nullptr), E_POINTER);
  EXPECT_EQ(play_->get_Picture(nullptr), E_POINTER);
  EXPECT_EQ(play_->get_Version(nullptr), E_POINTER);
  EXPECT_EQ(play_->RefreshFrame(text.get(), text.count(), nullptr), E_POINTER);
  EXPECT_EQ(play_->RefreshFrameEx(empty, text.count(), nullptr), E_POINTER);
  EXPECT_EQ(play_->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
  EXPECT_EQ(ZuVideoPlayCtl::Create(IID_IUnknown, nullptr), E_POINTER);
  EXPECT_EQ(control()->CurrentFrameSize(), 0) << "a call refused for its out-pointer takes no frame";
}

// ---------------------------------------------------------------- RefreshFrame

TEST_F(PlayControlTest, RefreshFrameTakesOnlyFramesThatCheckAndFreesThePreviousOneFirst) {
  const Bytes good = Pattern24(5, 3);
  const Bytes png = Png(good);
  ASSERT_FALSE(png.empty());
  enum Text { kString, kNullString, kNullPointer };
  struct Case {
    const char* name;
    LONG format;
    Bytes bytes;
    std::function<LONG(LONG)> count;  // from the byte count
    Text text;
    VARIANT_BOOL flag;
    int32_t kept;
  };
  auto same = [](LONG n) { return n; };
  const std::vector<Case> cases = {
      {"bmp", vpyFormatBMP, good, same, kString, 1, static_cast<int32_t>(good.size())},
      {"bmp_8_bit_16_colours", vpyFormatBMP, BuildFrame(4, 4, 8, 16, [](int x, int) { return x; }),
       same, kString, 1, 40 + 64 + 16},
      {"bmp_top_down", vpyFormatBMP, Pattern24(5, -3), same, kString, 1, static_cast<int32_t>(good.size())},
      {"png", vpyFormatPNG, png, same, kString, 1, static_cast<int32_t>(good.size())},
      {"count_up_to_storage", vpyFormatBMP, good, [](LONG n) { return 2 * n; }, kString, 1,
       static_cast<int32_t>(2 * good.size())},
      {"bmp_bytes_as_png", vpyFormatPNG, good, same, kString, 0, 0},
      {"png_bytes_as_bmp", vpyFormatBMP, png, same, kString, 0, 0},
      {"rows_cut_short", vpyFormatBMP, good, [](LONG n) { return n - 1; }, kString, 0, 0},
      {"png_cut_short", vpyFormatPNG, png, [](LONG n) { return n - 1; }, kString, 0, 0},
      {"count_past_storage", vpyFormatBMP, good, [](LONG n) { return 2 * n + 1; }, kString, 0, 0},
      {"negative_count", vpyFormatBMP, good, [](LONG) { return -1; }, kString, 0, 0},
      {"zero_count", vpyFormatBMP, good, [](LONG) { return 0; }, kString, 0, 0},
      {"compressed", vpyFormatBMP, WithHeader(good, [](BitmapHeader& h) { h.biCompression = 1; }),
       same, kString, 0, 0},
      {"two_bit_pixels", vpyFormatBMP, WithHeader(good, [](BitmapHeader& h) { h.biBitCount = 2; }),
       same, kString, 0, 0},
      {"colours_beyond_bit_count",
       vpyFormatBMP, BuildFrame(4, 4, 4, 17, [](int, int) { return 1; }), same, kString, 0, 0},
      {"null_string", vpyFormatBMP, good, same, kNullString, 0, 0},
      {"null_pointer", vpyFormatBMP, good, same, kNullPointer, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    play_->put_FrameFormat(vpyFormatBMP);
    ASSERT_EQ(Refresh(good), 1) << "the frame that should be gone afterwards";
    play_->put_FrameFormat(static_cast<VpyFrameFormat>(c.format));
    FrameString text(c.bytes);
    BSTR none = nullptr;
    BSTR* pointer = c.text == kString ? text.get() : c.text == kNullString ? &none : nullptr;
    VARIANT_BOOL flag = 7;
    const HRESULT hr = play_->RefreshFrame(pointer, c.count(text.count()), &flag);
    EXPECT_EQ(flag, c.flag) << "the success flag is 1, not VARIANT_TRUE";
    EXPECT_EQ(hr, c.flag == 1 ? S_OK : S_FALSE);
    EXPECT_EQ(control()->CurrentFrameSize(), c.kept);
  }
}

// ---------------------------------------------------------------- RefreshFrameEx

TEST_F(PlayControlTest, RefreshFrameExFollowsReferencesToAStringAndIgnoresEverythingElse) {
  const Bytes good = Pattern24(5, 3);
  const LONG n = static_cast<LONG>(good.size());
  FrameString text(good);
  FrameString damaged(Bytes(good.begin(), good.begin() + 39));
  BSTR null_string = nullptr;
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(good.size()));
  ASSERT_NE(array, nullptr);

  auto bstr = [](BSTR* s) { VARIANT v; v.vt = VT_BSTR; v.bstrVal = *s; return v; };
  auto ref_bstr = [](BSTR* s) { VARIANT v; v.vt = VT_BYREF | VT_BSTR; v.pbstrVal = s; return v; };
  auto ref_variant = [](VARIANT* to) { VARIANT v; v.vt = VT_BYREF | VT_VARIANT; v.pvarVal = to; return v; };
  VARIANT inner = bstr(text.get()), by_ref = ref_bstr(text.get());
  VARIANT middle = ref_variant(&by_ref);
  VARIANT loop;
  loop.vt = VT_BYREF | VT_VARIANT;
  loop.pvarVal = &loop;
  VARIANT bytes;
  bytes.vt = VT_ARRAY | VT_UI1;
  bytes.parray = array;
  VARIANT number;
  number.vt = VT_I4;
  number.lVal = n;
  VARIANT empty;
  VariantInit(&empty);

  constexpr VARIANT_BOOL kUntouched = 7;
  struct Case {
    const char* name;
    VARIANT value;
    VARIANT_BOOL flag;
    bool frame_after;
  };
  const Case cases[] = {
      {"string", bstr(text.get()), 1, true},
      {"string_by_reference", ref_bstr(text.get()), 1, true},
      {"variant_by_reference", ref_variant(&inner), 1, true},
      {"chain_of_references", ref_variant(&middle), 1, true},
      {"damaged_string", bstr(damaged.get()), 0, false},
      {"null_string_by_reference", ref_bstr(&null_string), 0, false},
      {"byte_array", bytes, kUntouched, true},
      {"null_string_reference", ref_bstr(nullptr), kUntouched, true},
      {"null_variant_reference", ref_variant(nullptr), kUntouched, true},
      {"reference_to_itself", loop, kUntouched, true},
      {"number", number, kUntouched, true},
      {"empty", empty, kUntouched, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(Refresh(good), 1);
    VARIANT_BOOL flag = kUntouched;
    EXPECT_EQ(play_->RefreshFrameEx(c.value, n, &flag), S_OK);
    EXPECT_EQ(flag, c.flag);
    EXPECT_EQ(control()->CurrentFrameSize(), c.frame_after ? n : 0);
  }
  SafeArrayDestroy(array);
}

// ---------------------------------------------------------------- invalidation

TEST_F(PlayControlTest, NewLayoutsInvalidateTheWholeWindowAndSameLayoutsOnlyThePicture) {
  OpenWindow();  // 200 x 100
  EraseCounter erases(window_);
  const RECT whole = {0, 0, kWidth, kHeight};
  const struct { const char* step; Bytes frame; RECT expected; } steps[] = {
      {"first frame", Pattern24(40, 20), whole},
      {"same size", Pattern24(40, 20), {80, 40, 120, 60}},
      {"same size, top-down", Pattern24(40, -20), {80, 40, 120, 60}},
      {"new size", Pattern24(60, 30), whole},
      {"new size again", Pattern24(60, 30), {70, 35, 130, 65}},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.step);
    ASSERT_EQ(Refresh(s.frame), 1);
    EXPECT_TRUE(UpdateRegionIs(window_, s.expected));
    UpdateWindow(window_);
  }
  EXPECT_EQ(erases.count(), 0) << "frames invalidate without erasing";

  SCOPED_TRACE("refused frame");
  ASSERT_EQ(Refresh(Bytes(39, 0)), 0);
  EXPECT_TRUE(UpdateRegionIs(window_, RECT{}));
}

TEST_F(PlayControlTest, ResizeAndSizeModeChangesMakeTheNextFrameInvalidateEverything) {
  OpenWindow();
  const Bytes frame = Pattern24(40, 20);
  ASSERT_EQ(Refresh(frame), 1);
  UpdateWindow(window_);
  EraseCounter erases(window_);
  SetWindowPos(window_, nullptr, 0, 0, 220, 100, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  ASSERT_EQ(Refresh(frame), 1);
  EXPECT_TRUE(UpdateRegionIs(window_, RECT{0, 0, 220, 100}));
  UpdateWindow(window_);
  EXPECT_EQ(erases.count(), 1) << "the class styles erase on resize";
  ASSERT_EQ(Refresh(frame), 1);
  EXPECT_TRUE(UpdateRegionIs(window_, RECT{90, 40, 130, 60}));
  UpdateWindow(window_);

  play_->put_SizeMode(vpySizeCLIP);
  EXPECT_EQ(control()->PictureRect().right, 130) << "putting the current mode changes nothing";
  play_->put_SizeMode(vpySizeZOOM);
  EXPECT_EQ(control()->PictureRect().right, 0);
  ASSERT_EQ(Refresh(frame), 1);
  EXPECT_TRUE(UpdateRegionIs(window_, RECT{0, 0, 220, 100}));
}

TEST_F(PlayControlTest, BackColorRepaintsTheWholeWindowWithErasing) {
  OpenWindow();
  EraseCounter erases(window_);
  play_->put_BackColor(RGB(1, 2, 3));
  EXPECT_TRUE(UpdateRegionIs(window_, RECT{0, 0, kWidth, kHeight}));
  UpdateWindow(window_);
  EXPECT_EQ(erases.count(), 1);
}

// ---------------------------------------------------------------- window

TEST_F(PlayControlTest, WindowIsAChildOfOneClassRegisteredOncePerProcess) {
  OpenWindow();
  wchar_t name[64] = {};
  GetClassNameW(window_, name, 64);
  EXPECT_EQ(std::wcslen(name), 12u) << "ATL:%8.8X";
  EXPECT_EQ(std::wcsncmp(name, L"ATL:", 4), 0);
  EXPECT_EQ(std::wcsspn(name + 4, L"0123456789ABCDEF"), 8u);
  EXPECT_EQ(GetClassLongPtrW(window_, GCL_STYLE), CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS);
  EXPECT_EQ(GetClassLongPtrW(window_, GCLP_HBRBACKGROUND), COLOR_WINDOW + 1);
  EXPECT_EQ(reinterpret_cast<HCURSOR>(GetClassLongPtrW(window_, GCLP_HCURSOR)),
            LoadCursorW(nullptr, IDC_ARROW));
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(window_, GWL_STYLE)),
            static_cast<DWORD>(WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN));
  EXPECT_EQ(GetParent(window_), parent_);
  EXPECT_EQ(control()->CreateControlWindow(parent_, RECT{0, 0, 10, 10}), nullptr) << "one window";

  ComPtr<IZuVideoPlayCtl> other;
  ASSERT_EQ(ZuVideoPlayCtl::Create(IID_PPV_ARGS(&other)), S_OK);
  const HWND other_window =
      static_cast<ZuVideoPlayCtl*>(other.Get())->CreateControlWindow(parent_, RECT{0, 0, 10, 10});
  wchar_t other_name[64] = {};
  GetClassNameW(other_window, other_name, 64);
  EXPECT_STREQ(other_name, name);
  other.Reset();
  EXPECT_FALSE(IsWindow(other_window)) << "the last release destroys the window";
}

TEST_F(PlayControlTest, ReflectedNotificationsGetDefaultProcessingOfTheOriginalMessage) {
  OpenWindow();
  const HDC dc = GetDC(window_);
  const WPARAM w = reinterpret_cast<WPARAM>(dc);
  const LPARAM l = reinterpret_cast<LPARAM>(window_);
  EXPECT_EQ(SendMessageW(window_, 0x2000 + WM_CTLCOLORSTATIC, w, l),
            DefWindowProcW(window_, WM_CTLCOLORSTATIC, w, l));
  EXPECT_NE(SendMessageW(window_, 0x2000 + WM_CTLCOLORSTATIC, w, l), 0);
  EXPECT_EQ(SendMessageW(window_, 0x2000 + WM_CTLCOLORSTATIC + 1, w, l), 0) << "not reflected";
  ReleaseDC(window_, dc);
}

TEST_F(PlayControlTest, OutlivesItsWindowAndTakesFramesWithoutOne) {
  OpenWindow();
  DestroyWindow(parent_);
  parent_ = nullptr;
  EXPECT_EQ(control()->Window(), nullptr);
  HRESULT hr = E_FAIL;
  EXPECT_EQ(Refresh(Pattern24(40, 20), &hr), 1);
  EXPECT_EQ(hr, S_OK);
  EXPECT_GT(control()->CurrentFrameSize(), 0);
}

}  // namespace
}  // namespace zu::test
