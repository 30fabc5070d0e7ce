// ZuVPlay.dll's class table: the play control, then its property page. The entry points that
// walk it are the framework's (shell/dll_entry.cpp).
#include <windows.h>

#include "play/zu_video_play_ctl.h"
#include "shell/dll_entry.h"
#include "shell/zuvplay/zu_video_play_ppg.h"
#include "shell/zuvplay/zuvplay_resources.h"
#include "zu_video_play.h"

namespace zu {
namespace {

// Registration, unregistration and class lookup go through the rows in this order.
ClassEntry g_classes[] = {
    {&CLSID_ZuVideoPlay, ZU_IDR_PLAY_CONTROL_SCRIPT, ZuVideoPlayCtl::CreateInstance, nullptr},
    {&CLSID_ZuVPlayPpg, ZU_IDR_PLAY_PAGE_SCRIPT, ZuVideoPlayPpg::CreateInstance, nullptr},
};

}  // namespace

LibraryDefinition ThisLibrary() {
  return {&LIBID_ZuVideoPlayLIB, g_classes, sizeof g_classes / sizeof g_classes[0]};
}

}  // namespace zu
