// Today's services through the current base: the pages' wordings and markup, the refusals,
// Tranco's ranks, the retired services, and the stand-in's current world end to end.
#include "CurrentPages.h"
#include "KeywordPages.h"
#include "OverviewPages.h"
#include "StandinFixture.h"
#include "StandinServer.h"
#include "StandinTls.h"

#include "TempFolder.h"
#include "core/fetch/FailureReason.h"
#include "core/fetch/QueryFetch.h"
#include "core/net/ConnectTo.h"
#include "core/net/Tls.h"
#include "core/profiles/ActiveProfile.h"
#include "core/profiles/ProfileLoader.h"
#include "core/profiles/ServiceNames.h"
#include "core/queries/EngineCount.h"
#include "core/queries/DisplayText.h"
#include "core/queries/KeywordRun.h"
#include "core/queries/KeywordSearch.h"
#include "core/queries/RankQueries.h"
#include "core/queries/SiteOverviewRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace kaldrani;

namespace {

const profiles::Profile& current()
{
    static const profiles::Profile profile = profiles::loadProfile(profiles::currentProfileText());
    return profile;
}

const profiles::Service& service(std::string_view name)
{
    const profiles::Service* s = current().find(name);
    if (s == nullptr)
        throw std::out_of_range(std::string(name));
    return *s;
}

std::string page(const std::string& body)
{
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body>\n" + body + "\n</body></html>";
}

} // namespace

TEST(CurrentProfile, ReadsEveryCountWordingOfToday)
{
    struct Case {
        const char* name;
        const char* service;
        std::string body;
        std::string count;
    };
    const Case cases[] = {
        {"Baidu nums_text", "count.baidu.indexed", "<span class=\"nums_text\">百度为您找到相关结果约1,230,000个</span>", "1230000"},
        {"Baidu newer wording", "count.baidu.indexed", "<span class=\"hint_x\">找到相关结果数约98,765个</span>", "98765"},
        {"Baidu site box", "count.baidu.indexed", "<p>该网站共有 <b style=\"color:#333\">4,321</b> 个网页被百度收录</p>", "4321"},
        {"Baidu site box, bare b", "count.baidu.indexed", "该网站共有<b>7</b>个网页被百度收录", "7"},
        {"Sogou num-tips", "count.sogou.indexed", "<p class=\"num-tips\">搜狗已为您找到约12,345条相关结果</p>", "12345"},
        {"Bing Chinese", "count.bing.indexed", "<span class=\"sb_count\">约 2,340,000 个结果</span>", "2340000"},
        {"Bing Chinese 条", "count.bing.indexed", "<span class=\"sb_count\">约 56 条结果</span>", "56"},
        {"Bing English, attributes before", "count.bing.indexed", "<span id=\"c\" class=\"sb_count\" data-bm=\"2\">About 1,000 results</span>", "1000"},
        {"Bing bare number", "count.bing.indexed", "<span class=\"sb_count\">3 results</span>", "3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(queries::countTextOf(service(c.service), page(c.body)), c.count);
    }
    // The old wordings are no count of today.
    EXPECT_THROW(queries::countTextOf(service("count.baidu.indexed"), page("找到相关网页约1,000篇")), fetch::MissingFigure);
    EXPECT_THROW(queries::countTextOf(service("count.bing.indexed"), page("<span class=\"sb_count\">没有结果</span>")),
                 fetch::MissingFigure);
}

TEST(CurrentProfile, RefusalPagesAreBlockedNotNought)
{
    struct Case {
        const char* name;
        const char* service;
        std::string body;
    };
    const Case cases[] = {
        {"Baidu security check", "count.baidu.indexed", "<title>百度安全验证</title>"},
        {"Baidu captcha", "keyword.baidu", "<p>请输入验证码</p>"},
        {"Sogou too often", "count.sogou.indexed", "<p>您的访问过于频繁</p>"},
        {"Sogou verification", "keyword.sogou", "<title>搜狗搜索验证</title>"},
        {"Bing captcha", "count.bing.indexed", "<div id=\"b_captcha\"></div>"},
        {"Bing human check", "keyword.bing", "<p>请完成人机验证</p>"},
        {"Google sorry", "count.google.indexed", "<a href=\"/sorry/index?continue=x\">"},
        {"Google consent", "keyword.google", "<form action=\"https://consent.google.com/save\">"},
        {"Google unusual traffic", "count.google.indexed", "Our systems have detected unusual traffic"},
        {"Google 异常流量", "count.google.backlinks", "我们的系统检测到您的计算机网络中存在异常流量"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const profiles::Service& s = service(c.service);
        if (s.name.starts_with("count."))
            EXPECT_THROW(queries::countTextOf(s, page(c.body)), fetch::BlockedPage);
        else
            EXPECT_THROW(queries::keywordHitOnPage(s, "example.com", page(c.body)), fetch::BlockedPage);
    }
}

TEST(CurrentProfile, KeywordResultsAreFoundByTheirRealAddress)
{
    // Bing wraps each link; u=a1 and the address in base64url ("https://www.example.com/").
    const std::string wrapped = "aHR0cHM6Ly93d3cuZXhhbXBsZS5jb20v";
    const std::string other = "aHR0cHM6Ly9vdGhlci5jbi8"; // "https://other.cn/"
    const auto bingResult = [](const std::string& attrs, const std::string& u) {
        return "<li " + attrs + "><div class=\"b_tpcn\"></div><h2><a href=\"https://www.bing.com/ck/a?!&amp;&amp;p=1&amp;u=a1" + u
               + "&amp;ntb=1\">x</a></h2><p>snippet</p></li>\n";
    };
    struct Case {
        const char* name;
        const char* service;
        std::string body;
        long long hit;
    };
    const Case cases[] = {
        {"Baidu mu after class", "keyword.baidu",
         "<div class=\"result c-container new-pmd\" id=\"1\" mu=\"https://other.cn/\"><h3>example.com 的介绍</h3></div>"
         "<div class=\"result c-container\" id=\"2\" mu=\"https://www.example.com/a\"><h3>x</h3></div>",
         1},
        {"Baidu mu before class", "keyword.baidu",
         "<div mu=\"https://www.example.com/\" srcid=\"1\" class=\"c-container result\"><h3>x</h3></div>", 0},
        {"Baidu advertisement between results is not counted", "keyword.baidu",
         "<div class=\"result c-container\" mu=\"https://a.cn/\"></div>"
         "<div class=\"ec-tuiguang\"><a href=\"https://www.example.com/\">广告</a></div>"
         "<div class=\"result c-container\" mu=\"https://www.example.com/\"></div>",
         1},
        {"Baidu link redirect alone is no address", "keyword.baidu",
         "<div class=\"result c-container\" mu=\"https://a.cn/\"><a href=\"http://www.baidu.com/link?url=example.com\">x</a></div>",
         -1},
        {"Bing unwrapped", "keyword.bing", bingResult("class=\"b_algo\"", other) + bingResult("data-x=\"1\" class=\"b_algo\"", wrapped), 1},
        {"Bing advertisement first", "keyword.bing",
         "<li class=\"b_ad\"><h2><a href=\"https://www.example.com/\">ad</a></h2></li>" + bingResult("class=\"b_algo\"", wrapped), 0},
        {"Bing plain link", "keyword.bing", "<li class=\"b_algo\"><h2><a href=\"https://www.example.com/\">x</a></h2></li>", 0},
        {"Sogou cite", "keyword.sogou",
         "<div class=\"vrwrap\"><h3><a href=\"/link?url=abc\">example.com 首页</a></h3><cite>other.cn/ - 2026</cite></div>"
         "<div class=\"rb\"><h3><a href=\"/link?url=def\">x</a></h3><cite>www.example.com/<span>…</span></cite></div>",
         1},
        {"Sogou advertisement", "keyword.sogou",
         "<div class=\"biz_rb\"><cite>www.example.com</cite></div><div class=\"vrwrap\"><cite>www.example.com/</cite></div>", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(queries::keywordHitOnPage(service(c.service), "example.com", page(c.body)), c.hit);
    }
}

TEST(CurrentProfile, TrancoGivesTheNewestDatesRank)
{
    struct Case {
        const char* name;
        std::string json;
        std::string shown;
    };
    const Case cases[] = {
        {"newest of unsorted dates", R"({"domain":"a.cn","ranks":[{"date":"2026-12-09","rank":90},{"date":"2026-12-10","rank":85},{"date":"2026-12-01","rank":99}]})", "85"},
        {"one date", R"({"domain":"a.cn","ranks":[{"date":"2026-12-10","rank":1}]})", "1"},
        {"no rank", R"({"domain":"a.cn","ranks":[]})", "未上榜"},
        {"odd entries skipped", R"({"ranks":[{"date":"2026-12-11"},7,{"date":"2026-12-10","rank":12}]})", "12"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(queries::alexaRankOf(service(profiles::kAlexaRank), c.json), c.shown);
    }
    for (const char* bad : {"", "<html>", "[]", R"({"domain":"a.cn"})", R"({"ranks":{}})", R"({"ranks":[{"date":"x","rank":"1"}]})"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(queries::alexaRankOf(service(profiles::kAlexaRank), bad), fetch::MissingFigure);
    }
}

TEST(CurrentProfile, AnswersAreDecodedByTheCharsetTheyDeclare)
{
    const std::string chinese = "\xe4\xb8\xad"; // 中
    EXPECT_EQ(fetch::decodeDeclared(chinese, "text/html; charset=utf-8"), chinese);
    EXPECT_EQ(fetch::decodeDeclared(chinese, ""), chinese);
    EXPECT_EQ(fetch::decodeDeclared("\xd6\xd0", "text/html; Charset=GBK"), chinese);
    EXPECT_EQ(fetch::decodeDeclared("<meta charset=\"gb2312\">\xd6\xd0", "text/html"), "<meta charset=\"gb2312\">" + chinese);
    EXPECT_EQ(fetch::decodeDeclared("\xe9", "text/plain; charset=ISO-8859-1"), "\xc3\xa9");
}

namespace {

// The stand-in's current world over TLS, as scripts/run arranges it, with the current
// base active.
class CurrentWorld : public ::testing::Test {
protected:
    CurrentWorld()
    {
        m_authority.writeCertificate(m_folder.path() / "ca.pem");
        net::addTrustAnchorFile((m_folder.path() / "ca.pem").string());
        net::clearConnectToRules();
        net::addConnectToRules({{"", "443", "127.0.0.1", std::to_string(m_server.tlsPort())},
                                {"", "", "127.0.0.1", std::to_string(m_server.port())}});
        profiles::setActiveProfile(current());
    }
    ~CurrentWorld() override
    {
        net::clearConnectToRules();
        profiles::setActiveProfile(profiles::defaultProfile());
    }

    void use(const std::string& userText)
    {
        profiles::setActiveProfile(profiles::loadProfile(profiles::currentProfileText(), userText, "engines.toml"));
    }

    kaldrani::testing::TempFolder m_folder;
    standin::StandinAuthority m_authority;
    standin::StandinServer m_server{{.authority = &m_authority, .redirectToHttps = true, .world = standin::World::Current}};
};

} // namespace

TEST_F(CurrentWorld, LiveCountsAreRealRetiredOnesAreNotAsked)
{
    for (const char* domain : {"example.com", "kaldrani-demo.cn", "example.org"}) {
        SCOPED_TRACE(domain);
        const standin::OverviewFigures f = standin::overviewFigures(domain);
        struct Case {
            SearchEngine engine;
            std::int64_t count;
        };
        for (const Case c : {Case{SearchEngine::Baidu, f.indexed[0]}, Case{SearchEngine::Sogou, f.indexed[3]},
                             Case{SearchEngine::Bing, f.indexed[6]}}) {
            const auto count = queries::QueryEngineCount(c.engine, CountKind::Indexed, domain);
            EXPECT_EQ(count, (fetch::Outcome<std::string>{std::to_string(c.count), {}})) << engineLabel(c.engine);
        }
    }
    m_server.clearRequests();
    const auto yahoo = queries::QueryEngineCount(SearchEngine::Yahoo, CountKind::Indexed, "example.com");
    EXPECT_EQ(yahoo, (fetch::Outcome<std::string>{"0", fetch::Failure{fetch::FailureKind::Retired, "retired: 2013-09: Yahoo China closed"}}));
    const auto pageRank = queries::QueryPageRank("example.com");
    EXPECT_EQ(pageRank.kind(), fetch::FailureKind::Retired);
    EXPECT_TRUE(m_server.requests().empty());
}

TEST_F(CurrentWorld, TrancoRankOrNotRankedAndOneRequestASecond)
{
    const auto ranked = queries::QueryAlexaRank("example.com");
    ASSERT_TRUE(standin::trancoRank("example.com"));
    EXPECT_EQ(ranked, (fetch::Outcome<std::string>{std::to_string(*standin::trancoRank("example.com")), {}}));
    const auto unranked = queries::QueryAlexaRank("unranked-site.cn");
    EXPECT_EQ(unranked, (fetch::Outcome<std::string>{"未上榜", {}}));

    // The two asks above and this one start a second apart at least.
    queries::QueryAlexaRank("example.org");
    std::vector<std::chrono::steady_clock::time_point> times;
    for (const standin::Request& r : m_server.requests())
        if (r.host == "tranco-list.eu") {
            times.push_back(r.received);
            EXPECT_NE(r.header("Accept-Encoding").value_or("").find("gzip"), std::string::npos);
        }
    // Measured where the requests arrive, each after its own handshake: a loose bound, far
    // above the few milliseconds three unspaced asks take.
    ASSERT_EQ(times.size(), 3u);
    for (std::size_t i = 1; i < times.size(); ++i)
        EXPECT_GE(times[i] - times[i - 1], std::chrono::milliseconds(500));
    EXPECT_GE(times[2] - times[0], std::chrono::milliseconds(1500));
}

TEST_F(CurrentWorld, RefusalsByRedirectAreBlockedFollowedOrNot)
{
    struct Case {
        const char* name;
        const char* user;
        SearchEngine engine;
    };
    // Without a browser's User-Agent the stand-in refuses as the engines do: Baidu and Sogou
    // by a redirect to their verification page, Bing by a captcha page.
    const Case cases[] = {
        {"Baidu, followed", "[count.baidu.indexed]\nuser_agent = \"\"\n", SearchEngine::Baidu},
        {"Baidu, not followed", "[count.baidu.indexed]\nuser_agent = \"\"\nfollow_redirects = false\n", SearchEngine::Baidu},
        {"Sogou, followed", "[count.sogou.indexed]\nuser_agent = \"curl/8\"\n", SearchEngine::Sogou},
        {"Sogou, not followed", "[count.sogou.indexed]\nuser_agent = \"\"\nfollow_redirects = false\n", SearchEngine::Sogou},
        {"Bing", "[count.bing.indexed]\nuser_agent = \"\"\n", SearchEngine::Bing},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        use(c.user);
        const auto count = queries::QueryEngineCount(c.engine, CountKind::Indexed, "example.com");
        EXPECT_EQ(count, (fetch::Outcome<std::string>{"0", fetch::Failure{fetch::FailureKind::Blocked, "blocked: verification page"}}));
    }
    // Without the markers a redirect not followed is only a failed status.
    use("[count.baidu.indexed]\nuser_agent = \"\"\nfollow_redirects = false\nblocked = []\n");
    EXPECT_EQ(queries::QueryEngineCount(SearchEngine::Baidu, CountKind::Indexed, "example.com").kind(),
              fetch::FailureKind::Plain);
}

TEST_F(CurrentWorld, KeywordScansFindTheStandinsPlaces)
{
    const std::string keyword = "网站优化";
    const std::string site = "example.com";
    queries::QuietKeywordView view;
    queries::EngineSelection all{};
    all.fill(true);
    const queries::KeywordOutcomes outcomes = queries::runKeywordRanking(view, site, keyword, 1, 5, all);
    for (const SearchEngine e : {SearchEngine::Baidu, SearchEngine::Sogou, SearchEngine::Bing}) {
        SCOPED_TRACE(engineLabel(e));
        const auto place = standin::keywordRank(e, site, keyword);
        EXPECT_EQ(outcomes[engineIndex(e)], (queries::KeywordOutcome{{place.value_or(0)}, std::nullopt}));
        EXPECT_EQ(queries::keywordResultText(e, *view.result(e)), "搜索排名第 " + std::to_string(place.value_or(0)) + " 位");
    }
    for (const SearchEngine e : {SearchEngine::Google, SearchEngine::Yahoo, SearchEngine::Soso, SearchEngine::Youdao}) {
        SCOPED_TRACE(engineLabel(e));
        EXPECT_EQ(queries::keywordKind(*outcomes[engineIndex(e)]), queries::KeywordKind::Off);
        EXPECT_EQ(queries::keywordResultText(e, *view.result(e)), "已停用");
    }
}

// Baidu's and Sogou's pages name 例子.中国 in Unicode, Bing's wrapped links in A-labels.
TEST_F(CurrentWorld, KeywordScansFindAnInternationalSiteInEitherForm)
{
    const std::vector<SearchEngine> asked = {SearchEngine::Baidu, SearchEngine::Sogou, SearchEngine::Bing};
    // A keyword whose pages list the site in all three engines.
    std::string keyword;
    for (const char* k : {"网站优化", "seo", "A++ 教程", "域名", "建站", "关键词", "排名", "主机"})
        if (keyword.empty()
            && std::all_of(asked.begin(), asked.end(), [&](SearchEngine e) { return standin::keywordRank(e, "例子.中国", k); }))
            keyword = k;
    ASSERT_FALSE(keyword.empty());
    queries::EngineSelection all{};
    all.fill(true);
    for (const char* site : {"例子.中国", "xn--fsqu00a.xn--fiqs8s"}) {
        SCOPED_TRACE(site);
        queries::QuietKeywordView view;
        const queries::KeywordOutcomes outcomes = queries::runKeywordRanking(view, site, keyword, 1, 5, all);
        for (const SearchEngine e : asked) {
            SCOPED_TRACE(engineLabel(e));
            const long long place = *standin::keywordRank(e, "例子.中国", keyword);
            EXPECT_EQ(outcomes[engineIndex(e)], (queries::KeywordOutcome{{place}, std::nullopt}));
        }
    }
}
