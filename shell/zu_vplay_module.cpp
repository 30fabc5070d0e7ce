// ZuVPlay.dll's entry points: DllMain and the four exports (named and numbered by zu_vplay.def),
// driven by the module's class table.
#include <windows.h>

#include <objbase.h>

#include "play/zu_video_play_ctl.h"
#include "shell/class_table.h"
#include "shell/module.h"
#include "shell/registrar.h"
#include "shell/zu_video_play_ppg.h"
#include "shell/zu_vplay_resources.h"
#include "zu_video_play.h"

namespace {

// Registration, unregistration and class lookup go through the rows in this order.
zu::ClassEntry g_classes[] = {
    {&CLSID_ZuVideoPlay, ZU_IDR_PLAY_CONTROL_SCRIPT, zu::ZuVideoPlayCtl::CreateInstance, nullptr},
    // The property page comes later; until then its class object answers E_NOTIMPL.
    {&CLSID_ZuVPlayPpg, ZU_IDR_PLAY_PAGE_SCRIPT, zu::CreateZuVideoPlayPpg, nullptr},
};

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    zu::Module::Current().Initialize(instance, LIBID_ZuVideoPlayLIB, g_classes,
                                     sizeof g_classes / sizeof g_classes[0]);
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
