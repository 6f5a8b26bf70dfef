#include "cli/TerminalText.h"

#include <algorithm>
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

enum class Layout { Escaped, Kept, Lines };

std::string render(std::string_view text, Layout layout)
{
    std::string out;
    out.reserve(text.size());
    // Whether the run of CRs now being read ends in an LF: looked up once per run, so a
    // page of nothing but CRs costs one pass.
    size_t crRunEnd = 0;
    bool crRunEndsLine = false;
    const auto crEndsLine = [&](size_t i) {
        if (i >= crRunEnd) {
            crRunEnd = std::min(text.find_first_not_of('\r', i), text.size());
            crRunEndsLine = crRunEnd < text.size() && text[crRunEnd] == '\n';
        }
        return crRunEndsLine;
    };
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            const bool kept = layout == Layout::Kept ? c == '\t' || c == '\n' || c == '\r'
                              : layout == Layout::Lines ? c == '\t' || c == '\n' || (c == '\r' && crEndsLine(i))
                                                        : false;
            if ((c < 0x20 && !kept) || c == 0x7F)
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

} // namespace

std::string terminalText(std::string_view text, bool keepLayout)
{
    return render(text, keepLayout ? Layout::Kept : Layout::Escaped);
}

std::string terminalLines(std::string_view text)
{
    return render(text, Layout::Lines);
}

} // namespace kaldrani::cli
