#include "core/net/ConnectTo.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

using namespace kaldrani::net;

TEST(ConnectTo, Parse)
{
    struct Case {
        const char* name;
        const char* entry;
        ConnectToRule expected;
    };
    const Case cases[] = {
        {"all four", "www.a.com:80:127.0.0.1:8080", {"www.a.com", "80", "127.0.0.1", "8080"}},
        {"any host and port", "::127.0.0.1:8080", {"", "", "127.0.0.1", "8080"}},
        {"keep the port", "a:80:b:", {"a", "80", "b", ""}},
        {"IPv6 literals", "[::1]:80:[fe80::2]:81", {"::1", "80", "fe80::2", "81"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ConnectToRule r = parseConnectTo(c.entry);
        EXPECT_EQ(r.fromHost, c.expected.fromHost);
        EXPECT_EQ(r.fromPort, c.expected.fromPort);
        EXPECT_EQ(r.toHost, c.expected.toHost);
        EXPECT_EQ(r.toPort, c.expected.toPort);
    }
    for (const char* bad : {"", "a:b", "a:80:b", "a:80:b:81:extra", "a:x:b:81", "a:80:b:70000", "[::1:80:b:81"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(parseConnectTo(bad), std::invalid_argument);
    }
}

TEST(ConnectTo, Resolve)
{
    clearConnectToRules();
    addConnectToRules({parseConnectTo("www.a.com:80:127.0.0.1:8001"), parseConnectTo(":81:127.0.0.2:"),
                       parseConnectTo("www.a.com::127.0.0.3:8003")});
    struct Case {
        const char* name;
        const char* host;
        int port;
        const char* toHost;
        int toPort;
    };
    const Case cases[] = {
        {"exact", "www.a.com", 80, "127.0.0.1", 8001},
        {"host case ignored", "WWW.A.com", 80, "127.0.0.1", 8001},
        {"any host on a port, port kept", "other.com", 81, "127.0.0.2", 81},
        {"first rule wins", "www.a.com", 81, "127.0.0.2", 81},
        {"any port of a host", "www.a.com", 82, "127.0.0.3", 8003},
        {"no rule", "other.com", 80, "other.com", 80},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ConnectTarget t = resolveConnectTarget(c.host, c.port);
        EXPECT_EQ(t.host, c.toHost);
        EXPECT_EQ(t.port, c.toPort);
    }

    clearConnectToRules();
    ::setenv("KALDRANI_CONNECT_TO", "x:1:127.0.0.9:9,,::127.0.0.8:8", 1);
    loadConnectToFromEnvironment();
    ::unsetenv("KALDRANI_CONNECT_TO");
    EXPECT_EQ(resolveConnectTarget("x", 1).host, "127.0.0.9");
    EXPECT_EQ(resolveConnectTarget("y", 2).port, 8);
    clearConnectToRules();
    EXPECT_EQ(resolveConnectTarget("y", 2).host, "y");
}
