#pragma once

#include <string>
#include <string_view>

// Protocol text (header names, schemes, host names) compares and folds ASCII letters only:
// locale-dependent case rules have no place in it.
namespace kaldrani::text {

// The text with ASCII letters upper-cased / lower-cased; other bytes are kept.
std::string asciiUpper(std::string_view text);
std::string asciiLower(std::string_view text);

// True when the texts are equal with ASCII letters folded to one case.
bool equalsIgnoreAsciiCase(std::string_view a, std::string_view b);

// The text without blanks and control characters (bytes <= 0x20) at either end.
std::string_view trimView(std::string_view text);
std::string trimControls(std::string_view text);

} // namespace kaldrani::text
