#include "core/queries/KeywordSearch.h"

#include "core/fetch/QueryFetch.h"
#include "core/profiles/ActiveProfile.h"
#include "core/profiles/ServiceNames.h"
#include "core/net/HttpClient.h"
#include "core/net/TRegExp.h"
#include "core/text/Ascii.h"
#include "core/text/DomainName.h"
#include "core/text/UpperCase.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <limits>
#include <cctype>
#include <memory>
#include <optional>
#include <vector>

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

// The site as a results page may name it, upper case: with its domain in Unicode and in
// A-labels (one text for an ASCII name), and a typed scheme and path kept around it.
// Nothing for an empty site. Raises text::DomainNameError for a domain that is none.
std::vector<std::string> siteNeedles(std::string_view site)
{
    std::vector<std::string> needles;
    if (site.empty())
        return needles;
    std::string_view rest = site;
    std::string_view scheme;
    for (const std::string_view prefix : {std::string_view("http://"), std::string_view("https://")})
        if (rest.size() > prefix.size() && text::equalsIgnoreAsciiCase(rest.substr(0, prefix.size()), prefix)) {
            scheme = rest.substr(0, prefix.size());
            rest.remove_prefix(prefix.size());
            break;
        }
    const std::size_t end = rest.find_first_of("/:?#");
    const std::string_view tail = end == std::string_view::npos ? std::string_view() : rest.substr(end);
    const text::DomainForms forms = text::domainForms(rest.substr(0, end));
    for (const std::string& name : {forms.unicode, forms.ascii}) {
        std::string needle = text::upperCase(std::string(scheme) + name + std::string(tail));
        if (std::find(needles.begin(), needles.end(), needle) == needles.end())
            needles.push_back(std::move(needle));
    }
    return needles;
}

// The index of the first match on the page whose address contains one of the needles
// (already upper case), or -1. The matches are walked, never gathered: a page can match
// millions of times.
long long firstHit(const profiles::Service& service, net::TRegExp& regex, std::string_view page,
                   const std::vector<std::string>& needles)
{
    long long index = 0, hit = -1;
    regex.forEachMatch(page, [&](std::string_view match, std::size_t) {
        // Most services read the match itself: no copy of it on pages of millions of matches.
        const std::string address = service.unwrap.empty() ? text::upperCase(match)
                                                           : text::upperCase(resultAddress(service, match));
        if (std::any_of(needles.begin(), needles.end(),
                        [&](const std::string& needle) { return address.find(needle) != std::string::npos; })) {
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

std::string keywordSiteProblem(std::string_view site)
{
    try {
        siteNeedles(site);
    } catch (const text::DomainNameError& e) {
        return e.what();
    }
    return {};
}

long long keywordHitOnPage(const profiles::Service& service, const std::string& site, const std::string& page)
{
    const std::vector<std::string> needles = siteNeedles(site);
    fetch::checkNotBlocked(service, page);
    if (needles.empty())
        return -1;
    net::TRegExp regex;
    regex.setMultiline(true);
    regex.setGlobal(true);
    regex.setPattern(service.pattern);
    return firstHit(service, regex, page, needles);
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

KeywordOutcome FindKeywordPosition(SearchEngine engine, const std::string& site, const std::string& keyword,
                                   int firstPage, int lastPage, KeywordView& view)
{
    const std::shared_ptr<const profiles::Service> service = serviceFor(engine);
    std::vector<std::string> needles;
    std::optional<fetch::Failure> refused;
    if (!service->retired.empty())
        refused = fetch::retiredOutcome(KeywordResult{}, service->retired).failure;
    else if (!service->enabled)
        refused = fetch::switchedOff(KeywordResult{}).failure;
    else
        try {
            needles = siteNeedles(site);
        } catch (const text::DomainNameError& e) {
            refused = fetch::Failure{fetch::FailureKind::Plain, e.what()};
        }
    if (refused) {
        view.setLastPageUrl(engine, {});
        view.setLookupVisible(engine, true);
        return {KeywordResult{}, std::move(refused)};
    }
    const ScanDeadline deadline;
    KeywordResult found;
    std::optional<fetch::Failure> failure;
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

        // 64 bits, so that a last page of INT_MAX still ends the loop.
        for (long long page = firstPage; page <= lastPage && found.position == 0; ++page) {
            pageUrl = pageAddress(*service, term, page);
            view.setProgress(engine, page);
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
            const long long hit = needles.empty() ? -1 : firstHit(*service, regex, text, needles);
            if (hit >= 0)
                found.position = (page - 1) * 10 + hit + 1;
        }
    } catch (...) {
        failure = fetch::failureOf(std::current_exception(), fetch::readTimeoutOf(*service));
        found = {};
    }
    view.setLastPageUrl(engine, pageUrl);
    view.setLookupVisible(engine, true);
    return {found, std::move(failure)};
}

} // namespace kaldrani::queries
