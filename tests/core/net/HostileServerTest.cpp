// Answers no honest server sends, each of which once hung a fetch or made it take
// gigabytes: every one must now end within its bound.
#include "FetchFixture.h"
#include "ScriptedServer.h"

#include "core/net/HttpClient.h"
#include "core/net/HttpCookies.h"
#include "core/net/HttpRequest.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

using kaldrani::testing::okAnswer;

using namespace kaldrani::net;
using kaldrani::testing::Reply;
using kaldrani::testing::reply;
using kaldrani::testing::ScriptedServer;
using Then = Reply::Then;
using Clock = std::chrono::steady_clock;

namespace {

long long msSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

FetchSettings oneSecond()
{
    FetchSettings s;
    s.readTimeout = 1000;
    return s;
}

// A redirect to /step<n+1> carrying count new cookies of size bytes each.
std::string cookieRedirect(int n, int count, size_t size)
{
    std::string head = "HTTP/1.1 302 Found\r\nLocation: /step" + std::to_string(n + 1) + "\r\n";
    for (int i = 0; i < count; ++i) {
        const std::string name = "c" + std::to_string(n) + "_" + std::to_string(i);
        head += "Set-Cookie: " + name + "=" + std::string(size - name.size() - 1, 'v') + "; path=/\r\n";
    }
    return head + "Content-Length: 0\r\n\r\n";
}

} // namespace

// Each step used to add megabytes to the Cookie header, and wrapping it cost quadratic
// time: fifteen steps took minutes of computing that no read time-out could stop.
TEST(HostileServer, CookieFloodAcrossRedirectsStaysSmallAndFast)
{
    struct Case {
        const char* name;
        size_t cookieBytes;
    };
    for (const Case c : {Case{"16 KB cookies", 16000}, Case{"cookies just under the per-cookie bound", 4000}}) {
        SCOPED_TRACE(c.name);
        int step = 0;
        ScriptedServer server(
            [&](const std::string&) -> std::optional<Reply> { return reply(cookieRedirect(step++, 250, c.cookieBytes), Then::KeepOpen); },
            0);
        const auto start = Clock::now();
        FetchSettings follow;
        follow.follow = true;
        const FetchOutcome got = fetchStream(server.url("/step0"), follow);
        EXPECT_LT(msSince(start), 15000);
        EXPECT_TRUE(got.ok) << got.error;
        EXPECT_EQ(got.body, "");
        const auto requests = server.requests();
        ASSERT_EQ(requests.size(), 15u);
        for (const auto& r : requests)
            EXPECT_LE(r.size(), CookieJar::kMaxHeaderBytes + 1024) << r.substr(0, 200);
        // Cookies that fit are still sent back.
        if (c.cookieBytes == 4000) {
            EXPECT_NE(requests[1].find("Cookie: c0_"), std::string::npos);
        }
    }
}

TEST(HostileServer, CookieStoreKeepsTheNewestWithinItsBounds)
{
    CookieJar jar;
    for (int i = 0; i < 60; ++i)
        jar.setCookie('a' + std::to_string(i) + "=1", "one.example", 0);
    EXPECT_EQ(jar.cookies().size(), CookieJar::kMaxCookiesPerDomain);
    EXPECT_EQ(jar.cookies().front().name, "a10");
    EXPECT_EQ(jar.cookies().back().name, "a59");

    for (int d = 0; d < 70; ++d)
        for (int i = 0; i < 50; ++i)
            jar.setCookie('b' + std::to_string(i) + "=1", 'h' + std::to_string(d) + ".example", 0);
    EXPECT_EQ(jar.cookies().size(), CookieJar::kMaxCookies);
    EXPECT_EQ(jar.cookies().back().domain, "h69.example");

    jar.setCookie("big=" + std::string(CookieJar::kMaxCookieBytes, 'x'), "h69.example", 0);
    EXPECT_EQ(jar.cookies().back().name, "b49");

    // A value over the header bound is left out; the others still go.
    CookieJar some;
    some.setCookie("first=1", "h.example", 0);
    for (int i = 0; i < 5; ++i)
        some.setCookie("k" + std::to_string(i) + "=" + std::string(3000, 'v'), "h.example", 0);
    some.setCookie("last=2", "h.example", 0);
    const std::string header = some.cookieHeader("h.example", "/", 0);
    EXPECT_LE(header.size(), CookieJar::kMaxHeaderBytes);
    EXPECT_TRUE(header.starts_with("first=1; k0="));
    EXPECT_TRUE(header.ends_with("; last=2"));
}

TEST(HostileServer, WrappingALongHeaderTakesLinearTime)
{
    std::string value;
    for (int i = 0; i < 200000; ++i)
        value += 'n' + std::to_string(i) + "=v; ";
    const auto start = Clock::now();
    const auto lines = wrapHeaderLine("Cookie: " + value);
    EXPECT_LT(msSince(start), 2000);
    std::string joined;
    for (const auto& l : lines) {
        EXPECT_LE(l.size(), 1024u);
        joined += l;
    }
    // Each continuation adds one leading blank and loses nothing.
    EXPECT_EQ(joined.size(), ("Cookie: " + value).size() + lines.size() - 1);
}

// An endless run of interim answers (each with cookies) once grew without end.
TEST(HostileServer, InterimAnswersAreBounded)
{
    const std::string interim = "HTTP/1.1 100 Continue\r\nSet-Cookie: x" + std::string(3000, 'y') + "=1\r\n\r\n";
    std::string eight;
    for (int i = 0; i < 8; ++i)
        eight += interim;
    {
        ScriptedServer server({reply(eight + okAnswer("real"))});
        const FetchOutcome got = fetchStream(server.url(), {});
        EXPECT_TRUE(got.ok) << got.error;
        EXPECT_EQ(got.body, "real");
    }
    Reply endless;
    for (int i = 0; i < 2000; ++i)
        endless.pieces.push_back(interim);
    endless.then = Then::Stall;
    ScriptedServer server({endless}, 0);
    const auto start = Clock::now();
    const FetchOutcome got = fetchStream(server.url(), oneSecond());
    EXPECT_LT(msSince(start), 5000);
    EXPECT_FALSE(got.ok);
    EXPECT_EQ(got.error, "Too many interim responses.");
}

// Trailer lines that keep coming once held the fetch for ever.
TEST(HostileServer, ChunkedTrailerIsBounded)
{
    const std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n";
    {
        std::string trailer;
        for (int i = 0; i < 200; ++i)
            trailer += "X-T" + std::to_string(i) + ": 1\r\n";
        ScriptedServer server({reply(head + trailer + "\r\n")});
        const FetchOutcome got = fetchStream(server.url(), {});
        EXPECT_TRUE(got.ok) << got.error;
        EXPECT_EQ(got.body, "abc");
    }
    Reply endless;
    endless.pieces.push_back(head);
    for (int i = 0; i < 1000; ++i)
        endless.pieces.push_back("X-T: " + std::to_string(i) + "\r\n");
    endless.then = Then::Stall;
    ScriptedServer server({endless}, 2);
    const auto start = Clock::now();
    const FetchOutcome got = fetchStream(server.url(), oneSecond());
    EXPECT_LT(msSince(start), 10000);
    EXPECT_FALSE(got.ok);
    EXPECT_EQ(got.error, "Too many header lines.");
}

// Every single wait stays short, so only the whole-fetch bound can end these.
TEST(HostileServer, FetchTimeoutEndsWhatReadTimeoutCannot)
{
    const auto drip = [](std::string head, const std::string& each, int count) {
        Reply r;
        r.pieces.push_back(std::move(head));
        for (int i = 0; i < count; ++i)
            r.pieces.push_back(each);
        r.then = Then::Stall;
        return r;
    };
    struct Case {
        const char* name;
        Reply answer;
        std::optional<int> readTimeout;
    };
    const std::vector<Case> cases = {
        {"body a byte at a time", drip("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n", "x", 100000), 1000},
        {"header lines for ever", drip("HTTP/1.1 200 OK\r\n", "X-A: 1\r\n", 100000), 1000},
        {"chunks for ever", drip("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", "1\r\nx\r\n", 100000), 1000},
        {"silence without a read time-out", drip("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n", "", 0), std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server({c.answer}, 20);
        THttpClient client;
        client.ReadTimeout = c.readTimeout;
        client.FetchTimeout = 1500;
        const auto start = Clock::now();
        const FetchOutcome got = capture([&] {
            std::string buffer;
            client.FetchPage(server.url(), buffer);
            return buffer;
        });
        const auto took = msSince(start);
        EXPECT_GE(took, 1400);
        EXPECT_LT(took, 4000);
        EXPECT_FALSE(got.ok);
        EXPECT_EQ(got.error, "Fetch deadline exceeded.");
    }
}

TEST(HostileServer, EndlessRedirectsWithBodiesStopAtTheDeadline)
{
    int step = 0;
    ScriptedServer server(
        [&](const std::string&) -> std::optional<Reply> {
            Reply r;
            r.pieces = {"HTTP/1.1 302 Found\r\nLocation: /s" + std::to_string(++step) + "\r\nContent-Length: 50\r\n\r\n",
                        std::string(50, 'b')};
            r.then = Then::KeepOpen;
            return r;
        },
        400);
    THttpClient client;
    client.HandleRedirects = true;
    client.ReadTimeout = 1000;
    client.FetchTimeout = 1000;
    const auto start = Clock::now();
    const FetchOutcome got = capture([&] { return client.FetchPage(server.url()); });
    EXPECT_LT(msSince(start), 3000);
    EXPECT_EQ(got.error, "Fetch deadline exceeded.");
}

// The error body is kept as bytes and decoded only when someone asks for it.
TEST(HostileServer, StatusErrorDecodesItsBodyOnDemand)
{
    const HttpStatusError latin(404, "HTTP/1.1 404 Not Found", "caf\xE9", false);
    EXPECT_EQ(latin.body(), "caf\xC3\xA9");
    EXPECT_EQ(latin.body(), "caf\xC3\xA9");
    const HttpStatusError utf8(404, "HTTP/1.1 404 Not Found", "\xE4\xB8\xAD\xFF", true);
    EXPECT_EQ(utf8.body(), "\xE4\xB8\xAD\xEF\xBF\xBD");
}
