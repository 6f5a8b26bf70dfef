#include "core/net/ConnectTo.h"
#include "core/net/HttpClient.h"
#include "core/net/Resolver.h"
#include "core/net/StopSignal.h"
#include "core/net/TcpConnection.h"

#include "FetchFixture.h"
#include "ScriptedServer.h"
#include "TestDnsServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using kaldrani::testing::okAnswer;

using namespace kaldrani::net;
using kaldrani::testing::reply;
using kaldrani::testing::ScriptedServer;
using kaldrani::testing::TestDnsServer;

namespace {

// Points every lookup of the test at its own name server, and back at the system's after.
struct NameServers {
    explicit NameServers(const TestDnsServer& server) { setNameServers(server.address()); }
    ~NameServers() { setNameServers({}); }
};

std::vector<std::string> texts(const std::vector<SocketAddress>& addresses)
{
    std::vector<std::string> out;
    for (const auto& a : addresses)
        out.push_back(a.text());
    return out;
}

// One HTTP answer on [::1], then closes.
class Ipv6Server {
public:
    Ipv6Server()
    {
        m_fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_addr = in6addr_loopback;
        socklen_t length = sizeof address;
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(m_fd, 4) != 0
            || ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw std::runtime_error("no IPv6 loopback");
        m_port = ntohs(address.sin6_port);
        m_thread = std::thread([this] {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 5000) != 1)
                return;
            const int client = ::accept(m_fd, nullptr, nullptr);
            std::string head;
            char buffer[1024];
            while (head.find("\r\n\r\n") == std::string::npos) {
                const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
                if (n <= 0)
                    break;
                head.append(buffer, static_cast<size_t>(n));
            }
            const std::string answer = okAnswer("over IPv6");
            (void)!::send(client, answer.data(), answer.size(), MSG_NOSIGNAL);
            ::close(client);
        });
    }
    ~Ipv6Server()
    {
        ::shutdown(m_fd, SHUT_RDWR);
        m_thread.join();
        ::close(m_fd);
    }
    int port() const { return m_port; }

private:
    int m_fd = -1;
    int m_port = 0;
    std::thread m_thread;
};

SocketAddress address(const std::string& host, int port)
{
    return *literalAddress(host, port);
}

} // namespace

TEST(Resolver, HappyEyeballsOrder)
{
    struct Case {
        const char* name;
        std::vector<std::string> given;
        std::vector<std::string> tried;
    };
    const Case cases[] = {
        {"IPv4 only keeps its order", {"10.0.0.2", "10.0.0.1"}, {"10.0.0.2:80", "10.0.0.1:80"}},
        {"IPv6 first even when listed last", {"10.0.0.1", "10.0.0.2", "fe80::1"}, {"[fe80::1]:80", "10.0.0.1:80", "10.0.0.2:80"}},
        {"families alternate", {"::1", "::2", "::3", "10.0.0.1"}, {"[::1]:80", "10.0.0.1:80", "[::2]:80", "[::3]:80"}},
        {"nothing", {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<SocketAddress> given;
        for (const auto& text : c.given)
            given.push_back(address(text, 80));
        EXPECT_EQ(texts(happyEyeballsOrder(given)), c.tried);
    }
}

TEST(Resolver, LooksUpBothFamiliesFromTheServer)
{
    TestDnsServer dns({{"both.test", {"::1", "127.0.0.1"}}, {"v4.test", {"127.0.0.3", "127.0.0.4"}}});
    NameServers servers(dns);
    auto found = texts(lookUpHost("both.test", 8080, std::nullopt));
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{"127.0.0.1:8080", "[::1]:8080"}));
    EXPECT_EQ(texts(lookUpHost("V4.Test", 1, std::nullopt)), (std::vector<std::string>{"127.0.0.3:1", "127.0.0.4:1"}));
    EXPECT_EQ(texts(lookUpHost("::1", 5, std::nullopt)), std::vector<std::string>{"[::1]:5"});

    const int before = dns.questions();
    for (const char* name : {"nothing.test", "x.invalid", "INVALID."}) {
        SCOPED_TRACE(name);
        try {
            lookUpHost(name, 80, std::nullopt);
            FAIL() << "found";
        } catch (const NetError& e) {
            EXPECT_EQ(e.kind(), NetError::Kind::Socket);
            EXPECT_STREQ(e.what(), "Socket Error # -2\r\nHost not found.");
        }
    }
    // Only the name that may exist was asked for.
    EXPECT_GT(dns.questions(), before);
    const int afterUnknown = dns.questions();
    EXPECT_THROW(lookUpHost("y.invalid", 80, std::nullopt), NetError);
    EXPECT_EQ(dns.questions(), afterUnknown);
}

TEST(Resolver, AFirstAddressThatRefusesGivesWayToTheNext)
{
    ScriptedServer server({reply(okAnswer("second")), reply(okAnswer("second again"))});
    // Nothing listens on ::1 or 127.0.0.2 at that port: both refuse at once.
    TestDnsServer dns({{"v6-down.test", {"::1", "127.0.0.1"}}, {"v4-down.test", {"127.0.0.2", "127.0.0.1"}}});
    NameServers servers(dns);
    const std::string port = std::to_string(server.port());
    EXPECT_EQ(fetchStream("http://v6-down.test:" + port + "/").body, "second");
    EXPECT_EQ(fetchStream("http://v4-down.test:" + port + "/").body, "second again");
    ASSERT_EQ(server.requests().size(), 2u);
    EXPECT_NE(server.requests()[1].find("Host: v4-down.test:" + port + "\r\n"), std::string::npos);

    // When none answers, the last refusal is the failure.
    TestDnsServer none({{"down.test", {"127.0.0.2", "127.0.0.3"}}});
    NameServers noServers(none);
    EXPECT_EQ(fetchStream("http://down.test:" + port + "/").error, "Socket Error # 111\r\nConnection refused.");
}

TEST(Resolver, Ipv6LoopbackLiteralAndConnectTo)
{
    {
        Ipv6Server server;
        EXPECT_EQ(fetchStream("http://[::1]:" + std::to_string(server.port()) + "/").body, "over IPv6");
    }
    Ipv6Server server;
    addConnectToRules({parseConnectTo("www.example.test:80:[::1]:" + std::to_string(server.port()))});
    const FetchOutcome got = fetchStream("http://www.example.test/");
    clearConnectToRules();
    EXPECT_EQ(got.body, "over IPv6");
}

TEST(Resolver, ASlowLookupEndsOnStopAndAtTheDeadline)
{
    TestDnsServer dns({}, {"slow.test"});
    NameServers servers(dns);
    using Clock = std::chrono::steady_clock;

    StopSignal stop;
    Clock::time_point raised;
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        raised = Clock::now();
        stop.raise();
    });
    FetchOutcome stopped;
    {
        StopScope scope(stop);
        stopped = fetchStream("http://slow.test/");
    }
    const auto ended = Clock::now();
    stopper.join();
    EXPECT_EQ(stopped.error, "Run stopped.");
    EXPECT_GT(dns.questions(), 0);
    EXPECT_LT(ended - raised, std::chrono::milliseconds(100));

    const FetchOutcome late = capture([] {
        THttpClient client;
        client.FetchTimeout = 150;
        return client.FetchPage("http://slow.test/");
    });
    EXPECT_EQ(late.error, "Fetch deadline exceeded.");
}
