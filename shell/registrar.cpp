#include "shell/registrar.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <vector>

#include "shell/class_table.h"
#include "shell/com_util.h"
#include "shell/module.h"
#include "shell/registry_script.h"

using Microsoft::WRL::ComPtr;

namespace zu {
namespace {

// A module loaded as a data file only for reading its resources, released on scope exit.
class DataModule {
 public:
  explicit DataModule(const std::wstring& path)
      : module_(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
  ~DataModule() {
    if (module_) FreeLibrary(module_);
  }
  DataModule(const DataModule&) = delete;
  DataModule& operator=(const DataModule&) = delete;
  HMODULE Get() const { return module_; }

 private:
  HMODULE module_;
};

HRESULT ReadScriptResource(HMODULE module, UINT script_id, std::wstring* text) {
  // No language is named: the loader picks the user's (Japanese under a Japanese locale), else
  // English, else the only one there is.
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(script_id), L"REGISTRY");
  if (found == nullptr) return FromWin32(static_cast<LONG>(GetLastError()));
  HGLOBAL loaded = LoadResource(module, found);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (bytes == nullptr) return FromWin32(static_cast<LONG>(GetLastError()));
  return DecodeScriptText(bytes, SizeofResource(module, found), text);
}

HRESULT LoadModuleTypeLibrary(const std::wstring& module_path, std::wstring* loaded_path,
                              ITypeLib** library) {
  *loaded_path = module_path;
  HRESULT hr = LoadTypeLibEx(module_path.c_str(), REGKIND_NONE, library);
  if (SUCCEEDED(hr)) return hr;
  std::wstring tlb = module_path;
  size_t dot = tlb.find_last_of(L".\\/:");
  if (dot != std::wstring::npos && tlb[dot] == L'.') tlb.erase(dot);
  tlb += L".tlb";
  HRESULT tlb_hr = LoadTypeLibEx(tlb.c_str(), REGKIND_NONE, library);
  if (FAILED(tlb_hr)) return hr;
  *loaded_path = tlb;
  return tlb_hr;
}

}  // namespace

std::wstring ModulePath(HMODULE module) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    DWORD length = GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::wstring();
    if (length < buffer.size()) return std::wstring(buffer.data(), length);
    if (buffer.size() >= 32768) return std::wstring();
    buffer.resize(buffer.size() * 2);
  }
}

HRESULT RunModuleScript(HMODULE module, UINT script_id, bool registering) {
  return Guarded([&]() -> HRESULT {
    std::wstring path = ModulePath(module);
    if (path.empty()) return E_FAIL;
    DataModule data(path);
    std::wstring text;
    ZU_RETURN_IF_FAILED(ReadScriptResource(data.Get() ? data.Get() : module, script_id, &text));
    RegistryScript script;
    ZU_RETURN_IF_FAILED(ParseRegistryScript(ExpandModulePath(text, path), &script));
    if (!registering) {
      RemoveRegistryScript(HKEY_CLASSES_ROOT, script);
      return S_OK;
    }
    return ApplyRegistryScript(HKEY_CLASSES_ROOT, script);
  });
}

HRESULT RegisterModuleTypeLibrary(const std::wstring& module_path) {
  return Guarded([&]() -> HRESULT {
    std::wstring path;
    ComPtr<ITypeLib> library;
    ZU_RETURN_IF_FAILED(LoadModuleTypeLibrary(module_path, &path, &library));
    size_t cut = path.find_last_of(L"\\/:");
    std::wstring help_folder = cut == std::wstring::npos ? std::wstring() : path.substr(0, cut + 1);
    return RegisterTypeLib(library.Get(), &path[0], &help_folder[0]);
  });
}

void UnregisterModuleTypeLibrary(const std::wstring& module_path) {
  Guarded([&]() -> HRESULT {
    std::wstring path;
    ComPtr<ITypeLib> library;
    ZU_RETURN_IF_FAILED(LoadModuleTypeLibrary(module_path, &path, &library));
    TLIBATTR* attributes = nullptr;
    ZU_RETURN_IF_FAILED(library->GetLibAttr(&attributes));
    TLIBATTR copy = *attributes;
    library->ReleaseTLibAttr(attributes);

    using UnregisterFunction = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);
    HMODULE oleaut = LoadLibraryW(L"oleaut32.dll");
    if (oleaut == nullptr) return S_OK;
    // Through void (*)(): the one function pointer type a FARPROC converts from without warning.
    auto unregister = reinterpret_cast<UnregisterFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(oleaut, "UnRegisterTypeLib")));
    if (unregister) {
      unregister(copy.guid, copy.wMajorVerNum, copy.wMinorVerNum, copy.lcid, copy.syskind);
    }
    FreeLibrary(oleaut);
    return S_OK;
  });
}

HRESULT RegisterServer(Module& module) {
  for (std::size_t i = 0; i < module.ClassCount(); ++i) {
    ZU_RETURN_IF_FAILED(RunModuleScript(module.ResourceInstance(), module.Classes()[i].script_id,
                                        true));
  }
  return RegisterModuleTypeLibrary(ModulePath(module.Instance()));
}

HRESULT UnregisterServer(Module& module) {
  for (std::size_t i = 0; i < module.ClassCount(); ++i) {
    RunModuleScript(module.ResourceInstance(), module.Classes()[i].script_id, false);
  }
  UnregisterModuleTypeLibrary(ModulePath(module.Instance()));
  return S_OK;
}

}  // namespace zu
