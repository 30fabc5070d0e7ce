#include "tests/play/play_test_support.h"

#include <cstring>
#include <ostream>

#include "shell/scoped_gdi.h"

std::ostream& operator<<(std::ostream& out, const RECT& r) {
  return out << "(" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ")";
}

namespace zu::test {

// ---------------------------------------------------------------- strings

FrameString::FrameString(const Bytes& bytes) : count_(static_cast<LONG>(bytes.size())) {
  text_ = SysAllocStringLen(nullptr, static_cast<UINT>(bytes.size()));
  if (text_ != nullptr && !bytes.empty()) std::memcpy(text_, bytes.data(), bytes.size());
}

GuardedString::GuardedString(const Bytes& bytes, uint32_t storage) {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  const size_t page = info.dwPageSize;
  region_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  if (region_ == nullptr || bytes.size() + 4 > page) {
    ADD_FAILURE() << "cannot place " << bytes.size() << " bytes before a guard page";
    return;
  }
  DWORD old;
  VirtualProtect(region_ + page, page, PAGE_NOACCESS, &old);
  uint8_t* data = region_ + page - bytes.size();
  std::memcpy(data - 4, &storage, 4);
  if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
  text_ = reinterpret_cast<BSTR>(data);
}

GuardedString::~GuardedString() {
  if (region_ != nullptr) VirtualFree(region_, 0, MEM_RELEASE);
}

// ---------------------------------------------------------------- pixels

Canvas::Canvas(int width, int height, uint32_t fill) : width_(width), height_(height) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  dc_ = CreateCompatibleDC(nullptr);
  bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap_ == nullptr) {
    ADD_FAILURE() << "no DIB section of " << width << " x " << height;
    static uint32_t scratch;
    bits_ = &scratch;
    width_ = height_ = 1;
    return;
  }
  bits_ = static_cast<uint32_t*>(bits);
  previous_ = SelectObject(dc_, bitmap_);
  Fill(fill);
}

Canvas::~Canvas() {
  if (previous_ != nullptr) SelectObject(dc_, previous_);
  if (bitmap_ != nullptr) DeleteObject(bitmap_);
  DeleteDC(dc_);
}

void Canvas::Fill(uint32_t rgb) {
  GdiFlush();
  for (int i = 0; i < width_ * height_; ++i) bits_[i] = rgb;
}

void Canvas::CopyFrom(HWND window) {
  const HDC window_dc = GetDC(window);
  BitBlt(dc_, 0, 0, width_, height_, window_dc, 0, 0, SRCCOPY);
  ReleaseDC(window, window_dc);
  GdiFlush();
}

uint32_t ToRgb(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }
uint32_t SysRgb(int system_color) { return ToRgb(GetSysColor(system_color)); }

uint32_t DrawnColor(const Bytes& frame, int x, int y) {
  FrameLayout layout;
  CheckFrame(frame.data(), static_cast<int64_t>(frame.size()), &layout);
  if (layout.header.biBitCount != 16) return FrameColor(frame.data(), layout, x, y) & 0xFFFFFF;
  // 5-5-5, each channel widened by repeating its top bits.
  const uint32_t v = FramePixel(frame.data(), layout, x, y);
  auto widen = [](uint32_t c) { return (c << 3) | (c >> 2); };
  return widen((v >> 10) & 31) << 16 | widen((v >> 5) & 31) << 8 | widen(v & 31);
}

uint32_t PatternPixel(uint16_t bit_count, int x, int y) {
  switch (bit_count) {
    case 1: return (x + 2 * y) % 3 == 0;
    case 4: return (x + 3 * y) % 16;
    case 8: return (x + 7 * y) % 256;
    case 16: return (x & 31) | ((y & 31) << 5) | (((x + 3 * y) & 31) << 10);
    default:
      return ((x * 5 & 255) << 16) | ((y * 7 & 255) << 8) | ((x * 3 + y * 11) & 255) |
             (bit_count == 32 ? 0xA5000000u : 0);
  }
}

uint32_t QuadrantPixel(uint16_t bit_count, int quadrant) {
  static const uint32_t k16[] = {0x7C00, 0x03E0, 0x001F, 0x7FFF};
  static const uint32_t kRgb[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00};
  switch (bit_count) {
    case 1: return quadrant == 1 || quadrant == 2;
    case 4:
    case 8: return static_cast<uint32_t>(quadrant) + 1;
    case 16: return k16[quadrant];
    default: return kRgb[quadrant] | (bit_count == 32 ? 0x5A000000u : 0);
  }
}

// ---------------------------------------------------------------- windows

::testing::AssertionResult UpdateRegionIs(HWND window, const RECT& expected) {
  ScopedGdiObject<HRGN> got(CreateRectRgn(0, 0, 0, 0));
  ScopedGdiObject<HRGN> want(CreateRectRgnIndirect(&expected));
  const int kind = GetUpdateRgn(window, got.get(), FALSE);
  if (EqualRgn(got.get(), want.get())) return ::testing::AssertionSuccess();
  RECT box;
  GetRgnBox(got.get(), &box);
  return ::testing::AssertionFailure() << "update region " << (kind == COMPLEXREGION ? "(complex) " : "")
                                       << box << " where " << expected << " was expected";
}

EraseCounter* EraseCounter::current_ = nullptr;

EraseCounter::EraseCounter(HWND window) : window_(window) {
  current_ = this;
  original_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Procedure)));
}

EraseCounter::~EraseCounter() {
  if (IsWindow(window_)) SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
  current_ = nullptr;
}

LRESULT CALLBACK EraseCounter::Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_ERASEBKGND) ++current_->count_;
  return CallWindowProcW(current_->original_, window, message, wparam, lparam);
}

// ---------------------------------------------------------------- fixture

void PlayControlTest::SetUp() {
  ASSERT_EQ(OleInitialize(nullptr), S_OK);
  parent_ = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"play test", WS_POPUP, 0, 0, 400, 300, nullptr,
                            nullptr, nullptr, nullptr);
  ASSERT_NE(parent_, nullptr);
  // Not activated: on a display without a window manager Wine takes two seconds to destroy an
  // active window, unless the prefix leaves its windows unmanaged.
  ShowWindow(parent_, SW_SHOWNOACTIVATE);
  ASSERT_EQ(ZuVideoPlayCtl::Create(IID_PPV_ARGS(&play_)), S_OK);
  control()->SetAmbientProperties(&ambient_);
  ASSERT_EQ(play_->put_BackColor(RGB(0x12, 0x34, 0x56)), S_OK);
}

void PlayControlTest::TearDown() {
  play_.Reset();
  if (parent_ != nullptr) DestroyWindow(parent_);
  OleUninitialize();
}

HWND PlayControlTest::OpenWindow(int width, int height) {
  window_ = control()->CreateControlWindow(parent_, RECT{0, 0, width, height});
  EXPECT_NE(window_, nullptr);
  if (window_ != nullptr) {
    UpdateWindow(window_);
    ValidateRect(window_, nullptr);
  }
  return window_;
}

VARIANT_BOOL PlayControlTest::Refresh(const Bytes& frame, HRESULT* hr) {
  FrameString text(frame);
  VARIANT_BOOL taken = 7;
  const HRESULT result = play_->RefreshFrame(text.get(), text.count(), &taken);
  if (hr != nullptr) *hr = result;
  return taken;
}

void PlayControlTest::Paint(Canvas& canvas) {
  RECT bounds = {0, 0, canvas.width(), canvas.height()};
  if (window_ != nullptr) GetClientRect(window_, &bounds);
  EXPECT_EQ(control()->OnDraw(canvas.dc(), bounds), S_OK);
  GdiFlush();
}

}  // namespace zu::test
