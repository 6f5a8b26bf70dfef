#include "core/lookups/WhoisQuery.h"

#include "core/lookups/LookupFetch.h"
#include "core/queries/Endpoints.h"
#include "core/queries/TextRemoval.h"
#include "core/text/Ascii.h"

namespace kaldrani::lookups {

namespace {

constexpr std::string_view kStart = "<!-- start -->";
constexpr std::string_view kEnd = "友情提示";
constexpr std::string_view kRecordPattern = "<!-- start -->((.|\\n)*?)友情提示";
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
    url.append(endpoints::kWhois).append("/cgi-bin/whois?domain=").append(whoisDomain(typed));
    return url;
}

std::string whoisText(const std::string& page)
{
    std::string text = matchOrWhole(kRecordPattern, page);
    queries::removeAll(text, kStart);
    queries::removeAll(text, kEnd);
    queries::replaceAll(text, "\n", "\r\n");
    return text.empty() ? std::string(kWhoisFailure) : text;
}

std::string QueryWhois(const std::string& typed)
{
    try {
        return whoisText(fetchLookupPage(whoisUrl(typed), {.clearUserAgent = true, .readTimeoutMs = kWhoisReadTimeoutMs}));
    } catch (...) {
        return std::string(kWhoisFailure);
    }
}

} // namespace kaldrani::lookups
