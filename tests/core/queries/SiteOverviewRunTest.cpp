#include "ByteFiles.h"
#include "StandinFixture.h"
#include "TempFolder.h"
#include "core/fetch/Endpoints.h"
#include "core/queries/SiteOverviewRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace kaldrani::testing {
namespace {

namespace fs = std::filesystem;
using namespace queries;

// Writes down every call of the run, with the display as it stood at that moment.
class RecordingView final : public OverviewView {
public:
    RecordingView(const OverviewDisplay& display, const standin::StandinServer& server)
        : m_display(display), m_server(server)
    {
    }

    void figureChanged(FigureId id) override
    {
        fetchesSeen.push_back(m_server.requests().size());
        // Named as the window's grid cell (column by kind, row by engine) it lands in.
        events.push_back("cell " + std::to_string(kindIndex(id.kind) + 1) + "," + std::to_string(engineRow(id.engine))
                         + "=" + m_display.figure(id).text);
    }
    void displayCleared() override
    {
        bool empty = !m_display.pageRankVisible && !m_display.gaugeVisible && m_display.alexaRank.empty()
                     && m_display.chinaRank.empty();
        for (const SearchEngine e : kSearchEngines)
            for (const CountKind k : kCountKinds)
                empty = empty && m_display.figure({e, k}) == Figure{};
        events.push_back(empty ? "cleared" : "cleared, but not empty");
    }
    void pageRankChanged() override
    {
        fetchesSeen.push_back(m_server.requests().size());
        events.push_back("pagerank picture " + std::to_string(m_display.pageRankPicture)
                         + (m_display.pageRankVisible ? " shown" : " hidden"));
    }
    void gaugeChanged() override
    {
        fetchesSeen.push_back(m_server.requests().size());
        events.push_back("gauge " + std::to_string(m_display.gaugeValue) + (m_display.gaugeVisible ? " shown" : " hidden"));
    }
    void alexaRankChanged() override
    {
        fetchesSeen.push_back(m_server.requests().size());
        events.push_back("alexa " + m_display.alexaRank);
    }
    void chinaRankChanged() override
    {
        fetchesSeen.push_back(m_server.requests().size());
        events.push_back("china " + m_display.chinaRank);
    }
    void setUrlText(const std::string& text) override { events.push_back("url " + text); }
    void setRunning(bool running) override { events.push_back(running ? "running" : "idle"); }
    void reportError(const std::string& message) override { events.push_back("error " + message); }

    std::vector<std::string> events;
    // How many pages had been fetched when each result was reported.
    std::vector<std::size_t> fetchesSeen;

private:
    const OverviewDisplay& m_display;
    const standin::StandinServer& m_server;
};

std::tm fixedTime()
{
    std::tm t{};
    t.tm_year = 2010 - 1900;
    t.tm_mon = 0;
    t.tm_mday = 6;
    t.tm_hour = 7;
    t.tm_min = 36;
    t.tm_sec = 31;
    return t;
}

class SiteOverviewRunTest : public StandinTest {
protected:
    SiteOverviewRunTest() : folder(base.path()) { records::EnsureDataFolder(folder); }

    std::vector<std::string> run(const std::string& url, const std::vector<std::string>& sites = {})
    {
        RecordingView view(display, server);
        runSiteOverview(display, view, folder, url, sites, fixedTime);
        fetchesSeen = view.fetchesSeen;
        return view.events;
    }

    std::vector<std::size_t> fetchesSeen;

    kaldrani::testing::TempFolder base;
    records::DataFolder folder;
    OverviewDisplay display;
};

TEST_F(SiteOverviewRunTest, QueriesAndRepaintsInTheFixedOrder)
{
    const auto f = standin::overviewFigures("example.com");
    std::vector<std::string> expected = {"running"};
    for (int row = 1; row <= 7; ++row) {
        expected.push_back("cell 1," + std::to_string(row) + "=" + std::to_string(f.indexed[row - 1]));
        expected.push_back("cell 2," + std::to_string(row) + "=" + std::to_string(f.backlinks[row - 1]));
    }
    expected.push_back("pagerank picture " + std::to_string(f.pageRank) + " shown");
    for (std::string e : {"gauge " + std::to_string(f.sogouRating) + " shown", "alexa " + std::to_string(f.alexaRank),
                          "china " + std::to_string(f.chinaRank), std::string("idle")})
        expected.push_back(e);

    EXPECT_EQ(run("example.com"), expected);
    // Each result is shown the moment its own fetch is done, before the next one starts.
    std::vector<std::size_t> oneByOne;
    for (std::size_t i = 1; i <= 18; ++i)
        oneByOne.push_back(i);
    EXPECT_EQ(fetchesSeen, oneByOne);

    const char* const targets[] = {
        "www.baidu.com/s?wd=site:example.com",
        "www.baidu.com/s?wd=domain:example.com",
        "www.google.cn/search?hl=zh-CN&q=site:example.com",
        "www.google.cn/search?hl=zh-CN&q=link:example.com",
        "sitemap.cn.yahoo.com/search?p=example.com",
        "sitemap.cn.yahoo.com/search?p=example.com&bwm=i",
        "www.sogou.com/web?query=site:example.com",
        "www.sogou.com/web?query=link:example.com",
        "www.soso.com/q?pid=s.idx&w=site:example.com",
        "www.soso.com/q?pid=s.idx&w=link:example.com",
        "www.youdao.com/search?q=site:example.com",
        "www.youdao.com/search?q=link:example.com",
        "cn.bing.com/search?q=site:example.com",
        "cn.bing.com/search?q=link:example.com",
        "www.kaldrani.com/pr/?domain=example.com",
        "www.sogou.com/web?query=link:example.com",
        "www.kaldrani.com/api/alexa.asp?d=example.com",
        "www.chinarank.org.cn/overview/Info.do?url=example.com",
    };
    std::vector<std::string> asked;
    for (const auto& r : server.requests())
        asked.push_back(r.host + r.target);
    EXPECT_EQ(asked, std::vector<std::string>(std::begin(targets), std::end(targets)));
}

TEST_F(SiteOverviewRunTest, SideBySideShowsAndRecordsTheSame)
{
    const std::vector<std::string> sites = {"example.com"};
    const auto withoutPumps = [](std::vector<std::string> events) {
        events.erase(std::remove(events.begin(), events.end(), "pump"), events.end());
        return events;
    };
    const std::vector<std::string> oneByOne = withoutPumps(run("example.com", sites));
    const std::string record = readBytes(folder.historyPath("example.com"));
    display = {};
    setOverviewJobs(8);
    const std::vector<std::string> sideBySide = withoutPumps(run("example.com", sites));
    setOverviewJobs(1);
    EXPECT_EQ(sideBySide, oneByOne);
    EXPECT_EQ(server.requests().size(), 36u);
    // The same record again, after the first.
    const std::string both = readBytes(folder.historyPath("example.com"));
    EXPECT_EQ(both, record + record);
}

TEST_F(SiteOverviewRunTest, ClearingRuleAndRejectedDomains)
{
    const std::string maker = "url " + std::string(endpoints::kMaker);
    struct Case {
        const char* name;
        bool runFirst;
        const char* url;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"empty box before any run", false, "", {maker}},
        {"invalid domain before any run", false, "http://example.com", {maker}},
        {"empty box after a run", true, "", {"cleared", maker}},
        {"invalid domain after a run", true, "exa mple.com", {"cleared", maker}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        display = OverviewDisplay();
        if (c.runFirst)
            run("example.com");
        server.clearRequests();
        EXPECT_EQ(run(c.url), c.expected);
        EXPECT_TRUE(server.requests().empty()) << "nothing may be fetched";
    }
}

TEST_F(SiteOverviewRunTest, OnlyBaiduIndexedDecidesTheClearing)
{
    display.setFigure({SearchEngine::Baidu, CountKind::Backlinks}, {"5", ""});
    display.setFigure({SearchEngine::Bing, CountKind::Indexed}, {"6", ""});
    display.alexaRank = "9";
    EXPECT_EQ(run(""), std::vector<std::string>{"url www.kaldrani.com"});
    EXPECT_EQ(display.figure({SearchEngine::Baidu, CountKind::Backlinks}).text, "5");
    EXPECT_EQ(display.alexaRank, "9");

    display.setFigure({SearchEngine::Baidu, CountKind::Indexed}, {"0", ""});
    const auto events = run("example.com");
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[0], "cleared");
    EXPECT_EQ(events[1], "running");
}

TEST_F(SiteOverviewRunTest, ListedSiteGetsOneRecordPerExactlyEqualItem)
{
    const auto f = standin::overviewFigures("example.com");
    std::string line;
    for (int i = 0; i < 7; ++i)
        line += std::to_string(f.indexed[i]) + "/" + std::to_string(f.backlinks[i]) + ",";
    line += std::to_string(f.pageRank) + "," + std::to_string(f.sogouRating) + "," + std::to_string(f.alexaRank) + ","
            + std::to_string(f.chinaRank) + ",2010-1-6 7:36:31\r\n";

    run("example.com", {"other.com", "example.com", "Example.com", "example.com ", "example.com"});

    EXPECT_EQ(kaldrani::testing::readBytes(folder.historyPath("example.com")), line + line);
    EXPECT_FALSE(fs::exists(folder.historyPath("Example.com")));
    EXPECT_FALSE(fs::exists(folder.historyPath("other.com")));
    EXPECT_FALSE(fs::exists(folder.historyPath("example.com ")));
}

TEST_F(SiteOverviewRunTest, CaseDifferentListEntryGetsNoRecord)
{
    run("Example.com", {"example.com"});
    EXPECT_TRUE(fs::is_empty(folder.historyFolder()));
}

TEST_F(SiteOverviewRunTest, RecordTakesTheClampedGaugeAndThePageRankAsReturned)
{
    struct Case {
        const char* name;
        const char* sogouPage;
        const char* prPage;
        int prStatus;
        const char* expectedEvents[2];
        const char* recordTail;
    };
    const Case cases[] = {
        {"rating above 100, pagerank 12", "找到 5 <!-- 搜狗评级:150/100", "<strong>12</strong>", 200,
         {"pagerank picture -1 shown", "gauge 100 shown"}, ",12,100,"},
        {"negative rating", "找到 5 <!-- 搜狗评级:-7/100", "<strong>3</strong>", 200,
         {"pagerank picture 3 shown", "gauge 0 shown"}, ",3,0,"},
        {"failed pagerank shows picture 0", "找到 5 <!-- 搜狗评级:40/100", "<strong>3</strong>", 500,
         {"pagerank picture 0 shown", "gauge 40 shown"}, ",0,40,"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(folder.historyPath("example.com"));
        server.setAnswer(endpoints::kSogou, "/web", standin::gbkPage(c.sogouPage));
        standin::Response pr = standin::utf8Page(c.prPage);
        pr.status = c.prStatus;
        server.setAnswer(endpoints::kMaker, "/pr/", pr);

        const auto events = run("example.com", {"example.com"});
        EXPECT_NE(std::find(events.begin(), events.end(), c.expectedEvents[0]), events.end());
        EXPECT_NE(std::find(events.begin(), events.end(), c.expectedEvents[1]), events.end());
        const std::string record = kaldrani::testing::readBytes(folder.historyPath("example.com"));
        std::vector<std::string> fields;
        std::istringstream split(record);
        for (std::string field; std::getline(split, field, ',');)
            fields.push_back(field);
        ASSERT_EQ(fields.size(), 12u) << record;
        EXPECT_EQ(fields[3], "5/5");
        EXPECT_EQ("," + fields[7] + "," + fields[8] + ",", c.recordTail);
    }
}

TEST_F(SiteOverviewRunTest, HistoryFailureIsReportedAndControlsComeBack)
{
    fs::remove_all(folder.historyFolder());
    const auto events = run("example.com", {"example.com", "example.com"});
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events.back(), "idle");
    const std::string& error = events[events.size() - 2];
    EXPECT_EQ(error.rfind("error Cannot create file \"", 0), 0u) << error;
    EXPECT_EQ(std::count_if(events.begin(), events.end(), [](const std::string& e) { return e.starts_with("error"); }), 1);
    EXPECT_FALSE(display.figure({SearchEngine::Baidu, CountKind::Indexed}).text.empty()) << "the results stay on show";
}

TEST(IsValidDomain, ShapesOfNames)
{
    struct Case {
        const char* name;
        const char* domain;
        bool valid;
    };
    const Case cases[] = {
        {"two letters, dot, three letters", "ab.com", true},
        {"three labels of three letters", "www.abc.com", true},
        {"one letter, two letters, three letters", "a.bc.com", true},
        {"hyphenated first label", "ab-cdef.com", true},
        {"underscore in the first label", "ab_cd.com", true},
        {"digits before the last label", "abc123.com", true},
        {"one letter, dot, three letters", "a.com", false},
        {"single-character labels", "a.b.com", false},
        {"one letter, hyphen, one letter", "a-b.com", false},
        {"no dot", "localhost", false},
        {"digit in the last label", "ab.c0m", false},
        {"dotted IPv4 address", "192.168.0.1", false},
        {"scheme", "http://ab.com", false},
        {"trailing slash", "ab.com/", false},
        {"trailing dot", "ab.com.", false},
        {"port", "ab.com:80", false},
        {"leading space", " ab.com", false},
        {"trailing space", "ab.com ", false},
        {"trailing line feed", "ab.com\n", false},
        {"Chinese label", "例子.com", false},
        {"Chinese last label", "ab.中国", false},
        {"empty", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IsValidDomain(c.domain), c.valid) << c.domain;
    }
}

TEST(IsValidDomain, LongCraftedNamesAreAnsweredAtOnce)
{
    // Shapes that make a backtracking matcher try every way of splitting the labels.
    std::string hyphens = "ab";
    for (int i = 0; i < 20000; ++i)
        hyphens += "-ab";
    std::string dots = "ab";
    for (int i = 0; i < 20000; ++i)
        dots += ".a1";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(IsValidDomain(hyphens + "!"));
    EXPECT_FALSE(IsValidDomain(dots + ".c0m"));
    EXPECT_TRUE(IsValidDomain(dots + ".com"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

// Against servers that keep connections, one run asks each host on one connection, with
// the hosts asked one after another or side by side; the next run opens its own.
TEST(SiteOverviewConnections, ARunAsksEachHostOnOneConnection)
{
    for (const int jobs : {1, 4}) {
        SCOPED_TRACE(jobs);
        standin::StandinServer server({.keepAlive = true});
        net::clearConnectToRules();
        net::addConnectToRules({{"", "", "127.0.0.1", std::to_string(server.port())}});
        TempFolder temp;
        const records::DataFolder folder(temp.path());
        setOverviewJobs(jobs);
        for (const std::size_t run : {1u, 2u}) {
            OverviewDisplay display;
            QuietOverviewView view;
            runSiteOverview(display, view, folder, "example.com", {});
            std::vector<std::string> hosts;
            for (const standin::Request& r : server.requests())
                hosts.push_back(r.host);
            std::sort(hosts.begin(), hosts.end());
            const std::size_t requests = hosts.size();
            hosts.erase(std::unique(hosts.begin(), hosts.end()), hosts.end());
            EXPECT_LT(hosts.size() * run, requests);
            EXPECT_EQ(server.connectionsAccepted(), hosts.size() * run);
        }
        setOverviewJobs(1);
        net::clearConnectToRules();
    }
}

} // namespace
} // namespace kaldrani::testing
