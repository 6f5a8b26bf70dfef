// whois, ip and health with the profile base "current", run as the real binary against
// the stand-in's RDAP registries, port-43 servers, download host and certificates.
#include "CurrentPages.h"
#include "MmdbWriter.h"
#include "ProcessRunner.h"
#include "RdapPages.h"
#include "ScriptedServer.h"
#include "StandinServer.h"
#include "StandinTls.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <ctime>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace kaldrani;
using kaldrani::testing::ProcessResult;
using kaldrani::testing::crlfLines;

std::string today(int plusDays)
{
    const std::time_t t = std::time(nullptr) + plusDays * 86400;
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &tm);
    return text;
}

long daysUntil(const std::string& day)
{
    std::tm tm{};
    tm.tm_year = std::stoi(day.substr(0, 4)) - 1900;
    tm.tm_mon = std::stoi(day.substr(5, 2)) - 1;
    tm.tm_mday = std::stoi(day.substr(8, 2));
    return static_cast<long>(timegm(&tm) / 86400 - std::time(nullptr) / 86400);
}

class CurrentLookupsCli : public ::testing::Test {
protected:
    CurrentLookupsCli() : server({.authority = &authority, .world = standin::World::Current})
    {
        authority.writeCertificate(folder.path() / "ca.pem");
        std::filesystem::create_directories(folder.path() / "config" / "kaldrani");
        std::ofstream(folder.path() / "config" / "kaldrani" / "engines.toml") << "base = \"current\"\n";
    }

    ProcessResult cli(std::vector<std::string> args)
    {
        const std::string tls = std::to_string(server.tlsPort());
        args.insert(args.begin(),
                    {KALDRANI_CLI, "--connect-to", "whois.iana.org:43:127.0.0.1:" + std::to_string(whois.ianaPort()),
                     "--connect-to", "whois.cnnic.cn:43:127.0.0.1:" + std::to_string(whois.cnnicPort()),
                     "--connect-to", "cwhois.cnnic.cn:43:127.0.0.1:" + std::to_string(whois.cnnicPort()),
                     "--connect-to", ":443:127.0.0.1:" + tls, "--connect-to", "::127.0.0.1:" + std::to_string(server.port()),
                     "--data-dir", (folder.path() / "data").string()});
        return kaldrani::testing::runProcess(
            args, {"KALDRANI_CONNECT_TO=", "KALDRANI_CA_FILE=" + (folder.path() / "ca.pem").string(),
                   "XDG_CONFIG_HOME=" + (folder.path() / "config").string(),
                   "XDG_CACHE_HOME=" + (folder.path() / "cache").string(),
                   "XDG_DATA_HOME=" + (folder.path() / "share").string()});
    }

    kaldrani::testing::TempFolder folder;
    standin::StandinAuthority authority;
    standin::StandinServer server;
    standin::WhoisStandin whois;
};

TEST_F(CurrentLookupsCli, WhoisByRdapAndPort43InBothForms)
{
    const standin::RegistrationFigures com = standin::registrationOf("example.com");
    const std::string comRecord = "域名：EXAMPLE.COM\r\n注册商：" + com.registrar + "\r\n注册人组织：" + com.registrant
                                  + "\r\n注册日期：" + com.registered + "\r\n到期日期：" + com.expires + "\r\n更新日期："
                                  + com.changed
                                  + "\r\n域名状态：client delete prohibited\r\n域名状态：client transfer prohibited\r\n"
                                    "域名服务器：ns1.example.com\r\n域名服务器：ns2.example.com\r\n";
    const std::string idn = "域名：例子.中国（XN--FSQU00A.XN--FIQS8S）\r\n\r\n"
                            + crlfLines(standin::WhoisStandin::cnnicAnswer("xn--fsqu00a.xn--fiqs8s"));
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::string out;
    };
    const Case cases[] = {
        {"gTLD by RDAP", {"whois", "example.com"}, comRecord},
        {".cn by port 43", {"whois", "example.cn"}, crlfLines(standin::WhoisStandin::cnnicAnswer("example.cn"))},
        {"IDN typed in Unicode", {"whois", "例子.中国"}, idn},
        {"IDN typed in A-labels", {"whois", "xn--fsqu00a.xn--fiqs8s"}, idn},
        {"an invalid name", {"whois", "例子..中国"}, "\r\n域名无效：至少需要两级，且各级不能为空"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ProcessResult r = cli(c.args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, c.out);
    }
    const ProcessResult raw = cli({"whois", "--raw", "example.com"});
    EXPECT_EQ(raw.exitCode, 0) << raw.err;
    EXPECT_EQ(raw.out.rfind(R"({"entities":)", 0), 0u) << raw.out;
    const ProcessResult refused = cli({"whois", "--raw", "--why", "busy.cn"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("blocked"), std::string::npos) << refused.err;
}

TEST_F(CurrentLookupsCli, IpFromTheOfflineDatabaseAfterAnUpdate)
{
    const ProcessResult missing = cli({"ip", "1.2.3.4"});
    EXPECT_EQ(missing.out, "没有离线 IP 数据库，请先下载（kaldrani-cli ip --update）。");

    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char path[64];
    std::snprintf(path, sizeof path, "/free/dbip-city-lite-%04d-%02d.mmdb.gz", tm.tm_year + 1900, tm.tm_mon + 1);
    standin::Response file;
    file.body = standin::gzipped(kaldrani::testing::writeMmdb({{"1.2.3.0/24", "China", "中国", "Beijing", "Beijing"}}));
    server.setAnswer("download.db-ip.com", path, file);
    const ProcessResult update = cli({"ip", "--update"});
    ASSERT_EQ(update.exitCode, 0) << update.err;
    EXPECT_EQ(update.err, "") << "no progress line without a terminal";
    EXPECT_NE(update.out.find("IP 数据：DB-IP.com（CC BY 4.0）"), std::string::npos);

    const ProcessResult found = cli({"ip", "1.2.3.4"});
    EXPECT_EQ(found.exitCode, 0);
    EXPECT_EQ(found.out, "您查询的IP：1.2.3.4\r\n国家：中国\r\n地区：Beijing\r\n城市：Beijing\r\nIP 数据：DB-IP.com（CC BY 4.0）");
}

TEST_F(CurrentLookupsCli, HealthListsTheExpiryFigures)
{
    const ProcessResult r = cli({"health", "--tsv", "expiring.com", "example.com"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const standin::RegistrationFigures com = standin::registrationOf("example.com");
    EXPECT_EQ(r.out, "expiring.com\tdomain-expiry\t" + today(20) + "\t20\n"
                     "expiring.com\tcertificate-expiry\t" + today(10) + "\t10\n"
                     "expiring.com\tcertificate\tok\t\n"
                     "expiring.com\tresolves\tok\t\n"
                     "example.com\tdomain-expiry\t" + com.expires + "\t" + std::to_string(daysUntil(com.expires))
                         + "\nexample.com\tcertificate-expiry\t" + today(90) + "\t90\n"
                     "example.com\tcertificate\tok\t\n"
                     "example.com\tresolves\tok\t\n");

    // track --health tells what is about to run out, in its lines and its notice.
    std::filesystem::create_directories(folder.path() / "data" / "vemro");
    std::ofstream(folder.path() / "data" / "vemro" / "website.txt") << "expiring.com\r\nexample.com\r\n";
    const ProcessResult track = cli({"track", "--health", "--delay", "0", "--jobs", "8", "--tsv"});
    EXPECT_EQ(track.exitCode, 0) << track.err << track.out;
    EXPECT_NE(track.out.find("expiring.com\tdomain-expiry\t20\t\t\t" + today(20) + "\t\n"), std::string::npos)
        << track.out;
    EXPECT_NE(track.out.find("expiring.com\tcertificate-expiry\t10\t\t\t" + today(10) + "\t\n"), std::string::npos);
    EXPECT_EQ(track.out.find("example.com\tdomain-expiry"), std::string::npos);
    EXPECT_EQ(track.out.find("example.com\tcertificate-expiry"), std::string::npos);
    const ProcessResult tighter = cli({"track", "--health", "--delay", "0", "--jobs", "8", "--tsv", "--domain-days", "10"});
    EXPECT_EQ(tighter.out.find("expiring.com\tdomain-expiry"), std::string::npos) << tighter.out;
}

} // namespace
