#include "core/net/HttpResponseHead.h"

#include <gtest/gtest.h>

#include <limits>

using namespace kaldrani::net;

TEST(HttpResponseHead, StatusCode)
{
    struct Case {
        const char* name;
        const char* line;
        int expected;
    };
    const Case cases[] = {
        {"plain", "HTTP/1.1 200 OK", 200},
        {"no reason", "HTTP/1.0 404", 404},
        {"reason with spaces", "HTTP/1.1 500 Internal Server Error", 500},
        {"two spaces", "HTTP/1.1  302 Found", 302},
        {"not a number", "HTTP/1.1 2x0 OK", -1},
        {"signed", "HTTP/1.1 +200 OK", -1},
        {"one word", "HTTP/1.1", -1},
        {"empty", "", -1},
        {"too long", "HTTP/1.1 99999999999 X", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(parseStatusCode(c.line), c.expected);
    }
}

TEST(HttpResponseHead, HeaderLines)
{
    HttpHeaders h;
    for (const char* line : {" orphan continuation", "Content-Type:  text/html ; charset=UTF-8 ", "X-Long: first",
                             "\tsecond", "  third  ", "set-cookie: a=1", "Set-Cookie:b=2", "NoColon", "Empty:"})
        h.addLine(line);
    EXPECT_EQ(h.size(), 6u);
    ASSERT_NE(h.find("content-type"), nullptr);
    EXPECT_EQ(*h.find("CONTENT-TYPE"), "text/html ; charset=UTF-8");
    EXPECT_EQ(*h.find("x-long"), "first second third");
    EXPECT_EQ(h.findAll("Set-Cookie"), (std::vector<std::string>{"a=1", "b=2"}));
    EXPECT_EQ(*h.find("nocolon"), "");
    EXPECT_EQ(*h.find("Empty"), "");
    EXPECT_EQ(h.find("Missing"), nullptr);
}

TEST(HttpResponseHead, BodyRules)
{
    struct Case {
        const char* name;
        std::vector<const char*> lines;
        bool keepAlive;
        bool chunked;
        std::optional<std::int64_t> length;
        bool utf8;
    };
    const Case cases[] = {
        {"bare", {}, true, false, std::nullopt, false},
        {"close", {"Connection:  Close "}, false, false, std::nullopt, false},
        {"proxy close", {"Proxy-Connection: close"}, false, false, std::nullopt, false},
        {"keep-alive", {"Connection: keep-alive"}, true, false, std::nullopt, false},
        {"chunked in a list", {"Transfer-Encoding: gzip, CHUNKED"}, true, true, std::nullopt, false},
        {"length", {"Content-Length: 42 "}, true, false, 42, false},
        {"length zero", {"Content-Length: 0"}, true, false, 0, false},
        {"length negative", {"Content-Length: -1"}, true, false, std::nullopt, false},
        {"length not a number", {"Content-Length: 4a"}, true, false, std::nullopt, false},
        {"length huge", {"Content-Length: 99999999999999999999999"}, true, false,
         std::numeric_limits<std::int64_t>::max(), false},
        {"utf-8", {"Content-Type: text/html; charset=utf-8"}, true, false, std::nullopt, true},
        {"UTF8 quoted", {"Content-Type: text/html; CHARSET=\"UTF8\""}, true, false, std::nullopt, true},
        {"gbk", {"Content-Type: text/html; charset=gbk"}, true, false, std::nullopt, false},
        {"utf-8 elsewhere", {"Content-Type: text/utf-8"}, true, false, std::nullopt, false},
        {"utf-16", {"Content-Type: text/html; charset=utf-16"}, true, false, std::nullopt, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HttpHeaders h;
        for (const char* line : c.lines)
            h.addLine(line);
        EXPECT_EQ(allowsKeepAlive(h), c.keepAlive);
        EXPECT_EQ(isChunked(h), c.chunked);
        EXPECT_EQ(contentLength(h), c.length);
        EXPECT_EQ(declaresUtf8(h), c.utf8);
    }
}

TEST(HttpResponseHead, ChunkSize)
{
    struct Case {
        const char* name;
        const char* line;
        std::uint64_t expected;
    };
    const Case cases[] = {
        {"hex", "1a", 26},
        {"upper case", "FF", 255},
        {"extension after a space", "10 name=value", 16},
        {"extension after ;", "10;name=value", 16},
        {"not hex", "zz", 0},
        {"partly hex", "1g", 0},
        {"empty", "", 0},
        {"huge saturates", "fffffffffffffffffffff", std::numeric_limits<std::uint64_t>::max()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(parseChunkSize(c.line), c.expected);
    }
}

TEST(HttpResponseHead, DecodeHeadLine)
{
    EXPECT_EQ(decodeHeadLine("HTTP/1.1 200 OK"), "HTTP/1.1 200 OK");
    EXPECT_EQ(decodeHeadLine("HTTP/1.1 200 成功"), "HTTP/1.1 200 成功");
    EXPECT_EQ(decodeHeadLine("X: \xb3\xc9"), "X: \xc2\xb3\xc3\x89");
}
