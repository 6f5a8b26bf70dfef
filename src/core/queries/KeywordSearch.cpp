#include "core/queries/KeywordSearch.h"

#include "core/fetch/Endpoints.h"
#include "core/fetch/FetchDeadlines.h"
#include "core/fetch/Patterns.h"
#include "core/fetch/QueryFetch.h"
#include "core/net/HttpClient.h"
#include "core/net/TRegExp.h"
#include "core/text/UpperCase.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>

namespace kaldrani::queries {

namespace {

// The full-width comma (U+FF0C) in most texts, the ASCII comma in Sogou's.
constexpr std::string_view kError = "查询出错，请重试!";
constexpr std::string_view kGoogleError = "查询失败，请重试!";
constexpr std::string_view kSogouError = "查询出错,请重试!";

constexpr int kReadTimeoutMs = 1000;

std::atomic<int> g_scanDeadlineMs{180000};

// The end of one engine's scan. Each page's fetch is bounded by what is left of it, so
// the scan ends on time even in the middle of a page.
class ScanDeadline {
public:
    ScanDeadline()
        : m_boundMs(keywordScanDeadlineMs())
        , m_end(std::chrono::steady_clock::now() + std::chrono::milliseconds(m_boundMs))
    {
    }

    // The bound for the next page's fetch. Raises std::runtime_error naming the bound
    // when the scan has no time left.
    int nextFetchBoundMs() const
    {
        // Rounded up, so that the fetch's own clock never ends before the scan's.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(m_end - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            throw expiredError();
        return static_cast<int>(std::min<long long>(left, fetch::kKeywordScanFetchTimeoutMs));
    }

    bool expired() const { return std::chrono::steady_clock::now() >= m_end; }

    net::NetError expiredError() const
    {
        return {net::NetError::Kind::Deadline,
                "Keyword scan deadline exceeded (" + std::to_string(m_boundMs) + " ms)."};
    }

private:
    int m_boundMs;
    std::chrono::steady_clock::time_point m_end;
};

// The index of the first match on the page whose text contains wanted (already upper
// case), or -1. The matches are walked, never gathered: a page can match millions of times.
long long firstHit(net::TRegExp& regex, std::string_view page, const std::string& wanted)
{
    long long index = 0, hit = -1;
    regex.forEachMatch(page, [&](std::string_view match, std::size_t) {
        if (text::upperCase(match).find(wanted) != std::string::npos) {
            hit = index;
            return false;
        }
        ++index;
        return true;
    });
    return hit;
}

const PerEngine<KeywordSearchProfile>& profiles()
{
    using E = SearchEngine;
    using T = TermBytes;
    namespace ep = endpoints;
    static const PerEngine<KeywordSearchProfile> rows = {{
        {E::Baidu, ep::kBaidu, "/s?wd=", "&pn=", 10, 0, T::Gbk, patterns::kGreenAddress, kError},
        {E::Google, ep::kGoogle, "/search?hl=zh-CN&q=", "&start=", 10, 0, T::Gbk, patterns::kCite, kGoogleError},
        {E::Yahoo, ep::kYahooSearch, "/s?p=", "&b=", 10, 0, T::Gbk, patterns::kHeading, kError},
        {E::Sogou, ep::kSogou, "/web?query=", "&page=", 1, 1, T::Gbk, patterns::kSogouAddress, kSogouError},
        {E::Soso, ep::kSoso, "/q?w=", "&pg=", 1, 1, T::Gbk, patterns::kHeading, kError},
        {E::Youdao, ep::kYoudao, "/search?q=", "&start=", 10, 0, T::Gbk, patterns::kYoudaoAddress, kError},
        {E::Bing, ep::kBing, "/search?q=", "&filt=all&first=", 10, 1, T::Utf8, patterns::kHeading, kError},
    }};
    return rows;
}

std::string pageAddress(const KeywordSearchProfile& row, const std::string& encodedTerm, long long page)
{
    std::string url = "http://";
    url.append(row.host).append(row.termPrefix).append(encodedTerm).append(row.pageKey);
    url += std::to_string((page - 1) * row.pageFactor + row.pageOffset);
    return url;
}

} // namespace

const KeywordSearchProfile& keywordSearchProfile(SearchEngine engine)
{
    return profiles()[static_cast<std::size_t>(engine)];
}

std::string keywordPageUrl(SearchEngine engine, std::string_view keyword, long long page)
{
    const KeywordSearchProfile& row = keywordSearchProfile(engine);
    return pageAddress(row, EncodeQueryTerm(termBytes(row.termBytes, keyword)), page);
}

int keywordScanDeadlineMs()
{
    return g_scanDeadlineMs.load();
}

void setKeywordScanDeadlineMs(int ms)
{
    g_scanDeadlineMs.store(std::max(ms, 1));
}

fetch::Outcome<std::string> FindKeywordPosition(SearchEngine engine, const std::string& site, const std::string& keyword,
                                int firstPage, int lastPage, KeywordView& view)
{
    const KeywordSearchProfile& row = keywordSearchProfile(engine);
    const std::string wanted = text::upperCase(site);
    const ScanDeadline deadline;
    long long position = 0;
    std::string why;
    std::string pageUrl;
    try {
        // One client and one pattern object serve every page of the scan.
        net::THttpClient client;
        fetch::setUpClient(client, {.followRedirects = true,
                             .readTimeoutMs = kReadTimeoutMs,
                             .fetchTimeoutMs = fetch::kKeywordScanFetchTimeoutMs});
        net::TRegExp regex;
        regex.setMultiline(true);
        regex.setGlobal(true);
        regex.setPattern(std::string(row.resultPattern));
        const std::string term = EncodeQueryTerm(termBytes(row.termBytes, keyword));

        bool found = false;
        // 64 bits, so that a last page of INT_MAX still ends the loop.
        for (long long page = firstPage; page <= lastPage && !found; ++page) {
            pageUrl = pageAddress(row, term, page);
            view.setResultText(engine, "正在查询第 " + std::to_string(page) + " 页");
            view.processPendingEvents();
            const int bound = deadline.nextFetchBoundMs();
            client.FetchTimeout = bound;
            std::string text;
            try {
                text = fetch::fetchQueryPage(client, pageUrl, fetch::PageForm::Stream);
            } catch (const net::NetError& e) {
                // The fetch ran out because the scan did: say so, not what the fetch saw. Its
                // own clock may end a hair before the scan's.
                const bool scanBound = bound < fetch::kKeywordScanFetchTimeoutMs;
                if (deadline.expired() || (scanBound && e.kind() == net::NetError::Kind::Deadline))
                    throw deadline.expiredError();
                throw;
            }
            // An empty site would be "contained" in every match.
            const long long hit = wanted.empty() ? -1 : firstHit(regex, text, wanted);
            if (hit >= 0) {
                position = (page - 1) * 10 + hit + 1;
                found = true;
            }
        }
    } catch (...) {
        why = fetch::failureReason(std::current_exception(), kReadTimeoutMs);
        if (why.empty())
            why = "unknown failure";
    }
    view.setLastPageUrl(engine, pageUrl);
    view.setLookupVisible(engine, true);
    if (!why.empty())
        return {std::string(row.failureText), std::move(why)};
    return {"搜索排名第 " + std::to_string(position) + " 位", {}};
}

} // namespace kaldrani::queries
