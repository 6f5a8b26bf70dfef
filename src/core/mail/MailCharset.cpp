#include "core/mail/MailCharset.h"

#include "core/text/Ascii.h"
#include "core/text/Encoding.h"

#include <iconv.h>

#include <cstdlib>

namespace kaldrani::mail {

namespace {

// The iconv name for a header charset name.
const char* iconvName(std::string_view charset)
{
    const std::string upper = text::asciiUpper(charset);
    if (upper == "GB2312")
        return "CP936";
    if (upper == "CSEUCKR")
        return "EUC-KR";
    return nullptr;
}

size_t sequenceLength(std::string_view s)
{
    const auto b0 = static_cast<unsigned char>(s[0]);
    if (b0 < 0x80)
        return 1;
    size_t len = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF)
        len = 2;
    else if (b0 >= 0xE0 && b0 <= 0xEF)
        len = 3;
    else if (b0 >= 0xF0 && b0 <= 0xF4)
        len = 4;
    if (len == 0 || s.size() < len)
        return 1;
    // Checking the whole candidate is simpler than restating the RFC 3629 table here.
    return text::isValidUtf8(s.substr(0, len)) ? len : 1;
}

} // namespace

bool operator==(const MailCharset& a, const MailCharset& b)
{
    return a.name == b.name && a.encoding == b.encoding;
}

MailCharset charsetForLocale(std::string_view locale)
{
    // language[_territory][.codeset][@modifier]
    const size_t end = locale.find_first_of(".@");
    const std::string_view tag = locale.substr(0, end);
    const size_t sep = tag.find_first_of("_-");
    const std::string language = text::asciiLower(tag.substr(0, sep));
    const std::string territory = sep == std::string_view::npos ? "" : text::asciiUpper(tag.substr(sep + 1));

    if (language == "zh") {
        if (territory.empty() || territory == "CN" || territory == "SG" || territory == "HANS")
            return {"GB2312", 'B'};
        return {"Big5", 'B'};
    }
    if (language == "ja")
        return {"ISO-2022-JP", 'B'};
    if (language == "ko")
        return {"csEUCKR", 'B'};
    if (language == "ru")
        return {"KOI8-R", 'B'};
    if (language == "uk")
        return {"windows-1251", 'B'};
    return {"ISO-8859-1", 'Q'};
}

std::string systemLocaleName()
{
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0')
            return value;
    }
    return "C";
}

MailCharset systemMailCharset()
{
    return charsetForLocale(systemLocaleName());
}

CharsetEncoder::CharsetEncoder(std::string_view charset)
{
    if (text::equalsIgnoreAsciiCase(charset, "UTF-8")) {
        m_identity = true;
        return;
    }
    const char* name = iconvName(charset);
    const std::string target = name != nullptr ? std::string(name) : std::string(charset);
    iconv_t cd = ::iconv_open(target.c_str(), "UTF-8");
    if (cd != reinterpret_cast<iconv_t>(-1))
        m_cd = cd;
}

CharsetEncoder::~CharsetEncoder()
{
    if (m_cd != nullptr)
        ::iconv_close(static_cast<iconv_t>(m_cd));
}

std::optional<std::string> CharsetEncoder::encode(std::string_view utf8)
{
    if (!text::isValidUtf8(utf8))
        return std::nullopt;
    if (m_identity)
        return std::string(utf8);
    if (m_cd == nullptr)
        return std::nullopt;
    const auto cd = static_cast<iconv_t>(m_cd);
    ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::string out;
    out.resize(utf8.size() * 4 + 16);
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    bool ok = ::iconv(cd, &in, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1);
    // A stateful charset (ISO-2022-JP) returns to its initial state at the end.
    ok = ok && ::iconv(cd, nullptr, nullptr, &outPtr, &outLeft) != static_cast<size_t>(-1);
    if (!ok)
        return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}

std::optional<std::string> encodeStrict(std::string_view utf8, std::string_view charset)
{
    return CharsetEncoder(charset).encode(utf8);
}

std::vector<std::string_view> utf8Characters(std::string_view utf8)
{
    std::vector<std::string_view> chars;
    chars.reserve(utf8.size());
    while (!utf8.empty()) {
        const size_t n = sequenceLength(utf8);
        chars.push_back(utf8.substr(0, n));
        utf8.remove_prefix(n);
    }
    return chars;
}

std::string lowBytes(std::string_view utf8)
{
    std::string out;
    for (const std::string_view c : utf8Characters(utf8)) {
        auto b = static_cast<unsigned char>(c[0]);
        char32_t cp = b;
        if (c.size() > 1) {
            cp = b & (0xFF >> (c.size() + 1));
            for (size_t i = 1; i < c.size(); ++i)
                cp = (cp << 6) | (static_cast<unsigned char>(c[i]) & 0x3F);
        }
        out += static_cast<char>(cp & 0xFF);
    }
    return out;
}

} // namespace kaldrani::mail
