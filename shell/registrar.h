// Self-registration of a module: its class table's scripts and its type library.
#pragma once

#include <windows.h>

#include <string>

namespace zu {

class Module;

// The full path of `module` as the loader reports it; empty when it cannot be had.
std::wstring ModulePath(HMODULE module);

// The registration script REGISTRY `script_id` of `module`, in the language the resource loader
// picks, with %MODULE% expanded and parsed; then applied or removed under HKEY_CLASSES_ROOT.
HRESULT RunModuleScript(HMODULE module, UINT script_id, bool registering);

// Loads the type library of the module at `module_path` (its TYPELIB resource, else the .tlb
// file of the same name beside it) and registers it with the module's folder as help folder.
HRESULT RegisterModuleTypeLibrary(const std::wstring& module_path);
// Loads it as above and takes its registration back through oleaut32's UnRegisterTypeLib,
// looked up when needed and skipped when missing. Never fails.
void UnregisterModuleTypeLibrary(const std::wstring& module_path);

// DllRegisterServer: every row's script in table order, stopping at the first failure, then the
// type library, whose result is returned.
HRESULT RegisterServer(Module& module);
// DllUnregisterServer: every row's script in removal mode, then the type library. Always S_OK.
HRESULT UnregisterServer(Module& module);

}  // namespace zu
