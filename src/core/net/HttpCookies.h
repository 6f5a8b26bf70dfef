#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kaldrani::net {

// One stored cookie. expires is empty for a cookie that lasts as long as its client.
struct HttpCookie {
    std::string name;
    std::string value;
    std::string domain; // lower case; a leading "." matches every host below it
    std::string path = "/";
    std::optional<std::time_t> expires;
    bool secure = false;
};

// The cookies of one fetch: what Set-Cookie headers gave, and which go back on a request.
// A server may send any number of cookies, so the store keeps at most the usual floors
// of [rfc6265] 6.1 and gives the oldest up first.
class CookieJar {
public:
    static constexpr size_t kMaxCookieBytes = 4096;    // one Set-Cookie value, attributes included
    static constexpr size_t kMaxCookiesPerDomain = 50;
    static constexpr size_t kMaxCookies = 3000;
    static constexpr size_t kMaxHeaderBytes = 8192;    // the Cookie header value sent

    // Takes one Set-Cookie or Set-Cookie2 value received from host at time now: "name=value"
    // then attributes path, domain, expires, max-age and secure (names ignoring case).
    // A cookie whose domain does not match host is dropped, and so is a value longer than
    // kMaxCookieBytes; one that has already expired removes the stored cookie of the same
    // name, domain and path. A new cookie beyond kMaxCookiesPerDomain for its domain or
    // kMaxCookies in all pushes out the oldest of its domain, or the oldest of all.
    void setCookie(std::string_view headerValue, std::string_view host, std::time_t now);

    // The Cookie header value for a request to host and path at time now: the matching
    // cookies as "name=value" joined by "; ", or an empty text when none match. A cookie
    // that would make the value longer than kMaxHeaderBytes is left out, and so is one
    // marked Secure unless the request goes over TLS (secureChannel).
    std::string cookieHeader(std::string_view host, std::string_view path, std::time_t now, bool secureChannel = false);

    // The stored cookies, oldest first.
    const std::vector<HttpCookie>& cookies() const { return m_cookies; }

private:
    std::vector<HttpCookie> m_cookies;
};

// True when a cookie of that domain may be sent to host: equal ignoring case, or host ends
// with the domain when the domain begins with ".".
bool domainMatches(std::string_view host, std::string_view domain);

// An HTTP date in any of the three forms of [rfc7231] 7.1.1.1 (IMF-fixdate, RFC 850,
// asctime), also with "-" between day, month and year and two-digit years; nothing when
// it is not one.
std::optional<std::time_t> parseHttpDate(std::string_view text);

} // namespace kaldrani::net
