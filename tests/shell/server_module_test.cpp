// Each DLL from the outside: its export directory, its resources and their languages, its
// version blocks and strings, and its class objects and unloading through the exports.
#include <windows.h>

#include <ocidl.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "tests/shell/com_assertions.h"
#include "tests/shell/registry_sandbox.h"
#include "tests/shell/server_dll.h"
#include "tests/shell/server_libraries.h"

using Microsoft::WRL::ComPtr;

namespace zu {
namespace {

using test::HasReferences;
using test::Narrow;
using test::ServerDll;
using test::ServerLibrary;

class ServerModule : public ::testing::TestWithParam<const ServerLibrary*> {
 protected:
  void SetUp() override { ASSERT_TRUE(dll_.Ok()) << Narrow(dll_.Path()); }

  const ServerLibrary& library_ = *GetParam();
  ServerDll dll_{library_.file};
};

INSTANTIATE_TEST_SUITE_P(Dll, ServerModule, ::testing::ValuesIn(test::ServerLibraries()),
                         test::ServerLibraryName());

// ---------------------------------------------------------------- exports

const IMAGE_EXPORT_DIRECTORY* ExportDirectory(HMODULE module) {
  auto* base = reinterpret_cast<const BYTE*>(module);
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (entry.VirtualAddress == 0) return nullptr;
  return reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
}

TEST_P(ServerModule, ExportsExactlyTheFourEntryPointsByNameInOrdinalOrder) {
  const IMAGE_EXPORT_DIRECTORY* exports = ExportDirectory(dll_.Module());
  ASSERT_NE(exports, nullptr);
  auto* base = reinterpret_cast<const char*>(dll_.Module());
  EXPECT_STREQ(base + exports->Name, library_.export_name);
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

constexpr WORD kEnglish = 0x0409;
constexpr WORD kJapanese = 0x0411;

// Every resource of the DLL as "TYPE NAME LANGUAGE", numbers in decimal. The single images of an
// icon group (RT_ICON) are numbered by the resource compiler: they come as "ICON * LANGUAGE".
std::string ResourceKey(LPCWSTR text) {
  return IS_INTRESOURCE(text) ? std::to_string(reinterpret_cast<uintptr_t>(text)) : Narrow(text);
}

struct EntryWalk {
  std::multiset<std::string>* entries;
  LPCWSTR type;
  std::string name;
};

BOOL CALLBACK AddEntryLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR context) {
  auto* walk = reinterpret_cast<EntryWalk*>(context);
  char hex[8];
  std::snprintf(hex, sizeof hex, "%04X", language);
  walk->entries->insert(ResourceKey(walk->type) + " " + walk->name + " " + hex);
  return TRUE;
}

BOOL CALLBACK AddEntry(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR out) {
  EntryWalk walk{reinterpret_cast<std::multiset<std::string>*>(out), type,
                 type == RT_ICON ? std::string("*") : ResourceKey(name)};
  EnumResourceLanguagesW(module, type, name, AddEntryLanguage, reinterpret_cast<LONG_PTR>(&walk));
  return TRUE;
}

BOOL CALLBACK AddType(HMODULE module, LPWSTR type, LONG_PTR out) {
  EnumResourceNamesW(module, type, AddEntry, out);
  return TRUE;
}

// What the DLL carries, and in which languages: type library and dialogs English only; the page
// script, icon and toolbox bitmap Japanese only; control script, strings and version both.
TEST_P(ServerModule, CarriesExactlyItsResourcesInExactlyTheirLanguages) {
  std::multiset<std::string> entries;
  EnumResourceTypesW(dll_.Module(), AddType, reinterpret_cast<LONG_PTR>(&entries));
  std::multiset<std::string> got;
  for (std::string entry : entries) {
    if (entry.rfind("3 ", 0) == 0) entry = "ICON" + entry.substr(1);
    got.insert(entry);
  }
  EXPECT_EQ(got, library_.resources);
}

// The registration scripts name the toolbox bitmap by number; it is there, 16 x 15 at 4 bits.
TEST_P(ServerModule, TheToolboxBitmapTheScriptsNameIsThere) {
  for (WORD language : {kEnglish, kJapanese}) {
    HRSRC found = FindResourceExW(dll_.Module(), L"REGISTRY",
                                  MAKEINTRESOURCEW(library_.control_script_id), language);
    ASSERT_NE(found, nullptr) << language;
    const char* text = static_cast<const char*>(LockResource(LoadResource(dll_.Module(), found)));
    const std::string script(text, SizeofResource(dll_.Module(), found));
    const size_t at = script.find("'ToolboxBitmap32' = '%MODULE%, ");
    ASSERT_NE(at, std::string::npos) << language;
    const int id = std::atoi(script.c_str() + at + std::strlen("'ToolboxBitmap32' = '%MODULE%, "));
    EXPECT_EQ(id, static_cast<int>(library_.toolbox_bitmap_id));

    HRSRC bitmap = FindResourceW(dll_.Module(), MAKEINTRESOURCEW(id), RT_BITMAP);
    ASSERT_NE(bitmap, nullptr) << "BITMAP " << id;
    const auto* header = static_cast<const BITMAPINFOHEADER*>(
        LockResource(LoadResource(dll_.Module(), bitmap)));
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->biWidth, 16);
    EXPECT_EQ(header->biHeight, 15);
    EXPECT_EQ(header->biBitCount, 4);
  }
  // The about box draws the icon group the control draws at design time.
  EXPECT_NE(LoadIconW(dll_.Module(), MAKEINTRESOURCEW(library_.icon_id)), nullptr);
}

TEST_P(ServerModule, StringsLoadWhateverTheLocale) {
  for (const auto& [id, expected] : library_.strings) {
    wchar_t text[128] = {};
    int length = LoadStringW(dll_.Module(), id, text, 128);
    EXPECT_EQ(std::wstring(text, length > 0 ? length : 0), expected) << "string " << id;
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

TEST_P(ServerModule, BothVersionBlocksCarryTheSameEntries) {
  for (WORD language : {kEnglish, kJapanese}) {
    SCOPED_TRACE(language);
    VersionBlock version(dll_.Module(), language);
    ASSERT_TRUE(version.Ok());
    const std::wstring block = language == kEnglish ? L"040904B0" : L"041104B0";
    EXPECT_EQ(version.String(block, L"FileDescription"), library_.version_description);
    EXPECT_EQ(version.String(block, L"ProductName"), library_.version_description);
    EXPECT_EQ(version.String(block, L"InternalName"), library_.version_internal);
    EXPECT_EQ(version.String(block, L"OriginalFilename"), library_.version_original);
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

TEST_P(ServerModule, GivesClassObjectsForItsTwoClassesOnly) {
  ComPtr<IClassFactory> control, page;
  EXPECT_EQ(dll_.DllGetClassObject(*library_.control, IID_IClassFactory, &control), S_OK);
  EXPECT_EQ(dll_.DllGetClassObject(*library_.page, IID_IClassFactory, &page), S_OK);
  EXPECT_TRUE(control && page && control.Get() != page.Get());

  void* object = reinterpret_cast<void*>(1);
  // The type library's and the interface's identifiers are not classes.
  EXPECT_EQ(dll_.DllGetClassObject(*library_.library, IID_IClassFactory, &object),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(dll_.DllGetClassObject(*library_.dual, IID_IUnknown, &object),
            CLASS_E_CLASSNOTAVAILABLE);
  // Nor is the other library's control.
  const ServerLibrary& other =
      &library_ == &test::PlayLibrary() ? test::CaptureLibrary() : test::PlayLibrary();
  EXPECT_EQ(dll_.DllGetClassObject(*other.control, IID_IClassFactory, &object),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(dll_.DllGetClassObject(*library_.control, IID_IClassFactory, nullptr), E_POINTER);
}

TEST_P(ServerModule, ThePageClassCreatesAPropertyPageThatHoldsTheModule) {
  ComPtr<IClassFactory> page_class;
  ASSERT_EQ(dll_.DllGetClassObject(*library_.page, IID_IClassFactory, &page_class), S_OK);
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

TEST_P(ServerModule, CannotUnloadWhileAClassObjectIsHeldOrTheServerLocked) {
  EXPECT_EQ(dll_.DllCanUnloadNow(), S_OK);
  ComPtr<IClassFactory> control;
  ASSERT_EQ(dll_.DllGetClassObject(*library_.control, IID_IClassFactory, &control), S_OK);
  EXPECT_TRUE(HasReferences(control.Get(), 2));
  EXPECT_EQ(dll_.DllCanUnloadNow(), S_FALSE);
  ASSERT_EQ(control->LockServer(TRUE), S_OK);
  control.Reset();
  EXPECT_EQ(dll_.DllCanUnloadNow(), S_FALSE);
  ASSERT_EQ(dll_.DllGetClassObject(*library_.control, IID_IClassFactory, &control), S_OK);
  ASSERT_EQ(control->LockServer(FALSE), S_OK);
  EXPECT_EQ(dll_.DllCanUnloadNow(), S_FALSE);
  control.Reset();
  EXPECT_EQ(dll_.DllCanUnloadNow(), S_OK);
}

}  // namespace
}  // namespace zu
