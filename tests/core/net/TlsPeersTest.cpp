#include "FetchFixture.h"
#include "TlsPeers.h"
#include "core/net/ConnectTo.h"
#include "core/net/HttpClient.h"
#include "core/net/Tls.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>

using namespace kaldrani;
using kaldrani::testing::NginxServer;
using kaldrani::testing::OpensslServer;
using kaldrani::testing::TestCertificates;

namespace {

class TlsPeers : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_certs = std::make_unique<TestCertificates>();
        net::addTrustAnchorFile(s_certs->file("ca.pem"));
        // Bytes a text decoder would change: they must arrive as they were sent.
        std::ofstream(s_certs->file("page.html"), std::ios::binary) << std::string("\xb0\xd9\xb6\xc8 \r\n\0end", 11);
    }
    static void TearDownTestSuite() { s_certs.reset(); }

    void TearDown() override { net::clearConnectToRules(); }

    // Fetches from the server as https://a.example, the socket sent to the loopback port.
    static FetchOutcome fetchFrom(const OpensslServer& server, const std::string& path)
    {
        net::clearConnectToRules();
        net::addConnectToRules({{"a.example", "", "127.0.0.1", std::to_string(server.port())}});
        FetchSettings settings;
        settings.readTimeout = 5000;
        return fetchStream("https://a.example" + path, settings);
    }

    static std::unique_ptr<TestCertificates> s_certs;
};

std::unique_ptr<TestCertificates> TlsPeers::s_certs;

TEST_F(TlsPeers, ATrustedServerGivesThePageByteForByteUnderTheAddresssName)
{
    const OpensslServer server(*s_certs, "good");
    const auto got = fetchFrom(server, "/page.html");
    EXPECT_EQ(got.error, "");
    EXPECT_EQ(got.body, std::string("\xb0\xd9\xb6\xc8 \r\n\0end", 11));
}

TEST_F(TlsPeers, EachUntrustedServerFailsWithItsReason)
{
    struct Case {
        const char* name;
        const char* certificate;
        std::vector<std::string> extra;
        std::string error;
    };
    const Case cases[] = {
        {"expired", "expired", {}, "TLS: certificate has expired"},
        {"for another name", "other", {}, "TLS: certificate is for other.example, not a.example"},
        // A NUL must neither cut the reason short nor hide what follows it.
        {"for a name with a NUL", "nul", {}, "TLS: certificate is for a.example\\x00.evil.test, not a.example"},
        {"self-signed", "self", {}, "TLS: self-signed certificate"},
        {"from an unknown authority", "unknown", {}, "TLS: unable to get local issuer certificate"},
        {"TLS 1.0 only", "good", {"-tls1", "-cipher", "DEFAULT@SECLEVEL=0"}, "TLS: the server offers no protocol version this program accepts (TLS 1.2 or later)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const OpensslServer server(*s_certs, c.certificate, c.extra);
        EXPECT_EQ(fetchFrom(server, "/page.html").error, c.error);
    }
}

TEST_F(TlsPeers, ADnsNameWrittenAsTheAddressIsToldApartFromIt)
{
    const OpensslServer server(*s_certs, "dnsip");
    FetchSettings settings;
    settings.readTimeout = 5000;
    EXPECT_EQ(fetchStream("https://127.0.0.1:" + std::to_string(server.port()) + "/page.html", settings).error,
              "TLS: certificate is for 127.0.0.1 (as a name, not an address), not 127.0.0.1");
}

TEST_F(TlsPeers, NginxRedirectsFromPlainToTlsAndTheFetchFollows)
{
    const NginxServer nginx(*s_certs);
    net::addConnectToRules({{"a.example", "", "127.0.0.1", ""}});
    FetchSettings settings;
    settings.follow = true;
    settings.readTimeout = 5000;
    const auto got = fetchStream("http://a.example:" + std::to_string(nginx.plainPort()) + "/page.html", settings);
    EXPECT_EQ(got.error, "");
    EXPECT_EQ(got.body, std::string("\xb0\xd9\xb6\xc8 \r\n\0end", 11));
}

} // namespace
