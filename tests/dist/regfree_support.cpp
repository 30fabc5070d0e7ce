#include "tests/dist/regfree_support.h"

#include "tests/support/text.h"
#include "zu_video_cap.h"
#include "zu_video_play.h"

namespace zu::test {

const std::vector<ClassRow>& Classes() {
  static const std::vector<ClassRow> rows = {
      {"capture control", &CLSID_ZuVideoCapture,
       {L"ZuVCap.ZuVideoCapCtl.1", L"ZuVCap.ZuVideoCapCtl", L"ZuVideoCap.ZuVideoCapCtl.1",
        L"ZuVideoCap.ZuVideoCapCtl"},
       L"CaptureWidth", 6},
      {"capture page", &CLSID_ZuVCapPpg,
       {L"ZuVideoCap.ZuVideoCapPpg.1", L"ZuVideoCap.ZuVideoCapPpg"}, nullptr, 0},
      {"play control", &CLSID_ZuVideoPlay,
       {L"ZuVPlay.ZuVideoPlayCtl.1", L"ZuVPlay.ZuVideoPlayCtl", L"ZuVideoPlay.ZuVideoPlayCtl.1",
        L"ZuVideoPlay.ZuVideoPlayCtl"},
       L"RefreshFrame", 3},
      {"play page", &CLSID_ZuVPlayPpg,
       {L"ZuVideoPlay.ZuVideoPlayPpg.1", L"ZuVideoPlay.ZuVideoPlayPpg"}, nullptr, 0},
  };
  return rows;
}

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

std::wstring BesideProgram(const wchar_t* name) {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring text(path, length);
  return text.substr(0, text.find_last_of(L"\\/") + 1) + name;
}

bool CarriesItsOwnManifest() {
  return FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)) != nullptr;
}

std::vector<std::string> RegisteredKeys() {
  std::vector<std::wstring> paths;
  for (const ClassRow& row : Classes()) {
    paths.push_back(L"CLSID\\" + GuidText(*row.clsid));
    paths.insert(paths.end(), row.progids.begin(), row.progids.end());
  }
  for (const GUID* library : {&LIBID_ZuVideoCapLIB, &LIBID_ZuVideoPlayLIB}) {
    paths.push_back(L"TypeLib\\" + GuidText(*library));
  }
  for (const IID* iid : {&IID_IZuVideoCapCtl, &DIID__IZuVideoCapCtlEvents, &IID_IZuVideoPlayCtl,
                         &DIID__IZuVideoPlayCtlEvents}) {
    paths.push_back(L"Interface\\" + GuidText(*iid));
  }
  std::vector<std::string> found;
  for (const std::wstring& path : paths) {
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
      HKEY key = nullptr;
      if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ | view, &key) ==
          ERROR_SUCCESS) {
        RegCloseKey(key);
        found.push_back(Utf8(path) + (view == KEY_WOW64_32KEY ? " (32-bit view)" : " (64-bit view)"));
      }
    }
  }
  return found;
}


void RegFree::SetUp() {
  ASSERT_TRUE(SUCCEEDED(ole_.result()));
  if (!CarriesItsOwnManifest()) {
    context_ = std::make_unique<ActivationContext>(BesideProgram(L"ZuControls.manifest"));
    ASSERT_TRUE(context_->ok()) << "ZuControls.manifest not activated, error " << context_->error();
  }
}

}  // namespace zu::test
