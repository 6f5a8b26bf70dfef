#include "core/net/HttpAddress.h"

#include <gtest/gtest.h>

using namespace kaldrani::net;

TEST(HttpAddress, Split)
{
    struct Case {
        const char* name;
        const char* url;
        const char* scheme;
        const char* host;
        const char* portText;
        const char* path;
        const char* document;
        const char* query;
        const char* target;
        const char* hostHeader;
    };
    const Case cases[] = {
        {"scheme and host only", "http://H", "http", "H", "", "/", "", "", "/", "H"},
        {"port, document, query, fragment", "http://H:8080/a/b.html?x=1#top", "http", "H", "8080", "/a/", "b.html", "x=1",
         "/a/b.html?x=1", "H:8080"},
        {"fragment before the query", "http://H/a.html#top?x=1", "http", "H", "", "/", "a.html", "x=1", "/a.html?x=1", "H"},
        {"port 80 not in Host", "http://H:80/", "http", "H", "80", "/", "", "", "/", "H"},
        {"backslashes", "http:\\\\H\\a\\b.html", "http", "H", "", "/a/", "b.html", "", "/a/b.html", "H"},
        {"user information dropped", "http://u:p@w@H:81/x", "http", "H", "81", "/", "x", "", "/x", "H:81"},
        {"IPv6 literal", "http://[::1]:8080/x", "http", "::1", "8080", "/", "x", "", "/x", "[::1]:8080"},
        {"query kept as it stands", "http://H/s?wd=site:D&x=%E4 y", "http", "H", "", "/", "s", "wd=site:D&x=%E4 y",
         "/s?wd=site:D&x=%E4 y", "H"},
        {"slash inside the query", "http://H/a?b=/c/d", "http", "H", "", "/", "a", "b=/c/d", "/a?b=/c/d", "H"},
        {"trailing slash", "http://H/dir/", "http", "H", "", "/dir/", "", "", "/dir/", "H"},
        {"no scheme", "H/a", "", "H", "", "/", "a", "", "/a", "H"},
        {"empty query", "http://H/a?", "http", "H", "", "/", "a", "", "/a", "H"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const HttpAddress a = splitAddress(c.url);
        EXPECT_EQ(a.scheme, c.scheme);
        EXPECT_EQ(a.host, c.host);
        EXPECT_EQ(a.portText, c.portText);
        EXPECT_EQ(a.path, c.path);
        EXPECT_EQ(a.document, c.document);
        EXPECT_EQ(a.query, c.query);
        EXPECT_EQ(requestTarget(a), c.target);
        EXPECT_EQ(hostHeaderValue(a), c.hostHeader);
    }
}

TEST(HttpAddress, ResolveLocation)
{
    struct Case {
        const char* name;
        const char* current;
        const char* location;
        const char* expected;
    };
    const Case cases[] = {
        {"absolute kept as it stands", "http://H/a/b", "http://O:81/x/../y", "http://O:81/x/../y"},
        {"absolute path", "http://H:8080/a/b?q=1", "/c?d=2", "http://H:8080/c?d=2"},
        {"relative to the current path", "http://H/a/b/page", "next.html", "http://H/a/b/next.html"},
        {"dot dot", "http://H/a/b/page", "../c/./d.html", "http://H/a/c/d.html"},
        {"dot dot above the root", "http://H/a", "../../x", "http://H/x"},
        {"dots in an absolute path", "http://H/a/b", "/x/./y/../z", "http://H/x/z"},
        {"trailing dot dot", "http://H/a/b/c", "..", "http://H/a/"},
        {"fragment dropped", "http://H/", "/x#frag", "http://H/x"},
        {"empty value is the current folder", "http://H/a/b?q", "", "http://H/a/"},
        {"backslashes", "http://H/a/", "b\\c", "http://H/a/b/c"},
        {"backslashed absolute", "http://H/a/", "http:\\\\O\\x", "http://O/x"},
        {"user information not carried", "http://u@H/a", "b", "http://H/b"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(resolveLocation(splitAddress(c.current), c.location), c.expected);
    }
}

TEST(HttpAddress, RemoveDotSegments)
{
    struct Case {
        const char* name;
        const char* path;
        const char* expected;
    };
    const Case cases[] = {
        {"root", "/", "/"},
        {"nothing to remove", "/a/b", "/a/b"},
        {"rfc3986 example", "/a/b/c/./../../g", "/a/g"},
        {"dot at the end keeps the folder", "/a/.", "/a/"},
        {"dot dot at the root", "/..", "/"},
        {"empty segments kept", "/a//b/../c", "/a//c"},
        {"names with dots", "/a/..b/.c/", "/a/..b/.c/"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(removeDotSegments(c.path), c.expected);
    }
}
