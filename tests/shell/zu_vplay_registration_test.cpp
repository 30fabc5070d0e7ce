// Registering ZuVPlay.dll: every key and value of the script the user's locale selects (the
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
#include "tests/shell/zu_vplay_dll.h"
#include "tests/support/regsvr32.h"
#include "zu_video_play.h"

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
using test::ZuVPlayDll;

std::wstring Wide(const GUID& guid) {
  wchar_t text[40];
  StringFromGUID2(guid, text, 40);
  return text;
}

const std::wstring kControl = L"CLSID\\" + Wide(CLSID_ZuVideoPlay);
const std::wstring kPage = L"CLSID\\" + Wide(CLSID_ZuVPlayPpg);
const std::wstring kLibrary = L"TypeLib\\" + Wide(LIBID_ZuVideoPlayLIB);
const std::wstring kInterface = L"Interface\\" + Wide(IID_IZuVideoPlayCtl);
const std::wstring kEvents = L"Interface\\" + Wide(DIID__IZuVideoPlayCtlEvents);

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

struct ControlVariant {
  std::wstring progid;           // version-dependent
  std::wstring independent;      // version-independent
  std::wstring name;             // program-identifier key and class key
  std::wstring independent_name; // the version-independent key
  std::wstring verb;
};

ControlVariant ExpectedVariant() {
  if (ExpectJapanese()) {
    return {L"ZuVideoPlay.ZuVideoPlayCtl.1", L"ZuVideoPlay.ZuVideoPlayCtl", L"Pelmar/OCX Video Play",
            L"Pelmar/OCX Video Play 1.0", L"ﾌﾟﾛﾊﾟﾃｨ(&R)..., 0, 2"};
  }
  return {L"ZuVPlay.ZuVideoPlayCtl.1", L"ZuVPlay.ZuVideoPlayCtl", L"Pelmar/OCX Video Play Control",
          L"Pelmar/OCX Video Play Control", L"&Property..., 0, 2"};
}

std::set<std::wstring> ExpectedControlEntries(const std::wstring& module) {
  ControlVariant v = ExpectedVariant();
  const std::wstring clsid = Wide(CLSID_ZuVideoPlay);
  return Entries()
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
      .Default(kControl + L"\\TypeLib", Wide(LIBID_ZuVideoPlayLIB))
      .Default(kControl + L"\\Version", L"1.0")
      .Key(kControl + L"\\Verb")
      .Default(kControl + L"\\Verb\\0", v.verb)
      .Set();
}

std::set<std::wstring> ExpectedPageEntries(const std::wstring& module) {
  const std::wstring clsid = Wide(CLSID_ZuVPlayPpg);
  return Entries()
      .Default(L"ZuVideoPlay.ZuVideoPlayPpg.1", L"ZuVideoPlayPpg Class")
      .Default(L"ZuVideoPlay.ZuVideoPlayPpg.1\\CLSID", clsid)
      .Default(L"ZuVideoPlay.ZuVideoPlayPpg", L"ZuVideoPlayPpg Class")
      .Default(L"ZuVideoPlay.ZuVideoPlayPpg\\CLSID", clsid)
      .Default(L"ZuVideoPlay.ZuVideoPlayPpg\\CurVer", L"ZuVideoPlay.ZuVideoPlayPpg.1")
      .Default(kPage, L"ZuVideoPlayPpg Class")
      .Key(kPage + L"\\Programmable")
      .Default(kPage + L"\\InprocServer32", module)
      .Value(kPage + L"\\InprocServer32", L"ThreadingModel", L"Apartment")
      .Set();
}

std::set<std::wstring> ActualControlEntries(HKEY root) {
  ControlVariant v = ExpectedVariant();
  std::set<std::wstring> all = RegistryEntries(root, v.progid);
  for (const std::wstring& key : {v.independent, kControl}) {
    std::set<std::wstring> part = RegistryEntries(root, key);
    all.insert(part.begin(), part.end());
  }
  return all;
}

std::set<std::wstring> ActualPageEntries(HKEY root) {
  std::set<std::wstring> all;
  for (const std::wstring& key :
       {std::wstring(L"ZuVideoPlay.ZuVideoPlayPpg.1"), std::wstring(L"ZuVideoPlay.ZuVideoPlayPpg"), kPage}) {
    std::set<std::wstring> part = RegistryEntries(root, key);
    all.insert(part.begin(), part.end());
  }
  return all;
}

std::wstring Folder(const std::wstring& path) { return path.substr(0, path.find_last_of(L"\\/") + 1); }

const wchar_t* PlatformKey() { return sizeof(void*) == 8 ? L"win64" : L"win32"; }

// The type library's own entries and those of its two interfaces.
::testing::AssertionResult HasTypeLibraryEntries(HKEY root, const std::wstring& path) {
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
  expect(kLibrary + L"\\1.0", L"", L"Pelmar/OCX Video Play 1.0");
  expect(kLibrary + L"\\1.0\\409\\" + PlatformKey(), L"", path);
  // widl marks the library as one with a disk image (LIBFLAG_FHASDISKIMAGE).
  expect(kLibrary + L"\\1.0\\FLAGS", L"", L"8");
  expect(kLibrary + L"\\1.0\\HELPDIR", L"", Folder(path));
  expect(kInterface, L"", L"IZuVideoPlayCtl");
  expect(kInterface + L"\\ProxyStubClsid32", L"", L"{00020424-0000-0000-C000-000000000046}");
  expect(kInterface + L"\\TypeLib", L"", Wide(LIBID_ZuVideoPlayLIB));
  expect(kInterface + L"\\TypeLib", L"Version", L"1.0");
  expect(kEvents, L"", L"_IZuVideoPlayCtlEvents");
  expect(kEvents + L"\\ProxyStubClsid32", L"", L"{00020420-0000-0000-C000-000000000046}");
  return failed ? failure : ::testing::AssertionSuccess();
}

// ---------------------------------------------------------------- sandboxed

class ZuVPlayRegistration : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dll_.Ok()) << Narrow(dll_.Path());
    ASSERT_TRUE(sandbox_.Ok());
    test::RemovePlayLibraryEscapes(sandbox_);
  }
  HKEY Root() const { return sandbox_.Root(); }

  RegistrySandbox sandbox_;
  ZuVPlayDll dll_;
};

TEST_F(ZuVPlayRegistration, TheLocaleThisRunAskedForIsInEffect) {
  // ctest runs this program once plainly and once under LANG=ja_JP.UTF-8; without the Japanese
  // locale data (Debian's locales package, compiled into the build tree) Wine falls back to
  // English and the second run would test nothing new.
  LANGID expected = ExpectJapanese() ? 0x0411 : 0x0409;
  EXPECT_EQ(LANGIDFROMLCID(GetUserDefaultLCID()), expected);
  EXPECT_EQ(GetUserDefaultUILanguage(), expected);
}

TEST_F(ZuVPlayRegistration, WritesEveryEntryOfTheControlAndPageScripts) {
  ASSERT_EQ(dll_.DllRegisterServer(), S_OK);
  std::set<std::wstring> control = ActualControlEntries(Root());
  std::set<std::wstring> expected = ExpectedControlEntries(dll_.Path());
  EXPECT_EQ(control, expected) << EntryDifference(expected, control);
  std::set<std::wstring> page = ActualPageEntries(Root());
  std::set<std::wstring> expected_page = ExpectedPageEntries(dll_.Path());
  EXPECT_EQ(page, expected_page) << EntryDifference(expected_page, page);
  // The other variant's program identifiers are not written.
  EXPECT_FALSE(KeyExists(Root(), ExpectJapanese() ? L"ZuVPlay.ZuVideoPlayCtl.1"
                                                  : L"ZuVideoPlay.ZuVideoPlayCtl.1"));
}

TEST_F(ZuVPlayRegistration, RegistersTheTypeLibraryFromTheModule) {
  ASSERT_EQ(dll_.DllRegisterServer(), S_OK);
  EXPECT_TRUE(HasTypeLibraryEntries(Root(), dll_.Path()));
  ComPtr<ITypeLib> library;
  ASSERT_EQ(LoadRegTypeLib(LIBID_ZuVideoPlayLIB, 1, 0, 0x409, &library), S_OK);
  ComPtr<ITypeInfo> info;
  EXPECT_EQ(library->GetTypeInfoOfGuid(IID_IZuVideoPlayCtl, &info), S_OK);
}

TEST_F(ZuVPlayRegistration, RegisteringTwiceLeavesOneSetOfEntries) {
  ASSERT_EQ(dll_.DllRegisterServer(), S_OK);
  WriteString(Root(), kControl + L"\\Control\\Stale", L"", L"under a replace-marked key");
  ASSERT_EQ(dll_.DllRegisterServer(), S_OK);
  std::set<std::wstring> control = ActualControlEntries(Root());
  std::set<std::wstring> expected = ExpectedControlEntries(dll_.Path());
  EXPECT_EQ(control, expected) << EntryDifference(expected, control);
  EXPECT_TRUE(HasTypeLibraryEntries(Root(), dll_.Path()));
}

TEST_F(ZuVPlayRegistration, UnregisteringRemovesOurEntriesAndLeavesOthers) {
  WriteString(Root(), L"CLSID\\{00000000-0000-0000-0000-00000000ABCD}", L"", L"another class");
  ASSERT_EQ(dll_.DllRegisterServer(), S_OK);
  WriteString(Root(), kControl + L"\\Implemented Categories\\{X}", L"", L"added by a host");
  EXPECT_EQ(dll_.DllUnregisterServer(), S_OK);

  ControlVariant variant = ExpectedVariant();
  EXPECT_FALSE(KeyExists(Root(), variant.progid));
  EXPECT_FALSE(KeyExists(Root(), variant.independent));
  EXPECT_FALSE(KeyExists(Root(), L"ZuVideoPlay.ZuVideoPlayPpg.1"));
  EXPECT_FALSE(KeyExists(Root(), L"ZuVideoPlay.ZuVideoPlayPpg"));
  EXPECT_FALSE(KeyExists(Root(), kPage));
  // The class key stays for the host's subkey, without ours.
  EXPECT_EQ(SubkeyNames(Root(), kControl), std::vector<std::wstring>{L"Implemented Categories"});
  EXPECT_EQ(ReadString(Root(), L"CLSID\\{00000000-0000-0000-0000-00000000ABCD}"), L"another class");
  EXPECT_FALSE(KeyExists(Root(), kLibrary));
  EXPECT_FALSE(KeyExists(Root(), kInterface));
  // Once more, with nothing left to remove.
  EXPECT_EQ(dll_.DllUnregisterServer(), S_OK);
}

TEST_F(ZuVPlayRegistration, ATypeLibraryFileBesideAModuleWithoutOneIsRegistered) {
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
  EXPECT_TRUE(HasTypeLibraryEntries(Root(), tlb));
  UnregisterModuleTypeLibrary(module);
  EXPECT_FALSE(KeyExists(Root(), kLibrary));

  DeleteFileW(tlb.c_str());
  HRESULT hr = RegisterModuleTypeLibrary(module);
  EXPECT_TRUE(FAILED(hr)) << HexCode(hr);
  EXPECT_FALSE(KeyExists(Root(), kLibrary));
  DeleteFileW(module.c_str());
  RemoveDirectoryW(folder.c_str());
}

// ---------------------------------------------------------------- regsvr32, for real

// What a container shows of a registered control: its user type name, its verb menu and its
// miscellaneous status, read through ole32's registry lookups. These bypass a sandbox made with
// RegOverridePredefKey (Wine's ole32 opens the machine's classes key itself), so they are
// checked against the real registration.
::testing::AssertionResult ContainerSeesTheRegisteredTexts() {
  ControlVariant variant = ExpectedVariant();
  auto failure = ::testing::AssertionFailure();
  LPOLESTR user_type = nullptr;
  HRESULT hr = OleRegGetUserType(CLSID_ZuVideoPlay, USERCLASSTYPE_FULL, &user_type);
  if (hr != S_OK) return failure << "OleRegGetUserType: " << HexCode(hr);
  std::wstring name = user_type;
  CoTaskMemFree(user_type);
  if (name != variant.name) return failure << "user type \"" << Narrow(name) << "\"";

  ComPtr<IEnumOLEVERB> verbs;
  hr = OleRegEnumVerbs(CLSID_ZuVideoPlay, &verbs);
  if (hr != S_OK) return failure << "OleRegEnumVerbs: " << HexCode(hr);
  OLEVERB verb = {};
  ULONG fetched = 0;
  if (verbs->Next(1, &verb, &fetched) != S_OK) return failure << "no verb";
  std::wstring verb_text = std::wstring(verb.lpszVerbName) + L", " + std::to_wstring(verb.fuFlags) +
                           L", " + std::to_wstring(verb.grfAttribs);
  CoTaskMemFree(verb.lpszVerbName);
  if (verb.lVerb != 0 || verb_text != variant.verb) {
    return failure << "verb " << verb.lVerb << " \"" << Narrow(verb_text) << "\"";
  }
  if (verbs->Next(1, &verb, &fetched) != S_FALSE) {
    CoTaskMemFree(verb.lpszVerbName);
    return failure << "more than one verb";
  }

  DWORD status = 0;
  hr = OleRegGetMiscStatus(CLSID_ZuVideoPlay, DVASPECT_CONTENT, &status);
  if (hr != S_OK || status != 0x20191) {
    return failure << "misc status " << HexCode(hr) << ", " << HexCode(static_cast<HRESULT>(status));
  }
  return ::testing::AssertionSuccess();
}



class Regsvr32 : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dll_.Ok()) << Narrow(dll_.Path()); }
  // Whatever happened, the prefix is left as it was found.
  void TearDown() override { RunRegsvr32(L"/u \"" + dll_.Path() + L"\""); }

  ZuVPlayDll dll_;
};

TEST_F(Regsvr32, RegistersAndUnregistersInThePrefix) {
  ASSERT_EQ(RunRegsvr32(L"\"" + dll_.Path() + L"\""), 0);
  std::set<std::wstring> control = ActualControlEntries(HKEY_CLASSES_ROOT);
  std::set<std::wstring> expected = ExpectedControlEntries(dll_.Path());
  EXPECT_EQ(control, expected) << EntryDifference(expected, control);
  std::set<std::wstring> page = ActualPageEntries(HKEY_CLASSES_ROOT);
  std::set<std::wstring> expected_page = ExpectedPageEntries(dll_.Path());
  EXPECT_EQ(page, expected_page) << EntryDifference(expected_page, page);
  EXPECT_TRUE(HasTypeLibraryEntries(HKEY_CLASSES_ROOT, dll_.Path()));

  EXPECT_TRUE(ContainerSeesTheRegisteredTexts());
  CLSID clsid = {};
  EXPECT_EQ(CLSIDFromProgID(ExpectedVariant().progid.c_str(), &clsid), S_OK);
  EXPECT_EQ(GuidText(clsid), GuidText(CLSID_ZuVideoPlay));

  ASSERT_EQ(RunRegsvr32(L"/u \"" + dll_.Path() + L"\""), 0);
  EXPECT_TRUE(ActualControlEntries(HKEY_CLASSES_ROOT).empty());
  EXPECT_TRUE(ActualPageEntries(HKEY_CLASSES_ROOT).empty());
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kLibrary));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID"));
}

}  // namespace
}  // namespace zu
