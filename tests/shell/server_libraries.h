// What the tests expect of each DLL from the outside: its file and export names, its classes and
// interfaces, its resources and their languages, its strings and version texts, and what its
// registration scripts write under each locale. The module, registration and control tests run
// once for each library in this table.
#pragma once

#include <windows.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace zu::test {

// What one variant of the control's registration script writes.
struct ControlScript {
  std::wstring progid;            // version-dependent
  std::wstring independent;       // version-independent
  std::wstring name;              // program-identifier key and class key
  std::wstring independent_name;  // the version-independent key
  std::wstring version;           // the class key's Version
  std::vector<std::wstring> verbs;  // Verb\0, Verb\1, ... with their flags
};

struct ServerLibrary {
  const char* name;               // for test names: "ZuVPlay", "ZuVCap"
  const wchar_t* file;            // beside the test program
  const char* export_name;        // the export directory's name
  const CLSID* control;
  const CLSID* page;
  const GUID* library;
  const IID* dual;
  const IID* events;
  std::wstring library_help;      // the type library's help string
  std::wstring page_progid;       // version-independent; ".1" is the dependent one
  std::wstring page_name;
  ControlScript english;
  ControlScript japanese;
  std::multiset<std::string> resources;  // "TYPE NAME LANGUAGE", see the module test
  UINT control_script_id;
  UINT toolbox_bitmap_id;
  UINT icon_id;
  std::vector<std::pair<UINT, std::wstring>> strings;
  std::wstring version_description;  // FileDescription and ProductName
  std::wstring version_internal;
  std::wstring version_original;
  DWORD safety_options;           // what IObjectSafety reports as supported
  const wchar_t* script;          // the JScript beside the test program that drives the control
  const wchar_t* dual_name;       // the dual interface's name; the events' is "_" name "Events"

  // The variant the user locale of this run registers.
  const ControlScript& Script() const;
};

const ServerLibrary& PlayLibrary();
const ServerLibrary& CaptureLibrary();
// Both, for INSTANTIATE_TEST_SUITE_P.
std::vector<const ServerLibrary*> ServerLibraries();
// "ZuVPlay" for a parameterised test's name.
struct ServerLibraryName {
  template <class Info>
  std::string operator()(const Info& info) const {
    return info.param->name;
  }
};

}  // namespace zu::test
