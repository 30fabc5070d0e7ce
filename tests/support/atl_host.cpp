#include "tests/support/atl_host.h"

#include <objbase.h>

namespace zu::test {

template <class Function>
static Function Resolve(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

AtlHost::AtlHost() : atl_(LoadLibraryW(L"atl.dll")) {
  if (atl_ == nullptr) return;
  create_ = Resolve<Create>(atl_, "AtlAxCreateControl");
  get_control_ = Resolve<GetControl>(atl_, "AtlAxGetControl");
  auto init = Resolve<BOOL(WINAPI*)()>(atl_, "AtlAxWinInit");
  initialised_ = init && init();
}

// atl.dll stays loaded: its window class outlives the host, and OLE keeps its objects.
AtlHost::~AtlHost() { container_.Reset(); }

HRESULT AtlHost::Place(REFCLSID clsid, HWND window) {
  if (!Ok()) return E_UNEXPECTED;
  LPOLESTR progid = nullptr;
  HRESULT hr = ProgIDFromCLSID(clsid, &progid);
  if (FAILED(hr)) return hr;
  progid_ = progid;
  CoTaskMemFree(progid);
  return create_(progid_.c_str(), window, nullptr, container_.ReleaseAndGetAddressOf());
}

Microsoft::WRL::ComPtr<IUnknown> AtlHost::Control(HWND window) const {
  Microsoft::WRL::ComPtr<IUnknown> control;
  if (get_control_) get_control_(window, control.GetAddressOf());
  return control;
}

}  // namespace zu::test
