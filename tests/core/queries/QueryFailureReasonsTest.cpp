#include "StandinFixture.h"
#include "core/fetch/Endpoints.h"
#include "core/fetch/SafetyTimeout.h"
#include "core/net/ConnectTo.h"
#include "core/queries/EngineCount.h"
#include "core/queries/RankQueries.h"
#include "core/queries/SiteOverviewRun.h"
#include "FailingServices.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <string>

namespace kaldrani::testing {
namespace {

using namespace queries;
using namespace fetch;
namespace ep = endpoints;

standin::Response status(int code, const char* reason)
{
    standin::Response r = standin::utf8Page("<strong>7</strong> 搜狗评级:7/100 找到相关网页7篇");
    r.status = code;
    r.reason = reason;
    return r;
}

class QueryFailureReasons : public StandinTest {
protected:
    // Baidu Indexed's value and reason.
    Outcome<std::string> baidu()
    {
        return QueryEngineCount(SearchEngine::Baidu, CountKind::Indexed, "example.com");
    }
};

TEST_F(QueryFailureReasons, CountsSayWhyTheyFailed)
{
    EXPECT_EQ(baidu().why(), "") << "an answer is no failure";

    server.setAnswer(ep::kBaidu, "/s", status(503, "Service Unavailable"));
    EXPECT_EQ(baidu(), (Outcome<std::string>{"0", fetch::Failure{.reason = "HTTP/1.1 503 Service Unavailable"}}));

    for (const char* page : {"<p>nothing found</p>", "找到相关网页约篇"}) {
        SCOPED_TRACE(page);
        server.setAnswer(ep::kBaidu, "/s", standin::gbkPage(page));
        EXPECT_EQ(baidu(), (Outcome<std::string>{"0", fetch::Failure{.reason = "no count on the page"}}));
    }

    // A true nought on the page is an answer.
    server.setAnswer(ep::kBaidu, "/s", standin::gbkPage("找到相关网页约0篇"));
    EXPECT_EQ(baidu(), (Outcome<std::string>{"0", std::nullopt}));

    const int saved = safetyReadTimeoutMs();
    setSafetyReadTimeoutMs(150);
    standin::Response silent;
    silent.delayMs = 60000;
    server.setAnswer(ep::kBaidu, "/s", silent);
    EXPECT_EQ(baidu(), (Outcome<std::string>{"0", fetch::Failure{.reason = "Read timed out. (no data for 150 ms)"}}));
    setSafetyReadTimeoutMs(saved);

    int closedPort = 0;
    {
        standin::StandinServer gone;
        closedPort = gone.port();
    }
    net::clearConnectToRules();
    net::addConnectToRules({{"", "", "127.0.0.1", std::to_string(closedPort)}});
    EXPECT_EQ(baidu(), (Outcome<std::string>{"0", fetch::Failure{.reason = "Socket Error # 111\r\nConnection refused."}}));
}

TEST_F(QueryFailureReasons, RanksSayWhyTheyFailed)
{
    struct Case {
        const char* name;
        std::string_view host;
        const char* path;
        standin::Response answer;
        const char* shown; // the failure value, as the query's caller shows it
        const char* why;
    };
    const Case cases[] = {
        {"PageRank, HTTP error", ep::kMaker, "/pr/", status(404, "Not Found"), "0", "HTTP/1.1 404 Not Found"},
        {"PageRank, no element", ep::kMaker, "/pr/", standin::utf8Page("<b>4</b>"), "0", "no PageRank on the page"},
        {"PageRank, no number", ep::kMaker, "/pr/", standin::utf8Page("<strong>n/a</strong>"), "0",
         "no number where the PageRank stands"},
        {"Sogou rating, no marker", ep::kSogou, "/web", standin::gbkPage("找到 3 <!--"), "0", "no rating on the page"},
        {"Sogou rating, no number", ep::kSogou, "/web", standin::gbkPage("搜狗评级:x/100"), "0",
         "no number where the rating stands"},
        {"Alexa, blank reply", ep::kMaker, "/api/alexa.asp", standin::utf8Page(" \r\n", "text/plain"), "查询失败",
         "empty reply"},
        {"Alexa, HTTP error", ep::kMaker, "/api/alexa.asp", status(500, "Internal Server Error"), "查询失败",
         "HTTP/1.1 500 Internal Server Error"},
        {"ChinaRank, no marker", ep::kChinaRank, "/overview/Info.do", standin::gbkPage("<p>42</p>"), "0",
         "no rank on the page"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server.clearAnswers();
        server.setAnswer(c.host, c.path, c.answer);
        Outcome<std::string> got;
        if (c.path == std::string("/pr/")) {
            const Outcome<int> rank = QueryPageRank("example.com");
            got = {std::to_string(rank.value), rank.failure};
        } else if (c.path == std::string("/web")) {
            const Outcome<int> rating = QuerySogouRating("example.com");
            got = {std::to_string(rating.value), rating.failure};
        } else if (c.path == std::string("/api/alexa.asp")) {
            got = QueryAlexaRank("example.com");
        } else {
            got = QueryChinaRank("example.com");
        }
        const std::string& shown = got.value;
        const std::string why = got.why();
        EXPECT_EQ(shown, c.shown);
        EXPECT_EQ(why, c.why);
    }

    server.clearAnswers();
    EXPECT_EQ(QueryChinaRank("example.com").why(), "");
}

TEST_F(QueryFailureReasons, TheRunKeepsReasonsBesideTheValuesUntilTheNextRun)
{
    TempFolder temp;
    const records::DataFolder folder(temp.path());
    records::EnsureDataFolder(folder);
    standin::failServices(server, "baidu,alexa:empty,chinarank:slow");

    OverviewDisplay display;
    QuietOverviewView view;
    runSiteOverview(display, view, folder, "example.com", {});
    EXPECT_EQ(display.figure({SearchEngine::Baidu, CountKind::Indexed}).text, "0");
    EXPECT_EQ(display.figure({SearchEngine::Baidu, CountKind::Indexed}).why, "HTTP/1.1 503 Service Unavailable");
    EXPECT_EQ(display.figure({SearchEngine::Baidu, CountKind::Backlinks}).why, "HTTP/1.1 503 Service Unavailable");
    EXPECT_EQ(display.figure({SearchEngine::Google, CountKind::Indexed}).why, "");
    EXPECT_EQ(display.alexaRank, "查询失败");
    EXPECT_EQ(display.alexaRankFailure, "empty reply");
    EXPECT_EQ(display.chinaRank, "0");
    EXPECT_EQ(display.chinaRankFailure, "no status line within 2000 ms");
    EXPECT_EQ(display.pageRankFailure, "");
    EXPECT_EQ(display.sogouRatingFailure, "");

    server.clearAnswers();
    runSiteOverview(display, view, folder, "example.com", {});
    EXPECT_NE(display.figure({SearchEngine::Baidu, CountKind::Indexed}).text, "0");
    EXPECT_EQ(display.figure({SearchEngine::Baidu, CountKind::Indexed}).why, "");
    EXPECT_EQ(display.alexaRankFailure, "");
    EXPECT_EQ(display.chinaRankFailure, "");
}

} // namespace
} // namespace kaldrani::testing
