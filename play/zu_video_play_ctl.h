// ZuVideoPlayCtl: the play control object behind IZuVideoPlayCtl. It takes frames from the host,
// keeps the last one and paints it in its window, fitted by SizeMode.
//
// The host's bytes are untrusted (the control is safe for scripting): a frame is taken only when
// its header, colour table and rows lie within the count, the count within the string, and the
// bit count is one GDI draws uncompressed. Everything painting reads comes from the kept copy.
//
// What every control has comes from the shell: reference counting and aggregation, late binding
// through the registered type library, object safety, persistence through the play property
// map, class and error information, the property-notification connection point, the stock
// properties BackColor and Picture, and the embedding interfaces (site, in-place activation in a
// window of its own, drawing, verbs).
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include <cstdint>

#include "codec/frame_format.h"
#include "play/ambient_properties.h"
#include "shell/class_info.h"
#include "shell/com_object.h"
#include "shell/connection_point.h"
#include "shell/dual_dispatch.h"
#include "shell/object_safety.h"
#include "shell/ole_control.h"
#include "shell/persistence.h"
#include "shell/stock_properties.h"
#include "zu_video_play.h"

namespace zu {

// The success flag of RefreshFrame: 1, not VARIANT_TRUE.
constexpr VARIANT_BOOL kFrameTaken = 1;
constexpr VARIANT_BOOL kFrameRefused = 0;
// Two inches square, as extent and natural size.
constexpr uint32_t kInitialExtent = 5080;

class ZuVideoPlayCtl final : public ComObjectRoot,
                             public DualDispatch<IZuVideoPlayCtl>,
                             public ObjectSafetyImpl,
                             public OleControlImpl,
                             public PersistImpl,
                             public SupportErrorInfoImpl,
                             public ConnectionPointContainerImpl,
                             public ProvideClassInfo2Impl {
 public:
  ZU_DELEGATING_UNKNOWN

  // A new control with the default state, as `riid`.
  static HRESULT Create(REFIID riid, void** object);
  // The class table's creation function: with `outer`, an aggregated control's inner unknown.
  static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object);

  // ---------------------------------------------------------------- IZuVideoPlayCtl
  STDMETHODIMP put_BackColor(OLE_COLOR clr) override;
  STDMETHODIMP get_BackColor(OLE_COLOR* pclr) override;
  STDMETHODIMP putref_Picture(IPictureDisp* pPicture) override;
  STDMETHODIMP put_Picture(IPictureDisp* pPicture) override;
  STDMETHODIMP get_Picture(IPictureDisp** ppPicture) override;
  STDMETHODIMP get_FrameFormat(VpyFrameFormat* pVal) override;
  STDMETHODIMP put_FrameFormat(VpyFrameFormat newVal) override;
  STDMETHODIMP get_SizeMode(VpySizeMode* pVal) override;
  STDMETHODIMP put_SizeMode(VpySizeMode newVal) override;
  STDMETHODIMP RefreshFrame(BSTR* pbstrFrameData, LONG nFrameData,
                            VARIANT_BOOL* pbSuccess) override;
  STDMETHODIMP RefreshFrameEx(VARIANT vFrameData, LONG nFrameData,
                              VARIANT_BOOL* pbSuccess) override;
  STDMETHODIMP get_Version(LONG* pVal) override;
  STDMETHODIMP put_Version(LONG newVal) override;
  STDMETHODIMP AboutBox() override;

  // ---------------------------------------------------------------- container side
  // Where ambient properties come from: the client site unless a test says otherwise; not owned,
  // may be null (design mode).
  void SetAmbientProperties(AmbientProperties* ambient) noexcept { ambient_ = ambient; }

  // The control's child window in `parent` at `position` (parent client coordinates). Null when
  // there is one already or the window cannot be made.
  HWND CreateControlWindow(HWND parent, const RECT& position) noexcept override;
  void DestroyControlWindow() noexcept override;
  HWND Window() const noexcept override { return window_; }

  // Paints the control into `dc` (in pixels) within `bounds`. With a window the frame is placed
  // in the window's client area and the picture rectangle remembered; without one (printing,
  // metafiles) it is placed in `bounds` and the picture rectangle, which is in the window's
  // coordinates, is neither used nor changed. Always S_OK.
  HRESULT OnDraw(HDC dc, const RECT& bounds) noexcept override;
  // Stretches Picture, if any, over `rect` the right way up.
  void DrawBackgroundPicture(HDC dc, const RECT& rect) noexcept;

  // Where the last frame was drawn in the window; all zero when unknown.
  const RECT& PictureRect() const noexcept { return picture_rect_; }
  int32_t CurrentFrameSize() const noexcept { return current_frame_size_; }

  // What the embedding code keeps up to date for the stock properties (the window is kept here).
  ControlChangeTargets& ChangeTargets() noexcept { return targets_; }
  PersistedExtent& Extent() noexcept { return extent_; }

 protected:
  HRESULT QueryInterfaceInner(REFIID riid, void** object) override;

 private:
  template <class T>
  friend HRESULT CreateComObject(IUnknown* outer, REFIID riid, void** object);

  explicit ZuVideoPlayCtl(IUnknown* outer);
  ~ZuVideoPlayCtl() override;
  ZuVideoPlayCtl(const ZuVideoPlayCtl&) = delete;
  ZuVideoPlayCtl& operator=(const ZuVideoPlayCtl&) = delete;

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT OnMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void OnPaint(HDC given_dc);

  // Takes the frame in the string's first `count` bytes; false when it is refused.
  bool TakeFrame(const BSTR* text, LONG count);
  void InvalidateForNewFrame();
  void DrawFrame(HDC dc, const RECT& bounds);
  void DrawEmpty(HDC dc, const RECT& bounds, bool user_mode);
  bool AmbientUserMode() const;
  COLORREF BackgroundColor() const;

  ConnectionPoint property_notify_;
  ControlChangeTargets targets_;
  PersistedExtent extent_ = {kInitialExtent, kInitialExtent};

  // The state, in the order the control's description gives it; BackColor and Picture are held
  // by the stock properties.
  LONG frame_format_ = vpyFormatBMP;
  LONG size_mode_ = vpySizeCLIP;
  StockProperties stock_;
  uint32_t version_major_ = 1;
  uint32_t version_minor_ = 0;
  FrameBlock current_frame_;  // a checked BMP-variant frame, or null
  int32_t current_frame_size_ = 0;
  RECT picture_rect_ = {0, 0, 0, 0};

  // Ambient properties as the client site answers them; a site that cannot counts as design mode.
  class SiteAmbients final : public AmbientProperties {
   public:
    explicit SiteAmbients(const OleControlImpl& control) : control_(control) {}
    bool UserMode() override { return control_.AmbientUserMode().value_or(false); }

   private:
    const OleControlImpl& control_;
  };

  HWND window_ = nullptr;
  SiteAmbients site_ambients_{*this};
  AmbientProperties* ambient_ = &site_ambients_;
};

}  // namespace zu
