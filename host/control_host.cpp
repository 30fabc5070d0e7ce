#include "host/control_host.h"

#include <olectl.h>

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <iterator>
#include <utility>

// Evaluates `expr` once; returns its code from the calling function when it failed. The host
// side keeps its own: it links nothing of the controls' framework.
#define ZU_HOST_RETURN_IF_FAILED(expr)    \
  do {                                    \
    const HRESULT zu_hr_ = (expr);        \
    if (FAILED(zu_hr_)) return zu_hr_;    \
  } while (0)

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

std::string Hex(unsigned long value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%lx", value);
  return text;
}

std::string RectText(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
         "," + std::to_string(r.bottom);
}

std::string Narrow(const wchar_t* text) {
  std::string out;
  for (; text && *text; ++text) out += *text < 0x80 ? static_cast<char>(*text) : '?';
  return out;
}

// The ambient properties the site knows, by identifier and by name.
struct AmbientName {
  DISPID dispid;
  const wchar_t* name;
};
constexpr AmbientName kAmbientNames[] = {
    {DISPID_AMBIENT_BACKCOLOR, L"BackColor"},
    {DISPID_AMBIENT_FONT, L"Font"},
    {DISPID_AMBIENT_FORECOLOR, L"ForeColor"},
    {DISPID_AMBIENT_LOCALEID, L"LocaleID"},
    {DISPID_AMBIENT_MESSAGEREFLECT, L"MessageReflect"},
    {DISPID_AMBIENT_USERMODE, L"UserMode"},
    {DISPID_AMBIENT_UIDEAD, L"UIDead"},
    {DISPID_AMBIENT_SHOWGRABHANDLES, L"ShowGrabHandles"},
    {DISPID_AMBIENT_SHOWHATCHING, L"ShowHatching"},
    {DISPID_AMBIENT_DISPLAYASDEFAULT, L"DisplayAsDefault"},
};

const wchar_t* AmbientNameOf(DISPID dispid) {
  for (const AmbientName& entry : kAmbientNames) {
    if (entry.dispid == dispid) return entry.name;
  }
  return nullptr;
}

void SetBool(VARIANT* out, bool value) {
  V_VT(out) = VT_BOOL;
  V_BOOL(out) = value ? VARIANT_TRUE : VARIANT_FALSE;
}

void SetI4(VARIANT* out, LONG value) {
  V_VT(out) = VT_I4;
  V_I4(out) = value;
}

HRESULT AmbientValue(const Ambients& ambients, DISPID dispid, VARIANT* out) {
  switch (dispid) {
    case DISPID_AMBIENT_BACKCOLOR: SetI4(out, static_cast<LONG>(ambients.back_color)); return S_OK;
    case DISPID_AMBIENT_FORECOLOR: SetI4(out, static_cast<LONG>(ambients.fore_color)); return S_OK;
    case DISPID_AMBIENT_LOCALEID: SetI4(out, static_cast<LONG>(ambients.locale_id)); return S_OK;
    case DISPID_AMBIENT_USERMODE: SetBool(out, ambients.user_mode); return S_OK;
    case DISPID_AMBIENT_UIDEAD: SetBool(out, ambients.ui_dead); return S_OK;
    case DISPID_AMBIENT_MESSAGEREFLECT: SetBool(out, ambients.message_reflect); return S_OK;
    case DISPID_AMBIENT_SHOWGRABHANDLES: SetBool(out, ambients.show_grab_handles); return S_OK;
    case DISPID_AMBIENT_SHOWHATCHING: SetBool(out, ambients.show_hatching); return S_OK;
    case DISPID_AMBIENT_DISPLAYASDEFAULT: SetBool(out, ambients.display_as_default); return S_OK;
    case DISPID_AMBIENT_FONT: {
      // Made from the settings on each request, so a changed ambient shows at the next ask.
      FONTDESC desc = {sizeof desc, const_cast<LPOLESTR>(ambients.font_name.c_str()),
                       ambients.font_size, FW_NORMAL, DEFAULT_CHARSET, FALSE, FALSE, FALSE};
      IFontDisp* font = nullptr;
      const HRESULT hr =
          OleCreateFontIndirect(&desc, IID_IFontDisp, reinterpret_cast<void**>(&font));
      if (FAILED(hr)) return hr;
      V_VT(out) = VT_DISPATCH;
      V_DISPATCH(out) = font;
      return S_OK;
    }
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

}  // namespace

SIZEL PixelsToHimetric(SIZE pixels) {
  return {MulDiv(pixels.cx, kHimetricPerInch, ScreenDpi(LOGPIXELSX)),
          MulDiv(pixels.cy, kHimetricPerInch, ScreenDpi(LOGPIXELSY))};
}

SIZE HimetricToPixels(SIZEL himetric) {
  return {MulDiv(himetric.cx, ScreenDpi(LOGPIXELSX), kHimetricPerInch),
          MulDiv(himetric.cy, ScreenDpi(LOGPIXELSY), kHimetricPerInch)};
}

// ---------------------------------------------------------------- ContainerSite

// The container's side of one control. Its frame and sinks are objects of their own (a control
// asking the site for IAdviseSink gets nothing) that share the site's reference count, so
// ControlHost::SiteReferences counts whatever the control holds on any of them.
class ContainerSite final : public IOleClientSite,
                            public IOleInPlaceSiteEx,
                            public IOleControlSite,
                            public IDispatch {
 public:
  ContainerSite(HWND window, const RECT& position, SiteObserver* observer)
      : window(window), position(position), observer(observer) {}

  IOleInPlaceFrame* frame() { return &frame_; }
  IPropertyNotifySink* property_sink() { return &property_sink_; }
  IAdviseSink* advise_sink() { return &advise_sink_; }
  LONG References() const { return InterlockedCompareExchange(&references_, 0, 0); }

  // An entry with arguments is only made when someone listens.
  void Note(const char* entry) {
    if (observer) observer->Called(entry);
  }
  template <class Describe>
  void Note(Describe&& describe) {
    if (observer) observer->Called(describe());
  }
  HRESULT Answer(SiteQuestion question, HRESULT answer) {
    return observer ? observer->Answer(question, answer) : answer;
  }
  void Asked(REFIID iid, bool answered) {
    if (observer) observer->Asked(iid, answered);
  }
  // The host is gone; the control may still hold the site.
  void Detach() {
    window = nullptr;
    observer = nullptr;
    control = nullptr;
    active_object.Reset();
  }

  Ambients ambients;
  HWND window;
  RECT position;
  SiteObserver* observer;
  IUnknown* control = nullptr;  // not held: the host holds it
  ComPtr<IOleInPlaceActiveObject> active_object;
  bool in_place_active = false;

  // ---------------------------------------------------------------- IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite)) {
      *object = static_cast<IOleClientSite*>(this);
    } else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceSite) ||
               (IsEqualIID(riid, IID_IOleInPlaceSiteEx) &&
                Answer(SiteQuestion::kOfferInPlaceSiteEx, S_OK) == S_OK)) {
      *object = static_cast<IOleInPlaceSiteEx*>(this);
    } else if (IsEqualIID(riid, IID_IOleControlSite)) {
      *object = static_cast<IOleControlSite*>(this);
    } else if (IsEqualIID(riid, IID_IDispatch)) {
      *object = static_cast<IDispatch*>(this);
    }
    Asked(riid, *object != nullptr);
    if (*object == nullptr) return E_NOINTERFACE;
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
  STDMETHODIMP SaveObject() override {
    Note("ClientSite::SaveObject");
    return S_OK;
  }
  STDMETHODIMP GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override {
    Note([&] {
      return "ClientSite::GetMoniker(" + std::to_string(assign) + "," + std::to_string(which) + ")";
    });
    if (moniker == nullptr) return E_POINTER;
    *moniker = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetContainer(IOleContainer** container) override {
    Note("ClientSite::GetContainer");
    if (container == nullptr) return E_POINTER;
    *container = nullptr;
    return E_NOINTERFACE;  // a single control: there are no siblings to enumerate
  }
  STDMETHODIMP ShowObject() override {
    Note("ClientSite::ShowObject");
    return S_OK;
  }
  STDMETHODIMP OnShowWindow(BOOL show) override {
    Note([&] { return "ClientSite::OnShowWindow(" + std::to_string(show) + ")"; });
    return S_OK;
  }
  STDMETHODIMP RequestNewObjectLayout() override {
    Note("ClientSite::RequestNewObjectLayout");
    return E_NOTIMPL;
  }

  // ---------------------------------------------------------------- IOleWindow
  STDMETHODIMP GetWindow(HWND* hwnd) override {
    Note("InPlaceSite::GetWindow");
    if (hwnd == nullptr) return E_POINTER;
    *hwnd = window;
    return window ? S_OK : E_FAIL;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL enter) override {
    Note([&] { return "InPlaceSite::ContextSensitiveHelp(" + std::to_string(enter) + ")"; });
    return S_OK;
  }

  // ---------------------------------------------------------------- IOleInPlaceSite
  STDMETHODIMP CanInPlaceActivate() override {
    Note("InPlaceSite::CanInPlaceActivate");
    return window ? Answer(SiteQuestion::kCanInPlaceActivate, S_OK) : S_FALSE;
  }
  STDMETHODIMP OnInPlaceActivate() override {
    Note("InPlaceSite::OnInPlaceActivate");
    in_place_active = true;
    return S_OK;
  }
  STDMETHODIMP OnUIActivate() override {
    Note("InPlaceSite::OnUIActivate");
    return S_OK;
  }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                RECT* position_out, RECT* clip,
                                OLEINPLACEFRAMEINFO* info) override {
    Note("InPlaceSite::GetWindowContext");
    if (!frame || !document || !position_out || !clip || !info) return E_POINTER;
    *frame = nullptr;
    *document = nullptr;  // the frame is the document window too
    if (!window) return E_FAIL;
    frame_.AddRef();
    *frame = &frame_;
    *position_out = position;
    GetClientRect(window, clip);
    info->fMDIApp = FALSE;  // cb is the caller's
    info->hwndFrame = window;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
  }
  STDMETHODIMP Scroll(SIZE extent) override {
    Note([&] {
      return "InPlaceSite::Scroll(" + std::to_string(extent.cx) + "," +
             std::to_string(extent.cy) + ")";
    });
    return S_OK;
  }
  STDMETHODIMP OnUIDeactivate(BOOL undoable) override {
    Note([&] { return "InPlaceSite::OnUIDeactivate(" + std::to_string(undoable) + ")"; });
    return S_OK;
  }
  STDMETHODIMP OnInPlaceDeactivate() override {
    Note("InPlaceSite::OnInPlaceDeactivate");
    in_place_active = false;
    return S_OK;
  }
  STDMETHODIMP DiscardUndoState() override {
    Note("InPlaceSite::DiscardUndoState");
    return S_OK;
  }
  STDMETHODIMP DeactivateAndUndo() override {
    Note("InPlaceSite::DeactivateAndUndo");
    return S_OK;
  }
  STDMETHODIMP OnPosRectChange(const RECT* rect) override {
    Note([&] {
      return "InPlaceSite::OnPosRectChange(" + (rect ? RectText(*rect) : std::string("null")) +
             ")";
    });
    if (rect == nullptr) return E_POINTER;
    position = *rect;
    // The container grants the request at once, as SetObjectRects. A control that asks again
    // from inside that call is not answered a second time.
    if (control && window && !placing_) {
      ComPtr<IOleInPlaceObject> in_place;
      if (SUCCEEDED(control->QueryInterface(IID_PPV_ARGS(&in_place)))) {
        RECT clip;
        GetClientRect(window, &clip);
        placing_ = true;
        Note([&] { return "-> IOleInPlaceObject::SetObjectRects(" + RectText(position) + ")"; });
        in_place->SetObjectRects(&position, &clip);
        placing_ = false;
      }
    }
    return S_OK;
  }

  // ---------------------------------------------------------------- IOleInPlaceSiteEx
  STDMETHODIMP OnInPlaceActivateEx(BOOL* no_redraw, DWORD flags) override {
    Note([&] { return "InPlaceSiteEx::OnInPlaceActivateEx(" + std::to_string(flags) + ")"; });
    if (no_redraw) *no_redraw = FALSE;
    in_place_active = true;
    return S_OK;
  }
  STDMETHODIMP OnInPlaceDeactivateEx(BOOL no_redraw) override {
    Note([&] { return "InPlaceSiteEx::OnInPlaceDeactivateEx(" + std::to_string(no_redraw) + ")"; });
    in_place_active = false;
    return S_OK;
  }
  STDMETHODIMP RequestUIActivate() override {
    Note("InPlaceSiteEx::RequestUIActivate");
    return Answer(SiteQuestion::kRequestUIActivate, S_OK);
  }

  // ---------------------------------------------------------------- IOleControlSite
  STDMETHODIMP OnControlInfoChanged() override {
    Note("ControlSite::OnControlInfoChanged");
    return S_OK;
  }
  STDMETHODIMP LockInPlaceActive(BOOL lock) override {
    Note([&] { return "ControlSite::LockInPlaceActive(" + std::to_string(lock) + ")"; });
    return S_OK;
  }
  STDMETHODIMP GetExtendedControl(IDispatch** extended) override {
    Note("ControlSite::GetExtendedControl");
    if (extended == nullptr) return E_POINTER;
    *extended = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP TransformCoords(POINTL* himetric, POINTF* container, DWORD flags) override {
    Note([&] { return "ControlSite::TransformCoords(" + Hex(flags) + ")"; });
    if (!himetric || !container) return E_POINTER;
    // Container units are pixels of the host window; positions and sizes convert alike, since
    // nothing scrolls.
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
  STDMETHODIMP TranslateAccelerator(MSG* msg, DWORD modifiers) override {
    Note([&] {
      return "ControlSite::TranslateAccelerator(" + Hex(msg ? msg->message : 0) + "," +
             std::to_string(modifiers) + ")";
    });
    return S_FALSE;  // the container has no accelerators
  }
  STDMETHODIMP OnFocus(BOOL got_focus) override {
    Note([&] { return "ControlSite::OnFocus(" + std::to_string(got_focus) + ")"; });
    return S_OK;
  }
  STDMETHODIMP ShowPropertyFrame() override {
    Note("ControlSite::ShowPropertyFrame");
    return Answer(SiteQuestion::kShowPropertyFrame, E_NOTIMPL);
  }

  // ---------------------------------------------------------------- IDispatch (ambients)
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    Note("Ambient::GetTypeInfoCount");
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    Note("Ambient::GetTypeInfo");
    if (info == nullptr) return E_POINTER;
    *info = nullptr;
    return DISP_E_BADINDEX;
  }
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                             DISPID* ids) override {
    Note([&] {
      return "Ambient::GetIDsOfNames(" + Narrow(names && count ? names[0] : nullptr) + ")";
    });
    if (!names || !ids) return E_POINTER;
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
      ids[i] = DISPID_UNKNOWN;
      // Only the first name is a member; the rest would be argument names, and ambients take none.
      for (const AmbientName& entry : kAmbientNames) {
        if (i == 0 && names[i] && _wcsicmp(names[i], entry.name) == 0) ids[i] = entry.dispid;
      }
      if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
  }
  STDMETHODIMP Invoke(DISPID dispid, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO*, UINT*) override {
    const wchar_t* name = AmbientNameOf(dispid);
    Note([&] {
      return "Ambient::Invoke(" + (name ? Narrow(name) : std::to_string(dispid)) + ")";
    });
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (name == nullptr || !(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
    if (params && params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
    if (result == nullptr) return E_POINTER;
    VariantInit(result);
    return AmbientValue(ambients, dispid, result);
  }

 private:
  ~ContainerSite() = default;

  // Parts with their own identity and the site's lifetime.
  template <class Interface>
  class Part : public Interface {
   public:
    explicit Part(ContainerSite* site) : site_(site) {}
    STDMETHODIMP_(ULONG) AddRef() override { return site_->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return site_->Release(); }

   protected:
    HRESULT Answer(REFIID riid, void** object, std::initializer_list<const IID*> iids) {
      if (object == nullptr) return E_POINTER;
      *object = nullptr;
      bool known = IsEqualIID(riid, IID_IUnknown);
      for (const IID* iid : iids) known = known || IsEqualIID(riid, *iid);
      site_->Asked(riid, known);
      if (!known) return E_NOINTERFACE;
      AddRef();
      *object = static_cast<Interface*>(this);
      return S_OK;
    }
    void Note(const char* entry) { site_->Note(entry); }
    template <class Describe>
    void Note(Describe&& describe) {
      site_->Note(std::forward<Describe>(describe));
    }
    ContainerSite* site_;
  };

  class Frame final : public Part<IOleInPlaceFrame> {
   public:
    using Part::Part;
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
      return Answer(riid, object,
                    {&IID_IOleWindow, &IID_IOleInPlaceUIWindow, &IID_IOleInPlaceFrame});
    }
    // ---------------------------------------------------------------- IOleWindow
    STDMETHODIMP GetWindow(HWND* hwnd) override {
      Note("Frame::GetWindow");
      if (hwnd == nullptr) return E_POINTER;
      *hwnd = site_->window;
      return site_->window ? S_OK : E_FAIL;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL enter) override {
      Note([&] { return "Frame::ContextSensitiveHelp(" + std::to_string(enter) + ")"; });
      return S_OK;
    }
    // ---------------------------------------------------------------- IOleInPlaceUIWindow
    STDMETHODIMP GetBorder(RECT* border) override {
      Note("Frame::GetBorder");
      if (border == nullptr) return E_POINTER;
      SetRectEmpty(border);
      if (site_->window) GetClientRect(site_->window, border);
      return S_OK;
    }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override {
      Note("Frame::RequestBorderSpace");
      return INPLACE_E_NOTOOLSPACE;  // no toolbars here
    }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS widths) override {
      Note("Frame::SetBorderSpace");
      const bool none = !widths || (widths->left == 0 && widths->top == 0 && widths->right == 0 &&
                                    widths->bottom == 0);
      return none ? S_OK : INPLACE_E_NOTOOLSPACE;
    }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR name) override {
      Note([&] {
        return "Frame::SetActiveObject(" + (object ? Narrow(name ? name : L"") : "null") + ")";
      });
      site_->active_object = object;
      return S_OK;
    }
    // ---------------------------------------------------------------- IOleInPlaceFrame
    STDMETHODIMP InsertMenus(HMENU, OLEMENUGROUPWIDTHS* widths) override {
      Note("Frame::InsertMenus");
      if (widths) std::fill(std::begin(widths->width), std::end(widths->width), 0);
      return S_OK;
    }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override {
      Note("Frame::SetMenu");
      return S_OK;
    }
    STDMETHODIMP RemoveMenus(HMENU) override {
      Note("Frame::RemoveMenus");
      return S_OK;
    }
    STDMETHODIMP SetStatusText(LPCOLESTR text) override {
      Note([&] { return "Frame::SetStatusText(" + Narrow(text) + ")"; });
      return S_OK;
    }
    STDMETHODIMP EnableModeless(BOOL enable) override {
      Note([&] { return "Frame::EnableModeless(" + std::to_string(enable) + ")"; });
      return S_OK;
    }
    STDMETHODIMP TranslateAccelerator(MSG* msg, WORD) override {
      Note([&] { return "Frame::TranslateAccelerator(" + Hex(msg ? msg->message : 0) + ")"; });
      return S_FALSE;
    }
  };

  class PropertySink final : public Part<IPropertyNotifySink> {
   public:
    using Part::Part;
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
      return Answer(riid, object, {&IID_IPropertyNotifySink});
    }
    STDMETHODIMP OnChanged(DISPID dispid) override {
      Note([&] { return "PropertySink::OnChanged(" + std::to_string(dispid) + ")"; });
      return S_OK;
    }
    STDMETHODIMP OnRequestEdit(DISPID dispid) override {
      Note([&] { return "PropertySink::OnRequestEdit(" + std::to_string(dispid) + ")"; });
      return site_->Answer(SiteQuestion::kRequestEdit, S_OK);
    }
  };

  class AdviseSink final : public Part<IAdviseSink> {
   public:
    using Part::Part;
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
      return Answer(riid, object, {&IID_IAdviseSink});
    }
    STDMETHODIMP_(void) OnDataChange(FORMATETC* format, STGMEDIUM*) override {
      Note([&] {
        return "AdviseSink::OnDataChange(" + std::to_string(format ? format->cfFormat : 0) + ")";
      });
    }
    STDMETHODIMP_(void) OnViewChange(DWORD aspect, LONG index) override {
      Note([&] {
        return "AdviseSink::OnViewChange(" + std::to_string(aspect) + "," +
               std::to_string(index) + ")";
      });
    }
    STDMETHODIMP_(void) OnRename(IMoniker*) override {
      Note("AdviseSink::OnRename");
    }
    STDMETHODIMP_(void) OnSave() override { Note("AdviseSink::OnSave"); }
    STDMETHODIMP_(void) OnClose() override { Note("AdviseSink::OnClose"); }
  };

  mutable LONG references_ = 1;
  bool placing_ = false;
  Frame frame_{this};
  PropertySink property_sink_{this};
  AdviseSink advise_sink_{this};
};

// ---------------------------------------------------------------- ControlHost

ControlHost::ControlHost(HWND window, const RECT& position, SiteObserver* observer)
    : window_(window), observer_(observer) {
  // MinGW's ComPtr::Attach adds a reference; the new site's own one is handed over directly.
  *site_.GetAddressOf() = new ContainerSite(window, position, observer);
}

ControlHost::~ControlHost() {
  Unhost();
  site_->Detach();
}

void ControlHost::Note(const char* entry) const {
  if (observer_) observer_->Called(entry);
}

template <class Describe>
void ControlHost::Note(Describe&& describe) const {
  if (observer_) observer_->Called(describe());
}

void ControlHost::set_host_names(std::wstring container_name, std::wstring object_name) {
  container_name_ = std::move(container_name);
  object_name_ = std::move(object_name);
}

Ambients& ControlHost::ambients() { return site_->ambients; }
const RECT& ControlHost::position() const { return site_->position; }
IOleClientSite* ControlHost::client_site() const { return site_.Get(); }
IOleInPlaceActiveObject* ControlHost::active_object() const { return site_->active_object.Get(); }
LONG ControlHost::SiteReferences() const { return site_->References() - 1; }
bool ControlHost::InPlaceActive() const { return site_->in_place_active; }

HRESULT ControlHost::Create(REFCLSID clsid) {
  if (control_) return E_UNEXPECTED;
  Note("-> CoCreateInstance");
  ComPtr<IUnknown> created;
  ZU_HOST_RETURN_IF_FAILED(
      CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&created)));
  return Attach(created.Get());
}

HRESULT ControlHost::Create(IClassFactory* factory) {
  if (factory == nullptr) return E_POINTER;
  if (control_) return E_UNEXPECTED;
  Note("-> IClassFactory::CreateInstance");
  ComPtr<IUnknown> created;
  ZU_HOST_RETURN_IF_FAILED(factory->CreateInstance(nullptr, IID_PPV_ARGS(&created)));
  return Attach(created.Get());
}

HRESULT ControlHost::Attach(IUnknown* control) {
  if (control == nullptr) return E_POINTER;
  if (control_) return E_UNEXPECTED;
  ComPtr<IOleObject> object;
  ZU_HOST_RETURN_IF_FAILED(control->QueryInterface(IID_PPV_ARGS(&object)));
  control_ = control;
  object_ = std::move(object);
  site_->control = control;
  return S_OK;
}

HWND ControlHost::ControlWindow() const {
  HWND hwnd = nullptr;
  if (auto in_place = ControlAs<IOleInPlaceObject>()) {
    if (FAILED(in_place->GetWindow(&hwnd))) hwnd = nullptr;
  }
  return hwnd;
}

// ---------------------------------------------------------------- the host sequence

HRESULT ControlHost::GetMiscStatus() {
  misc_status_ = 0;
  if (!object_) return E_UNEXPECTED;
  Note("-> IOleObject::GetMiscStatus");
  DWORD status = 0;
  const HRESULT hr = object_->GetMiscStatus(DVASPECT_CONTENT, &status);
  if (SUCCEEDED(hr)) misc_status_ = status;
  return hr;
}

HRESULT ControlHost::InitNew() {
  if (!control_) return E_UNEXPECTED;
  auto persist = ControlAs<IPersistStreamInit>();
  if (!persist) return E_NOINTERFACE;
  Note("-> IPersistStreamInit::InitNew");
  return persist->InitNew();
}

HRESULT ControlHost::Load(IStream* stream) {
  if (stream == nullptr) return E_POINTER;
  if (!control_) return E_UNEXPECTED;
  auto persist = ControlAs<IPersistStreamInit>();
  if (!persist) return E_NOINTERFACE;
  Note("-> IPersistStreamInit::Load");
  return persist->Load(stream);
}

HRESULT ControlHost::SetClientSite() {
  if (!object_) return E_UNEXPECTED;
  Note("-> IOleObject::SetClientSite");
  const HRESULT hr = object_->SetClientSite(site_.Get());
  // Even a failing control may have kept the site; it is taken back all the same.
  site_given_ = true;
  return hr;
}

HRESULT ControlHost::SetHostNames() {
  return SetHostNames(container_name_.c_str(), object_name_.c_str());
}

HRESULT ControlHost::SetHostNames(const wchar_t* container_name, const wchar_t* object_name) {
  if (!object_) return E_UNEXPECTED;
  Note("-> IOleObject::SetHostNames");
  return object_->SetHostNames(container_name, object_name);
}

HRESULT ControlHost::SetExtent() {
  const RECT& p = position();
  return SetExtent(PixelsToHimetric({p.right - p.left, p.bottom - p.top}));
}

HRESULT ControlHost::SetExtent(const SIZEL& himetric) {
  if (!object_) return E_UNEXPECTED;
  Note([&] {
    return "-> IOleObject::SetExtent(" + std::to_string(himetric.cx) + "," +
           std::to_string(himetric.cy) + ")";
  });
  SIZEL size = himetric;
  return object_->SetExtent(DVASPECT_CONTENT, &size);
}

HRESULT ControlHost::AdviseObject() {
  if (!object_) return E_UNEXPECTED;
  if (object_cookie_) return E_UNEXPECTED;
  Note("-> IOleObject::Advise");
  DWORD cookie = 0;
  const HRESULT hr = object_->Advise(site_->advise_sink(), &cookie);
  if (SUCCEEDED(hr)) object_cookie_ = cookie;
  return hr;
}

HRESULT ControlHost::AdviseView() {
  if (!control_) return E_UNEXPECTED;
  auto view = ControlAs<IViewObject>();
  if (!view) return E_NOINTERFACE;
  Note("-> IViewObject::SetAdvise");
  const HRESULT hr = view->SetAdvise(DVASPECT_CONTENT, 0, site_->advise_sink());
  view_advised_ = SUCCEEDED(hr);
  return hr;
}

HRESULT ControlHost::AdviseProperties() {
  if (!control_) return E_UNEXPECTED;
  if (property_point_) return E_UNEXPECTED;
  auto points = ControlAs<IConnectionPointContainer>();
  if (!points) return E_NOINTERFACE;
  Note("-> IConnectionPointContainer::FindConnectionPoint");
  ComPtr<IConnectionPoint> point;
  ZU_HOST_RETURN_IF_FAILED(points->FindConnectionPoint(IID_IPropertyNotifySink, &point));
  if (!point) return E_POINTER;
  Note("-> IConnectionPoint::Advise");
  DWORD cookie = 0;
  ZU_HOST_RETURN_IF_FAILED(point->Advise(site_->property_sink(), &cookie));
  property_point_ = std::move(point);
  property_cookie_ = cookie;
  return S_OK;
}

HRESULT ControlHost::DoVerb(LONG verb) {
  if (!object_) return E_UNEXPECTED;
  Note([&] { return "-> IOleObject::DoVerb(" + std::to_string(verb) + ")"; });
  RECT position = site_->position;
  return object_->DoVerb(verb, nullptr, site_.Get(), 0, window_, &position);
}

HRESULT ControlHost::SetObjectRects(const RECT& position) {
  auto in_place = ControlAs<IOleInPlaceObject>();
  if (!in_place) return control_ ? E_NOINTERFACE : E_UNEXPECTED;
  site_->position = position;
  RECT clip = {};
  if (window_) GetClientRect(window_, &clip);
  Note([&] { return "-> IOleInPlaceObject::SetObjectRects(" + RectText(position) + ")"; });
  return in_place->SetObjectRects(&position, &clip);
}

HRESULT ControlHost::UIDeactivate() {
  auto in_place = ControlAs<IOleInPlaceObject>();
  if (!in_place) return control_ ? E_NOINTERFACE : E_UNEXPECTED;
  Note("-> IOleInPlaceObject::UIDeactivate");
  return in_place->UIDeactivate();
}

HRESULT ControlHost::InPlaceDeactivate() {
  auto in_place = ControlAs<IOleInPlaceObject>();
  if (!in_place) return control_ ? E_NOINTERFACE : E_UNEXPECTED;
  Note("-> IOleInPlaceObject::InPlaceDeactivate");
  return in_place->InPlaceDeactivate();
}

HRESULT ControlHost::Close(DWORD save_option) {
  if (!object_) return E_UNEXPECTED;
  Note([&] { return "-> IOleObject::Close(" + std::to_string(save_option) + ")"; });
  return object_->Close(save_option);
}

HRESULT ControlHost::ClearClientSite() {
  if (!object_) return E_UNEXPECTED;
  Note("-> IOleObject::SetClientSite(null)");
  site_given_ = false;
  return object_->SetClientSite(nullptr);
}

HRESULT ControlHost::Unadvise() {
  HRESULT first = S_OK;
  auto keep = [&first](HRESULT hr) {
    if (FAILED(hr) && SUCCEEDED(first)) first = hr;
  };
  if (object_cookie_ && object_) {
    Note("-> IOleObject::Unadvise");
    keep(object_->Unadvise(std::exchange(object_cookie_, 0)));
  }
  if (view_advised_) {
    view_advised_ = false;
    if (auto view = ControlAs<IViewObject>()) {
      Note("-> IViewObject::SetAdvise(null)");
      keep(view->SetAdvise(DVASPECT_CONTENT, 0, nullptr));
    }
  }
  if (property_point_) {
    Note("-> IConnectionPoint::Unadvise");
    keep(property_point_->Unadvise(std::exchange(property_cookie_, 0)));
    property_point_.Reset();
  }
  for (EventConnection& connection : std::exchange(events_, {})) {
    Note([&] { return "-> IConnectionPoint::Unadvise(events " + std::to_string(connection.cookie) + ")"; });
    keep(connection.point->Unadvise(connection.cookie));
  }
  return first;
}

ULONG ControlHost::ReleaseControl() {
  object_cookie_ = property_cookie_ = 0;
  view_advised_ = site_given_ = false;
  property_point_.Reset();
  events_.clear();
  // What the frame was given is the host's to drop as well.
  site_->active_object.Reset();
  site_->control = nullptr;
  site_->in_place_active = false;
  object_.Reset();
  if (!control_) return 0;
  Note("-> Release");
  return control_.Detach()->Release();
}

HRESULT ControlHost::Host(IStream* stream) {
  if (!object_) return E_UNEXPECTED;
  GetMiscStatus();
  auto persist = [&]() -> HRESULT {
    if (stream) return Load(stream);
    const HRESULT hr = InitNew();
    return hr == E_NOINTERFACE ? S_OK : hr;
  };
  if (misc_status_ & OLEMISC_SETCLIENTSITEFIRST) {
    ZU_HOST_RETURN_IF_FAILED(SetClientSite());
    ZU_HOST_RETURN_IF_FAILED(persist());
  } else {
    ZU_HOST_RETURN_IF_FAILED(persist());
    ZU_HOST_RETURN_IF_FAILED(SetClientSite());
  }
  ZU_HOST_RETURN_IF_FAILED(SetHostNames());
  ZU_HOST_RETURN_IF_FAILED(SetExtent());
  ZU_HOST_RETURN_IF_FAILED(AdviseObject());
  HRESULT hr = AdviseView();
  if (FAILED(hr) && hr != E_NOINTERFACE) return hr;
  hr = AdviseProperties();
  if (FAILED(hr) && hr != E_NOINTERFACE && hr != CONNECT_E_NOCONNECTION) return hr;
  return InPlaceActivate();
}

HRESULT ControlHost::Unhost() {
  HRESULT first = S_OK;
  auto keep = [&first](HRESULT hr) {
    if (FAILED(hr) && SUCCEEDED(first)) first = hr;
  };
  if (object_) {
    // The host knows the control is in place from the site's notifications.
    if (site_->in_place_active) keep(InPlaceDeactivate());
    keep(Close(OLECLOSE_NOSAVE));
    if (site_given_) keep(ClearClientSite());
  }
  keep(Unadvise());
  ReleaseControl();
  return first;
}

// ---------------------------------------------------------------- events

HRESULT ControlHost::EventInterface(IID* iid) const {
  if (iid == nullptr) return E_POINTER;
  *iid = GUID_NULL;
  if (!control_) return E_UNEXPECTED;
  auto class_info = ControlAs<IProvideClassInfo2>();
  if (!class_info) return S_FALSE;
  Note("-> IProvideClassInfo2::GetGUID");
  GUID found = GUID_NULL;
  if (FAILED(class_info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &found)) ||
      IsEqualGUID(found, GUID_NULL)) {
    return S_FALSE;
  }
  *iid = found;
  return S_OK;
}

HRESULT ControlHost::AdviseEvents(IDispatch* sink, DWORD* cookie) {
  if (cookie) *cookie = 0;
  if (sink == nullptr) return E_POINTER;
  IID events = GUID_NULL;
  const HRESULT found = EventInterface(&events);
  if (found != S_OK) return found;
  return ConnectEvents(events, sink, cookie);
}

HRESULT ControlHost::AdviseEvents(EventHandler handler, DWORD* cookie) {
  if (cookie) *cookie = 0;
  IID events = GUID_NULL;
  const HRESULT found = EventInterface(&events);
  if (found != S_OK) return found;
  ComPtr<EventSink> sink = EventSink::Make(events, std::move(handler));
  if (!sink) return E_OUTOFMEMORY;
  return ConnectEvents(events, sink.Get(), cookie);
}

HRESULT ControlHost::ConnectEvents(REFIID events, IDispatch* sink, DWORD* cookie) {
  auto points = ControlAs<IConnectionPointContainer>();
  if (!points) return S_FALSE;
  Note("-> IConnectionPointContainer::FindConnectionPoint(events)");
  ComPtr<IConnectionPoint> point;
  HRESULT hr = points->FindConnectionPoint(events, &point);
  // The play control names a default source but has no point for it: it fires nothing.
  if (hr == CONNECT_E_NOCONNECTION) return S_FALSE;
  ZU_HOST_RETURN_IF_FAILED(hr);
  if (!point) return E_POINTER;
  Note("-> IConnectionPoint::Advise(events)");
  DWORD made = 0;
  ZU_HOST_RETURN_IF_FAILED(point->Advise(sink, &made));
  events_.push_back({std::move(point), made});
  if (cookie) *cookie = made;
  return S_OK;
}

HRESULT ControlHost::UnadviseEvents(DWORD cookie) {
  const auto found = std::find_if(events_.begin(), events_.end(),
                                  [cookie](const EventConnection& c) { return c.cookie == cookie; });
  if (found == events_.end()) return CONNECT_E_NOCONNECTION;
  const EventConnection connection = std::move(*found);
  events_.erase(found);
  Note([&] { return "-> IConnectionPoint::Unadvise(events " + std::to_string(cookie) + ")"; });
  return connection.point->Unadvise(cookie);
}

// ---------------------------------------------------------------- run time

HRESULT ControlHost::SetUserMode(bool user_mode) {
  site_->ambients.user_mode = user_mode;
  return AmbientChanged(DISPID_AMBIENT_USERMODE);
}

HRESULT ControlHost::AmbientChanged(DISPID dispid) {
  if (!control_) return E_UNEXPECTED;
  auto control = ControlAs<IOleControl>();
  if (!control) return E_NOINTERFACE;
  Note([&] { return "-> IOleControl::OnAmbientPropertyChange(" + std::to_string(dispid) + ")"; });
  return control->OnAmbientPropertyChange(dispid);
}

}  // namespace zu
