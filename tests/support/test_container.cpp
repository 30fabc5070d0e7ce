#include "tests/support/test_container.h"

#include <docobj.h>
#include <olectl.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <utility>

// Evaluates `expr` once; returns its code from the calling function when it failed.
#define ZU_TEST_RETURN_IF_FAILED(expr)    \
  do {                                    \
    const HRESULT zu_hr_ = (expr);        \
    if (FAILED(zu_hr_)) return zu_hr_;    \
  } while (0)

namespace zu::test {

using Microsoft::WRL::ComPtr;

namespace {

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

std::string IidName(REFIID iid) {
  static const struct {
    const IID* iid;
    const char* name;
  } kNames[] = {
      {&IID_IUnknown, "IUnknown"},
      {&IID_IOleClientSite, "IOleClientSite"},
      {&IID_IOleWindow, "IOleWindow"},
      {&IID_IOleInPlaceSite, "IOleInPlaceSite"},
      {&IID_IOleInPlaceSiteEx, "IOleInPlaceSiteEx"},
      {&IID_IOleInPlaceSiteWindowless, "IOleInPlaceSiteWindowless"},
      {&IID_IOleControlSite, "IOleControlSite"},
      {&IID_IDispatch, "IDispatch"},
      {&IID_IOleInPlaceFrame, "IOleInPlaceFrame"},
      {&IID_IOleInPlaceUIWindow, "IOleInPlaceUIWindow"},
      {&IID_IPropertyNotifySink, "IPropertyNotifySink"},
      {&IID_IAdviseSink, "IAdviseSink"},
      {&IID_IOleContainer, "IOleContainer"},
      {&IID_IOleCommandTarget, "IOleCommandTarget"},
      {&IID_IServiceProvider, "IServiceProvider"},
      {&IID_IMarshal, "IMarshal"},
  };
  for (const auto& entry : kNames) {
    if (IsEqualIID(iid, *entry.iid)) return entry.name;
  }
  wchar_t text[40] = {};
  StringFromGUID2(iid, text, 40);
  return Narrow(text);
}

// The ambient properties the container knows, by identifier and by name.
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
      // Made from the settings on each request, so a changed ambients() shows at the next ask.
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

int ScreenDpi(int index) {
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, index) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

constexpr LONG kHimetricPerInch = 2540;

}  // namespace

// ---------------------------------------------------------------- CallLog

void CallLog::Add(std::string entry) {
  if (GetCurrentThreadId() != thread_id_) entry += " [other thread]";
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.push_back(std::move(entry));
}

void CallLog::AddQuery(std::string interface_name, bool answered) {
  std::lock_guard<std::mutex> lock(mutex_);
  queries_.push_back(answered ? std::move(interface_name) : "refused " + interface_name);
}

std::vector<std::string> CallLog::Entries() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_;
}

std::vector<std::string> CallLog::Select(std::initializer_list<std::string_view> prefixes) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> out;
  for (const std::string& entry : entries_) {
    for (std::string_view prefix : prefixes) {
      if (entry.compare(0, prefix.size(), prefix) == 0) {
        out.push_back(entry);
        break;
      }
    }
  }
  return out;
}

std::vector<std::string> CallLog::Since(std::size_t mark) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (mark >= entries_.size()) return {};
  return std::vector<std::string>(entries_.begin() + static_cast<std::ptrdiff_t>(mark),
                                  entries_.end());
}

std::size_t CallLog::Size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_.size();
}

std::size_t CallLog::Count(std::string_view entry) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<std::size_t>(std::count(entries_.begin(), entries_.end(), entry));
}

std::vector<std::string> CallLog::Queries() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return queries_;
}

void CallLog::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.clear();
  queries_.clear();
}

// ---------------------------------------------------------------- HostWindow

const wchar_t HostWindow::kClassName[] = L"ZuTestContainerHost";

HostWindow::HostWindow(const RECT& screen_rect) {
  static const ATOM kClass = [] {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kClassName;
    return RegisterClassExW(&wc);
  }();
  if (!kClass) return;
  hwnd_ = CreateWindowExW(0, kClassName, L"Test container", WS_POPUP | WS_CLIPCHILDREN,
                          screen_rect.left, screen_rect.top, screen_rect.right - screen_rect.left,
                          screen_rect.bottom - screen_rect.top, nullptr, nullptr,
                          GetModuleHandleW(nullptr), nullptr);
  if (hwnd_) {
    ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
    UpdateWindow(hwnd_);
  }
}

HostWindow::~HostWindow() {
  if (hwnd_) DestroyWindow(hwnd_);
}

RECT HostWindow::ClientRect() const {
  RECT rect = {};
  if (hwnd_) GetClientRect(hwnd_, &rect);
  return rect;
}

void PumpMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

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
// SiteReferences counts whatever the control holds on any of them.
class ContainerSite final : public IOleClientSite,
                            public IOleInPlaceSiteEx,
                            public IOleControlSite,
                            public IDispatch {
 public:
  ContainerSite(HWND window, const RECT& position) : window(window), position(position) {}

  IOleInPlaceFrame* frame() { return &frame_; }
  IPropertyNotifySink* property_sink() { return &property_sink_; }
  IAdviseSink* advise_sink() { return &advise_sink_; }
  LONG References() const { return InterlockedCompareExchange(&references_, 0, 0); }

  CallLog log;
  Ambients ambients;
  SiteAnswers answers;
  HWND window;           // null once the container is gone
  RECT position;
  IUnknown* control = nullptr;  // not held: the container holds it
  ComPtr<IOleInPlaceActiveObject> active_object;
  bool in_place_active = false;
  bool ui_active = false;

  // ---------------------------------------------------------------- IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite)) {
      *object = static_cast<IOleClientSite*>(this);
    } else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceSite) ||
               (IsEqualIID(riid, IID_IOleInPlaceSiteEx) && answers.offer_in_place_site_ex)) {
      *object = static_cast<IOleInPlaceSiteEx*>(this);
    } else if (IsEqualIID(riid, IID_IOleControlSite)) {
      *object = static_cast<IOleControlSite*>(this);
    } else if (IsEqualIID(riid, IID_IDispatch)) {
      *object = static_cast<IDispatch*>(this);
    }
    log.AddQuery(IidName(riid), *object != nullptr);
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
    log.Add("ClientSite::SaveObject");
    return S_OK;
  }
  STDMETHODIMP GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override {
    log.Add("ClientSite::GetMoniker(" + std::to_string(assign) + "," + std::to_string(which) + ")");
    if (moniker == nullptr) return E_POINTER;
    *moniker = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetContainer(IOleContainer** container) override {
    log.Add("ClientSite::GetContainer");
    if (container == nullptr) return E_POINTER;
    *container = nullptr;
    return E_NOINTERFACE;  // a single control: there are no siblings to enumerate
  }
  STDMETHODIMP ShowObject() override {
    log.Add("ClientSite::ShowObject");
    return S_OK;
  }
  STDMETHODIMP OnShowWindow(BOOL show) override {
    log.Add("ClientSite::OnShowWindow(" + std::to_string(show) + ")");
    return S_OK;
  }
  STDMETHODIMP RequestNewObjectLayout() override {
    log.Add("ClientSite::RequestNewObjectLayout");
    return E_NOTIMPL;
  }

  // ---------------------------------------------------------------- IOleWindow
  STDMETHODIMP GetWindow(HWND* hwnd) override {
    log.Add("InPlaceSite::GetWindow");
    if (hwnd == nullptr) return E_POINTER;
    *hwnd = window;
    return window ? S_OK : E_FAIL;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL enter) override {
    log.Add("InPlaceSite::ContextSensitiveHelp(" + std::to_string(enter) + ")");
    return S_OK;
  }

  // ---------------------------------------------------------------- IOleInPlaceSite
  STDMETHODIMP CanInPlaceActivate() override {
    log.Add("InPlaceSite::CanInPlaceActivate");
    return window ? answers.can_in_place_activate : S_FALSE;
  }
  STDMETHODIMP OnInPlaceActivate() override {
    log.Add("InPlaceSite::OnInPlaceActivate");
    in_place_active = true;
    return S_OK;
  }
  STDMETHODIMP OnUIActivate() override {
    log.Add("InPlaceSite::OnUIActivate");
    ui_active = true;
    return S_OK;
  }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                RECT* position_out, RECT* clip,
                                OLEINPLACEFRAMEINFO* info) override {
    log.Add("InPlaceSite::GetWindowContext");
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
    log.Add("InPlaceSite::Scroll(" + std::to_string(extent.cx) + "," + std::to_string(extent.cy) +
            ")");
    return S_OK;
  }
  STDMETHODIMP OnUIDeactivate(BOOL undoable) override {
    log.Add("InPlaceSite::OnUIDeactivate(" + std::to_string(undoable) + ")");
    ui_active = false;
    return S_OK;
  }
  STDMETHODIMP OnInPlaceDeactivate() override {
    log.Add("InPlaceSite::OnInPlaceDeactivate");
    in_place_active = false;
    return S_OK;
  }
  STDMETHODIMP DiscardUndoState() override {
    log.Add("InPlaceSite::DiscardUndoState");
    return S_OK;
  }
  STDMETHODIMP DeactivateAndUndo() override {
    log.Add("InPlaceSite::DeactivateAndUndo");
    return S_OK;
  }
  STDMETHODIMP OnPosRectChange(const RECT* rect) override {
    log.Add("InPlaceSite::OnPosRectChange(" + (rect ? RectText(*rect) : std::string("null")) + ")");
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
        log.Add("-> IOleInPlaceObject::SetObjectRects(" + RectText(position) + ")");
        in_place->SetObjectRects(&position, &clip);
        placing_ = false;
      }
    }
    return S_OK;
  }

  // ---------------------------------------------------------------- IOleInPlaceSiteEx
  STDMETHODIMP OnInPlaceActivateEx(BOOL* no_redraw, DWORD flags) override {
    log.Add("InPlaceSiteEx::OnInPlaceActivateEx(" + std::to_string(flags) + ")");
    if (no_redraw) *no_redraw = FALSE;
    in_place_active = true;
    return S_OK;
  }
  STDMETHODIMP OnInPlaceDeactivateEx(BOOL no_redraw) override {
    log.Add("InPlaceSiteEx::OnInPlaceDeactivateEx(" + std::to_string(no_redraw) + ")");
    in_place_active = false;
    return S_OK;
  }
  STDMETHODIMP RequestUIActivate() override {
    log.Add("InPlaceSiteEx::RequestUIActivate");
    return answers.request_ui_activate;
  }

  // ---------------------------------------------------------------- IOleControlSite
  STDMETHODIMP OnControlInfoChanged() override {
    log.Add("ControlSite::OnControlInfoChanged");
    return S_OK;
  }
  STDMETHODIMP LockInPlaceActive(BOOL lock) override {
    log.Add("ControlSite::LockInPlaceActive(" + std::to_string(lock) + ")");
    return S_OK;
  }
  STDMETHODIMP GetExtendedControl(IDispatch** extended) override {
    log.Add("ControlSite::GetExtendedControl");
    if (extended == nullptr) return E_POINTER;
    *extended = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP TransformCoords(POINTL* himetric, POINTF* container, DWORD flags) override {
    log.Add("ControlSite::TransformCoords(" + Hex(flags) + ")");
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
    log.Add("ControlSite::TranslateAccelerator(" + Hex(msg ? msg->message : 0) + "," +
            std::to_string(modifiers) + ")");
    return S_FALSE;  // the container has no accelerators
  }
  STDMETHODIMP OnFocus(BOOL got_focus) override {
    log.Add("ControlSite::OnFocus(" + std::to_string(got_focus) + ")");
    return S_OK;
  }
  STDMETHODIMP ShowPropertyFrame() override {
    log.Add("ControlSite::ShowPropertyFrame");
    return answers.show_property_frame;
  }

  // ---------------------------------------------------------------- IDispatch (ambients)
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    log.Add("Ambient::GetTypeInfoCount");
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    log.Add("Ambient::GetTypeInfo");
    if (info == nullptr) return E_POINTER;
    *info = nullptr;
    return DISP_E_BADINDEX;
  }
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                             DISPID* ids) override {
    log.Add("Ambient::GetIDsOfNames(" + Narrow(names && count ? names[0] : nullptr) + ")");
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
    log.Add("Ambient::Invoke(" + (name ? Narrow(name) : std::to_string(dispid)) + ")");
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
      site_->log.AddQuery(IidName(riid), known);
      if (!known) return E_NOINTERFACE;
      AddRef();
      *object = static_cast<Interface*>(this);
      return S_OK;
    }
    void Log(std::string entry) { site_->log.Add(std::move(entry)); }
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
      Log("Frame::GetWindow");
      if (hwnd == nullptr) return E_POINTER;
      *hwnd = site_->window;
      return site_->window ? S_OK : E_FAIL;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL enter) override {
      Log("Frame::ContextSensitiveHelp(" + std::to_string(enter) + ")");
      return S_OK;
    }
    // ---------------------------------------------------------------- IOleInPlaceUIWindow
    STDMETHODIMP GetBorder(RECT* border) override {
      Log("Frame::GetBorder");
      if (border == nullptr) return E_POINTER;
      SetRectEmpty(border);
      if (site_->window) GetClientRect(site_->window, border);
      return S_OK;
    }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS widths) override {
      Log("Frame::RequestBorderSpace");
      return INPLACE_E_NOTOOLSPACE;  // no toolbars here
    }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS widths) override {
      Log("Frame::SetBorderSpace");
      const bool none = !widths || (widths->left == 0 && widths->top == 0 && widths->right == 0 &&
                                    widths->bottom == 0);
      return none ? S_OK : INPLACE_E_NOTOOLSPACE;
    }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR name) override {
      Log("Frame::SetActiveObject(" + (object ? Narrow(name ? name : L"") : std::string("null")) +
          ")");
      site_->active_object = object;
      return S_OK;
    }
    // ---------------------------------------------------------------- IOleInPlaceFrame
    STDMETHODIMP InsertMenus(HMENU, OLEMENUGROUPWIDTHS* widths) override {
      Log("Frame::InsertMenus");
      if (widths) std::fill(std::begin(widths->width), std::end(widths->width), 0);
      return S_OK;
    }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override {
      Log("Frame::SetMenu");
      return S_OK;
    }
    STDMETHODIMP RemoveMenus(HMENU) override {
      Log("Frame::RemoveMenus");
      return S_OK;
    }
    STDMETHODIMP SetStatusText(LPCOLESTR text) override {
      Log("Frame::SetStatusText(" + Narrow(text) + ")");
      return S_OK;
    }
    STDMETHODIMP EnableModeless(BOOL enable) override {
      Log("Frame::EnableModeless(" + std::to_string(enable) + ")");
      return S_OK;
    }
    STDMETHODIMP TranslateAccelerator(MSG* msg, WORD id) override {
      Log("Frame::TranslateAccelerator(" + Hex(msg ? msg->message : 0) + ")");
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
      Log("PropertySink::OnChanged(" + std::to_string(dispid) + ")");
      return S_OK;
    }
    STDMETHODIMP OnRequestEdit(DISPID dispid) override {
      Log("PropertySink::OnRequestEdit(" + std::to_string(dispid) + ")");
      return site_->answers.request_edit;
    }
  };

  class AdviseSink final : public Part<IAdviseSink> {
   public:
    using Part::Part;
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
      return Answer(riid, object, {&IID_IAdviseSink});
    }
    STDMETHODIMP_(void) OnDataChange(FORMATETC* format, STGMEDIUM*) override {
      Log("AdviseSink::OnDataChange(" + std::to_string(format ? format->cfFormat : 0) + ")");
    }
    STDMETHODIMP_(void) OnViewChange(DWORD aspect, LONG index) override {
      Log("AdviseSink::OnViewChange(" + std::to_string(aspect) + "," + std::to_string(index) + ")");
    }
    STDMETHODIMP_(void) OnRename(IMoniker*) override { Log("AdviseSink::OnRename"); }
    STDMETHODIMP_(void) OnSave() override { Log("AdviseSink::OnSave"); }
    STDMETHODIMP_(void) OnClose() override { Log("AdviseSink::OnClose"); }
  };

  mutable LONG references_ = 1;
  bool placing_ = false;
  Frame frame_{this};
  PropertySink property_sink_{this};
  AdviseSink advise_sink_{this};
};

// ---------------------------------------------------------------- TestContainer

const wchar_t TestContainer::kContainerName[] = L"Zu Test Container";
const wchar_t TestContainer::kObjectName[] = L"Control";

TestContainer::TestContainer(const ContainerOptions& options)
    : window_(options.window) {
  // MinGW's ComPtr::Attach adds a reference; the new site's own is handed over directly.
  *site_.GetAddressOf() = new ContainerSite(window_.Get(), options.position);
}

TestContainer::~TestContainer() {
  Unhost();
  // A control that kept the site finds no window behind it.
  site_->window = nullptr;
}

CallLog& TestContainer::log() { return site_->log; }
Ambients& TestContainer::ambients() { return site_->ambients; }
SiteAnswers& TestContainer::answers() { return site_->answers; }
const RECT& TestContainer::position() const { return site_->position; }
IOleClientSite* TestContainer::client_site() const { return site_.Get(); }
IOleInPlaceActiveObject* TestContainer::active_object() const {
  return site_->active_object.Get();
}
LONG TestContainer::SiteReferences() const { return site_->References() - 1; }

HRESULT TestContainer::Create(REFCLSID clsid) {
  if (control_) return E_UNEXPECTED;
  log().Add("-> CoCreateInstance");
  ComPtr<IUnknown> created;
  ZU_TEST_RETURN_IF_FAILED(
      CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&created)));
  return Attach(created.Get());
}

HRESULT TestContainer::Create(IClassFactory* factory) {
  if (factory == nullptr) return E_POINTER;
  if (control_) return E_UNEXPECTED;
  log().Add("-> IClassFactory::CreateInstance");
  ComPtr<IUnknown> created;
  ZU_TEST_RETURN_IF_FAILED(factory->CreateInstance(nullptr, IID_PPV_ARGS(&created)));
  return Attach(created.Get());
}

HRESULT TestContainer::Attach(IUnknown* control) {
  if (control == nullptr) return E_POINTER;
  if (control_) return E_UNEXPECTED;
  ComPtr<IOleObject> object;
  ZU_TEST_RETURN_IF_FAILED(control->QueryInterface(IID_PPV_ARGS(&object)));
  control_ = control;
  object_ = std::move(object);
  site_->control = control;
  return S_OK;
}

HWND TestContainer::ControlWindow() const {
  HWND hwnd = nullptr;
  if (auto in_place = ControlAs<IOleInPlaceObject>()) {
    if (FAILED(in_place->GetWindow(&hwnd))) hwnd = nullptr;
  }
  return hwnd;
}

HRESULT TestContainer::GetMiscStatus() {
  misc_status_ = 0;
  if (!object_) return E_UNEXPECTED;
  log().Add("-> IOleObject::GetMiscStatus");
  DWORD status = 0;
  const HRESULT hr = object_->GetMiscStatus(DVASPECT_CONTENT, &status);
  if (SUCCEEDED(hr)) misc_status_ = status;
  return hr;
}

HRESULT TestContainer::InitNew() {
  if (!control_) return E_UNEXPECTED;
  auto persist = ControlAs<IPersistStreamInit>();
  if (!persist) return E_NOINTERFACE;
  log().Add("-> IPersistStreamInit::InitNew");
  return persist->InitNew();
}

HRESULT TestContainer::Load(IStream* stream) {
  if (stream == nullptr) return E_POINTER;
  if (!control_) return E_UNEXPECTED;
  auto persist = ControlAs<IPersistStreamInit>();
  if (!persist) return E_NOINTERFACE;
  log().Add("-> IPersistStreamInit::Load");
  return persist->Load(stream);
}

HRESULT TestContainer::SetClientSite() {
  if (!object_) return E_UNEXPECTED;
  log().Add("-> IOleObject::SetClientSite");
  const HRESULT hr = object_->SetClientSite(site_.Get());
  // Even a failing control may have kept the site; it is taken back all the same.
  site_given_ = true;
  return hr;
}

HRESULT TestContainer::SetHostNames(const wchar_t* container_name, const wchar_t* object_name) {
  if (!object_) return E_UNEXPECTED;
  log().Add("-> IOleObject::SetHostNames");
  return object_->SetHostNames(container_name, object_name);
}

HRESULT TestContainer::SetExtent() {
  const RECT& p = position();
  return SetExtent(PixelsToHimetric({p.right - p.left, p.bottom - p.top}));
}

HRESULT TestContainer::SetExtent(const SIZEL& himetric) {
  if (!object_) return E_UNEXPECTED;
  log().Add("-> IOleObject::SetExtent(" + std::to_string(himetric.cx) + "," +
            std::to_string(himetric.cy) + ")");
  SIZEL size = himetric;
  return object_->SetExtent(DVASPECT_CONTENT, &size);
}

HRESULT TestContainer::AdviseObject() {
  if (!object_) return E_UNEXPECTED;
  if (object_cookie_) return E_UNEXPECTED;
  log().Add("-> IOleObject::Advise");
  DWORD cookie = 0;
  const HRESULT hr = object_->Advise(site_->advise_sink(), &cookie);
  if (SUCCEEDED(hr)) object_cookie_ = cookie;
  return hr;
}

HRESULT TestContainer::AdviseView() {
  if (!control_) return E_UNEXPECTED;
  auto view = ControlAs<IViewObject>();
  if (!view) return E_NOINTERFACE;
  log().Add("-> IViewObject::SetAdvise");
  const HRESULT hr = view->SetAdvise(DVASPECT_CONTENT, 0, site_->advise_sink());
  view_advised_ = SUCCEEDED(hr);
  return hr;
}

HRESULT TestContainer::AdviseProperties() {
  if (!control_) return E_UNEXPECTED;
  if (property_point_) return E_UNEXPECTED;
  auto points = ControlAs<IConnectionPointContainer>();
  if (!points) return E_NOINTERFACE;
  log().Add("-> IConnectionPointContainer::FindConnectionPoint");
  ComPtr<IConnectionPoint> point;
  ZU_TEST_RETURN_IF_FAILED(points->FindConnectionPoint(IID_IPropertyNotifySink, &point));
  if (!point) return E_POINTER;
  log().Add("-> IConnectionPoint::Advise");
  DWORD cookie = 0;
  ZU_TEST_RETURN_IF_FAILED(point->Advise(site_->property_sink(), &cookie));
  property_point_ = std::move(point);
  property_cookie_ = cookie;
  return S_OK;
}

HRESULT TestContainer::DoVerb(LONG verb) {
  if (!object_) return E_UNEXPECTED;
  log().Add("-> IOleObject::DoVerb(" + std::to_string(verb) + ")");
  RECT position = site_->position;
  return object_->DoVerb(verb, nullptr, site_.Get(), 0, window_.Get(), &position);
}

HRESULT TestContainer::SetObjectRects(const RECT& position) {
  auto in_place = ControlAs<IOleInPlaceObject>();
  if (!in_place) return control_ ? E_NOINTERFACE : E_UNEXPECTED;
  site_->position = position;
  RECT clip = window_.ClientRect();
  log().Add("-> IOleInPlaceObject::SetObjectRects(" + RectText(position) + ")");
  return in_place->SetObjectRects(&position, &clip);
}

HRESULT TestContainer::UIDeactivate() {
  auto in_place = ControlAs<IOleInPlaceObject>();
  if (!in_place) return control_ ? E_NOINTERFACE : E_UNEXPECTED;
  log().Add("-> IOleInPlaceObject::UIDeactivate");
  return in_place->UIDeactivate();
}

HRESULT TestContainer::InPlaceDeactivate() {
  auto in_place = ControlAs<IOleInPlaceObject>();
  if (!in_place) return control_ ? E_NOINTERFACE : E_UNEXPECTED;
  log().Add("-> IOleInPlaceObject::InPlaceDeactivate");
  return in_place->InPlaceDeactivate();
}

HRESULT TestContainer::Close(DWORD save_option) {
  if (!object_) return E_UNEXPECTED;
  log().Add("-> IOleObject::Close(" + std::to_string(save_option) + ")");
  return object_->Close(save_option);
}

HRESULT TestContainer::ClearClientSite() {
  if (!object_) return E_UNEXPECTED;
  log().Add("-> IOleObject::SetClientSite(null)");
  site_given_ = false;
  return object_->SetClientSite(nullptr);
}

HRESULT TestContainer::Unadvise() {
  HRESULT first = S_OK;
  auto keep = [&first](HRESULT hr) {
    if (FAILED(hr) && SUCCEEDED(first)) first = hr;
  };
  if (object_cookie_ && object_) {
    log().Add("-> IOleObject::Unadvise");
    keep(object_->Unadvise(std::exchange(object_cookie_, 0)));
  }
  if (view_advised_) {
    view_advised_ = false;
    if (auto view = ControlAs<IViewObject>()) {
      log().Add("-> IViewObject::SetAdvise(null)");
      keep(view->SetAdvise(DVASPECT_CONTENT, 0, nullptr));
    }
  }
  if (property_point_) {
    log().Add("-> IConnectionPoint::Unadvise");
    keep(property_point_->Unadvise(std::exchange(property_cookie_, 0)));
    property_point_.Reset();
  }
  return first;
}

ULONG TestContainer::ReleaseControl() {
  object_cookie_ = property_cookie_ = 0;
  view_advised_ = site_given_ = false;
  property_point_.Reset();
  // What the frame was given is the container's to drop as well.
  site_->active_object.Reset();
  site_->control = nullptr;
  site_->in_place_active = site_->ui_active = false;
  object_.Reset();
  if (!control_) return 0;
  log().Add("-> Release");
  return control_.Detach()->Release();
}

HRESULT TestContainer::Host(IStream* stream) {
  if (!object_) return E_UNEXPECTED;
  GetMiscStatus();
  auto persist = [&]() -> HRESULT {
    if (stream) return Load(stream);
    const HRESULT hr = InitNew();
    return hr == E_NOINTERFACE ? S_OK : hr;
  };
  if (misc_status_ & OLEMISC_SETCLIENTSITEFIRST) {
    ZU_TEST_RETURN_IF_FAILED(SetClientSite());
    ZU_TEST_RETURN_IF_FAILED(persist());
  } else {
    ZU_TEST_RETURN_IF_FAILED(persist());
    ZU_TEST_RETURN_IF_FAILED(SetClientSite());
  }
  ZU_TEST_RETURN_IF_FAILED(SetHostNames());
  ZU_TEST_RETURN_IF_FAILED(SetExtent());
  ZU_TEST_RETURN_IF_FAILED(AdviseObject());
  HRESULT hr = AdviseView();
  if (FAILED(hr) && hr != E_NOINTERFACE) return hr;
  hr = AdviseProperties();
  if (FAILED(hr) && hr != E_NOINTERFACE && hr != CONNECT_E_NOCONNECTION) return hr;
  return InPlaceActivate();
}

HRESULT TestContainer::Unhost() {
  HRESULT first = S_OK;
  auto keep = [&first](HRESULT hr) {
    if (FAILED(hr) && SUCCEEDED(first)) first = hr;
  };
  if (object_) {
    // The container knows the control is in place from the site's notifications.
    if (site_->in_place_active) keep(InPlaceDeactivate());
    keep(Close(OLECLOSE_NOSAVE));
    if (site_given_) keep(ClearClientSite());
  }
  keep(Unadvise());
  ReleaseControl();
  return first;
}

HRESULT TestContainer::SetUserMode(bool user_mode) {
  site_->ambients.user_mode = user_mode;
  return AmbientChanged(DISPID_AMBIENT_USERMODE);
}

HRESULT TestContainer::AmbientChanged(DISPID dispid) {
  if (!control_) return E_UNEXPECTED;
  auto control = ControlAs<IOleControl>();
  if (!control) return E_NOINTERFACE;
  log().Add("-> IOleControl::OnAmbientPropertyChange(" + std::to_string(dispid) + ")");
  return control->OnAmbientPropertyChange(dispid);
}

}  // namespace zu::test
