#include "play/zu_video_play_ctl.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <utility>

#include "codec/png_frame_decoder.h"
#include "play/frame_layout.h"
#include "shell/about_box.h"
#include "shell/control_drawing.h"
#include "shell/scoped_gdi.h"
#include "shell/zuvplay/zuvplay_library.h"
#include "shell/zuvplay/zuvplay_resources.h"

namespace zu {
namespace {

using Microsoft::WRL::ComPtr;

// A chain of variant references this long is taken for a loop and carries no frame.
constexpr int kMaxVariantReferences = 64;

// The string a frame variant holds once its references are followed, or null when it holds none.
BSTR* FrameString(VARIANT* value) {
  for (int depth = 0; depth < kMaxVariantReferences && value != nullptr; ++depth) {
    switch (value->vt) {
      case VT_BSTR: return &value->bstrVal;
      case VT_BYREF | VT_BSTR: return value->pbstrVal;
      case VT_BYREF | VT_VARIANT: value = value->pvarVal; break;
      default: return nullptr;
    }
  }
  return nullptr;
}

RECT ToRect(const FrameRect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }
FrameRect ToFrameRect(const RECT& r) { return FrameRect{r.left, r.top, r.right, r.bottom}; }
bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// The kept frame's place: the header's width and |height| fitted into `target`.
FrameLayoutResult LayoutFrame(const uint8_t* frame, LONG size_mode, const RECT& target) {
  const BitmapHeader header = ReadBitmapHeader(frame);
  const int32_t height = header.biHeight < 0 ? -header.biHeight : header.biHeight;
  return ComputeFrameLayout(header.biWidth, height, size_mode, ToFrameRect(target));
}

// What the framework needs to know of the play control: it fires no events (its class still
// names the event interface as its default source).
const ControlDefinition kPlayControlDefinition = {
    &CLSID_ZuVideoPlay,         &DIID__IZuVideoPlayCtlEvents,
    false,                      &PlayControlTypeInfo,
    &PlayClassTypeInfo,         kPlayPropertyMap,
    kPlaySafetyOptions,         SIZEL{kInitialExtent, kInitialExtent},
    kOpaqueViewStatus};

}  // namespace

// ---------------------------------------------------------------- creation

ZuVideoPlayCtl::ZuVideoPlayCtl(IUnknown* outer) : ControlObject(outer, kPlayControlDefinition) {}

HRESULT ZuVideoPlayCtl::Create(REFIID riid, void** object) {
  return CreateComObject<ZuVideoPlayCtl>(nullptr, riid, object);
}

HRESULT ZuVideoPlayCtl::CreateInstance(IUnknown* outer, REFIID riid, void** object) {
  return CreateComObject<ZuVideoPlayCtl>(outer, riid, object);
}

ZuVideoPlayCtl::~ZuVideoPlayCtl() = default;

// ---------------------------------------------------------------- IZuVideoPlayCtl

STDMETHODIMP ZuVideoPlayCtl::get_FrameFormat(VpyFrameFormat* pVal) {
  return ReadProperty(frame_format_, pVal);
}

STDMETHODIMP ZuVideoPlayCtl::put_FrameFormat(VpyFrameFormat newVal) {
  SetEnumProperty(frame_format_, newVal, vpyFormatBMP, vpyFormatPNG, vpyFormatBMP, 1);
  return S_OK;
}

STDMETHODIMP ZuVideoPlayCtl::get_SizeMode(VpySizeMode* pVal) {
  return ReadProperty(size_mode_, pVal);
}

// A new mode shows at the next frame or paint; the next frame then invalidates the whole window.
STDMETHODIMP ZuVideoPlayCtl::put_SizeMode(VpySizeMode newVal) {
  if (SetEnumProperty(size_mode_, newVal, vpySizeCLIP, vpySizeSTRETCH, vpySizeCLIP, 2)) {
    picture_rect_ = RECT{0, 0, 0, 0};
  }
  return S_OK;
}

// The previous frame goes first, whether or not this one is taken. A refused frame invalidates
// nothing: the window keeps the old picture until it is next painted for another reason.
STDMETHODIMP ZuVideoPlayCtl::RefreshFrame(BSTR* pbstrFrameData, LONG nFrameData,
                                          VARIANT_BOOL* pbSuccess) {
  if (pbSuccess == nullptr) return E_POINTER;
  *pbSuccess = kFrameTaken;
  current_frame_.reset();
  current_frame_size_ = 0;
  if (!TakeFrame(pbstrFrameData, nFrameData)) {
    *pbSuccess = kFrameRefused;
    return S_FALSE;
  }
  InvalidateForNewFrame();
  return S_OK;
}

// A variant that holds no string, after its references are followed, is ignored: the kept frame
// stays and *pbSuccess is left as the caller set it.
STDMETHODIMP ZuVideoPlayCtl::RefreshFrameEx(VARIANT vFrameData, LONG nFrameData,
                                            VARIANT_BOOL* pbSuccess) {
  if (pbSuccess == nullptr) return E_POINTER;
  BSTR* text = FrameString(&vFrameData);
  if (text != nullptr) RefreshFrame(text, nFrameData, pbSuccess);
  return S_OK;
}

STDMETHODIMP ZuVideoPlayCtl::get_Version(LONG* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = static_cast<LONG>(((version_major_ & 0xFFFF) << 16) | (version_minor_ & 0xFFFF));
  return S_OK;
}

// Exists so that stored properties can be written back; the version is the code's own.
STDMETHODIMP ZuVideoPlayCtl::put_Version(LONG) { return S_OK; }

STDMETHODIMP ZuVideoPlayCtl::AboutBox() {
  return RunControlAboutBox(ThisImage(), ZU_IDD_PLAY_ABOUT);
}

// ---------------------------------------------------------------- frame intake

bool ZuVideoPlayCtl::TakeFrame(const BSTR* text, LONG count) {
  // The count is the caller's word and the string's storage the only limit known; a script can
  // pass any count with any string.
  if (text == nullptr || *text == nullptr || count < 0 ||
      static_cast<UINT>(count) > SysStringByteLen(*text)) {
    return false;
  }
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(*text);
  FrameBlock frame;
  int32_t size = 0;
  if (frame_format_ == vpyFormatPNG) {
    PngFrameDecoder decoder;
    frame.reset(decoder.DecodeFrame(bytes, count, &size));
    if (!frame || size <= 0 || CheckFrame(frame.get(), size) != FrameVerdict::kOk) return false;
  } else {
    frame = CopyFrame(bytes, count);
    if (!frame) return false;
    size = count;
  }
  current_frame_ = std::move(frame);
  current_frame_size_ = size;
  return true;
}

// Same layout as the last paint: only the picture needs repainting, without erasing, so the
// background around it does not flicker frame after frame. Otherwise the whole window.
void ZuVideoPlayCtl::InvalidateForNewFrame() {
  const HWND window = Window();
  if (window == nullptr) return;
  RECT client;
  GetClientRect(window, &client);
  const RECT destination = ToRect(LayoutFrame(current_frame_.get(), size_mode_, client).destination);
  if (SameRect(destination, picture_rect_)) {
    InvalidateRect(window, &destination, FALSE);
  } else {
    picture_rect_ = RECT{0, 0, 0, 0};
    InvalidateRect(window, nullptr, FALSE);
  }
}

// ---------------------------------------------------------------- drawing

HRESULT ZuVideoPlayCtl::OnDraw(HDC dc, const RECT& bounds) noexcept {
  const bool user_mode = AmbientUserMode();
  if (user_mode && current_frame_size_ > 0) {
    DrawFrame(dc, bounds);
  } else {
    DrawEmpty(dc, bounds, user_mode);
  }
  return S_OK;
}

// Background outside the last picture rectangle (the new picture covers the rest), edge,
// background picture, then the frame with a palette made from its colour table.
void ZuVideoPlayCtl::DrawFrame(HDC dc, const RECT& bounds) {
  const bool windowed = Window() != nullptr;
  const uint8_t* frame = current_frame_.get();
  {
    ScopedGdiObject<HRGN> background(CreateRectRgnIndirect(&bounds));
    const RECT kept = windowed ? picture_rect_ : RECT{0, 0, 0, 0};
    ScopedGdiObject<HRGN> picture(CreateRectRgnIndirect(&kept));
    if (background && picture && CombineRgn(background.get(), background.get(), picture.get(),
                                             RGN_DIFF) != ERROR) {
      DrawControlSurface(dc, bounds, stock_.BackColor(), stock_.Picture(), background.get());
    }
  }

  const BitmapHeader header = ReadBitmapHeader(frame);
  const uint32_t entries = ColorTableEntries(header);  // at most 256: the frame was checked
  using PaletteBlock = std::unique_ptr<LOGPALETTE, FreeDeleter>;
  PaletteBlock entries_block(static_cast<LOGPALETTE*>(
      std::calloc(1, sizeof(LOGPALETTE) + entries * sizeof(PALETTEENTRY))));
  if (!entries_block) return;
  LOGPALETTE* logical = entries_block.get();
  logical->palVersion = 0x300;
  logical->palNumEntries = static_cast<WORD>(entries);
  const uint8_t* table = frame + kBitmapHeaderSize;
  for (uint32_t i = 0; i < entries; ++i) {
    logical->palPalEntry[i].peRed = table[4 * i + 2];
    logical->palPalEntry[i].peGreen = table[4 * i + 1];
    logical->palPalEntry[i].peBlue = table[4 * i];
    logical->palPalEntry[i].peFlags = 0;
  }
  ScopedGdiObject<HPALETTE> palette(CreatePalette(logical));
  {
    ScopedSelectPalette select_palette(dc, palette.get());
    if (palette) RealizePalette(dc);
    // A DC's default mode ANDs the rows and columns that shrinking drops, which darkens a
    // camera picture into a grid; dropping them cleanly keeps the colours. The caller's mode is
    // put back afterwards.
    ScopedStretchMode stretch_mode(dc, COLORONCOLOR);

    RECT target = bounds;
    if (windowed) GetClientRect(Window(), &target);
    const FrameLayoutResult layout = LayoutFrame(frame, size_mode_, target);
    const FrameRect& s = layout.source;
    const FrameRect& d = layout.destination;
    const uint8_t* rows = frame + kBitmapHeaderSize + 4 * entries;
    const auto* info = reinterpret_cast<const BITMAPINFO*>(frame);
    const int32_t height = header.biHeight < 0 ? -header.biHeight : header.biHeight;
    const bool whole_frame = s.left == 0 && s.top == 0 && s.right == header.biWidth && s.bottom == height;
    if (header.biHeight > 0 || whole_frame) {
      // The source's y counts from the frame's bottom row.
      StretchDIBits(dc, d.left, d.top, d.right - d.left, d.bottom - d.top, s.left, s.top,
                    s.right - s.left, s.bottom - s.top, rows, info, DIB_RGB_COLORS, SRCCOPY);
    } else {
      // Of a top-down frame GDI takes the source's y from the top row only for an unstretched
      // copy from the origin, and from the bottom row otherwise (Wine 8 does as its tests of
      // Windows found), so one cut could not always match the bottom-up twin's. The whole frame
      // is drawn instead, placed so that the twin's rows fall in D, and clipped to D.
      const int saved = SaveDC(dc);
      IntersectClipRect(dc, d.left, d.top, d.right, d.bottom);
      StretchDIBits(dc, d.left - s.left, d.top - (height - s.bottom), header.biWidth, height, 0, 0,
                    header.biWidth, height, rows, info, DIB_RGB_COLORS, SRCCOPY);
      RestoreDC(dc, saved);
    }
    if (windowed) picture_rect_ = ToRect(d);
  }
}

void ZuVideoPlayCtl::DrawEmpty(HDC dc, const RECT& bounds, bool user_mode) {
  DrawControlSurface(dc, bounds, stock_.BackColor(), stock_.Picture());
  if (!user_mode) DrawControlIcon(dc, bounds, ThisImage(), ZU_IDI_PLAY_CONTROL);
  if (Window() != nullptr) picture_rect_ = RECT{0, 0, 0, 0};
}

bool ZuVideoPlayCtl::AmbientUserMode() const {
  return ambient_ != nullptr && ambient_->UserMode();
}

}  // namespace zu
