// OleControlImpl: what makes a control embeddable. A container sites it (IOleObject), activates
// it in place in a child window of its own (IOleInPlaceObject, IOleInPlaceActiveObject), tells it
// of ambient changes (IOleControl), draws it into any device context (IViewObjectEx), sets it up
// in one call (IQuickActivate), advises on its data (IDataObject) and lists its property pages
// (ISpecifyPropertyPages).
//
// The control class derives from it beside its other interfaces, supplies IUnknown (delegating,
// as every interface of the object) and its drawing; it may handle window messages of its own.
// This part owns what it wires together: the control's window, made on in-place activation from
// the framework's window class and destroyed on deactivation, and the change targets the stock
// properties reach (the window, the container's view and data advise sinks). Both controls are
// windowed only: the windowless calls answer that they are not supported.
//
// User type, verbs and miscellaneous status come from the registry, keyed by the class
// identifier, so an unregistered control reports none of them.
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <oleidl.h>
#include <wrl/client.h>

#include <optional>
#include <string>

#include "shell/property_map.h"
#include "shell/stock_properties.h"

namespace zu {

// VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND: the controls paint every pixel of their bounds.
constexpr DWORD kOpaqueViewStatus = VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND;

struct OleControlSettings {
  const CLSID* clsid;              // registry key of user type, verbs and misc status
  const PropertyMapEntry* map;     // where the property pages come from
  SIZEL natural_extent;            // HIMETRIC; also the initial extent
  DWORD view_status;
};

class OleControlImpl : public IViewObjectEx,
                       public IOleInPlaceObjectWindowless,
                       public IOleInPlaceActiveObject,
                       public IOleControl,
                       public IOleObject,
                       public ISpecifyPropertyPages,
                       public IQuickActivate,
                       public IDataObject {
 public:
  explicit OleControlImpl(const OleControlSettings& settings);
  virtual ~OleControlImpl();
  OleControlImpl(const OleControlImpl&) = delete;
  OleControlImpl& operator=(const OleControlImpl&) = delete;

  // ---------------------------------------------------------------- the control's hooks
  // Paints the control into `dc` within `bounds`, with or without a window.
  virtual HRESULT OnDraw(HDC dc, const RECT& bounds) noexcept = 0;
  // A message of the control's window after the framework's own handling (painting, focus,
  // mouse activation) and before reflected notifications go to default processing. True when
  // the control handled it and `*result` is the answer.
  virtual bool OnControlMessage(UINT message, WPARAM wparam, LPARAM lparam,
                                LRESULT* result) noexcept;
  // A positive verb, before DoVerb answers E_NOTIMPL for it (the capture control's driver
  // dialogs). Nothing by default.
  virtual void OnPositiveVerb(LONG verb) noexcept;

  // ---------------------------------------------------------------- the control window
  // The control's child window in `parent` at `position` (parent client coordinates). Null when
  // there is one already or the window cannot be made.
  HWND CreateControlWindow(HWND parent, const RECT& position) noexcept;
  void DestroyControlWindow() noexcept;
  HWND Window() const noexcept { return window_; }

  // Ambient UserMode: nothing when the container cannot say.
  std::optional<bool> AmbientUserMode() const;
  bool InPlaceActive() const noexcept { return in_place_active_; }
  bool UIActive() const noexcept { return ui_active_; }
  // Events are frozen while the container's FreezeEvents(TRUE) calls outnumber its
  // FreezeEvents(FALSE) calls; event connection points made with it fire nothing meanwhile.
  const LONG* FreezeCount() const noexcept { return &frozen_events_; }

  // What the stock properties reach (the window is kept here while it exists) and the extent
  // that the property map persists.
  ControlChangeTargets& ChangeTargets() noexcept { return targets_; }
  PersistedExtent& Extent() noexcept { return extent_; }

  // ---------------------------------------------------------------- IOleWindow
  STDMETHODIMP GetWindow(HWND* phwnd) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL fEnterMode) override;

  // ---------------------------------------------------------------- IOleInPlaceObject
  STDMETHODIMP InPlaceDeactivate() override;
  STDMETHODIMP UIDeactivate() override;
  STDMETHODIMP SetObjectRects(LPCRECT lprcPosRect, LPCRECT lprcClipRect) override;
  STDMETHODIMP ReactivateAndUndo() override;

  // ---------------------------------------------------------------- IOleInPlaceObjectWindowless
  STDMETHODIMP OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* plResult) override;
  STDMETHODIMP GetDropTarget(IDropTarget** ppDropTarget) override;

  // ---------------------------------------------------------------- IOleInPlaceActiveObject
  STDMETHODIMP TranslateAccelerator(LPMSG lpmsg) override;
  STDMETHODIMP OnFrameWindowActivate(BOOL fActivate) override;
  STDMETHODIMP OnDocWindowActivate(BOOL fActivate) override;
  STDMETHODIMP ResizeBorder(LPCRECT prcBorder, IOleInPlaceUIWindow* pUIWindow,
                            BOOL fFrameWindow) override;
  STDMETHODIMP EnableModeless(BOOL fEnable) override;

  // ---------------------------------------------------------------- IOleControl
  STDMETHODIMP GetControlInfo(CONTROLINFO* pCI) override;
  STDMETHODIMP OnMnemonic(MSG* pMsg) override;
  STDMETHODIMP OnAmbientPropertyChange(DISPID dispID) override;
  STDMETHODIMP FreezeEvents(BOOL bFreeze) override;

  // ---------------------------------------------------------------- IOleObject
  STDMETHODIMP SetClientSite(IOleClientSite* pClientSite) override;
  STDMETHODIMP GetClientSite(IOleClientSite** ppClientSite) override;
  STDMETHODIMP SetHostNames(LPCOLESTR szContainerApp, LPCOLESTR szContainerObj) override;
  STDMETHODIMP Close(DWORD dwSaveOption) override;
  STDMETHODIMP SetMoniker(DWORD dwWhichMoniker, IMoniker* pmk) override;
  STDMETHODIMP GetMoniker(DWORD dwAssign, DWORD dwWhichMoniker, IMoniker** ppmk) override;
  STDMETHODIMP InitFromData(IDataObject* pDataObject, BOOL fCreation, DWORD dwReserved) override;
  STDMETHODIMP GetClipboardData(DWORD dwReserved, IDataObject** ppDataObject) override;
  STDMETHODIMP DoVerb(LONG iVerb, LPMSG lpmsg, IOleClientSite* pActiveSite, LONG lindex,
                      HWND hwndParent, LPCRECT lprcPosRect) override;
  STDMETHODIMP EnumVerbs(IEnumOLEVERB** ppEnumOleVerb) override;
  STDMETHODIMP Update() override;
  STDMETHODIMP IsUpToDate() override;
  STDMETHODIMP GetUserClassID(CLSID* pClsid) override;
  STDMETHODIMP GetUserType(DWORD dwFormOfType, LPOLESTR* pszUserType) override;
  STDMETHODIMP SetExtent(DWORD dwDrawAspect, SIZEL* psizel) override;
  STDMETHODIMP GetExtent(DWORD dwDrawAspect, SIZEL* psizel) override;
  STDMETHODIMP Advise(IAdviseSink* pAdvSink, DWORD* pdwConnection) override;
  STDMETHODIMP Unadvise(DWORD dwConnection) override;
  STDMETHODIMP EnumAdvise(IEnumSTATDATA** ppenumAdvise) override;
  STDMETHODIMP GetMiscStatus(DWORD dwAspect, DWORD* pdwStatus) override;
  STDMETHODIMP SetColorScheme(LOGPALETTE* pLogpal) override;

  // ---------------------------------------------------------------- IViewObject
  STDMETHODIMP Draw(DWORD dwDrawAspect, LONG lindex, void* pvAspect, DVTARGETDEVICE* ptd,
                    HDC hdcTargetDev, HDC hdcDraw, LPCRECTL lprcBounds, LPCRECTL lprcWBounds,
                    WINBOOL(STDMETHODCALLTYPE* pfnContinue)(ULONG_PTR dwContinue),
                    ULONG_PTR dwContinue) override;
  STDMETHODIMP GetColorSet(DWORD dwDrawAspect, LONG lindex, void* pvAspect, DVTARGETDEVICE* ptd,
                           HDC hicTargetDev, LOGPALETTE** ppColorSet) override;
  STDMETHODIMP Freeze(DWORD dwDrawAspect, LONG lindex, void* pvAspect, DWORD* pdwFreeze) override;
  STDMETHODIMP Unfreeze(DWORD dwFreeze) override;
  STDMETHODIMP SetAdvise(DWORD aspects, DWORD advf, IAdviseSink* pAdvSink) override;
  STDMETHODIMP GetAdvise(DWORD* pAspects, DWORD* pAdvf, IAdviseSink** ppAdvSink) override;

  // ---------------------------------------------------------------- IViewObject2
  STDMETHODIMP GetExtent(DWORD dwDrawAspect, LONG lindex, DVTARGETDEVICE* ptd,
                         LPSIZEL lpsizel) override;

  // ---------------------------------------------------------------- IViewObjectEx
  STDMETHODIMP GetRect(DWORD dwAspect, LPRECTL pRect) override;
  STDMETHODIMP GetViewStatus(DWORD* pdwStatus) override;
  STDMETHODIMP QueryHitPoint(DWORD dwAspect, LPCRECT pRectBounds, POINT ptlLoc, LONG lCloseHint,
                             DWORD* pHitResult) override;
  STDMETHODIMP QueryHitRect(DWORD dwAspect, LPCRECT pRectBounds, LPCRECT pRectLoc,
                            LONG lCloseHint, DWORD* pHitResult) override;
  STDMETHODIMP GetNaturalExtent(DWORD dwAspect, LONG lindex, DVTARGETDEVICE* ptd,
                                HDC hicTargetDev, DVEXTENTINFO* pExtentInfo,
                                LPSIZEL pSizel) override;

  // ---------------------------------------------------------------- ISpecifyPropertyPages
  STDMETHODIMP GetPages(CAUUID* pPages) override;

  // ---------------------------------------------------------------- IQuickActivate
  STDMETHODIMP QuickActivate(QACONTAINER* pQaContainer, QACONTROL* pQaControl) override;
  STDMETHODIMP SetContentExtent(LPSIZEL pSizel) override;
  STDMETHODIMP GetContentExtent(LPSIZEL pSizel) override;

  // ---------------------------------------------------------------- IDataObject
  STDMETHODIMP GetData(FORMATETC* pformatetcIn, STGMEDIUM* pmedium) override;
  STDMETHODIMP GetDataHere(FORMATETC* pformatetc, STGMEDIUM* pmedium) override;
  STDMETHODIMP QueryGetData(FORMATETC* pformatetc) override;
  STDMETHODIMP GetCanonicalFormatEtc(FORMATETC* pformatectIn, FORMATETC* pformatetcOut) override;
  STDMETHODIMP SetData(FORMATETC* pformatetc, STGMEDIUM* pmedium, BOOL fRelease) override;
  STDMETHODIMP EnumFormatEtc(DWORD dwDirection, IEnumFORMATETC** ppenumFormatEtc) override;
  STDMETHODIMP DAdvise(FORMATETC* pformatetc, DWORD advf, IAdviseSink* pAdvSink,
                       DWORD* pdwConnection) override;
  STDMETHODIMP DUnadvise(DWORD dwConnection) override;
  STDMETHODIMP EnumDAdvise(IEnumSTATDATA** ppenumAdvise) override;

 protected:
  // Drops everything obtained from the client site's side: the in-place objects and the
  // container's view advise sink. Close, a new client site and destruction call it.
  void ReleaseSiteObjects() noexcept;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT OnMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void OnPaint(HDC given_dc);
  // WM_SETFOCUS, WM_KILLFOCUS (with the window getting the focus) and WM_MOUSEACTIVATE; the
  // message then goes on to default processing.
  void OnSetFocus() noexcept;
  void OnKillFocus(HWND gaining) noexcept;
  void OnMouseActivate() noexcept;
  // The in-place site, the frame and the document window; in-place deactivation drops them.
  void ReleaseInPlaceObjects() noexcept;
  HRESULT ActivateInPlace(LONG verb, HWND parent_hint, const RECT* position_hint);
  HRESULT ShowProperties(HWND owner_hint);
  HWND ContainerWindow(HWND hint) const;
  void ApplyClip(const RECT& position, const RECT* clip);
  IUnknown* Identity();

  const CLSID clsid_;
  const PropertyMapEntry* map_;
  const SIZEL natural_extent_;
  const DWORD view_status_;
  ControlChangeTargets targets_;
  PersistedExtent extent_;
  HWND window_ = nullptr;

  Microsoft::WRL::ComPtr<IOleClientSite> client_site_;
  Microsoft::WRL::ComPtr<IOleInPlaceSite> in_place_site_;
  Microsoft::WRL::ComPtr<IOleInPlaceSiteEx> in_place_site_ex_;
  Microsoft::WRL::ComPtr<IOleInPlaceFrame> frame_;
  Microsoft::WRL::ComPtr<IOleInPlaceUIWindow> document_;
  Microsoft::WRL::ComPtr<IOleAdviseHolder> ole_advise_;
  DWORD view_aspects_ = 0;
  DWORD view_advise_flags_ = 0;
  std::wstring object_name_;
  RECT position_ = {0, 0, 0, 0};
  bool in_place_active_ = false;
  bool ui_active_ = false;
  LONG frozen_events_ = 0;
};

}  // namespace zu
