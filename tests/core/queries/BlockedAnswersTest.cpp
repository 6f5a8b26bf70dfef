#include "RefusalPages.h"
#include "StandinFixture.h"
#include "core/fetch/Endpoints.h"
#include "core/lookups/WhoisQuery.h"
#include "core/profiles/ActiveProfile.h"
#include "core/profiles/ProfileLoader.h"
#include "core/queries/EngineCount.h"
#include "core/queries/KeywordRun.h"
#include "core/queries/RankQueries.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

using namespace kaldrani;

// Makes the user's text the active profile for one test, the default again afterwards.
class UserProfile {
public:
    explicit UserProfile(std::string_view text)
    {
        profiles::Profile p = profiles::loadProfile(profiles::defaultProfileText(), text, "test.toml");
        EXPECT_TRUE(p.problems.empty()) << p.problems.front().text();
        profiles::setActiveProfile(std::move(p));
    }
    ~UserProfile() { profiles::setActiveProfile(profiles::defaultProfile()); }
};

// The verification phrase as a marker of the services these tests ask.
constexpr std::string_view kMarkers = "[count.baidu.indexed]\nblocked = ['请输入验证码']\n"
                                      "[rank.chinarank]\nblocked = ['请输入验证码']\n"
                                      "[keyword.baidu]\nblocked = ['请输入验证码']\n"
                                      "[lookup.whois]\nblocked = ['请输入验证码']\n";

class BlockedAnswers : public kaldrani::testing::StandinTest { };

standin::Response withStatus(int status, const char* reason, const char* retryAfter)
{
    standin::Response r = standin::utf8Page("<p>go away</p>");
    r.status = status;
    r.reason = reason;
    if (retryAfter != nullptr)
        r.headers.push_back({"Retry-After", retryAfter});
    return r;
}

TEST_F(BlockedAnswers, RefusalsFailAsBlockedWithTheirOwnReason)
{
    struct Case {
        const char* name;
        bool markers; // the user's profile names the verification phrase
        standin::Response answer;
        fetch::Failure failure;
        const char* why;
    };
    const Case cases[] = {
        {"429 with Retry-After", false, standin::tooManyRequests(), fetch::Failure::Blocked,
         "blocked: 429 Too Many Requests (Retry-After: 120)"},
        {"403", false, withStatus(403, "Forbidden", nullptr), fetch::Failure::Blocked, "blocked: 403 Forbidden"},
        {"503 with Retry-After", false, withStatus(503, "Service Unavailable", "60"), fetch::Failure::Blocked,
         "blocked: 503 Service Unavailable (Retry-After: 60)"},
        {"503 alone is a plain failure", false, withStatus(503, "Service Unavailable", nullptr), fetch::Failure::Plain,
         "HTTP/1.1 503 Service Unavailable"},
        {"verification page, marked", true, standin::verificationPage(), fetch::Failure::Blocked,
         "blocked: verification page"},
        {"verification page, no marker in the profile", false, standin::verificationPage(), fetch::Failure::Plain,
         "no count on the page"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const UserProfile profile(c.markers ? kMarkers : "");
        server.setAnswer(endpoints::kBaidu, "/s", c.answer);
        const fetch::Outcome<std::string> count =
            queries::QueryEngineCount(SearchEngine::Baidu, CountKind::Indexed, "example.com");
        EXPECT_EQ(count.value, "0");
        EXPECT_EQ(count.why, c.why);
        EXPECT_EQ(count.failure, c.failure);
    }
}

TEST_F(BlockedAnswers, EveryKindOfQueryTellsAVerificationPageFromAnAnswer)
{
    const UserProfile profile(kMarkers);
    server.setAnswer(endpoints::kBaidu, "/s", standin::verificationPage());
    server.setAnswer(endpoints::kChinaRank, "/overview/Info.do", standin::verificationPage());
    server.setAnswer(endpoints::kWhois, "/cgi-bin/whois", standin::verificationPage());

    const fetch::Outcome<std::string> rank = queries::QueryChinaRank("example.com");
    EXPECT_EQ(rank, (fetch::Outcome<std::string>{"0", "blocked: verification page", fetch::Failure::Blocked}));

    const fetch::Outcome<std::string> whois = lookups::QueryWhois("example.com");
    EXPECT_EQ(whois.value, lookups::kWhoisFailure);
    EXPECT_EQ(whois.failure, fetch::Failure::Blocked);

    queries::QuietKeywordView view;
    queries::EngineSelection baiduOnly{};
    baiduOnly[engineIndex(SearchEngine::Baidu)] = true;
    const queries::KeywordFailures failures = queries::runKeywordRanking(view, "example.com", "kw", 1, 3, baiduOnly);
    EXPECT_EQ(failures[engineIndex(SearchEngine::Baidu)], "blocked: verification page");
    // Not "查询出错，请重试!", nor a position: the box says the engine refused.
    EXPECT_EQ(view.resultText(SearchEngine::Baidu), "被拦截：verification page");
    EXPECT_EQ(view.lastPageUrl(SearchEngine::Baidu), "http://www.baidu.com/s?wd=kw&pn=0");
}

TEST_F(BlockedAnswers, ASwitchedOffServiceIsNotAsked)
{
    const UserProfile profile("[count.baidu.indexed]\nenabled = false\n[rank.alexa]\nenabled = false\n"
                              "[keyword.bing]\nenabled = false\n");
    server.clearRequests();
    const fetch::Outcome<std::string> count =
        queries::QueryEngineCount(SearchEngine::Baidu, CountKind::Indexed, "example.com");
    EXPECT_EQ(count.value, "0");
    EXPECT_EQ(count.failure, fetch::Failure::SwitchedOff);
    EXPECT_TRUE(count.failed());
    const fetch::Outcome<std::string> alexa = queries::QueryAlexaRank("example.com");
    EXPECT_EQ(alexa.value, "查询失败");
    EXPECT_EQ(alexa.failure, fetch::Failure::SwitchedOff);

    queries::QuietKeywordView view;
    queries::EngineSelection bingOnly{};
    bingOnly[engineIndex(SearchEngine::Bing)] = true;
    queries::runKeywordRanking(view, "example.com", "kw", 1, 2, bingOnly);
    EXPECT_EQ(view.resultText(SearchEngine::Bing), "已关闭");
    EXPECT_TRUE(server.requests().empty());

    // The backlinks of the same engine are still asked.
    EXPECT_EQ(queries::QueryEngineCount(SearchEngine::Baidu, CountKind::Backlinks, "example.com").failure,
              fetch::Failure::Plain);
    EXPECT_EQ(server.requests().size(), 1u);
}

} // namespace
