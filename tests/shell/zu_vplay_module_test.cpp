// ZuVPlay.dll from the outside: its export directory, its resources and their languages, its
// version blocks and strings, and its class objects and unloading through the exports.
#include <windows.h>

#include <ocidl.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "shell/zuvplay/zuvplay_resources.h"
#include "tests/shell/com_assertions.h"
#include "tests/shell/registry_sandbox.h"
#include "tests/shell/zu_vplay_dll.h"
#include "zu_video_play.h"

using Microsoft::WRL::ComPtr;

namespace zu {
namespace {

using test::HasReferences;
using test::Narrow;
using test::ZuVPlayDll;

class ZuVPlayModule : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dll_.Ok()) << Narrow(dll_.Path()); }

  ZuVPlayDll dll_;
};

// ---------------------------------------------------------------- exports

const IMAGE_EXPORT_DIRECTORY* ExportDirectory(HMODULE module) {
  auto* base = reinterpret_cast<const BYTE*>(module);
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (entry.VirtualAddress == 0) return nullptr;
  return reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
}

TEST_F(ZuVPlayModule, ExportsExactlyTheFourEntryPointsByNameInOrdinalOrder) {
  const IMAGE_EXPORT_DIRECTORY* exports = ExportDirectory(dll_.Module());
  ASSERT_NE(exports, nullptr);
  auto* base = reinterpret_cast<const char*>(dll_.Module());
  EXPECT_STREQ(base + exports->Name, "ZuVPlay.DLL");
  EXPECT_EQ(exports->Base, 1u);
  EXPECT_EQ(exports->NumberOfFunctions, 4u);
  EXPECT_EQ(exports->NumberOfNames, 4u);
  const char* names[] = {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                         "DllUnregisterServer"};
  for (WORD ordinal = 1; ordinal <= 4; ++ordinal) {
    FARPROC by_name = GetProcAddress(dll_.Module(), names[ordinal - 1]);
    FARPROC by_ordinal = GetProcAddress(dll_.Module(), MAKEINTRESOURCEA(ordinal));
    EXPECT_NE(by_name, nullptr) << names[ordinal - 1];
    EXPECT_EQ(by_name, by_ordinal) << names[ordinal - 1] << " is not ordinal " << ordinal;
  }
}

// ---------------------------------------------------------------- resources

BOOL CALLBACK AddLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR set) {
  reinterpret_cast<std::set<WORD>*>(set)->insert(language);
  return TRUE;
}

std::set<WORD> Languages(HMODULE module, const wchar_t* type, const wchar_t* name) {
  std::set<WORD> languages;
  EnumResourceLanguagesW(module, type, name, AddLanguage, reinterpret_cast<LONG_PTR>(&languages));
  return languages;
}

constexpr WORD kEnglish = 0x0409;
constexpr WORD kJapanese = 0x0411;

TEST_F(ZuVPlayModule, ResourcesExistInTheirLanguages) {
  HMODULE module = dll_.Module();
  EXPECT_EQ(Languages(module, L"TYPELIB", MAKEINTRESOURCEW(1)), std::set<WORD>{kEnglish});
  EXPECT_EQ(Languages(module, L"REGISTRY", MAKEINTRESOURCEW(ZU_IDR_PLAY_CONTROL_SCRIPT)),
            (std::set<WORD>{kEnglish, kJapanese}));
  EXPECT_EQ(Languages(module, L"REGISTRY", MAKEINTRESOURCEW(ZU_IDR_PLAY_PAGE_SCRIPT)),
            std::set<WORD>{kJapanese});
  EXPECT_EQ(Languages(module, RT_VERSION, MAKEINTRESOURCEW(1)),
            (std::set<WORD>{kEnglish, kJapanese}));
  // Strings 100 to 111 share block 7.
  EXPECT_EQ(Languages(module, RT_STRING, MAKEINTRESOURCEW(ZU_IDS_PLAY_PROJECT_NAME / 16 + 1)),
            (std::set<WORD>{kEnglish, kJapanese}));
}

TEST_F(ZuVPlayModule, StringsLoadWhateverTheLocale) {
  struct Row {
    UINT id;
    const wchar_t* text;
  };
  for (const Row& row : {Row{ZU_IDS_PLAY_PROJECT_NAME, L"ZuVPlay"},
                         Row{ZU_IDS_PLAY_PAGE_TITLE, L"General"},
                         Row{ZU_IDS_PLAY_PAGE_DOC, L"ZuVideoPlay Properties"}}) {
    wchar_t text[128] = {};
    int length = LoadStringW(dll_.Module(), row.id, text, 128);
    EXPECT_EQ(std::wstring(text, length > 0 ? length : 0), row.text) << "string " << row.id;
  }
}

// The version block of one language, read as the version API reads a file's.
class VersionBlock {
 public:
  VersionBlock(HMODULE module, WORD language) {
    HRSRC found = FindResourceExW(module, RT_VERSION, MAKEINTRESOURCEW(1), language);
    if (found == nullptr) return;
    auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    // VerQueryValue may write into the block it reads, so it gets a copy.
    data_.assign(bytes, bytes + SizeofResource(module, found));
  }

  bool Ok() const { return !data_.empty(); }

  std::wstring String(const std::wstring& block, const std::wstring& name) {
    void* value = nullptr;
    UINT length = 0;
    std::wstring query = L"\\StringFileInfo\\" + block + L"\\" + name;
    if (!VerQueryValueW(data_.data(), query.c_str(), &value, &length) || value == nullptr) {
      return L"(missing)";
    }
    const wchar_t* text = static_cast<const wchar_t*>(value);
    return std::wstring(text, wcsnlen(text, length));
  }

  const VS_FIXEDFILEINFO* Fixed() {
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data_.data(), L"\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO)) {
      return nullptr;
    }
    return static_cast<const VS_FIXEDFILEINFO*>(value);
  }

  std::vector<DWORD> Translations() {
    void* value = nullptr;
    UINT length = 0;
    std::vector<DWORD> out;
    if (VerQueryValueW(data_.data(), L"\\VarFileInfo\\Translation", &value, &length)) {
      auto* words = static_cast<const WORD*>(value);
      for (UINT i = 0; i + 1 < length / sizeof(WORD); i += 2) out.push_back(MAKELONG(words[i + 1], words[i]));
    }
    return out;
  }

 private:
  std::vector<BYTE> data_;
};

TEST_F(ZuVPlayModule, BothVersionBlocksCarryTheSameEntries) {
  for (WORD language : {kEnglish, kJapanese}) {
    SCOPED_TRACE(language);
    VersionBlock version(dll_.Module(), language);
    ASSERT_TRUE(version.Ok());
    const std::wstring block = language == kEnglish ? L"040904B0" : L"041104B0";
    EXPECT_EQ(version.String(block, L"FileDescription"), L"Pelmar/OCX Video Play");
    EXPECT_EQ(version.String(block, L"ProductName"), L"Pelmar/OCX Video Play");
    EXPECT_EQ(version.String(block, L"InternalName"), L"ZuVideoPlay");
    EXPECT_EQ(version.String(block, L"OriginalFilename"), L"ZuVideoPlay.DLL");
    EXPECT_EQ(version.String(block, L"OLESelfRegister"), L"");
    EXPECT_EQ(version.String(block, L"CompanyName"), L"Pelmar");
    EXPECT_NE(version.String(block, L"LegalCopyright").find(L"Pelmar"), std::wstring::npos);
    EXPECT_NE(version.String(block, L"LegalTrademarks").find(L"Pelmar"), std::wstring::npos);
    const VS_FIXEDFILEINFO* fixed = version.Fixed();
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);
    EXPECT_EQ(version.Translations(), std::vector<DWORD>{MAKELONG(0x04B0, language)});
  }
}

// ---------------------------------------------------------------- class objects

TEST_F(ZuVPlayModule, GivesClassObjectsForItsTwoClassesOnly) {
  ComPtr<IClassFactory> control, page;
  EXPECT_EQ(dll_.DllGetClassObject(CLSID_ZuVideoPlay, IID_IClassFactory, &control), S_OK);
  EXPECT_EQ(dll_.DllGetClassObject(CLSID_ZuVPlayPpg, IID_IClassFactory, &page), S_OK);
  EXPECT_TRUE(control && page && control.Get() != page.Get());

  void* object = reinterpret_cast<void*>(1);
  // The type library's and the interface's identifiers are not classes.
  EXPECT_EQ(dll_.DllGetClassObject(LIBID_ZuVideoPlayLIB, IID_IClassFactory, &object),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(dll_.DllGetClassObject(IID_IZuVideoPlayCtl, IID_IUnknown, &object),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(dll_.DllGetClassObject(CLSID_ZuVideoPlay, IID_IClassFactory, nullptr), E_POINTER);
}

TEST_F(ZuVPlayModule, ThePageClassCreatesAPropertyPageThatHoldsTheModule) {
  ComPtr<IClassFactory> page_class;
  ASSERT_EQ(dll_.DllGetClassObject(CLSID_ZuVPlayPpg, IID_IClassFactory, &page_class), S_OK);
  ComPtr<IPropertyPage> page;
  ASSERT_EQ(page_class->CreateInstance(nullptr, IID_IPropertyPage, &page), S_OK);
  page_class.Reset();
  // A live page keeps the library loaded, like a live control.
  EXPECT_EQ(dll_.DllCanUnloadNow(), S_FALSE);
  PROPPAGEINFO info = {};
  info.cb = sizeof info;
  ASSERT_EQ(page->GetPageInfo(&info), S_OK);
  EXPECT_GT(info.size.cx, 0);
  EXPECT_GT(info.size.cy, 0);
  CoTaskMemFree(info.pszTitle);
  CoTaskMemFree(info.pszDocString);
  CoTaskMemFree(info.pszHelpFile);
  page.Reset();
  EXPECT_EQ(dll_.DllCanUnloadNow(), S_OK);
}

TEST_F(ZuVPlayModule, CannotUnloadWhileAClassObjectIsHeldOrTheServerLocked) {
  EXPECT_EQ(dll_.DllCanUnloadNow(), S_OK);
  ComPtr<IClassFactory> control;
  ASSERT_EQ(dll_.DllGetClassObject(CLSID_ZuVideoPlay, IID_IClassFactory, &control), S_OK);
  EXPECT_TRUE(HasReferences(control.Get(), 2));
  EXPECT_EQ(dll_.DllCanUnloadNow(), S_FALSE);
  ASSERT_EQ(control->LockServer(TRUE), S_OK);
  control.Reset();
  EXPECT_EQ(dll_.DllCanUnloadNow(), S_FALSE);
  ASSERT_EQ(dll_.DllGetClassObject(CLSID_ZuVideoPlay, IID_IClassFactory, &control), S_OK);
  ASSERT_EQ(control->LockServer(FALSE), S_OK);
  EXPECT_EQ(dll_.DllCanUnloadNow(), S_FALSE);
  control.Reset();
  EXPECT_EQ(dll_.DllCanUnloadNow(), S_OK);
}

}  // namespace
}  // namespace zu
