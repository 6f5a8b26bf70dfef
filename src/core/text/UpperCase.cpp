#include "core/text/UpperCase.h"

#include "core/text/Ascii.h"
#include "core/text/Encoding.h"

#include <cwctype>
#include <locale.h>

namespace kaldrani::text {

namespace {

// Made once and never freed: a locale object is only read, from any thread.
locale_t unicodeLocale()
{
    static const locale_t locale = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return locale;
}

// The code point of a well-formed sequence of the given length.
char32_t codePoint(std::string_view sequence)
{
    constexpr unsigned char kLeadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    char32_t cp = static_cast<unsigned char>(sequence[0]) & kLeadBits[sequence.size()];
    for (std::size_t k = 1; k < sequence.size(); ++k)
        cp = (cp << 6) | (static_cast<unsigned char>(sequence[k]) & 0x3F);
    return cp;
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
        const std::size_t length = utf8SequenceLength(text.substr(i));
        if (length == 0) {
            out += text[i];
            ++i;
            continue;
        }
        const char32_t cp = codePoint(text.substr(i, length));
        appendUtf8(out, static_cast<char32_t>(::towupper_l(static_cast<wint_t>(cp), locale)));
        i += length;
    }
    return out;
}

} // namespace kaldrani::text
