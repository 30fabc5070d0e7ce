// Conversions between the ANSI code page, in which the capture functions and messages of the
// "A" family take their texts, and the wide texts of the window and dialog functions.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <string>

namespace zu::simcam {

inline std::wstring Widen(const char* text) {
  if (text == nullptr) return {};
  const int size = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  std::wstring out(size > 0 ? size - 1 : 0, L'\0');
  if (size > 1) MultiByteToWideChar(CP_ACP, 0, text, -1, &out[0], size);
  return out;
}

inline std::wstring Widen(const std::string& text) { return Widen(text.c_str()); }

inline std::string Narrow(const wchar_t* text) {
  if (text == nullptr) return {};
  const int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? size - 1 : 0, '\0');
  if (size > 1) WideCharToMultiByte(CP_ACP, 0, text, -1, &out[0], size, nullptr, nullptr);
  return out;
}

// Copies `text` into a caller's buffer of `size` characters, cut to fit and terminated; false
// without a buffer.
template <typename Char>
bool CopyToBuffer(const std::basic_string<Char>& text, Char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return false;
  const size_t n = std::min(text.size(), size - 1);
  std::copy(text.begin(), text.begin() + n, buffer);
  buffer[n] = 0;
  return true;
}

}  // namespace zu::simcam
