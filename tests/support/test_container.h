// TestContainer: hosts a control the way a real container does, and records what the control asks
// of it.
//
// It owns a host window (a top-level window of its own class, shown without activation) and a
// site object that answers the container side of the conversation: client site, in-place site
// (optionally the extended one), control site, the in-place frame, ambient properties through
// IDispatch, and the property-notification and advise sinks. Every call the control makes on them
// lands in the call log, in order, as "Interface::Method(arguments)"; the container's own calls
// on the control go into the same log as "-> IInterface::Method", so a test sees which of its
// steps each call came from. Interfaces asked for are kept apart (CallLog::Queries): COM itself
// asks for some, which would make sequences brittle.
//
//   TestContainer container;
//   ASSERT_EQ(container.Create(CLSID_Something), S_OK);
//   ASSERT_EQ(container.Host(), S_OK);                // InitNew ... DoVerb(INPLACEACTIVATE)
//   EXPECT_EQ(GetParent(container.ControlWindow()), container.window());
//   EXPECT_EQ(container.SetUserMode(false), S_OK);    // the control is told the ambient changed
//   EXPECT_TRUE(container.log().Contains("InPlaceSite::OnInPlaceActivate"));
//   EXPECT_EQ(container.Unhost(), S_OK);              // deactivate ... release
//   EXPECT_EQ(container.SiteReferences(), 0);
//
// Each step of Host and Unhost is also a method of its own, returning the control's HRESULT.
// The thread that makes the container must be a single-threaded apartment with OLE initialised.
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <ole2.h>
#include <oleidl.h>
#include <wrl/client.h>

#include <cstddef>
#include <initializer_list>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace zu::test {

// ---------------------------------------------------------------- CallLog

class CallLog {
 public:
  // Calls arriving on a thread other than the container's are marked " [other thread]": a
  // control must not call its site from a worker thread.
  void Add(std::string entry);
  void AddQuery(std::string interface_name, bool answered);

  std::vector<std::string> Entries() const;
  // Entries starting with any of `prefixes`, in order.
  std::vector<std::string> Select(std::initializer_list<std::string_view> prefixes) const;
  // Entries recorded after the first `mark` (a Size() taken earlier).
  std::vector<std::string> Since(std::size_t mark) const;
  std::size_t Size() const;
  std::size_t Count(std::string_view entry) const;
  bool Contains(std::string_view entry) const { return Count(entry) > 0; }
  // Interfaces asked of the container's objects: "IOleInPlaceSite", or "refused IServiceProvider".
  std::vector<std::string> Queries() const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  DWORD thread_id_ = GetCurrentThreadId();
  std::vector<std::string> entries_;
  std::vector<std::string> queries_;
};

// ---------------------------------------------------------------- settings

// What the container answers for each ambient property. Colours are OLE_COLORs (a system colour
// is 0x80000000 | COLOR_x), handed out as VT_I4.
struct Ambients {
  bool user_mode = true;
  OLE_COLOR back_color = 0x80000000 | COLOR_WINDOW;
  OLE_COLOR fore_color = 0x80000000 | COLOR_WINDOWTEXT;
  std::wstring font_name = L"Tahoma";
  CY font_size = {{82500, 0}};  // 8.25 points, in ten-thousandths
  LCID locale_id = GetUserDefaultLCID();
  // The host window reflects nothing back to the control's window.
  bool message_reflect = false;
  bool show_grab_handles = false;
  bool show_hatching = false;
  bool display_as_default = false;
  bool ui_dead = false;
};

// The answers of the container's switchable methods.
struct SiteAnswers {
  HRESULT can_in_place_activate = S_OK;
  HRESULT request_ui_activate = S_OK;       // IOleInPlaceSiteEx::RequestUIActivate
  HRESULT request_edit = S_OK;              // IPropertyNotifySink::OnRequestEdit; S_FALSE refuses
  // E_NOTIMPL: the container has no frame of its own, so the control should open one.
  HRESULT show_property_frame = E_NOTIMPL;
  // Hidden, the control sees a plain in-place site.
  bool offer_in_place_site_ex = true;
};

struct ContainerOptions {
  RECT window = {40, 40, 360, 280};    // the host window, screen coordinates
  // Where the control sits in the host window's client area. Not at the origin, so a control
  // that ignores the position rectangle shows.
  RECT position = {10, 20, 210, 120};
};

// ---------------------------------------------------------------- HostWindow

// A visible top-level window of the container's own class, never activated. A popup without
// caption or border, so its client area is the whole window.
class HostWindow {
 public:
  explicit HostWindow(const RECT& screen_rect);
  ~HostWindow();
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  HWND Get() const { return hwnd_; }
  RECT ClientRect() const;

  static const wchar_t kClassName[];

 private:
  HWND hwnd_ = nullptr;
};

// Dispatches what is waiting in this thread's queue.
void PumpMessages();
// HIMETRIC sizes from pixels of the screen, and back (rounded to nearest).
SIZEL PixelsToHimetric(SIZE pixels);
SIZE HimetricToPixels(SIZEL himetric);

// ---------------------------------------------------------------- TestContainer

class ContainerSite;

class TestContainer {
 public:
  static const wchar_t kContainerName[];  // SetHostNames' application name
  static const wchar_t kObjectName[];

  explicit TestContainer(const ContainerOptions& options = {});
  // Unhosts what is still hosted; the site stays alive as long as the control holds it.
  ~TestContainer();
  TestContainer(const TestContainer&) = delete;
  TestContainer& operator=(const TestContainer&) = delete;

  CallLog& log();
  Ambients& ambients();
  SiteAnswers& answers();
  HWND window() const { return window_.Get(); }
  const RECT& position() const;

  // The site as the control sees it (IOleClientSite of the container's site object).
  IOleClientSite* client_site() const;
  // What the control last gave IOleInPlaceFrame::SetActiveObject; null when none.
  IOleInPlaceActiveObject* active_object() const;
  // References the control (or anyone) holds on the site, its frame and its sinks, beyond the
  // container's own.
  LONG SiteReferences() const;

  // ---- the control
  HRESULT Create(REFCLSID clsid);
  HRESULT Create(IClassFactory* factory);
  // Hosts an object the test made. Refused while another is hosted.
  HRESULT Attach(IUnknown* control);
  IUnknown* control() const { return control_.Get(); }
  template <class Interface>
  Microsoft::WRL::ComPtr<Interface> ControlAs() const {
    Microsoft::WRL::ComPtr<Interface> out;
    if (control_) control_.As(&out);
    return out;
  }
  // IOleInPlaceObject::GetWindow; null when the control has no window.
  HWND ControlWindow() const;
  DWORD misc_status() const { return misc_status_; }

  // ---- the host sequence, one step at a time; each returns the control's answer. A step the
  // control has no interface for returns E_NOINTERFACE; one the container cannot take yet (no
  // control, no in-place object) E_UNEXPECTED.
  HRESULT GetMiscStatus();  // DVASPECT_CONTENT, kept in misc_status()
  HRESULT InitNew();
  HRESULT Load(IStream* stream);
  HRESULT SetClientSite();
  HRESULT SetHostNames(const wchar_t* container_name = kContainerName,
                       const wchar_t* object_name = kObjectName);
  HRESULT SetExtent();  // the position's size, HIMETRIC
  HRESULT SetExtent(const SIZEL& himetric);
  HRESULT AdviseObject();      // IOleObject::Advise
  HRESULT AdviseView();        // IViewObject::SetAdvise(DVASPECT_CONTENT)
  HRESULT AdviseProperties();  // the IPropertyNotifySink connection point
  HRESULT DoVerb(LONG verb);   // with the site, the host window and the position
  HRESULT InPlaceActivate() { return DoVerb(OLEIVERB_INPLACEACTIVATE); }
  // Moves or resizes the control: the new position, clipped to the host's client area.
  HRESULT SetObjectRects(const RECT& position);
  HRESULT UIDeactivate();
  HRESULT InPlaceDeactivate();
  HRESULT Close(DWORD save_option = OLECLOSE_NOSAVE);
  HRESULT ClearClientSite();  // SetClientSite(null)
  HRESULT Unadvise();         // whatever was advised; the first failure
  // Drops every reference the container holds on the control; returns the count its last
  // Release reported (0 when the control is gone).
  ULONG ReleaseControl();

  // ---- all at once
  // GetMiscStatus (a failure counts as no flags), then InitNew or Load(stream) and SetClientSite
  // in the order OLEMISC_SETCLIENTSITEFIRST asks for, SetHostNames, SetExtent, the advises and
  // DoVerb(OLEIVERB_INPLACEACTIVATE). Stops at the first failure and returns it. As real
  // containers do, it goes on without persistence (when there is no stream), without a view
  // advise and without property notifications when the control offers none.
  HRESULT Host(IStream* stream = nullptr);
  // InPlaceDeactivate (when the site was told the control went in place), Close(OLECLOSE_NOSAVE),
  // SetClientSite(null), Unadvise, ReleaseControl; every step runs, the first failure is
  // returned. A second call has nothing left to do.
  HRESULT Unhost();

  // ---- run time
  // Sets the ambient and tells the control (IOleControl::OnAmbientPropertyChange).
  HRESULT SetUserMode(bool user_mode);
  // After a test changed ambients(): tells the control; E_NOINTERFACE without IOleControl.
  HRESULT AmbientChanged(DISPID dispid);

 private:
  HostWindow window_;
  Microsoft::WRL::ComPtr<ContainerSite> site_;
  Microsoft::WRL::ComPtr<IUnknown> control_;
  Microsoft::WRL::ComPtr<IOleObject> object_;
  DWORD misc_status_ = 0;
  bool site_given_ = false;
  DWORD object_cookie_ = 0;
  bool view_advised_ = false;
  DWORD property_cookie_ = 0;
  Microsoft::WRL::ComPtr<IConnectionPoint> property_point_;
};

}  // namespace zu::test
