#include "KeywordPages.h"
#include "ProcessRunner.h"
#include "StandinServer.h"
#include "TempFolder.h"
#include "core/model/SearchEngine.h"
#include "core/queries/KeywordSearch.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace kaldrani;
using kaldrani::testing::runProcess;

using kaldrani::testing::lines;

// The line the verb prints for an engine.
std::string row(SearchEngine e, const std::string& text, const std::string& url)
{
    return std::string(engineLabel(e)) + "\t" + text + "\t" + url;
}

std::string rankText(int position)
{
    return "搜索排名第 " + std::to_string(position) + " 位";
}

class RankCli : public ::testing::Test {
protected:
    kaldrani::testing::ProcessResult rank(std::vector<std::string> args, int port = -1)
    {
        args.insert(args.begin(), {KALDRANI_CLI, "--connect-to",
                                   "::127.0.0.1:" + std::to_string(port < 0 ? server.port() : port), "rank"});
        // rank reads the site list (a listed site's scan is kept): never the user's own.
        return runProcess(args, {"KALDRANI_CONNECT_TO=", "XDG_DATA_HOME=" + data.path().string()});
    }

    kaldrani::testing::TempFolder data;
    standin::StandinServer server;
};

TEST_F(RankCli, ScansEveryEngineOnTheFirstPageByDefault)
{
    const auto run = rank({"example.com", "网站优化"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> expected;
    for (const SearchEngine e : kSearchEngines) {
        const int position = standin::keywordRank(e, "example.com", "网站优化").value_or(0);
        expected.push_back(
            row(e, rankText(position <= 10 ? position : 0), queries::keywordPageUrl(e, "网站优化", 1)));
    }
    EXPECT_EQ(lines(run.out), expected);
    EXPECT_EQ(run.err, "");
}

TEST_F(RankCli, EnginesAskedSideBySideGiveTheSameLinesAndProgressInOrder)
{
    const std::vector<std::string> args = {"--progress", "--engines", "baidu,sogou,bing", "--first", "1", "--last", "3",
                                           "example.com", "网站优化"};
    const auto oneByOne = rank(args);
    std::vector<std::string> sideArgs = {"--jobs", "7"};
    sideArgs.insert(sideArgs.end(), args.begin(), args.end());
    const auto sideBySide = rank(sideArgs);
    EXPECT_EQ(sideBySide.exitCode, 0) << sideBySide.err;
    EXPECT_EQ(sideBySide.out, oneByOne.out);
    EXPECT_EQ(sideBySide.err, oneByOne.err);
}

TEST_F(RankCli, ScansTheChosenEnginesOverTheRangeAndReportsProgress)
{
    const std::string keyword = "A++ 教程";
    const auto run = rank({"--first", "2", "--last", "6", "--engines", "bing,sogou", "--progress",
                           "www.example.com", keyword});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> expected, progress;
    for (const SearchEngine e : kSearchEngines) {
        if (e != SearchEngine::Sogou && e != SearchEngine::Bing) {
            expected.push_back(row(e, "未选择", ""));
            continue;
        }
        const int position = standin::keywordRank(e, "www.example.com", keyword).value_or(0);
        const bool inRange = position > 10 && position <= 60;
        const int lastPage = inRange ? (position - 1) / 10 + 1 : 6;
        for (int p = 2; p <= lastPage; ++p)
            progress.push_back("正在查询第 " + std::to_string(p) + " 页");
        expected.push_back(row(e, rankText(inRange ? position : 0), queries::keywordPageUrl(e, keyword, lastPage)));
    }
    EXPECT_EQ(lines(run.out), expected);
    EXPECT_EQ(lines(run.err), progress);
}

TEST_F(RankCli, TakesEmptyTextsAndAnInvertedRangeAsTheyAre)
{
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::string baidu; // Baidu's line; the other engines are not asked
        std::size_t requests;
    };
    const Case cases[] = {
        {"empty site and keyword", {"--engines", "baidu", "", ""},
         row(SearchEngine::Baidu, rankText(0), "http://www.baidu.com/s?wd=&pn=0"), 1},
        {"no engine at all", {"--engines", "", "example.com", "seo"}, row(SearchEngine::Baidu, "未选择", ""), 0},
        {"first page above the last", {"--engines", "baidu", "--first", "5", "--last", "3", "example.com", "seo"},
         row(SearchEngine::Baidu, rankText(0), ""), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.clearRequests();
        const auto run = rank(c.args);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        const auto out = lines(run.out);
        ASSERT_EQ(out.size(), 7u);
        EXPECT_EQ(out[0], c.baidu);
        EXPECT_EQ(out[6], row(SearchEngine::Bing, "未选择", ""));
        EXPECT_EQ(server.requests().size(), c.requests);
    }
}

TEST_F(RankCli, FailedEnginesShowTheirTextAndExitOne)
{
    int closedPort = 0;
    {
        standin::StandinServer gone;
        closedPort = gone.port();
    }
    const auto run = rank({"--engines", "google,sogou,bing", "example.com", "seo"}, closedPort);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    const auto out = lines(run.out);
    ASSERT_EQ(out.size(), 7u);
    EXPECT_EQ(out[1], row(SearchEngine::Google, "查询失败，请重试!", queries::keywordPageUrl(SearchEngine::Google, "seo", 1)));
    EXPECT_EQ(out[3], row(SearchEngine::Sogou, "查询出错,请重试!", queries::keywordPageUrl(SearchEngine::Sogou, "seo", 1)));
    EXPECT_EQ(out[6], row(SearchEngine::Bing, "查询出错，请重试!", queries::keywordPageUrl(SearchEngine::Bing, "seo", 1)));
    EXPECT_EQ(run.err, "") << "without --why stderr stays quiet";

    // With --why each failed engine says why, in engine order; the others say nothing.
    const auto why = rank({"--why", "--engines", "google,sogou,bing", "example.com", "seo"}, closedPort);
    EXPECT_EQ(why.exitCode, 1) << why.err;
    EXPECT_EQ(why.out, run.out);
    EXPECT_EQ(lines(why.err), (std::vector<std::string>{"谷歌\t\tSocket Error # 111 Connection refused.",
                                                        "搜狗\t\tSocket Error # 111 Connection refused.",
                                                        "必应\t\tSocket Error # 111 Connection refused."}));
    EXPECT_EQ(rank({"--why", "--engines", "baidu", "example.com", "seo"}).err, "") << "a scan that ends is no failure";
}

TEST_F(RankCli, RefusesBadArgumentsWithStatusTwo)
{
    struct Case {
        const char* name;
        std::vector<std::string> args;
        const char* mentions;
    };
    const Case cases[] = {
        {"first page 0", {"--first", "0", "example.com", "seo"}, "--first"},
        {"last page 101", {"--last", "101", "example.com", "seo"}, "--last"},
        {"page not a number", {"--first", "two", "example.com", "seo"}, "--first"},
        {"unknown engine", {"--engines", "baidu,altavista", "example.com", "seo"}, "altavista"},
        {"empty engine name", {"--engines", "baidu,", "example.com", "seo"}, "unknown engine"},
        {"keyword missing", {"example.com"}, "KEYWORD"},
        {"site with a blank", {"exa mple.com", "seo"}, "kaldrani-cli: 域名无效：含有不允许的字符"},
        {"site of one label", {"例子", "seo"}, "kaldrani-cli: 域名无效：至少需要两级，且各级不能为空"},
        {"A-label that encodes nothing valid", {"xn--a.com", "seo"}, "kaldrani-cli: 域名无效："},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.clearRequests();
        const auto run = rank(c.args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(c.mentions), std::string::npos) << run.err;
        EXPECT_TRUE(server.requests().empty());
    }
}

// The stand-in's Google, Yahoo and Bing pages name 例子.中国 in A-labels, the others in
// Unicode: typed either way, the site is found on both kinds of page.
TEST_F(RankCli, AnInternationalSiteIsFoundInEitherForm)
{
    const std::string keyword = "网站优化";
    std::vector<std::string> expected;
    for (const SearchEngine e : kSearchEngines) {
        const int position = standin::keywordRank(e, "例子.中国", keyword).value_or(0);
        const int lastPage = position > 0 ? (position - 1) / 10 + 1 : 5;
        expected.push_back(row(e, rankText(position), queries::keywordPageUrl(e, keyword, lastPage)));
    }
    for (const char* site : {"例子.中国", "xn--fsqu00a.xn--fiqs8s"}) {
        SCOPED_TRACE(site);
        const auto run = rank({"--last", "5", site, keyword});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(lines(run.out), expected);
        EXPECT_EQ(run.err, "");
    }
}

} // namespace
