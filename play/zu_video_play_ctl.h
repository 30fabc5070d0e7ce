// ZuVideoPlayCtl: the play control object behind IZuVideoPlayCtl. It takes frames from the host,
// keeps the last one and paints it in its window, fitted by SizeMode.
//
// The host's bytes are untrusted (the control is safe for scripting): a frame is taken only when
// its header, colour table and rows lie within the count, the count within the string, and the
// bit count is one GDI draws uncompressed. Everything painting reads comes from the kept copy.
//
// What every control has comes from the framework's ControlObject: reference counting and
// aggregation, late binding, object safety, persistence through the play property map, class and
// error information, the property-notification connection point, the stock properties BackColor
// and Picture, and the embedding interfaces (site, in-place activation in a window of its own,
// drawing, verbs).
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include <cstdint>

#include "codec/frame_format.h"
#include "play/ambient_properties.h"
#include "shell/control_object.h"
#include "zu_video_play.h"

namespace zu {

// The success flag of RefreshFrame: 1, not VARIANT_TRUE.
constexpr VARIANT_BOOL kFrameTaken = 1;
constexpr VARIANT_BOOL kFrameRefused = 0;
// Two inches square, as extent and natural size.
constexpr uint32_t kInitialExtent = 5080;

class ZuVideoPlayCtl final : public ControlObject<IZuVideoPlayCtl> {
 public:
  // A new control with the default state, as `riid`.
  static HRESULT Create(REFIID riid, void** object);
  // The class table's creation function: with `outer`, an aggregated control's inner unknown.
  static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object);

  // ---------------------------------------------------------------- IZuVideoPlayCtl
  // BackColor and Picture are the framework's stock properties.
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

  // Paints the control into `dc` (in pixels) within `bounds`. With a window the frame is placed
  // in the window's client area and the picture rectangle remembered; without one (printing,
  // metafiles) it is placed in `bounds` and the picture rectangle, which is in the window's
  // coordinates, is neither used nor changed. Always S_OK.
  HRESULT OnDraw(HDC dc, const RECT& bounds) noexcept override;
  // Where the last frame was drawn in the window; all zero when unknown.
  const RECT& PictureRect() const noexcept { return picture_rect_; }
  int32_t CurrentFrameSize() const noexcept { return current_frame_size_; }

 private:
  template <class T>
  friend HRESULT CreateComObject(IUnknown* outer, REFIID riid, void** object);

  explicit ZuVideoPlayCtl(IUnknown* outer);
  ~ZuVideoPlayCtl() override;
  ZuVideoPlayCtl(const ZuVideoPlayCtl&) = delete;
  ZuVideoPlayCtl& operator=(const ZuVideoPlayCtl&) = delete;

  // Takes the frame in the string's first `count` bytes; false when it is refused.
  bool TakeFrame(const BSTR* text, LONG count);
  void InvalidateForNewFrame();
  void DrawFrame(HDC dc, const RECT& bounds);
  void DrawEmpty(HDC dc, const RECT& bounds, bool user_mode);
  bool AmbientUserMode() const;

  // The state, in the order the control's description gives it; BackColor and Picture are held
  // by the stock properties.
  LONG frame_format_ = vpyFormatBMP;
  LONG size_mode_ = vpySizeCLIP;
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

  SiteAmbients site_ambients_{*this};
  AmbientProperties* ambient_ = &site_ambients_;
};

}  // namespace zu
