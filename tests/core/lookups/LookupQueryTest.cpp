#include "ScriptedServer.h"
#include "SilentHost.h"

#include "core/fetch/SafetyTimeout.h"
#include "core/lookups/IpQuery.h"
#include "core/lookups/WhoisQuery.h"
#include "core/net/ConnectTo.h"
#include "core/text/Encoding.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

namespace kaldrani::lookups {
namespace {

using testing::Reply;
using testing::reply;
using testing::ScriptedServer;
using Clock = std::chrono::steady_clock;
using fetch::Outcome;

const std::string kWhoisTimeout = "\r\n网络超时，请稍后重试...";
const std::string kIpTimeout = "网络超时,请稍后重试...";

// Every connection of the process goes to port while the object lives.
class AllConnectionsTo {
public:
    explicit AllConnectionsTo(int port)
    {
        net::clearConnectToRules();
        net::addConnectToRules({{"", "", "127.0.0.1", std::to_string(port)}});
    }
    ~AllConnectionsTo() { net::clearConnectToRules(); }
};

// Keeps the safety bound small for one test.
class SafetyBound {
public:
    explicit SafetyBound(int ms) : m_saved(fetch::safetyReadTimeoutMs()) { fetch::setSafetyReadTimeoutMs(ms); }
    ~SafetyBound() { fetch::setSafetyReadTimeoutMs(m_saved); }

private:
    int m_saved;
};

std::string gbkAnswer(const std::string& utf8Html)
{
    const std::string body = text::utf8ToGbk(utf8Html);
    return "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=gb2312\r\nContent-Length: " + std::to_string(body.size())
           + "\r\n\r\n" + body;
}

std::string request(const std::string& target, const std::string& host, bool withAgent)
{
    return "GET " + target + " HTTP/1.1\r\nHost: " + host + "\r\nAccept: text/html, */*\r\nAccept-Encoding: identity\r\n"
           + (withAgent ? "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n" : "") + "\r\n";
}

TEST(LookupQueries, RequestBytesAndDecodedAnswers)
{
    struct Case {
        const char* name;
        std::function<std::string()> query;
        std::string page;
        std::string request;
        std::string shown;
    };
    const Case cases[] = {
        {"whois: empty user agent, www. dropped", [] { return QueryWhois("www.example.com").value; },
         "<html><!-- start -->\n域名：example.com\n友情提示</html>",
         request("/cgi-bin/whois?domain=example.com", "www.hichina.com", false), "\r\n域名：example.com\r\n"},
        {"own address: default user agent, no query", [] { return QueryOwnAddress().value; },
         "<div>您的IP是：198.51.100.7&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;来自：北京市\t</div>",
         request("/ip/data/", "www.kaldrani.com", true), "您的IP是：198.51.100.7\r\n来自：北京市"},
        {"lookup: default user agent, http:// dropped", [] { return QueryIpLookup("http://192.0.2.1").value; },
         "您查询的IP:192.0.2.1<br>来自:浙江省<br/>", request("/ip/data/?ip=192.0.2.1", "www.kaldrani.com", true),
         "您查询的IP：192.0.2.1\r\n来自：浙江省"},
        // The text goes out as typed; the request writer makes each non-ASCII character "?".
        {"lookup of the hint text", [] { return QueryIpLookup("请输入IP地址或者域名").value; }, "您输入的好像火星IP",
         request("/ip/data/?ip=???IP??????", "www.kaldrani.com", true), "查询失败 !"},
        {"lookup with an empty box", [] { return QueryIpLookup("").value; }, "您查询的IP:<br/>",
         request("/ip/data/?ip=", "www.kaldrani.com", true), "您查询的IP："},
        // A blank or a line break typed into the box stays inside the request target.
        {"whois of a blank and a header", [] { return QueryWhois("a b\r\nX: y").value; }, "<!-- start -->r友情提示",
         request("/cgi-bin/whois?domain=a%20b%0D%0AX:%20y", "www.hichina.com", false), "r"},
        {"lookup of a blank and a fragment", [] { return QueryIpLookup("1.2.3.4 #x").value; }, "您查询的IP:1<br/>",
         request("/ip/data/?ip=1.2.3.4%20%23x", "www.kaldrani.com", true), "您查询的IP：1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server({reply(gbkAnswer(c.page))});
        const AllConnectionsTo to(server.port());
        EXPECT_EQ(c.query(), c.shown);
        ASSERT_EQ(server.requests().size(), 1u);
        EXPECT_EQ(server.requests()[0], c.request);
    }
}

TEST(LookupQueries, FailuresGiveEachQuerysOwnText)
{
    struct Case {
        const char* name;
        Reply answer;
    };
    const Case cases[] = {
        {"not found", reply("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found")},
        {"redirect not followed",
         reply("HTTP/1.1 302 Found\r\nLocation: http://elsewhere.test/\r\nContent-Length: 0\r\n\r\n")},
        {"closed before the status line", reply("")},
        {"reset inside the body", Reply{{"HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\npart"}, Reply::Then::Reset}},
        {"not HTTP", reply("nonsense\r\n\r\n")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server({c.answer, c.answer, c.answer});
        const AllConnectionsTo to(server.port());
        EXPECT_EQ(QueryWhois("example.com").value, kWhoisTimeout);
        EXPECT_EQ(QueryOwnAddress().value, "");
        EXPECT_EQ(QueryIpLookup("192.0.2.1").value, kIpTimeout);
    }
}

TEST(LookupQueries, EmptyWhoisPageIsReportedAsATimeOut)
{
    ScriptedServer server({reply("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n")});
    const AllConnectionsTo to(server.port());
    EXPECT_EQ(QueryWhois("example.com").value, kWhoisTimeout);
}

TEST(LookupQueries, SilentServiceIsGivenUpOnWithinTheSafetyBound)
{
    const SafetyBound bound(150);
    ScriptedServer server({Reply{{}, Reply::Then::Stall}, Reply{{}, Reply::Then::Stall}});
    const AllConnectionsTo to(server.port());
    const auto start = Clock::now();
    // The reason names the bound the wait ran into.
    EXPECT_EQ(QueryOwnAddress(), (Outcome<std::string>{"", fetch::Failure{.reason = "Read timed out. (no data for 150 ms)"}}));
    EXPECT_EQ(QueryIpLookup("192.0.2.1"), (Outcome<std::string>{kIpTimeout, fetch::Failure{.reason = "Read timed out. (no data for 150 ms)"}}));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
}

TEST(LookupQueries, UnreachableServiceIsGivenUpOnWithinTheSafetyBound)
{
    const SafetyBound bound(150);
    const testing::SilentHost host;
    const AllConnectionsTo to(host.port());
    const auto start = Clock::now();
    EXPECT_EQ(QueryOwnAddress().value, "");
    EXPECT_EQ(QueryIpLookup("192.0.2.1").value, kIpTimeout);
    EXPECT_EQ(QueryWhois("example.com").value, kWhoisTimeout);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
}

TEST(LookupQueries, WhoisWaitsTwoSecondsForEachRead)
{
    // The whois page gets its own bound, whatever the safety bound is.
    const SafetyBound bound(60000);
    ScriptedServer server({Reply{{"HTTP/1.1 200 OK\r\nContent-Length: 40\r\n\r\n<!-- start -->"}, Reply::Then::Stall}});
    const AllConnectionsTo to(server.port());
    const auto start = Clock::now();
    EXPECT_EQ(QueryWhois("example.com").value, kWhoisTimeout);
    const auto took = Clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(1900));
    EXPECT_LT(took, std::chrono::seconds(10));
}

} // namespace
} // namespace kaldrani::lookups
