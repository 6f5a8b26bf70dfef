// The stand-in's TLS: what lets the demo and the tests use the program's encrypted paths
// offline, with the program's certificate checks as they are for the real services.
#include "SmtpStandin.h"
#include "StandinServer.h"
#include "StandinTls.h"

#include "core/mail/TSmtpClient.h"
#include "core/net/ConnectTo.h"
#include "core/net/HttpClient.h"
#include "core/net/Tls.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

using namespace kaldrani;

namespace {

// An authority whose certificate the program trusts, as scripts/run arranges.
class StandinTls : public ::testing::Test {
protected:
    StandinTls()
    {
        m_authority.writeCertificate(m_folder.path() / "ca.pem");
        net::addTrustAnchorFile((m_folder.path() / "ca.pem").string());
    }
    ~StandinTls() override { net::clearConnectToRules(); }

    kaldrani::testing::TempFolder m_folder;
    standin::StandinAuthority m_authority;
};

} // namespace

TEST_F(StandinTls, ServesEveryHostOverHttpsAndCanRedirectPlainHttpThere)
{
    standin::StandinServer server({.authority = &m_authority, .redirectToHttps = true});
    ASSERT_GT(server.tlsPort(), 0);
    net::addConnectToRules({{"", "443", "127.0.0.1", std::to_string(server.tlsPort())},
                            {"", "", "127.0.0.1", std::to_string(server.port())}});
    // Each host the program asks gets a certificate for its own name.
    for (const char* host : {"www.baidu.com", "www.sogou.com", "whois.example.test"}) {
        SCOPED_TRACE(host);
        server.setAnswer(host, "/page", standin::utf8Page(host));
        net::THttpClient client;
        client.HandleRedirects = true;
        EXPECT_EQ(client.FetchPage(std::string("http://") + host + "/page?q=1"), host);
    }
    // Each asked twice: over plain HTTP, redirected, then over HTTPS with the same target.
    const std::vector<standin::Request> requests = server.requests();
    ASSERT_EQ(requests.size(), 6u);
    for (const standin::Request& r : requests)
        EXPECT_EQ(r.target, "/page?q=1");

    net::THttpClient plain;
    try {
        plain.FetchPage("http://www.baidu.com/s?wd=site%3Aexample.com");
        ADD_FAILURE() << "no redirect";
    } catch (const net::HttpStatusError& e) {
        EXPECT_EQ(e.code(), 301);
    }
}

TEST_F(StandinTls, AnUntrustedAuthorityIsRefusedAsAnyOther)
{
    standin::StandinAuthority stranger;
    standin::StandinServer server({.authority = &stranger});
    net::addConnectToRules({{"", "", "127.0.0.1", std::to_string(server.tlsPort())}});
    net::THttpClient client;
    try {
        client.FetchPage("https://www.baidu.com/");
        ADD_FAILURE() << "fetched";
    } catch (const net::NetError& e) {
        EXPECT_EQ(e.kind(), net::NetError::Kind::Tls);
        EXPECT_STREQ(e.what(), "TLS: unable to get local issuer certificate");
    }
}

TEST_F(StandinTls, MailGoesOverStartTlsAndImplicitTls)
{
    standin::SmtpStandin standin(m_folder.path() / "mail", 0, &m_authority);
    ASSERT_GT(standin.tlsPort(), 0);
    net::addConnectToRules({{"", "25", "127.0.0.1", std::to_string(standin.port())},
                            {"", "465", "127.0.0.1", std::to_string(standin.tlsPort())}});
    for (const int port : {25, 465}) {
        SCOPED_TRACE(port);
        mail::TSmtpClient client;
        client.Host = "smtp.example.com";
        client.Port = port;
        client.Username = "anyone";
        client.Password = "anything";
        client.Connect();
        EXPECT_TRUE(client.Encrypted());
        // After STARTTLS the capabilities are those offered inside TLS.
        EXPECT_EQ(client.Capabilities(), (std::vector<std::string>{"AUTH LOGIN", "8BITMIME"}));
        EXPECT_TRUE(client.Authenticate());
        mail::TMailMessage message;
        message.setFrom("me@example.com");
        message.setRecipients("a@example.com");
        message.Subject = "Hi";
        message.setBody("body");
        client.Send(message);
        client.Disconnect();
    }
    EXPECT_EQ(standin.messagesWritten(), 2);
}
