#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The charset a message goes out in, chosen from the system language, and the
// conversions into it. Text inside the core is UTF-8.
namespace kaldrani::mail {

struct MailCharset {
    std::string name; // as written in headers: "GB2312", "ISO-8859-1", ...
    char encoding;    // header encoding: 'B' or 'Q'
};

bool operator==(const MailCharset& a, const MailCharset& b);

// The charset for a locale name such as "zh_CN.UTF-8" or "ru_RU": simplified Chinese
// (zh, zh_CN, zh_SG) gives GB2312 with B; any language not in the table ISO-8859-1 with Q.
MailCharset charsetForLocale(std::string_view locale);

// The system language: the first non-empty of LC_ALL, LC_MESSAGES and LANG, or "C".
std::string systemLocaleName();

// charsetForLocale(systemLocaleName()).
MailCharset systemMailCharset();

// Converts UTF-8 into one charset, many times over ("GB2312" goes out as code page 936
// bytes). Holds a converter, so it is not copyable.
class CharsetEncoder {
public:
    // A charset iconv does not know converts nothing (every encode gives nothing).
    explicit CharsetEncoder(std::string_view charset);
    ~CharsetEncoder();
    CharsetEncoder(const CharsetEncoder&) = delete;
    CharsetEncoder& operator=(const CharsetEncoder&) = delete;

    // The text as the charset's bytes, or nothing when some character cannot be carried
    // by it (or the text is not UTF-8).
    std::optional<std::string> encode(std::string_view utf8);

private:
    void* m_cd = nullptr; // iconv_t
    bool m_identity = false;
};

// CharsetEncoder(charset).encode(utf8).
std::optional<std::string> encodeStrict(std::string_view utf8, std::string_view charset);

// The text's characters, each as its UTF-8 bytes; a byte that starts no well-formed
// sequence is a character of its own.
std::vector<std::string_view> utf8Characters(std::string_view utf8);

// One byte per character, the character's low eight bits (what AUTH LOGIN encodes).
std::string lowBytes(std::string_view utf8);

} // namespace kaldrani::mail
