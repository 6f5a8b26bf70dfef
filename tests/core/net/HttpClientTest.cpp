#include "FetchFixture.h"
#include "ScriptedServer.h"
#include "SilentHost.h"

#include "core/net/ConnectTo.h"
#include "core/net/HttpClient.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using kaldrani::testing::okAnswer;

using namespace kaldrani::net;
using kaldrani::testing::Reply;
using kaldrani::testing::reply;
using kaldrani::testing::ScriptedServer;
using Then = Reply::Then;

namespace {

const std::string kDefaultAgent = "Mozilla/3.0 (compatible; Indy Library)";

// The request block the client must send; "{host}" stands for the server's Host value.
std::string request(const std::string& target, const std::string& agent = kDefaultAgent, const std::string& cookie = "")
{
    std::string r = "GET " + target + " HTTP/1.1\r\nHost: {host}\r\nAccept: text/html, */*\r\nAccept-Encoding: identity\r\n";
    if (!agent.empty())
        r += "User-Agent: " + agent + "\r\n";
    if (!cookie.empty())
        r += "Cookie: " + cookie + "\r\n";
    return r + "\r\n";
}

std::string expand(std::string text, const std::string& host)
{
    for (size_t pos; (pos = text.find("{host}")) != std::string::npos;)
        text.replace(pos, 6, host);
    return text;
}

// Runs one table of exchanges against a fresh server each.
struct Exchange {
    const char* name;
    std::vector<Reply> replies;
    FetchSettings settings;
    std::string target;
    std::vector<std::string> requests; // expected request bytes; empty: not checked
    FetchOutcome expected;
    int connections = 0; // connections the server accepted; 0: not checked
};

void runExchanges(const std::vector<Exchange>& cases)
{
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<FetchOutcome> got;
        std::vector<std::string> received;
        std::string host;
        int connections = 0;
        {
            ScriptedServer server(c.replies);
            host = "127.0.0.1:" + std::to_string(server.port());
            got = fetchStream(server.url(c.target), c.settings);
            // The server thread records the request before answering, so it is complete.
            received = server.requests();
            connections = server.connections();
        }
        if (c.connections != 0) {
            EXPECT_EQ(connections, c.connections);
        }
        EXPECT_EQ(got->ok, c.expected.ok);
        EXPECT_EQ(got->error, c.expected.error);
        EXPECT_EQ(got->body, c.expected.body);
        EXPECT_EQ(got->code, c.expected.code);
        EXPECT_EQ(got->statusLine, c.expected.statusLine);
        if (!c.requests.empty()) {
            std::vector<std::string> expected;
            for (const auto& r : c.requests)
                expected.push_back(expand(r, host));
            EXPECT_EQ(received, expected);
        }
    }
}

FetchSettings withAgent(std::string agent)
{
    FetchSettings s;
    s.userAgent = std::move(agent);
    return s;
}

FetchSettings following()
{
    FetchSettings s;
    s.follow = true;
    return s;
}

FetchOutcome success(std::string body)
{
    return {true, std::move(body), "", 0, ""};
}

FetchOutcome failure(std::string message)
{
    return {false, "", std::move(message), 0, ""};
}

FetchOutcome statusFailure(int code, std::string statusLine, std::string body = "")
{
    return {false, std::move(body), statusLine.empty() ? "HTTP status " + std::to_string(code) : statusLine, code,
            statusLine};
}

} // namespace

TEST(FetchPage, RequestsAndBodies)
{
    const std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n";
    runExchanges({
        {"default agent, Content-Length body", {reply(okAnswer("hello"))}, {}, "/a/b.html?x=1#top",
         {request("/a/b.html?x=1")}, success("hello")},
        {"empty agent sends no User-Agent line", {reply(okAnswer("x"))}, withAgent(""), "/", {request("/", "")},
         success("x")},
        {"non-ASCII in agent and target become ?", {reply(okAnswer("x"))}, withAgent("A中文B"), "/\xe6\x90\x9c?q=\xe5\xad\x97",
         {request("/??q=?", "A??B")}, success("x")},
        {"body read until the server closes", {reply("HTTP/1.1 200 OK\r\n\r\nuntil close")}, {}, "/", {},
         success("until close")},
        {"Content-Length 0 is empty at once on an open connection",
         {reply("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", Then::KeepOpen)}, {}, "/", {}, success("")},
        // A body cut short by the network is no page: a count read from it would be false.
        {"Content-Length longer than what arrives", {reply("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\nhello world")},
         {}, "/", {}, failure("Connection Closed Gracefully.")},
        {"chunked with extensions",
         {reply(chunked + "5 ext=1\r\nhello\r\n6;name=v\r\n world\r\n0\r\n\r\n", Then::KeepOpen)}, {}, "/", {},
         success("hello world")},
        {"chunked size line that is not hex ends the body",
         {reply(chunked + "3\r\nabc\r\nzz\r\n\r\n", Then::KeepOpen)}, {}, "/", {}, success("abc")},
        {"chunked with trailers", {reply(chunked + "2\r\nab\r\n0\r\nX-T: 1\r\n\r\n", Then::KeepOpen)}, {}, "/", {},
         success("ab")},
        {"close inside a chunk", {reply(chunked + "a\r\nabc")}, {}, "/", {}, failure("Connection Closed Gracefully.")},
        {"close before the status line", {Reply{{}, Then::Close}}, {}, "/", {},
         failure("Connection Closed Gracefully.")},
        {"close among the header lines", {reply("HTTP/1.1 200 OK\r\nX-A: 1\r\n")}, {}, "/", {},
         failure("Connection Closed Gracefully.")},
        {"close after the status line", {reply("HTTP/1.1 200 OK")}, {}, "/", {}, failure("Connection Closed Gracefully.")},
        {"100 before the real answer", {reply("HTTP/1.1 100 Continue\r\nX-A: 1\r\n\r\n" + okAnswer("real"))}, {}, "/", {},
         success("real")},
        {"answer sent in pieces",
         {Reply{{"HTTP/1.1 2", "00 OK\r\nContent-Le", "ngth: 6\r", "\n\r\nab", "cdef"}, Then::KeepOpen}}, {}, "/", {},
         success("abcdef")},
        {"continued and padded headers", {reply("HTTP/1.0 200 OK\r\nContent-Length:\t 4 \r\nX-Long: a\r\n b\r\n\r\nbody")},
         {}, "/", {}, success("body")},
        {"204 is an empty success", {reply("HTTP/1.1 204 No Content\r\n\r\n")}, {}, "/", {}, success("")},
        {"404 fails with code, line and body", {reply("HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\ngone")}, {},
         "/", {}, statusFailure(404, "HTTP/1.1 404 Not Found", "gone")},
        {"500 fails", {reply("HTTP/1.1 500 Internal Server Error\r\n\r\noops")}, {}, "/", {},
         statusFailure(500, "HTTP/1.1 500 Internal Server Error", "oops")},
        {"304 fails", {reply("HTTP/1.1 304 Not Modified\r\n\r\n")}, {}, "/", {},
         statusFailure(304, "HTTP/1.1 304 Not Modified")},
        // Without a time-out these would wait for a close that never comes; the short
        // wait for a body to begin ends them.
        {"304 on a connection left open", {reply("HTTP/1.1 304 Not Modified\r\n\r\n", Then::Stall)}, {}, "/", {},
         statusFailure(304, "HTTP/1.1 304 Not Modified")},
        {"204 on a connection left open", {reply("HTTP/1.1 204 No Content\r\n\r\n", Then::Stall)}, {}, "/", {},
         success("")},
        {"401 fails", {reply("HTTP/1.1 401 Unauthorized\r\nContent-Length: 0\r\n\r\n", Then::KeepOpen)}, {}, "/", {},
         statusFailure(401, "HTTP/1.1 401 Unauthorized")},
        {"status line without a code", {reply("garbage\r\n\r\n")}, {}, "/", {}, statusFailure(-1, "garbage")},
        {"302 with redirects off fails", {reply("HTTP/1.1 302 Found\r\nLocation: /x\r\nContent-Length: 3\r\n\r\nabc")},
         {}, "/", {}, statusFailure(302, "HTTP/1.1 302 Found", "abc")},
        {"Location on a 200 is a redirect", {reply("HTTP/1.1 200 OK\r\nLocation: /x\r\nContent-Length: 2\r\n\r\nhi")},
         {}, "/", {}, statusFailure(200, "HTTP/1.1 200 OK", "hi")},
        {"header line of 16384 characters", {reply("HTTP/1.1 200 OK\r\nX: " + std::string(16381, 'a') + "\r\n\r\n")},
         {}, "/", {}, success("")},
        {"header line of 16385 characters", {reply("HTTP/1.1 200 OK\r\nX: " + std::string(16382, 'a') + "\r\n\r\n")},
         {}, "/", {}, failure("Max line length exceeded.")},
        {"endless header line", {Reply{{"HTTP/1.1 200 OK\r\nX: " + std::string(20000, 'a')}, Then::Stall}}, {}, "/",
         {}, failure("Max line length exceeded.")},
        {"Content-Length over 64 MiB", {reply("HTTP/1.1 200 OK\r\nContent-Length: 67108865\r\n\r\n", Then::Stall)}, {},
         "/", {}, failure("Response body larger than 64 MiB.")},
        {"chunk over 64 MiB", {reply(chunked + "4000001\r\n", Then::Stall)}, {}, "/", {},
         failure("Response body larger than 64 MiB.")},
    });
}

TEST(FetchPage, HeaderCountLimit)
{
    std::string head = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; i < 254; ++i)
        head += "X-" + std::to_string(i) + ": v\r\n";
    runExchanges({
        {"255 header lines", {reply(head + "Content-Length: 2\r\n\r\nok")}, {}, "/", {}, success("ok")},
        {"256 header lines", {reply(head + "X-Last: 1\r\nContent-Length: 2\r\n\r\nok")}, {}, "/", {},
         failure("Too many header lines.")},
    });
}

TEST(FetchPage, ReadTimeout)
{
    FetchSettings quick;
    quick.readTimeout = 50;
    runExchanges({
        {"stall inside a Content-Length body",
         {Reply{{"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc"}, Then::Stall}}, quick, "/", {},
         failure("Read timed out.")},
        {"stall inside a read-until-close body", {Reply{{"HTTP/1.1 200 OK\r\n\r\nabc"}, Then::Stall}}, quick, "/", {},
         failure("Read timed out.")},
        {"stall inside a chunked body",
         {Reply{{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n"}, Then::Stall}}, quick, "/", {},
         failure("Read timed out.")},
        // A header wait that times out only ends the head; the body wait then fails.
        {"stall among the headers", {Reply{{"HTTP/1.1 200 OK\r\nX-A: 1\r\n"}, Then::Stall}}, quick, "/", {},
         failure("Read timed out.")},
        {"stall among the headers of a Content-Length 0 answer",
         {Reply{{"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n"}, Then::Stall}}, quick, "/", {}, success("")},
        // No status line in time gives code -1: a status failure once the empty body is read.
        {"silent server", {Reply{{}, Then::Stall}}, quick, "/", {}, failure("Read timed out.")},
        {"a slow answer within each wait", {Reply{{"HTTP/1.1 200 OK\r\n", "Content-Length: 2\r\n\r\n", "o", "k"},
                                                  Then::KeepOpen}},
         quick, "/", {}, success("ok")},
    });
}

TEST(FetchPage, Redirects)
{
    FetchSettings follow;
    follow.follow = true;
    runExchanges({
        {"relative Location with .. on the kept-alive connection",
         {reply("HTTP/1.1 302 Found\r\nLocation: ../c/./d.html?q=1#f\r\nContent-Length: 3\r\n\r\nabc", Then::KeepOpen),
          reply(okAnswer("final"))},
         follow, "/a/b/x.html", {request("/a/b/x.html"), request("/a/c/d.html?q=1")}, success("final"), 1},
        {"Location on a 200 is followed", {reply("HTTP/1.1 200 OK\r\nLocation: next\r\nContent-Length: 0\r\n\r\n",
                                                 Then::KeepOpen),
                                           reply(okAnswer("after"))},
         follow, "/dir/page", {request("/dir/page"), request("/dir/next")}, success("after")},
        {"cookies set by a redirect go back",
         {reply("HTTP/1.1 302 Found\r\nSet-Cookie: sid=42; Path=/\r\nSet-Cookie: other=1; path=/elsewhere\r\n"
                "Set-Cookie: tls=1; secure\r\nSet-cookie2: gone=1; Max-Age=0\r\nSet-Cookie: empty=\r\n"
                "Set-Cookie: Lang=zh; Domain=127.0.0.1\r\nLocation: /b\r\nContent-Length: 0\r\n\r\n",
                Then::KeepOpen),
          reply("HTTP/1.1 302 Found\r\nSet-Cookie: sid=43\r\nLocation: /c\r\nContent-Length: 0\r\n\r\n", Then::KeepOpen),
          reply(okAnswer("done"))},
         follow, "/a",
         {request("/a"), request("/b", kDefaultAgent, "sid=42; Lang=zh"), request("/c", kDefaultAgent, "sid=43; Lang=zh")},
         success("done")},
        {"Connection: close opens a new connection",
         {reply("HTTP/1.1 301 Moved\r\nConnection:  Close\r\nLocation: /b\r\nContent-Length: 0\r\n\r\n",
                Then::KeepOpen),
          reply(okAnswer("b"))},
         follow, "/a", {request("/a"), request("/b")}, success("b"), 2},
        {"Proxy-Connection: close opens a new connection",
         {reply("HTTP/1.0 302 Found\r\nProxy-Connection: close\r\nLocation: /b\r\nContent-Length: 0\r\n\r\n",
                Then::KeepOpen),
          reply(okAnswer("b"))},
         follow, "/a", {request("/a"), request("/b")}, success("b"), 2},
        {"server that drops a kept-alive connection",
         {reply("HTTP/1.1 302 Found\r\nLocation: /b\r\nContent-Length: 0\r\n\r\n", Then::Close), reply(okAnswer("b"))},
         follow, "/a", {request("/a"), request("/b")}, success("b"), 2},
        {"redirect body read until close", {reply("HTTP/1.1 302 Found\r\nLocation: /b\r\n\r\nmoved"), reply(okAnswer("b"))},
         follow, "/a", {}, success("b")},
        // Followed like any other: here to a port where nobody listens.
        {"redirect to https is followed", {reply("HTTP/1.1 302 Found\r\nLocation: https://127.0.0.1:1/\r\nContent-Length: 0\r\n\r\n")},
         follow, "/a", {}, failure("Socket Error # 111\r\nConnection refused.")},
        {"a failure after a redirect", {reply("HTTP/1.1 302 Found\r\nLocation: /b\r\nContent-Length: 0\r\n\r\n",
                                              Then::KeepOpen),
                                        reply("HTTP/1.1 404 Not Found\r\nContent-Length: 1\r\n\r\nx")},
         follow, "/a", {}, statusFailure(404, "HTTP/1.1 404 Not Found", "x")},
    });
}

TEST(FetchPage, EndlessRedirectsEndEmptyAfterTheMaximum)
{
    ScriptedServer server([](const std::string&) -> std::optional<Reply> {
        return reply("HTTP/1.1 302 Found\r\nLocation: /again\r\nContent-Length: 5\r\n\r\nmoved", Then::KeepOpen);
    });
    THttpClient client;
    client.HandleRedirects = true;
    std::string buffer = "before";
    client.FetchPage(server.url("/start"), buffer);
    EXPECT_EQ(buffer, "before");
    EXPECT_EQ(server.requests().size(), 15u);
    EXPECT_EQ(server.connections(), 1);
}

TEST(FetchPage, RedirectToAnotherServer)
{
    ScriptedServer second({reply(okAnswer("second"))});
    ScriptedServer first({reply("HTTP/1.1 302 Found\r\nLocation: " + second.url("/there") + "\r\nContent-Length: 0\r\n\r\n",
                                Then::KeepOpen)});
    const FetchOutcome got = fetchStream(first.url("/here"), following());
    EXPECT_TRUE(got.ok) << got.error;
    EXPECT_EQ(got.body, "second");
    ASSERT_EQ(second.requests().size(), 1u);
    EXPECT_EQ(second.requests()[0], expand(request("/there"), "127.0.0.1:" + std::to_string(second.port())));
}

TEST(FetchPage, StreamFormAppendsAndFailureLeavesTheBufferAsItWas)
{
    ScriptedServer server({reply(okAnswer("body")), reply("HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\npart", Then::Reset)});
    std::string buffer = "kept|";
    THttpClient client;
    client.FetchPage(server.url(), buffer);
    EXPECT_EQ(buffer, "kept|body");
    THttpClient second;
    second.ReadTimeout = 1000;
    EXPECT_THROW(second.FetchPage(server.url(), buffer), NetError);
    EXPECT_EQ(buffer, "kept|body");
}

TEST(FetchPage, Decoding)
{
    const std::string utf8 = "找到相关网页";
    const std::string gbk = "\xd5\xd2\xb5\xbd"; // 找到
    struct Case {
        const char* name;
        std::string reply;
        bool stringForm;
        std::string expected;
    };
    const Case cases[] = {
        {"charset UTF-8", okAnswer(utf8, "Content-Type: text/html; charset=UTF-8\r\n"), true, utf8},
        {"charset utf8 quoted", okAnswer(utf8, "Content-Type: text/html;Charset=\"utf8\"\r\n"), true, utf8},
        {"malformed UTF-8 replaced", okAnswer("a\xff", "Content-Type: text/html; charset=utf-8\r\n"), true, "a\xef\xbf\xbd"},
        {"no charset: one character per byte", okAnswer("\xe6\x89", "Content-Type: text/html\r\n"), true, "\xc3\xa6\xc2\x89"},
        {"no Content-Type", okAnswer("\xd5"), true, "\xc3\x95"},
        {"other charset", okAnswer("\xd5", "Content-Type: text/html; charset=gb2312\r\n"), true, "\xc3\x95"},
        {"stream form read back as GBK", okAnswer(gbk), false, "找到"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server({reply(c.reply)});
        const FetchOutcome got = c.stringForm ? fetchString(server.url()) : fetchStream(server.url());
        ASSERT_TRUE(got.ok) << got.error;
        EXPECT_EQ(c.stringForm ? got.body : readAnsi(got.body), c.expected);
    }

    ScriptedServer server({reply("HTTP/1.1 404 Not Found\r\nContent-Type: text/html; charset=UTF-8\r\n\r\n" + utf8)});
    EXPECT_EQ(fetchStream(server.url()).body, utf8);
}

TEST(FetchPage, LargeBodiesInEveryForm)
{
    std::string body(3 * 1024 * 1024 + 7, '\0');
    for (size_t i = 0; i < body.size(); ++i)
        body[i] = static_cast<char>((i * 7919) >> 5);
    std::string chunkedBody;
    for (size_t pos = 0; pos < body.size(); pos += 100000) {
        const std::string piece = body.substr(pos, 100000);
        char size[16];
        std::snprintf(size, sizeof size, "%zx", piece.size());
        chunkedBody += std::string(size) + "\r\n" + piece + "\r\n";
    }
    struct Case {
        const char* name;
        std::string reply;
    };
    const Case cases[] = {
        {"Content-Length", okAnswer(body)},
        {"until close", "HTTP/1.1 200 OK\r\n\r\n" + body},
        {"chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + chunkedBody + "0\r\n\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server({reply(c.reply)});
        const FetchOutcome got = fetchStream(server.url());
        ASSERT_TRUE(got.ok) << got.error;
        EXPECT_TRUE(got.body == body);
    }

    // Without a length the size is only known at the end: the fetch stops at the limit.
    ScriptedServer server({reply("HTTP/1.1 200 OK\r\n\r\n" + std::string((size_t{64} << 20) + 1, 'x'))});
    EXPECT_EQ(fetchStream(server.url()).error, "Response body larger than 64 MiB.");
}

TEST(FetchPage, AddressFailures)
{
    ScriptedServer server(std::vector<Reply>{});
    const std::string port = std::to_string(server.port());
    struct Case {
        const char* name;
        std::string url;
        std::string error;
    };
    const Case cases[] = {
        {"no scheme", "127.0.0.1:" + port + "/", "Unknown Protocol"},
        {"other scheme without port", "ftp://127.0.0.1/", "Unknown Protocol"},
        {"port not a number", "http://127.0.0.1:8o/", "Invalid port \"8o\"."},
        {"port out of range", "http://127.0.0.1:65536/", "Invalid port \"65536\"."},
        {"NUL in the host", std::string("http://127.0.0.1\0.example.com:", 30) + port + "/",
         "Socket Error # -2\r\nHost not found."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(fetchStream(c.url).error, c.error);
    }
    EXPECT_EQ(server.connections(), 0);
}

TEST(FetchPage, SocketFailures)
{
    // A port that was just in use and is now closed refuses connections.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
    ::close(fd);
    const std::string refusedUrl = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/";

    EXPECT_EQ(fetchStream(refusedUrl).error, "Socket Error # 111\r\nConnection refused.");
    const std::string unresolved = fetchStream("http://no-such-host.invalid/").error;
    EXPECT_TRUE(unresolved.starts_with("Socket Error # ")) << unresolved;
    EXPECT_TRUE(unresolved.ends_with("\r\nHost not found.")) << unresolved;
    // An IPv6 literal is connected to, not looked up.
    EXPECT_EQ(fetchStream("http://[::1]:" + std::to_string(ntohs(address.sin_port)) + "/").error,
              "Socket Error # 111\r\nConnection refused.");

    ScriptedServer server({Reply{{"HTTP/1.1 200 OK\r\n\r\npartial"}, Then::Reset}});
    const std::string reset = fetchStream(server.url()).error;
    EXPECT_EQ(reset, "Socket Error # 104\r\nConnection reset by peer.");
}

TEST(FetchPage, ConnectToKeepsTheRequest)
{
    ScriptedServer server({reply(okAnswer("stand-in"))});
    addConnectToRules({parseConnectTo("www.example.test:80:127.0.0.1:" + std::to_string(server.port()))});
    const FetchOutcome got = fetchStream("http://www.example.test/s?wd=site:example.test");
    clearConnectToRules();
    EXPECT_EQ(got.body, "stand-in");
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0], expand(request("/s?wd=site:example.test"), "www.example.test"));
}

TEST(FetchPage, ConnectTimeout)
{
    const kaldrani::testing::SilentHost host;
    const std::string url = "http://127.0.0.1:" + std::to_string(host.port()) + "/";
    const auto start = std::chrono::steady_clock::now();
    const FetchOutcome got = capture([&] {
        THttpClient client;
        client.ConnectTimeout = 100;
        return client.FetchPage(url);
    });
    EXPECT_EQ(got.error, "Socket Error # 110\r\nConnection timed out.");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}
