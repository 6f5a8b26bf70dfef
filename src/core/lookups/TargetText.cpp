#include "core/lookups/TargetText.h"

namespace kaldrani::lookups {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool isHex(char c)
{
    return isDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// True when the ASCII byte at text[i] may stand in a query as it is: unreserved,
// sub-delims, ":", "@", "/", "?", or the "%" of a percent-encoded octet.
bool mayStand(std::string_view text, size_t i)
{
    const char c = text[i];
    if (isDigit(c) || isLetter(c))
        return true;
    if (std::string_view("-._~!$&'()*+,;=:@/?").find(c) != std::string_view::npos)
        return true;
    return c == '%' && i + 2 < text.size() && isHex(text[i + 1]) && isHex(text[i + 2]);
}

} // namespace

std::string targetText(std::string_view typed)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(typed.size());
    for (size_t i = 0; i < typed.size(); ++i) {
        const auto c = static_cast<unsigned char>(typed[i]);
        // Bytes from 0x80 up are left to the request writer, which has always sent them.
        if (c >= 0x80 || mayStand(typed, i)) {
            out += static_cast<char>(c);
            continue;
        }
        out += '%';
        out += kHex[c >> 4];
        out += kHex[c & 0x0F];
    }
    return out;
}

} // namespace kaldrani::lookups
