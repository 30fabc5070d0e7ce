// Shared by the registration-free tests (regfree_test.cpp in both programs, and what only
// regfree_activated_tests runs): the controls' classes with their program identifiers, the
// registry keys through which they could be found without the manifests, files beside the test
// program, and a fixture that makes the manifests active for a test.
#pragma once

#include <windows.h>

#include <ole2.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/activation_context.h"

namespace zu::test {

constexpr DWORD kControlMiscStatus = 131473;  // what the registration scripts write, too
constexpr LCID kLocale = LOCALE_USER_DEFAULT;

struct ClassRow {
  const char* name;
  const CLSID* clsid;
  // The version-dependent English identifier first: the one a class identifier maps back to.
  std::vector<std::wstring> progids;
  const wchar_t* member;  // controls: a member of the dual interface, and its DISPID
  DISPID member_id;
};

// Both controls and both pages.
const std::vector<ClassRow>& Classes();

std::wstring GuidText(const GUID& guid);
std::wstring BesideProgram(const wchar_t* name);
// Does this program carry ZuControls.manifest as its own (regfree_tests)?
bool CarriesItsOwnManifest();

// Keys below HKEY_CLASSES_ROOT, in either registry view, through which COM or oleaut32 could find
// a control without the manifests: "CLSID\{...} (32-bit view)".
std::vector<std::string> RegisteredKeys();

class OleScope {
 public:
  OleScope() : result_(OleInitialize(nullptr)) {}
  ~OleScope() {
    if (SUCCEEDED(result_)) OleUninitialize();
  }
  OleScope(const OleScope&) = delete;
  OleScope& operator=(const OleScope&) = delete;
  HRESULT result() const { return result_; }

 private:
  HRESULT result_;
};

// OLE on this thread and, for the program without a manifest of its own, the application
// manifest beside it activated for the test.
class RegFree : public ::testing::Test {
 protected:
  void SetUp() override;

  OleScope ole_;  // first in, last out
  std::unique_ptr<ActivationContext> context_;
};

}  // namespace zu::test
