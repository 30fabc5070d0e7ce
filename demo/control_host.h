// ControlHost: places one embeddable control in a window of the application, as any container
// does: it sites the control (client site, in-place site, control site, an in-place frame), answers
// its ambient properties through IDispatch with UserMode true (run mode: the play control draws
// frames only then), and activates it in place so that it makes its child window at `position`.
//
//   ControlHost host(window, {8, 8, 648, 488});
//   if (SUCCEEDED(host.Create(CLSID_ZuVideoPlay)) && SUCCEEDED(host.Activate())) ...
//   host.Unhost();  // or let the destructor do it
//
// Everything runs on the window's thread, a single-threaded apartment with OLE initialised.
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <oleidl.h>
#include <wrl/client.h>

namespace zu {

class HostSite;

class ControlHost {
 public:
  ControlHost(HWND window, const RECT& position);
  ~ControlHost();
  ControlHost(const ControlHost&) = delete;
  ControlHost& operator=(const ControlHost&) = delete;

  HRESULT Create(REFCLSID clsid);
  // Hosts a control made some other way (a class object of a DLL loaded by hand).
  HRESULT Attach(IUnknown* control);
  // GetMiscStatus, InitNew and SetClientSite in the order the control asks for, SetHostNames,
  // SetExtent and DoVerb(OLEIVERB_INPLACEACTIVATE). The first failure is returned.
  HRESULT Activate();
  // InPlaceDeactivate, Close, SetClientSite(null), release. Safe to call twice.
  void Unhost();

  template <class Interface>
  Microsoft::WRL::ComPtr<Interface> ControlAs() const {
    Microsoft::WRL::ComPtr<Interface> out;
    if (control_) control_.As(&out);
    return out;
  }
  // The control's own window; null before activation or when it has none.
  HWND ControlWindow() const;
  // Did the control tell the site it went in place?
  bool InPlaceActive() const;

 private:
  HWND window_;
  RECT position_;
  Microsoft::WRL::ComPtr<HostSite> site_;
  Microsoft::WRL::ComPtr<IUnknown> control_;
  Microsoft::WRL::ComPtr<IOleObject> object_;
  bool site_given_ = false;
};

}  // namespace zu
