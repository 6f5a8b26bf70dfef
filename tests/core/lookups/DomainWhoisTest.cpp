// The whois of the current profile: RDAP through IANA's bootstrap, port 43 where a TLD has
// none, against the stand-in's registries and whois servers.
#include "ProcessRunner.h"
#include "RdapPages.h"
#include "ScriptedServer.h"
#include "StandinServer.h"
#include "StandinTls.h"
#include "TempFolder.h"

#include "core/fetch/SafetyTimeout.h"
#include "core/lookups/DomainWhois.h"
#include "core/lookups/WhoisQuery.h"
#include "core/net/ConnectTo.h"
#include "core/net/NetError.h"
#include "core/net/Tls.h"
#include "core/net/WhoisClient.h"
#include "core/profiles/ActiveProfile.h"
#include "core/text/Encoding.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

namespace kaldrani::lookups {
namespace {

using fetch::FailureKind;

// The record the stand-in's registry and registrar give together for domain.
std::string standinRecord(const std::string& domain, const std::string& shownName)
{
    const standin::RegistrationFigures f = standin::registrationOf(domain);
    return "域名：" + shownName + "\r\n注册商：" + f.registrar + "\r\n注册人组织：" + f.registrant + "\r\n注册日期："
           + f.registered + "\r\n到期日期：" + f.expires + "\r\n更新日期：" + f.changed
           + "\r\n域名状态：client delete prohibited\r\n域名状态：client transfer prohibited\r\n域名服务器：ns1."
           + domain + "\r\n域名服务器：ns2." + domain + "\r\n";
}

class CurrentWhois : public ::testing::Test {
protected:
    CurrentWhois() : m_server({.authority = &m_authority})
    {
        m_authority.writeCertificate(m_folder.path() / "ca.pem");
        net::addTrustAnchorFile((m_folder.path() / "ca.pem").string());
        ::setenv("XDG_CACHE_HOME", (m_folder.path() / "cache").c_str(), 1);
        const std::string iana = std::to_string(m_whois.ianaPort());
        const std::string cnnic = std::to_string(m_whois.cnnicPort());
        net::clearConnectToRules();
        net::addConnectToRules({{"whois.iana.org", "43", "127.0.0.1", iana},
                                {"whois.cnnic.cn", "43", "127.0.0.1", cnnic},
                                {"cwhois.cnnic.cn", "43", "127.0.0.1", cnnic},
                                {"", "443", "127.0.0.1", std::to_string(m_server.tlsPort())}});
        profiles::Profile current = profiles::defaultProfile();
        current.base = "current";
        profiles::setActiveProfile(std::move(current));
    }
    ~CurrentWhois() override
    {
        profiles::setActiveProfile(profiles::defaultProfile());
        net::clearConnectToRules();
        ::unsetenv("XDG_CACHE_HOME");
    }

    kaldrani::testing::TempFolder m_folder;
    standin::StandinAuthority m_authority;
    standin::StandinServer m_server;
    standin::WhoisStandin m_whois;
};

TEST_F(CurrentWhois, RdapForAGtldPort43ForCnAndBothFormsOfAnIdn)
{
    struct Case {
        const char* name;
        const char* typed;
        std::string shown;
        std::vector<std::string> targets; // the HTTPS requests, bootstrap excepted
    };
    const Case cases[] = {
        {"gTLD by RDAP, registrar by its related link", "example.com", standinRecord("example.com", "EXAMPLE.COM"),
         {"/com/v1/domain/example.com", "/domain/example.com"}},
        {"www. dropped, capitals folded", "WWW.Example.COM", standinRecord("example.com", "EXAMPLE.COM"),
         {"/com/v1/domain/example.com", "/domain/example.com"}},
        {"a registry's redirect followed", "example.net", standinRecord("example.net", "EXAMPLE.NET"),
         {"/net/v1/domain/example.net", "/com/v1/domain/example.net", "/domain/example.net"}},
        {"IDN in Unicode by RDAP", "公司.网络",
         standinRecord("xn--55qx5d.xn--io0a7i", "公司.网络（XN--55QX5D.XN--IO0A7I）"),
         {"/xn--io0a7i/v1/domain/xn--55qx5d.xn--io0a7i", "/domain/xn--55qx5d.xn--io0a7i"}},
        {"IDN in A-labels by RDAP", "xn--55qx5d.xn--io0a7i",
         standinRecord("xn--55qx5d.xn--io0a7i", "公司.网络（XN--55QX5D.XN--IO0A7I）"),
         {"/xn--io0a7i/v1/domain/xn--55qx5d.xn--io0a7i", "/domain/xn--55qx5d.xn--io0a7i"}},
        {".cn by port 43", "example.cn", kaldrani::testing::crlfLines(standin::WhoisStandin::cnnicAnswer("example.cn")), {}},
        {".中国 by port 43, both forms shown", "例子.中国",
         "域名：例子.中国（XN--FSQU00A.XN--FIQS8S）\r\n\r\n"
             + kaldrani::testing::crlfLines(standin::WhoisStandin::cnnicAnswer("xn--fsqu00a.xn--fiqs8s")),
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_server.clearRequests();
        const fetch::Outcome<std::string> found = QueryWhois(c.typed);
        EXPECT_EQ(found.why(), "");
        EXPECT_EQ(found.value, c.shown);
        std::vector<std::string> targets;
        for (const standin::Request& r : m_server.requests()) {
            if (r.host == "data.iana.org")
                continue;
            targets.push_back(r.target);
            EXPECT_EQ(r.header("Accept").value_or(""), "application/rdap+json");
        }
        EXPECT_EQ(targets, c.targets);
    }
    // The bootstrap file was asked once and then served from the cache.
    int bootstrapAsked = 0;
    m_server.clearRequests();
    QueryWhois("example.com");
    for (const standin::Request& r : m_server.requests())
        bootstrapAsked += r.host == "data.iana.org";
    EXPECT_EQ(bootstrapAsked, 0);
    EXPECT_TRUE(std::filesystem::exists(m_folder.path() / "cache" / "kaldrani" / "rdap-dns.json"));
}

TEST_F(CurrentWhois, FailuresAndRefusals)
{
    struct Case {
        const char* name;
        const char* typed;
        std::string shown;
        FailureKind failure;
        bool asked;
    };
    const Case cases[] = {
        {"invalid name, nothing sent", "exa mple.com", "\r\n域名无效：含有不允许的字符", FailureKind::Plain, false},
        {"one label, nothing sent", "例子", "\r\n域名无效：至少需要两级，且各级不能为空", FailureKind::Plain, false},
        {"not registered (404)", "nosuch.com", std::string(kWhoisNotRegistered), FailureKind::Plain, true},
        {"port-43 refusal is blocked", "busy.cn", std::string(kWhoisFailure), FailureKind::Blocked, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_server.clearRequests();
        const fetch::Outcome<std::string> found = QueryWhois(c.typed);
        EXPECT_TRUE(found.failed());
        EXPECT_EQ(found.value, c.shown);
        EXPECT_EQ(found.kind(), c.failure) << found.why();
        if (!c.asked) {
            EXPECT_TRUE(m_server.requests().empty());
        }
    }
}

TEST_F(CurrentWhois, RawGivesTheAnswersAsTheyCame)
{
    const fetch::Outcome<std::string> raw = QueryDomainRegistration("example.com", true);
    ASSERT_EQ(raw.why(), "");
    EXPECT_EQ(raw.value.find(R"({"entities":)"), 0u) << raw.value.substr(0, 80);
    EXPECT_NE(raw.value.find(R"("objectClassName":"domain")"), std::string::npos);
    EXPECT_NE(raw.value.find("\n{"), std::string::npos) << "the registrar's answer follows";
    EXPECT_EQ(QueryDomainRegistration("example.cn", true).value, standin::WhoisStandin::cnnicAnswer("example.cn"));
}

TEST(ClassicWhois, TheClassicBaseKeepsTheWebForm)
{
    const std::string page = text::utf8ToGbk("<!-- start -->ok友情提示");
    kaldrani::testing::ScriptedServer server({kaldrani::testing::reply(
        "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(page.size()) + "\r\n\r\n" + page)});
    net::addConnectToRules({{"", "", "127.0.0.1", std::to_string(server.port())}});
    ASSERT_EQ(profiles::activeProfile()->base, "classic");
    EXPECT_EQ(QueryWhois("例子.中国").value, "ok");
    net::clearConnectToRules();
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].rfind("GET /cgi-bin/whois?domain=??.?? HTTP/1.1\r\n", 0), 0u);
}

TEST(Port43, ReferralAndAnswerTextsAndRefusals)
{
    EXPECT_EQ(referredServer(standin::WhoisStandin::ianaAnswer("cn")), "whois.cnnic.cn");
    EXPECT_EQ(referredServer("refer: evil.test\r\nX"), "evil.test");
    EXPECT_EQ(referredServer("refer: a b;rm\n"), "");
    EXPECT_EQ(referredServer(standin::WhoisStandin::ianaAnswer("zz")), "");
    // GBK bytes of "注册商" come out as UTF-8; LF and CR LF both end up CR LF.
    EXPECT_EQ(whoisAnswerText("Registrar: \xd7\xa2\xb2\xe1\xc9\xcc\nA\r\nB"), "Registrar: 注册商\r\nA\r\nB");
    EXPECT_EQ(whoisAnswerText("名称: 例子\n"), "名称: 例子\r\n");
    EXPECT_TRUE(isWhoisRefusal("Your connection limit exceeded. Please slow down and try again later.\r\n"));
    EXPECT_TRUE(isWhoisRefusal("Queried interval is too short.\r\n"));
    EXPECT_FALSE(isWhoisRefusal(standin::WhoisStandin::cnnicAnswer("example.cn")));
    EXPECT_EQ(port43ExpiryDay(standin::WhoisStandin::cnnicAnswer("example.cn")),
              standin::registrationOf("example.cn").expires);
    EXPECT_EQ(port43ExpiryDay("Registry Expiry Date: 2027-08-13T04:00:00Z\n"), "2027-08-13");
    EXPECT_EQ(port43ExpiryDay("Expiration Time: soon\n"), "");
}

TEST(Port43, EveryWaitAndTheSizeAreBounded)
{
    const net::WhoisLimits limits{1000, 300, 800, 64 * 1024};
    struct Case {
        const char* name;
        kaldrani::testing::Reply reply;
        int gapMs;
        net::NetError::Kind kind;
    };
    std::vector<std::string> drip(200, "x");
    const Case cases[] = {
        {"a drip outlasts the deadline", {drip, kaldrani::testing::Reply::Then::Close}, 20, net::NetError::Kind::Deadline},
        {"a silent server", {{"% partial"}, kaldrani::testing::Reply::Then::Stall}, 0, net::NetError::Kind::TimedOut},
        {"a flood is cut off", {{std::string(256 * 1024, 'x')}, kaldrani::testing::Reply::Then::Stall}, 0,
         net::NetError::Kind::TooLarge},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        kaldrani::testing::ScriptedServer server({c.reply}, c.gapMs, "\r\n");
        const auto start = std::chrono::steady_clock::now();
        try {
            net::askWhoisServer("127.0.0.1", server.port(), "example.cn", limits);
            ADD_FAILURE() << "no failure";
        } catch (const net::NetError& e) {
            EXPECT_EQ(e.kind(), c.kind) << e.what();
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
        ASSERT_EQ(server.requests().size(), 1u);
        EXPECT_EQ(server.requests()[0], "example.cn\r\n");
    }
    EXPECT_THROW(net::askWhoisServer("127.0.0.1", 1, "a\r\nb", limits), net::NetError);
}

TEST(Port43, TheSameBytesAsTheSystemsWhoisCommand)
{
    standin::WhoisStandin servers;
    const std::string port = std::to_string(servers.cnnicPort());
    const kaldrani::testing::ProcessResult whois
        = kaldrani::testing::runProcess({"/usr/bin/whois", "-h", "127.0.0.1", "-p", port, "example.cn"}, {});
    ASSERT_EQ(whois.exitCode, 0) << whois.err;
    const std::string ours = net::askWhoisServer("127.0.0.1", servers.cnnicPort(), "example.cn", {});
    EXPECT_EQ(ours, standin::WhoisStandin::cnnicAnswer("example.cn"));
    EXPECT_EQ(kaldrani::testing::crlfLines(whois.out), whoisAnswerText(ours));
}

} // namespace
} // namespace kaldrani::lookups
