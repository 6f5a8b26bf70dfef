#include "core/queries/QueryTerm.h"

#include "core/text/Encoding.h"

namespace kaldrani::queries {

namespace {

bool copiedAsIs(unsigned char c)
{
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
        return true;
    switch (c) {
    case '!': case '$': case '\'': case '(': case ')': case '*': case '-': case '.': case '@': case '_':
        return true;
    default:
        return false;
    }
}

} // namespace

std::string termBytes(TermBytes kind, std::string_view keyword)
{
    return kind == TermBytes::Gbk ? text::utf8ToGbk(keyword) : std::string(keyword);
}

std::string EncodeQueryTerm(std::string_view bytes)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == 0)
            break;
        if (copiedAsIs(c)) {
            out += ch;
        } else if (c == ' ') {
            out += '+';
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

} // namespace kaldrani::queries
