#include "CurrentPages.h"
#include "MmdbWriter.h"
#include "StandinServer.h"
#include "StandinTls.h"
#include "TempFolder.h"

#include "core/lookups/IpDatabase.h"
#include "core/lookups/IpQuery.h"
#include "core/net/ConnectTo.h"
#include "core/net/NetError.h"
#include "core/net/Tls.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace kaldrani::lookups {
namespace {

std::string fileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

const std::vector<kaldrani::testing::MmdbPlace> kPlaces = {
    {"1.2.3.0/24", "China", "中国", "Beijing", "Beijing"},
    {"127.0.0.0/8", "", "", "", "Loopback"},
    {"2001:db8::/32", "Germany", "德国", "Hesse", "Frankfurt am Main"},
    {"198.51.100.0/24", "Japan", "", "", ""},
};

class OfflineIp : public ::testing::Test {
protected:
    OfflineIp()
    {
        ::setenv("XDG_DATA_HOME", m_folder.path().c_str(), 1);
        m_path = ipDatabasePath();
    }
    ~OfflineIp() override { ::unsetenv("XDG_DATA_HOME"); }

    kaldrani::testing::TempFolder m_folder;
    std::filesystem::path m_path;
};

TEST_F(OfflineIp, AnswersIpv4Ipv6AndHostsWithTheAttribution)
{
    EXPECT_EQ(m_path, m_folder.path() / "kaldrani" / "dbip-city-lite.mmdb");
    EXPECT_EQ(QueryIpPlace("1.2.3.4").value, kIpDatabaseMissing);
    installIpDatabase(m_path, kaldrani::standin::gzipped(kaldrani::testing::writeMmdb(kPlaces)));

    const std::string attribution(kIpAttribution);
    struct Case {
        const char* name;
        const char* typed;
        std::string shown;
        bool failed;
    };
    const Case cases[] = {
        {"IPv4", "1.2.3.4", "您查询的IP：1.2.3.4\r\n国家：中国\r\n地区：Beijing\r\n城市：Beijing\r\n" + attribution, false},
        {"http:// and a path dropped", "http://1.2.3.4/x", "您查询的IP：1.2.3.4\r\n国家：中国\r\n地区：Beijing\r\n城市：Beijing\r\n" + attribution, false},
        {"IPv6", "2001:db8::1", "您查询的IP：2001:db8::1\r\n国家：德国\r\n地区：Hesse\r\n城市：Frankfurt am Main\r\n" + attribution, false},
        {"IPv6 in brackets", "[2001:db8::1]:443", "您查询的IP：2001:db8::1\r\n国家：德国\r\n地区：Hesse\r\n城市：Frankfurt am Main\r\n" + attribution, false},
        {"English name when no Chinese, unknown parts left out", "198.51.100.9", "您查询的IP：198.51.100.9\r\n国家：Japan\r\n" + attribution, false},
        {"a host name, resolved", "localhost", "您查询的IP：127.0.0.1\r\n域名：localhost\r\n城市：Loopback\r\n" + attribution, false},
        {"not in the database", "9.9.9.9", std::string(kIpNotFound), true},
        {"neither address nor host", "no such host.invalid", std::string(kIpFailure), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fetch::Outcome<std::string> found = QueryIpPlace(c.typed);
        EXPECT_EQ(found.value, c.shown);
        EXPECT_EQ(found.failed(), c.failed) << found.why();
    }
}

TEST_F(OfflineIp, AFailedReplacementLeavesTheOldFile)
{
    const std::string old = kaldrani::testing::writeMmdb(kPlaces);
    installIpDatabase(m_path, kaldrani::standin::gzipped(old));
    const std::string gz = kaldrani::standin::gzipped(kaldrani::testing::writeMmdb({{"5.6.7.0/24", "France", "", "", ""}}));
    struct Case {
        const char* name;
        std::string gz;
    };
    const Case cases[] = {
        {"cut off halfway", gz.substr(0, gz.size() / 2)},
        {"not gzip", "<html>Too Many Requests</html>"},
        {"gzip of something else", kaldrani::standin::gzipped("not a database")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_ANY_THROW(installIpDatabase(m_path, c.gz));
        EXPECT_EQ(fileBytes(m_path), old);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_path.parent_path()), {}), 1) << "temporary file left";
    }
    installIpDatabase(m_path, gz);
    EXPECT_EQ(lookUpPlace(m_path, "5.6.7.8").country, "France");
}

TEST_F(OfflineIp, UpdateDownloadsThisMonthsFileAndAnInterruptedOneChangesNothing)
{
    standin::StandinAuthority authority;
    authority.writeCertificate(m_folder.path() / "ca.pem");
    net::addTrustAnchorFile((m_folder.path() / "ca.pem").string());
    standin::StandinServer server({.authority = &authority});
    net::addConnectToRules({{"", "443", "127.0.0.1", std::to_string(server.tlsPort())}});
    const std::string gz = kaldrani::standin::gzipped(kaldrani::testing::writeMmdb(kPlaces));
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    const std::string url = dbIpUrl(tm.tm_year + 1900, tm.tm_mon + 1);
    const std::string path = url.substr(std::string("https://download.db-ip.com").size());
    EXPECT_EQ(path.rfind("/free/dbip-city-lite-", 0), 0u);

    standin::Response cut;
    cut.raw = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(gz.size()) + "\r\n\r\n" + gz.substr(0, gz.size() / 2);
    server.setAnswer("download.db-ip.com", path, cut);
    EXPECT_ANY_THROW(updateIpDatabase(m_path, {}));
    EXPECT_FALSE(std::filesystem::exists(m_path));

    standin::Response whole;
    whole.headers.push_back({"Content-Type", "application/gzip"});
    whole.body = gz;
    server.setAnswer("download.db-ip.com", path, whole);
    std::uint64_t last = 0, total = 0;
    updateIpDatabase(m_path, [&](std::uint64_t received, std::uint64_t all) {
        last = received;
        total = all;
    });
    EXPECT_EQ(total, gz.size());
    EXPECT_EQ(last, gz.size());
    EXPECT_EQ(lookUpPlace(m_path, "1.2.3.4").city, "Beijing");

    const std::string before = fileBytes(m_path);
    server.setAnswer("download.db-ip.com", path, cut);
    EXPECT_ANY_THROW(updateIpDatabase(m_path, {}));
    EXPECT_EQ(fileBytes(m_path), before);
    net::clearConnectToRules();
}

} // namespace
} // namespace kaldrani::lookups
