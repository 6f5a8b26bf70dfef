#include "core/text/UpperCase.h"

#include "core/text/Ascii.h"

#include <clocale>
#include <cwctype>
#include <locale.h>

namespace kaldrani::text {

namespace {

// Created once and never freed: a locale object is immutable and thread-safe to read.
locale_t unicodeLocale()
{
    static const locale_t locale = [] {
        locale_t l = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
        return l;
    }();
    return locale;
}

// Decodes one well-formed UTF-8 character at text[i]; its length, or 0 when malformed.
std::size_t decode(std::string_view text, std::size_t i, char32_t& cp)
{
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const unsigned char c = b(0);
    std::size_t length = 0;
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((b(k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b(k) & 0x3F);
    }
    const char32_t minimum = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return length;
}

void encode(char32_t cp, std::string& out)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace

std::string upperCase(std::string_view text)
{
    const locale_t locale = unicodeLocale();
    if (locale == static_cast<locale_t>(nullptr))
        return asciiUpper(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : static_cast<char>(c);
            ++i;
            continue;
        }
        char32_t cp = 0;
        const std::size_t length = decode(text, i, cp);
        if (length == 0) {
            out += text[i];
            ++i;
            continue;
        }
        const auto upper = static_cast<char32_t>(::towupper_l(static_cast<wint_t>(cp), locale));
        encode(upper == 0 ? cp : upper, out);
        i += length;
    }
    return out;
}

} // namespace kaldrani::text
