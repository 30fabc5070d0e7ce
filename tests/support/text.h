// Wide text for test messages and comparisons.
#pragma once

#include <string>
#include <string_view>

namespace zu::test {

// The text in UTF-8, as the tests' expectations are written.
std::string Utf8(std::wstring_view text);
// The text with every character outside ASCII shown as '?': for names that are ASCII by nature.
std::string Ascii(std::wstring_view text);

}  // namespace zu::test
