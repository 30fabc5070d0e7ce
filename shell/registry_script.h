// Registration scripts: the keys and values a class writes under HKEY_CLASSES_ROOT, as a small
// text format that the registrar parses and then applies or takes back.
//
// The format, one construct per line or several, whitespace free between tokens:
//
//   # a comment, to the end of the line
//   HKCR
//   {
//     key 'ZuVPlay.ZuVideoPlayCtl.1' = 'Pelmar/OCX Video Play Control'
//     {
//       key 'CLSID' = '{02F2F888-A9F0-4200-A07C-1998E9F3641F}'
//     }
//     keep key 'CLSID'
//     {
//       replace key '{02F2F888-A9F0-4200-A07C-1998E9F3641F}' = 'Pelmar/OCX Video Play Control'
//       {
//         key 'InprocServer32' = '%MODULE%'
//         {
//           value 'ThreadingModel' = 'Apartment'
//         }
//       }
//     }
//   }
//
//   script  := 'HKCR' '{' key* '}'
//   key     := flag* 'key' text ['=' text] ['{' (key | value)* '}']
//   value   := 'value' text '=' text
//   flag    := 'replace'   the key and its subtree are deleted before registration writes it
//                          (never for keys named CLSID or TypeLib)
//            | 'keep'      unregistration never deletes the key itself
//   text    := a single-quoted string on one line; '' stands for one quote
//
// Key names and data are stored as strings (REG_SZ); `key 'x' = 'y'` sets x's default value.
// Before parsing, the registrar replaces every %MODULE% with the module's path, its quotes
// doubled; nothing else is replaced. Script resources are UTF-8 (a UTF-8 byte order mark is
// allowed) or UTF-16LE with its byte order mark, so their text never depends on the ANSI code
// page.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace zu {

struct ScriptValue {
  std::wstring name;
  std::wstring data;
};

struct ScriptKey {
  std::wstring name;
  bool replace = false;
  bool keep = false;
  bool has_default = false;
  std::wstring default_value;
  std::vector<ScriptValue> values;
  std::vector<ScriptKey> subkeys;
};

struct RegistryScript {
  std::vector<ScriptKey> keys;  // under HKEY_CLASSES_ROOT
};

// The failure of a script that cannot be read or parsed.
constexpr HRESULT kScriptSyntaxError = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);

// Script bytes (UTF-8, or UTF-16LE with its mark) as text; kScriptSyntaxError for invalid UTF-8
// or an odd UTF-16 length.
HRESULT DecodeScriptText(const void* bytes, size_t size, std::wstring* text);

// `text` with every %MODULE% replaced by `module_path`, whose single quotes are doubled.
std::wstring ExpandModulePath(const std::wstring& text, const std::wstring& module_path);

// Parses `text`. On failure returns kScriptSyntaxError and, when `error` is given, says where
// ("line 4: expected '='").
HRESULT ParseRegistryScript(const std::wstring& text, RegistryScript* script,
                            std::wstring* error = nullptr);

// Registration: every replace-marked key (except CLSID and TypeLib) is deleted with its subtree,
// then every key is opened (full access, else read access) or created and its values written.
// Stops at the first key that cannot be opened or created, or value that cannot be written.
HRESULT ApplyRegistryScript(HKEY root, const RegistryScript& script);

// Unregistration: deletes the script's named values, then, depth first, each key that no longer
// has subkeys, unless it is keep-marked. Keys holding subkeys of others stay; missing keys and
// values are skipped. Never fails.
void RemoveRegistryScript(HKEY root, const RegistryScript& script);

}  // namespace zu
