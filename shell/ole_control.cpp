#include "shell/ole_control.h"

#include <olectl.h>

#include <cstring>
#include <cstddef>
#include <vector>

#include "shell/ambient.h"
#include "shell/com_util.h"
#include "shell/control_window_class.h"
#include "shell/module.h"

namespace zu {

using Microsoft::WRL::ComPtr;

namespace {

// Clears an out-parameter that may be null (optional outputs of GetAdvise and the like).
template <class T>
void ClearIfGiven(T* out) {
  if (out) *out = {};
}

}  // namespace

OleControlImpl::OleControlImpl(const OleControlSettings& settings)
    : clsid_(*settings.clsid),
      map_(settings.map),
      natural_extent_(settings.natural_extent),
      view_status_(settings.view_status),
      extent_{static_cast<uint32_t>(settings.natural_extent.cx),
              static_cast<uint32_t>(settings.natural_extent.cy)} {
  // Named in data-change notices; not a reference, the notices go out while the control lives.
  targets_.data_object = static_cast<IDataObject*>(this);
}

// The derived control is gone by now: its window was destroyed while it still could answer.
OleControlImpl::~OleControlImpl() {
  DestroyControlWindow();
  ReleaseSiteObjects();
}

bool OleControlImpl::OnControlMessage(UINT, WPARAM, LPARAM, LRESULT*) noexcept { return false; }

void OleControlImpl::OnPositiveVerb(LONG) noexcept {}

IUnknown* OleControlImpl::Identity() { return static_cast<IOleObject*>(this); }

void OleControlImpl::ReleaseInPlaceObjects() noexcept {
  frame_.Reset();
  document_.Reset();
  in_place_site_ex_.Reset();
  in_place_site_.Reset();
}

// A container's view sink often holds the container's site, and so the control: kept past
// Close, the two would keep each other alive.
void OleControlImpl::ReleaseSiteObjects() noexcept {
  ReleaseInPlaceObjects();
  targets_.view_sink.Reset();
  view_aspects_ = 0;
  view_advise_flags_ = 0;
}

std::optional<bool> OleControlImpl::AmbientUserMode() const {
  return ReadAmbientBool(client_site_.Get(), DISPID_AMBIENT_USERMODE);
}

// ---------------------------------------------------------------- the control window

namespace {

constexpr DWORD kWindowStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;

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

}  // namespace

HWND OleControlImpl::CreateControlWindow(HWND parent, const RECT& position) noexcept {
  if (window_ != nullptr) return nullptr;
  const HINSTANCE instance = ThisImage();
  const ATOM window_class = RegisterControlWindowClass(&OleControlImpl::WindowProc, instance);
  if (window_class == 0) return nullptr;
  // window_ is set by WM_NCCREATE, so that messages sent during creation find the control.
  return CreateWindowExW(0, MAKEINTATOM(window_class), nullptr, kWindowStyle, position.left,
                         position.top, position.right - position.left,
                         position.bottom - position.top, parent, nullptr, instance, this);
}

void OleControlImpl::DestroyControlWindow() noexcept {
  if (window_ != nullptr) DestroyWindow(window_);
}

LRESULT CALLBACK OleControlImpl::WindowProc(HWND window, UINT message, WPARAM wparam,
                                            LPARAM lparam) {
  auto* control = reinterpret_cast<OleControlImpl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_NCCREATE) {
    control = static_cast<OleControlImpl*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(control));
    control->window_ = window;
    control->targets_.window = window;
  }
  if (control == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  return control->OnMessage(message, wparam, lparam);
}

LRESULT OleControlImpl::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
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
    default:
      break;
  }
  LRESULT result = 0;
  if (message != WM_PAINT && OnControlMessage(message, wparam, lparam, &result)) return result;
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    window_ = nullptr;
    targets_.window = nullptr;
  } else if (IsReflectedNotification(message)) {
    return DefWindowProcW(window, message - kReflectBase, wparam, lparam);
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

// A device context in the first parameter is drawn into as it is; the update region stays.
void OleControlImpl::OnPaint(HDC given_dc) {
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

void OleControlImpl::OnSetFocus() noexcept {
  if (!in_place_active_) return;
  RECT position = position_;
  DoVerb(OLEIVERB_UIACTIVATE, nullptr, client_site_.Get(), 0, Window(), &position);
  ComPtr<IOleControlSite> control_site;
  if (client_site_ && SUCCEEDED(client_site_.As(&control_site))) control_site->OnFocus(TRUE);
}

void OleControlImpl::OnKillFocus(HWND gaining) noexcept {
  if (!in_place_active_) return;
  // Focus moving to a child of the control stays within the control.
  const HWND window = Window();
  if (window && gaining && IsChild(window, gaining)) return;
  ComPtr<IOleControlSite> control_site;
  if (client_site_ && SUCCEEDED(client_site_.As(&control_site))) control_site->OnFocus(FALSE);
}

void OleControlImpl::OnMouseActivate() noexcept {
  const std::optional<bool> user_mode = AmbientUserMode();
  if (user_mode.has_value() && !*user_mode) return;
  RECT position = position_;
  DoVerb(OLEIVERB_UIACTIVATE, nullptr, client_site_.Get(), 0, Window(), &position);
}

// ---------------------------------------------------------------- IOleWindow

STDMETHODIMP OleControlImpl::GetWindow(HWND* phwnd) {
  ZU_CHECK_AND_CLEAR(phwnd);
  *phwnd = Window();
  return *phwnd ? S_OK : E_FAIL;
}

STDMETHODIMP OleControlImpl::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

// ---------------------------------------------------------------- in-place activation

HWND OleControlImpl::ContainerWindow(HWND hint) const {
  HWND window = nullptr;
  if (in_place_site_ && SUCCEEDED(in_place_site_->GetWindow(&window)) && window) return window;
  ComPtr<IOleWindow> site_window;
  if (client_site_ && SUCCEEDED(client_site_.As(&site_window)) &&
      SUCCEEDED(site_window->GetWindow(&window)) && window) {
    return window;
  }
  return hint;
}

// Shows only the part of the window that lies within the container's clip rectangle.
void OleControlImpl::ApplyClip(const RECT& position, const RECT* clip) {
  const HWND window = Window();
  if (window == nullptr) return;
  RECT visible;
  if (clip == nullptr || !IntersectRect(&visible, &position, clip) ||
      EqualRect(&visible, &position)) {
    SetWindowRgn(window, nullptr, TRUE);
    return;
  }
  OffsetRect(&visible, -position.left, -position.top);
  if (HRGN region = CreateRectRgnIndirect(&visible)) {
    // The window owns the region from here on.
    if (!SetWindowRgn(window, region, TRUE)) DeleteObject(region);
  }
}

HRESULT OleControlImpl::ActivateInPlace(LONG verb, HWND parent_hint, const RECT* position_hint) {
  if (!client_site_) return E_UNEXPECTED;
  if (!in_place_active_) {
    ComPtr<IOleInPlaceSite> site;
    ZU_RETURN_IF_FAILED(client_site_.As(&site));
    ComPtr<IOleInPlaceSiteEx> site_ex;
    site.As(&site_ex);
    const HRESULT can = site->CanInPlaceActivate();
    if (can != S_OK) return FAILED(can) ? can : E_FAIL;
    if (site_ex) {
      BOOL no_redraw = FALSE;
      ZU_RETURN_IF_FAILED(site_ex->OnInPlaceActivateEx(&no_redraw, 0));
    } else {
      ZU_RETURN_IF_FAILED(site->OnInPlaceActivate());
    }
    in_place_site_ = site;
    in_place_site_ex_ = site_ex;
    in_place_active_ = true;
  }

  if (Window() == nullptr) {
    RECT position = position_hint ? *position_hint : RECT{0, 0, 0, 0};
    RECT clip = position;
    OLEINPLACEFRAMEINFO info = {};
    info.cb = sizeof info;
    frame_.Reset();
    document_.Reset();
    HRESULT hr = in_place_site_->GetWindowContext(&frame_, &document_, &position, &clip, &info);
    HWND created = nullptr;
    if (SUCCEEDED(hr)) {
      position_ = position;
      created = CreateControlWindow(ContainerWindow(parent_hint), position);
      if (created == nullptr) hr = E_FAIL;
    }
    if (FAILED(hr)) {
      // Back to loaded: the site was told the control went in place.
      InPlaceDeactivate();
      return hr;
    }
    ApplyClip(position, &clip);
  }

  if (verb == OLEIVERB_SHOW) {
    ShowWindow(Window(), SW_SHOW);
    client_site_->ShowObject();
  }

  if (verb == OLEIVERB_UIACTIVATE && !ui_active_) {
    // A container may keep the user interface to itself; the control then stays in place.
    if (in_place_site_ex_ && in_place_site_ex_->RequestUIActivate() != S_OK) return S_OK;
    // Set first: taking the focus comes back here through WM_SETFOCUS.
    ui_active_ = true;
    const HWND window = Window();
    const HWND focus = GetFocus();
    if (window && focus != window && !IsChild(window, focus)) SetFocus(window);
    in_place_site_->OnUIActivate();
    IOleInPlaceActiveObject* active = this;
    if (frame_) frame_->SetActiveObject(active, object_name_.c_str());
    if (document_) document_->SetActiveObject(active, object_name_.c_str());
    // No toolbars: the frame keeps its space.
    if (frame_) frame_->SetBorderSpace(nullptr);
    if (document_) document_->SetBorderSpace(nullptr);
  }
  return S_OK;
}

// ---------------------------------------------------------------- IOleInPlaceObject

STDMETHODIMP OleControlImpl::InPlaceDeactivate() {
  if (!in_place_active_) return S_OK;
  UIDeactivate();
  in_place_active_ = false;
  DestroyControlWindow();
  if (in_place_site_ex_) {
    in_place_site_ex_->OnInPlaceDeactivateEx(TRUE);
  } else if (in_place_site_) {
    in_place_site_->OnInPlaceDeactivate();
  }
  ReleaseInPlaceObjects();
  return S_OK;
}

STDMETHODIMP OleControlImpl::UIDeactivate() {
  if (!ui_active_) return S_OK;
  ui_active_ = false;
  if (frame_) frame_->SetActiveObject(nullptr, nullptr);
  if (document_) document_->SetActiveObject(nullptr, nullptr);
  if (in_place_site_) in_place_site_->OnUIDeactivate(FALSE);
  return S_OK;
}

STDMETHODIMP OleControlImpl::SetObjectRects(LPCRECT lprcPosRect, LPCRECT lprcClipRect) {
  if (lprcPosRect == nullptr) return E_POINTER;
  position_ = *lprcPosRect;
  if (const HWND window = Window()) {
    SetWindowPos(window, nullptr, position_.left, position_.top, position_.right - position_.left,
                 position_.bottom - position_.top, SWP_NOZORDER | SWP_NOACTIVATE);
    ApplyClip(position_, lprcClipRect);
  }
  return S_OK;
}

STDMETHODIMP OleControlImpl::ReactivateAndUndo() { return E_NOTIMPL; }

// ---------------------------------------------------------------- IOleInPlaceObjectWindowless

// The control always has a window of its own: container-routed messages are not its business.
STDMETHODIMP OleControlImpl::OnWindowMessage(UINT, WPARAM, LPARAM, LRESULT* plResult) {
  ClearIfGiven(plResult);
  return S_FALSE;
}

STDMETHODIMP OleControlImpl::GetDropTarget(IDropTarget** ppDropTarget) {
  ZU_CHECK_AND_CLEAR(ppDropTarget);
  return E_NOTIMPL;
}

// ---------------------------------------------------------------- IOleInPlaceActiveObject

// The control has no accelerators.
STDMETHODIMP OleControlImpl::TranslateAccelerator(LPMSG) { return S_FALSE; }
STDMETHODIMP OleControlImpl::OnFrameWindowActivate(BOOL) { return S_OK; }
STDMETHODIMP OleControlImpl::OnDocWindowActivate(BOOL) { return S_OK; }
STDMETHODIMP OleControlImpl::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }
STDMETHODIMP OleControlImpl::EnableModeless(BOOL) { return S_OK; }

// ---------------------------------------------------------------- IOleControl

STDMETHODIMP OleControlImpl::GetControlInfo(CONTROLINFO* pCI) {
  if (pCI == nullptr) return E_POINTER;
  // No mnemonics, no accelerators; cb is the container's.
  pCI->hAccel = nullptr;
  pCI->cAccel = 0;
  pCI->dwFlags = 0;
  return S_OK;
}

STDMETHODIMP OleControlImpl::OnMnemonic(MSG*) { return E_NOTIMPL; }

// Ambients are read when they are needed; a change is not a reason to repaint.
STDMETHODIMP OleControlImpl::OnAmbientPropertyChange(DISPID) { return S_OK; }

STDMETHODIMP OleControlImpl::FreezeEvents(BOOL bFreeze) {
  frozen_events_ += bFreeze ? 1 : (frozen_events_ > 0 ? -1 : 0);
  return S_OK;
}

// ---------------------------------------------------------------- IOleObject

STDMETHODIMP OleControlImpl::SetClientSite(IOleClientSite* pClientSite) {
  if (pClientSite == client_site_.Get()) return S_OK;
  // A control moved to another site, or taken from its site, leaves the old one's window.
  InPlaceDeactivate();
  ReleaseSiteObjects();
  client_site_ = pClientSite;
  return S_OK;
}

STDMETHODIMP OleControlImpl::GetClientSite(IOleClientSite** ppClientSite) {
  ZU_CHECK_AND_CLEAR(ppClientSite);
  *ppClientSite = client_site_.Get();
  if (*ppClientSite) (*ppClientSite)->AddRef();
  return S_OK;
}

// The object name labels the control when it becomes the frame's active object.
STDMETHODIMP OleControlImpl::SetHostNames(LPCOLESTR, LPCOLESTR szContainerObj) {
  return Guarded([&] {
    object_name_ = szContainerObj ? szContainerObj : L"";
    return S_OK;
  });
}

STDMETHODIMP OleControlImpl::Close(DWORD dwSaveOption) {
  InPlaceDeactivate();
  if ((dwSaveOption == OLECLOSE_SAVEIFDIRTY || dwSaveOption == OLECLOSE_PROMPTSAVE) &&
      targets_.needs_save && client_site_) {
    client_site_->SaveObject();
    if (ole_advise_) ole_advise_->SendOnSave();
  }
  if (ole_advise_) ole_advise_->SendOnClose();
  ReleaseSiteObjects();
  return S_OK;
}

STDMETHODIMP OleControlImpl::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }

STDMETHODIMP OleControlImpl::GetMoniker(DWORD, DWORD, IMoniker** ppmk) {
  ZU_CHECK_AND_CLEAR(ppmk);
  return E_NOTIMPL;
}

STDMETHODIMP OleControlImpl::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }

STDMETHODIMP OleControlImpl::GetClipboardData(DWORD, IDataObject** ppDataObject) {
  ZU_CHECK_AND_CLEAR(ppDataObject);
  return E_NOTIMPL;
}

STDMETHODIMP OleControlImpl::DoVerb(LONG iVerb, LPMSG, IOleClientSite* pActiveSite, LONG,
                                    HWND hwndParent, LPCRECT lprcPosRect) {
  // A container that activates before siting names the site here.
  if (!client_site_ && pActiveSite) SetClientSite(pActiveSite);
  switch (iVerb) {
    case OLEIVERB_PRIMARY: {
      // Design time, and only when the container says so: the property frame.
      const std::optional<bool> user_mode = AmbientUserMode();
      if (user_mode.has_value() && !*user_mode) return ShowProperties(hwndParent);
      ZU_RETURN_IF_FAILED(ActivateInPlace(OLEIVERB_INPLACEACTIVATE, hwndParent, lprcPosRect));
      RedrawView(targets_);
      return S_OK;
    }
    case OLEIVERB_SHOW:
    case OLEIVERB_UIACTIVATE:
      return ActivateInPlace(iVerb, hwndParent, lprcPosRect);
    case OLEIVERB_INPLACEACTIVATE:
      ZU_RETURN_IF_FAILED(ActivateInPlace(iVerb, hwndParent, lprcPosRect));
      RedrawView(targets_);
      return S_OK;
    case OLEIVERB_OPEN:
    case OLEIVERB_DISCARDUNDOSTATE:
      return S_OK;
    case OLEIVERB_HIDE:
      UIDeactivate();
      if (const HWND window = Window()) ShowWindow(window, SW_HIDE);
      return S_OK;
    case OLEIVERB_PROPERTIES:
      return ShowProperties(hwndParent);
    default:
      if (iVerb > 0) OnPositiveVerb(iVerb);
      return E_NOTIMPL;
  }
}

// The container's frame if it has one; otherwise the system's, over the control's pages.
HRESULT OleControlImpl::ShowProperties(HWND owner_hint) {
  ComPtr<IOleControlSite> control_site;
  if (client_site_ && SUCCEEDED(client_site_.As(&control_site)) &&
      SUCCEEDED(control_site->ShowPropertyFrame())) {
    return S_OK;
  }
  ComPtr<IUnknown> identity;
  ZU_RETURN_IF_FAILED(Identity()->QueryInterface(IID_PPV_ARGS(&identity)));
  CAUUID pages = {};
  ZU_RETURN_IF_FAILED(GetPages(&pages));
  LPOLESTR caption = nullptr;
  if (FAILED(GetUserType(USERCLASSTYPE_SHORT, &caption))) caption = nullptr;
  const LCID locale = ReadAmbientLocale(client_site_.Get()).value_or(GetUserDefaultLCID());
  IUnknown* objects[] = {identity.Get()};
  const HRESULT hr =
      OleCreatePropertyFrame(ContainerWindow(owner_hint), 0, 0, caption ? caption : L"", 1,
                             objects, pages.cElems, pages.pElems, locale, 0, nullptr);
  CoTaskMemFree(caption);
  CoTaskMemFree(pages.pElems);
  return hr;
}

STDMETHODIMP OleControlImpl::EnumVerbs(IEnumOLEVERB** ppEnumOleVerb) {
  ZU_CHECK_AND_CLEAR(ppEnumOleVerb);
  return OleRegEnumVerbs(clsid_, ppEnumOleVerb);
}

STDMETHODIMP OleControlImpl::Update() { return S_OK; }
STDMETHODIMP OleControlImpl::IsUpToDate() { return S_OK; }

STDMETHODIMP OleControlImpl::GetUserClassID(CLSID* pClsid) {
  if (pClsid == nullptr) return E_POINTER;
  *pClsid = clsid_;
  return S_OK;
}

STDMETHODIMP OleControlImpl::GetUserType(DWORD dwFormOfType, LPOLESTR* pszUserType) {
  ZU_CHECK_AND_CLEAR(pszUserType);
  return OleRegGetUserType(clsid_, dwFormOfType, pszUserType);
}

STDMETHODIMP OleControlImpl::SetExtent(DWORD dwDrawAspect, SIZEL* psizel) {
  if (psizel == nullptr) return E_POINTER;
  if (dwDrawAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (psizel->cx < 0 || psizel->cy < 0) return E_INVALIDARG;
  const bool changed = extent_.cx != static_cast<uint32_t>(psizel->cx) ||
                       extent_.cy != static_cast<uint32_t>(psizel->cy);
  extent_.cx = static_cast<uint32_t>(psizel->cx);
  extent_.cy = static_cast<uint32_t>(psizel->cy);
  // The content is laid out for its size (recompose on resize).
  if (changed) RedrawView(targets_);
  return S_OK;
}

STDMETHODIMP OleControlImpl::GetExtent(DWORD dwDrawAspect, SIZEL* psizel) {
  if (psizel == nullptr) return E_POINTER;
  *psizel = {0, 0};
  if (dwDrawAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  psizel->cx = static_cast<LONG>(extent_.cx);
  psizel->cy = static_cast<LONG>(extent_.cy);
  return S_OK;
}

STDMETHODIMP OleControlImpl::Advise(IAdviseSink* pAdvSink, DWORD* pdwConnection) {
  ZU_CHECK_AND_CLEAR(pdwConnection);
  if (!ole_advise_) ZU_RETURN_IF_FAILED(CreateOleAdviseHolder(&ole_advise_));
  return ole_advise_->Advise(pAdvSink, pdwConnection);
}

STDMETHODIMP OleControlImpl::Unadvise(DWORD dwConnection) {
  return ole_advise_ ? ole_advise_->Unadvise(dwConnection) : OLE_E_NOCONNECTION;
}

STDMETHODIMP OleControlImpl::EnumAdvise(IEnumSTATDATA** ppenumAdvise) {
  ZU_CHECK_AND_CLEAR(ppenumAdvise);
  return ole_advise_ ? ole_advise_->EnumAdvise(ppenumAdvise) : E_FAIL;
}

STDMETHODIMP OleControlImpl::GetMiscStatus(DWORD dwAspect, DWORD* pdwStatus) {
  if (pdwStatus == nullptr) return E_POINTER;
  *pdwStatus = 0;
  return OleRegGetMiscStatus(clsid_, dwAspect, pdwStatus);
}

STDMETHODIMP OleControlImpl::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

// ---------------------------------------------------------------- IViewObject

STDMETHODIMP OleControlImpl::Draw(DWORD dwDrawAspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC hdcDraw,
                                  LPCRECTL lprcBounds, LPCRECTL,
                                  WINBOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
  if (dwDrawAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (hdcDraw == nullptr || lprcBounds == nullptr) return E_INVALIDARG;
  const RECT bounds = {lprcBounds->left, lprcBounds->top, lprcBounds->right, lprcBounds->bottom};
  return OnDraw(hdcDraw, bounds);
}

STDMETHODIMP OleControlImpl::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC,
                                         LOGPALETTE** ppColorSet) {
  ZU_CHECK_AND_CLEAR(ppColorSet);
  return E_NOTIMPL;
}

STDMETHODIMP OleControlImpl::Freeze(DWORD, LONG, void*, DWORD* pdwFreeze) {
  ClearIfGiven(pdwFreeze);
  return E_NOTIMPL;
}

STDMETHODIMP OleControlImpl::Unfreeze(DWORD) { return E_NOTIMPL; }

STDMETHODIMP OleControlImpl::SetAdvise(DWORD aspects, DWORD advf, IAdviseSink* pAdvSink) {
  targets_.view_sink = pAdvSink;
  view_aspects_ = pAdvSink ? aspects : 0;
  view_advise_flags_ = pAdvSink ? advf : 0;
  return S_OK;
}

STDMETHODIMP OleControlImpl::GetAdvise(DWORD* pAspects, DWORD* pAdvf, IAdviseSink** ppAdvSink) {
  ClearIfGiven(pAspects);
  ClearIfGiven(pAdvf);
  ClearIfGiven(ppAdvSink);
  if (pAspects) *pAspects = view_aspects_;
  if (pAdvf) *pAdvf = view_advise_flags_;
  if (ppAdvSink) {
    *ppAdvSink = targets_.view_sink.Get();
    if (*ppAdvSink) (*ppAdvSink)->AddRef();
  }
  return S_OK;
}

// ---------------------------------------------------------------- IViewObject2

STDMETHODIMP OleControlImpl::GetExtent(DWORD dwDrawAspect, LONG, DVTARGETDEVICE*, LPSIZEL lpsizel) {
  return GetExtent(dwDrawAspect, lpsizel);
}

// ---------------------------------------------------------------- IViewObjectEx

STDMETHODIMP OleControlImpl::GetRect(DWORD, LPRECTL pRect) {
  if (pRect == nullptr) return E_POINTER;
  return E_NOTIMPL;
}

STDMETHODIMP OleControlImpl::GetViewStatus(DWORD* pdwStatus) {
  if (pdwStatus == nullptr) return E_POINTER;
  *pdwStatus = view_status_;
  return S_OK;
}

// Opaque and rectangular: a point or rectangle hits the control exactly when it touches the
// bounds.
STDMETHODIMP OleControlImpl::QueryHitPoint(DWORD dwAspect, LPCRECT pRectBounds, POINT ptlLoc, LONG,
                                           DWORD* pHitResult) {
  if (pRectBounds == nullptr || pHitResult == nullptr) return E_POINTER;
  *pHitResult = HITRESULT_OUTSIDE;
  if (dwAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (PtInRect(pRectBounds, ptlLoc)) *pHitResult = HITRESULT_HIT;
  return S_OK;
}

STDMETHODIMP OleControlImpl::QueryHitRect(DWORD dwAspect, LPCRECT pRectBounds, LPCRECT pRectLoc,
                                          LONG, DWORD* pHitResult) {
  if (pRectBounds == nullptr || pRectLoc == nullptr || pHitResult == nullptr) return E_POINTER;
  *pHitResult = HITRESULT_OUTSIDE;
  if (dwAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  RECT common;
  if (IntersectRect(&common, pRectBounds, pRectLoc)) *pHitResult = HITRESULT_HIT;
  return S_OK;
}

STDMETHODIMP OleControlImpl::GetNaturalExtent(DWORD dwAspect, LONG, DVTARGETDEVICE*, HDC,
                                              DVEXTENTINFO* pExtentInfo, LPSIZEL pSizel) {
  if (pExtentInfo == nullptr || pSizel == nullptr) return E_POINTER;
  *pSizel = {0, 0};
  if (dwAspect != DVASPECT_CONTENT || pExtentInfo->dwExtentMode != DVEXTENT_CONTENT) {
    return E_NOTIMPL;
  }
  *pSizel = natural_extent_;
  return S_OK;
}

// ---------------------------------------------------------------- ISpecifyPropertyPages

STDMETHODIMP OleControlImpl::GetPages(CAUUID* pPages) {
  if (pPages == nullptr) return E_POINTER;
  pPages->cElems = 0;
  pPages->pElems = nullptr;
  return Guarded([&] {
    const std::vector<CLSID> pages = PropertyPages(map_);
    if (pages.empty()) return S_OK;
    auto* block = static_cast<GUID*>(CoTaskMemAlloc(pages.size() * sizeof(GUID)));
    if (block == nullptr) return E_OUTOFMEMORY;
    std::memcpy(block, pages.data(), pages.size() * sizeof(GUID));
    pPages->pElems = block;
    pPages->cElems = static_cast<ULONG>(pages.size());
    return S_OK;
  });
}

// ---------------------------------------------------------------- IQuickActivate

// What a container may hand in one call instead of several: its site, its view sink, its
// property and event sinks; the answer carries misc status, view status and the cookies.
STDMETHODIMP OleControlImpl::QuickActivate(QACONTAINER* pQaContainer, QACONTROL* pQaControl) {
  if (pQaContainer == nullptr || pQaControl == nullptr) return E_POINTER;
  // Older containers pass shorter structures; the fields read and written here are the first.
  constexpr ULONG kContainerNeeds = offsetof(QACONTAINER, dwAmbientFlags);
  constexpr ULONG kControlNeeds = offsetof(QACONTROL, dwPointerActivationPolicy);
  if (pQaContainer->cbSize < kContainerNeeds || pQaControl->cbSize < kControlNeeds) {
    return E_INVALIDARG;
  }
  const ULONG control_size = pQaControl->cbSize;
  std::memset(reinterpret_cast<char*>(pQaControl) + sizeof(ULONG), 0,
              (control_size < sizeof(QACONTROL) ? control_size : sizeof(QACONTROL)) - sizeof(ULONG));

  ZU_RETURN_IF_FAILED(SetClientSite(pQaContainer->pClientSite));
  if (pQaContainer->pAdviseSink) SetAdvise(DVASPECT_CONTENT, 0, pQaContainer->pAdviseSink);
  DWORD status = 0;
  if (SUCCEEDED(GetMiscStatus(DVASPECT_CONTENT, &status))) pQaControl->dwMiscStatus = status;
  pQaControl->dwViewStatus = view_status_;

  ComPtr<IConnectionPointContainer> points;
  if (SUCCEEDED(Identity()->QueryInterface(IID_PPV_ARGS(&points)))) {
    ComPtr<IConnectionPoint> point;
    if (pQaContainer->pPropertyNotifySink &&
        SUCCEEDED(points->FindConnectionPoint(IID_IPropertyNotifySink, &point))) {
      point->Advise(pQaContainer->pPropertyNotifySink, &pQaControl->dwPropNotifyCookie);
    }
    // Events go to the default source interface, where the control has one.
    ComPtr<IProvideClassInfo2> class_info;
    GUID events = GUID_NULL;
    point.Reset();
    if (pQaContainer->pUnkEventSink &&
        SUCCEEDED(Identity()->QueryInterface(IID_PPV_ARGS(&class_info))) &&
        SUCCEEDED(class_info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &events)) &&
        SUCCEEDED(points->FindConnectionPoint(events, &point))) {
      point->Advise(pQaContainer->pUnkEventSink, &pQaControl->dwEventCookie);
    }
  }
  return S_OK;
}

STDMETHODIMP OleControlImpl::SetContentExtent(LPSIZEL pSizel) {
  return SetExtent(DVASPECT_CONTENT, pSizel);
}

STDMETHODIMP OleControlImpl::GetContentExtent(LPSIZEL pSizel) {
  return GetExtent(DVASPECT_CONTENT, pSizel);
}

// ---------------------------------------------------------------- IDataObject

// The control offers no data of its own; it only tells advised sinks that its data changed.
STDMETHODIMP OleControlImpl::GetData(FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }
STDMETHODIMP OleControlImpl::GetDataHere(FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }
STDMETHODIMP OleControlImpl::QueryGetData(FORMATETC*) { return E_NOTIMPL; }

STDMETHODIMP OleControlImpl::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* pformatetcOut) {
  if (pformatetcOut) pformatetcOut->ptd = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP OleControlImpl::SetData(FORMATETC*, STGMEDIUM*, BOOL) { return E_NOTIMPL; }

STDMETHODIMP OleControlImpl::EnumFormatEtc(DWORD, IEnumFORMATETC** ppenumFormatEtc) {
  ZU_CHECK_AND_CLEAR(ppenumFormatEtc);
  return E_NOTIMPL;
}

STDMETHODIMP OleControlImpl::DAdvise(FORMATETC* pformatetc, DWORD advf, IAdviseSink* pAdvSink,
                                     DWORD* pdwConnection) {
  ZU_CHECK_AND_CLEAR(pdwConnection);
  if (!targets_.data_advise) ZU_RETURN_IF_FAILED(CreateDataAdviseHolder(&targets_.data_advise));
  return targets_.data_advise->Advise(static_cast<IDataObject*>(this), pformatetc, advf, pAdvSink,
                                      pdwConnection);
}

STDMETHODIMP OleControlImpl::DUnadvise(DWORD dwConnection) {
  return targets_.data_advise ? targets_.data_advise->Unadvise(dwConnection) : OLE_E_NOCONNECTION;
}

STDMETHODIMP OleControlImpl::EnumDAdvise(IEnumSTATDATA** ppenumAdvise) {
  ZU_CHECK_AND_CLEAR(ppenumAdvise);
  return targets_.data_advise ? targets_.data_advise->EnumAdvise(ppenumAdvise) : E_FAIL;
}

}  // namespace zu
