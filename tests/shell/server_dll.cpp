#include "tests/shell/server_dll.h"

#include <cstdlib>
#include <cstring>

#include "shell/registrar.h"
#include "tests/shell/registry_sandbox.h"
#include "zu_video_play.h"

namespace zu::test {
namespace {

template <class Function>
Function Resolve(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace

void RemovePlayLibraryEscapes(RegistrySandbox& sandbox) {
  RemoveLibraryEscapes(sandbox, IID_IZuVideoPlayCtl, DIID__IZuVideoPlayCtlEvents);
}

void RemoveLibraryEscapes(RegistrySandbox& sandbox, const IID& dual, const IID& events) {
  for (const GUID* iid : {&dual, &events}) {
    wchar_t text[40];
    StringFromGUID2(*iid, text, 40);
    sandbox.RemoveEscapesAt(std::wstring(L"Interface\\") + text);
  }
}

std::wstring BesideTestProgram(const wchar_t* name) {
  std::wstring path = ModulePath(nullptr);
  return path.substr(0, path.find_last_of(L"\\/") + 1) + name;
}

bool ExpectJapanese() {
  if (const char* wanted = std::getenv("ZU_EXPECT_LOCALE")) return std::strcmp(wanted, "ja") == 0;
  return PRIMARYLANGID(LANGIDFROMLCID(GetUserDefaultLCID())) == LANG_JAPANESE;
}

ServerDll::ServerDll(const wchar_t* file) : path_(BesideTestProgram(file)) {
  module_ = LoadLibraryW(path_.c_str());
  if (module_ == nullptr) return;
  can_unload_ = Resolve<Simple>(module_, "DllCanUnloadNow");
  get_class_object_ = Resolve<GetClassObjectFunction>(module_, "DllGetClassObject");
  register_ = Resolve<Simple>(module_, "DllRegisterServer");
  unregister_ = Resolve<Simple>(module_, "DllUnregisterServer");
}

ServerDll::~ServerDll() {
  if (module_) FreeLibrary(module_);
}

}  // namespace zu::test
