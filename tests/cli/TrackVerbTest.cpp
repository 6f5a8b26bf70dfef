#include "ByteFiles.h"
#include "FailingServices.h"
#include "KeywordPages.h"
#include "OverviewPages.h"
#include "ProcessRunner.h"
#include "StandinServer.h"
#include "TempFolder.h"
#include "core/model/SearchEngine.h"
#include "core/records/DataFolder.h"
#include "core/records/History.h"
#include "core/records/KeywordHistory.h"
#include "core/tracking/TrackLock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace kaldrani;
using kaldrani::testing::lines;
using kaldrani::testing::ProcessResult;

constexpr int kPages = 5;

std::vector<std::string> fields(const std::string& line)
{
    std::vector<std::string> out;
    for (std::size_t start = 0;;) {
        const auto tab = line.find('\t', start);
        out.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return out;
        start = tab + 1;
    }
}

// The position the stand-in shows within the pages a track scans, or nothing.
std::string positionText(SearchEngine e, const std::string& site, const std::string& keyword, int day)
{
    const auto p = standin::keywordRank(e, site, keyword, day);
    return p && *p <= kPages * 10 ? std::to_string(*p) : "none";
}

class TrackCli : public ::testing::Test {
protected:
    ProcessResult cli(std::vector<std::string> args, std::vector<std::string> env = {})
    {
        args.insert(args.begin(), {KALDRANI_CLI, "--connect-to", "::127.0.0.1:" + std::to_string(server.port()),
                                   "--data-dir", temp.path().string()});
        env.push_back("KALDRANI_CONNECT_TO=");
        return kaldrani::testing::runProcess(args, env);
    }

    void listSites(const std::string& text) { records::saveSiteList(folder, text); }

    // The summary lines a track from day 0 to day 1 prints for site and its keywords.
    std::vector<std::string> expectedMoves(const std::string& site, const std::vector<std::string>& keywords)
    {
        std::vector<std::string> out;
        const auto a = standin::overviewFigures(site, 0), b = standin::overviewFigures(site, 1);
        for (const SearchEngine e : kSearchEngines) {
            const auto i = engineIndex(e);
            // Indexed counts grow by a fifth, backlinks stay: only the first move.
            out.push_back(site + "\tindexed\t\t" + std::string(kEngineKeys[i]) + "\t" + std::to_string(a.indexed[i])
                          + "\t" + std::to_string(b.indexed[i]) + "\t");
        }
        for (const auto& k : keywords)
            for (const SearchEngine e : kSearchEngines) {
                const std::string was = positionText(e, site, k, 0), is = positionText(e, site, k, 1);
                const bool moved = was == "none" || is == "none" ? was != is : std::abs(std::stoi(was) - std::stoi(is)) >= 3;
                if (moved)
                    out.push_back(site + "\tposition\t" + k + "\t" + std::string(kEngineKeys[engineIndex(e)]) + "\t"
                                  + was + "\t" + is + "\t");
            }
        return out;
    }

    kaldrani::testing::TempFolder temp;
    records::DataFolder folder{temp.path()};
    standin::StandinServer server;

    void SetUp() override { records::makeDataFolder(folder); }
};

TEST_F(TrackCli, RankKeepsAScanOfAListedSiteOnly)
{
    listSites("example.com\n");
    ASSERT_EQ(cli({"rank", "--engines", "baidu,bing", "--last", "5", "example.com", "网站优化"}).exitCode, 0);
    ASSERT_EQ(cli({"rank", "example.org", "网站优化"}).exitCode, 0);
    const auto h = records::readKeywordHistory(folder, "example.com");
    ASSERT_EQ(h.records.size(), 1u);
    const auto& r = h.records[0];
    EXPECT_EQ(r.keyword, "网站优化");
    EXPECT_EQ(r.lastPage, 5);
    using State = records::KeywordResult::State;
    EXPECT_EQ(r.results[engineIndex(SearchEngine::Google)].state, State::NotSelected);
    const auto baidu = r.results[engineIndex(SearchEngine::Baidu)];
    EXPECT_EQ(baidu.state == State::Position ? std::to_string(baidu.position) : "none",
              positionText(SearchEngine::Baidu, "example.com", "网站优化", 0));
    EXPECT_FALSE(std::filesystem::exists(records::keywordHistoryPath(folder, "example.org")));
}

TEST_F(TrackCli, KeywordsAreListedAddedAndRemoved)
{
    listSites("example.com\nexample.org\n#hash.example\n");
    EXPECT_EQ(cli({"keywords", "add", "example.com", "网站优化"}).exitCode, 0);
    EXPECT_EQ(cli({"keywords", "add", "example.org", "seo"}).exitCode, 0);
    const auto again = cli({"keywords", "add", "example.com", "网站优化"});
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_NE(again.err.find("already tracked"), std::string::npos);
    EXPECT_EQ(cli({"keywords", "list", "example.com"}).out, "网站优化\n");
    EXPECT_EQ(cli({"keywords", "list"}).out, "example.com\t网站优化\nexample.org\tseo\n");

    struct Case {
        const char* name;
        std::vector<std::string> args;
        int status;
        const char* mentions;
    };
    const Case cases[] = {
        {"unlisted site", {"keywords", "add", "example.net", "seo"}, 2, "not in the site list"},
        {"keyword with a TAB", {"keywords", "add", "example.com", "a\tb"}, 2, "TAB"},
        {"empty keyword", {"keywords", "add", "example.com", ""}, 2, "empty"},
        // Its line would read back as a comment: never tracked, though said to be added.
        {"site that begins with #", {"keywords", "add", "#hash.example", "kw"}, 2, "begins with \"#\""},
        {"not tracked", {"keywords", "remove", "example.com", "seo"}, 1, "not tracked"},
        {"no action", {"keywords"}, 2, "subcommand"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto r = cli(c.args);
        EXPECT_EQ(r.exitCode, c.status);
        EXPECT_NE(r.err.find(c.mentions), std::string::npos) << r.err;
    }
    EXPECT_EQ(cli({"keywords", "remove", "example.com", "网站优化"}).exitCode, 0);
    EXPECT_EQ(cli({"keywords", "list"}).out, "example.org\tseo\n");
}

TEST_F(TrackCli, ASecondRunTellsWhatMovedInTheSameOrderWhateverTheJobs)
{
    listSites("example.com\nkaldrani-demo.cn\nexample.org\n");
    const std::map<std::string, std::vector<std::string>> keywords = {
        {"example.com", {"网站优化", "A++ 教程"}}, {"kaldrani-demo.cn", {"seo"}}, {"example.org", {}}};
    for (const auto& [site, list] : keywords)
        for (const auto& k : list)
            ASSERT_EQ(cli({"keywords", "add", site, k}).exitCode, 0);

    const auto first = cli({"track", "--delay", "0", "--tsv"});
    EXPECT_EQ(first.exitCode, 0) << first.err;
    EXPECT_EQ(first.out, "") << "nothing to compare with yet";

    server.setDay(1);
    std::vector<std::string> expected;
    for (const std::string site : {"example.com", "kaldrani-demo.cn", "example.org"})
        for (const auto& line : expectedMoves(site, keywords.at(site)))
            expected.push_back(line);
    const auto second = cli({"track", "--delay", "0", "--tsv", "--jobs", "4"});
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(lines(second.out), expected);

    // The same day again: nothing moved; one job gives the same records as four.
    const auto third = cli({"track", "--delay", "0", "--tsv", "--jobs", "1"});
    EXPECT_EQ(third.out, "");

    for (const auto& [site, list] : keywords) {
        SCOPED_TRACE(site);
        EXPECT_EQ(records::ReadHistory(folder, site).size(), 3u);
        const auto h = records::readKeywordHistory(folder, site);
        ASSERT_EQ(h.records.size(), 3 * list.size());
        for (std::size_t run = 0; run < 3; ++run)
            for (std::size_t k = 0; k < list.size(); ++k) {
                const auto& r = h.records[run * list.size() + k];
                EXPECT_EQ(r.keyword, list[k]) << "records come out in the tracked order";
                const auto baidu = r.results[engineIndex(SearchEngine::Baidu)];
                EXPECT_EQ(baidu.state == records::KeywordResult::State::Position ? std::to_string(baidu.position)
                                                                                  : "none",
                          positionText(SearchEngine::Baidu, site, list[k], run == 0 ? 0 : 1));
            }
    }
}

TEST_F(TrackCli, AFailedQueryIsToldAndEndsWithStatusOne)
{
    listSites("example.com\nnot a domain\n");
    standin::failServices(server, "alexa,bing");
    ASSERT_EQ(cli({"keywords", "add", "example.com", "seo"}).exitCode, 0);
    const auto run = cli({"track", "--delay", "0", "--tsv"});
    EXPECT_EQ(run.exitCode, 1);
    std::vector<std::string> firstSix;
    for (const auto& line : lines(run.out)) {
        const auto f = fields(line);
        ASSERT_EQ(f.size(), 7u) << line;
        EXPECT_FALSE(f[6].empty()) << "each failure says why: " << line;
        firstSix.push_back(f[0] + "|" + f[1] + "|" + f[2] + "|" + f[3] + "|" + f[4] + "|" + f[5]);
    }
    EXPECT_EQ(firstSix, (std::vector<std::string>{
                            "example.com|indexed||bing||fail",
                            "example.com|backlinks||bing||fail",
                            "example.com|alexarank||||fail",
                            "example.com|position|seo|bing||fail",
                            "not a domain|overview||||fail",
                        }));
}

TEST_F(TrackCli, RequestsToOneHostAreSpacedAndBackOffAfterRefusals)
{
    listSites("example.com\nexample.org\n");
    ASSERT_EQ(cli({"keywords", "add", "example.com", "没有的词"}).exitCode, 0);
    standin::failServices(server, "google");
    server.clearRequests();
    const auto run = cli({"track", "--delay", "0.15", "--max-delay", "0.5", "--last", "2", "--jobs", "4"});
    EXPECT_EQ(run.exitCode, 1);

    std::map<std::string, std::vector<std::chrono::steady_clock::time_point>> byHost;
    for (const auto& r : server.requests())
        byHost[r.host].push_back(r.received);
    ASSERT_GE(byHost.size(), 7u);
    using ms = std::chrono::milliseconds;
    for (const auto& [host, times] : byHost) {
        SCOPED_TRACE(host);
        const bool refusing = host.find("google") != std::string::npos;
        ms wait{150};
        for (std::size_t i = 1; i < times.size(); ++i) {
            EXPECT_GE(std::chrono::duration_cast<ms>(times[i] - times[i - 1]), wait) << "request " << i;
            if (refusing)
                wait = std::min(wait * 2, ms(500));
        }
    }
}

TEST_F(TrackCli, ASecondRunWaitsOrWithNoWaitSaysSo)
{
    listSites("");
    std::unique_ptr<kaldrani::testing::RunningProcess> waiting;
    {
        tracking::TrackLock held(folder, tracking::TrackLock::Wait::No);
        const auto refused = cli({"track", "--no-wait"});
        EXPECT_EQ(refused.exitCode, 3);
        EXPECT_NE(refused.err.find("another track run"), std::string::npos) << refused.err;

        // Standard error joins standard output, so its first line says the run now waits.
        waiting = std::make_unique<kaldrani::testing::RunningProcess>(std::vector<std::string>{
            "/bin/sh", "-c", "exec \"$0\" \"$@\" 2>&1", KALDRANI_CLI, "--data-dir", temp.path().string(), "track"});
        EXPECT_NE(waiting->readLine().find("waiting for the track run in progress"), std::string::npos);
    }
    EXPECT_EQ(waiting->wait(), 0) << "it ran once the first run let go";
    const auto after = cli({"track", "--no-wait"});
    EXPECT_EQ(after.exitCode, 0) << after.err;
}

TEST_F(TrackCli, NumbersThatAreNoneAreRefused)
{
    listSites("example.com\n");
    for (const char* option : {"--delay", "--max-delay", "--count-change"})
        for (const char* value : {"nan", "NaN", "inf", "-inf", "1e999"}) {
            SCOPED_TRACE(std::string(option) + " " + value);
            const auto run = cli({"track", option, value});
            EXPECT_EQ(run.exitCode, 2) << run.err;
            EXPECT_NE(run.err.find(option), std::string::npos) << run.err;
        }
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(TrackCli, SitesMustBeListed)
{
    listSites("example.com\n");
    const auto run = cli({"track", "--sites", "example.com,example.org"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("example.org"), std::string::npos);
    EXPECT_TRUE(server.requests().empty());
}

} // namespace
