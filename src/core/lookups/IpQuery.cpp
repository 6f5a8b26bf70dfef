#include "core/lookups/IpQuery.h"

#include "core/lookups/MatchOrWhole.h"
#include "core/lookups/TargetText.h"
#include "core/queries/Endpoints.h"
#include "core/queries/Patterns.h"
#include "core/queries/FetchDeadlines.h"
#include "core/queries/QueryFetch.h"
#include "core/queries/SafetyTimeout.h"
#include "core/queries/TextRemoval.h"

namespace kaldrani::lookups {

namespace {

constexpr std::string_view kServicePath = "/ip/data/";
constexpr std::string_view kUnplaced = "您输入的好像火星IP";

// The service is asked with the client's defaults, but no wait may last for ever: the
// own address is fetched during start-up, and a lookup holds its window's input.
queries::QueryFetch serviceFetch()
{
    return {.form = queries::PageForm::Stream,
            .sendUserAgent = true,
            .readTimeoutMs = queries::safetyReadTimeoutMs(),
            .connectTimeoutMs = queries::safetyReadTimeoutMs(),
            .fetchTimeoutMs = queries::kLookupFetchTimeoutMs};
}

} // namespace

std::string ownAddressUrl()
{
    std::string url = "http://";
    url.append(endpoints::kMaker).append(kServicePath);
    return url;
}

std::string ownAddressText(const std::string& page)
{
    std::string text = matchOrWhole(patterns::kOwnAddress, page);
    queries::replaceAll(text, "&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;", "\r\n");
    queries::removeAll(text, "\t</div>");
    return text;
}

std::string ipLookupUrl(const std::string& typed)
{
    std::string address = typed;
    queries::removeAll(address, "http://");
    return ownAddressUrl() + "?ip=" + targetText(address);
}

std::string ipLookupText(const std::string& page)
{
    std::string text = matchOrWhole(patterns::kIpLookup, page);
    if (text.find(kUnplaced) != std::string::npos)
        text = kIpNotFound;
    queries::removeAll(text, "&nbsp;");
    queries::replaceAll(text, ":", "：");
    queries::replaceAll(text, "<br>", "\r\n");
    queries::removeAll(text, "<br/>");
    return text;
}

std::string QueryOwnAddress()
{
    return queries::valueOrFailure(std::string(),
                                   [] { return ownAddressText(queries::fetchQueryPage(ownAddressUrl(), serviceFetch())); });
}

std::string QueryIpLookup(const std::string& typed)
{
    return queries::valueOrFailure(std::string(kIpFailure), [&] {
        return ipLookupText(queries::fetchQueryPage(ipLookupUrl(typed), serviceFetch()));
    });
}

} // namespace kaldrani::lookups
