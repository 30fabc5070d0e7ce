#include "shell/registry_script.h"

#include <cwctype>
#include <utility>

#include "shell/com_util.h"

namespace zu {
namespace {

// ---------------------------------------------------------------- tokens

enum class TokenKind { kEnd, kWord, kText, kOpen, kClose, kEquals, kBad };

struct Token {
  TokenKind kind = TokenKind::kEnd;
  std::wstring text;
  int line = 1;
};

class Lexer {
 public:
  explicit Lexer(const std::wstring& text) : text_(text) {}

  Token Next() {
    SkipBlanks();
    Token token;
    token.line = line_;
    if (at_ >= text_.size()) return token;
    wchar_t c = text_[at_];
    if (c == L'{' || c == L'}' || c == L'=') {
      ++at_;
      token.kind = c == L'{' ? TokenKind::kOpen : c == L'}' ? TokenKind::kClose : TokenKind::kEquals;
      return token;
    }
    if (c == L'\'') return ReadText(token);
    if (std::iswalpha(c)) {
      while (at_ < text_.size() && std::iswalnum(text_[at_])) token.text += text_[at_++];
      token.kind = TokenKind::kWord;
      return token;
    }
    token.kind = TokenKind::kBad;
    token.text = L"unexpected character";
    return token;
  }

 private:
  void SkipBlanks() {
    while (at_ < text_.size()) {
      wchar_t c = text_[at_];
      if (c == L'\n') {
        ++line_;
        ++at_;
      } else if (c == L' ' || c == L'\t' || c == L'\r') {
        ++at_;
      } else if (c == L'#') {
        while (at_ < text_.size() && text_[at_] != L'\n') ++at_;
      } else {
        return;
      }
    }
  }

  Token ReadText(Token token) {
    ++at_;  // opening quote
    for (;;) {
      if (at_ >= text_.size() || text_[at_] == L'\n' || text_[at_] == L'\r') {
        token.kind = TokenKind::kBad;
        token.text = L"unterminated text";
        return token;
      }
      wchar_t c = text_[at_++];
      if (c != L'\'') {
        token.text += c;
      } else if (at_ < text_.size() && text_[at_] == L'\'') {
        token.text += c;
        ++at_;
      } else {
        token.kind = TokenKind::kText;
        return token;
      }
    }
  }

  const std::wstring& text_;
  size_t at_ = 0;
  int line_ = 1;
};

// ---------------------------------------------------------------- parser

class Parser {
 public:
  explicit Parser(const std::wstring& text) : lexer_(text) { Advance(); }

  bool ParseScript(RegistryScript* script) {
    if (!IsWord(L"HKCR")) return Fail(L"expected HKCR");
    Advance();
    if (!Expect(TokenKind::kOpen, L"expected '{'")) return false;
    while (token_.kind != TokenKind::kClose) {
      ScriptKey key;
      if (!ParseKey(&key)) return false;
      script->keys.push_back(std::move(key));
    }
    Advance();
    if (token_.kind != TokenKind::kEnd) return Fail(L"text after the end of the script");
    return true;
  }

  const std::wstring& Error() const { return error_; }

 private:
  static constexpr int kMaxDepth = 32;

  bool ParseKey(ScriptKey* key) {
    for (;;) {
      if (IsWord(L"replace")) {
        key->replace = true;
      } else if (IsWord(L"keep")) {
        key->keep = true;
      } else {
        break;
      }
      Advance();
    }
    if (!IsWord(L"key")) return Fail(L"expected key");
    Advance();
    if (!ExpectText(&key->name)) return false;
    if (key->name.empty()) return Fail(L"empty key name");
    if (token_.kind == TokenKind::kEquals) {
      Advance();
      if (!ExpectText(&key->default_value)) return false;
      key->has_default = true;
    }
    if (token_.kind != TokenKind::kOpen) return true;
    if (++depth_ > kMaxDepth) return Fail(L"keys nested too deep");
    Advance();
    while (token_.kind != TokenKind::kClose) {
      if (IsWord(L"value")) {
        Advance();
        ScriptValue value;
        if (!ExpectText(&value.name)) return false;
        if (value.name.empty()) return Fail(L"empty value name (use key 'x' = 'y')");
        if (!Expect(TokenKind::kEquals, L"expected '='")) return false;
        if (!ExpectText(&value.data)) return false;
        key->values.push_back(std::move(value));
      } else {
        ScriptKey subkey;
        if (!ParseKey(&subkey)) return false;
        key->subkeys.push_back(std::move(subkey));
      }
    }
    Advance();
    --depth_;
    return true;
  }

  bool IsWord(const wchar_t* word) const {
    return token_.kind == TokenKind::kWord && token_.text == word;
  }

  bool Expect(TokenKind kind, const wchar_t* message) {
    if (token_.kind != kind) return Fail(message);
    Advance();
    return true;
  }

  bool ExpectText(std::wstring* text) {
    if (token_.kind != TokenKind::kText) return Fail(L"expected a quoted text");
    *text = std::move(token_.text);
    Advance();
    return true;
  }

  void Advance() { token_ = lexer_.Next(); }

  bool Fail(const wchar_t* message) {
    if (error_.empty()) {
      error_ = L"line " + std::to_wstring(token_.line) + L": " +
               (token_.kind == TokenKind::kBad ? token_.text : std::wstring(message));
    }
    return false;
  }

  Lexer lexer_;
  Token token_;
  std::wstring error_;
  int depth_ = 0;
};

// ---------------------------------------------------------------- registry

bool IsProtectedName(const std::wstring& name) {
  return _wcsicmp(name.c_str(), L"CLSID") == 0 || _wcsicmp(name.c_str(), L"TypeLib") == 0;
}

LONG SetString(HKEY key, const wchar_t* name, const std::wstring& data) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                        static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
}

HRESULT ApplyKey(HKEY parent, const ScriptKey& key) {
  if (key.replace && !IsProtectedName(key.name)) {
    LONG deleted = RegDeleteTreeW(parent, key.name.c_str());
    if (deleted == ERROR_SUCCESS) RegDeleteKeyW(parent, key.name.c_str());
  }
  RegKey opened;
  if (RegOpenKeyExW(parent, key.name.c_str(), 0, KEY_ALL_ACCESS, opened.Put()) != ERROR_SUCCESS &&
      RegOpenKeyExW(parent, key.name.c_str(), 0, KEY_READ, opened.Put()) != ERROR_SUCCESS) {
    LONG created = RegCreateKeyExW(parent, key.name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                   nullptr, opened.Put(), nullptr);
    if (created != ERROR_SUCCESS) return FromWin32(created);
  }
  if (key.has_default) {
    LONG written = SetString(opened.Get(), nullptr, key.default_value);
    if (written != ERROR_SUCCESS) return FromWin32(written);
  }
  for (const ScriptValue& value : key.values) {
    LONG written = SetString(opened.Get(), value.name.c_str(), value.data);
    if (written != ERROR_SUCCESS) return FromWin32(written);
  }
  for (const ScriptKey& subkey : key.subkeys) ZU_RETURN_IF_FAILED(ApplyKey(opened.Get(), subkey));
  return S_OK;
}

void RemoveKey(HKEY parent, const ScriptKey& key) {
  RegKey opened;
  if (RegOpenKeyExW(parent, key.name.c_str(), 0, KEY_ALL_ACCESS, opened.Put()) != ERROR_SUCCESS) {
    return;
  }
  for (const ScriptValue& value : key.values) RegDeleteValueW(opened.Get(), value.name.c_str());
  for (const ScriptKey& subkey : key.subkeys) RemoveKey(opened.Get(), subkey);
  DWORD subkey_count = 0;
  LONG queried = RegQueryInfoKeyW(opened.Get(), nullptr, nullptr, nullptr, &subkey_count, nullptr,
                                  nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  opened.Reset();
  if (!key.keep && queried == ERROR_SUCCESS && subkey_count == 0) {
    RegDeleteKeyW(parent, key.name.c_str());
  }
}

}  // namespace

HRESULT DecodeScriptText(const void* bytes, size_t size, std::wstring* text) {
  text->clear();
  const auto* data = static_cast<const unsigned char*>(bytes);
  if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
    if (size % 2 != 0) return kScriptSyntaxError;
    for (size_t i = 2; i < size; i += 2) {
      text->push_back(static_cast<wchar_t>(data[i] | data[i + 1] << 8));
    }
    return S_OK;
  }
  if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
    data += 3;
    size -= 3;
  }
  if (size == 0) return S_OK;
  if (size > 0x7FFFFFFF) return kScriptSyntaxError;
  const auto* chars = reinterpret_cast<const char*>(data);
  int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, chars, static_cast<int>(size),
                                   nullptr, 0);
  if (length <= 0) return kScriptSyntaxError;
  text->resize(static_cast<size_t>(length));
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, chars, static_cast<int>(size), &(*text)[0],
                      length);
  // A resource may be padded with zero bytes; they end the text.
  size_t end = text->find(L'\0');
  if (end != std::wstring::npos) text->resize(end);
  return S_OK;
}

std::wstring ExpandModulePath(const std::wstring& text, const std::wstring& module_path) {
  static const std::wstring kMarker = L"%MODULE%";
  std::wstring quoted;
  for (wchar_t c : module_path) {
    quoted += c;
    if (c == L'\'') quoted += c;
  }
  std::wstring out;
  size_t from = 0;
  for (size_t at; (at = text.find(kMarker, from)) != std::wstring::npos; from = at + kMarker.size()) {
    out.append(text, from, at - from);
    out += quoted;
  }
  out.append(text, from, std::wstring::npos);
  return out;
}

HRESULT ParseRegistryScript(const std::wstring& text, RegistryScript* script,
                            std::wstring* error) {
  if (script == nullptr) return E_POINTER;
  script->keys.clear();
  return Guarded([&]() -> HRESULT {
    Parser parser(text);
    if (parser.ParseScript(script)) return S_OK;
    script->keys.clear();
    if (error) *error = parser.Error();
    return kScriptSyntaxError;
  });
}

HRESULT ApplyRegistryScript(HKEY root, const RegistryScript& script) {
  for (const ScriptKey& key : script.keys) ZU_RETURN_IF_FAILED(ApplyKey(root, key));
  return S_OK;
}

void RemoveRegistryScript(HKEY root, const RegistryScript& script) {
  for (const ScriptKey& key : script.keys) RemoveKey(root, key);
}

}  // namespace zu
