// One of the DLLs as a host sees it: loaded from beside the test program, its exports resolved by
// name. Also which language variant of its resources this run expects.
#pragma once

#include <windows.h>

#include <string>

namespace zu::test {

class ServerDll {
 public:
  // `file`: "ZuVPlay.dll" or "ZuVCap.dll".
  explicit ServerDll(const wchar_t* file);
  ~ServerDll();
  ServerDll(const ServerDll&) = delete;
  ServerDll& operator=(const ServerDll&) = delete;

  bool Ok() const { return module_ && can_unload_ && get_class_object_ && register_ && unregister_; }
  HMODULE Module() const { return module_; }
  const std::wstring& Path() const { return path_; }

  HRESULT DllCanUnloadNow() const { return can_unload_(); }
  HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) const {
    return get_class_object_(clsid, riid, object);
  }
  HRESULT DllRegisterServer() const { return register_(); }
  HRESULT DllUnregisterServer() const { return unregister_(); }

 private:
  using Simple = HRESULT(WINAPI*)();
  using GetClassObjectFunction = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);

  std::wstring path_;
  HMODULE module_ = nullptr;
  Simple can_unload_ = nullptr;
  GetClassObjectFunction get_class_object_ = nullptr;
  Simple register_ = nullptr;
  Simple unregister_ = nullptr;
};

class RegistrySandbox;
// Makes `sandbox` take back the interface keys of a type library that escape it.
void RemoveLibraryEscapes(RegistrySandbox& sandbox, const IID& dual, const IID& events);
void RemovePlayLibraryEscapes(RegistrySandbox& sandbox);

// A file beside the test program.
std::wstring BesideTestProgram(const wchar_t* name);

// True when this run should see the Japanese variant of the resources: ZU_EXPECT_LOCALE=ja, or
// without it, a Japanese user locale.
bool ExpectJapanese();

}  // namespace zu::test
