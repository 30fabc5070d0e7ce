// Registering each DLL: every key and value of the script the user's locale selects (the
// English one, or the Japanese one under LANG=ja_JP.UTF-8), the page script, the type library
// entries, registering twice and unregistering. First in a sandboxed HKEY_CLASSES_ROOT through
// the exports, then for real through regsvr32 in the test prefix, which is cleaned up after.
#include <windows.h>

#include <ole2.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>

#include "shell/registrar.h"
#include "tests/shell/com_assertions.h"
#include "tests/shell/registry_sandbox.h"
#include "tests/shell/server_dll.h"
#include "tests/shell/server_libraries.h"
#include "tests/support/regsvr32.h"

using Microsoft::WRL::ComPtr;

namespace zu {
namespace {

using test::RunRegsvr32;

using test::EntryDifference;
using test::ExpectJapanese;
using test::GuidText;
using test::HexCode;
using test::KeyExists;
using test::Narrow;
using test::ReadString;
using test::RegistryEntries;
using test::RegistrySandbox;
using test::SubkeyNames;
using test::WriteString;
using test::ControlScript;
using test::ServerDll;
using test::ServerLibrary;

std::wstring Wide(const GUID& guid) {
  wchar_t text[40];
  StringFromGUID2(guid, text, 40);
  return text;
}

// The keys of one library's classes and interfaces.
struct Keys {
  explicit Keys(const ServerLibrary& library)
      : control(L"CLSID\\" + Wide(*library.control)),
        page(L"CLSID\\" + Wide(*library.page)),
        type_library(L"TypeLib\\" + Wide(*library.library)),
        dual(L"Interface\\" + Wide(*library.dual)),
        events(L"Interface\\" + Wide(*library.events)) {}
  std::wstring control, page, type_library, dual, events;
};

// The entries a script writes, built the way RegistryEntries reports them.
class Entries {
 public:
  Entries& Key(const std::wstring& path) {
    set_.insert(path);
    return *this;
  }
  Entries& Value(const std::wstring& path, const std::wstring& name, const std::wstring& data) {
    Key(path);
    set_.insert(path + L"|" + name + L"=" + data);
    return *this;
  }
  Entries& Default(const std::wstring& path, const std::wstring& data) {
    return Value(path, L"@", data);
  }
  const std::set<std::wstring>& Set() const { return set_; }

 private:
  std::set<std::wstring> set_;
};

std::set<std::wstring> ExpectedControlEntries(const ServerLibrary& library, const std::wstring& module) {
  const ControlScript& v = library.Script();
  const std::wstring clsid = Wide(*library.control);
  const std::wstring kControl = Keys(library).control;
  Entries entries;
  entries
      .Default(v.progid, v.name)
      .Default(v.progid + L"\\CLSID", clsid)
      .Default(v.independent, v.independent_name)
      .Default(v.independent + L"\\CLSID", clsid)
      .Default(v.independent + L"\\CurVer", v.progid)
      .Default(kControl, v.name)
      .Default(kControl + L"\\ProgID", v.progid)
      .Default(kControl + L"\\VersionIndependentProgID", v.independent)
      .Key(kControl + L"\\Programmable")
      .Default(kControl + L"\\InprocServer32", module)
      .Value(kControl + L"\\InprocServer32", L"ThreadingModel", L"Apartment")
      .Key(kControl + L"\\Control")
      .Key(kControl + L"\\Insertable")
      .Default(kControl + L"\\ToolboxBitmap32", module + L", 101")
      .Default(kControl + L"\\MiscStatus", L"0")
      .Default(kControl + L"\\MiscStatus\\1", L"131473")
      .Default(kControl + L"\\TypeLib", Wide(*library.library))
      .Default(kControl + L"\\Version", v.version)
      .Key(kControl + L"\\Verb");
  for (size_t verb = 0; verb < v.verbs.size(); ++verb) {
    entries.Default(kControl + L"\\Verb\\" + std::to_wstring(verb), v.verbs[verb]);
  }
  return entries.Set();
}

std::set<std::wstring> ExpectedPageEntries(const ServerLibrary& library, const std::wstring& module) {
  const std::wstring clsid = Wide(*library.page);
  const std::wstring& progid = library.page_progid;
  const std::wstring kPage = Keys(library).page;
  return Entries()
      .Default(progid + L".1", library.page_name)
      .Default(progid + L".1\\CLSID", clsid)
      .Default(progid, library.page_name)
      .Default(progid + L"\\CLSID", clsid)
      .Default(progid + L"\\CurVer", progid + L".1")
      .Default(kPage, library.page_name)
      .Key(kPage + L"\\Programmable")
      .Default(kPage + L"\\InprocServer32", module)
      .Value(kPage + L"\\InprocServer32", L"ThreadingModel", L"Apartment")
      .Set();
}

std::set<std::wstring> ActualControlEntries(const ServerLibrary& library, HKEY root) {
  const ControlScript& v = library.Script();
  std::set<std::wstring> all = RegistryEntries(root, v.progid);
  for (const std::wstring& key : {v.independent, Keys(library).control}) {
    std::set<std::wstring> part = RegistryEntries(root, key);
    all.insert(part.begin(), part.end());
  }
  return all;
}

std::set<std::wstring> ActualPageEntries(const ServerLibrary& library, HKEY root) {
  std::set<std::wstring> all;
  for (const std::wstring& key : {library.page_progid + L".1", library.page_progid, Keys(library).page}) {
    std::set<std::wstring> part = RegistryEntries(root, key);
    all.insert(part.begin(), part.end());
  }
  return all;
}

std::wstring Folder(const std::wstring& path) { return path.substr(0, path.find_last_of(L"\\/") + 1); }

const wchar_t* PlatformKey() { return sizeof(void*) == 8 ? L"win64" : L"win32"; }

// The type library's own entries and those of its two interfaces.
::testing::AssertionResult HasTypeLibraryEntries(const ServerLibrary& library, HKEY root,
                                                 const std::wstring& path) {
  const Keys keys(library);
  const std::wstring& kLibrary = keys.type_library;
  const std::wstring& kInterface = keys.dual;
  const std::wstring& kEvents = keys.events;
  auto failure = ::testing::AssertionFailure();
  bool failed = false;
  auto expect = [&](const std::wstring& key, const std::wstring& name, const std::wstring& data) {
    std::optional<std::wstring> actual = ReadString(root, key, name);
    if (actual != data) {
      failure << "\n  " << Narrow(key) << " [" << Narrow(name) << "]: \""
              << Narrow(actual.value_or(L"(missing)")) << "\", expected \"" << Narrow(data) << "\"";
      failed = true;
    }
  };
  expect(kLibrary + L"\\1.0", L"", library.library_help);
  expect(kLibrary + L"\\1.0\\409\\" + PlatformKey(), L"", path);
  // widl marks the library as one with a disk image (LIBFLAG_FHASDISKIMAGE).
  expect(kLibrary + L"\\1.0\\FLAGS", L"", L"8");
  expect(kLibrary + L"\\1.0\\HELPDIR", L"", Folder(path));
  const std::wstring dual = library.dual_name;
  expect(kInterface, L"", dual);
  expect(kInterface + L"\\ProxyStubClsid32", L"", L"{00020424-0000-0000-C000-000000000046}");
  expect(kInterface + L"\\TypeLib", L"", Wide(*library.library));
  expect(kInterface + L"\\TypeLib", L"Version", L"1.0");
  expect(kEvents, L"", L"_" + dual + L"Events");
  expect(kEvents + L"\\ProxyStubClsid32", L"", L"{00020420-0000-0000-C000-000000000046}");
  return failed ? failure : ::testing::AssertionSuccess();
}

// ---------------------------------------------------------------- sandboxed

class ServerRegistration : public ::testing::TestWithParam<const ServerLibrary*> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dll_.Ok()) << Narrow(dll_.Path());
    ASSERT_TRUE(sandbox_.Ok());
    test::RemoveLibraryEscapes(sandbox_, *library_.dual, *library_.events);
  }
  HKEY Root() const { return sandbox_.Root(); }
  void ExpectEveryEntry() {
    std::set<std::wstring> control = ActualControlEntries(library_, Root());
    std::set<std::wstring> expected = ExpectedControlEntries(library_, dll_.Path());
    EXPECT_EQ(control, expected) << EntryDifference(expected, control);
    std::set<std::wstring> page = ActualPageEntries(library_, Root());
    std::set<std::wstring> expected_page = ExpectedPageEntries(library_, dll_.Path());
    EXPECT_EQ(page, expected_page) << EntryDifference(expected_page, page);
    EXPECT_TRUE(HasTypeLibraryEntries(library_, Root(), dll_.Path()));
  }

  const ServerLibrary& library_ = *GetParam();
  const Keys keys_{library_};
  RegistrySandbox sandbox_;
  ServerDll dll_{library_.file};
};

INSTANTIATE_TEST_SUITE_P(Dll, ServerRegistration, ::testing::ValuesIn(test::ServerLibraries()),
                         test::ServerLibraryName());

TEST(Locale, TheLocaleThisRunAskedForIsInEffect) {
  // ctest runs this program once plainly and once under LANG=ja_JP.UTF-8; without the Japanese
  // locale data (Debian's locales package, compiled into the build tree) Wine falls back to
  // English and the second run would test nothing new.
  LANGID expected = ExpectJapanese() ? 0x0411 : 0x0409;
  EXPECT_EQ(LANGIDFROMLCID(GetUserDefaultLCID()), expected);
  EXPECT_EQ(GetUserDefaultUILanguage(), expected);
}

TEST_P(ServerRegistration, WritesEveryEntryOfTheControlAndPageScriptsAndTheTypeLibrary) {
  ASSERT_EQ(dll_.DllRegisterServer(), S_OK);
  ExpectEveryEntry();
  // The other variant's program identifiers are not written.
  const test::ControlScript& other = ExpectJapanese() ? library_.english : library_.japanese;
  EXPECT_FALSE(KeyExists(Root(), other.progid));
  ComPtr<ITypeLib> library;
  ASSERT_EQ(LoadRegTypeLib(*library_.library, 1, 0, 0x409, &library), S_OK);
  ComPtr<ITypeInfo> info;
  EXPECT_EQ(library->GetTypeInfoOfGuid(*library_.dual, &info), S_OK);
}

TEST_P(ServerRegistration, RegisteringTwiceLeavesOneSetOfEntries) {
  ASSERT_EQ(dll_.DllRegisterServer(), S_OK);
  WriteString(Root(), keys_.control + L"\\Control\\Stale", L"", L"under a replace-marked key");
  ASSERT_EQ(dll_.DllRegisterServer(), S_OK);
  ExpectEveryEntry();
}

TEST_P(ServerRegistration, UnregisteringRemovesOurEntriesAndLeavesOthers) {
  WriteString(Root(), L"CLSID\\{00000000-0000-0000-0000-00000000ABCD}", L"", L"another class");
  ASSERT_EQ(dll_.DllRegisterServer(), S_OK);
  WriteString(Root(), keys_.control + L"\\Implemented Categories\\{X}", L"", L"added by a host");
  EXPECT_EQ(dll_.DllUnregisterServer(), S_OK);

  const test::ControlScript& script = library_.Script();
  EXPECT_FALSE(KeyExists(Root(), script.progid));
  EXPECT_FALSE(KeyExists(Root(), script.independent));
  EXPECT_FALSE(KeyExists(Root(), library_.page_progid + L".1"));
  EXPECT_FALSE(KeyExists(Root(), library_.page_progid));
  EXPECT_FALSE(KeyExists(Root(), keys_.page));
  // The class key stays for the host's subkey, without ours.
  EXPECT_EQ(SubkeyNames(Root(), keys_.control), std::vector<std::wstring>{L"Implemented Categories"});
  EXPECT_EQ(ReadString(Root(), L"CLSID\\{00000000-0000-0000-0000-00000000ABCD}"), L"another class");
  EXPECT_FALSE(KeyExists(Root(), keys_.type_library));
  EXPECT_FALSE(KeyExists(Root(), keys_.dual));
  // Once more, with nothing left to remove.
  EXPECT_EQ(dll_.DllUnregisterServer(), S_OK);
}

TEST(TypeLibraryFile, ATypeLibraryFileBesideAModuleWithoutOneIsRegistered) {
  RegistrySandbox sandbox;
  ASSERT_TRUE(sandbox.Ok());
  test::RemovePlayLibraryEscapes(sandbox);
  const Keys keys(test::PlayLibrary());
  // A module with no TYPELIB resource: a copy of the test program under another name, with the
  // type library beside it as a .tlb file.
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring folder = std::wstring(temp) + L"zu_tlb_" + std::to_wstring(GetCurrentProcessId()) + L"\\";
  CreateDirectoryW(folder.c_str(), nullptr);
  std::wstring module = folder + L"NoLibrary.dll";
  std::wstring tlb = folder + L"NoLibrary.tlb";
  ASSERT_TRUE(CopyFileW(ModulePath(nullptr).c_str(), module.c_str(), FALSE));
  ASSERT_TRUE(CopyFileW(test::BesideTestProgram(L"zu_video_play.tlb").c_str(), tlb.c_str(), FALSE));

  EXPECT_EQ(RegisterModuleTypeLibrary(module), S_OK);
  EXPECT_TRUE(HasTypeLibraryEntries(test::PlayLibrary(), sandbox.Root(), tlb));
  UnregisterModuleTypeLibrary(module);
  EXPECT_FALSE(KeyExists(sandbox.Root(), keys.type_library));

  DeleteFileW(tlb.c_str());
  HRESULT hr = RegisterModuleTypeLibrary(module);
  EXPECT_TRUE(FAILED(hr)) << HexCode(hr);
  EXPECT_FALSE(KeyExists(sandbox.Root(), keys.type_library));
  DeleteFileW(module.c_str());
  RemoveDirectoryW(folder.c_str());
}

// ---------------------------------------------------------------- regsvr32, for real

// What a container shows of a registered control: its user type name, its verb menu and its
// miscellaneous status, read through ole32's registry lookups. These bypass a sandbox made with
// RegOverridePredefKey (Wine's ole32 opens the machine's classes key itself), so they are
// checked against the real registration.
::testing::AssertionResult ContainerSeesTheRegisteredTexts(const ServerLibrary& library) {
  const test::ControlScript& script = library.Script();
  const CLSID& clsid = *library.control;
  auto failure = ::testing::AssertionFailure();
  LPOLESTR user_type = nullptr;
  HRESULT hr = OleRegGetUserType(clsid, USERCLASSTYPE_FULL, &user_type);
  if (hr != S_OK) return failure << "OleRegGetUserType: " << HexCode(hr);
  std::wstring name = user_type;
  CoTaskMemFree(user_type);
  if (name != script.name) return failure << "user type \"" << Narrow(name) << "\"";

  ComPtr<IEnumOLEVERB> verbs;
  hr = OleRegEnumVerbs(clsid, &verbs);
  if (hr != S_OK) return failure << "OleRegEnumVerbs: " << HexCode(hr);
  for (LONG expected = 0;; ++expected) {
    OLEVERB verb = {};
    ULONG fetched = 0;
    hr = verbs->Next(1, &verb, &fetched);
    if (static_cast<size_t>(expected) == script.verbs.size()) {
      if (hr == S_FALSE) break;
      CoTaskMemFree(verb.lpszVerbName);
      return failure << "more than " << expected << " verbs";
    }
    if (hr != S_OK) return failure << "verb " << expected << " missing";
    std::wstring text = std::wstring(verb.lpszVerbName) + L", " + std::to_wstring(verb.fuFlags) +
                        L", " + std::to_wstring(verb.grfAttribs);
    CoTaskMemFree(verb.lpszVerbName);
    if (verb.lVerb != expected || text != script.verbs[expected]) {
      return failure << "verb " << verb.lVerb << " \"" << Narrow(text) << "\"";
    }
  }

  DWORD status = 0;
  hr = OleRegGetMiscStatus(clsid, DVASPECT_CONTENT, &status);
  if (hr != S_OK || status != 0x20191) {
    return failure << "misc status " << HexCode(hr) << ", " << HexCode(static_cast<HRESULT>(status));
  }
  return ::testing::AssertionSuccess();
}

class Regsvr32 : public ::testing::TestWithParam<const ServerLibrary*> {
 protected:
  void SetUp() override { ASSERT_TRUE(dll_.Ok()) << Narrow(dll_.Path()); }
  // Whatever happened, the prefix is left as it was found.
  void TearDown() override { RunRegsvr32(L"/u \"" + dll_.Path() + L"\""); }

  const ServerLibrary& library_ = *GetParam();
  ServerDll dll_{library_.file};
};

INSTANTIATE_TEST_SUITE_P(Dll, Regsvr32, ::testing::ValuesIn(test::ServerLibraries()),
                         test::ServerLibraryName());

TEST_P(Regsvr32, RegistersAndUnregistersInThePrefix) {
  ASSERT_EQ(RunRegsvr32(L"\"" + dll_.Path() + L"\""), 0);
  std::set<std::wstring> control = ActualControlEntries(library_, HKEY_CLASSES_ROOT);
  std::set<std::wstring> expected = ExpectedControlEntries(library_, dll_.Path());
  EXPECT_EQ(control, expected) << EntryDifference(expected, control);
  std::set<std::wstring> page = ActualPageEntries(library_, HKEY_CLASSES_ROOT);
  std::set<std::wstring> expected_page = ExpectedPageEntries(library_, dll_.Path());
  EXPECT_EQ(page, expected_page) << EntryDifference(expected_page, page);
  EXPECT_TRUE(HasTypeLibraryEntries(library_, HKEY_CLASSES_ROOT, dll_.Path()));

  EXPECT_TRUE(ContainerSeesTheRegisteredTexts(library_));
  CLSID clsid = {};
  EXPECT_EQ(CLSIDFromProgID(library_.Script().progid.c_str(), &clsid), S_OK);
  EXPECT_EQ(GuidText(clsid), GuidText(*library_.control));

  ASSERT_EQ(RunRegsvr32(L"/u \"" + dll_.Path() + L"\""), 0);
  EXPECT_TRUE(ActualControlEntries(library_, HKEY_CLASSES_ROOT).empty());
  EXPECT_TRUE(ActualPageEntries(library_, HKEY_CLASSES_ROOT).empty());
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, Keys(library_).type_library));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID"));
}

}  // namespace
}  // namespace zu
