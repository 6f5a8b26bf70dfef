#include "ByteFiles.h"
#include "OverviewPages.h"
#include "ProcessRunner.h"
#include "StandinServer.h"
#include "TempFolder.h"
#include "core/fetch/Endpoints.h"
#include "core/records/DataFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace kaldrani;

using kaldrani::testing::lines;

using CliRun = kaldrani::testing::ProcessResult;

// kaldrani-cli against a stand-in on loopback, with a data folder of its own.
class OverviewCli : public ::testing::Test {
protected:
    // Runs the binary with the stand-in's port as the target of every connection.
    CliRun cli(std::vector<std::string> args, int port = -1)
    {
        if (port < 0)
            port = server.port();
        args.insert(args.begin(), {KALDRANI_CLI, "--connect-to", "::127.0.0.1:" + std::to_string(port),
                                   "--data-dir", m_temp.string()});
        return kaldrani::testing::runProcess(args, {"KALDRANI_CONNECT_TO"});
    }

    void listSites(const std::string& listText)
    {
        fs::create_directories(m_temp / "vemro" / "data");
        kaldrani::testing::writeBytes(m_temp / "vemro" / "website.txt", listText);
    }

    fs::path historyFile(const std::string& site) const { return m_temp / "vemro" / "data" / (site + ".txt"); }

    standin::StandinServer server;
    kaldrani::testing::TempFolder m_folder;
    const fs::path& m_temp = m_folder.path();
};

std::vector<std::string> expectedLines(const std::string& domain)
{
    static const char* const labels[] = {"百度", "谷歌", "雅虎", "搜狗", "搜搜", "有道", "必应"};
    const auto f = standin::overviewFigures(domain);
    std::vector<std::string> out;
    for (int i = 0; i < 7; ++i)
        out.push_back(std::string(labels[i]) + "\t" + std::to_string(f.indexed[i]) + "\t"
                      + std::to_string(f.backlinks[i]));
    out.push_back("PageRank\t" + std::to_string(f.pageRank));
    out.push_back("SogouRank\t" + std::to_string(f.sogouRating));
    out.push_back("AlexaRank\t" + std::to_string(f.alexaRank));
    out.push_back("ChinaRank\t" + std::to_string(f.chinaRank));
    return out;
}

TEST_F(OverviewCli, PrintsElevenLinesAndRecordsAListedSite)
{
    listSites("other.com\r\nexample.com\r\nExample.org\r\n");
    const CliRun r = cli({"overview", "example.com"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(lines(r.out), expectedLines("example.com"));
    EXPECT_EQ(server.requests().size(), 18u);

    const std::string record = kaldrani::testing::readBytes(historyFile("example.com"));
    EXPECT_EQ(lines(record).size(), 1u);
    EXPECT_TRUE(record.ends_with("\r\n"));

    // The history verb shows the record back, newest first.
    cli({"overview", "example.com"});
    const CliRun history = cli({"history", "example.com"});
    EXPECT_EQ(history.exitCode, 0) << history.err;
    const auto shown = lines(history.out);
    ASSERT_EQ(shown.size(), 2u);
    const auto f = standin::overviewFigures("example.com");
    EXPECT_TRUE(shown[0].starts_with(std::to_string(f.indexed[0]) + "/" + std::to_string(f.backlinks[0]) + "\t"))
        << shown[0];
}

TEST_F(OverviewCli, UnlistedOrDifferentlyCasedDomainGetsNoRecord)
{
    listSites("Example.org\r\n");
    for (const char* domain : {"example.org", "example.net"}) {
        SCOPED_TRACE(domain);
        const CliRun r = cli({"overview", domain});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(lines(r.out), expectedLines(domain));
    }
    EXPECT_TRUE(fs::is_empty(m_temp / "vemro" / "data"));
}

TEST_F(OverviewCli, RejectedDomainsFetchNothing)
{
    struct Case {
        const char* name;
        std::vector<std::string> args;
    };
    const Case cases[] = {
        {"scheme", {"overview", "http://example.com"}},
        {"single-letter label", {"overview", "a.com"}},
        {"port", {"overview", "example.com:80"}},
        {"empty", {"overview", ""}},
        {"missing", {"overview"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CliRun r = cli(c.args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err, "");
    }
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(OverviewCli, FailuresAndOddPagesStayElevenLines)
{
    namespace ep = endpoints;
    server.setAnswer(ep::kBaidu, "/s", standin::gbkPage("找到相关网页约1\n2\t3篇"));
    server.setAnswer(ep::kSogou, "/web", standin::gbkPage("找到 约9 <!-- 搜狗评级:150/100"));
    server.setAnswer(ep::kMaker, "/pr/", standin::utf8Page("<strong>12</strong>"));
    server.setAnswer(ep::kMaker, "/api/alexa.asp", standin::utf8Page("12,345\r\n", "text/plain"));
    listSites("example.com\r\n");

    const CliRun r = cli({"overview", "example.com"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const auto out = lines(r.out);
    ASSERT_EQ(out.size(), 11u) << r.out;
    EXPECT_EQ(out[0], "百度\t1 2 3\t1 2 3");
    EXPECT_EQ(out[3], "搜狗\t约9\t约9");
    EXPECT_EQ(out[7], "PageRank\t12");
    EXPECT_EQ(out[8], "SogouRank\t100");
    EXPECT_EQ(out[9], "AlexaRank\t12,345");

    // The record stays one line of twelve fields.
    const auto record = lines(kaldrani::testing::readBytes(historyFile("example.com")));
    ASSERT_EQ(record.size(), 1u);
    EXPECT_NE(record[0].find(",12,100,12345,"), std::string::npos) << record[0];
}

TEST_F(OverviewCli, UnreachableServicesGiveFailureValues)
{
    int closedPort = 0;
    {
        standin::StandinServer gone;
        closedPort = gone.port();
    }
    // Every query failed: the lines are the failure values, the status says so.
    const CliRun r = cli({"overview", "example.com"}, closedPort);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    std::vector<std::string> expected;
    for (const char* label : {"百度", "谷歌", "雅虎", "搜狗", "搜搜", "有道", "必应"})
        expected.push_back(std::string(label) + "\t0\t0");
    for (const char* line : {"PageRank\t0", "SogouRank\t0", "AlexaRank\t查询失败", "ChinaRank\t0"})
        expected.push_back(line);
    EXPECT_EQ(lines(r.out), expected);
}

TEST_F(OverviewCli, UnwritableHistoryFailsAfterPrinting)
{
    listSites("example.com\r\n");
    // A file where the history folder belongs: the record's file cannot be created.
    fs::remove_all(m_temp / "vemro" / "data");
    kaldrani::testing::writeBytes(m_temp / "vemro" / "data", "not a folder");
    const CliRun r = cli({"overview", "example.com"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(lines(r.out).size(), 11u);
    EXPECT_NE(r.err.find("Cannot"), std::string::npos) << r.err;
}

TEST_F(OverviewCli, WhyListsEachFailedFigureOnStderr)
{
    namespace ep = endpoints;
    server.setAnswer(ep::kGoogle, "/search", standin::gbkPage("<p>nothing here</p>"));
    standin::Response unavailable = standin::utf8Page("busy");
    unavailable.status = 503;
    unavailable.reason = "Service Unavailable";
    server.setAnswer(ep::kMaker, "/api/alexa.asp", unavailable);

    // One failed query is enough for status 1, as for track.
    const CliRun r = cli({"overview", "--why", "example.com"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    const auto shown = lines(r.out);
    ASSERT_EQ(shown.size(), 11u);
    EXPECT_EQ(shown[1], "谷歌\t0\t0");
    EXPECT_EQ(shown[9], "AlexaRank\t查询失败");
    EXPECT_EQ(lines(r.err), (std::vector<std::string>{"谷歌\t收录情况\tno count on the page",
                                                      "谷歌\t反向链接\tno count on the page",
                                                      "AlexaRank\t\tHTTP/1.1 503 Service Unavailable"}));

    // Unreachable: every figure fails, each reason on one line; without --why stderr stays quiet.
    int closedPort = 0;
    {
        standin::StandinServer gone;
        closedPort = gone.port();
    }
    const CliRun refused = cli({"overview", "--why", "example.com"}, closedPort);
    EXPECT_EQ(refused.exitCode, 1) << refused.err;
    const auto why = lines(refused.err);
    ASSERT_EQ(why.size(), 18u) << refused.err;
    EXPECT_EQ(why.front(), "百度\t收录情况\tSocket Error # 111 Connection refused.");
    EXPECT_EQ(why.back(), "ChinaRank\t\tSocket Error # 111 Connection refused.");
    EXPECT_EQ(cli({"overview", "example.com"}, closedPort).err, "");
}

} // namespace
