#include "core/queries/EngineCount.h"

#include "core/fetch/Endpoints.h"
#include "core/fetch/FetchDeadlines.h"
#include "core/fetch/Patterns.h"
#include "core/fetch/QueryFetch.h"
#include "core/fetch/SafetyTimeout.h"
#include "core/net/TRegExp.h"
#include "core/queries/DisplayText.h"
#include "core/text/TextRemoval.h"

#include <array>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace kaldrani::queries {

namespace {

struct CountRow {
    SearchEngine engine;
    CountKind kind;
    std::string_view host;
    std::string_view path;
    std::string_view query;  // the domain is appended to it
    std::string_view suffix; // and this after the domain
    fetch::PageForm form;
    std::string_view pattern;
    std::vector<std::string_view> removals; // in this order
};

const std::array<CountRow, kCountCount>& countRows()
{
    using E = SearchEngine;
    using K = CountKind;
    using F = fetch::PageForm;
    namespace ep = endpoints;
    namespace pt = patterns;
    static const std::array<CountRow, kCountCount> rows = {{
        {E::Baidu, K::Indexed, ep::kBaidu, "/s", "wd=site:", "", F::Stream, pt::kBaiduCount, {"找到相关网页", "约", "篇", ","}},
        {E::Baidu, K::Backlinks, ep::kBaidu, "/s", "wd=domain:", "", F::Stream, pt::kBaiduCount, {"找到相关网页", "约", "篇", ","}},
        {E::Google, K::Indexed, ep::kGoogle, "/search", "hl=zh-CN&q=site:", "", F::Stream, pt::kGoogleIndexed, {"获得约 <b>", "</b> ", ","}},
        {E::Google, K::Backlinks, ep::kGoogle, "/search", "hl=zh-CN&q=link:", "", F::Stream, pt::kGoogleBacklinks, {"有 <b>", "</b> ", ","}},
        {E::Yahoo, K::Indexed, ep::kYahoo, "/search", "p=", "", F::String, pt::kStrong, {"<strong>", "</strong>", ","}},
        {E::Yahoo, K::Backlinks, ep::kYahoo, "/search", "p=", "&bwm=i", F::String, pt::kStrong, {"<strong>", "</strong>", ","}},
        {E::Sogou, K::Indexed, ep::kSogou, "/web", "query=site:", "", F::Stream, pt::kSogouCount, {"找到 ", " <!--", ","}},
        {E::Sogou, K::Backlinks, ep::kSogou, "/web", "query=link:", "", F::Stream, pt::kSogouCount, {"找到 ", " <!--", ","}},
        {E::Soso, K::Indexed, ep::kSoso, "/q", "pid=s.idx&w=site:", "", F::Stream, pt::kSosoCount, {"搜索到约", "项结果", " ", ","}},
        {E::Soso, K::Backlinks, ep::kSoso, "/q", "pid=s.idx&w=link:", "", F::Stream, pt::kSosoCount, {"搜索到约", "项结果", " ", ","}},
        {E::Youdao, K::Indexed, ep::kYoudao, "/search", "q=site:", "", F::String, pt::kYoudaoCount, {"条结果", "共", "万", "约", ","}},
        {E::Youdao, K::Backlinks, ep::kYoudao, "/search", "q=link:", "", F::String, pt::kYoudaoCount, {"条结果", "共", "万", "约", ","}},
        {E::Bing, K::Indexed, ep::kBing, "/search", "q=site:", "", F::String, pt::kBingCount, {"条结果，共 ", " 条", " ", ","}},
        {E::Bing, K::Backlinks, ep::kBing, "/search", "q=link:", "", F::String, pt::kBingCount, {"条结果，共 ", " 条", " ", ","}},
    }};
    return rows;
}

const CountRow& rowFor(SearchEngine engine, CountKind kind)
{
    return countRows()[static_cast<std::size_t>(engine) * 2 + (kind == CountKind::Backlinks ? 1 : 0)];
}

std::string urlFor(const CountRow& row, const std::string& domain)
{
    // The domain goes in as typed: the domain check leaves nothing that needs encoding.
    std::string url = "http://";
    url.append(row.host).append(row.path).append("?").append(row.query).append(domain).append(row.suffix);
    return url;
}

// The count text the page states, bounded; raises fetch::MissingFigure when it states none.
std::string countTextOf(const CountRow& row, const std::string& page)
{
    std::string text = net::firstMatch(row.pattern, page);
    for (const std::string_view what : row.removals)
        text::removeAll(text, what);
    // Shown as "0" like a true nought, but the page did not say so.
    if (text.empty())
        throw fetch::MissingFigure("no count on the page");
    return boundDisplayText(std::move(text));
}

std::string countFromPage(const CountRow& row, const std::string& page)
{
    try {
        return countTextOf(row, page);
    } catch (const fetch::MissingFigure&) {
        return "0";
    }
}

fetch::Outcome<std::string> countFrom(const CountRow& row, const std::string& domain)
{
    return fetch::outcomeOf(std::string("0"), fetch::safetyReadTimeoutMs(), [&] {
        // The page goes before the next query: only the short count outlives this call.
        return countTextOf(row, fetch::fetchQueryPage(urlFor(row, domain),
                                               {.form = row.form, .fetchTimeoutMs = fetch::kOverviewCountFetchTimeoutMs}));
    });
}

} // namespace

std::string engineCountFromPage(SearchEngine engine, CountKind kind, const std::string& page)
{
    return countFromPage(rowFor(engine, kind), page);
}

std::string engineCountUrl(SearchEngine engine, CountKind kind, const std::string& domain)
{
    return urlFor(rowFor(engine, kind), domain);
}

fetch::Outcome<std::string> QueryEngineCount(SearchEngine engine, CountKind kind, const std::string& domain, run::EventPump& pump)
{
    const CountRow& row = rowFor(engine, kind);
    fetch::Outcome<std::string> result = countFrom(row, domain);
    // The first query of a run leaves the window as it is: the clearing repaint came just before.
    if (!(engine == SearchEngine::Baidu && kind == CountKind::Indexed))
        pump.processPendingEvents();
    return result;
}

} // namespace kaldrani::queries
