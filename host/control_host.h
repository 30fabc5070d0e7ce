// ControlHost: the container side of one embeddable control in a window of the application.
//
// It sites the control as a real container does: a site object answers the client site, the
// in-place site (and the extended one), the control site, the in-place frame, the ambient
// properties through IDispatch, and the property-notification and advise sinks. The host
// sequence runs all at once (Host) or one step at a time, each step returning the control's
// answer; Unhost takes everything back. Event sinks connect to the control's default source
// interface and are disconnected at unhost.
//
//   ControlHost host(window, {8, 8, 648, 488});
//   if (SUCCEEDED(host.Create(CLSID_Something)) && SUCCEEDED(host.Host())) ...
//   host.AdviseEvents([](DISPID id, DISPPARAMS* args) { ...; return S_OK; });
//   host.Unhost();  // or let the destructor do it
//
// A SiteObserver, when given, is told every call the control makes on the site and every call
// the host makes on the control, and may answer the site's switchable questions differently:
// the tests' container records through it. Without one, nothing is formatted or recorded.
//
// Everything runs on the window's thread, a single-threaded apartment with OLE initialised.
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <ole2.h>
#include <oleidl.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "host/event_sink.h"

namespace zu {

// What the site answers for each ambient property. Colours are OLE_COLORs (a system colour is
// 0x80000000 | COLOR_x), handed out as VT_I4.
struct Ambients {
  bool user_mode = true;  // run mode: controls show live content only then
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

// The site's answers that an observer may change; the container's own answer is given first.
enum class SiteQuestion {
  kOfferInPlaceSiteEx,   // S_OK: QueryInterface answers IOleInPlaceSiteEx
  kCanInPlaceActivate,   // S_OK while the host window exists
  kRequestUIActivate,    // S_OK
  kRequestEdit,          // IPropertyNotifySink::OnRequestEdit, S_OK; S_FALSE refuses
  kShowPropertyFrame,    // E_NOTIMPL: no frame of the container's own, the control opens one
};

class SiteObserver {
 public:
  virtual ~SiteObserver() = default;
  // "Interface::Method(arguments)" for the control's calls on the site, "-> IInterface::Method"
  // for the host's calls on the control, in the order they happen.
  virtual void Called(std::string entry) = 0;
  // An interface asked of the site or its parts, and whether it was given.
  virtual void Asked(REFIID iid, bool answered) = 0;
  virtual HRESULT Answer(SiteQuestion question, HRESULT answer) { return answer; }
};

// HIMETRIC sizes from pixels of the screen, and back (rounded to nearest).
SIZEL PixelsToHimetric(SIZE pixels);
SIZE HimetricToPixels(SIZEL himetric);

class ContainerSite;

class ControlHost {
 public:
  // `observer`, when given, must outlive the host (not the site: the site forgets it at
  // destruction, even when a control still holds the site).
  ControlHost(HWND window, const RECT& position, SiteObserver* observer = nullptr);
  // Unhosts what is still hosted; a control that kept the site finds no window behind it.
  virtual ~ControlHost();
  ControlHost(const ControlHost&) = delete;
  ControlHost& operator=(const ControlHost&) = delete;

  // What SetHostNames tells the control.
  void set_host_names(std::wstring container_name, std::wstring object_name);
  Ambients& ambients();
  HWND window() const { return window_; }
  const RECT& position() const;

  // The site as the control sees it (IOleClientSite of the site object).
  IOleClientSite* client_site() const;
  // What the control last gave IOleInPlaceFrame::SetActiveObject; null when none.
  IOleInPlaceActiveObject* active_object() const;
  // References the control (or anyone) holds on the site, its frame and its sinks, beyond the
  // host's own.
  LONG SiteReferences() const;
  // Did the control tell the site it went in place?
  bool InPlaceActive() const;

  // ---- the control
  HRESULT Create(REFCLSID clsid);
  HRESULT Create(IClassFactory* factory);
  // Hosts a control made some other way. Refused while another is hosted.
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
  // control has no interface for returns E_NOINTERFACE; one the host cannot take yet (no
  // control, no in-place object) E_UNEXPECTED.
  HRESULT GetMiscStatus();  // DVASPECT_CONTENT, kept in misc_status()
  HRESULT InitNew();
  HRESULT Load(IStream* stream);
  HRESULT SetClientSite();
  HRESULT SetHostNames();  // the names of set_host_names
  HRESULT SetHostNames(const wchar_t* container_name, const wchar_t* object_name);
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
  HRESULT Unadvise();         // whatever was advised, events too; the first failure
  // Drops every reference the host holds on the control; returns the count its last Release
  // reported (0 when the control is gone).
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

  // ---- events
  // The control's default source interface (IProvideClassInfo2). S_FALSE and GUID_NULL when the
  // control names none.
  HRESULT EventInterface(IID* iid) const;
  // Connects `sink` to the default source's connection point; the sink must answer that
  // interface. S_FALSE when the control fires no events: it names no default source, has no
  // connection points, or has no point for it (CONNECT_E_NOCONNECTION). Any number of sinks may
  // be connected; Unadvise (and so Unhost) disconnects them all.
  HRESULT AdviseEvents(IDispatch* sink, DWORD* cookie = nullptr);
  // The same with an EventSink made for the default source that hands each event to `handler`.
  HRESULT AdviseEvents(EventHandler handler, DWORD* cookie = nullptr);
  HRESULT UnadviseEvents(DWORD cookie);
  size_t EventConnections() const { return events_.size(); }

  // ---- run time
  // Sets the ambient and tells the control (IOleControl::OnAmbientPropertyChange).
  HRESULT SetUserMode(bool user_mode);
  // After ambients() changed: tells the control; E_NOINTERFACE without IOleControl.
  HRESULT AmbientChanged(DISPID dispid);

 private:
  struct EventConnection {
    Microsoft::WRL::ComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
  };
  // Tells the observer, if any, of a call; `describe` makes the entry only then.
  void Note(const char* entry) const;
  template <class Describe>
  void Note(Describe&& describe) const;
  // The default source's point, found and advised.
  HRESULT ConnectEvents(REFIID events, IDispatch* sink, DWORD* cookie);

  HWND window_;
  SiteObserver* observer_;
  Microsoft::WRL::ComPtr<ContainerSite> site_;
  Microsoft::WRL::ComPtr<IUnknown> control_;
  Microsoft::WRL::ComPtr<IOleObject> object_;
  std::wstring container_name_ = L"Zu control host";
  std::wstring object_name_ = L"Control";
  DWORD misc_status_ = 0;
  bool site_given_ = false;
  DWORD object_cookie_ = 0;
  bool view_advised_ = false;
  DWORD property_cookie_ = 0;
  Microsoft::WRL::ComPtr<IConnectionPoint> property_point_;
  std::vector<EventConnection> events_;
};

}  // namespace zu
