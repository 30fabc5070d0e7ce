// Wine's own control host, atl.dll, as a third-party container: it places a control by program
// identifier in a window of the caller's and offers it no ambient properties.
//
//   AtlHost atl;
//   ASSERT_TRUE(atl.Ok());
//   ASSERT_EQ(atl.Place(CLSID_Something, window), S_OK);
//   ComPtr<IUnknown> control = atl.Control(window);
#pragma once

#include <windows.h>

#include <unknwn.h>
#include <wrl/client.h>

#include <string>

namespace zu::test {

class AtlHost {
 public:
  // Loads atl.dll and initialises its window class. AtlAxWinInit also initialises OLE on the
  // thread and leaves it so (Wine 8).
  AtlHost();
  ~AtlHost();
  AtlHost(const AtlHost&) = delete;
  AtlHost& operator=(const AtlHost&) = delete;

  bool Ok() const { return create_ && get_control_ && initialised_; }
  // Places the control whose class is `clsid` in `window`, by the program identifier registered
  // for that class (kept in progid()).
  HRESULT Place(REFCLSID clsid, HWND window);
  // The control placed in `window` (not the host's own object that Place made); null when none.
  Microsoft::WRL::ComPtr<IUnknown> Control(HWND window) const;
  const std::wstring& progid() const { return progid_; }

 private:
  using Create = HRESULT(WINAPI*)(LPCOLESTR, HWND, IStream*, IUnknown**);
  using GetControl = HRESULT(WINAPI*)(HWND, IUnknown**);

  HMODULE atl_ = nullptr;
  Create create_ = nullptr;
  GetControl get_control_ = nullptr;
  bool initialised_ = false;
  std::wstring progid_;
  Microsoft::WRL::ComPtr<IUnknown> container_;  // what AtlAxCreateControl hands out
};

}  // namespace zu::test
