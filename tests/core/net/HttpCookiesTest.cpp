#include "core/net/HttpCookies.h"

#include <gtest/gtest.h>

using namespace kaldrani::net;

namespace {
// 2009-06-15 12:00:00 UTC
constexpr std::time_t kNow = 1245067200;
}

TEST(HttpCookies, ParseHttpDate)
{
    struct Case {
        const char* name;
        const char* text;
        std::optional<std::time_t> expected;
    };
    const Case cases[] = {
        {"IMF-fixdate", "Mon, 15 Jun 2009 12:00:00 GMT", kNow},
        {"RFC 850", "Monday, 15-Jun-09 12:00:00 GMT", kNow},
        {"asctime", "Mon Jun 15 12:00:00 2009", kNow},
        {"dashes and four-digit year", "Mon, 15-Jun-2009 12:00:01 GMT", kNow + 1},
        {"epoch", "Thu, 01 Jan 1970 00:00:00 GMT", 0},
        {"leap day", "Tue, 29 Feb 2000 00:00:00 GMT", 951782400},
        {"no time", "Mon, 15 Jun 2009", std::nullopt},
        {"garbage", "soon", std::nullopt},
        {"bad day", "Mon, 45 Jun 2009 12:00:00 GMT", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(parseHttpDate(c.text), c.expected);
    }
}

TEST(HttpCookies, SetAndMatch)
{
    struct Case {
        const char* name;
        std::vector<const char*> setCookies; // all received from www.example.com
        const char* host;
        const char* path;
        std::time_t at;
        const char* expected;
    };
    const Case cases[] = {
        {"name and value", {"sid=42"}, "www.example.com", "/x", kNow, "sid=42"},
        {"joined in order", {"a=1", "b=2; Path=/"}, "www.example.com", "/", kNow, "a=1; b=2"},
        {"host differs in case", {"a=1"}, "WWW.Example.com", "/", kNow, "a=1"},
        {"other host", {"a=1"}, "example.com", "/", kNow, ""},
        {"path prefix", {"a=1; path=/app", "b=2; path=/other"}, "www.example.com", "/app/page", kNow, "a=1"},
        {"leading-dot domain covers subdomains", {"a=1; domain=.example.com"}, "img.example.com", "/", kNow, "a=1"},
        {"bare parent domain covers subdomains", {"a=1; Domain=example.com"}, "img.example.com", "/", kNow, "a=1"},
        {"foreign domain dropped", {"a=1; domain=.evil.com", "b=2; domain=ample.com"}, "www.example.com", "/", kNow, ""},
        {"empty value never sent", {"a="}, "www.example.com", "/", kNow, ""},
        {"secure never sent", {"a=1; Secure"}, "www.example.com", "/", kNow, ""},
        {"replaced by a later value", {"a=1", "b=2", "a=3"}, "www.example.com", "/", kNow, "a=3; b=2"},
        {"deleted by max-age 0", {"a=1", "b=2", "a=x; max-age=0"}, "www.example.com", "/", kNow, "b=2"},
        {"deleted by a past expiry", {"a=1", "a=x; expires=Thu, 01 Jan 1970 00:00:00 GMT"}, "www.example.com", "/", kNow,
         ""},
        {"max-age runs out", {"a=1; max-age=60"}, "www.example.com", "/", kNow + 61, ""},
        {"max-age still running", {"a=1; max-age=60"}, "www.example.com", "/", kNow + 59, "a=1"},
        {"max-age wins over expires", {"a=1; expires=Thu, 01 Jan 1970 00:00:00 GMT; Max-Age=100"}, "www.example.com", "/",
         kNow, "a=1"},
        {"expires in the future", {"a=1; expires=Mon, 15 Jun 2009 13:00:00 GMT"}, "www.example.com", "/", kNow + 100,
         "a=1"},
        {"expires passes", {"a=1; expires=Mon, 15 Jun 2009 13:00:00 GMT"}, "www.example.com", "/", kNow + 3601, ""},
        {"bad expiry ignored", {"a=1; expires=never"}, "www.example.com", "/", kNow, "a=1"},
        {"same name, other path kept apart", {"a=1; path=/", "a=2; path=/x"}, "www.example.com", "/x", kNow, "a=1; a=2"},
        {"no name dropped", {"=1", ""}, "www.example.com", "/", kNow, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CookieJar jar;
        for (const char* value : c.setCookies)
            jar.setCookie(value, "www.example.com", kNow);
        EXPECT_EQ(jar.cookieHeader(c.host, c.path, c.at), c.expected);
    }
}

TEST(HttpCookies, ASecureCookieGoesOnlyOverTls)
{
    CookieJar jar;
    const std::time_t now = 1700000000;
    jar.setCookie("s=1; Secure", "a.example", now);
    jar.setCookie("p=2", "a.example", now);
    EXPECT_EQ(jar.cookieHeader("a.example", "/", now, false), "p=2");
    EXPECT_EQ(jar.cookieHeader("a.example", "/", now, true), "s=1; p=2");
}
