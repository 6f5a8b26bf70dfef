#include "cli/TerminalText.h"

#include <cstdio>

namespace kaldrani::cli {

namespace {

// Length of the well-formed UTF-8 character at text[i] (lead byte >= 0x80), or 0.
size_t utf8Length(std::string_view text, size_t i)
{
    const auto b = [&](size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const unsigned char c = b(0);
    size_t n = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (n == 0 || i + n > text.size())
        return 0;
    for (size_t k = 1; k < n; ++k)
        if ((b(k) & 0xC0) != 0x80)
            return 0;
    // No overlongs, no surrogates, nothing above U+10FFFF.
    if ((c == 0xE0 && b(1) < 0xA0) || (c == 0xED && b(1) >= 0xA0) || (c == 0xF0 && b(1) < 0x90)
        || (c == 0xF4 && b(1) >= 0x90))
        return 0;
    return n;
}

void escape(std::string& out, const char* format, unsigned value)
{
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, format, value);
    out += buffer;
}

} // namespace

std::string terminalText(std::string_view text, bool keepLayout)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            const bool layout = c == '\t' || c == '\n' || c == '\r';
            if ((c < 0x20 && !(keepLayout && layout)) || c == 0x7F)
                escape(out, "\\x%02X", c);
            else
                out += static_cast<char>(c);
            ++i;
            continue;
        }
        const size_t n = utf8Length(text, i);
        if (n == 0) {
            escape(out, "\\x%02X", c);
            ++i;
        } else if (n == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
            escape(out, "\\u%04X", static_cast<unsigned char>(text[i + 1]));
            i += 2;
        } else {
            out.append(text, i, n);
            i += n;
        }
    }
    return out;
}

} // namespace kaldrani::cli
