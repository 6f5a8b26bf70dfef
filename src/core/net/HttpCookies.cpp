#include "core/net/HttpCookies.h"

#include "core/text/Ascii.h"
#include "core/text/CivilDays.h"
#include "core/text/Numbers.h"

#include <algorithm>
#include <array>
#include <limits>

namespace kaldrani::net {

namespace {

bool isDigits(std::string_view s)
{
    return s.size() <= 4 && text::isAllDigits(s);
}

int toInt(std::string_view s)
{
    return static_cast<int>(text::parseDecimal(s).value_or(0));
}
} // namespace

std::optional<std::time_t> parseHttpDate(std::string_view text)
{
    static constexpr std::array<std::string_view, 12> months = {"jan", "feb", "mar", "apr", "may", "jun",
                                                                "jul", "aug", "sep", "oct", "nov", "dec"};
    std::vector<std::string_view> tokens;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = std::min(text.find_first_of(" ,-\t", pos), text.size());
        if (end > pos)
            tokens.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    int day = -1, month = -1, year = -1, hour = -1, minute = -1, second = -1;
    for (const auto token : tokens) {
        if (token.size() == 8 && token[2] == ':' && token[5] == ':' && isDigits(token.substr(0, 2))
            && isDigits(token.substr(3, 2)) && isDigits(token.substr(6, 2))) {
            hour = toInt(token.substr(0, 2));
            minute = toInt(token.substr(3, 2));
            second = toInt(token.substr(6, 2));
        } else if (token.size() >= 3 && month < 0
                   && std::find(months.begin(), months.end(), text::asciiLower(token.substr(0, 3))) != months.end()) {
            const std::string prefix = text::asciiLower(token.substr(0, 3));
            month = static_cast<int>(std::find(months.begin(), months.end(), prefix) - months.begin()) + 1;
        } else if (isDigits(token)) {
            if (day < 0 && token.size() <= 2)
                day = toInt(token);
            else if (year < 0)
                year = toInt(token);
        }
    }
    if (day < 1 || day > 31 || month < 1 || year < 0 || hour < 0 || hour > 23 || minute > 59 || second > 60)
        return std::nullopt;
    if (year < 70)
        year += 2000;
    else if (year < 100)
        year += 1900;
    const std::int64_t seconds = text::daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400
        + hour * 3600 + minute * 60 + second;
    return static_cast<std::time_t>(seconds);
}

bool domainMatches(std::string_view host, std::string_view domain)
{
    if (domain.empty())
        return false;
    if (text::equalsIgnoreAsciiCase(host, domain))
        return true;
    return domain.front() == '.' && host.size() > domain.size()
        && text::equalsIgnoreAsciiCase(host.substr(host.size() - domain.size()), domain);
}

void CookieJar::setCookie(std::string_view headerValue, std::string_view host, std::time_t now)
{
    if (headerValue.size() > kMaxCookieBytes)
        return;
    HttpCookie cookie;
    cookie.domain = text::asciiLower(host);
    std::optional<std::time_t> expires;
    std::optional<std::time_t> maxAgeExpiry;

    size_t pos = 0;
    bool first = true;
    while (pos <= headerValue.size()) {
        const size_t semi = std::min(headerValue.find(';', pos), headerValue.size());
        const std::string_view item = text::trimView(headerValue.substr(pos, semi - pos));
        pos = semi + 1;
        const size_t eq = item.find('=');
        const std::string_view name = text::trimView(item.substr(0, eq));
        const std::string_view value = eq == std::string_view::npos ? std::string_view() : text::trimView(item.substr(eq + 1));
        if (first) {
            first = false;
            cookie.name = std::string(name);
            cookie.value = std::string(value);
            continue;
        }
        const std::string key = text::asciiLower(name);
        if (key == "path") {
            if (value.starts_with('/'))
                cookie.path = std::string(value);
        } else if (key == "domain") {
            if (!value.empty()) {
                std::string domain = text::asciiLower(value);
                // A bare domain other than the host itself means the host's whole
                // subtree, as servers that write "domain=example.com" intend.
                if (domain.front() != '.' && domain != cookie.domain)
                    domain = "." + domain;
                cookie.domain = domain;
            }
        } else if (key == "expires") {
            expires = parseHttpDate(value);
        } else if (key == "max-age") {
            const std::string_view digits = value.starts_with('-') ? value.substr(1) : value;
            if (text::isAllDigits(digits)) {
                const long long seconds = digits.size() > 12 ? 999999999999LL : static_cast<long long>(*text::parseDecimal(digits));
                maxAgeExpiry = value.starts_with('-') || seconds == 0 ? now - 1 : now + seconds;
            }
        } else if (key == "secure") {
            cookie.secure = true;
        }
    }
    if (cookie.name.empty() || !domainMatches(host, cookie.domain))
        return;
    cookie.expires = maxAgeExpiry ? maxAgeExpiry : expires;

    const auto same = std::find_if(m_cookies.begin(), m_cookies.end(), [&](const HttpCookie& c) {
        return c.name == cookie.name && c.domain == cookie.domain && c.path == cookie.path;
    });
    const bool expired = cookie.expires && *cookie.expires <= now;
    if (same != m_cookies.end()) {
        if (expired)
            m_cookies.erase(same);
        else
            *same = cookie;
    } else if (!expired) {
        const auto ofDomain = [&](const HttpCookie& c) { return c.domain == cookie.domain; };
        if (static_cast<size_t>(std::count_if(m_cookies.begin(), m_cookies.end(), ofDomain)) >= kMaxCookiesPerDomain)
            m_cookies.erase(std::find_if(m_cookies.begin(), m_cookies.end(), ofDomain));
        else if (m_cookies.size() >= kMaxCookies)
            m_cookies.erase(m_cookies.begin());
        m_cookies.push_back(std::move(cookie));
    }
}

std::string CookieJar::cookieHeader(std::string_view host, std::string_view path, std::time_t now, bool secureChannel)
{
    std::erase_if(m_cookies, [now](const HttpCookie& c) { return c.expires && *c.expires <= now; });
    std::string header;
    for (const auto& c : m_cookies) {
        if (!domainMatches(host, c.domain) || !path.starts_with(c.path) || c.value.empty() || (c.secure && !secureChannel))
            continue;
        const size_t separator = header.empty() ? 0 : 2;
        if (header.size() + separator + c.name.size() + 1 + c.value.size() > kMaxHeaderBytes)
            continue;
        if (separator != 0)
            header += "; ";
        header.append(c.name).append("=").append(c.value);
    }
    return header;
}

} // namespace kaldrani::net
