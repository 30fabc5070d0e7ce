#include "tests/shell/registry_sandbox.h"

#include <atomic>

namespace zu::test {

RegistrySandbox::RegistrySandbox() {
  static std::atomic<int> serial{0};
  path_ = L"Software\\ZuTests\\Sandbox-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
          std::to_wstring(++serial);
  RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
  if (RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      root_.Put(), nullptr) != ERROR_SUCCESS) {
    return;
  }
  if (RegOverridePredefKey(HKEY_CLASSES_ROOT, root_.Get()) != ERROR_SUCCESS) root_.Reset();
}

void RegistrySandbox::RemoveEscapesAt(const std::wstring& path) {
  for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
    RegKey key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ | view, key.Put()) !=
        ERROR_SUCCESS) {
      escapes_.push_back(Escape{path, view});
    }
  }
}

RegistrySandbox::~RegistrySandbox() {
  RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
  for (const Escape& escape : escapes_) {
    size_t cut = escape.path.find_last_of(L'\\');
    std::wstring parent_path = cut == std::wstring::npos ? L"" : escape.path.substr(0, cut);
    std::wstring name = cut == std::wstring::npos ? escape.path : escape.path.substr(cut + 1);
    RegKey parent;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, parent_path.c_str(), 0, KEY_ALL_ACCESS | escape.view,
                      parent.Put()) == ERROR_SUCCESS) {
      RegDeleteTreeW(parent.Get(), name.c_str());
      RegDeleteKeyExW(parent.Get(), name.c_str(), escape.view, 0);
    }
  }
  root_.Reset();
  RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
  RegDeleteKeyW(HKEY_CURRENT_USER, path_.c_str());
  RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\ZuTests");  // only when no other test uses it
}

bool KeyExists(HKEY root, const std::wstring& path) {
  RegKey key;
  return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
}

std::optional<std::wstring> ReadString(HKEY root, const std::wstring& path,
                                       const std::wstring& value_name) {
  RegKey key;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  DWORD type = 0;
  DWORD size = 0;
  const wchar_t* name = value_name.empty() ? nullptr : value_name.c_str();
  if (RegQueryValueExW(key.Get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return std::nullopt;
  }
  std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
  if (RegQueryValueExW(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]),
                       &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  data.resize(wcsnlen(data.c_str(), size / sizeof(wchar_t)));
  return data;
}

namespace {

// The names `enumerate(key, index, name, &length)` lists under root\path, in its order.
template <class Enumerate>
std::vector<std::wstring> EnumerateNames(HKEY root, const std::wstring& path, Enumerate enumerate) {
  std::vector<std::wstring> names;
  RegKey key;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return names;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD length = 256;
    if (enumerate(key.Get(), i, name, &length) != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  return names;
}

}  // namespace

std::vector<std::wstring> SubkeyNames(HKEY root, const std::wstring& path) {
  return EnumerateNames(root, path, [](HKEY key, DWORD i, wchar_t* name, DWORD* length) {
    return RegEnumKeyExW(key, i, name, length, nullptr, nullptr, nullptr, nullptr);
  });
}

std::vector<std::wstring> ValueNames(HKEY root, const std::wstring& path) {
  return EnumerateNames(root, path, [](HKEY key, DWORD i, wchar_t* name, DWORD* length) {
    return RegEnumValueW(key, i, name, length, nullptr, nullptr, nullptr, nullptr);
  });
}

void WriteString(HKEY root, const std::wstring& path, const std::wstring& value_name,
                 const std::wstring& data) {
  RegKey key;
  if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Put(),
                      nullptr) != ERROR_SUCCESS) {
    return;
  }
  RegSetValueExW(key.Get(), value_name.empty() ? nullptr : value_name.c_str(), 0, REG_SZ,
                 reinterpret_cast<const BYTE*>(data.c_str()),
                 static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
}

std::set<std::wstring> RegistryEntries(HKEY root, const std::wstring& path) {
  std::set<std::wstring> entries;
  if (!KeyExists(root, path)) return entries;
  entries.insert(path);
  for (const std::wstring& name : ValueNames(root, path)) {
    entries.insert(path + L"|" + (name.empty() ? L"@" : name) + L"=" +
                   ReadString(root, path, name).value_or(L"(not a string)"));
  }
  for (const std::wstring& subkey : SubkeyNames(root, path)) {
    std::set<std::wstring> below = RegistryEntries(root, path + L"\\" + subkey);
    entries.insert(below.begin(), below.end());
  }
  return entries;
}

std::string EntryDifference(const std::set<std::wstring>& expected,
                            const std::set<std::wstring>& actual) {
  std::string out;
  for (const std::wstring& entry : actual) {
    if (!expected.count(entry)) out += "+ " + Narrow(entry) + "\n";
  }
  for (const std::wstring& entry : expected) {
    if (!actual.count(entry)) out += "- " + Narrow(entry) + "\n";
  }
  return out;
}

}  // namespace zu::test
