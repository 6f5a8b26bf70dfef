#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// Numbers in protocol and page text: ASCII digits only, no locale, no blanks.
namespace kaldrani::text {

// True for '0'..'9'.
constexpr bool isAsciiDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The value of a hexadecimal digit (either case), or -1 for any other byte.
int hexDigitValue(char c);

// True when the text is not empty and every byte is an ASCII digit.
bool isAllDigits(std::string_view text);

// The value of a text of ASCII digits only (no sign); nothing when it is empty, holds
// anything else, or exceeds max.
std::optional<std::uint64_t> parseDecimal(std::string_view digits, std::uint64_t max = UINT64_MAX);

// A port written with one to five ASCII digits, 0..65535; nothing otherwise.
std::optional<int> parsePort(std::string_view text);

// A decimal 32-bit integer with an optional sign and nothing else; nothing on overflow.
std::optional<int> parseInt32(std::string_view text);

} // namespace kaldrani::text
