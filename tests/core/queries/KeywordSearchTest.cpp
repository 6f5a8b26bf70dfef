#include "ScriptedServer.h"
#include "StandinFixture.h"
#include "core/fetch/Endpoints.h"
#include "core/net/ConnectTo.h"
#include "core/queries/DisplayText.h"
#include "core/queries/KeywordRun.h"
#include "core/queries/KeywordSearch.h"
#include "core/queries/QueryTerm.h"
#include "KeywordPages.h"
#include "RefusalPages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace kaldrani::testing {
namespace {

using queries::FindKeywordPosition;
using E = SearchEngine;

TEST(EncodeQueryTerm, EncodesBytesAsTheEnginesExpect)
{
    using queries::TermBytes;
    struct Case {
        const char* name;
        TermBytes bytes;
        std::string keyword;
        const char* expected;
    };
    const Case cases[] = {
        {"blank, plus and Chinese in GBK", TermBytes::Gbk, "A++ 教程", "A%2B%2B+%BD%CC%B3%CC"},
        {"the same in UTF-8", TermBytes::Utf8, "A++ 教程", "A%2B%2B+%E6%95%99%E7%A8%8B"},
        {"tilde is encoded", TermBytes::Gbk, "a~b", "a%7Eb"},
        {"the 72 unreserved bytes stay", TermBytes::Gbk,
         "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789!$'()*-.@_",
         "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789!$'()*-.@_"},
        {"other ASCII punctuation and controls", TermBytes::Gbk, "%&=#/?:,;\"<>[]{}|\\^`\t\x7f",
         "%25%26%3D%23%2F%3F%3A%2C%3B%22%3C%3E%5B%5D%7B%7D%7C%5C%5E%60%09%7F"},
        {"stops at a zero byte", TermBytes::Utf8, std::string("ab\0cd", 5), "ab"},
        {"a character GBK lacks becomes ?", TermBytes::Gbk, "x\xF0\x9F\x98\x80y", "x%3Fy"},
        {"the same character in UTF-8", TermBytes::Utf8, "x\xF0\x9F\x98\x80y", "x%F0%9F%98%80y"},
        {"empty", TermBytes::Gbk, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(queries::EncodeQueryTerm(queries::termBytes(c.bytes, c.keyword)), c.expected);
    }
}

// Records what a scan tells its window, in order, each result box as the window shows it.
class RecordingView final : public queries::KeywordView {
public:
    void clearResult(SearchEngine e) override { text(e, ""); }
    void setProgress(SearchEngine e, long long page) override { text(e, queries::keywordProgressText(page)); }
    void setResult(SearchEngine e, const queries::KeywordOutcome& outcome) override
    {
        text(e, queries::keywordResultText(e, outcome));
    }
    void setNotSelected(SearchEngine e) override { text(e, std::string(queries::kKeywordNotSelected)); }
    void text(SearchEngine e, const std::string& shown)
    {
        calls.push_back(std::string(engineLabel(e)) + " text " + shown);
    }
    void setLastPageUrl(SearchEngine e, const std::string& url) override
    {
        calls.push_back(std::string(engineLabel(e)) + " url " + url);
    }
    void setLookupVisible(SearchEngine e, bool visible) override
    {
        calls.push_back(std::string(engineLabel(e)) + (visible ? " shown" : " hidden"));
    }
    void setRunning(bool running) override { calls.push_back(running ? "running" : "idle"); }

    std::vector<std::string> calls;
};

struct Route {
    std::string_view host;
    const char* path;
    const char* pageKey;
    int factor;
    int offset;
};

Route routeOf(SearchEngine e)
{
    namespace ep = endpoints;
    switch (e) {
    case E::Baidu: return {ep::kBaidu, "/s", "pn", 10, 0};
    case E::Google: return {ep::kGoogle, "/search", "start", 10, 0};
    case E::Yahoo: return {ep::kYahooSearch, "/s", "b", 10, 0};
    case E::Sogou: return {ep::kSogou, "/web", "page", 1, 1};
    case E::Soso: return {ep::kSoso, "/q", "pg", 1, 1};
    case E::Youdao: return {ep::kYoudao, "/search", "start", 10, 0};
    case E::Bing: return {ep::kBing, "/search", "first", 10, 1};
    }
    return {};
}

// One result in the engine's markup; the scan's pattern picks it out.
std::string result(SearchEngine e, const std::string& domain)
{
    switch (e) {
    case E::Baidu: return "<h3>t</h3><font color=\"#008000\">" + domain + "/a.html 2K </font>\n";
    case E::Google: return "<cite>" + domain + "/a.html - 2k </cite>\n";
    case E::Sogou: return "<font color=\"#008000\">" + domain + "/a.html/&nbsp;-&nbsp;</font>\n";
    case E::Youdao: return "<td  class=\"wss\"><a href=\"http://" + domain + "/\">t</a> <nobr>x</nobr></td>\n";
    default: return "<h3><a href=\"http://" + domain + "/\">t</a></h3>\n";
    }
}

// count results, the one at index `at` (if any) naming the site, the others not.
std::string page(SearchEngine e, int count, int at = -1, const std::string& site = "www.example.com")
{
    std::string html = "<html><body>\n";
    for (int i = 0; i < count; ++i)
        html += result(e, i == at ? site : "www.other" + std::to_string(i) + ".cn");
    return html + "</body></html>\n";
}

class KeywordSearchTest : public StandinTest {
protected:
    // Serves the engine's result page p from pages[p]; a page not given lists nothing.
    void serve(SearchEngine e, std::map<long long, standin::Response> pages)
    {
        const Route r = routeOf(e);
        server.addRoute(r.host, r.path, [r, pages](const standin::Request& request) {
            const std::string value = request.param(r.pageKey).value_or("");
            long long v = 0;
            std::from_chars(value.data(), value.data() + value.size(), v);
            const auto it = pages.find((v - r.offset) / r.factor + 1);
            return it == pages.end() ? standin::gbkPage("<html></html>") : it->second;
        });
    }
    void serveHtml(SearchEngine e, const std::map<long long, std::string>& html)
    {
        std::map<long long, standin::Response> pages;
        for (const auto& [p, text] : html)
            pages[p] = standin::gbkPage(text);
        serve(e, std::move(pages));
    }
    std::string scan(SearchEngine e, const std::string& site, int first, int last, const std::string& keyword = "kw")
    {
        server.clearRequests();
        view.calls.clear();
        return queries::keywordResultText(e, FindKeywordPosition(e, site, keyword, first, last, view));
    }
    std::string url(SearchEngine e, long long p, const std::string& keyword = "kw")
    {
        return queries::keywordPageUrl(e, keyword, p);
    }
    std::vector<std::string> targets()
    {
        std::vector<std::string> out;
        for (const auto& r : server.requests())
            out.push_back(r.target);
        return out;
    }
    std::string lastCall(int back = 0) { return view.calls[view.calls.size() - 1 - static_cast<std::size_t>(back)]; }

    RecordingView view;
};

TEST_F(KeywordSearchTest, FirstMatchOfTheFirstPageIsPositionOne)
{
    for (const SearchEngine e : kSearchEngines) {
        SCOPED_TRACE(engineLabel(e));
        serveHtml(e, {{1, page(e, 10, 0)}});
        EXPECT_EQ(scan(e, "example.com", 1, 5), "搜索排名第 1 位");
        EXPECT_EQ(server.requests().size(), 1u);
        const std::string label(engineLabel(e));
        const std::vector<std::string> expected = {
            label + " text 正在查询第 1 页", label + " url " + url(e, 1), label + " shown"};
        EXPECT_EQ(view.calls, expected);
    }
}

TEST_F(KeywordSearchTest, NumbersTenAPageAndStopsAtTheHit)
{
    struct Case {
        const char* name;
        std::map<long long, std::string> pages;
        int first, last;
        const char* expected;
        long long lastPage;
        std::size_t requests;
    };
    const E b = E::Baidu;
    const Case cases[] = {
        {"third match of page 2", {{1, page(b, 10)}, {2, page(b, 10, 2)}, {3, page(b, 10, 0)}}, 1, 5,
         "搜索排名第 13 位", 2, 2},
        {"not found: every page asked", {{1, page(b, 10)}, {2, page(b, 10)}, {3, page(b, 10)}}, 1, 3,
         "搜索排名第 0 位", 3, 3},
        {"a twelfth match is not capped", {{1, page(b, 12, 11)}}, 1, 1, "搜索排名第 12 位", 1, 1},
        {"short pages do not move the numbering", {{3, page(b, 4)}, {4, page(b, 12, 11)}}, 3, 4,
         "搜索排名第 42 位", 4, 2},
        {"the first hit of a page wins", {{1, page(b, 10, 4)}}, 1, 1, "搜索排名第 5 位", 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        serveHtml(b, c.pages);
        EXPECT_EQ(scan(b, "example.com", c.first, c.last), c.expected);
        EXPECT_EQ(server.requests().size(), c.requests);
        EXPECT_EQ(lastCall(1), "百度 url " + url(b, c.lastPage));
        EXPECT_EQ(lastCall(), "百度 shown");
    }
}

TEST_F(KeywordSearchTest, MatchTestIgnoresCaseButTheTagsDoNot)
{
    struct Case {
        const char* name;
        SearchEngine engine;
        std::string html;
        std::string site;
        const char* expected;
    };
    const Case cases[] = {
        {"site in mixed case", E::Yahoo, page(E::Yahoo, 3, 1, "www.example.com"), "Example.COM", "搜索排名第 2 位"},
        {"page in capitals", E::Baidu, page(E::Baidu, 3, 2, "WWW.EXAMPLE.COM"), "example.com", "搜索排名第 3 位"},
        {"letters beyond ASCII", E::Bing, page(E::Bing, 3, 0, "www.bücher.de"), "BÜCHER.de", "搜索排名第 1 位"},
        {"the link inside a heading counts", E::Soso, "<h3><a href=\"http://example.com/\">标题</a></h3>",
         "example.com", "搜索排名第 1 位"},
        {"capital tags give no match: yahoo", E::Yahoo, "<H3><a href=\"http://example.com/\">t</a></H3>",
         "example.com", "搜索排名第 0 位"},
        {"capital tags give no match: soso", E::Soso, "<H3>example.com</H3>", "example.com", "搜索排名第 0 位"},
        {"capital tags give no match: bing", E::Bing, "<H3>example.com</H3>", "example.com", "搜索排名第 0 位"},
        {"google wants the blank before </cite>", E::Google, "<cite>www.example.com</cite>", "example.com",
         "搜索排名第 0 位"},
        {"youdao wants two blanks", E::Youdao, "<td class=\"wss\">www.example.com<nobr>", "example.com",
         "搜索排名第 0 位"},
        {"a match spanning lines", E::Baidu, "<font color=\"#008000\">www.\nexample.com\n</font>", "example.com",
         "搜索排名第 1 位"},
        {"text outside every match", E::Baidu, "<p>www.example.com</p>" + page(E::Baidu, 2), "example.com",
         "搜索排名第 0 位"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        serveHtml(c.engine, {{1, c.html}});
        EXPECT_EQ(scan(c.engine, c.site, 1, 1), c.expected);
    }
}

TEST_F(KeywordSearchTest, EachWayAScanEndsIsItsOwnKind)
{
    using queries::KeywordKind;
    standin::Response serverError = standin::gbkPage(page(E::Baidu, 10, 0));
    serverError.status = 500;
    serverError.reason = "Internal Server Error";
    struct Case {
        const char* name;
        standin::Response second;
        KeywordKind kind;
        long long position;
        const char* why;
        const char* shown;
    };
    const Case cases[] = {
        {"found on page 2", standin::gbkPage(page(E::Baidu, 10, 3)), KeywordKind::Position, 14, "", "搜索排名第 14 位"},
        {"not found", standin::gbkPage(page(E::Baidu, 10)), KeywordKind::NotFound, 0, "", "搜索排名第 0 位"},
        {"refused", standin::tooManyRequests(), KeywordKind::Blocked, 0,
         "blocked: 429 Too Many Requests (Retry-After: 120)", "被拦截：429 Too Many Requests (Retry-After: 120)"},
        {"failed", serverError, KeywordKind::Failed, 0, "HTTP/1.1 500 Internal Server Error", "查询出错，请重试!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        serve(E::Baidu, {{1, standin::gbkPage(page(E::Baidu, 10))}, {2, c.second}});
        const queries::KeywordOutcome got = FindKeywordPosition(E::Baidu, "example.com", "kw", 1, 2, view);
        EXPECT_EQ(queries::keywordKind(got), c.kind);
        EXPECT_EQ(got.value.position, c.position);
        EXPECT_EQ(got.why(), c.why);
        EXPECT_EQ(queries::keywordResultText(E::Baidu, got), c.shown);
    }
}

// A results page may name an international domain either way; the user may type either.
TEST_F(KeywordSearchTest, ASiteIsFoundInEitherFormOfItsName)
{
    struct Case {
        const char* name;
        SearchEngine engine;
        std::string shown;
        std::string typed;
        const char* expected;
    };
    const Case cases[] = {
        {"Unicode typed and shown", E::Baidu, "www.例子.中国", "例子.中国", "搜索排名第 2 位"},
        {"Unicode typed, A-labels shown", E::Baidu, "www.xn--fsqu00a.xn--fiqs8s", "例子.中国", "搜索排名第 2 位"},
        {"A-labels typed, Unicode shown", E::Sogou, "www.例子.中国", "xn--fsqu00a.xn--fiqs8s", "搜索排名第 2 位"},
        {"A-labels typed in capitals and shown", E::Bing, "www.xn--fsqu00a.xn--fiqs8s", "XN--FSQU00A.XN--FIQS8S",
         "搜索排名第 2 位"},
        {"an ideographic full stop typed", E::Baidu, "www.例子.中国", "例子。中国", "搜索排名第 2 位"},
        {"a typed scheme stays part of the site", E::Youdao, "xn--fsqu00a.xn--fiqs8s", "http://例子.中国",
         "搜索排名第 2 位"},
        {"a typed path stays part of the site", E::Baidu, "www.xn--fsqu00a.xn--fiqs8s", "例子.中国/a.html",
         "搜索排名第 2 位"},
        {"another path is another site", E::Baidu, "www.xn--fsqu00a.xn--fiqs8s", "例子.中国/b.html",
         "搜索排名第 0 位"},
        {"another name is not found", E::Baidu, "www.例子.中国", "公司.中国", "搜索排名第 0 位"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        serveHtml(c.engine, {{1, page(c.engine, 3, 1, c.shown)}});
        EXPECT_EQ(scan(c.engine, c.typed, 1, 1), c.expected);
    }
}

TEST_F(KeywordSearchTest, AnInvalidSiteIsRefusedAndNothingIsAsked)
{
    struct Case {
        const char* site;
        const char* problem;
    };
    const Case cases[] = {
        {"", ""},
        {"example.com", ""},
        {"例子.中国", ""},
        {"xn--fsqu00a.xn--fiqs8s", ""},
        {"https://www.例子.中国/path?q=1", ""},
        {"exa mple.com", "域名无效：含有不允许的字符"},
        {"例子", "域名无效：至少需要两级，且各级不能为空"},
        {"example..com", "域名无效：至少需要两级，且各级不能为空"},
        {"under_score.com", "域名无效：含有不允许的字符"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.site);
        EXPECT_EQ(queries::keywordSiteProblem(c.site), c.problem);
    }
    serveHtml(E::Baidu, {{1, page(E::Baidu, 10, 0)}});
    server.clearRequests();
    view.calls.clear();
    const queries::KeywordOutcome got = FindKeywordPosition(E::Baidu, "exa mple.com", "kw", 1, 3, view);
    EXPECT_EQ(got, (queries::KeywordOutcome{{}, fetch::Failure{.reason = "域名无效：含有不允许的字符"}}));
    EXPECT_TRUE(server.requests().empty());
    const std::vector<std::string> expected = {"百度 url ", "百度 shown"};
    EXPECT_EQ(view.calls, expected);
}

TEST_F(KeywordSearchTest, EmptySiteIsFoundNowhere)
{
    serveHtml(E::Google, {{1, page(E::Google, 10)}, {2, page(E::Google, 10)}});
    EXPECT_EQ(scan(E::Google, "", 1, 2), "搜索排名第 0 位");
    EXPECT_EQ(server.requests().size(), 2u);
}

TEST_F(KeywordSearchTest, FirstPageAboveTheLastAsksNothing)
{
    EXPECT_EQ(scan(E::Sogou, "example.com", 5, 3), "搜索排名第 0 位");
    EXPECT_TRUE(server.requests().empty());
    const std::vector<std::string> expected = {"搜狗 url ", "搜狗 shown"};
    EXPECT_EQ(view.calls, expected);
}

TEST_F(KeywordSearchTest, FailureOnPageTwoGivesTheEnginesTextAndThatPage)
{
    standin::Response silent = standin::gbkPage(page(E::Baidu, 10, 0));
    // Each wait gives up after a second; the answer would come much later.
    silent.delayMs = 15000;
    standin::Response serverError = standin::gbkPage(page(E::Baidu, 10, 0));
    serverError.status = 500;
    serverError.reason = "Internal Server Error";
    standin::Response notHttp;
    notHttp.raw = "garbage\r\n\r\n";
    struct Case {
        const char* name;
        SearchEngine engine;
        standin::Response second;
        const char* expected;
    };
    const Case cases[] = {
        {"google times out", E::Google, silent, "查询失败，请重试!"},
        {"sogou times out", E::Sogou, silent, "查询出错,请重试!"},
        {"baidu times out", E::Baidu, silent, "查询出错，请重试!"},
        {"yahoo server error", E::Yahoo, serverError, "查询出错，请重试!"},
        {"soso not HTTP", E::Soso, notHttp, "查询出错，请重试!"},
        {"youdao server error", E::Youdao, serverError, "查询出错，请重试!"},
        {"bing server error", E::Bing, serverError, "查询出错，请重试!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        serve(c.engine, {{1, standin::gbkPage(page(c.engine, 10))}, {2, c.second}});
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(scan(c.engine, "example.com", 1, 5), c.expected);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(8000));
        EXPECT_EQ(server.requests().size(), 2u);
        const std::string label(engineLabel(c.engine));
        EXPECT_EQ(lastCall(1), label + " url " + url(c.engine, 2));
        EXPECT_EQ(lastCall(), label + " shown");
    }
}

TEST_F(KeywordSearchTest, FollowsRedirectsToTheResultPage)
{
    standin::Response moved;
    moved.status = 302;
    moved.reason = "Found";
    moved.headers = {{"Location", "http://www.baidu.com/s2"}};
    serve(E::Baidu, {{1, moved}});
    server.addRoute(endpoints::kBaidu, "/s2", [](const standin::Request&) {
        return standin::gbkPage(page(E::Baidu, 10, 6));
    });
    EXPECT_EQ(scan(E::Baidu, "example.com", 1, 1), "搜索排名第 7 位");
}

TEST_F(KeywordSearchTest, RefusedConnectionFailsAtTheFirstPage)
{
    int closedPort = 0;
    {
        ScriptedServer gone(std::vector<Reply>{});
        closedPort = gone.port();
    }
    net::clearConnectToRules();
    net::addConnectToRules({{"", "", "127.0.0.1", std::to_string(closedPort)}});
    EXPECT_EQ(scan(E::Youdao, "example.com", 2, 4), "查询出错，请重试!");
    const std::vector<std::string> expected = {"有道 text 正在查询第 2 页", "有道 url " + url(E::Youdao, 2),
                                               "有道 shown"};
    EXPECT_EQ(view.calls, expected);
}

// Sets the scan deadline for one test and puts the default back however it ends.
class ScanDeadlineFor {
public:
    explicit ScanDeadlineFor(int ms) : m_saved(queries::keywordScanDeadlineMs()) { queries::setKeywordScanDeadlineMs(ms); }
    ~ScanDeadlineFor() { queries::setKeywordScanDeadlineMs(m_saved); }
    ScanDeadlineFor(const ScanDeadlineFor&) = delete;
    ScanDeadlineFor& operator=(const ScanDeadlineFor&) = delete;

private:
    int m_saved;
};

// Every page answered in pieces 100 ms apart, each wait far under the 1000 ms read bound:
// only the scan's own deadline can end such a scan early.
TEST_F(KeywordSearchTest, ADrippedScanEndsAtItsDeadlineWithTheEnginesFailureText)
{
    const std::string body = page(E::Google, 10);
    std::vector<std::string> pieces = {"HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n"};
    for (size_t at = 0; at < body.size(); at += body.size() / 8 + 1)
        pieces.push_back(body.substr(at, body.size() / 8 + 1));
    ScriptedServer drip([pieces](const std::string&) -> std::optional<Reply> { return Reply{pieces}; }, 100);
    net::clearConnectToRules();
    net::addConnectToRules({{"", "", "127.0.0.1", std::to_string(drip.port())}});

    struct Case {
        const char* name;
        int deadlineMs;
        std::size_t minPages; // pages asked at least before the deadline
    };
    // Mid-page: the fetch itself is cut at the deadline. Between pages: no further page.
    const Case cases[] = {{"mid-page", 400, 1}, {"after some pages", 2500, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ScanDeadlineFor bound(c.deadlineMs);
        view.calls.clear();
        const auto started = std::chrono::steady_clock::now();
        const auto scanned = FindKeywordPosition(E::Google, "example.com", "kw", 1, 100, view);
        EXPECT_EQ(queries::keywordResultText(E::Google, scanned), "查询失败，请重试!");
        const auto took = std::chrono::steady_clock::now() - started;
        EXPECT_GE(took, std::chrono::milliseconds(c.deadlineMs));
        EXPECT_LT(took, std::chrono::milliseconds(c.deadlineMs + 1500));
        EXPECT_EQ(scanned.why(), "Keyword scan deadline exceeded (" + std::to_string(c.deadlineMs) + " ms).");
        const std::size_t asked = static_cast<std::size_t>(
            std::count_if(view.calls.begin(), view.calls.end(), [](const std::string& call) { return call.find("正在查询第") != std::string::npos; }));
        EXPECT_GE(asked, c.minPages);
        EXPECT_LT(asked, 10u);
        // The failed page is the one whose address the button opens.
        EXPECT_EQ(lastCall(1), "谷歌 url " + url(E::Google, static_cast<long long>(asked)));
        EXPECT_EQ(lastCall(), "谷歌 shown");
    }
}

TEST_F(KeywordSearchTest, APageOfMillionsOfMatchesIsWalkedToTheHit)
{
    // Two million empty headings, then the site: position 2,000,001 on page 1.
    std::string html;
    html.reserve(19u << 20);
    for (int i = 0; i < 2000000; ++i)
        html += "<h3></h3>";
    html += "<h3>www.example.com</h3>";
    serveHtml(E::Yahoo, {{1, html}});
    const auto scanned = FindKeywordPosition(E::Yahoo, "EXAMPLE.com", "kw", 1, 1, view);
    EXPECT_EQ(scanned, (queries::KeywordOutcome{{2000001}, std::nullopt}));
}

TEST_F(KeywordSearchTest, StandinPagesListTheDemoSitesWhereTheySay)
{
    int found = 0, missing = 0;
    for (const SearchEngine e : kSearchEngines) {
        for (const char* keyword : {"seo", "网站优化", "A++ 教程"}) {
            for (const char* site : {"example.com", "www.kaldrani-demo.cn", "nowhere.example"}) {
                SCOPED_TRACE(std::string(engineLabel(e)) + " " + keyword + " " + site);
                const auto rank = standin::keywordRank(e, site, keyword);
                EXPECT_EQ(scan(e, site, 1, 5, keyword), "搜索排名第 " + std::to_string(rank.value_or(0)) + " 位");
                rank ? ++found : ++missing;
            }
        }
    }
    // Plausible: most demo sites are found somewhere, and some pairs never are.
    EXPECT_GT(found, 20);
    EXPECT_GT(missing, 21);
}

TEST(KeywordRequests, EachEngineSendsItsAddressAndAnEmptyAgent)
{
    struct Case {
        SearchEngine engine;
        const char* host;
        const char* target;
    };
    const Case cases[] = {
        {E::Baidu, "www.baidu.com", "/s?wd=A%2B%2B+%BD%CC%B3%CC&pn=20"},
        {E::Google, "www.google.cn", "/search?hl=zh-CN&q=A%2B%2B+%BD%CC%B3%CC&start=20"},
        {E::Yahoo, "www.yahoo.cn", "/s?p=A%2B%2B+%BD%CC%B3%CC&b=20"},
        {E::Sogou, "www.sogou.com", "/web?query=A%2B%2B+%BD%CC%B3%CC&page=3"},
        {E::Soso, "www.soso.com", "/q?w=A%2B%2B+%BD%CC%B3%CC&pg=3"},
        {E::Youdao, "www.youdao.com", "/search?q=A%2B%2B+%BD%CC%B3%CC&start=20"},
        {E::Bing, "cn.bing.com", "/search?q=A%2B%2B+%E6%95%99%E7%A8%8B&filt=all&first=21"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host);
        ScriptedServer server({reply("HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")});
        net::clearConnectToRules();
        net::addConnectToRules({{"", "", "127.0.0.1", std::to_string(server.port())}});
        RecordingView view;
        EXPECT_EQ(FindKeywordPosition(c.engine, "example.com", "A++ 教程", 3, 3, view),
                  (queries::KeywordOutcome{{0}, std::nullopt}));
        net::clearConnectToRules();
        const auto requests = server.requests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0], "GET " + std::string(c.target) + " HTTP/1.1\r\nHost: " + c.host
                                   + "\r\nAccept: text/html, */*\r\nAccept-Encoding: identity\r\n\r\n");
    }
}

TEST(KeywordRequests, EmptyKeywordIsAnEmptyTerm)
{
    EXPECT_EQ(queries::keywordPageUrl(E::Baidu, "", 1), "http://www.baidu.com/s?wd=&pn=0");
    EXPECT_EQ(queries::keywordPageUrl(E::Bing, "", 1), "http://cn.bing.com/search?q=&filt=all&first=1");
}

TEST_F(KeywordSearchTest, RunClearsFirstAndMarksEnginesLeftOut)
{
    serveHtml(E::Sogou, {{1, page(E::Sogou, 10, 3)}});
    queries::EngineSelection only{};
    only[static_cast<std::size_t>(E::Sogou)] = true;
    view.calls.clear();
    queries::runKeywordRanking(view, "example.com", "kw", 1, 1, only);
    const std::vector<std::string> expected = {
        "百度 text ", "谷歌 text ", "雅虎 text ", "搜狗 text ", "搜搜 text ", "有道 text ", "必应 text ",
        "百度 hidden", "谷歌 hidden", "雅虎 hidden", "搜狗 hidden", "搜搜 hidden", "有道 hidden", "必应 hidden",
        "running",
        "百度 text 未选择", "谷歌 text 未选择", "雅虎 text 未选择",
        "搜狗 text 正在查询第 1 页", "搜狗 url " + url(E::Sogou, 1), "搜狗 shown", "搜狗 text 搜索排名第 4 位",
        "搜搜 text 未选择", "有道 text 未选择", "必应 text 未选择",
        "idle",
    };
    EXPECT_EQ(view.calls, expected);
}

} // namespace
} // namespace kaldrani::testing
