#include "core/net/HttpRequest.h"

#include <gtest/gtest.h>

using namespace kaldrani::net;

TEST(HttpRequest, Block)
{
    struct Case {
        const char* name;
        HttpRequest request;
        std::string expected;
    };
    const std::string accept = "Accept: text/html, */*\r\nAccept-Encoding: identity\r\n";
    const Case cases[] = {
        {"all lines in order", {"/s?wd=x", "H:8080", "UA/1", "a=1; b=2", "1.1", {}},
         "GET /s?wd=x HTTP/1.1\r\nHost: H:8080\r\n" + accept + "User-Agent: UA/1\r\nCookie: a=1; b=2\r\n\r\n"},
        {"no agent, no cookie", {"/", "H", "", "", "1.1", {}}, "GET / HTTP/1.1\r\nHost: H\r\n" + accept + "\r\n"},
        {"non-ASCII and line breaks become ?", {"/\xe6\x89\xbe\r\nX: y", "H", "\xc3\xa9!", "", "1.1", {}},
         "GET /?\?\?X: y HTTP/1.1\r\nHost: H\r\n" + accept + "User-Agent: ?!\r\n\r\n"},
        // A profile's headers follow the client's own; Accept and Accept-Encoding replace them.
        {"extra headers", {"/", "H", "UA", "", "1.1", {{"accept-encoding", "gzip"}, {"Accept-Language", "zh-CN,zh;q=0.9"}, {"X-A", "b\r\nc"}}},
         "GET / HTTP/1.1\r\nHost: H\r\nAccept: text/html, */*\r\nUser-Agent: UA\r\naccept-encoding: gzip\r\n"
         "Accept-Language: zh-CN,zh;q=0.9\r\nX-A: b??c\r\n\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(writeRequest(c.request), c.expected);
    }
}

TEST(HttpRequest, ToRequestAscii)
{
    struct Case {
        const char* name;
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"ASCII kept", "a b\tc%20", "a b\tc%20"},
        {"one ? per character", "x\xe6\x89\xbe\xf0\x9f\x98\x80\xc3\xa9y", "x???y"},
        {"stray bytes one ? each", "\x80\xff\xe6\x89", "????"},
        {"NUL", std::string("a\0b", 3), "a?b"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(toRequestAscii(c.text), c.expected);
    }
}

TEST(HttpRequest, WrapsLongHeaderLines)
{
    struct Case {
        const char* name;
        std::string line;
        std::vector<std::string> expected;
    };
    const std::string words = "Cookie: " + std::string(1000, 'a') + "; " + std::string(30, 'b');
    const std::string commas = "X: " + std::string(1020, 'c') + "," + std::string(10, 'd');
    const Case cases[] = {
        {"1024 characters stay whole", "X: " + std::string(1021, 'v'), {"X: " + std::string(1021, 'v')}},
        {"broken after the last space", words,
         {"Cookie: " + std::string(1000, 'a') + "; ", " " + std::string(30, 'b')}},
        {"broken after a comma", commas, {"X: " + std::string(1020, 'c') + ",", " " + std::string(10, 'd')}},
        {"no place to break", "X: " + std::string(2000, 'n'), {"X: " + std::string(2000, 'n')}},
        {"first place after the limit", "X: " + std::string(1500, 'n') + " tail",
         {"X: " + std::string(1500, 'n') + " ", " tail"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto lines = wrapHeaderLine(c.line);
        EXPECT_EQ(lines, c.expected);
    }

    // Many breaks: every line within the limit, and the continuations join back to the value.
    std::string value;
    for (int i = 0; i < 500; ++i)
        value += 'k' + std::to_string(i) + "=v; ";
    const auto lines = wrapHeaderLine("Cookie: " + value);
    ASSERT_GT(lines.size(), 2u);
    std::string joined;
    for (const auto& line : lines) {
        EXPECT_LE(line.size(), 1024u);
        joined += line;
    }
    std::string spaced = "Cookie: " + value;
    // Each break adds exactly one space, at the start of a continuation.
    EXPECT_EQ(joined.size(), spaced.size() + lines.size() - 1);
}
