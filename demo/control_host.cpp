#include "demo/control_host.h"

#include <olectl.h>

#include <utility>

#include "shell/com_util.h"

namespace zu {

using Microsoft::WRL::ComPtr;

namespace {

constexpr LONG kHimetricPerInch = 2540;

int ScreenDpi(int index) {
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, index) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

void SetBool(VARIANT* out, bool value) {
  V_VT(out) = VT_BOOL;
  V_BOOL(out) = value ? VARIANT_TRUE : VARIANT_FALSE;
}

void SetI4(VARIANT* out, LONG value) {
  V_VT(out) = VT_I4;
  V_I4(out) = value;
}

}  // namespace

// ---------------------------------------------------------------- HostSite

// The application's side of one control. The in-place frame is an object of its own that shares
// the site's reference count: a control asking the site for IOleInPlaceFrame gets nothing.
class HostSite final : public IOleClientSite,
                       public IOleInPlaceSite,
                       public IOleControlSite,
                       public IDispatch {
 public:
  HostSite(HWND window, const RECT& position) : window_(window), position_(position) {}

  bool in_place_active() const { return in_place_active_; }
  void Detach() {
    window_ = nullptr;
    active_object_.Reset();
  }

  // ---------------------------------------------------------------- IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    ZU_CHECK_AND_CLEAR(object);
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite)) {
      *object = static_cast<IOleClientSite*>(this);
    } else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceSite)) {
      *object = static_cast<IOleInPlaceSite*>(this);
    } else if (IsEqualIID(riid, IID_IOleControlSite)) {
      *object = static_cast<IOleControlSite*>(this);
    } else if (IsEqualIID(riid, IID_IDispatch)) {
      *object = static_cast<IDispatch*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
  }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  // ---------------------------------------------------------------- IOleClientSite
  STDMETHODIMP SaveObject() override { return S_OK; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
    ZU_CHECK_AND_CLEAR(moniker);
    return E_NOTIMPL;
  }
  STDMETHODIMP GetContainer(IOleContainer** container) override {
    ZU_CHECK_AND_CLEAR(container);
    return E_NOINTERFACE;  // one control: no siblings to enumerate
  }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

  // ---------------------------------------------------------------- IOleWindow
  STDMETHODIMP GetWindow(HWND* hwnd) override {
    ZU_CHECK_AND_CLEAR(hwnd);
    *hwnd = window_;
    return window_ ? S_OK : E_FAIL;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return S_OK; }

  // ---------------------------------------------------------------- IOleInPlaceSite
  STDMETHODIMP CanInPlaceActivate() override { return window_ ? S_OK : S_FALSE; }
  STDMETHODIMP OnInPlaceActivate() override {
    in_place_active_ = true;
    return S_OK;
  }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                RECT* position, RECT* clip, OLEINPLACEFRAMEINFO* info) override {
    ZU_CHECK_AND_CLEAR(frame);
    ZU_CHECK_AND_CLEAR(document);  // the frame is the document window too
    if (!position || !clip || !info) return E_POINTER;
    if (!window_) return E_FAIL;
    frame_.AddRef();
    *frame = &frame_;
    *position = position_;
    GetClientRect(window_, clip);
    info->fMDIApp = FALSE;
    info->hwndFrame = window_;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
  }
  STDMETHODIMP Scroll(SIZE) override { return S_OK; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override {
    in_place_active_ = false;
    return S_OK;
  }
  STDMETHODIMP DiscardUndoState() override { return S_OK; }
  STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
  STDMETHODIMP OnPosRectChange(const RECT* rect) override {
    if (rect == nullptr) return E_POINTER;
    position_ = *rect;
    return S_OK;
  }

  // ---------------------------------------------------------------- IOleControlSite
  STDMETHODIMP OnControlInfoChanged() override { return S_OK; }
  STDMETHODIMP LockInPlaceActive(BOOL) override { return S_OK; }
  STDMETHODIMP GetExtendedControl(IDispatch** extended) override {
    ZU_CHECK_AND_CLEAR(extended);
    return E_NOTIMPL;
  }
  STDMETHODIMP TransformCoords(POINTL* himetric, POINTF* container, DWORD flags) override {
    if (!himetric || !container) return E_POINTER;
    const float dpi_x = static_cast<float>(ScreenDpi(LOGPIXELSX));
    const float dpi_y = static_cast<float>(ScreenDpi(LOGPIXELSY));
    if (flags & XFORMCOORDS_HIMETRICTOCONTAINER) {
      container->x = himetric->x * dpi_x / kHimetricPerInch;
      container->y = himetric->y * dpi_y / kHimetricPerInch;
      return S_OK;
    }
    if (flags & XFORMCOORDS_CONTAINERTOHIMETRIC) {
      himetric->x = static_cast<LONG>(container->x * kHimetricPerInch / dpi_x + 0.5f);
      himetric->y = static_cast<LONG>(container->y * kHimetricPerInch / dpi_y + 0.5f);
      return S_OK;
    }
    return E_INVALIDARG;
  }
  STDMETHODIMP TranslateAccelerator(MSG*, DWORD) override { return S_FALSE; }
  STDMETHODIMP OnFocus(BOOL) override { return S_OK; }
  STDMETHODIMP ShowPropertyFrame() override { return E_NOTIMPL; }

  // ---------------------------------------------------------------- IDispatch (ambients)
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    ZU_CHECK_AND_CLEAR(info);
    return DISP_E_BADINDEX;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;  // controls ask for ambients by identifier
  }
  STDMETHODIMP Invoke(DISPID dispid, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO*, UINT*) override {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
    if (params && params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
    if (result == nullptr) return E_POINTER;
    VariantInit(result);
    switch (dispid) {
      case DISPID_AMBIENT_USERMODE: SetBool(result, true); return S_OK;
      case DISPID_AMBIENT_UIDEAD:
      case DISPID_AMBIENT_MESSAGEREFLECT:
      case DISPID_AMBIENT_SHOWGRABHANDLES:
      case DISPID_AMBIENT_SHOWHATCHING:
      case DISPID_AMBIENT_DISPLAYASDEFAULT: SetBool(result, false); return S_OK;
      case DISPID_AMBIENT_BACKCOLOR: SetI4(result, static_cast<LONG>(0x80000000u | COLOR_WINDOW)); return S_OK;
      case DISPID_AMBIENT_FORECOLOR: SetI4(result, static_cast<LONG>(0x80000000u | COLOR_WINDOWTEXT)); return S_OK;
      case DISPID_AMBIENT_LOCALEID: SetI4(result, static_cast<LONG>(GetUserDefaultLCID())); return S_OK;
      default: return DISP_E_MEMBERNOTFOUND;
    }
  }

 private:
  ~HostSite() = default;

  class Frame final : public IOleInPlaceFrame {
   public:
    explicit Frame(HostSite* site) : site_(site) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
      ZU_CHECK_AND_CLEAR(object);
      if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IOleWindow) &&
          !IsEqualIID(riid, IID_IOleInPlaceUIWindow) && !IsEqualIID(riid, IID_IOleInPlaceFrame)) {
        return E_NOINTERFACE;
      }
      AddRef();
      *object = static_cast<IOleInPlaceFrame*>(this);
      return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return site_->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return site_->Release(); }
    // ---------------------------------------------------------------- IOleWindow
    STDMETHODIMP GetWindow(HWND* hwnd) override { return site_->GetWindow(hwnd); }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return S_OK; }
    // ---------------------------------------------------------------- IOleInPlaceUIWindow
    STDMETHODIMP GetBorder(RECT* border) override {
      if (border == nullptr) return E_POINTER;
      SetRectEmpty(border);
      if (site_->window_) GetClientRect(site_->window_, border);
      return S_OK;
    }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS widths) override {
      const bool none = !widths || (widths->left == 0 && widths->top == 0 &&
                                    widths->right == 0 && widths->bottom == 0);
      return none ? S_OK : INPLACE_E_NOTOOLSPACE;  // no toolbars here
    }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) override {
      site_->active_object_ = object;
      return S_OK;
    }
    // ---------------------------------------------------------------- IOleInPlaceFrame
    STDMETHODIMP InsertMenus(HMENU, OLEMENUGROUPWIDTHS* widths) override {
      if (widths) {
        for (LONG& w : widths->width) w = 0;
      }
      return S_OK;
    }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return S_OK; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(MSG*, WORD) override { return S_FALSE; }

   private:
    HostSite* site_;
  };

  LONG references_ = 1;
  HWND window_;
  RECT position_;
  bool in_place_active_ = false;
  ComPtr<IOleInPlaceActiveObject> active_object_;
  Frame frame_{this};
};

// ---------------------------------------------------------------- ControlHost

ControlHost::ControlHost(HWND window, const RECT& position)
    : window_(window), position_(position) {
  // MinGW's ComPtr::Attach adds a reference; the new site's own one is handed over directly.
  *site_.GetAddressOf() = new HostSite(window, position);
}

ControlHost::~ControlHost() {
  Unhost();
  // A control that kept the site finds no window behind it.
  site_->Detach();
}

HRESULT ControlHost::Create(REFCLSID clsid) {
  if (control_) return E_UNEXPECTED;
  ComPtr<IUnknown> created;
  ZU_RETURN_IF_FAILED(
      CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&created)));
  return Attach(created.Get());
}

HRESULT ControlHost::Attach(IUnknown* control) {
  if (control == nullptr) return E_POINTER;
  if (control_) return E_UNEXPECTED;
  ComPtr<IOleObject> object;
  ZU_RETURN_IF_FAILED(control->QueryInterface(IID_PPV_ARGS(&object)));
  control_ = control;
  object_ = std::move(object);
  return S_OK;
}

HRESULT ControlHost::Activate() {
  if (!object_) return E_UNEXPECTED;
  DWORD misc = 0;
  if (FAILED(object_->GetMiscStatus(DVASPECT_CONTENT, &misc))) misc = 0;
  auto init_new = [this]() -> HRESULT {
    auto persist = ControlAs<IPersistStreamInit>();
    return persist ? persist->InitNew() : S_OK;
  };
  auto set_site = [this]() -> HRESULT {
    site_given_ = true;  // even a failing control may have kept it
    return object_->SetClientSite(site_.Get());
  };
  if (misc & OLEMISC_SETCLIENTSITEFIRST) {
    ZU_RETURN_IF_FAILED(set_site());
    ZU_RETURN_IF_FAILED(init_new());
  } else {
    ZU_RETURN_IF_FAILED(init_new());
    ZU_RETURN_IF_FAILED(set_site());
  }
  ZU_RETURN_IF_FAILED(object_->SetHostNames(L"Zu demo host", L"Play"));
  SIZEL extent = {
      MulDiv(position_.right - position_.left, kHimetricPerInch, ScreenDpi(LOGPIXELSX)),
      MulDiv(position_.bottom - position_.top, kHimetricPerInch, ScreenDpi(LOGPIXELSY))};
  ZU_RETURN_IF_FAILED(object_->SetExtent(DVASPECT_CONTENT, &extent));
  RECT position = position_;
  return object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_.Get(), 0, window_, &position);
}

void ControlHost::Unhost() {
  if (object_) {
    if (site_->in_place_active()) {
      if (auto in_place = ControlAs<IOleInPlaceObject>()) in_place->InPlaceDeactivate();
    }
    object_->Close(OLECLOSE_NOSAVE);
    if (site_given_) object_->SetClientSite(nullptr);
  }
  site_given_ = false;
  object_.Reset();
  control_.Reset();
}

HWND ControlHost::ControlWindow() const {
  HWND hwnd = nullptr;
  if (auto in_place = ControlAs<IOleInPlaceObject>()) {
    if (FAILED(in_place->GetWindow(&hwnd))) hwnd = nullptr;
  }
  return hwnd;
}

bool ControlHost::InPlaceActive() const { return site_->in_place_active(); }

}  // namespace zu
