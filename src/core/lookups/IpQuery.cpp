#include "core/lookups/IpQuery.h"

#include "core/fetch/Endpoints.h"
#include "core/fetch/FetchDeadlines.h"
#include "core/fetch/Patterns.h"
#include "core/fetch/QueryFetch.h"
#include "core/fetch/SafetyTimeout.h"
#include "core/lookups/MatchOrWhole.h"
#include "core/lookups/TargetText.h"
#include "core/text/TextRemoval.h"

namespace kaldrani::lookups {

namespace {

constexpr std::string_view kServicePath = "/ip/data/";
constexpr std::string_view kUnplaced = "您输入的好像火星IP";

// The service is asked with the client's defaults, but no wait may last for ever: the
// own address is fetched during start-up, and a lookup holds its window's input.
fetch::QueryFetch serviceFetch()
{
    return {.form = fetch::PageForm::Stream,
            .sendUserAgent = true,
            .readTimeoutMs = fetch::safetyReadTimeoutMs(),
            .connectTimeoutMs = fetch::safetyReadTimeoutMs(),
            .fetchTimeoutMs = fetch::kLookupFetchTimeoutMs};
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
    text::replaceAll(text, "&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;", "\r\n");
    text::removeAll(text, "\t</div>");
    return text;
}

std::string ipLookupUrl(const std::string& typed)
{
    std::string address = typed;
    text::removeAll(address, "http://");
    return ownAddressUrl() + "?ip=" + targetText(address);
}

std::string ipLookupText(const std::string& page)
{
    std::string text = matchOrWhole(patterns::kIpLookup, page);
    if (text.find(kUnplaced) != std::string::npos)
        text = kIpNotFound;
    text::removeAll(text, "&nbsp;");
    text::replaceAll(text, ":", "：");
    text::replaceAll(text, "<br>", "\r\n");
    text::removeAll(text, "<br/>");
    return text;
}

fetch::Outcome<std::string> QueryOwnAddress()
{
    return fetch::outcomeOf(std::string(), fetch::safetyReadTimeoutMs(), [] {
        return ownAddressText(fetch::fetchQueryPage(ownAddressUrl(), serviceFetch()));
    });
}

fetch::Outcome<std::string> QueryIpLookup(const std::string& typed)
{
    return fetch::outcomeOf(std::string(kIpFailure), fetch::safetyReadTimeoutMs(), [&] {
        return ipLookupText(fetch::fetchQueryPage(ipLookupUrl(typed), serviceFetch()));
    });
}

} // namespace kaldrani::lookups
