// The registration script format: parsing, text decoding, %MODULE% expansion, and what applying
// and removing a script does to a (sandboxed) HKEY_CLASSES_ROOT.
#include "shell/registry_script.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "tests/shell/com_assertions.h"
#include "tests/shell/registry_sandbox.h"

namespace zu {
namespace {

using test::KeyExists;
using test::Narrow;
using test::ReadString;
using test::RegistrySandbox;
using test::SubkeyNames;
using test::ValueNames;
using test::WriteString;

RegistryScript Parse(const std::wstring& text) {
  RegistryScript script;
  std::wstring error;
  HRESULT hr = ParseRegistryScript(text, &script, &error);
  EXPECT_EQ(hr, S_OK) << Narrow(error);
  return script;
}

// ---------------------------------------------------------------- parsing

TEST(RegistryScriptParse, ReadsKeysDefaultsValuesAndFlagsInOrder) {
  RegistryScript script = Parse(
      L"# comment line\n"
      L"HKCR {\n"
      L"  key 'A.B.1' = 'Display' { key 'CLSID' = '{1}' }  # trailing comment\n"
      L"  keep key 'CLSID' {\n"
      L"    replace key '{1}' = 'Class' {\n"
      L"      key 'InprocServer32' = 'C:\\x.dll' { value 'ThreadingModel' = 'Apartment' }\n"
      L"      replace keep key 'Control'\n"
      L"    }\n"
      L"  }\n"
      L"}\n");
  ASSERT_EQ(script.keys.size(), 2u);
  const ScriptKey& progid = script.keys[0];
  EXPECT_EQ(progid.name, L"A.B.1");
  EXPECT_TRUE(progid.has_default);
  EXPECT_EQ(progid.default_value, L"Display");
  EXPECT_FALSE(progid.replace);
  EXPECT_FALSE(progid.keep);
  ASSERT_EQ(progid.subkeys.size(), 1u);
  EXPECT_EQ(progid.subkeys[0].default_value, L"{1}");

  const ScriptKey& clsid = script.keys[1];
  EXPECT_TRUE(clsid.keep);
  EXPECT_FALSE(clsid.has_default);
  ASSERT_EQ(clsid.subkeys.size(), 1u);
  const ScriptKey& klass = clsid.subkeys[0];
  EXPECT_TRUE(klass.replace);
  ASSERT_EQ(klass.subkeys.size(), 2u);
  const ScriptKey& server = klass.subkeys[0];
  EXPECT_EQ(server.default_value, L"C:\\x.dll");
  ASSERT_EQ(server.values.size(), 1u);
  EXPECT_EQ(server.values[0].name, L"ThreadingModel");
  EXPECT_EQ(server.values[0].data, L"Apartment");
  EXPECT_TRUE(klass.subkeys[1].replace);
  EXPECT_TRUE(klass.subkeys[1].keep);
  EXPECT_FALSE(klass.subkeys[1].has_default);
}

TEST(RegistryScriptParse, DoubledQuotesStandForOneAndTextKeepsEveryOtherCharacter) {
  RegistryScript script =
      Parse(L"HKCR{key'it''s'='''a'' {b} = # c, 0, 2 ﾌﾟﾛﾊﾟﾃｨ(&R)...'}");
  ASSERT_EQ(script.keys.size(), 1u);
  EXPECT_EQ(script.keys[0].name, L"it's");
  EXPECT_EQ(script.keys[0].default_value, L"'a' {b} = # c, 0, 2 ﾌﾟﾛﾊﾟﾃｨ(&R)...");
}

TEST(RegistryScriptParse, AnEmptyScriptHasNoKeys) {
  EXPECT_TRUE(Parse(L"HKCR { }").keys.empty());
}

struct MalformedScript {
  const char* what;
  const wchar_t* text;
  const wchar_t* error;  // the start of the message
};

void PrintTo(const MalformedScript& row, std::ostream* out) { *out << row.what; }

class RegistryScriptMalformed : public ::testing::TestWithParam<MalformedScript> {};

TEST_P(RegistryScriptMalformed, IsRefusedWithTheLineAndNothingParsed) {
  const MalformedScript& row = GetParam();
  RegistryScript script;
  script.keys.emplace_back();
  std::wstring error;
  EXPECT_EQ(ParseRegistryScript(row.text, &script, &error), kScriptSyntaxError) << row.what;
  EXPECT_TRUE(script.keys.empty()) << row.what;
  EXPECT_EQ(error.rfind(row.error, 0), 0u) << row.what << ": got \"" << Narrow(error) << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, RegistryScriptMalformed,
    ::testing::Values(
        MalformedScript{"no root", L"{ key 'a' }", L"line 1: expected HKCR"},
        MalformedScript{"other root", L"HKLM { key 'a' }", L"line 1: expected HKCR"},
        MalformedScript{"unclosed root", L"HKCR {\n key 'a'\n", L"line 3: expected key"},
        MalformedScript{"unterminated text", L"HKCR {\n key 'a }", L"line 2: unterminated text"},
        MalformedScript{"text across lines", L"HKCR { key 'a\n' }", L"line 1: unterminated text"},
        MalformedScript{"bare name", L"HKCR { key a }", L"line 1: expected a quoted text"},
        MalformedScript{"unknown word", L"HKCR {\n\n delete key 'a' }", L"line 3: expected key"},
        MalformedScript{"value without data", L"HKCR { key 'a' { value 'v' } }",
                        L"line 1: expected '='"},
        MalformedScript{"value at the top", L"HKCR { value 'v' = 'x' }", L"line 1: expected key"},
        MalformedScript{"unnamed key", L"HKCR { key '' }", L"line 1: empty key name"},
        MalformedScript{"unnamed value", L"HKCR { key 'a' { value '' = 'x' } }",
                        L"line 1: empty value name"},
        MalformedScript{"default without text", L"HKCR { key 'a' = }",
                        L"line 1: expected a quoted text"},
        MalformedScript{"stray character", L"HKCR { key 'a' ; }", L"line 1: unexpected character"},
        MalformedScript{"text after the end", L"HKCR { }\n}", L"line 2: text after the end"}));

TEST(RegistryScriptParse, NestingDeeperThanThirtyTwoKeysIsRefused) {
  std::wstring deep = L"HKCR {";
  for (int i = 0; i < 40; ++i) deep += L" key 'k' {";
  for (int i = 0; i < 40; ++i) deep += L" }";
  deep += L" }";
  RegistryScript script;
  std::wstring error;
  EXPECT_EQ(ParseRegistryScript(deep, &script, &error), kScriptSyntaxError);
  EXPECT_NE(error.find(L"nested too deep"), std::wstring::npos) << Narrow(error);
}

// ---------------------------------------------------------------- text and %MODULE%

TEST(RegistryScriptText, Utf8WithAndWithoutMarkAndUtf16WithMarkGiveTheSameText) {
  const std::wstring expected = L"key 'ﾌﾟﾛﾊﾟﾃｨ(&R)...'";
  const char utf8[] = "key '\xEF\xBE\x8C\xEF\xBE\x9F\xEF\xBE\x9B\xEF\xBE\x8A\xEF\xBE\x9F\xEF"
                      "\xBE\x83\xEF\xBD\xA8(&R)...'";
  std::wstring text;
  ASSERT_EQ(DecodeScriptText(utf8, sizeof utf8 - 1, &text), S_OK);
  EXPECT_EQ(text, expected);

  std::string marked = "\xEF\xBB\xBF" + std::string(utf8);
  ASSERT_EQ(DecodeScriptText(marked.data(), marked.size(), &text), S_OK);
  EXPECT_EQ(text, expected);

  std::string utf16 = "\xFF\xFE";
  for (wchar_t c : expected) {
    utf16 += static_cast<char>(c & 0xFF);
    utf16 += static_cast<char>(c >> 8);
  }
  ASSERT_EQ(DecodeScriptText(utf16.data(), utf16.size(), &text), S_OK);
  EXPECT_EQ(text, expected);
}

TEST(RegistryScriptText, ZeroPaddingEndsTheText) {
  const char padded[] = "HKCR { }\0\0\0";
  std::wstring text;
  ASSERT_EQ(DecodeScriptText(padded, sizeof padded, &text), S_OK);
  EXPECT_EQ(text, L"HKCR { }");
}

TEST(RegistryScriptText, InvalidUtf8AndOddUtf16AreRefused) {
  std::wstring text;
  const char bad_utf8[] = "key '\xC3\x28'";
  EXPECT_EQ(DecodeScriptText(bad_utf8, sizeof bad_utf8 - 1, &text), kScriptSyntaxError);
  const char odd_utf16[] = "\xFF\xFE" "a\0b";
  EXPECT_EQ(DecodeScriptText(odd_utf16, 5, &text), kScriptSyntaxError);
}

TEST(RegistryScriptText, ModulePathIsSubstitutedEverywhereAndSurvivesParsingExactly) {
  const std::wstring path = L"C:\\it's a 'test'\\ZuVPlay.dll";
  std::wstring expanded = ExpandModulePath(
      L"HKCR { key 'S' = '%MODULE%' { value 'B' = '%MODULE%, 101' value 'P' = '100%' } }", path);
  RegistryScript script = Parse(expanded);
  ASSERT_EQ(script.keys.size(), 1u);
  EXPECT_EQ(script.keys[0].default_value, path);
  ASSERT_EQ(script.keys[0].values.size(), 2u);
  EXPECT_EQ(script.keys[0].values[0].data, path + L", 101");
  EXPECT_EQ(script.keys[0].values[1].data, L"100%");
}

// ---------------------------------------------------------------- applying and removing

const wchar_t kClassScript[] =
    L"HKCR {\n"
    L"  key 'Zu.Test.1' = 'Zu Test' { key 'CLSID' = '{C1}' }\n"
    L"  keep key 'CLSID' {\n"
    L"    replace key '{C1}' = 'Zu Test' {\n"
    L"      key 'ProgID' = 'Zu.Test.1'\n"
    L"      replace key 'Control'\n"
    L"      key 'InprocServer32' = 'C:\\zu.dll' { value 'ThreadingModel' = 'Apartment' }\n"
    L"      key 'MiscStatus' = '0' { key '1' = '131473' }\n"
    L"    }\n"
    L"  }\n"
    L"}\n";

// Every key and value below `path`, one a line, in registry order.
std::wstring Dump(HKEY root, const std::wstring& path) {
  std::wstring out = path + L"\n";
  for (const std::wstring& value : ValueNames(root, path)) {
    out += L"  " + value + L"=" + ReadString(root, path, value).value_or(L"?") + L"\n";
  }
  if (auto data = ReadString(root, path)) out += L"  @=" + *data + L"\n";
  for (const std::wstring& subkey : SubkeyNames(root, path)) out += Dump(root, path + L"\\" + subkey);
  return out;
}

class RegistryScriptApply : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(sandbox_.Ok()); }
  HKEY Root() const { return sandbox_.Root(); }

  RegistrySandbox sandbox_;
};

TEST_F(RegistryScriptApply, WritesEveryKeyAndValue) {
  ASSERT_EQ(ApplyRegistryScript(HKEY_CLASSES_ROOT, Parse(kClassScript)), S_OK);
  EXPECT_EQ(ReadString(Root(), L"Zu.Test.1"), L"Zu Test");
  EXPECT_EQ(ReadString(Root(), L"Zu.Test.1\\CLSID"), L"{C1}");
  EXPECT_EQ(ReadString(Root(), L"CLSID\\{C1}"), L"Zu Test");
  EXPECT_EQ(ReadString(Root(), L"CLSID\\{C1}\\ProgID"), L"Zu.Test.1");
  EXPECT_TRUE(KeyExists(Root(), L"CLSID\\{C1}\\Control"));
  EXPECT_EQ(ReadString(Root(), L"CLSID\\{C1}\\Control"), std::nullopt);
  EXPECT_EQ(ReadString(Root(), L"CLSID\\{C1}\\InprocServer32"), L"C:\\zu.dll");
  EXPECT_EQ(ReadString(Root(), L"CLSID\\{C1}\\InprocServer32", L"ThreadingModel"), L"Apartment");
  EXPECT_EQ(ReadString(Root(), L"CLSID\\{C1}\\MiscStatus"), L"0");
  EXPECT_EQ(ReadString(Root(), L"CLSID\\{C1}\\MiscStatus\\1"), L"131473");
}

TEST_F(RegistryScriptApply, TwiceLeavesExactlyOneSetOfEntries) {
  RegistryScript script = Parse(kClassScript);
  ASSERT_EQ(ApplyRegistryScript(HKEY_CLASSES_ROOT, script), S_OK);
  std::wstring once = Dump(Root(), L"CLSID") + Dump(Root(), L"Zu.Test.1");
  ASSERT_EQ(ApplyRegistryScript(HKEY_CLASSES_ROOT, script), S_OK);
  EXPECT_EQ(Narrow(Dump(Root(), L"CLSID") + Dump(Root(), L"Zu.Test.1")), Narrow(once));
}

TEST_F(RegistryScriptApply, ReplaceRebuildsMarkedKeysOnlyAndNeverClsidItself) {
  WriteString(Root(), L"CLSID\\{Other}", L"", L"someone else's class");
  WriteString(Root(), L"CLSID\\{C1}\\Stale", L"", L"left by an old version");
  WriteString(Root(), L"CLSID\\{C1}", L"Stale", L"old value");
  WriteString(Root(), L"Zu.Test.1\\Extra", L"", L"not replace-marked");
  WriteString(Root(), L"TypeLib\\{Foreign}", L"", L"another library");
  ASSERT_EQ(ApplyRegistryScript(HKEY_CLASSES_ROOT,
                                Parse(L"HKCR { replace key 'CLSID' { replace key '{C1}' = 'x' }"
                                      L" replace key 'typelib' { key 'L' }"
                                      L" key 'Zu.Test.1' = 'y' }")),
            S_OK);
  EXPECT_EQ(ReadString(Root(), L"CLSID\\{Other}"), L"someone else's class");
  EXPECT_FALSE(KeyExists(Root(), L"CLSID\\{C1}\\Stale"));
  EXPECT_EQ(ReadString(Root(), L"CLSID\\{C1}", L"Stale"), std::nullopt);
  EXPECT_EQ(ReadString(Root(), L"CLSID\\{C1}"), L"x");
  EXPECT_TRUE(KeyExists(Root(), L"typelib\\L"));
  EXPECT_EQ(ReadString(Root(), L"TypeLib\\{Foreign}"), L"another library");
  EXPECT_EQ(ReadString(Root(), L"Zu.Test.1\\Extra"), L"not replace-marked");
}

TEST_F(RegistryScriptApply, StopsAtAKeyThatCannotBeCreated) {
  std::wstring too_long(300, L'k');
  HRESULT hr = ApplyRegistryScript(
      HKEY_CLASSES_ROOT,
      Parse(L"HKCR { key 'First' = '1' key '" + too_long + L"' key 'Last' = '3' }"));
  EXPECT_TRUE(FAILED(hr)) << test::HexCode(hr);
  EXPECT_EQ(ReadString(Root(), L"First"), L"1");
  EXPECT_FALSE(KeyExists(Root(), L"Last"));
}

TEST_F(RegistryScriptApply, RemoveTakesBackEverythingButKeepMarkedKeys) {
  RegistryScript script = Parse(kClassScript);
  ASSERT_EQ(ApplyRegistryScript(HKEY_CLASSES_ROOT, script), S_OK);
  RemoveRegistryScript(HKEY_CLASSES_ROOT, script);
  EXPECT_FALSE(KeyExists(Root(), L"Zu.Test.1"));
  EXPECT_TRUE(KeyExists(Root(), L"CLSID"));
  EXPECT_TRUE(SubkeyNames(Root(), L"CLSID").empty());
}

TEST_F(RegistryScriptApply, RemoveLeavesOtherClassesAlone) {
  WriteString(Root(), L"CLSID\\{Other}", L"", L"someone else's class");
  RegistryScript script = Parse(kClassScript);
  ASSERT_EQ(ApplyRegistryScript(HKEY_CLASSES_ROOT, script), S_OK);
  RemoveRegistryScript(HKEY_CLASSES_ROOT, script);
  EXPECT_EQ(SubkeyNames(Root(), L"CLSID"), std::vector<std::wstring>{L"{Other}"});
  EXPECT_EQ(ReadString(Root(), L"CLSID\\{Other}"), L"someone else's class");
}

TEST_F(RegistryScriptApply, RemoveLeavesAKeyThatHoldsSomeoneElsesSubkeyWithoutOurParts) {
  RegistryScript script = Parse(kClassScript);
  ASSERT_EQ(ApplyRegistryScript(HKEY_CLASSES_ROOT, script), S_OK);
  WriteString(Root(), L"CLSID\\{C1}\\Implemented Categories\\{X}", L"", L"added by a host");
  RemoveRegistryScript(HKEY_CLASSES_ROOT, script);
  EXPECT_EQ(SubkeyNames(Root(), L"CLSID\\{C1}"),
            std::vector<std::wstring>{L"Implemented Categories"});
  EXPECT_EQ(ReadString(Root(), L"CLSID\\{C1}\\Implemented Categories\\{X}"), L"added by a host");
  EXPECT_FALSE(KeyExists(Root(), L"Zu.Test.1"));
}

TEST_F(RegistryScriptApply, RemoveDeletesNamedValuesOfKeysThatStay) {
  WriteString(Root(), L"Shared", L"Theirs", L"kept");
  WriteString(Root(), L"Shared\\Sub", L"", L"kept too");
  RegistryScript script = Parse(L"HKCR { key 'Shared' { value 'Ours' = '1' } }");
  ASSERT_EQ(ApplyRegistryScript(HKEY_CLASSES_ROOT, script), S_OK);
  ASSERT_EQ(ReadString(Root(), L"Shared", L"Ours"), L"1");
  RemoveRegistryScript(HKEY_CLASSES_ROOT, script);
  EXPECT_EQ(ReadString(Root(), L"Shared", L"Ours"), std::nullopt);
  EXPECT_EQ(ReadString(Root(), L"Shared", L"Theirs"), L"kept");
}

TEST_F(RegistryScriptApply, RemovingWhatIsNotThereChangesNothing) {
  WriteString(Root(), L"CLSID\\{Other}", L"", L"someone else's class");
  std::wstring before = Dump(Root(), L"CLSID");
  RegistryScript script = Parse(kClassScript);
  RemoveRegistryScript(HKEY_CLASSES_ROOT, script);
  RemoveRegistryScript(HKEY_CLASSES_ROOT, script);
  EXPECT_EQ(Narrow(Dump(Root(), L"CLSID")), Narrow(before));
}

}  // namespace
}  // namespace zu
