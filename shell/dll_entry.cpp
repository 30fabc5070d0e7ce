#include "shell/dll_entry.h"

#include <objbase.h>

#include "shell/module.h"
#include "shell/registrar.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    const zu::LibraryDefinition library = zu::ThisLibrary();
    zu::Module::Current().Initialize(instance, *library.library_id, library.classes,
                                     library.class_count);
  } else if (reason == DLL_PROCESS_DETACH) {
    zu::Module::Current().Terminate();
  }
  return TRUE;
}

STDAPI DllCanUnloadNow() { return zu::Module::Current().CanUnloadNow(); }

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  return zu::Module::Current().GetClassObject(rclsid, riid, ppv);
}

STDAPI DllRegisterServer() { return zu::RegisterServer(zu::Module::Current()); }

STDAPI DllUnregisterServer() { return zu::UnregisterServer(zu::Module::Current()); }
