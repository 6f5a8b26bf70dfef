#include "FetchFixture.h"
#include "ScriptedServer.h"
#include "TlsPeers.h"

#include "core/net/ConnectTo.h"
#include "core/net/ConnectionPool.h"
#include "core/net/HttpClient.h"
#include "core/net/StopSignal.h"
#include "core/net/TcpConnection.h"
#include "core/net/Tls.h"
#include "core/sys/LoopbackListener.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>
#include <vector>

using kaldrani::testing::okAnswer;

using namespace kaldrani::net;
using kaldrani::testing::Reply;
using kaldrani::testing::reply;
using kaldrani::testing::ScriptedServer;
using Then = Reply::Then;

namespace {

// One fetch of url by a fresh client, as every query makes one.
FetchOutcome fetchOnce(const std::string& url, const std::vector<std::pair<std::string, std::string>>& headers = {})
{
    return capture([&] {
        THttpClient client;
        client.ReadTimeout = 5000;
        client.ExtraHeaders = headers;
        std::string buffer;
        client.FetchPage(url, buffer);
        return buffer;
    });
}

} // namespace

TEST(ConnectionReuse, FetchesOfOneRunShareAKeptConnection)
{
    ScriptedServer server({reply(okAnswer("one"), Then::KeepOpen), reply(okAnswer("two"), Then::KeepOpen), reply(okAnswer("three"))});
    ConnectionPool pool;
    const PoolScope scope(pool);
    EXPECT_EQ(fetchOnce(server.url("/a")).body, "one");
    EXPECT_EQ(pool.idleCount(), 1u);
    EXPECT_EQ(fetchOnce(server.url("/b")).body, "two");
    EXPECT_EQ(fetchOnce(server.url("/c")).body, "three");
    EXPECT_EQ(server.connections(), 1);
    EXPECT_EQ(pool.reuses(), 2u);
    // The kept connection's requests are byte for byte those of a fresh one.
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[2].substr(requests[2].find("\r\n")), requests[0].substr(requests[0].find("\r\n")));
}

TEST(ConnectionReuse, AnAnswerOrRequestThatDoesNotAllowItGetsANewConnection)
{
    using Headers = std::vector<std::pair<std::string, std::string>>;
    struct Case {
        const char* name;
        Reply first;
        Headers requestHeaders;
        const char* firstBody;  // what the first fetch gave, its page or its failure's body
        const char* firstError; // empty: the first fetch succeeded
    };
    const Case cases[] = {
        {"answer says close", reply(okAnswer("one", "Connection: close\r\n"), Then::KeepOpen), {}, "one", ""},
        {"proxy answer says close", reply(okAnswer("one", "Proxy-Connection: Close\r\n"), Then::KeepOpen), {}, "one", ""},
        {"request says close", reply(okAnswer("one"), Then::KeepOpen), {{"Connection", "close"}}, "one", ""},
        {"HTTP/1.0 without keep-alive", reply("HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\none", Then::KeepOpen), {}, "one",
         ""},
        {"body read to the close", reply("HTTP/1.1 200 OK\r\n\r\none", Then::Close), {}, "one", ""},
        {"short body", reply("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\none", Then::Close), {}, "",
         "Connection Closed Gracefully."},
        {"bytes past the announced length", reply(okAnswer("one") + "HTTP/1.1 200 OK\r\n", Then::KeepOpen), {}, "one", ""},
        {"error answer says close",
         reply("HTTP/1.1 404 Not Found\r\nConnection: close\r\nContent-Length: 1\r\n\r\nx", Then::KeepOpen), {}, "x",
         "HTTP/1.1 404 Not Found"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server({c.first, reply(okAnswer("two"))});
        ConnectionPool pool;
        const PoolScope scope(pool);
        const FetchOutcome first = fetchOnce(server.url("/a"), c.requestHeaders);
        EXPECT_EQ(first.ok, std::string(c.firstError).empty());
        EXPECT_EQ(first.body, c.firstBody);
        EXPECT_EQ(first.error, c.firstError);
        EXPECT_EQ(fetchOnce(server.url("/b"), c.requestHeaders).body, "two");
        EXPECT_EQ(server.connections(), 2);
        EXPECT_EQ(pool.reuses(), 0u);
    }
}

// Bytes after an answer's announced end belong to no request: read on the next one, they
// would stand in for the server's answer.
TEST(ConnectionReuse, ARedirectIsNotFollowedOnAConnectionHoldingStrayBytes)
{
    ScriptedServer server({reply("HTTP/1.1 302 Found\r\nLocation: /b\r\nContent-Length: 0\r\n\r\n"
                                 "HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nforged",
                                 Then::KeepOpen),
                           reply(okAnswer("real"))});
    FetchSettings follow;
    follow.follow = true;
    follow.readTimeout = 5000;
    EXPECT_EQ(fetchStream(server.url("/a"), follow).body, "real");
    EXPECT_EQ(server.connections(), 2);
}

TEST(ConnectionReuse, KeptAcrossStatusFailuresAndChunkedBodies)
{
    ScriptedServer server({reply("HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\ngone", Then::KeepOpen),
                           reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\ntwo\r\n0\r\n\r\n", Then::KeepOpen),
                           reply(okAnswer("three"))});
    ConnectionPool pool;
    const PoolScope scope(pool);
    EXPECT_EQ(fetchOnce(server.url("/a")).code, 404);
    EXPECT_EQ(fetchOnce(server.url("/b")).body, "two");
    EXPECT_EQ(fetchOnce(server.url("/c")).body, "three");
    EXPECT_EQ(server.connections(), 1);
}

TEST(ConnectionReuse, AKeptConnectionTheServerDroppedIsAskedAgainOnceOnAFreshOne)
{
    struct Case {
        const char* name;
        std::optional<Reply> onKept; // the kept connection's answer to the second request; none: closed unanswered
        bool secondSucceeds;
        int connections;
        size_t requests;
    };
    const Case cases[] = {
        {"closed before any byte", std::nullopt, true, 2, 3},
        {"reset before any byte", reply("", Then::Reset), true, 2, 3},
        // Part of an answer came: the request may have been acted on, and what came is no answer.
        {"closed inside the head", reply("HTTP/1.1 200 OK\r\nContent-Le", Then::Close), false, 1, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::atomic<int> asked{0};
        ScriptedServer server([&](const std::string&) -> std::optional<Reply> {
            switch (asked++) {
            case 0:
                return reply(okAnswer("one"), Then::KeepOpen);
            case 1:
                return c.onKept;
            default:
                return reply(okAnswer("two"));
            }
        });
        ConnectionPool pool;
        const PoolScope scope(pool);
        EXPECT_EQ(fetchOnce(server.url("/a")).body, "one");
        const FetchOutcome second = fetchOnce(server.url("/b"));
        EXPECT_EQ(second.ok, c.secondSucceeds) << second.error;
        if (c.secondSucceeds) {
            EXPECT_EQ(second.body, "two");
        }
        EXPECT_EQ(server.connections(), c.connections);
        EXPECT_EQ(server.requests().size(), c.requests);
    }
}

TEST(ConnectionReuse, AFreshConnectionTheServerDropsIsNotAskedAgain)
{
    std::atomic<int> asked{0};
    ScriptedServer server([&](const std::string&) -> std::optional<Reply> {
        if (asked++ == 0)
            return std::nullopt;
        return reply(okAnswer("late"));
    });
    ConnectionPool pool;
    const PoolScope scope(pool);
    EXPECT_EQ(fetchOnce(server.url("/a")).error, "Connection Closed Gracefully.");
    EXPECT_EQ(server.connections(), 1);
}

TEST(ConnectionPool, KeepsBoundedNewestFirstAndNotPastTheIdleLimit)
{
    kaldrani::sys::LoopbackListener listener;
    const auto connected = [&] {
        TcpConnection c;
        c.open("127.0.0.1", listener.port(), 5000);
        return c;
    };
    {
        ConnectionPool pool({.maxIdle = 2});
        pool.give("r", connected());
        pool.give("r", connected());
        pool.give("r", connected());
        EXPECT_EQ(pool.idleCount(), 2u);
        EXPECT_FALSE(pool.take("other").has_value());
        EXPECT_TRUE(pool.take("r").has_value());
        EXPECT_TRUE(pool.take("r").has_value());
        EXPECT_FALSE(pool.take("r").has_value());
    }
    {
        ConnectionPool pool({.maxIdleTime = std::chrono::milliseconds(0)});
        pool.give("r", connected());
        EXPECT_FALSE(pool.take("r").has_value());
        EXPECT_EQ(pool.idleCount(), 0u);
    }
    {
        ConnectionPool pool({.maxIdle = 0});
        pool.give("r", connected());
        EXPECT_EQ(pool.idleCount(), 0u);
    }
}

TEST(ConnectionReuse, RunConnectionsJoinsAnOuterRun)
{
    EXPECT_EQ(currentConnectionPool(), nullptr);
    {
        const RunConnections outer;
        ConnectionPool* pool = currentConnectionPool();
        ASSERT_NE(pool, nullptr);
        {
            const RunConnections inner;
            EXPECT_EQ(currentConnectionPool(), pool);
        }
        EXPECT_EQ(currentConnectionPool(), pool);
    }
    EXPECT_EQ(currentConnectionPool(), nullptr);
}

// nginx counts the requests each connection carried: a real server's view of the reuse.
TEST(ConnectionReuse, NginxServesTheRunsFetchesOnOneConnection)
{
    kaldrani::testing::TestCertificates certs;
    const kaldrani::testing::NginxServer nginx(certs);
    addTrustAnchorFile(certs.file("ca.pem"));
    addConnectToRules({{"a.example", "", "127.0.0.1", ""}});
    struct Case {
        const char* name;
        std::string url;
    };
    const Case cases[] = {
        {"http", "http://a.example:" + std::to_string(nginx.filesPort()) + "/requests"},
        {"https", "https://a.example:" + std::to_string(nginx.tlsPort()) + "/requests"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        {
            const RunConnections run;
            for (const char* expected : {"1", "2", "3"})
                EXPECT_EQ(fetchOnce(c.url).body, expected);
        }
        // Outside a run every fetch has its own connection, as before.
        EXPECT_EQ(fetchOnce(c.url).body, "1");
        EXPECT_EQ(fetchOnce(c.url).body, "1");
    }
    clearConnectToRules();
}

TEST(ConnectionReuse, ConnectionsStayWithTheirRouteAndStopSignal)
{
    kaldrani::testing::TestCertificates certs;
    const kaldrani::testing::NginxServer nginx(certs);
    addConnectToRules({{"a.example", "", "127.0.0.1", ""}, {"b.example", "", "127.0.0.1", ""}});
    const std::string port = std::to_string(nginx.filesPort());
    const std::string a = "http://a.example:" + port + "/requests";
    StopSignal first, second;
    {
        const RunConnections run;
        const auto under = [](const StopSignal& signal, const std::string& url) {
            const StopScope stop(signal);
            return fetchOnce(url).body;
        };
        EXPECT_EQ(under(first, a), "1");
        // Another run's signal: the connection kept under the first is not for it.
        EXPECT_EQ(under(second, a), "1");
        EXPECT_EQ(under(first, a), "2");
        // Another name for the same server is another route.
        EXPECT_EQ(under(first, "http://b.example:" + port + "/requests"), "1");
        EXPECT_EQ(under(first, "HTTP://A.EXAMPLE:" + port + "/requests"), "3");
    }
    clearConnectToRules();
}
