#include "RefusalPages.h"
#include "StandinFixture.h"
#include "core/fetch/Endpoints.h"
#include "core/lookups/WhoisQuery.h"
#include "core/profiles/ActiveProfile.h"
#include "core/profiles/ProfileLoader.h"
#include "core/queries/EngineCount.h"
#include "core/queries/DisplayText.h"
#include "core/queries/KeywordRun.h"
#include "core/queries/RankQueries.h"
#include "core/records/FileIo.h"
#include "core/records/KeywordHistory.h"
#include "core/tracking/KeywordScanRecord.h"
#include "TempFolder.h"

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
        fetch::FailureKind failure;
        const char* why;
    };
    const Case cases[] = {
        {"429 with Retry-After", false, standin::tooManyRequests(), fetch::FailureKind::Blocked,
         "blocked: 429 Too Many Requests (Retry-After: 120)"},
        {"403", false, withStatus(403, "Forbidden", nullptr), fetch::FailureKind::Blocked, "blocked: 403 Forbidden"},
        {"503 with Retry-After", false, withStatus(503, "Service Unavailable", "60"), fetch::FailureKind::Blocked,
         "blocked: 503 Service Unavailable (Retry-After: 60)"},
        {"503 alone is a plain failure", false, withStatus(503, "Service Unavailable", nullptr), fetch::FailureKind::Plain,
         "HTTP/1.1 503 Service Unavailable"},
        {"verification page, marked", true, standin::verificationPage(), fetch::FailureKind::Blocked,
         "blocked: verification page"},
        {"verification page, no marker in the profile", false, standin::verificationPage(), fetch::FailureKind::Plain,
         "no count on the page"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const UserProfile profile(c.markers ? kMarkers : "");
        server.setAnswer(endpoints::kBaidu, "/s", c.answer);
        const fetch::Outcome<std::string> count =
            queries::QueryEngineCount(SearchEngine::Baidu, CountKind::Indexed, "example.com");
        EXPECT_EQ(count.value, "0");
        EXPECT_EQ(count.why(), c.why);
        EXPECT_EQ(count.kind(), c.failure);
    }
}

TEST_F(BlockedAnswers, EveryKindOfQueryTellsAVerificationPageFromAnAnswer)
{
    const UserProfile profile(kMarkers);
    server.setAnswer(endpoints::kBaidu, "/s", standin::verificationPage());
    server.setAnswer(endpoints::kChinaRank, "/overview/Info.do", standin::verificationPage());
    server.setAnswer(endpoints::kWhois, "/cgi-bin/whois", standin::verificationPage());

    const fetch::Outcome<std::string> rank = queries::QueryChinaRank("example.com");
    EXPECT_EQ(rank, (fetch::Outcome<std::string>{"0", fetch::Failure{fetch::FailureKind::Blocked, "blocked: verification page"}}));

    const fetch::Outcome<std::string> whois = lookups::QueryWhois("example.com");
    EXPECT_EQ(whois.value, lookups::kWhoisFailure);
    EXPECT_EQ(whois.kind(), fetch::FailureKind::Blocked);

    queries::QuietKeywordView view;
    queries::EngineSelection baiduOnly{};
    baiduOnly[engineIndex(SearchEngine::Baidu)] = true;
    const queries::KeywordOutcomes outcomes = queries::runKeywordRanking(view, "example.com", "kw", 1, 3, baiduOnly);
    const queries::KeywordOutcome& baidu = *outcomes[engineIndex(SearchEngine::Baidu)];
    EXPECT_EQ(queries::keywordKind(baidu), queries::KeywordKind::Blocked);
    EXPECT_EQ(baidu.why(), "blocked: verification page");
    // Not "查询出错，请重试!", nor a position: the box says the engine refused.
    EXPECT_EQ(queries::keywordResultText(SearchEngine::Baidu, *view.result(SearchEngine::Baidu)), "被拦截：verification page");
    EXPECT_EQ(view.lastPageUrl(SearchEngine::Baidu), "http://www.baidu.com/s?wd=kw&pn=0");
}

TEST_F(BlockedAnswers, ARefusedScanIsKeptAsARefusalInTheKeywordHistory)
{
    const kaldrani::testing::TempFolder temp;
    const records::DataFolder folder{temp.path()};
    records::makeDataFolder(folder);
    records::saveSiteList(folder, "example.com\r\n");
    server.setAnswer(endpoints::kBaidu, "/s", standin::tooManyRequests());
    queries::QuietKeywordView view;
    queries::EngineSelection baiduOnly{};
    baiduOnly[engineIndex(SearchEngine::Baidu)] = true;
    const tracking::RecordedScan scan = tracking::scanAndRecord(view, folder, "example.com", "kw", 1, 1, baiduOnly);
    ASSERT_TRUE(scan.recorded) << scan.recordError;

    const auto history = records::readKeywordHistory(folder, "example.com");
    ASSERT_EQ(history.records.size(), 1u);
    using State = records::KeywordResult::State;
    EXPECT_EQ(history.records[0].results[engineIndex(SearchEngine::Baidu)],
              (records::KeywordResult{State::Blocked, 0, "blocked: 429 Too Many Requests (Retry-After: 120)"}));
    EXPECT_EQ(history.records[0].results[engineIndex(SearchEngine::Bing)].state, State::NotSelected);
    // A reader that knows no refusal reads a failure, as before.
    const std::string stored = records::fileio::readDataFile(records::keywordHistoryPath(folder, "example.com"));
    EXPECT_NE(stored.find("\tbaidu=fail:blocked: 429 Too Many Requests (Retry-After: 120)\t"), std::string::npos)
        << stored;
}

TEST_F(BlockedAnswers, ASwitchedOffServiceIsNotAsked)
{
    const UserProfile profile("[count.baidu.indexed]\nenabled = false\n[rank.alexa]\nenabled = false\n"
                              "[keyword.bing]\nenabled = false\n");
    server.clearRequests();
    const fetch::Outcome<std::string> count =
        queries::QueryEngineCount(SearchEngine::Baidu, CountKind::Indexed, "example.com");
    EXPECT_EQ(count.value, "0");
    EXPECT_EQ(count.kind(), fetch::FailureKind::SwitchedOff);
    EXPECT_TRUE(count.failed());
    const fetch::Outcome<std::string> alexa = queries::QueryAlexaRank("example.com");
    EXPECT_EQ(alexa.value, "查询失败");
    EXPECT_EQ(alexa.kind(), fetch::FailureKind::SwitchedOff);

    queries::QuietKeywordView view;
    queries::EngineSelection bingOnly{};
    bingOnly[engineIndex(SearchEngine::Bing)] = true;
    const queries::KeywordOutcomes outcomes = queries::runKeywordRanking(view, "example.com", "kw", 1, 2, bingOnly);
    EXPECT_EQ(queries::keywordKind(*outcomes[engineIndex(SearchEngine::Bing)]), queries::KeywordKind::Off);
    EXPECT_EQ(queries::keywordResultText(SearchEngine::Bing, *view.result(SearchEngine::Bing)), "已关闭");
    EXPECT_TRUE(server.requests().empty());

    // The backlinks of the same engine are still asked.
    EXPECT_EQ(queries::QueryEngineCount(SearchEngine::Baidu, CountKind::Backlinks, "example.com").kind(),
              fetch::FailureKind::Plain);
    EXPECT_EQ(server.requests().size(), 1u);
}

} // namespace
