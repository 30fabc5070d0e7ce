#include "tests/support/test_container.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <olectl.h>
#include <windows.h>

#include <algorithm>
#include <map>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace zu::test {
namespace {

using Microsoft::WRL::ComPtr;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

std::string Text(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
         "," + std::to_string(r.bottom);
}

// ---------------------------------------------------------------- FakeControl

// Records the call; returns its configured failure from the method.
#define ZU_CALL(call)                      \
  do {                                     \
    const HRESULT zu_hr_ = Record(call);   \
    if (FAILED(zu_hr_)) return zu_hr_;     \
  } while (0)
#define ZU_UNEXPECTED                                   \
  {                                                     \
    ADD_FAILURE() << "unexpected call " << __func__;    \
    return E_NOTIMPL;                                   \
  }

// The fake's outgoing interface, as a capture control's events are to its host.
constexpr GUID kFakeEvents = {0x5a1e7c01, 0x2b3d, 0x4e5f, {0x90, 0x81, 0x72, 0x63, 0x54, 0x45, 0x36, 0x27}};
constexpr DISPID kCapture = 1, kCaptureEx = 2;

// A windowed control cut to what a container drives: it records each call ("DoVerb(-5)"),
// answers it with `failures[call]` when set, and calls the container back the way a control
// does. Anything a container has no business calling fails the test.
class FakeControl final : public IOleObject,
                          public IOleInPlaceObject,
                          public IViewObject,
                          public IPersistStreamInit,
                          public IConnectionPointContainer,
                          public IOleControl,
                          public IProvideClassInfo2 {
 public:
  std::vector<std::string> calls;
  std::map<std::string, HRESULT> failures;
  DWORD misc_status = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_ACTIVATEWHENVISIBLE;
  bool offer_view = true;
  bool offer_points = true;
  // Events: IProvideClassInfo2 naming kFakeEvents as the default source, and a connection point
  // for it. Without the point, FindConnectionPoint answers as the play control does.
  bool offer_class_info = false;
  bool offer_event_point = false;
  std::vector<bool> user_modes;  // UserMode as read at SetClientSite and on each change
  std::wstring host_names;  // "container|object"
  HWND verb_parent = nullptr;
  RECT verb_rect = {};
  OLEINPLACEFRAMEINFO frame_info = {};
  HWND window = nullptr;
  ComPtr<IOleClientSite> site;
  ComPtr<IOleInPlaceSite> in_place_site;
  ComPtr<IAdviseSink> object_sink, view_sink;
  ComPtr<IPropertyNotifySink> property_sink;

  LONG references() const { return references_; }
  IUnknown* unknown() { return static_cast<IOleObject*>(this); }

  // ---- calls a control makes on its own
  void Changed(DISPID dispid) { property_sink->OnChanged(dispid); }
  HRESULT RequestEdit(DISPID dispid) { return property_sink->OnRequestEdit(dispid); }
  void ViewChanged() { view_sink->OnViewChange(DVASPECT_CONTENT, -1); }
  // Fires an event to every advised sink, in advise order, as a control does: `args` in the
  // event's parameter order, handed over reversed, each sink held for its call.
  void Fire(DISPID dispid, std::vector<VARIANT> args) {
    std::reverse(args.begin(), args.end());
    DISPPARAMS params = {args.data(), nullptr, static_cast<UINT>(args.size()), 0};
    const std::vector<ComPtr<IDispatch>> sinks = event_sinks;
    for (const ComPtr<IDispatch>& sink : sinks) {
      if (!sink) continue;
      VARIANT result;
      VariantInit(&result);
      sink->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                   dispid == kCaptureEx ? &result : nullptr, nullptr, nullptr);
      VariantClear(&result);
    }
  }
  std::vector<ComPtr<IDispatch>> event_sinks;  // a cookie is its slot + 1

  // ---------------------------------------------------------------- IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (riid == IID_IUnknown || riid == IID_IOleObject) {
      *out = static_cast<IOleObject*>(this);
    } else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceObject) {
      *out = static_cast<IOleInPlaceObject*>(this);
    } else if (riid == IID_IViewObject && offer_view) {
      *out = static_cast<IViewObject*>(this);
    } else if (riid == IID_IPersistStreamInit) {
      *out = static_cast<IPersistStreamInit*>(this);
    } else if (riid == IID_IConnectionPointContainer && offer_points) {
      *out = static_cast<IConnectionPointContainer*>(this);
    } else if (riid == IID_IOleControl) {
      *out = static_cast<IOleControl*>(this);
    } else if ((riid == IID_IProvideClassInfo || riid == IID_IProvideClassInfo2) &&
               offer_class_info) {
      *out = static_cast<IProvideClassInfo2*>(this);
    }
    if (*out == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  // ---------------------------------------------------------------- IOleObject
  STDMETHODIMP SetClientSite(IOleClientSite* client) override {
    ZU_CALL(client ? "SetClientSite" : "SetClientSite(null)");
    site = client;
    if (client) ReadUserMode();
    return S_OK;
  }
  STDMETHODIMP SetHostNames(LPCOLESTR app, LPCOLESTR object) override {
    ZU_CALL("SetHostNames");
    host_names = std::wstring(app) + L"|" + object;
    return S_OK;
  }
  STDMETHODIMP Close(DWORD save) override {
    ZU_CALL("Close(" + std::to_string(save) + ")");
    if (window) InPlaceDeactivate();
    if (object_sink) object_sink->OnClose();
    return S_OK;
  }
  STDMETHODIMP DoVerb(LONG verb, MSG*, IOleClientSite* active, LONG, HWND parent,
                      LPCRECT rect) override {
    ZU_CALL("DoVerb(" + std::to_string(verb) + ")");
    verb_parent = parent;
    verb_rect = rect ? *rect : RECT{};
    if (verb != OLEIVERB_INPLACEACTIVATE || !active) return E_NOTIMPL;
    ComPtr<IOleInPlaceSite> place;
    if (FAILED(active->QueryInterface(IID_PPV_ARGS(&place)))) return E_NOINTERFACE;
    if (place->CanInPlaceActivate() != S_OK) return E_FAIL;
    place->OnInPlaceActivate();
    HWND host = nullptr;
    place->GetWindow(&host);
    ComPtr<IOleInPlaceFrame> frame;
    ComPtr<IOleInPlaceUIWindow> document;
    RECT position, clip;
    frame_info.cb = sizeof frame_info;
    place->GetWindowContext(&frame, &document, &position, &clip, &frame_info);
    window = CreateWindowExW(0, L"STATIC", L"fake", WS_CHILD | WS_VISIBLE, position.left,
                             position.top, position.right - position.left,
                             position.bottom - position.top, host, nullptr, nullptr, nullptr);
    in_place_site = place;
    return window ? S_OK : E_FAIL;
  }
  STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override {
    ZU_CALL("SetExtent(" + std::to_string(size->cx) + "," + std::to_string(size->cy) + ")");
    return S_OK;
  }
  STDMETHODIMP Advise(IAdviseSink* sink, DWORD* cookie) override {
    ZU_CALL("Advise");
    object_sink = sink;
    *cookie = 7;
    return S_OK;
  }
  STDMETHODIMP Unadvise(DWORD cookie) override {
    ZU_CALL("Unadvise(" + std::to_string(cookie) + ")");
    object_sink.Reset();
    return S_OK;
  }
  STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override {
    ZU_CALL("GetMiscStatus");
    *status = misc_status;
    return S_OK;
  }
  STDMETHODIMP GetClientSite(IOleClientSite**) override ZU_UNEXPECTED
  STDMETHODIMP SetMoniker(DWORD, IMoniker*) override ZU_UNEXPECTED
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override ZU_UNEXPECTED
  STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override ZU_UNEXPECTED
  STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override ZU_UNEXPECTED
  STDMETHODIMP EnumVerbs(IEnumOLEVERB**) override ZU_UNEXPECTED
  STDMETHODIMP Update() override ZU_UNEXPECTED
  STDMETHODIMP IsUpToDate() override ZU_UNEXPECTED
  STDMETHODIMP GetUserClassID(CLSID*) override ZU_UNEXPECTED
  STDMETHODIMP GetUserType(DWORD, LPOLESTR*) override ZU_UNEXPECTED
  STDMETHODIMP GetExtent(DWORD, SIZEL*) override ZU_UNEXPECTED
  STDMETHODIMP EnumAdvise(IEnumSTATDATA**) override ZU_UNEXPECTED
  STDMETHODIMP SetColorScheme(LOGPALETTE*) override ZU_UNEXPECTED

  // ---------------------------------------------------------------- IOleInPlaceObject
  // Not recorded: tests ask for the window through the container.
  STDMETHODIMP GetWindow(HWND* hwnd) override {
    *hwnd = window;
    return window ? S_OK : E_FAIL;
  }
  STDMETHODIMP InPlaceDeactivate() override {
    ZU_CALL("InPlaceDeactivate");
    if (window) DestroyWindow(window);
    window = nullptr;
    if (in_place_site) in_place_site->OnInPlaceDeactivate();
    in_place_site.Reset();
    return S_OK;
  }
  STDMETHODIMP SetObjectRects(LPCRECT position, LPCRECT clip) override {
    ZU_CALL("SetObjectRects(" + Text(*position) + ")");
    MoveWindow(window, position->left, position->top, position->right - position->left,
               position->bottom - position->top, TRUE);
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override ZU_UNEXPECTED
  STDMETHODIMP UIDeactivate() override ZU_UNEXPECTED
  STDMETHODIMP ReactivateAndUndo() override ZU_UNEXPECTED

  // ---------------------------------------------------------------- IViewObject
  STDMETHODIMP SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override {
    ZU_CALL(sink ? "SetAdvise" : "SetAdvise(null)");
    view_sink = sink;
    return S_OK;
  }
  STDMETHODIMP Draw(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, HDC, LPCRECTL, LPCRECTL,
                    BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) override ZU_UNEXPECTED
  STDMETHODIMP GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE**) override
      ZU_UNEXPECTED
  STDMETHODIMP Freeze(DWORD, LONG, void*, DWORD*) override ZU_UNEXPECTED
  STDMETHODIMP Unfreeze(DWORD) override ZU_UNEXPECTED
  STDMETHODIMP GetAdvise(DWORD*, DWORD*, IAdviseSink**) override ZU_UNEXPECTED

  // ---------------------------------------------------------------- IPersistStreamInit
  STDMETHODIMP InitNew() override {
    ZU_CALL("InitNew");
    return S_OK;
  }
  STDMETHODIMP Load(IStream* stream) override {
    DWORD value = 0;
    stream->Read(&value, sizeof value, nullptr);
    ZU_CALL("Load(" + std::to_string(value) + ")");
    return S_OK;
  }
  STDMETHODIMP GetClassID(CLSID*) override ZU_UNEXPECTED
  STDMETHODIMP IsDirty() override ZU_UNEXPECTED
  STDMETHODIMP Save(IStream*, BOOL) override ZU_UNEXPECTED
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER*) override ZU_UNEXPECTED

  // ---------------------------------------------------------------- IConnectionPointContainer
  STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override {
    const bool events = riid == kFakeEvents;
    ZU_CALL(events ? "FindConnectionPoint(events)" : "FindConnectionPoint");
    *point = nullptr;
    if (events && offer_event_point) {
      event_point_.AddRef();
      *point = &event_point_;
      return S_OK;
    }
    if (riid != IID_IPropertyNotifySink) return CONNECT_E_NOCONNECTION;
    point_.AddRef();
    *point = &point_;
    return S_OK;
  }
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints**) override ZU_UNEXPECTED

  // ---------------------------------------------------------------- IOleControl
  STDMETHODIMP OnAmbientPropertyChange(DISPID dispid) override {
    ZU_CALL("OnAmbientPropertyChange(" + std::to_string(dispid) + ")");
    if (dispid == DISPID_AMBIENT_USERMODE) ReadUserMode();
    return S_OK;
  }
  STDMETHODIMP GetControlInfo(CONTROLINFO*) override ZU_UNEXPECTED
  STDMETHODIMP OnMnemonic(MSG*) override ZU_UNEXPECTED
  STDMETHODIMP FreezeEvents(BOOL) override ZU_UNEXPECTED

  // ---------------------------------------------------------------- IProvideClassInfo2
  STDMETHODIMP GetClassInfo(ITypeInfo**) override ZU_UNEXPECTED
  STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override {
    ZU_CALL("GetGUID(" + std::to_string(kind) + ")");
    *guid = GUID_NULL;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_FAIL;
    *guid = kFakeEvents;
    return S_OK;
  }

 private:
  ~FakeControl() = default;

  // Records `call`; its configured failure, if any, is returned at once.
  HRESULT Record(std::string call) {
    calls.push_back(call);
    auto failure = failures.find(call);
    return failure == failures.end() ? S_OK : failure->second;
  }
  void ReadUserMode() {
    ComPtr<IDispatch> ambients;
    if (FAILED(site.As(&ambients))) return;
    VARIANT value;
    VariantInit(&value);
    DISPPARAMS none = {};
    if (SUCCEEDED(ambients->Invoke(DISPID_AMBIENT_USERMODE, IID_NULL, LOCALE_USER_DEFAULT,
                                   DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr)) &&
        V_VT(&value) == VT_BOOL) {
      user_modes.push_back(V_BOOL(&value) == VARIANT_TRUE);
    }
    VariantClear(&value);
  }

  class Point final : public IConnectionPoint {
   public:
    explicit Point(FakeControl* owner) : owner_(owner) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
      *out = riid == IID_IUnknown || riid == IID_IConnectionPoint ? this : nullptr;
      if (*out == nullptr) return E_NOINTERFACE;
      AddRef();
      return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return owner_->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return owner_->Release(); }
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override {
      const HRESULT hr = owner_->Record("Point::Advise");
      if (FAILED(hr)) return hr;
      *cookie = 3;
      return sink->QueryInterface(IID_PPV_ARGS(&owner_->property_sink));
    }
    STDMETHODIMP Unadvise(DWORD cookie) override {
      owner_->property_sink.Reset();
      return owner_->Record("Point::Unadvise(" + std::to_string(cookie) + ")");
    }
    STDMETHODIMP GetConnectionInterface(IID*) override ZU_UNEXPECTED
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer**) override ZU_UNEXPECTED
    STDMETHODIMP EnumConnections(IEnumConnections**) override ZU_UNEXPECTED

   private:
    FakeControl* owner_;
  };

  // Any number of sinks, each asked for the event interface as a control's point does.
  class EventPoint final : public IConnectionPoint {
   public:
    explicit EventPoint(FakeControl* owner) : owner_(owner) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
      *out = riid == IID_IUnknown || riid == IID_IConnectionPoint ? this : nullptr;
      if (*out == nullptr) return E_NOINTERFACE;
      AddRef();
      return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return owner_->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return owner_->Release(); }
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override {
      *cookie = 0;
      const HRESULT hr = owner_->Record("Events::Advise");
      if (FAILED(hr)) return hr;
      ComPtr<IDispatch> events;
      if (FAILED(sink->QueryInterface(kFakeEvents, reinterpret_cast<void**>(events.GetAddressOf())))) {
        return CONNECT_E_CANNOTCONNECT;
      }
      owner_->event_sinks.push_back(std::move(events));
      *cookie = static_cast<DWORD>(owner_->event_sinks.size());
      return S_OK;
    }
    STDMETHODIMP Unadvise(DWORD cookie) override {
      const HRESULT hr = owner_->Record("Events::Unadvise(" + std::to_string(cookie) + ")");
      if (cookie == 0 || cookie > owner_->event_sinks.size() || !owner_->event_sinks[cookie - 1]) {
        return CONNECT_E_NOCONNECTION;
      }
      owner_->event_sinks[cookie - 1].Reset();
      return hr;
    }
    STDMETHODIMP GetConnectionInterface(IID*) override ZU_UNEXPECTED
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer**) override ZU_UNEXPECTED
    STDMETHODIMP EnumConnections(IEnumConnections**) override ZU_UNEXPECTED

   private:
    FakeControl* owner_;
  };

  LONG references_ = 1;
  Point point_{this};
  EventPoint event_point_{this};
};

ComPtr<FakeControl> MakeFake() {
  ComPtr<FakeControl> fake;
  *fake.GetAddressOf() = new FakeControl;  // MinGW's ComPtr::Attach would add a reference
  return fake;
}

// 200 x 100 pixels, the default position's size, at the 96 dpi of Wine's default prefix.
constexpr char kExtentCall[] = "SetExtent(5292,2646)";

class TestContainerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(ole_)) << std::hex << ole_;
    HDC screen = GetDC(nullptr);
    ASSERT_EQ(GetDeviceCaps(screen, LOGPIXELSX), 96);
    ReleaseDC(nullptr, screen);
  }
  void TearDown() override {
    PumpMessages();
    if (SUCCEEDED(ole_)) OleUninitialize();
  }

 private:
  HRESULT ole_ = OleInitialize(nullptr);
};

// ---------------------------------------------------------------- the host sequence

TEST_F(TestContainerTest, HostsAndUnhostsInTheOrderTheControlAsksFor) {
  const struct {
    const char* name;
    DWORD misc;
    std::vector<std::string> first;
  } rows[] = {
      {"site first", OLEMISC_SETCLIENTSITEFIRST, {"GetMiscStatus", "SetClientSite", "InitNew"}},
      {"data first", 0, {"GetMiscStatus", "InitNew", "SetClientSite"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TestContainer container;
    auto fake = MakeFake();
    fake->misc_status = row.misc;
    ASSERT_EQ(container.Attach(fake->unknown()), S_OK);

    ASSERT_EQ(container.Host(), S_OK);
    std::vector<std::string> expected = row.first;
    expected.insert(expected.end(), {"SetHostNames", kExtentCall, "Advise", "SetAdvise",
                                     "FindConnectionPoint", "Point::Advise", "DoVerb(-5)"});
    EXPECT_THAT(fake->calls, ElementsAreArray(expected));
    EXPECT_EQ(container.misc_status(), row.misc);
    EXPECT_EQ(fake->host_names, L"Zu Test Container|Control");
    EXPECT_EQ(fake->verb_parent, container.window());
    EXPECT_EQ(Text(fake->verb_rect), Text(container.position()));

    fake->calls.clear();
    EXPECT_EQ(container.Unhost(), S_OK);
    EXPECT_THAT(fake->calls, ElementsAre("InPlaceDeactivate", "Close(1)", "SetClientSite(null)",
                                         "Unadvise(7)", "SetAdvise(null)", "Point::Unadvise(3)"));
    EXPECT_EQ(fake->references(), 1) << "the container still holds the control";
    EXPECT_EQ(container.SiteReferences(), 0) << "the control still holds the container";
    EXPECT_EQ(container.control(), nullptr);

    fake->calls.clear();
    EXPECT_EQ(container.Unhost(), S_OK);
    EXPECT_THAT(fake->calls, IsEmpty());
  }
}

TEST_F(TestContainerTest, HostLoadsFromTheGivenStreamInsteadOfInitNew) {
  ComPtr<IStream> stream;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
  const DWORD value = 42;
  ASSERT_EQ(stream->Write(&value, sizeof value, nullptr), S_OK);
  ASSERT_EQ(stream->Seek({}, STREAM_SEEK_SET, nullptr), S_OK);
  TestContainer container;
  auto fake = MakeFake();
  ASSERT_EQ(container.Attach(fake->unknown()), S_OK);

  ASSERT_EQ(container.Host(stream.Get()), S_OK);

  EXPECT_THAT(std::vector<std::string>(fake->calls.begin(), fake->calls.begin() + 3),
              ElementsAre("GetMiscStatus", "SetClientSite", "Load(42)"));
  EXPECT_EQ(std::count(fake->calls.begin(), fake->calls.end(), "InitNew"), 0);
}

TEST_F(TestContainerTest, HostStopsAtTheFirstFailureAndReturnsIt) {
  const struct {
    std::string call;
    HRESULT code;
  } rows[] = {
      {"SetClientSite", E_FAIL},        {"InitNew", E_OUTOFMEMORY},
      {"SetHostNames", E_INVALIDARG},   {kExtentCall, E_UNEXPECTED},
      {"Advise", OLE_E_ADVISENOTSUPPORTED}, {"SetAdvise", E_ACCESSDENIED},
      {"Point::Advise", CONNECT_E_CANNOTCONNECT}, {"DoVerb(-5)", OLEOBJ_E_INVALIDVERB},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.call);
    TestContainer container;
    auto fake = MakeFake();
    fake->failures[row.call] = row.code;
    ASSERT_EQ(container.Attach(fake->unknown()), S_OK);

    EXPECT_EQ(container.Host(), row.code);
    EXPECT_EQ(fake->calls.back(), row.call) << "the container went on after the failure";

    EXPECT_EQ(container.Unhost(), S_OK);
    EXPECT_EQ(fake->references(), 1);
    EXPECT_EQ(container.SiteReferences(), 0);
  }
}

TEST_F(TestContainerTest, HostGoesOnWithoutViewAdviseOrPropertyNotifications) {
  TestContainer container;
  auto fake = MakeFake();
  fake->offer_view = false;
  fake->failures["FindConnectionPoint"] = CONNECT_E_NOCONNECTION;
  ASSERT_EQ(container.Attach(fake->unknown()), S_OK);

  EXPECT_EQ(container.AdviseView(), E_NOINTERFACE);
  EXPECT_EQ(container.AdviseProperties(), CONNECT_E_NOCONNECTION);
  fake->calls.clear();
  EXPECT_EQ(container.Host(), S_OK);
  EXPECT_EQ(fake->calls.back(), "DoVerb(-5)");
  EXPECT_EQ(std::count(fake->calls.begin(), fake->calls.end(), "Point::Advise"), 0);

  fake->calls.clear();
  EXPECT_EQ(container.Unhost(), S_OK);
  EXPECT_THAT(fake->calls, ElementsAre("InPlaceDeactivate", "Close(1)", "SetClientSite(null)",
                                       "Unadvise(7)"));
}

TEST_F(TestContainerTest, UnhostRunsEveryStepAndReturnsTheFirstFailure) {
  TestContainer container;
  auto fake = MakeFake();
  fake->failures["Close(1)"] = OLE_E_PROMPTSAVECANCELLED;
  fake->failures["Point::Unadvise(3)"] = CONNECT_E_NOCONNECTION;
  ASSERT_EQ(container.Attach(fake->unknown()), S_OK);
  ASSERT_EQ(container.Host(), S_OK);
  fake->calls.clear();

  EXPECT_EQ(container.Unhost(), OLE_E_PROMPTSAVECANCELLED);

  EXPECT_THAT(fake->calls, ElementsAre("InPlaceDeactivate", "Close(1)", "SetClientSite(null)",
                                       "Unadvise(7)", "SetAdvise(null)", "Point::Unadvise(3)"));
  EXPECT_EQ(fake->references(), 1);
}

TEST_F(TestContainerTest, CreatesThroughAClassFactoryAndHostsOneControlAtATime) {
  class Factory final : public IClassFactory {
   public:
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
      *out = riid == IID_IUnknown || riid == IID_IClassFactory ? this : nullptr;
      return *out ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
      EXPECT_EQ(outer, nullptr);
      return made->QueryInterface(riid, out);
    }
    STDMETHODIMP LockServer(BOOL) override { return E_NOTIMPL; }
    ComPtr<FakeControl> made = MakeFake();
  } factory;
  TestContainer container;

  ASSERT_EQ(container.Create(&factory), S_OK);
  EXPECT_EQ(container.control(), static_cast<IOleObject*>(factory.made.Get()));
  EXPECT_EQ(container.Create(&factory), E_UNEXPECTED);
  EXPECT_EQ(container.Attach(factory.made->unknown()), E_UNEXPECTED);
  EXPECT_EQ(container.ReleaseControl(), 1u);
  EXPECT_EQ(container.DoVerb(OLEIVERB_INPLACEACTIVATE), E_UNEXPECTED) << "no control";
}

// ---------------------------------------------------------------- in-place activation

TEST_F(TestContainerTest, ActivatesInPlaceInTheHostWindowAtThePosition) {
  TestContainer container;
  auto fake = MakeFake();
  ASSERT_EQ(container.Attach(fake->unknown()), S_OK);
  ASSERT_EQ(container.Host(), S_OK);

  const HWND host = container.window();
  wchar_t class_name[64] = {};
  GetClassNameW(host, class_name, 64);
  EXPECT_STREQ(class_name, HostWindow::kClassName);
  EXPECT_EQ(GetAncestor(host, GA_PARENT), GetDesktopWindow());
  EXPECT_TRUE(IsWindowVisible(host));
  EXPECT_NE(GetActiveWindow(), host) << "shown without activation";

  const HWND control = container.ControlWindow();
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(GetParent(control), host);
  EXPECT_EQ(fake->frame_info.hwndFrame, host);
  RECT placed;
  GetWindowRect(control, &placed);
  MapWindowPoints(nullptr, host, reinterpret_cast<POINT*>(&placed), 2);
  EXPECT_EQ(Text(placed), "10,20,210,120");

  // The site's calls come from inside DoVerb, in the order the control made them.
  const std::vector<std::string> log = container.log().Entries();
  const auto verb = std::find(log.begin(), log.end(), "-> IOleObject::DoVerb(-5)");
  ASSERT_NE(verb, log.end());
  EXPECT_THAT(std::vector<std::string>(verb + 1, log.end()),
              ElementsAre("InPlaceSite::CanInPlaceActivate", "InPlaceSite::OnInPlaceActivate",
                          "InPlaceSite::GetWindow", "InPlaceSite::GetWindowContext"));

  // A resize from the container, then one the control asks for.
  EXPECT_EQ(container.SetObjectRects({5, 5, 105, 55}), S_OK);
  GetWindowRect(control, &placed);
  MapWindowPoints(nullptr, host, reinterpret_cast<POINT*>(&placed), 2);
  EXPECT_EQ(Text(placed), "5,5,105,55");
  const RECT wanted = {0, 0, 300, 200};
  EXPECT_EQ(fake->in_place_site->OnPosRectChange(&wanted), S_OK);
  EXPECT_EQ(fake->calls.back(), "SetObjectRects(0,0,300,200)");
  EXPECT_EQ(Text(container.position()), "0,0,300,200");

  EXPECT_EQ(container.InPlaceDeactivate(), S_OK);
  EXPECT_EQ(container.log().Entries().back(), "InPlaceSite::OnInPlaceDeactivate");
}

TEST_F(TestContainerTest, RefusedActivationLeavesNothingToDeactivate) {
  TestContainer container;
  container.answers().can_in_place_activate = S_FALSE;
  auto fake = MakeFake();
  ASSERT_EQ(container.Attach(fake->unknown()), S_OK);

  EXPECT_EQ(container.Host(), E_FAIL);  // the fake's answer to a refusal
  EXPECT_EQ(container.ControlWindow(), nullptr);

  fake->calls.clear();
  EXPECT_EQ(container.Unhost(), S_OK);
  EXPECT_THAT(fake->calls, ElementsAre("Close(1)", "SetClientSite(null)", "Unadvise(7)",
                                       "SetAdvise(null)", "Point::Unadvise(3)"));
}

// ---------------------------------------------------------------- ambients

TEST_F(TestContainerTest, ControlSeesUserModeAndItsChangesAtRunTime) {
  TestContainer container;
  auto fake = MakeFake();
  ASSERT_EQ(container.Attach(fake->unknown()), S_OK);
  ASSERT_EQ(container.Host(), S_OK);
  EXPECT_THAT(fake->user_modes, ElementsAre(true));

  EXPECT_EQ(container.SetUserMode(false), S_OK);
  EXPECT_EQ(container.SetUserMode(true), S_OK);

  EXPECT_THAT(fake->user_modes, ElementsAre(true, false, true));
  EXPECT_EQ(container.log().Count("-> IOleControl::OnAmbientPropertyChange(-709)"), 2u);
  EXPECT_EQ(container.log().Count("Ambient::Invoke(UserMode)"), 3u);
}

TEST_F(TestContainerTest, AmbientsAnswerTheirValuesAndRefuseUnknownMembers) {
  TestContainer container;
  Ambients& set = container.ambients();
  set.back_color = 0x00123456;
  set.fore_color = 0x80000000 | COLOR_BTNTEXT;
  set.locale_id = 0x411;
  set.user_mode = false;
  set.ui_dead = set.show_hatching = true;
  // The prefix has no Windows fonts, and the font object reads back the face it was realised
  // with: a name the system has, then.
  set.font_name = L"DejaVu Serif";
  set.font_size.int64 = 120000;
  ComPtr<IDispatch> ambients;
  ASSERT_EQ(container.client_site()->QueryInterface(IID_PPV_ARGS(&ambients)), S_OK);
  auto get = [&](DISPID dispid, VARIANT* value, WORD flags = DISPATCH_PROPERTYGET) {
    DISPPARAMS none = {};
    return ambients->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, flags, &none, value, nullptr,
                            nullptr);
  };

  const struct {
    DISPID dispid;
    VARTYPE type;
    LONG value;
  } rows[] = {
      {DISPID_AMBIENT_BACKCOLOR, VT_I4, 0x00123456},
      {DISPID_AMBIENT_FORECOLOR, VT_I4, static_cast<LONG>(0x80000000 | COLOR_BTNTEXT)},
      {DISPID_AMBIENT_LOCALEID, VT_I4, 0x411},
      {DISPID_AMBIENT_USERMODE, VT_BOOL, VARIANT_FALSE},
      {DISPID_AMBIENT_UIDEAD, VT_BOOL, VARIANT_TRUE},
      {DISPID_AMBIENT_SHOWHATCHING, VT_BOOL, VARIANT_TRUE},
      {DISPID_AMBIENT_SHOWGRABHANDLES, VT_BOOL, VARIANT_FALSE},
      {DISPID_AMBIENT_MESSAGEREFLECT, VT_BOOL, VARIANT_FALSE},
      {DISPID_AMBIENT_DISPLAYASDEFAULT, VT_BOOL, VARIANT_FALSE},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.dispid);
    VARIANT value;
    VariantInit(&value);
    ASSERT_EQ(get(row.dispid, &value), S_OK);
    EXPECT_EQ(V_VT(&value), row.type);
    EXPECT_EQ(row.type == VT_I4 ? V_I4(&value) : V_BOOL(&value), row.value);
  }

  VARIANT font;
  VariantInit(&font);
  ASSERT_EQ(get(DISPID_AMBIENT_FONT, &font), S_OK);
  ASSERT_EQ(V_VT(&font), VT_DISPATCH);
  ComPtr<IFont> font_object;
  ASSERT_EQ(V_DISPATCH(&font)->QueryInterface(IID_PPV_ARGS(&font_object)), S_OK);
  BSTR face = nullptr;
  EXPECT_EQ(font_object->get_Name(&face), S_OK);
  EXPECT_STREQ(face, L"DejaVu Serif");
  SysFreeString(face);
  CY size = {};
  EXPECT_EQ(font_object->get_Size(&size), S_OK);
  EXPECT_EQ(size.int64, 120000);
  VariantClear(&font);

  VARIANT value;
  VariantInit(&value);
  EXPECT_EQ(get(DISPID_AMBIENT_DISPLAYNAME, &value), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(get(12345, &value), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(get(DISPID_AMBIENT_USERMODE, &value, DISPATCH_PROPERTYPUT), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(V_VT(&value), VT_EMPTY);
  EXPECT_TRUE(container.log().Contains("Ambient::Invoke(12345)"));

  LPOLESTR names[] = {const_cast<LPOLESTR>(L"usermode"), const_cast<LPOLESTR>(L"Caption")};
  DISPID ids[2] = {};
  EXPECT_EQ(ambients->GetIDsOfNames(IID_NULL, names, 1, 0, ids), S_OK);
  EXPECT_EQ(ids[0], DISPID_AMBIENT_USERMODE);
  EXPECT_EQ(ambients->GetIDsOfNames(IID_NULL, names + 1, 1, 0, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], DISPID_UNKNOWN);
}

// ---------------------------------------------------------------- sinks and the control site

TEST_F(TestContainerTest, RecordsNotificationsAndAnswersWithTheChosenResults) {
  TestContainer container;
  auto fake = MakeFake();
  ASSERT_EQ(container.Attach(fake->unknown()), S_OK);
  ASSERT_EQ(container.Host(), S_OK);
  const std::size_t mark = container.log().Size();

  fake->Changed(7);
  EXPECT_EQ(fake->RequestEdit(7), S_OK);
  container.answers().request_edit = S_FALSE;
  EXPECT_EQ(fake->RequestEdit(8), S_FALSE);
  fake->ViewChanged();
  ComPtr<IOleControlSite> control_site;
  ASSERT_EQ(fake->site.As(&control_site), S_OK);
  EXPECT_EQ(control_site->OnFocus(TRUE), S_OK);
  EXPECT_EQ(control_site->ShowPropertyFrame(), E_NOTIMPL);
  container.answers().show_property_frame = S_OK;
  EXPECT_EQ(control_site->ShowPropertyFrame(), S_OK);
  control_site.Reset();
  EXPECT_EQ(container.Close(), S_OK);

  EXPECT_THAT(container.log().Since(mark),
              ElementsAre("PropertySink::OnChanged(7)", "PropertySink::OnRequestEdit(7)",
                          "PropertySink::OnRequestEdit(8)", "AdviseSink::OnViewChange(1,-1)",
                          "ControlSite::OnFocus(1)", "ControlSite::ShowPropertyFrame",
                          "ControlSite::ShowPropertyFrame", "-> IOleObject::Close(1)",
                          "InPlaceSite::OnInPlaceDeactivate", "AdviseSink::OnClose"));
}

TEST_F(TestContainerTest, MarksCallsFromAnotherThread) {
  TestContainer container;
  ComPtr<IOleControlSite> control_site;
  ASSERT_EQ(container.client_site()->QueryInterface(IID_PPV_ARGS(&control_site)), S_OK);

  control_site->OnFocus(FALSE);
  std::thread([&] { control_site->OnFocus(TRUE); }).join();

  EXPECT_THAT(container.log().Entries(),
              ElementsAre("ControlSite::OnFocus(0)", "ControlSite::OnFocus(1) [other thread]"));
}

TEST_F(TestContainerTest, SiteAnswersTheContainerInterfacesAsOneObject) {
  TestContainer container;
  IUnknown* site = container.client_site();
  ComPtr<IUnknown> identity;
  ASSERT_EQ(site->QueryInterface(IID_PPV_ARGS(&identity)), S_OK);
  for (const IID* iid : {&IID_IOleClientSite, &IID_IOleWindow, &IID_IOleInPlaceSite,
                         &IID_IOleInPlaceSiteEx, &IID_IOleControlSite, &IID_IDispatch}) {
    ComPtr<IUnknown> part, back;
    ASSERT_EQ(site->QueryInterface(*iid, &part), S_OK);
    ASSERT_EQ(part.As(&back), S_OK);
    EXPECT_EQ(back.Get(), identity.Get());
  }
  for (const IID* iid : {&IID_IOleInPlaceSiteWindowless, &IID_IOleContainer,
                         &IID_IPropertyNotifySink, &IID_IAdviseSink, &IID_IServiceProvider}) {
    ComPtr<IUnknown> part;
    EXPECT_EQ(site->QueryInterface(*iid, &part), E_NOINTERFACE);
    EXPECT_EQ(part.Get(), nullptr);
  }
  container.answers().offer_in_place_site_ex = false;
  ComPtr<IOleInPlaceSiteEx> ex;
  EXPECT_EQ(site->QueryInterface(IID_PPV_ARGS(&ex)), E_NOINTERFACE);
  EXPECT_EQ(container.log().Queries().back(), "refused IOleInPlaceSiteEx");
  identity.Reset();
  EXPECT_EQ(container.SiteReferences(), 0);
}

// ---------------------------------------------------------------- events

// What one sink saw of one event: which, the frame bytes its first argument carried, the count.
struct Seen {
  int sink;
  DISPID dispid;
  std::string bytes;
  LONG count;
  bool operator==(const Seen& o) const {
    return sink == o.sink && dispid == o.dispid && bytes == o.bytes && count == o.count;
  }
};

std::ostream& operator<<(std::ostream& out, const Seen& s) {
  return out << "{sink " << s.sink << ", dispid " << s.dispid << ", \"" << s.bytes << "\", "
             << s.count << "}";
}

// Takes the two events as a capture host does: Capture(BSTR* data, long count) and
// CaptureEx(VARIANT* data, long count), the bytes being the string's first `count` bytes.
// Anything of another shape is recorded as such.
EventHandler Recorder(int sink, std::vector<Seen>* seen) {
  return [sink, seen](DISPID dispid, DISPPARAMS* params) -> HRESULT {
    VARIANT* data = EventArgument(params, 0);
    VARIANT* count = EventArgument(params, 1);
    if (params->cArgs != 2 || params->cNamedArgs != 0 || !data || !count ||
        V_VT(count) != VT_I4) {
      seen->push_back({sink, dispid, "bad arguments", -1});
      return DISP_E_BADPARAMCOUNT;
    }
    BSTR text = nullptr;
    if (dispid == kCapture && V_VT(data) == (VT_BYREF | VT_BSTR)) {
      text = *V_BSTRREF(data);
    } else if (dispid == kCaptureEx && V_VT(data) == (VT_BYREF | VT_VARIANT) &&
               V_VT(V_VARIANTREF(data)) == VT_BSTR) {
      text = V_BSTR(V_VARIANTREF(data));
    } else {
      seen->push_back({sink, dispid, "bad type " + std::to_string(V_VT(data)), V_I4(count)});
      return DISP_E_TYPEMISMATCH;
    }
    seen->push_back(
        {sink, dispid, std::string(reinterpret_cast<const char*>(text), V_I4(count)), V_I4(count)});
    return S_OK;
  };
}

LONG ReferencesOf(IUnknown* object) {
  object->AddRef();
  return static_cast<LONG>(object->Release());
}

class ContainerEvents : public TestContainerTest {
 protected:
  void SetUp() override {
    TestContainerTest::SetUp();
    fake_ = MakeFake();
    fake_->offer_class_info = fake_->offer_event_point = true;
    ASSERT_EQ(container_.Attach(fake_->unknown()), S_OK);
  }
  void TearDown() override {
    container_.Unhost();  // while OLE is still up
    TestContainerTest::TearDown();
  }
  // The two events with the frame "frame data" of 10 bytes, in a string of 10 characters.
  void FireBoth() {
    BSTR text = SysAllocStringByteLen("frame data", 10);
    ASSERT_NE(text, nullptr);
    VARIANT data, count;
    V_VT(&count) = VT_I4;
    V_I4(&count) = 10;
    V_VT(&data) = VT_BYREF | VT_BSTR;
    V_BSTRREF(&data) = &text;
    fake_->Fire(kCapture, {data, count});
    VARIANT held;
    V_VT(&held) = VT_BSTR;
    V_BSTR(&held) = text;
    V_VT(&data) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&data) = &held;
    fake_->Fire(kCaptureEx, {data, count});
    SysFreeString(text);
  }

  TestContainer container_;
  ComPtr<FakeControl> fake_;
};

TEST_F(ContainerEvents, EverySinkGetsCaptureAndCaptureExWithTheirArgumentShapes) {
  std::vector<Seen> seen;
  auto alive = std::make_shared<int>(0);  // held by the handlers of the sinks made for us
  DWORD first = 0, second = 0;
  ASSERT_EQ(container_.AdviseEvents(Recorder(1, &seen), &first), S_OK);
  ASSERT_EQ(container_.Host(), S_OK);
  ASSERT_EQ(container_.AdviseEvents(
                [alive, handler = Recorder(2, &seen)](DISPID id, DISPPARAMS* p) {
                  return handler(id, p);
                },
                &second),
            S_OK);
  ComPtr<EventSink> own = EventSink::Make(kFakeEvents, Recorder(3, &seen));
  ASSERT_EQ(ReferencesOf(own.Get()), 1);
  ASSERT_EQ(container_.AdviseEvents(own.Get()), S_OK);
  EXPECT_EQ(ReferencesOf(own.Get()), 2) << "the control's point holds the sink";
  EXPECT_EQ(first, 1u);
  EXPECT_EQ(second, 2u);
  EXPECT_EQ(container_.EventConnections(), 3u);
  EXPECT_EQ(std::count(fake_->calls.begin(), fake_->calls.end(),
                       "GetGUID(" + std::to_string(GUIDKIND_DEFAULT_SOURCE_DISP_IID) + ")"),
            3);

  FireBoth();

  const std::string frame = "frame data";
  EXPECT_THAT(seen, ElementsAre(Seen{1, kCapture, frame, 10}, Seen{2, kCapture, frame, 10},
                                Seen{3, kCapture, frame, 10}, Seen{1, kCaptureEx, frame, 10},
                                Seen{2, kCaptureEx, frame, 10}, Seen{3, kCaptureEx, frame, 10}));

  // One sink goes on its own; the rest go at unhost, and every reference goes with them.
  EXPECT_EQ(container_.UnadviseEvents(first), S_OK);
  EXPECT_EQ(container_.UnadviseEvents(first), CONNECT_E_NOCONNECTION);
  seen.clear();
  FireBoth();
  EXPECT_EQ(seen.size(), 4u) << "sink 1 still called";
  fake_->calls.clear();
  EXPECT_EQ(container_.Unhost(), S_OK);
  EXPECT_THAT(fake_->calls, ElementsAre("InPlaceDeactivate", "Close(1)", "SetClientSite(null)",
                                        "Unadvise(7)", "SetAdvise(null)", "Point::Unadvise(3)",
                                        "Events::Unadvise(2)", "Events::Unadvise(3)"));
  EXPECT_EQ(container_.EventConnections(), 0u);
  EXPECT_EQ(ReferencesOf(own.Get()), 1);
  EXPECT_EQ(alive.use_count(), 1) << "a sink made for the events outlived its connection";
  EXPECT_EQ(fake_->references(), 1) << "the container still holds the control";
  EXPECT_EQ(container_.SiteReferences(), 0);
  seen.clear();
  FireBoth();
  EXPECT_THAT(seen, IsEmpty());
}

// A control that fires no events is hosted all the same; only a real failure to connect counts.
TEST_F(ContainerEvents, NoEventsIsNoFailureButAFailedConnectionIs) {
  const struct {
    const char* name;
    bool class_info;
    bool event_point;
    const char* failing_call;
    HRESULT code;
    HRESULT expected;
  } rows[] = {
      {"no class information", false, true, nullptr, S_OK, S_FALSE},
      {"no default source", true, true, "GetGUID(1)", E_FAIL, S_FALSE},
      {"no point for it, as the play control", true, false, nullptr, S_OK, S_FALSE},
      {"finding the point fails", true, true, "FindConnectionPoint(events)", E_OUTOFMEMORY,
       E_OUTOFMEMORY},
      {"the point refuses", true, true, "Events::Advise", CONNECT_E_ADVISELIMIT,
       CONNECT_E_ADVISELIMIT},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TestContainer container;
    auto fake = MakeFake();
    fake->offer_class_info = row.class_info;
    fake->offer_event_point = row.event_point;
    if (row.failing_call) fake->failures[row.failing_call] = row.code;
    ASSERT_EQ(container.Attach(fake->unknown()), S_OK);
    ASSERT_EQ(container.Host(), S_OK);
    auto alive = std::make_shared<int>(0);
    DWORD cookie = 99;

    EXPECT_EQ(container.AdviseEvents([alive](DISPID, DISPPARAMS*) { return S_OK; }, &cookie),
              row.expected);

    EXPECT_EQ(cookie, 0u);
    EXPECT_EQ(container.EventConnections(), 0u);
    EXPECT_EQ(alive.use_count(), 1);
    EXPECT_NE(container.ControlWindow(), nullptr) << "hosting went on";
    EXPECT_EQ(container.Unhost(), S_OK);
    EXPECT_EQ(fake->references(), 1);
  }
  TestContainer container;
  EXPECT_EQ(container.AdviseEvents([](DISPID, DISPPARAMS*) { return S_OK; }), E_UNEXPECTED);
  EXPECT_EQ(container.AdviseEvents(static_cast<IDispatch*>(nullptr)), E_POINTER);
}

TEST(EventSinkTest, AnswersItsInterfacesAndHandsEachInvokeToTheHandler) {
  int calls = 0;
  bool throw_next = false;
  ComPtr<EventSink> sink = EventSink::Make(kFakeEvents, [&](DISPID dispid, DISPPARAMS* params) {
    ++calls;
    if (throw_next) throw std::runtime_error("handler failed");
    EXPECT_EQ(EventArgument(params, params->cArgs), nullptr);
    return dispid == kCapture ? S_OK : DISP_E_MEMBERNOTFOUND;
  });
  for (const IID* iid : {&IID_IUnknown, &IID_IDispatch, &kFakeEvents}) {
    ComPtr<IUnknown> part;
    EXPECT_EQ(sink->QueryInterface(*iid, &part), S_OK);
    EXPECT_EQ(part.Get(), static_cast<IDispatch*>(sink.Get()));
  }
  for (const IID* iid : {&IID_IPropertyNotifySink, &IID_IAdviseSink, &IID_IOleClientSite}) {
    ComPtr<IUnknown> part;
    EXPECT_EQ(sink->QueryInterface(*iid, &part), E_NOINTERFACE);
  }
  DISPPARAMS none = {};
  EXPECT_EQ(sink->Invoke(kCapture, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(sink->Invoke(7, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(sink->Invoke(kCapture, kFakeEvents, 0, DISPATCH_METHOD, &none, nullptr, nullptr,
                         nullptr),
            DISP_E_UNKNOWNINTERFACE);
  EXPECT_EQ(calls, 2);
  throw_next = true;
  EXPECT_EQ(sink->Invoke(kCapture, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
            E_FAIL);
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(ReferencesOf(sink.Get()), 1);

  VARIANT args[2];
  DISPPARAMS two = {args, nullptr, 2, 0};
  EXPECT_EQ(EventArgument(&two, 0), &args[1]) << "the first parameter is passed last";
  EXPECT_EQ(EventArgument(&two, 1), &args[0]);
  EXPECT_EQ(EventArgument(&two, 2), nullptr);
  EXPECT_EQ(EventArgument(nullptr, 0), nullptr);
}

// ---------------------------------------------------------------- a real control

// Wine's WebBrowser, in place without navigating (the test prefix has no HTML engine).
TEST_F(TestContainerTest, HostsWinesWebBrowserInPlace) {
  CLSID clsid;
  if (FAILED(CLSIDFromProgID(L"Shell.Explorer.2", &clsid))) GTEST_SKIP() << "no WebBrowser";
  TestContainer container;
  ASSERT_EQ(container.Create(clsid), S_OK);

  ASSERT_EQ(container.Host(), S_OK);

  const HWND control = container.ControlWindow();
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(GetParent(control), container.window());
  EXPECT_TRUE(container.log().Contains("InPlaceSite::OnInPlaceActivate"));
  EXPECT_EQ(container.Unhost(), S_OK);
  EXPECT_EQ(container.SiteReferences(), 0);
}

}  // namespace
}  // namespace zu::test
