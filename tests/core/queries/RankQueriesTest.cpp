#include "StandinFixture.h"
#include "core/fetch/Endpoints.h"
#include "core/queries/RankQueries.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>

namespace kaldrani::testing {
namespace {

using namespace queries;

enum class Rank { PageRank, SogouRating, Alexa, ChinaRank };

const std::string kChinaMarker = "<span class=\"bold\">当前排名：</span><span class=\"rank_font_y2\">";

class RankQueriesTest : public StandinTest {
protected:
    // Runs the query, returning its result as text.
    std::string ask(Rank rank, const std::string& domain = "example.com")
    {
        std::string result;
        switch (rank) {
        case Rank::PageRank: result = std::to_string(QueryPageRank(domain).value); break;
        case Rank::SogouRating: result = std::to_string(QuerySogouRating(domain).value); break;
        case Rank::Alexa: result = QueryAlexaRank(domain).value; break;
        case Rank::ChinaRank: result = QueryChinaRank(domain).value; break;
        }
        return result;
    }

    void answer(Rank rank, standin::Response response)
    {
        switch (rank) {
        case Rank::PageRank: server.setAnswer(endpoints::kMaker, "/pr/", std::move(response)); break;
        case Rank::SogouRating: server.setAnswer(endpoints::kSogou, "/web", std::move(response)); break;
        case Rank::Alexa: server.setAnswer(endpoints::kMaker, "/api/alexa.asp", std::move(response)); break;
        case Rank::ChinaRank: server.setAnswer(endpoints::kChinaRank, "/overview/Info.do", std::move(response)); break;
        }
    }
};

standin::Response failing(int status)
{
    standin::Response r = standin::utf8Page("<strong>7</strong> 搜狗评级:7/100 7");
    r.status = status;
    r.reason = "Failed";
    return r;
}

standin::Response redirectTo(const std::string& location)
{
    standin::Response r;
    r.status = 302;
    r.reason = "Found";
    r.headers = {{"Location", location}};
    return r;
}

TEST_F(RankQueriesTest, PagesGiveTheirResults)
{
    using R = Rank;
    const auto html = [](const std::string& s) { return standin::utf8Page("<html><body>" + s + "</body></html>"); };
    const auto gbk = [](const std::string& s) { return standin::gbkPage("<html><body>" + s + "</body></html>"); };
    struct Case {
        const char* name;
        Rank rank;
        standin::Response page;
        const char* expected;
    };
    const Case cases[] = {
        {"pagerank with blanks", R::PageRank, html("PR：<strong> 4 </strong>"), "4"},
        {"pagerank not clamped above", R::PageRank, html("<strong>12</strong>"), "12"},
        {"pagerank negative becomes 0", R::PageRank, html("<strong>-1</strong>"), "0"},
        {"pagerank first element without a number", R::PageRank, html("<strong>PR</strong><strong>5</strong>"), "0"},
        {"pagerank without any strong", R::PageRank, html("PR 5"), "0"},
        {"pagerank empty element", R::PageRank, html("<strong>\r\n</strong>"), "0"},
        {"pagerank beyond 32 bits", R::PageRank, html("<strong>99999999999</strong>"), "0"},
        {"pagerank server error", R::PageRank, failing(500), "0"},
        {"sogou rating", R::SogouRating, gbk("搜狗评级:85/100"), "85"},
        {"sogou rating with a grouping comma", R::SogouRating, gbk("搜狗评级:1,085/100"), "1085"},
        {"sogou rating not clamped", R::SogouRating, gbk("搜狗评级:150/100"), "150"},
        {"sogou rating leading blanks skipped", R::SogouRating, gbk("搜狗评级:  85/100"), "85"},
        {"sogou rating trailing blank fails", R::SogouRating, gbk("搜狗评级:85 /100"), "0"},
        {"sogou rating markers only", R::SogouRating, gbk("搜狗评级:/100"), "0"},
        {"sogou rating full-width colon is no marker", R::SogouRating, gbk("搜狗评级：85/100"), "0"},
        {"sogou rating first occurrence", R::SogouRating, gbk("搜狗评级:3/100 搜狗评级:4/100"), "3"},
        {"sogou rating server error", R::SogouRating, failing(503), "0"},
        {"alexa trimmed", R::Alexa, standin::utf8Page(" \t12345\r\n", "text/plain"), "12345"},
        {"alexa commas kept", R::Alexa, standin::utf8Page("12,345\r\n", "text/plain"), "12,345"},
        {"alexa blanks and line breaks only", R::Alexa, standin::utf8Page(" \r\n \n", "text/plain"), "查询失败"},
        {"alexa empty", R::Alexa, standin::utf8Page("", "text/plain"), "查询失败"},
        {"alexa server error", R::Alexa, failing(500), "查询失败"},
        {"chinarank commas removed", R::ChinaRank, gbk(kChinaMarker + "12,345</span>"), "12345"},
        {"chinarank sub-site note", R::ChinaRank, gbk(kChinaMarker + "子网站不参与综合排名</span>"), "子网站不参与排名"},
        {"chinarank match ends at the first >", R::ChinaRank, gbk(kChinaMarker + "<b>9</b></span>"), "<b>"},
        {"chinarank without the marker", R::ChinaRank, gbk("当前排名：12"), "0"},
        {"chinarank empty span", R::ChinaRank, gbk(kChinaMarker + "</span>"), "0"},
        {"chinarank server error", R::ChinaRank, failing(500), "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        answer(c.rank, c.page);
        EXPECT_EQ(ask(c.rank), c.expected);
    }
}

TEST_F(RankQueriesTest, Requests)
{
    struct Case {
        Rank rank;
        const char* host;
        const char* target;
        const char* userAgent; // nullptr: no User-Agent line
    };
    const Case cases[] = {
        {Rank::PageRank, "www.kaldrani.com", "/pr/?domain=Example.com", "Mozilla/3.0 (compatible; Indy Library)"},
        {Rank::SogouRating, "www.sogou.com", "/web?query=link:Example.com", nullptr},
        {Rank::Alexa, "www.kaldrani.com", "/api/alexa.asp?d=Example.com", nullptr},
        {Rank::ChinaRank, "www.chinarank.org.cn", "/overview/Info.do?url=Example.com", nullptr},
    };
    const auto figures = standin::overviewFigures("Example.com");
    const std::string expected[] = {std::to_string(figures.pageRank), std::to_string(figures.sogouRating),
                                    std::to_string(figures.alexaRank), std::to_string(figures.chinaRank)};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        server.clearRequests();
        EXPECT_EQ(ask(c.rank, "Example.com"), expected[static_cast<int>(c.rank)]);
        const auto requests = server.requests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].host, c.host);
        EXPECT_EQ(requests[0].target, c.target);
        const auto agent = requests[0].header("User-Agent");
        if (c.userAgent)
            EXPECT_EQ(agent.value_or("(none)"), c.userAgent);
        else
            EXPECT_FALSE(agent);
    }
}

TEST_F(RankQueriesTest, OnlyAlexaAndChinaRankFollowRedirects)
{
    server.addRoute("moved.example", "/alexa", [](const standin::Request&) {
        return standin::utf8Page("4321", "text/plain");
    });
    server.addRoute("moved.example", "/china", [](const standin::Request&) {
        return standin::gbkPage(kChinaMarker + "77</span>");
    });
    server.addRoute("moved.example", "/pr", [](const standin::Request&) {
        return standin::utf8Page("<strong>6</strong>");
    });
    answer(Rank::Alexa, redirectTo("http://moved.example/alexa"));
    answer(Rank::ChinaRank, redirectTo("http://moved.example/china"));
    answer(Rank::PageRank, redirectTo("http://moved.example/pr"));
    EXPECT_EQ(ask(Rank::Alexa), "4321");
    EXPECT_EQ(ask(Rank::ChinaRank), "77");
    EXPECT_EQ(ask(Rank::PageRank), "0");
}

TEST_F(RankQueriesTest, AlexaAndChinaRankGiveUpAfterTwoSeconds)
{
    standin::Response stalled = standin::utf8Page("123");
    stalled.delayMs = 30000;
    answer(Rank::Alexa, stalled);
    answer(Rank::ChinaRank, stalled);
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    // Both at once: the test waits one time-out, not two.
    auto alexa = std::async(std::launch::async, [this] { return ask(Rank::Alexa); });
    auto china = std::async(std::launch::async, [this] { return ask(Rank::ChinaRank); });
    EXPECT_EQ(alexa.get(), "查询失败");
    EXPECT_EQ(china.get(), "0");
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    // Each wait for data is bounded, not the whole fetch: a silent server costs a few
    // waits of 2000 ms (status line, head, body), never an unbounded one.
    EXPECT_GE(elapsed.count(), 1900);
    EXPECT_LT(elapsed.count(), 15000);
}

} // namespace
} // namespace kaldrani::testing
