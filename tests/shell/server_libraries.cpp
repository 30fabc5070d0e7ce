#include "tests/shell/server_libraries.h"

#include <objsafe.h>

#include "shell/zuvcap/zuvcap_resources.h"
#include "shell/zuvplay/zuvplay_resources.h"
#include "tests/shell/server_dll.h"
#include "zu_video_cap.h"
#include "zu_video_play.h"

namespace zu::test {

const ControlScript& ServerLibrary::Script() const { return ExpectJapanese() ? japanese : english; }

const ServerLibrary& PlayLibrary() {
  static const ServerLibrary library = {
      "ZuVPlay",
      L"ZuVPlay.dll",
      "ZuVPlay.DLL",
      &CLSID_ZuVideoPlay,
      &CLSID_ZuVPlayPpg,
      &LIBID_ZuVideoPlayLIB,
      &IID_IZuVideoPlayCtl,
      &DIID__IZuVideoPlayCtlEvents,
      L"Pelmar/OCX Video Play 1.0",
      L"ZuVideoPlay.ZuVideoPlayPpg",
      L"ZuVideoPlayPpg Class",
      {L"ZuVPlay.ZuVideoPlayCtl.1", L"ZuVPlay.ZuVideoPlayCtl", L"Pelmar/OCX Video Play Control",
       L"Pelmar/OCX Video Play Control", L"1.0", {L"&Property..., 0, 2"}},
      {L"ZuVideoPlay.ZuVideoPlayCtl.1", L"ZuVideoPlay.ZuVideoPlayCtl", L"Pelmar/OCX Video Play",
       L"Pelmar/OCX Video Play 1.0", L"1.0", {L"ﾌﾟﾛﾊﾟﾃｨ(&R)..., 0, 2"}},
      {
          "2 101 0411",    // BITMAP: the toolbox bitmap
          "ICON * 0411",   // the icon group's one image
          "5 107 0409",    // DIALOG: the property page
          "5 108 0409",    // DIALOG: the about box
          "6 7 0409",      // STRINGTABLE block of ids 96 to 111
          "6 7 0411",
          "14 204 0411",   // GROUP_ICON
          "16 1 0409",     // VERSION
          "16 1 0411",
          "REGISTRY 102 0409", "REGISTRY 102 0411", "REGISTRY 106 0411",
          "TYPELIB 1 0409",
      },
      ZU_IDR_PLAY_CONTROL_SCRIPT,
      ZU_IDB_PLAY_TOOLBOX,
      ZU_IDI_PLAY_CONTROL,
      {{ZU_IDS_PLAY_PROJECT_NAME, L"ZuVPlay"},
       {ZU_IDS_PLAY_PAGE_TITLE, L"General"},
       {ZU_IDS_PLAY_PAGE_DOC, L"ZuVideoPlay Properties"}},
      L"Pelmar/OCX Video Play",
      L"ZuVideoPlay",
      L"ZuVideoPlay.DLL",
      INTERFACESAFE_FOR_UNTRUSTED_CALLER,
      L"play_control.js",
      L"IZuVideoPlayCtl",
  };
  return library;
}

const ServerLibrary& CaptureLibrary() {
  static const ServerLibrary library = {
      "ZuVCap",
      L"ZuVCap.dll",
      "ZuVCap.DLL",
      &CLSID_ZuVideoCapture,
      &CLSID_ZuVCapPpg,
      &LIBID_ZuVideoCapLIB,
      &IID_IZuVideoCapCtl,
      &DIID__IZuVideoCapCtlEvents,
      L"Pelmar/OCX Video Capture 1.0",
      L"ZuVideoCap.ZuVideoCapPpg",
      L"ZuVideoCapPpg Class",
      {L"ZuVCap.ZuVideoCapCtl.1", L"ZuVCap.ZuVideoCapCtl", L"Pelmar/OCX Video Capture",
       L"Pelmar/OCX Video Capture", L"1.4",
       {L"&Property..., 0, 2", L"&VideoFormatDialog..., 0, 2", L"&VideoSourceDialog..., 0, 2",
        L"&VideoDisplayDialog..., 0, 2"}},
      {L"ZuVideoCap.ZuVideoCapCtl.1", L"ZuVideoCap.ZuVideoCapCtl", L"Pelmar/OCX Video Capture",
       L"Pelmar/OCX Video Capture 1.0", L"1.0",
       {L"ﾌﾟﾛﾊﾟﾃｨ(&R)..., 0, 2", L"ﾋﾞﾃﾞｵﾌｫｰﾏｯﾄﾀﾞｲｱﾛｸﾞ(&F)..., 0, 2",
        L"ﾋﾞﾃﾞｵｿｰｽﾀﾞｲｱﾛｸﾞ(&S)..., 0, 2", L"ﾋﾞﾃﾞｵﾃﾞｨｽﾌﾟﾚｲﾀﾞｲｱﾛｸﾞ(&D)..., 0, 2"}},
      {
          "2 101 0411",    // BITMAP: the toolbox bitmap
          "ICON * 0411",   // the icon group's one image
          "4 207 0409",    // MENU: the driver dialogs' popup menu
          "4 207 0411",
          "5 107 0409",    // DIALOG: the property page
          "5 203 0409",    // DIALOG: the about box
          "6 7 0409",      // STRINGTABLE block of ids 96 to 111
          "6 7 0411",
          "14 202 0411",   // GROUP_ICON
          "16 1 0409",     // VERSION
          "16 1 0411",
          "REGISTRY 102 0409", "REGISTRY 102 0411", "REGISTRY 106 0411",
          "TYPELIB 1 0409",
      },
      ZU_IDR_CAP_CONTROL_SCRIPT,
      ZU_IDB_CAP_TOOLBOX,
      ZU_IDI_CAP_CONTROL,
      {{ZU_IDS_CAP_PROJECT_NAME, L"ZuVCap"},
       {ZU_IDS_CAP_PAGE_TITLE, L"General"},
       {ZU_IDS_CAP_PAGE_DOC, L"ZuVCap Properties"},
       {ZU_IDS_CAP_CAPTION, L"Pelmar/OCX VideoCapture"}},
      L"Pelmar/OCX Video Capture",
      L"ZuVideoCap",
      L"ZuVideoCap.DLL",
      INTERFACESAFE_FOR_UNTRUSTED_DATA,
      L"capture_control.js",
      L"IZuVideoCapCtl",
  };
  return library;
}

std::vector<const ServerLibrary*> ServerLibraries() { return {&PlayLibrary(), &CaptureLibrary()}; }

}  // namespace zu::test
