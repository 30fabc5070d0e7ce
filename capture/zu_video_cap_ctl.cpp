#include "capture/zu_video_cap_ctl.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "codec/png_frame_encoder.h"
#include "shell/about_box.h"
#include "shell/control_drawing.h"
#include "shell/module.h"
#include "shell/zuvcap/zuvcap_library.h"
#include "shell/zuvcap/zuvcap_resources.h"

namespace zu {
namespace {

// The capture child window: WS_CHILD | WS_VISIBLE and the capture class's own bit 0x20.
constexpr char kCaptureWindowTitle[] = "Pelmar Video Capture Window";
constexpr DWORD kCaptureWindowStyle = 0x50000020;
constexpr int kCaptureWindowIdOffset = 10000;
constexpr int kHighestDriverIndex = 9;

// The format query of every frame: a header and room for 256 colour entries.
constexpr uint32_t kFormatQueryBytes = kBitmapHeaderSize + 4 * kMaxColorTableEntries;

// Room the message box texts are loaded into (the caption, the message), in bytes.
constexpr int kCaptionBytes = 128;
constexpr int kMessageBytes = 512;

// Snapshot file names are handed to the capture window in the ANSI code page, in this much room.
constexpr int kSnapshotPathBytes = 260;

enum class DriverDialog { kFormat, kSource, kDisplay };

bool HasDialog(const CAPDRIVERCAPS& caps, DriverDialog dialog) {
  switch (dialog) {
    case DriverDialog::kFormat: return caps.fHasDlgVideoFormat != FALSE;
    case DriverDialog::kSource: return caps.fHasDlgVideoSource != FALSE;
    case DriverDialog::kDisplay: return caps.fHasDlgVideoDisplay != FALSE;
  }
  return false;
}

void OpenDialog(const CaptureWindow& window, DriverDialog dialog) {
  switch (dialog) {
    case DriverDialog::kFormat: window.ShowFormatDialog(); break;
    case DriverDialog::kSource: window.ShowSourceDialog(); break;
    case DriverDialog::kDisplay: window.ShowDisplayDialog(); break;
  }
}

// The colour count of a format the driver reports: biClrUsed, or the full table of a 1, 4 or
// 8-bit format, none above.
uint32_t FormatColours(const BitmapHeader& header) {
  if (header.biClrUsed != 0) return header.biClrUsed;
  switch (header.biBitCount) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    default: return 0;
  }
}

// A string of `count` characters whose first `count` bytes are `bytes`; the second half is
// zeroed, so no process memory travels with the frame. Null when it cannot be had.
BSTR FrameString(const uint8_t* bytes, uint32_t count) {
  BSTR text = SysAllocStringLen(nullptr, count);
  if (text == nullptr) return nullptr;
  std::memcpy(text, bytes, count);
  std::memset(reinterpret_cast<uint8_t*>(text) + count, 0, count);
  return text;
}

// What the framework needs to know of the capture control; it fires its frame events.
const ControlDefinition kCaptureControlDefinition = {
    &CLSID_ZuVideoCapture,
    &DIID__IZuVideoCapCtlEvents,
    /*fires_events=*/true,
    &CaptureControlTypeInfo,
    &CaptureClassTypeInfo,
    kCapturePropertyMap,
    kCaptureSafetyOptions,
    SIZEL{kCaptureInitialExtent, kCaptureInitialExtent},
    kOpaqueViewStatus,
};

}  // namespace

uint32_t BitCountToBits(LONG bit_count, int16_t custom) {
  switch (bit_count) {
    case vcpBit1: return 1;
    case vcpBit4: return 4;
    case vcpBit8: return 8;
    case vcpBit16: return 16;
    case vcpBit32: return 32;
    case vcpBitCustom: return static_cast<uint16_t>(custom);
    default: return 24;
  }
}

LONG BitsToBitCount(uint32_t bits) {
  switch (bits) {
    case 1: return vcpBit1;
    case 4: return vcpBit4;
    case 8: return vcpBit8;
    case 16: return vcpBit16;
    case 24: return vcpBit24;
    case 32: return vcpBit32;
    default: return vcpBitCustom;
  }
}

// ---------------------------------------------------------------- creation

ZuVideoCapCtl::ZuVideoCapCtl(IUnknown* outer) : ControlObject(outer, kCaptureControlDefinition) {}

ZuVideoCapCtl::~ZuVideoCapCtl() = default;

// The window (and with it the link) normally went with in-place deactivation; a control released
// while still in place ends its link here, and never leaves its callbacks routed.
void ZuVideoCapCtl::FinalRelease() noexcept {
  ControlObject::FinalRelease();
  StopCaptureCallbacks(this);
}

// ---------------------------------------------------------------- properties

STDMETHODIMP ZuVideoCapCtl::get_BitCount(VcpBitCount* pVal) {
  return ReadProperty(bit_count_, pVal);
}

STDMETHODIMP ZuVideoCapCtl::put_BitCount(VcpBitCount newVal) {
  const LONG value = ClampEnum(newVal, vcpBit1, vcpBitCustom, vcpBit24);
  if (value == bit_count_) return S_OK;
  if (value != vcpBitCustom) custom_bit_count_ = static_cast<int16_t>(BitCountToBits(value, 0));
  bit_count_ = value;
  if (capture_window_) ConnectDriver();
  FireChanged(property_notify_, 1);
  return S_OK;
}

STDMETHODIMP ZuVideoCapCtl::get_CaptureElapse(LONG* pVal) {
  return ReadProperty(capture_elapse_, pVal);
}

// A running capture keeps its rate until the next Start.
STDMETHODIMP ZuVideoCapCtl::put_CaptureElapse(LONG newVal) {
  if (newVal == capture_elapse_) return S_OK;
  capture_elapse_ = newVal;
  FireChanged(property_notify_, 2);
  return S_OK;
}

STDMETHODIMP ZuVideoCapCtl::get_CaptureFormat(VcpCaptureFormat* pVal) {
  return ReadProperty(capture_format_, pVal);
}

STDMETHODIMP ZuVideoCapCtl::put_CaptureFormat(VcpCaptureFormat newVal) {
  SetEnumProperty(capture_format_, newVal, vcpFormatBMP, vcpFormatPNG, vcpFormatBMP, 3);
  return S_OK;
}

STDMETHODIMP ZuVideoCapCtl::get_CaptureWidth(LONG* pVal) {
  return ReadProperty(capture_width_, pVal);
}

// Rounded towards zero to a multiple of 8: 85 gives 80, -15 gives -8.
STDMETHODIMP ZuVideoCapCtl::put_CaptureWidth(LONG newVal) {
  const LONG value = newVal / 8 * 8;
  if (value == capture_width_) return S_OK;
  capture_width_ = value;
  CenterCaptureWindow();
  if (capture_window_) ConnectDriver();
  FireChanged(property_notify_, 6);
  return S_OK;
}

STDMETHODIMP ZuVideoCapCtl::get_CaptureHeight(LONG* pVal) {
  return ReadProperty(capture_height_, pVal);
}

STDMETHODIMP ZuVideoCapCtl::put_CaptureHeight(LONG newVal) {
  if (newVal == capture_height_) return S_OK;
  capture_height_ = newVal;
  CenterCaptureWindow();
  if (capture_window_) ConnectDriver();
  FireChanged(property_notify_, 7);
  return S_OK;
}

STDMETHODIMP ZuVideoCapCtl::get_Version(LONG* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = static_cast<LONG>((static_cast<uint32_t>(version_major_) << 16) | version_minor_);
  return S_OK;
}

// Exists so that stored properties can be written back; the version is the code's own.
STDMETHODIMP ZuVideoCapCtl::put_Version(LONG) { return S_OK; }

STDMETHODIMP ZuVideoCapCtl::get_CaptureExEvent(VARIANT_BOOL* pVal) {
  return ReadProperty(capture_ex_event_, pVal);
}

STDMETHODIMP ZuVideoCapCtl::put_CaptureExEvent(VARIANT_BOOL newVal) {
  capture_ex_event_ = newVal;
  FireChanged(property_notify_, 10);
  return S_OK;
}

STDMETHODIMP ZuVideoCapCtl::get_DeviceID(short* pVal) { return ReadProperty(device_id_, pVal); }

// An index without a driver is ignored silently; the change is announced either way.
STDMETHODIMP ZuVideoCapCtl::put_DeviceID(short newVal) {
  if (newVal == -1 || CaptureDriverInstalled(newVal)) {
    device_id_ = newVal;
    ConnectDriver();
  }
  FireChanged(property_notify_, 12);
  return S_OK;
}

STDMETHODIMP ZuVideoCapCtl::get_EnableSystemDriverSetting(LONG* pVal) {
  return ReadProperty(enable_system_driver_setting_, pVal);
}

// Takes effect at the next connection.
STDMETHODIMP ZuVideoCapCtl::put_EnableSystemDriverSetting(LONG newVal) {
  enable_system_driver_setting_ = newVal;
  FireChanged(property_notify_, 13);
  return S_OK;
}

STDMETHODIMP ZuVideoCapCtl::get_CustomBitCount(short* pVal) {
  return ReadProperty(custom_bit_count_, pVal);
}

// BitCount follows silently: the driver hears of it at the next connection.
STDMETHODIMP ZuVideoCapCtl::put_CustomBitCount(short newVal) {
  custom_bit_count_ = newVal;
  bit_count_ = BitsToBitCount(static_cast<uint16_t>(newVal));
  FireChanged(property_notify_, 14);
  return S_OK;
}

STDMETHODIMP ZuVideoCapCtl::get_EnablePopupMenu(LONG* pVal) {
  return ReadProperty(enable_popup_menu_, pVal);
}

STDMETHODIMP ZuVideoCapCtl::put_EnablePopupMenu(LONG newVal) {
  enable_popup_menu_ = newVal;
  FireChanged(property_notify_, 15);
  return S_OK;
}

// ---------------------------------------------------------------- grabbing

STDMETHODIMP ZuVideoCapCtl::Start() {
  if (capture_window_ == nullptr) return S_OK;
  ReleaseFrameBuffer();
  Capture().SetPreviewRate(static_cast<UINT>(capture_elapse_));
  Capture().SetPreview(true);
  return S_OK;
}

STDMETHODIMP ZuVideoCapCtl::Stop() {
  if (capture_window_ == nullptr) return S_OK;
  ReleaseFrameBuffer();
  Capture().SetPreviewRate(0);
  Capture().SetPreview(false);
  return S_OK;
}

LRESULT ZuVideoCapCtl::OnCaptureFrame(HWND capture_window, VIDEOHDR* header) noexcept {
  if (capture_window == nullptr || capture_window != capture_window_ || header == nullptr) {
    return FALSE;
  }
  if (header->dwBytesUsed == 0 || header->lpData == nullptr) return TRUE;
  std::unique_ptr<uint8_t, FreeDeleter> query(
      static_cast<uint8_t*>(std::calloc(1, kFormatQueryBytes)));
  if (!query || !Capture().GetFormat(query.get(), kFormatQueryBytes)) return FALSE;
  const BitmapHeader format = ReadBitmapHeader(query.get());
  // A colour table longer than the query block cannot have been read whole: the frame is dropped.
  const uint32_t colours = FormatColours(format);
  if (colours > kMaxColorTableEntries) return TRUE;
  const uint32_t head = kBitmapHeaderSize + 4 * colours;
  const uint64_t size = uint64_t{head} + header->dwBytesUsed;
  if (size > UINT32_MAX / 2) return TRUE;

  ReleaseFrameBuffer();
  frame_buffer_.reset(static_cast<uint8_t*>(std::malloc(size)));
  if (!frame_buffer_) return TRUE;
  frame_buffer_size_ = static_cast<uint32_t>(size);
  std::memcpy(frame_buffer_.get(), query.get(), head);
  std::memcpy(frame_buffer_.get() + head, header->lpData, header->dwBytesUsed);
  query.reset();

  // The control may be released by a sink (its window with it): it stays alive until the
  // firing is over, and nothing after the firing touches its state.
  AddRef();
  BSTR text = nullptr;
  LONG count = 0;
  if (capture_format_ == vcpFormatPNG) {
    // The encoder only reads the bitmap, and never past the count: a frame whose header claims
    // more rows than the driver's bytes hold fails its check and is dropped.
    PngFrameEncoder encoder;
    int32_t stream_length = 0;
    std::unique_ptr<uint8_t, FreeDeleter> stream(encoder.EncodeFrame(
        frame_buffer_.get(), static_cast<int32_t>(frame_buffer_size_), &stream_length));
    if (stream && stream_length > 0) {
      text = FrameString(stream.get(), static_cast<uint32_t>(stream_length));
      count = stream_length;
    }
  } else {
    // The driver's bytes as they came, with the count that says how many there are.
    text = FrameString(frame_buffer_.get(), frame_buffer_size_);
    count = static_cast<LONG>(frame_buffer_size_);
  }
  if (text != nullptr) {
    FireCaptureEvent(&text, count);
    SysFreeString(text);
  }
  Release();
  return TRUE;
}

// Both events pass the string by reference, so a sink may free it and put another in its place:
// what the string variable (or the variant) holds afterwards is what the caller frees.
void ZuVideoCapCtl::FireCaptureEvent(BSTR* text, LONG count) {
  VARIANT arguments[2];
  DISPPARAMS params = {arguments, nullptr, 2, 0};
  if (capture_ex_event_ != 0) {
    VARIANT holder;
    holder.vt = VT_BSTR;
    holder.bstrVal = *text;
    arguments[1].vt = VT_BYREF | VT_VARIANT;
    arguments[1].pvarVal = &holder;
    arguments[0].vt = VT_I4;
    arguments[0].lVal = count;
    VARIANT result;
    VariantInit(&result);
    FireDispatchEvent(events_, 2, &params, &result);
    if (holder.vt == VT_BSTR) {
      *text = holder.bstrVal;
    } else {
      VariantClear(&holder);
      *text = nullptr;
    }
  } else {
    arguments[1].vt = VT_BYREF | VT_BSTR;
    arguments[1].pbstrVal = text;
    arguments[0].vt = VT_I4;
    arguments[0].lVal = count;
    FireDispatchEvent(events_, 1, &params, nullptr);
  }
}

void ZuVideoCapCtl::ReleaseFrameBuffer() noexcept {
  frame_buffer_.reset();
  frame_buffer_size_ = 0;
}

// ---------------------------------------------------------------- snapshot, dialogs, menu

// A name that is missing, empty or too long for the capture window is refused before anything is
// deleted: a shortened name could delete another file.
STDMETHODIMP ZuVideoCapCtl::Snapshot(BSTR pszFileName, VcpCaptureFormat) {
  if (pszFileName == nullptr || SysStringLen(pszFileName) == 0) return S_OK;
  char path[kSnapshotPathBytes];
  const int length = WideCharToMultiByte(CP_ACP, 0, pszFileName, -1, path, sizeof path,
                                         nullptr, nullptr);
  if (length <= 1 || std::memchr(path, '\0', static_cast<size_t>(length) - 1) != nullptr) {
    return S_OK;
  }
  DeleteFileA(path);
  Capture().SaveDib(path);
  return S_OK;
}

STDMETHODIMP ZuVideoCapCtl::ShowVideoFormat() {
  if (!capture_window_ || !HasDialog(Capture().Capabilities(), DriverDialog::kFormat)) {
    ShowCaptureError(ZU_IDS_CAP_NO_DIALOG);
    return S_OK;
  }
  Capture().ShowFormatDialog();
  // What the user chose flows back through the setters, as a host's calls would.
  const uint32_t size = Capture().FormatSize();
  if (size == 0) return S_OK;
  std::unique_ptr<uint8_t, FreeDeleter> block(
      static_cast<uint8_t*>(std::calloc(1, size < kBitmapHeaderSize ? kBitmapHeaderSize : size)));
  if (!block || !Capture().GetFormat(block.get(), size)) return S_OK;
  const BitmapHeader format = ReadBitmapHeader(block.get());
  block.reset();
  put_CaptureWidth(format.biWidth);
  put_CaptureHeight(format.biHeight);
  put_BitCount(static_cast<VcpBitCount>(BitsToBitCount(format.biBitCount)));
  return S_OK;
}

STDMETHODIMP ZuVideoCapCtl::ShowVideoSource() {
  if (!capture_window_ || !HasDialog(Capture().Capabilities(), DriverDialog::kSource)) {
    ShowCaptureError(ZU_IDS_CAP_NO_DIALOG);
    return S_OK;
  }
  Capture().ShowSourceDialog();
  return S_OK;
}

STDMETHODIMP ZuVideoCapCtl::ShowVideoDisplay() {
  if (!capture_window_ || !HasDialog(Capture().Capabilities(), DriverDialog::kDisplay)) {
    ShowCaptureError(ZU_IDS_CAP_NO_DIALOG);
    return S_OK;
  }
  Capture().ShowDisplayDialog();
  return S_OK;
}

// Verbs 1 to 3 open the driver's dialogs through the control's own interface; the standard
// handling then answers E_NOTIMPL to the container.
void ZuVideoCapCtl::OnPositiveVerb(LONG verb) noexcept {
  switch (verb) {
    case 1: ShowVideoFormat(); break;
    case 2: ShowVideoSource(); break;
    case 3: ShowVideoDisplay(); break;
    default: break;
  }
}

STDMETHODIMP ZuVideoCapCtl::AboutBox() { return RunControlAboutBox(ThisImage(), ZU_IDD_CAP_ABOUT); }

// ---------------------------------------------------------------- the control window

bool ZuVideoCapCtl::OnControlMessage(UINT message, WPARAM wparam, LPARAM lparam,
                                     LRESULT* result) noexcept {
  switch (message) {
    case WM_CREATE:
      *result = OnCreate(*reinterpret_cast<const CREATESTRUCTW*>(lparam));
      return true;
    case WM_DESTROY:
      *result = OnDestroy();
      return true;
    case WM_CONTEXTMENU: {
      *result = 0;
      if (!AmbientUserMode() || enable_popup_menu_ == 0) return true;
      POINT cursor = {0, 0};
      GetCursorPos(&cursor);
      if (HMENU menu = LoadMenuW(ThisImage(), MAKEINTRESOURCEW(ZU_IDM_CAP_POPUP))) {
        if (HMENU popup = GetSubMenu(menu, 0)) {
          TrackPopupMenuEx(popup, TPM_VERTICAL, cursor.x, cursor.y, Window(), nullptr);
        }
        DestroyMenu(menu);
      }
      return true;
    }
    case WM_COMMAND: {
      *result = 0;
      if (capture_window_ == nullptr) return true;
      const CAPDRIVERCAPS caps = Capture().Capabilities();
      DriverDialog dialog;
      switch (wparam) {
        case ZU_IDM_CAP_VIDEO_FORMAT: dialog = DriverDialog::kFormat; break;
        case ZU_IDM_CAP_VIDEO_SOURCE: dialog = DriverDialog::kSource; break;
        case ZU_IDM_CAP_VIDEO_DISPLAY: dialog = DriverDialog::kDisplay; break;
        default: return true;
      }
      if (HasDialog(caps, dialog)) {
        OpenDialog(Capture(), dialog);
      } else {
        ShowCaptureError(ZU_IDS_CAP_NO_DIALOG);
      }
      return true;
    }
    default:
      return false;
  }
}

// ---------------------------------------------------------------- the capture link

LRESULT ZuVideoCapCtl::OnCreate(const CREATESTRUCTW& creation) {
  ReleaseFrameBuffer();
  const int id = static_cast<int>(static_cast<uint16_t>(
      reinterpret_cast<uintptr_t>(creation.hMenu) + kCaptureWindowIdOffset));
  capture_window_ = CreateCaptureWindow(kCaptureWindowTitle, kCaptureWindowStyle, 0, 0,
                                        capture_width_, capture_height_, Window(), id);
  if (capture_window_ == nullptr) return 1;
  RouteCaptureCallbacks(capture_window_, this);
  Capture().SetErrorCallback(&CaptureErrorCallback);
  Capture().SetStatusCallback(&CaptureStatusCallback);
  Capture().SetFrameCallback(&CaptureFrameCallback);
  CenterCaptureWindow();
  if (ConnectDriver()) return 0;
  StopCaptureCallbacks(this);
  DestroyWindow(capture_window_);
  capture_window_ = nullptr;
  return 1;
}

// The driver's format from before the link is neither kept nor restored: while linked the
// control imposes its own, and a driver keeps the last format it was given.
LRESULT ZuVideoCapCtl::OnDestroy() {
  if (capture_window_ == nullptr) return 0;
  ReleaseFrameBuffer();
  Capture().Disconnect();
  driver_connected_ = false;
  StopCaptureCallbacks(this);
  DestroyWindow(capture_window_);
  capture_window_ = nullptr;
  return 0;
}

bool ZuVideoCapCtl::ConnectDriver() {
  if (capture_window_ == nullptr) return false;
  if (driver_connected_) {
    Capture().Disconnect();
    driver_connected_ = false;
  }
  int index = device_id_;
  if (index == -1) {
    for (int candidate = 0; candidate <= kHighestDriverIndex && index == -1; ++candidate) {
      if (CaptureDriverInstalled(candidate)) index = candidate;
    }
    if (index == -1) {
      ShowCaptureError(ZU_IDS_CAP_NO_DRIVER);
      return false;
    }
  } else if (!CaptureDriverInstalled(index)) {
    ShowCaptureError(ZU_IDS_CAP_NO_DRIVER);
    return false;
  }
  if (!Capture().Connect(index)) {
    ShowCaptureError(ZU_IDS_CAP_CONNECT_FAILED);
    return false;
  }
  driver_connected_ = true;

  BITMAPINFO format = {};
  const uint32_t size = Capture().FormatSize();
  if (size > 0) {
    std::unique_ptr<uint8_t, FreeDeleter> block(static_cast<uint8_t*>(std::calloc(1, size)));
    if (block && Capture().GetFormat(block.get(), size)) {
      std::memcpy(&format, block.get(), size < sizeof format ? size : sizeof format);
    }
  }
  if (enable_system_driver_setting_ == 0) {
    BITMAPINFOHEADER& header = format.bmiHeader;
    header.biSize = kBitmapHeaderSize;
    header.biWidth = capture_width_;
    header.biHeight = capture_height_;
    const uint32_t bits = BitCountToBits(bit_count_, custom_bit_count_);
    header.biBitCount = static_cast<WORD>(bits);
    if (BitsToBitCount(bits) != vcpBitCustom) {
      header.biCompression = BI_RGB;
      header.biSizeImage = 0;
    }
  }
  if (!Capture().SetFormat(format)) {
    ShowCaptureError(ZU_IDS_CAP_FORMAT_FAILED);
    Capture().Disconnect();
    driver_connected_ = false;
    return false;
  }
  return true;
}

void ZuVideoCapCtl::CenterCaptureWindow() {
  if (capture_window_ == nullptr) return;
  RECT outer = {0, 0, 0, 0};
  GetWindowRect(Window(), &outer);
  const LONG width = outer.right - outer.left;
  const LONG height = outer.bottom - outer.top;
  const int x = width > capture_width_ ? width / 2 - capture_width_ / 2 : 0;
  const int y = height > capture_height_ ? height / 2 - capture_height_ / 2 : 0;
  SetWindowPos(capture_window_, nullptr, x, y, capture_width_, capture_height_, SWP_NOZORDER);
}

void ZuVideoCapCtl::ShowCaptureError(UINT id) {
  char caption[kCaptionBytes] = {};
  char text[kMessageBytes] = {};
  LoadStringA(ThisImage(), ZU_IDS_CAP_CAPTION, caption, sizeof caption);
  LoadStringA(ThisImage(), id, text, sizeof text);
  MessageBoxA(Window(), text, caption, MB_OK);
}

// Answered only for a capture window of this control's; driver errors and status reports are
// neither shown nor passed on.
LRESULT ZuVideoCapCtl::OnCaptureNotify(HWND capture_window, int, const char*) noexcept {
  return capture_window != nullptr && capture_window == capture_window_ ? TRUE : FALSE;
}

// ---------------------------------------------------------------- drawing

HRESULT ZuVideoCapCtl::OnDraw(HDC dc, const RECT& bounds) noexcept {
  DrawControlSurface(dc, bounds, stock_.BackColor(), stock_.Picture());
  if (!AmbientUserMode() || capture_window_ == nullptr) {
    DrawControlIcon(dc, bounds, ThisImage(), ZU_IDI_CAP_CONTROL);
  }
  return S_OK;
}

// A container that cannot say counts as design time.
bool ZuVideoCapCtl::AmbientUserMode() const {
  return OleControlImpl::AmbientUserMode().value_or(false);
}

}  // namespace zu
