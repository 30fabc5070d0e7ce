// ZuVideoCapCtl: the capture control object behind IZuVideoCapCtl. It holds the capture
// properties, ties a capture driver to its window (the capture link: a capture child window that
// paints the live preview, the driver chosen by DeviceID and the format the properties ask for),
// grabs a frame every CaptureElapse milliseconds between Start and Stop, and hands each frame to
// its host in the Capture or CaptureEx event, as a packed DIB or as PNG.
//
// The capture link lives exactly as long as the control's window: WM_CREATE starts it, WM_DESTROY
// ends it. Failures the user must see (no driver, a refused connection or format) are shown in
// message boxes, not returned to the host.
//
// What every control has comes from the framework's ControlObject (see shell/control_object.h).
#pragma once

#include <windows.h>

#include <vfw.h>

#include <cstdint>

#include "capture/capture_callbacks.h"
#include "capture/capture_window.h"
#include "codec/frame_format.h"
#include "shell/control_object.h"
#include "zu_video_cap.h"

namespace zu {

// Bits per pixel of a VcpBitCount value; vcpBitCustom gives `custom` read as unsigned 16 bits,
// any value outside the table 24.
uint32_t BitCountToBits(LONG bit_count, int16_t custom);
// The VcpBitCount value of a number of bits per pixel; vcpBitCustom for any other number.
LONG BitsToBitCount(uint32_t bits);

// Two inches square, as extent and natural size.
constexpr int32_t kCaptureInitialExtent = 5080;

// Made by CreateComObject<ZuVideoCapCtl>, the class table's creation function too.
class ZuVideoCapCtl final : public ControlObject<IZuVideoCapCtl>, public CaptureCallbackTarget {
 public:
  // ---------------------------------------------------------------- IZuVideoCapCtl
  // BackColor and Picture are the framework's stock properties.
  STDMETHODIMP get_BitCount(VcpBitCount* pVal) override;
  STDMETHODIMP put_BitCount(VcpBitCount newVal) override;
  STDMETHODIMP get_CaptureElapse(LONG* pVal) override;
  STDMETHODIMP put_CaptureElapse(LONG newVal) override;
  STDMETHODIMP get_CaptureFormat(VcpCaptureFormat* pVal) override;
  STDMETHODIMP put_CaptureFormat(VcpCaptureFormat newVal) override;
  STDMETHODIMP Start() override;
  STDMETHODIMP Stop() override;
  STDMETHODIMP get_CaptureWidth(LONG* pVal) override;
  STDMETHODIMP put_CaptureWidth(LONG newVal) override;
  STDMETHODIMP get_CaptureHeight(LONG* pVal) override;
  STDMETHODIMP put_CaptureHeight(LONG newVal) override;
  STDMETHODIMP ShowVideoFormat() override;
  STDMETHODIMP get_Version(LONG* pVal) override;
  STDMETHODIMP put_Version(LONG newVal) override;
  STDMETHODIMP get_CaptureExEvent(VARIANT_BOOL* pVal) override;
  STDMETHODIMP put_CaptureExEvent(VARIANT_BOOL newVal) override;
  STDMETHODIMP Snapshot(BSTR pszFileName, VcpCaptureFormat Format) override;
  STDMETHODIMP get_DeviceID(short* pVal) override;
  STDMETHODIMP put_DeviceID(short newVal) override;
  STDMETHODIMP get_EnableSystemDriverSetting(LONG* pVal) override;
  STDMETHODIMP put_EnableSystemDriverSetting(LONG newVal) override;
  STDMETHODIMP get_CustomBitCount(short* pVal) override;
  STDMETHODIMP put_CustomBitCount(short newVal) override;
  STDMETHODIMP get_EnablePopupMenu(LONG* pVal) override;
  STDMETHODIMP put_EnablePopupMenu(LONG newVal) override;
  STDMETHODIMP ShowVideoSource() override;
  STDMETHODIMP ShowVideoDisplay() override;
  STDMETHODIMP AboutBox() override;

  // ---------------------------------------------------------------- the capture link
  // The capture child window while the link has one, else null.
  HWND CaptureWindowHandle() const noexcept { return capture_window_; }
  bool DriverConnected() const noexcept { return driver_connected_; }
  // The last frame assembled, in the BMP variant; null when there is none.
  const uint8_t* FrameBuffer() const noexcept { return frame_buffer_.get(); }
  uint32_t FrameBufferSize() const noexcept { return frame_buffer_size_; }

  // Paints background, edge, picture and, at design time or without a capture window, the icon.
  HRESULT OnDraw(HDC dc, const RECT& bounds) noexcept override;

  // ---------------------------------------------------------------- capture callbacks
  LRESULT OnCaptureNotify(HWND capture_window, int id, const char* text) noexcept override;
  LRESULT OnCaptureFrame(HWND capture_window, VIDEOHDR* header) noexcept override;

 protected:
  bool OnControlMessage(UINT message, WPARAM wparam, LPARAM lparam,
                        LRESULT* result) noexcept override;
  void OnPositiveVerb(LONG verb) noexcept override;
  void FinalRelease() noexcept override;

 private:
  template <class T>
  friend HRESULT CreateComObject(IUnknown* outer, REFIID riid, void** object);

  explicit ZuVideoCapCtl(IUnknown* outer);
  ~ZuVideoCapCtl() override;

  // The link: started by WM_CREATE (0 when a driver is connected and the format set, else 1),
  // ended by WM_DESTROY.
  LRESULT OnCreate(const CREATESTRUCTW& creation);
  LRESULT OnDestroy();
  // Reconnects the chosen driver and imposes the format; false after its message box.
  bool ConnectDriver();
  void CenterCaptureWindow();
  // A modal message box with string `id`, captioned with string 107, owned by the control window.
  void ShowCaptureError(UINT id);
  void ReleaseFrameBuffer() noexcept;
  // Fires CaptureEx when CaptureExEvent is set, else Capture, with the string and its byte count.
  void FireCaptureEvent(BSTR* text, LONG count);
  CaptureWindow Capture() const noexcept { return CaptureWindow(capture_window_); }
  bool AmbientUserMode() const;

  // The properties, with their defaults; BackColor and Picture are the stock properties.
  LONG capture_width_ = 80;
  LONG capture_height_ = 60;
  LONG bit_count_ = vcpBit24;
  int16_t custom_bit_count_ = 24;
  LONG capture_elapse_ = 3000;
  LONG capture_format_ = vcpFormatBMP;
  LONG capture_ex_event_ = 0;  // VARIANT_BOOL sign-extended: true is -1
  int16_t device_id_ = -1;
  LONG enable_system_driver_setting_ = 0;
  LONG enable_popup_menu_ = 0;
  uint16_t version_major_ = 1;
  uint16_t version_minor_ = 0;

  // The link's state.
  HWND capture_window_ = nullptr;
  bool driver_connected_ = false;
  FrameBlock frame_buffer_;
  uint32_t frame_buffer_size_ = 0;
};

}  // namespace zu
