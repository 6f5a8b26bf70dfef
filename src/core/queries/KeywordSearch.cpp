#include "core/queries/KeywordSearch.h"

#include "core/net/HttpClient.h"
#include "core/net/TRegExp.h"
#include "core/queries/Endpoints.h"
#include "core/queries/FailureReason.h"
#include "core/queries/FetchDeadlines.h"
#include "core/queries/Patterns.h"
#include "core/text/UpperCase.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <stdexcept>

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
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(m_end - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            throw std::runtime_error(expiredText());
        return static_cast<int>(std::min<long long>(left, kKeywordScanFetchTimeoutMs));
    }

    bool expired() const { return std::chrono::steady_clock::now() >= m_end; }

    std::string expiredText() const
    {
        return "Keyword scan deadline exceeded (" + std::to_string(m_boundMs) + " ms).";
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

const std::array<KeywordSearchProfile, 7>& profiles()
{
    using E = SearchEngine;
    using T = TermBytes;
    namespace ep = endpoints;
    static const std::array<KeywordSearchProfile, 7> rows = {{
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

std::string FindKeywordPosition(SearchEngine engine, const std::string& site, const std::string& keyword,
                                int firstPage, int lastPage, KeywordView& view, std::string* why)
{
    const KeywordSearchProfile& row = keywordSearchProfile(engine);
    const std::string wanted = text::upperCase(site);
    const ScanDeadline deadline;
    long long position = 0;
    bool failed = false;
    std::string pageUrl;
    try {
        // One client, one pattern object and one buffer serve every page of the scan.
        net::THttpClient client;
        client.UserAgent.clear();
        client.HandleRedirects = true;
        client.ReadTimeout = kReadTimeoutMs;
        net::TRegExp regex;
        regex.setMultiline(true);
        regex.setGlobal(true);
        regex.setPattern(std::string(row.resultPattern));
        std::string buffer;
        const std::string term = EncodeQueryTerm(termBytes(row.termBytes, keyword));

        bool found = false;
        // 64 bits, so that a last page of INT_MAX still ends the loop.
        for (long long page = firstPage; page <= lastPage && !found; ++page) {
            pageUrl = pageAddress(row, term, page);
            view.setResultText(engine, "正在查询第 " + std::to_string(page) + " 页");
            view.processPendingEvents();
            client.FetchTimeout = deadline.nextFetchBoundMs();
            try {
                client.FetchPage(pageUrl, buffer);
            } catch (const net::FetchError&) {
                // The fetch ran out because the scan did: say so, not what the fetch saw.
                if (deadline.expired())
                    throw std::runtime_error(deadline.expiredText());
                throw;
            }
            const std::string text = net::readAnsi(buffer);
            // Emptied and released: the page text is all that is needed now.
            std::string().swap(buffer);
            // An empty site would be "contained" in every match.
            const long long hit = wanted.empty() ? -1 : firstHit(regex, text, wanted);
            if (hit >= 0) {
                position = (page - 1) * 10 + hit + 1;
                found = true;
            }
        }
        if (why)
            why->clear();
    } catch (...) {
        failed = true;
        if (why)
            *why = failureReason(std::current_exception(), kReadTimeoutMs);
    }
    view.setLastPageUrl(engine, pageUrl);
    view.setLookupVisible(engine, true);
    if (failed)
        return std::string(row.failureText);
    return "搜索排名第 " + std::to_string(position) + " 位";
}

} // namespace kaldrani::queries
