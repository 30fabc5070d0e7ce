#include "play/zu_video_play_ctl.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <utility>

#include "codec/png_frame_decoder.h"
#include "play/frame_layout.h"
#include "shell/play_resources.h"
#include "shell/control_window_class.h"
#include "shell/play_shell.h"
#include "shell/scoped_gdi.h"
#include "shell/about_box.h"
#include "shell/play_dialog_ids.h"

namespace zu {
namespace {

using Microsoft::WRL::ComPtr;

constexpr DWORD kWindowStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
constexpr int kIconOffset = 8;

// Containers reflect these notifications back to the control at kReflectBase + message.
constexpr UINT kReflectBase = 0x2000;
bool IsReflectedNotification(UINT message) {
  if (message < kReflectBase) return false;
  const UINT original = message - kReflectBase;
  return (original >= WM_DRAWITEM && original <= WM_CHARTOITEM) || original == WM_COMPAREITEM ||
         original == WM_NOTIFY || original == WM_COMMAND || original == WM_HSCROLL ||
         original == WM_VSCROLL ||
         (original >= WM_CTLCOLORMSGBOX && original <= WM_CTLCOLORSTATIC) ||
         original == WM_PARENTNOTIFY;
}

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

// The module that holds this code, and with it the control's resources: ZuVPlay.dll, or a
// test program that links the control directly.
HMODULE ControlModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ControlModule), &module);
  return module;
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

}  // namespace

// ---------------------------------------------------------------- creation

ZuVideoPlayCtl::ZuVideoPlayCtl(IUnknown* outer)
    : ComObjectRoot(outer),
      DualDispatch(PlayControlTypeInfo()),
      ObjectSafetyImpl(kPlaySafetyOptions),
      OleControlImpl(OleControlSettings{&CLSID_ZuVideoPlay, kPlayPropertyMap,
                                        SIZEL{kInitialExtent, kInitialExtent}, kOpaqueViewStatus},
                     targets_, extent_),
      PersistImpl(CLSID_ZuVideoPlay, kPlayPropertyMap,
                  PersistTarget{static_cast<IZuVideoPlayCtl*>(this), &extent_},
                  targets_.needs_save),
      SupportErrorInfoImpl(IID_IZuVideoPlayCtl),
      ProvideClassInfo2Impl(PlayClassTypeInfo(), DIID__IZuVideoPlayCtlEvents),
      property_notify_(this, IID_IPropertyNotifySink),
      stock_(property_notify_, targets_) {
  AddConnectionPoint(&property_notify_);
}

HRESULT ZuVideoPlayCtl::Create(REFIID riid, void** object) {
  return CreateComObject<ZuVideoPlayCtl>(nullptr, riid, object);
}

HRESULT ZuVideoPlayCtl::CreateInstance(IUnknown* outer, REFIID riid, void** object) {
  return CreateComObject<ZuVideoPlayCtl>(outer, riid, object);
}

ZuVideoPlayCtl::~ZuVideoPlayCtl() {
  DestroyControlWindow();
  ReleaseSiteObjects();
  property_notify_.UnadviseAll();
}

// ---------------------------------------------------------------- IUnknown

HRESULT ZuVideoPlayCtl::QueryInterfaceInner(REFIID riid, void** object) {
  using Self = ZuVideoPlayCtl;
  // The order in which the control's interfaces are listed.
  static const InterfaceEntry kInterfaces[] = {
      ZU_INTERFACE(IID_IZuVideoPlayCtl, Self, IZuVideoPlayCtl),
      ZU_INTERFACE_VIA(IID_IDispatch, Self, IDispatch, IZuVideoPlayCtl),
      ZU_INTERFACE(IID_IObjectSafety, Self, IObjectSafety),
      ZU_INTERFACE(IID_IViewObjectEx, Self, IViewObjectEx),
      ZU_INTERFACE_VIA(IID_IViewObject2, Self, IViewObject2, IViewObjectEx),
      ZU_INTERFACE_VIA(IID_IViewObject, Self, IViewObject, IViewObjectEx),
      ZU_INTERFACE(IID_IOleInPlaceObjectWindowless, Self, IOleInPlaceObjectWindowless),
      ZU_INTERFACE_VIA(IID_IOleInPlaceObject, Self, IOleInPlaceObject, IOleInPlaceObjectWindowless),
      ZU_INTERFACE_VIA(IID_IOleWindow, Self, IOleWindow, IOleInPlaceObjectWindowless),
      ZU_INTERFACE(IID_IOleInPlaceActiveObject, Self, IOleInPlaceActiveObject),
      ZU_INTERFACE(IID_IOleControl, Self, IOleControl),
      ZU_INTERFACE(IID_IOleObject, Self, IOleObject),
      ZU_INTERFACE(IID_IPersistPropertyBag, Self, IPersistPropertyBag),
      ZU_INTERFACE(IID_IPersistStreamInit, Self, IPersistStreamInit),
      ZU_INTERFACE_VIA(IID_IPersist, Self, IPersist, IPersistStreamInit),
      ZU_INTERFACE(IID_ISupportErrorInfo, Self, ISupportErrorInfo),
      ZU_INTERFACE(IID_IConnectionPointContainer, Self, IConnectionPointContainer),
      ZU_INTERFACE(IID_ISpecifyPropertyPages, Self, ISpecifyPropertyPages),
      ZU_INTERFACE(IID_IQuickActivate, Self, IQuickActivate),
      ZU_INTERFACE(IID_IPersistStorage, Self, IPersistStorage),
      ZU_INTERFACE(IID_IDataObject, Self, IDataObject),
      ZU_INTERFACE_VIA(IID_IProvideClassInfo, Self, IProvideClassInfo, IProvideClassInfo2),
      ZU_INTERFACE(IID_IProvideClassInfo2, Self, IProvideClassInfo2),
      {nullptr, 0}};
  return QueryInterfaceTable(this, kInterfaces, riid, object);
}

// ---------------------------------------------------------------- IZuVideoPlayCtl

STDMETHODIMP ZuVideoPlayCtl::put_BackColor(OLE_COLOR clr) { return stock_.PutBackColor(clr); }

STDMETHODIMP ZuVideoPlayCtl::get_BackColor(OLE_COLOR* pclr) { return stock_.GetBackColor(pclr); }

STDMETHODIMP ZuVideoPlayCtl::putref_Picture(IPictureDisp* pPicture) {
  return stock_.PutRefPicture(pPicture);
}

// Keeps a copy of the picture, made through its stream form; without one the property is null.
STDMETHODIMP ZuVideoPlayCtl::put_Picture(IPictureDisp* pPicture) {
  return stock_.PutPicture(pPicture);
}

STDMETHODIMP ZuVideoPlayCtl::get_Picture(IPictureDisp** ppPicture) {
  return stock_.GetPicture(ppPicture);
}

STDMETHODIMP ZuVideoPlayCtl::get_FrameFormat(VpyFrameFormat* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = static_cast<VpyFrameFormat>(frame_format_);
  return S_OK;
}

STDMETHODIMP ZuVideoPlayCtl::put_FrameFormat(VpyFrameFormat newVal) {
  const LONG value = newVal < vpyFormatBMP || newVal > vpyFormatPNG ? vpyFormatBMP : newVal;
  if (value != frame_format_) {
    frame_format_ = value;
    FireChanged(property_notify_, 1);
  }
  return S_OK;
}

STDMETHODIMP ZuVideoPlayCtl::get_SizeMode(VpySizeMode* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = static_cast<VpySizeMode>(size_mode_);
  return S_OK;
}

// A new mode shows at the next frame or paint; the next frame then invalidates the whole window.
STDMETHODIMP ZuVideoPlayCtl::put_SizeMode(VpySizeMode newVal) {
  const LONG value = newVal < vpySizeCLIP || newVal > vpySizeSTRETCH ? vpySizeCLIP : newVal;
  if (value != size_mode_) {
    picture_rect_ = RECT{0, 0, 0, 0};
    size_mode_ = value;
    FireChanged(property_notify_, 2);
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
  return RunControlAboutBox(ControlModule(), ZU_IDD_PLAY_ABOUT);
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
  if (window_ == nullptr) return;
  RECT client;
  GetClientRect(window_, &client);
  const RECT destination = ToRect(LayoutFrame(current_frame_.get(), size_mode_, client).destination);
  if (SameRect(destination, picture_rect_)) {
    InvalidateRect(window_, &destination, FALSE);
  } else {
    picture_rect_ = RECT{0, 0, 0, 0};
    InvalidateRect(window_, nullptr, FALSE);
  }
}

// ---------------------------------------------------------------- window

HWND ZuVideoPlayCtl::CreateControlWindow(HWND parent, const RECT& position) noexcept {
  if (window_ != nullptr) return nullptr;
  const ATOM window_class = RegisterControlWindowClass(&ZuVideoPlayCtl::WindowProc, ControlModule());
  if (window_class == 0) return nullptr;
  // window_ is set by WM_NCCREATE, so that messages sent during creation find the control.
  return CreateWindowExW(0, MAKEINTATOM(window_class), nullptr, kWindowStyle, position.left,
                         position.top, position.right - position.left,
                         position.bottom - position.top, parent, nullptr, ControlModule(), this);
}

void ZuVideoPlayCtl::DestroyControlWindow() noexcept {
  if (window_ != nullptr) DestroyWindow(window_);
}

LRESULT CALLBACK ZuVideoPlayCtl::WindowProc(HWND window, UINT message, WPARAM wparam,
                                            LPARAM lparam) {
  auto* control = reinterpret_cast<ZuVideoPlayCtl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_NCCREATE) {
    control = static_cast<ZuVideoPlayCtl*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(control));
    control->window_ = window;
    control->targets_.window = window;
  }
  if (control == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  return control->OnMessage(message, wparam, lparam);
}

LRESULT ZuVideoPlayCtl::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  const HWND window = window_;
  switch (message) {
    case WM_PAINT:
      OnPaint(reinterpret_cast<HDC>(wparam));
      return 0;
    // Focus and mouse activation tell the container, then go on to default processing.
    case WM_SETFOCUS:
      OnSetFocus();
      break;
    case WM_KILLFOCUS:
      OnKillFocus(reinterpret_cast<HWND>(wparam));
      break;
    case WM_MOUSEACTIVATE:
      OnMouseActivate();
      break;
    case WM_NCDESTROY:
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      window_ = nullptr;
      targets_.window = nullptr;
      break;
    default:
      if (IsReflectedNotification(message)) {
        return DefWindowProcW(window, message - kReflectBase, wparam, lparam);
      }
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

// A device context in the first parameter is drawn into as it is; the update region stays.
void ZuVideoPlayCtl::OnPaint(HDC given_dc) {
  PAINTSTRUCT paint;
  const HDC dc = given_dc != nullptr ? given_dc : BeginPaint(window_, &paint);
  if (dc == nullptr) return;
  RECT client;
  GetClientRect(window_, &client);
  const int saved = SaveDC(dc);
  SetMapMode(dc, MM_TEXT);
  SetWindowOrgEx(dc, 0, 0, nullptr);
  SetViewportOrgEx(dc, 0, 0, nullptr);
  OnDraw(dc, client);
  RestoreDC(dc, saved);
  if (given_dc == nullptr) EndPaint(window_, &paint);
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
  const bool windowed = window_ != nullptr;
  const uint8_t* frame = current_frame_.get();
  {
    ScopedGdiObject<HBRUSH> brush(CreateSolidBrush(BackgroundColor()));
    ScopedSelectObject select_brush(dc, brush.get());
    ScopedGdiObject<HRGN> background(CreateRectRgnIndirect(&bounds));
    const RECT kept = windowed ? picture_rect_ : RECT{0, 0, 0, 0};
    ScopedGdiObject<HRGN> picture(CreateRectRgnIndirect(&kept));
    if (background && picture && CombineRgn(background.get(), background.get(), picture.get(),
                                             RGN_DIFF) != ERROR) {
      FillRgn(dc, background.get(), brush.get());
    }
    RECT edge = bounds;
    DrawEdge(dc, &edge, EDGE_SUNKEN, BF_RECT);
    DrawBackgroundPicture(dc, bounds);
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
    if (windowed) GetClientRect(window_, &target);
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
  ScopedGdiObject<HBRUSH> brush(CreateSolidBrush(BackgroundColor()));
  ScopedSelectObject select_brush(dc, brush.get());
  if (brush) FillRect(dc, &bounds, brush.get());
  RECT edge = bounds;
  DrawEdge(dc, &edge, EDGE_SUNKEN, BF_RECT);
  DrawBackgroundPicture(dc, bounds);
  if (!user_mode) {
    // Loaded icons are shared by the module: nothing to destroy.
    const HICON icon = LoadIconW(ControlModule(), MAKEINTRESOURCEW(ZU_IDI_PLAY_CONTROL));
    if (icon != nullptr) DrawIcon(dc, bounds.left + kIconOffset, bounds.top + kIconOffset, icon);
  }
  if (window_ != nullptr) picture_rect_ = RECT{0, 0, 0, 0};
}

// Picture objects keep their origin at the bottom left, so the source is taken from its top with a
// negative height, which stretches the whole picture over `rect` upright. The other way round, a
// destination from the bottom with a negative height, draws nothing under Wine 8.
void ZuVideoPlayCtl::DrawBackgroundPicture(HDC dc, const RECT& rect) noexcept {
  if (stock_.Picture() == nullptr) return;
  ComPtr<IPicture> picture;
  if (FAILED(stock_.Picture()->QueryInterface(IID_PPV_ARGS(&picture)))) return;
  OLE_XSIZE_HIMETRIC width = 0;
  OLE_YSIZE_HIMETRIC height = 0;
  if (FAILED(picture->get_Width(&width)) || FAILED(picture->get_Height(&height))) return;
  picture->Render(dc, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, 0,
                  height, width, -height, nullptr);
}

bool ZuVideoPlayCtl::AmbientUserMode() const {
  return ambient_ != nullptr && ambient_->UserMode();
}

// A colour that does not translate paints as the default one.
COLORREF ZuVideoPlayCtl::BackgroundColor() const {
  COLORREF color = 0;
  if (FAILED(OleTranslateColor(stock_.BackColor(), nullptr, &color))) color = GetSysColor(COLOR_BTNFACE);
  return color;
}

}  // namespace zu
