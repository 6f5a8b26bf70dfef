#include "core/lookups/WhoisQuery.h"

#include "core/lookups/MatchOrWhole.h"
#include "core/lookups/TargetText.h"
#include "core/queries/Endpoints.h"
#include "core/queries/Patterns.h"
#include "core/queries/FetchDeadlines.h"
#include "core/queries/QueryFetch.h"
#include "core/queries/SafetyTimeout.h"
#include "core/queries/TextRemoval.h"
#include "core/text/Ascii.h"

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
        queries::removeAll(domain, "www.");
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
    queries::removeAll(text, kStart);
    queries::removeAll(text, kEnd);
    queries::replaceAll(text, "\n", "\r\n");
    return text.empty() ? std::string(kWhoisFailure) : text;
}

std::string QueryWhois(const std::string& typed)
{
    using namespace queries;
    // An unreachable host must not keep the window waiting for the system's connect limit.
    const QueryFetch how{.form = PageForm::Stream,
                         .readTimeoutMs = kWhoisReadTimeoutMs,
                         .connectTimeoutMs = safetyReadTimeoutMs(),
                         .fetchTimeoutMs = kLookupFetchTimeoutMs};
    return valueOrFailure(std::string(kWhoisFailure), [&] { return whoisText(fetchQueryPage(whoisUrl(typed), how)); });
}

} // namespace kaldrani::lookups
