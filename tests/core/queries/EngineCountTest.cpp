#include "StandinFixture.h"
#include "core/fetch/Endpoints.h"
#include "core/fetch/SafetyTimeout.h"
#include "core/queries/EngineCount.h"
#include "core/queries/RankQueries.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace kaldrani::testing {
namespace {

using queries::QueryEngineCount;

struct EnginePage {
    std::string_view host;
    const char* path;
    bool gbk; // stream-form pages are read as GBK; string-form ones need a UTF-8 charset
};

EnginePage pageOf(SearchEngine e)
{
    namespace ep = endpoints;
    switch (e) {
    case SearchEngine::Baidu: return {ep::kBaidu, "/s", true};
    case SearchEngine::Google: return {ep::kGoogle, "/search", true};
    case SearchEngine::Yahoo: return {ep::kYahoo, "/search", false};
    case SearchEngine::Sogou: return {ep::kSogou, "/web", true};
    case SearchEngine::Soso: return {ep::kSoso, "/q", true};
    case SearchEngine::Youdao: return {ep::kYoudao, "/search", false};
    case SearchEngine::Bing: return {ep::kBing, "/search", false};
    }
    return {};
}

class EngineCountTest : public StandinTest {
protected:
    void answer(SearchEngine e, const std::string& fragment)
    {
        const EnginePage p = pageOf(e);
        const std::string html = "<html><body>\n<div>" + fragment + "</div>\n</body></html>";
        server.setAnswer(p.host, p.path, p.gbk ? standin::gbkPage(html) : standin::utf8Page(html));
    }
    void answer(SearchEngine e, standin::Response response)
    {
        const EnginePage p = pageOf(e);
        server.setAnswer(p.host, p.path, std::move(response));
    }
    std::string count(SearchEngine e, CountKind k)
    {
        return QueryEngineCount(e, k, "example.com").value;
    }
};

TEST_F(EngineCountTest, PageFragmentsGiveTheirDisplayText)
{
    using E = SearchEngine;
    using K = CountKind;
    struct Case {
        const char* name;
        E engine;
        K kind;
        const char* fragment;
        const char* expected;
    };
    const Case cases[] = {
        {"baidu indexed, grouping commas and 约", E::Baidu, K::Indexed, "找到相关网页约1,230,000篇，用时0.1秒", "1230000"},
        {"baidu backlinks", E::Baidu, K::Backlinks, "找到相关网页4,321篇", "4321"},
        {"baidu first occurrence only", E::Baidu, K::Indexed, "找到相关网页12篇 ... 找到相关网页34篇", "12"},
        {"baidu markers only", E::Baidu, K::Indexed, "找到相关网页篇", "0"},
        {"baidu markers and removed words only", E::Baidu, K::Backlinks, "找到相关网页约,篇", "0"},
        {"baidu leftover across a line break", E::Baidu, K::Indexed, "找到相关网页约\n12<i>3</i>篇", "\n12<i>3</i>"},
        {"baidu without the marker", E::Baidu, K::Indexed, "抱歉，没有找到", "0"},
        {"google indexed", E::Google, K::Indexed, "获得约 <b>1,234</b> 条结果", "1234"},
        {"google </b> without a space is kept", E::Google, K::Indexed, "获得约 <b>12</b>条 <b>34</b> 条",
         "12</b>条 <b>34"},
        {"google backlinks", E::Google, K::Backlinks, "共有 <b>5,600</b> 项", "5600"},
        {"google backlinks need the trailing space", E::Google, K::Backlinks, "共有 <b>5,600</b>项", "0"},
        {"yahoo indexed", E::Yahoo, K::Indexed, "网页：<strong>1,234</strong> 个", "1234"},
        {"yahoo backlinks", E::Yahoo, K::Backlinks, "<strong>77</strong><strong>88</strong>", "77"},
        {"sogou indexed", E::Sogou, K::Indexed, "找到 1,000 <!-- n -->", "1000"},
        {"sogou keeps 约", E::Sogou, K::Backlinks, "找到 约1,000 <!-- n -->", "约1000"},
        {"soso indexed, spaces removed", E::Soso, K::Indexed, "搜索到约 5,678 项结果", "5678"},
        {"soso backlinks", E::Soso, K::Backlinks, "搜索到约9项结果", "9"},
        {"youdao removes 万 without multiplying", E::Youdao, K::Indexed, "共约12万条结果", "12"},
        {"youdao backlinks", E::Youdao, K::Backlinks, "共3,456条结果", "3456"},
        {"bing indexed", E::Bing, K::Indexed, "1-10 条结果，共 12,345 条", "12345"},
        {"bing backlinks", E::Bing, K::Backlinks, "条结果，共 7 条", "7"},
        {"bing ASCII comma is no marker", E::Bing, K::Indexed, "条结果,共 12 条", "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        answer(c.engine, c.fragment);
        EXPECT_EQ(count(c.engine, c.kind), c.expected);
    }
}

TEST_F(EngineCountTest, EveryRowAsksItsAddressAsTyped)
{
    using E = SearchEngine;
    using K = CountKind;
    struct Case {
        E engine;
        K kind;
        const char* host;
        const char* target;
    };
    const Case cases[] = {
        {E::Baidu, K::Indexed, "www.baidu.com", "/s?wd=site:Example.COM"},
        {E::Baidu, K::Backlinks, "www.baidu.com", "/s?wd=domain:Example.COM"},
        {E::Google, K::Indexed, "www.google.cn", "/search?hl=zh-CN&q=site:Example.COM"},
        {E::Google, K::Backlinks, "www.google.cn", "/search?hl=zh-CN&q=link:Example.COM"},
        {E::Yahoo, K::Indexed, "sitemap.cn.yahoo.com", "/search?p=Example.COM"},
        {E::Yahoo, K::Backlinks, "sitemap.cn.yahoo.com", "/search?p=Example.COM&bwm=i"},
        {E::Sogou, K::Indexed, "www.sogou.com", "/web?query=site:Example.COM"},
        {E::Sogou, K::Backlinks, "www.sogou.com", "/web?query=link:Example.COM"},
        {E::Soso, K::Indexed, "www.soso.com", "/q?pid=s.idx&w=site:Example.COM"},
        {E::Soso, K::Backlinks, "www.soso.com", "/q?pid=s.idx&w=link:Example.COM"},
        {E::Youdao, K::Indexed, "www.youdao.com", "/search?q=site:Example.COM"},
        {E::Youdao, K::Backlinks, "www.youdao.com", "/search?q=link:Example.COM"},
        {E::Bing, K::Indexed, "cn.bing.com", "/search?q=site:Example.COM"},
        {E::Bing, K::Backlinks, "cn.bing.com", "/search?q=link:Example.COM"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        server.clearRequests();
        // The default pages answer with the figures drawn for the domain.
        const std::string result = QueryEngineCount(c.engine, c.kind, "Example.COM").value;
        const auto figures = standin::overviewFigures("Example.COM");
        const auto i = static_cast<std::size_t>(c.engine);
        EXPECT_EQ(result, std::to_string(c.kind == K::Indexed ? figures.indexed[i] : figures.backlinks[i]));

        const auto requests = server.requests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].host, c.host);
        EXPECT_EQ(requests[0].target, c.target);
        EXPECT_FALSE(requests[0].header("User-Agent")) << "the count queries send an empty user agent";
    }
}

TEST_F(EngineCountTest, FailuresGiveZero)
{
    struct Case {
        const char* name;
        standin::Response response;
    };
    standin::Response serverError = standin::gbkPage("找到相关网页约5篇 获得约 <b>5</b> 有 <b>5</b> <strong>5</strong>");
    serverError.status = 500;
    serverError.reason = "Internal Server Error";
    standin::Response notFound = serverError;
    notFound.status = 404;
    notFound.reason = "Not Found";
    standin::Response garbage;
    garbage.raw = "this is not HTTP\r\n\r\n";
    standin::Response silent;
    silent.raw = "";
    const Case cases[] = {
        {"server error", serverError},
        {"not found", notFound},
        {"not HTTP", garbage},
        {"closed before the status line", silent},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const SearchEngine e : kSearchEngines) {
            answer(e, c.response);
            for (const CountKind k : {CountKind::Indexed, CountKind::Backlinks}) {
                EXPECT_EQ(QueryEngineCount(e, k, "example.com").value, "0") << engineLabel(e);
            }
        }
    }
}

TEST_F(EngineCountTest, StringFormPageWithoutUtf8CharsetMatchesNothing)
{
    // Without the charset the body is read one character per byte, so the Chinese
    // markers cannot be found.
    standin::Response page = standin::utf8Page("共3,456条结果");
    page.headers = {{"Content-Type", "text/html"}};
    answer(SearchEngine::Youdao, page);
    EXPECT_EQ(count(SearchEngine::Youdao, CountKind::Indexed), "0");
}

TEST_F(EngineCountTest, SilentServersAreGivenUpOnWithinTheSafetyBound)
{
    const int saved = fetch::safetyReadTimeoutMs();
    fetch::setSafetyReadTimeoutMs(100);
    standin::Response silent;
    silent.delayMs = 60000;
    answer(SearchEngine::Baidu, silent);
    answer(SearchEngine::Bing, silent);
    server.setAnswer(endpoints::kMaker, "/pr/", silent);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(count(SearchEngine::Baidu, CountKind::Indexed), "0");
    EXPECT_EQ(count(SearchEngine::Bing, CountKind::Backlinks), "0");
    EXPECT_EQ(queries::QueryPageRank("example.com").value, 0);
    // Sogou's page answers the rating query too.
    answer(SearchEngine::Sogou, silent);
    EXPECT_EQ(queries::QuerySogouRating("example.com").value, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    fetch::setSafetyReadTimeoutMs(saved);
}

TEST(EngineCountUnreachable, ClosedPortGivesZero)
{
    int port = 0;
    {
        standin::StandinServer gone;
        port = gone.port();
    }
    net::clearConnectToRules();
    net::addConnectToRules({{"", "", "127.0.0.1", std::to_string(port)}});
    for (const SearchEngine e : kSearchEngines)
        EXPECT_EQ(QueryEngineCount(e, CountKind::Backlinks, "example.com").value, "0");
    net::clearConnectToRules();
}

} // namespace
} // namespace kaldrani::testing
