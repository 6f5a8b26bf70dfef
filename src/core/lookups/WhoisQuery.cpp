#include "core/lookups/WhoisQuery.h"

#include "core/fetch/Endpoints.h"
#include "core/fetch/FetchDeadlines.h"
#include "core/fetch/Patterns.h"
#include "core/fetch/QueryFetch.h"
#include "core/fetch/SafetyTimeout.h"
#include "core/lookups/MatchOrWhole.h"
#include "core/lookups/TargetText.h"
#include "core/text/Ascii.h"
#include "core/text/TextRemoval.h"

namespace kaldrani::lookups {

namespace {

constexpr std::string_view kStart = "<!-- start -->";
constexpr std::string_view kEnd = "友情提示";
constexpr int kWhoisReadTimeoutMs = 2000;

} // namespace

std::string whoisDomain(const std::string& typed)
{
    std::string domain = typed;
    if (text::asciiLower(domain).find("www.") != std::string::npos)
        text::removeAll(domain, "www.");
    return domain;
}

std::string whoisUrl(const std::string& typed)
{
    std::string url = "http://";
    url.append(endpoints::kWhois).append("/cgi-bin/whois?domain=").append(targetText(whoisDomain(typed)));
    return url;
}

std::string whoisText(const std::string& page)
{
    std::string text = matchOrWhole(patterns::kWhoisRecord, page);
    text::removeAll(text, kStart);
    text::removeAll(text, kEnd);
    text::replaceAll(text, "\n", "\r\n");
    return text.empty() ? std::string(kWhoisFailure) : text;
}

fetch::Outcome<std::string> QueryWhois(const std::string& typed)
{
    // An unreachable host must not keep the window waiting for the system's connect limit.
    const fetch::QueryFetch how{.form = fetch::PageForm::Stream,
                                .readTimeoutMs = kWhoisReadTimeoutMs,
                                .connectTimeoutMs = fetch::safetyReadTimeoutMs(),
                                .fetchTimeoutMs = fetch::kLookupFetchTimeoutMs};
    return fetch::outcomeOf(std::string(kWhoisFailure), kWhoisReadTimeoutMs, [&] {
        std::string text = whoisText(fetch::fetchQueryPage(whoisUrl(typed), how));
        if (text == kWhoisFailure)
            throw fetch::MissingFigure("no record on the page");
        return text;
    });
}

} // namespace kaldrani::lookups
