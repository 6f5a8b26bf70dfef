#include "core/text/Encoding.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>

namespace kaldrani::text {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD"; // U+FFFD

void appendUtf8(std::string& out, char32_t cp)
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

// One converter per direction and thread, opened on first use; iconv_open is not cheap
// and every page and record goes through here.
class Converter {
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from))
    {
        if (m_cd == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv cannot convert from ") + from + " to " + to);
    }
    ~Converter() { iconv_close(m_cd); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts all of in; onInvalid(rest, out) handles an unconvertible spot and returns
    // how many input bytes it consumed (at least one).
    template <typename OnInvalid>
    std::string convert(std::string_view in, OnInvalid onInvalid)
    {
        std::string out;
        out.reserve(in.size() * 3 / 2 + 16);
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char buf[16384];
        size_t pos = 0;
        while (pos < in.size()) {
            char* src = const_cast<char*>(in.data() + pos);
            size_t srcLeft = in.size() - pos;
            char* dst = buf;
            size_t dstLeft = sizeof buf;
            const size_t rc = iconv(m_cd, &src, &srcLeft, &dst, &dstLeft);
            const int err = errno;
            out.append(buf, static_cast<size_t>(dst - buf));
            pos = in.size() - srcLeft;
            if (rc != static_cast<size_t>(-1))
                continue;
            if (err == E2BIG)
                continue;
            pos += onInvalid(in.substr(pos), out);
            iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        }
        return out;
    }

private:
    iconv_t m_cd;
};

Converter& toGbk()
{
    thread_local Converter c("GBK", "UTF-8");
    return c;
}

Converter& fromGbk()
{
    thread_local Converter c("UTF-8", "GBK");
    return c;
}

} // namespace

std::string utf8ToGbk(std::string_view text)
{
    return toGbk().convert(text, [](std::string_view rest, std::string& out) {
        out += '?';
        const size_t len = utf8SequenceLength(rest);
        return len == 0 ? size_t{1} : len;
    });
}

std::string gbkToUtf8(std::string_view bytes)
{
    return fromGbk().convert(bytes, [](std::string_view, std::string& out) {
        out += kReplacement;
        return size_t{1};
    });
}

std::string latin1ToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (const char c : bytes)
        appendUtf8(out, static_cast<unsigned char>(c));
    return out;
}

bool isValidUtf8(std::string_view bytes)
{
    for (size_t i = 0; i < bytes.size();) {
        if (static_cast<unsigned char>(bytes[i]) < 0x80) {
            ++i;
            continue;
        }
        const size_t len = utf8SequenceLength(bytes.substr(i));
        if (len == 0)
            return false;
        i += len;
    }
    return true;
}

std::string sanitizeUtf8(std::string_view bytes)
{
    if (isValidUtf8(bytes))
        return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() + 16);
    for (size_t i = 0; i < bytes.size();) {
        const size_t len = utf8SequenceLength(bytes.substr(i));
        if (len == 0) {
            out += kReplacement;
            ++i;
        } else {
            out.append(bytes.substr(i, len));
            i += len;
        }
    }
    return out;
}

size_t utf8SequenceLength(std::string_view s)
{
    if (s.empty())
        return 0;
    const auto b0 = static_cast<unsigned char>(s[0]);
    if (b0 < 0x80)
        return 1;
    size_t len;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        if (b0 == 0xE0)
            lo = 0xA0;
        else if (b0 == 0xED)
            hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        if (b0 == 0xF0)
            lo = 0x90;
        else if (b0 == 0xF4)
            hi = 0x8F;
    } else {
        return 0;
    }
    if (s.size() < len)
        return 0;
    const auto b1 = static_cast<unsigned char>(s[1]);
    if (b1 < lo || b1 > hi)
        return 0;
    for (size_t i = 2; i < len; ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80 || b > 0xBF)
            return 0;
    }
    return len;
}

namespace {

void appendUtf16(std::string& out, char16_t unit, bool bigEndian)
{
    const char hi = static_cast<char>(unit >> 8), lo = static_cast<char>(unit & 0xFF);
    out += bigEndian ? hi : lo;
    out += bigEndian ? lo : hi;
}

} // namespace

std::string utf8ToUtf16(std::string_view text, bool bigEndian)
{
    std::string out;
    out.reserve(text.size() * 2);
    for (size_t i = 0; i < text.size();) {
        const size_t len = utf8SequenceLength(text.substr(i));
        if (len == 0) {
            appendUtf16(out, 0xFFFD, bigEndian);
            ++i;
            continue;
        }
        const auto b0 = static_cast<unsigned char>(text[i]);
        char32_t cp = len == 1 ? b0 : len == 2 ? (b0 & 0x1F) : len == 3 ? (b0 & 0x0F) : (b0 & 0x07);
        for (size_t k = 1; k < len; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            appendUtf16(out, static_cast<char16_t>(0xD800 + (cp >> 10)), bigEndian);
            appendUtf16(out, static_cast<char16_t>(0xDC00 + (cp & 0x3FF)), bigEndian);
        } else {
            appendUtf16(out, static_cast<char16_t>(cp), bigEndian);
        }
    }
    return out;
}

std::string utf16ToUtf8(std::string_view bytes, bool bigEndian)
{
    std::string out;
    out.reserve(bytes.size());
    auto unit = [&](size_t i) -> char16_t {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        return bigEndian ? static_cast<char16_t>((a << 8) | b) : static_cast<char16_t>((b << 8) | a);
    };
    size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        const char16_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 3 < bytes.size()) {
                const char16_t v = unit(i + 2);
                if (v >= 0xDC00 && v <= 0xDFFF) {
                    appendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(v) - 0xDC00));
                    i += 2;
                    continue;
                }
            }
            out += kReplacement;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            out += kReplacement;
        } else {
            appendUtf8(out, u);
        }
    }
    if (i < bytes.size())
        out += kReplacement;
    return out;
}

ByteOrderMark detectByteOrderMark(std::string_view bytes)
{
    if (bytes.starts_with("\xEF\xBB\xBF"))
        return ByteOrderMark::Utf8;
    if (bytes.starts_with("\xFF\xFE"))
        return ByteOrderMark::Utf16LE;
    if (bytes.starts_with("\xFE\xFF"))
        return ByteOrderMark::Utf16BE;
    return ByteOrderMark::None;
}

std::string decodeFileText(std::string_view bytes)
{
    switch (detectByteOrderMark(bytes)) {
    case ByteOrderMark::Utf8:
        return sanitizeUtf8(bytes.substr(3));
    case ByteOrderMark::Utf16LE:
        return utf16ToUtf8(bytes.substr(2), false);
    case ByteOrderMark::Utf16BE:
        return utf16ToUtf8(bytes.substr(2), true);
    case ByteOrderMark::None:
        break;
    }
    return gbkToUtf8(bytes);
}

} // namespace kaldrani::text
