#include "core/queries/RankQueries.h"

#include "core/net/TRegExp.h"
#include "core/queries/DisplayText.h"
#include "core/queries/Endpoints.h"
#include "core/queries/FetchDeadlines.h"
#include "core/queries/Patterns.h"
#include "core/queries/QueryFetch.h"
#include "core/queries/TextRemoval.h"
#include "core/text/Ascii.h"
#include "core/text/Numbers.h"

#include <string_view>

namespace kaldrani::queries {

namespace {

constexpr int kRankReadTimeoutMs = 2000;

std::string url(std::string_view host, std::string_view pathAndKey, const std::string& domain)
{
    std::string out = "http://";
    out.append(host).append(pathAndKey).append(domain);
    return out;
}

} // namespace

int pageRankFromPage(const std::string& page)
{
    std::string text = net::firstMatch(patterns::kStrong, page);
    removeAll(text, "<strong>");
    removeAll(text, "</strong>");
    text = text::trimControls(text);
    if (text.empty())
        return 0;
    const int value = text::parseInt32(text).value_or(0);
    return value < 0 ? 0 : value;
}

int sogouRatingFromPage(const std::string& page)
{
    std::string text = net::firstMatch(patterns::kSogouRating, page);
    removeAll(text, "搜狗评级:");
    removeAll(text, "/100");
    removeAll(text, ",");
    std::string_view digits = text.empty() ? std::string_view("0") : std::string_view(text);
    while (!digits.empty() && digits.front() == ' ')
        digits.remove_prefix(1);
    return text::parseInt32(digits).value_or(0);
}

std::string alexaRankFromReply(const std::string& reply)
{
    std::string result = boundDisplayText(text::trimControls(reply));
    return result.empty() ? "查询失败" : result;
}

std::string chinaRankFromPage(const std::string& page)
{
    std::string text = net::firstMatch(patterns::kChinaRank, page);
    removeAll(text, patterns::kChinaRankMarker);
    removeAll(text, "</span>");
    replaceAll(text, "子网站不参与综合排名", "子网站不参与排名");
    removeAll(text, ",");
    return text.empty() ? "0" : boundDisplayText(std::move(text));
}

int QueryPageRank(const std::string& domain)
{
    return valueOrFailure(0, [&] {
        return pageRankFromPage(fetchQueryPage(url(endpoints::kMaker, "/pr/?domain=", domain),
                                               {.sendUserAgent = true, .fetchTimeoutMs = kOverviewCountFetchTimeoutMs}));
    });
}

int QuerySogouRating(const std::string& domain, EventPump& pump)
{
    const int rating = valueOrFailure(0, [&] {
        return sogouRatingFromPage(fetchQueryPage(url(endpoints::kSogou, "/web?query=link:", domain),
                                                  {.form = PageForm::Stream, .fetchTimeoutMs = kOverviewCountFetchTimeoutMs}));
    });
    pump.processPendingEvents();
    return rating;
}

std::string QueryAlexaRank(const std::string& domain, EventPump& pump)
{
    std::string result = valueOrFailure(std::string(), [&] {
        return fetchQueryPage(url(endpoints::kMaker, "/api/alexa.asp?d=", domain),
                              {.followRedirects = true, .readTimeoutMs = kRankReadTimeoutMs, .fetchTimeoutMs = kRankFetchTimeoutMs});
    });
    pump.processPendingEvents();
    return alexaRankFromReply(result);
}

std::string QueryChinaRank(const std::string& domain, EventPump& pump)
{
    std::string result = valueOrFailure(std::string("0"), [&] {
        return chinaRankFromPage(fetchQueryPage(url(endpoints::kChinaRank, "/overview/Info.do?url=", domain),
                                                {.form = PageForm::Stream,
                                                 .followRedirects = true,
                                                 .readTimeoutMs = kRankReadTimeoutMs,
                                                 .fetchTimeoutMs = kRankFetchTimeoutMs}));
    });
    pump.processPendingEvents();
    return result;
}

} // namespace kaldrani::queries
