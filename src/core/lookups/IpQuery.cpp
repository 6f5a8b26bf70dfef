#include "core/lookups/IpQuery.h"

#include "core/lookups/LookupFetch.h"
#include "core/queries/Endpoints.h"
#include "core/queries/SafetyTimeout.h"
#include "core/queries/TextRemoval.h"

namespace kaldrani::lookups {

namespace {

constexpr std::string_view kServicePath = "/ip/data/";
// The service's colon after "IP" is full-width on its own-address page, ASCII in a lookup.
constexpr std::string_view kOwnPattern = "您的IP是：((.|\\n)*?)</div>";
constexpr std::string_view kLookupPattern = "您查询的IP:((.|\\n)*?)<br/>";
constexpr std::string_view kUnplaced = "您输入的好像火星IP";

// The service is asked with the client's defaults, but no wait may last for ever.
LookupSettings serviceSettings()
{
    return {.clearUserAgent = false, .readTimeoutMs = queries::safetyReadTimeoutMs()};
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
    std::string text = matchOrWhole(kOwnPattern, page);
    queries::replaceAll(text, "&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;", "\r\n");
    queries::removeAll(text, "\t</div>");
    return text;
}

std::string ipLookupUrl(const std::string& typed)
{
    std::string address = typed;
    queries::removeAll(address, "http://");
    return ownAddressUrl() + "?ip=" + address;
}

std::string ipLookupText(const std::string& page)
{
    std::string text = matchOrWhole(kLookupPattern, page);
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
    try {
        return ownAddressText(fetchLookupPage(ownAddressUrl(), serviceSettings()));
    } catch (...) {
        return {};
    }
}

std::string QueryIpLookup(const std::string& typed)
{
    try {
        return ipLookupText(fetchLookupPage(ipLookupUrl(typed), serviceSettings()));
    } catch (...) {
        return std::string(kIpFailure);
    }
}

} // namespace kaldrani::lookups
