#include "core/queries/KeywordSearch.h"

#include "core/fetch/QueryFetch.h"
#include "core/profiles/ActiveProfile.h"
#include "core/profiles/ServiceNames.h"
#include "core/net/HttpClient.h"
#include "core/net/TRegExp.h"
#include "core/text/UpperCase.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <limits>
#include <cctype>
#include <memory>
#include <optional>

namespace kaldrani::queries {

namespace {

// The full-width comma (U+FF0C) in most texts, the ASCII comma in Sogou's.
constexpr std::string_view kError = "查询出错，请重试!";
constexpr std::string_view kGoogleError = "查询失败，请重试!";
constexpr std::string_view kSogouError = "查询出错,请重试!";

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

    // The bound for the next page's fetch, at most pageBoundMs. Raises std::runtime_error
    // naming the bound when the scan has no time left.
    int nextFetchBoundMs(int pageBoundMs) const
    {
        // Rounded up, so that the fetch's own clock never ends before the scan's.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(m_end - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            throw expiredError();
        return static_cast<int>(std::min<long long>(left, pageBoundMs));
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

// Base64 with the URL alphabet ("-", "_"), padding optional; nothing for other text.
std::optional<std::string> base64UrlDecoded(std::string_view text)
{
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (const char c : text) {
        int v;
        if (c >= 'A' && c <= 'Z')
            v = c - 'A';
        else if (c >= 'a' && c <= 'z')
            v = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            v = c - '0' + 52;
        else if (c == '-' || c == '+')
            v = 62;
        else if (c == '_' || c == '/')
            v = 63;
        else if (c == '=')
            break;
        else
            return std::nullopt;
        bits = (bits << 6) | static_cast<unsigned>(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return out;
}

std::string percentDecoded(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1]))
            && std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

std::string resultAddress(const profiles::Service& service, std::string_view match)
{
    if (service.unwrap.empty())
        return std::string(match);
    const std::optional<std::string> wrapped = net::firstGroup(service.unwrap, match);
    if (!wrapped)
        return std::string(match);
    switch (service.unwrapDecode) {
    case profiles::UnwrapDecode::Base64Url:
        // What does not decode stays as it came: it may still name the site.
        return base64UrlDecoded(*wrapped).value_or(*wrapped);
    case profiles::UnwrapDecode::Percent: return percentDecoded(*wrapped);
    default: return *wrapped;
    }
}

namespace {

// The index of the first match on the page whose address contains wanted (already upper
// case), or -1. The matches are walked, never gathered: a page can match millions of times.
long long firstHit(const profiles::Service& service, net::TRegExp& regex, std::string_view page, const std::string& wanted)
{
    long long index = 0, hit = -1;
    regex.forEachMatch(page, [&](std::string_view match, std::size_t) {
        // Most services read the match itself: no copy of it on pages of millions of matches.
        const std::string address = service.unwrap.empty() ? text::upperCase(match)
                                                           : text::upperCase(resultAddress(service, match));
        if (address.find(wanted) != std::string::npos) {
            hit = index;
            return false;
        }
        ++index;
        return true;
    });
    return hit;
}

TermBytes termBytesOf(const profiles::Service& service)
{
    return service.termEncoding == profiles::TermEncoding::Utf8 ? TermBytes::Utf8 : TermBytes::Gbk;
}

std::string pageAddress(const profiles::Service& service, const std::string& encodedTerm, long long page)
{
    return service.url({{"keyword", encodedTerm}, {"page", std::to_string(service.pageValue(page))}});
}

std::shared_ptr<const profiles::Service> serviceFor(SearchEngine engine)
{
    return profiles::activeService(profiles::keywordService(engine));
}

} // namespace

std::string_view keywordFailureText(SearchEngine engine)
{
    switch (engine) {
    case SearchEngine::Google: return kGoogleError;
    case SearchEngine::Sogou: return kSogouError;
    default: return kError;
    }
}

std::string keywordBoxText(const fetch::Outcome<std::string>& outcome)
{
    switch (outcome.failure) {
    case fetch::Failure::Blocked: return "被拦截：" + fetch::refusalOf(outcome.why);
    case fetch::Failure::SwitchedOff: return "已关闭";
    case fetch::Failure::Retired: return std::string(fetch::kRetiredShown);
    default: return outcome.value;
    }
}

long long keywordHitOnPage(const profiles::Service& service, const std::string& site, const std::string& page)
{
    fetch::checkNotBlocked(service, page);
    if (site.empty())
        return -1;
    net::TRegExp regex;
    regex.setMultiline(true);
    regex.setGlobal(true);
    regex.setPattern(service.pattern);
    return firstHit(service, regex, page, text::upperCase(site));
}

std::string keywordPageUrl(SearchEngine engine, std::string_view keyword, long long page)
{
    const std::shared_ptr<const profiles::Service> service = serviceFor(engine);
    return pageAddress(*service, EncodeQueryTerm(termBytes(termBytesOf(*service), keyword)), page);
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
    const std::shared_ptr<const profiles::Service> service = serviceFor(engine);
    if (!service->enabled || !service->retired.empty()) {
        view.setLastPageUrl(engine, {});
        view.setLookupVisible(engine, true);
        if (!service->retired.empty())
            return fetch::retiredOutcome(std::string(keywordFailureText(engine)), service->retired);
        return fetch::switchedOff(std::string(keywordFailureText(engine)));
    }
    const std::string wanted = text::upperCase(site);
    const ScanDeadline deadline;
    long long position = 0;
    std::string why;
    fetch::Failure failure = fetch::Failure::Plain;
    std::string pageUrl;
    try {
        // One client and one pattern object serve every page of the scan.
        net::THttpClient client;
        const fetch::QueryFetch how = fetch::fetchSettings(*service);
        fetch::setUpClient(client, how);
        const int pageBoundMs = how.fetchTimeoutMs > 0 ? how.fetchTimeoutMs : std::numeric_limits<int>::max();
        net::TRegExp regex;
        regex.setMultiline(true);
        regex.setGlobal(true);
        regex.setPattern(service->pattern);
        const std::string term = EncodeQueryTerm(termBytes(termBytesOf(*service), keyword));

        bool found = false;
        // 64 bits, so that a last page of INT_MAX still ends the loop.
        for (long long page = firstPage; page <= lastPage && !found; ++page) {
            pageUrl = pageAddress(*service, term, page);
            view.setResultText(engine, "正在查询第 " + std::to_string(page) + " 页");
            const int bound = deadline.nextFetchBoundMs(pageBoundMs);
            client.FetchTimeout = bound;
            std::string text;
            try {
                text = fetch::fetchQueryPage(client, pageUrl, how);
            } catch (const net::NetError& e) {
                // The fetch ran out because the scan did: say so, not what the fetch saw. Its
                // own clock may end a hair before the scan's.
                const bool scanBound = bound < pageBoundMs;
                if (deadline.expired() || (scanBound && e.kind() == net::NetError::Kind::Deadline))
                    throw deadline.expiredError();
                throw;
            }
            fetch::checkNotBlocked(*service, text);
            // An empty site would be "contained" in every match.
            const long long hit = wanted.empty() ? -1 : firstHit(*service, regex, text, wanted);
            if (hit >= 0) {
                position = (page - 1) * 10 + hit + 1;
                found = true;
            }
        }
    } catch (...) {
        why = fetch::failureReason(std::current_exception(), fetch::readTimeoutOf(*service));
        failure = fetch::failureKind(std::current_exception());
        if (why.empty())
            why = "unknown failure";
    }
    view.setLastPageUrl(engine, pageUrl);
    view.setLookupVisible(engine, true);
    if (!why.empty())
        return {std::string(keywordFailureText(engine)), std::move(why), failure};
    return {"搜索排名第 " + std::to_string(position) + " 位", {}};
}

} // namespace kaldrani::queries
