#include "core/text/DomainName.h"

#include "core/text/Ascii.h"
#include "core/text/Encoding.h"

#include <idn2.h>

#include <cstdlib>
#include <memory>

namespace kaldrani::text {

namespace {

struct FreeIdn2 {
    void operator()(char* p) const { idn2_free(p); }
};
using Idn2Text = std::unique_ptr<char, FreeIdn2>;

[[noreturn]] void invalid(const std::string& why)
{
    throw DomainNameError("域名无效：" + why);
}

// The domain in A-labels, as IDNA 2008 lookup makes it. idn2 checks each label's
// characters, the bidi and joiner rules, the label and name lengths.
std::string toAscii(const std::string& name)
{
    char* out = nullptr;
    const int rc = idn2_to_ascii_8z(name.c_str(), &out,
                                    IDN2_NFC_INPUT | IDN2_NONTRANSITIONAL | IDN2_USE_STD3_ASCII_RULES);
    const Idn2Text owned(out);
    if (rc != IDN2_OK)
        invalid(idn2_strerror(rc));
    return asciiLower(owned.get());
}

std::string toUnicode(const std::string& ascii)
{
    char* out = nullptr;
    const int rc = idn2_to_unicode_8z8z(ascii.c_str(), &out, 0);
    const Idn2Text owned(out);
    if (rc != IDN2_OK)
        invalid(idn2_strerror(rc));
    return owned.get();
}

} // namespace

DomainForms domainForms(std::string_view typed)
{
    std::string_view name = typed;
    while (!name.empty() && (name.front() == ' ' || name.front() == '\t'))
        name.remove_prefix(1);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t'))
        name.remove_suffix(1);
    if (!name.empty() && name.back() == '.')
        name.remove_suffix(1);
    if (name.empty())
        invalid("没有输入域名");
    if (!isValidUtf8(name))
        invalid("不是有效的 UTF-8 文字");
    // libidn2 2.3 silently drops some ASCII (a blank, "_") instead of refusing it.
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x80 && !((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.'))
            invalid("含有不允许的字符");
    }
    const std::string text = asciiLower(name);
    std::string ascii = toAscii(text);
    // An ideographic full stop typed as the separator is a dot by now.
    if (!ascii.empty() && ascii.back() == '.')
        ascii.pop_back();
    if (ascii.find('.') == std::string::npos || ascii.front() == '.' || ascii.find("..") != std::string::npos)
        invalid("至少需要两级，且各级不能为空");
    const std::string unicode = toUnicode(ascii);
    // An A-label that idn2 let through must still be the encoding of a valid U-label:
    // going round once more gives the same name back.
    if (toAscii(unicode) != ascii)
        invalid("A-label 与其 Unicode 形式不符");
    return {unicode, ascii};
}

} // namespace kaldrani::text
