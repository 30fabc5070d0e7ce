// ZuVCap.dll's class table: the capture control, then its property page. The entry points that
// walk it are the framework's (shell/dll_entry.cpp).
#include <windows.h>

#include "capture/zu_video_cap_ctl.h"
#include "shell/com_object.h"
#include "shell/dll_entry.h"
#include "shell/zuvcap/zu_video_cap_ppg.h"
#include "shell/zuvcap/zuvcap_resources.h"
#include "zu_video_cap.h"

namespace zu {
namespace {

// Registration, unregistration and class lookup go through the rows in this order.
ClassEntry g_classes[] = {
    {&CLSID_ZuVideoCapture, ZU_IDR_CAP_CONTROL_SCRIPT, CreateComObject<ZuVideoCapCtl>, nullptr},
    {&CLSID_ZuVCapPpg, ZU_IDR_CAP_PAGE_SCRIPT, ZuVideoCapPpg::CreateInstance, nullptr},
};

}  // namespace

LibraryDefinition ThisLibrary() {
  return {&LIBID_ZuVideoCapLIB, g_classes, sizeof g_classes / sizeof g_classes[0]};
}

}  // namespace zu
