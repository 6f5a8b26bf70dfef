#include "core/net/HttpResponseHead.h"

#include "core/text/Encoding.h"
#include "core/text/Numbers.h"
#include "core/text/Ascii.h"

#include <cstdint>
#include <limits>

namespace kaldrani::net {

int parseStatusCode(std::string_view statusLine)
{
    size_t pos = statusLine.find(' ');
    if (pos == std::string_view::npos)
        return -1;
    while (pos < statusLine.size() && statusLine[pos] == ' ')
        ++pos;
    const size_t end = std::min(statusLine.find(' ', pos), statusLine.size());
    const std::string_view word = statusLine.substr(pos, end - pos);
    if (word.empty() || word.size() > 9)
        return -1;
    const auto code = text::parseDecimal(word);
    return code ? static_cast<int>(*code) : -1;
}

void HttpHeaders::addLine(std::string_view line)
{
    if (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
        if (m_fields.empty())
            return;
        auto& value = m_fields.back().second;
        const std::string_view more = text::trimView(line);
        if (!more.empty()) {
            if (!value.empty())
                value += ' ';
            value += more;
        }
        return;
    }
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
        m_fields.emplace_back(std::string(text::trimView(line)), std::string());
        return;
    }
    m_fields.emplace_back(std::string(text::trimView(line.substr(0, colon))), std::string(text::trimView(line.substr(colon + 1))));
}

const std::string* HttpHeaders::find(std::string_view name) const
{
    for (const auto& [n, v] : m_fields)
        if (text::equalsIgnoreAsciiCase(n, name))
            return &v;
    return nullptr;
}

std::vector<std::string> HttpHeaders::findAll(std::string_view name) const
{
    std::vector<std::string> values;
    for (const auto& [n, v] : m_fields)
        if (text::equalsIgnoreAsciiCase(n, name))
            values.push_back(v);
    return values;
}

bool allowsKeepAlive(const HttpHeaders& headers)
{
    for (const char* name : {"Connection", "Proxy-Connection"}) {
        const std::string* value = headers.find(name);
        if (value != nullptr && text::equalsIgnoreAsciiCase(text::trimView(*value), "close"))
            return false;
    }
    return true;
}

bool isChunked(const HttpHeaders& headers)
{
    const std::string* value = headers.find("Transfer-Encoding");
    return value != nullptr && text::asciiLower(*value).find("chunked") != std::string::npos;
}

std::optional<std::int64_t> contentLength(const HttpHeaders& headers)
{
    const std::string* value = headers.find("Content-Length");
    if (value == nullptr)
        return std::nullopt;
    const std::string_view digits = text::trimView(*value);
    if (digits.empty())
        return std::nullopt;
    std::int64_t n = 0;
    constexpr auto max = std::numeric_limits<std::int64_t>::max();
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        n = n > (max - (c - '0')) / 10 ? max : n * 10 + (c - '0');
    }
    return n;
}

bool declaresUtf8(const HttpHeaders& headers)
{
    const std::string* value = headers.find("Content-Type");
    if (value == nullptr)
        return false;
    std::string_view rest = *value;
    while (!rest.empty()) {
        const size_t semi = rest.find(';');
        const std::string_view item = text::trimView(rest.substr(0, semi));
        rest = semi == std::string_view::npos ? std::string_view() : rest.substr(semi + 1);
        const size_t eq = item.find('=');
        if (eq == std::string_view::npos || !text::equalsIgnoreAsciiCase(text::trimView(item.substr(0, eq)), "charset"))
            continue;
        std::string_view charset = text::trimView(item.substr(eq + 1));
        if (charset.size() >= 2 && charset.front() == '"' && charset.back() == '"')
            charset = text::trimView(charset.substr(1, charset.size() - 2));
        return text::equalsIgnoreAsciiCase(charset, "UTF-8") || text::equalsIgnoreAsciiCase(charset, "UTF8");
    }
    return false;
}

std::uint64_t parseChunkSize(std::string_view line)
{
    const std::string_view digits = text::trimView(line.substr(0, line.find_first_of(" ;\t")));
    if (digits.empty())
        return 0;
    std::uint64_t size = 0;
    constexpr auto max = std::numeric_limits<std::uint64_t>::max();
    for (const char c : digits) {
        const int d = text::hexDigitValue(c);
        if (d < 0)
            return 0;
        size = size > (max >> 4) ? max : (size << 4) | static_cast<std::uint64_t>(d);
    }
    return size;
}

std::string decodeHeadLine(std::string_view bytes)
{
    return text::isValidUtf8(bytes) ? std::string(bytes) : text::latin1ToUtf8(bytes);
}

} // namespace kaldrani::net
