// A private HKEY_CLASSES_ROOT for one test: while a RegistrySandbox lives, every access of this
// process to HKEY_CLASSES_ROOT (ours, and oleaut32's when it registers or looks up a type
// library) lands in a fresh key under HKEY_CURRENT_USER, which is deleted afterwards. Nothing of
// the machine's own registry is read or changed.
#pragma once

#include <windows.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "shell/com_util.h"
#include "tests/support/text.h"

namespace zu::test {

class RegistrySandbox {
 public:
  RegistrySandbox();
  ~RegistrySandbox();
  RegistrySandbox(const RegistrySandbox&) = delete;
  RegistrySandbox& operator=(const RegistrySandbox&) = delete;

  bool Ok() const { return static_cast<bool>(root_); }
  HKEY Root() const { return root_.Get(); }

  // Under Wine the override does not cover an access that names a registry view, and
  // RegisterTypeLib writes its interfaces into the other view that way. Keys at `path` (below
  // HKEY_CLASSES_ROOT) that appear in either view while the sandbox lives are deleted with it.
  void RemoveEscapesAt(const std::wstring& path);

 private:
  struct Escape {
    std::wstring path;
    REGSAM view;
  };

  std::wstring path_;  // under HKEY_CURRENT_USER
  RegKey root_;
  std::vector<Escape> escapes_;  // absent when the sandbox was made
};

// Reads below `root`; "path\\to\\key" with values named, or the default value for an empty name.
bool KeyExists(HKEY root, const std::wstring& path);
std::optional<std::wstring> ReadString(HKEY root, const std::wstring& path,
                                       const std::wstring& value_name = L"");
std::vector<std::wstring> SubkeyNames(HKEY root, const std::wstring& path);
std::vector<std::wstring> ValueNames(HKEY root, const std::wstring& path);
void WriteString(HKEY root, const std::wstring& path, const std::wstring& value_name,
                 const std::wstring& data);

// Every key and value at and below `path`, one string each, "Key\\Sub" for a key and
// "Key\\Sub|Name=data" for a string value ("@" names the default value). Empty when the key is
// missing.
std::set<std::wstring> RegistryEntries(HKEY root, const std::wstring& path);
// What is in `actual` and not in `expected` ("+ ") and the other way round ("- "), one a line.
std::string EntryDifference(const std::set<std::wstring>& expected,
                            const std::set<std::wstring>& actual);

// Text for failure messages.
inline std::string Narrow(const std::wstring& text) { return Utf8(text); }

}  // namespace zu::test
