#include "core/text/Numbers.h"

#include <algorithm>
#include <climits>

namespace kaldrani::text {

int hexDigitValue(char c)
{
    if (isAsciiDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isAllDigits(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), isAsciiDigit);
}

std::optional<std::uint64_t> parseDecimal(std::string_view digits, std::uint64_t max)
{
    if (!isAllDigits(digits))
        return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : digits) {
        const auto d = static_cast<std::uint64_t>(c - '0');
        if (value > (max - d) / 10)
            return std::nullopt;
        value = value * 10 + d;
    }
    return value;
}

std::optional<int> parsePort(std::string_view text)
{
    if (text.size() > 5)
        return std::nullopt;
    const auto value = parseDecimal(text, 65535);
    return value ? std::optional<int>(static_cast<int>(*value)) : std::nullopt;
}

std::optional<int> parseInt32(std::string_view text)
{
    const bool negative = text.starts_with('-');
    if (negative || text.starts_with('+'))
        text.remove_prefix(1);
    const std::uint64_t limit = negative ? std::uint64_t(INT_MAX) + 1 : std::uint64_t(INT_MAX);
    const auto magnitude = parseDecimal(text, limit);
    if (!magnitude)
        return std::nullopt;
    return negative ? static_cast<int>(-static_cast<std::int64_t>(*magnitude)) : static_cast<int>(*magnitude);
}

} // namespace kaldrani::text
