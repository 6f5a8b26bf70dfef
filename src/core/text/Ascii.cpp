#include "core/text/Ascii.h"

namespace kaldrani::text {

namespace {

char foldLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

std::string asciiUpper(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::string asciiLower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = foldLower(c);
    return out;
}

bool equalsIgnoreAsciiCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (foldLower(a[i]) != foldLower(b[i]))
            return false;
    return true;
}

std::string_view trimView(std::string_view text)
{
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= 0x20)
        text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= 0x20)
        text.remove_suffix(1);
    return text;
}

std::string trimControls(std::string_view text)
{
    return std::string(trimView(text));
}

} // namespace kaldrani::text
