#include "core/queries/RankQueries.h"

#include "core/fetch/Endpoints.h"
#include "core/fetch/FetchDeadlines.h"
#include "core/fetch/Patterns.h"
#include "core/fetch/QueryFetch.h"
#include "core/fetch/SafetyTimeout.h"
#include "core/net/TRegExp.h"
#include "core/queries/DisplayText.h"
#include "core/text/Ascii.h"
#include "core/text/Numbers.h"
#include "core/text/TextRemoval.h"

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

// Each raises fetch::MissingFigure when the page states no figure: the query shows its failure
// value then, as for a failed fetch, but can say why.
int pageRankOf(const std::string& page)
{
    std::string text = net::firstMatch(patterns::kStrong, page);
    text::removeAll(text, "<strong>");
    text::removeAll(text, "</strong>");
    text = text::trimControls(text);
    if (text.empty())
        throw fetch::MissingFigure("no PageRank on the page");
    const auto value = text::parseInt32(text);
    if (!value)
        throw fetch::MissingFigure("no number where the PageRank stands");
    return *value < 0 ? 0 : *value;
}

int sogouRatingOf(const std::string& page)
{
    std::string text = net::firstMatch(patterns::kSogouRating, page);
    text::removeAll(text, "搜狗评级:");
    text::removeAll(text, "/100");
    text::removeAll(text, ",");
    if (text.empty())
        throw fetch::MissingFigure("no rating on the page");
    std::string_view digits = text;
    while (!digits.empty() && digits.front() == ' ')
        digits.remove_prefix(1);
    const auto rating = text::parseInt32(digits);
    if (!rating)
        throw fetch::MissingFigure("no number where the rating stands");
    return *rating;
}

std::string alexaRankOf(const std::string& reply)
{
    std::string result = boundDisplayText(text::trimControls(reply));
    if (result.empty())
        throw fetch::MissingFigure("empty reply");
    return result;
}

std::string chinaRankOf(const std::string& page)
{
    std::string text = net::firstMatch(patterns::kChinaRank, page);
    text::removeAll(text, patterns::kChinaRankMarker);
    text::removeAll(text, "</span>");
    text::replaceAll(text, "子网站不参与综合排名", "子网站不参与排名");
    text::removeAll(text, ",");
    if (text.empty())
        throw fetch::MissingFigure("no rank on the page");
    return boundDisplayText(std::move(text));
}

template <class T, class Extract>
T orFailureValue(T failureValue, Extract&& extract)
{
    try {
        return std::forward<Extract>(extract)();
    } catch (const fetch::MissingFigure&) {
        return failureValue;
    }
}

} // namespace

int pageRankFromPage(const std::string& page)
{
    return orFailureValue(0, [&] { return pageRankOf(page); });
}

int sogouRatingFromPage(const std::string& page)
{
    return orFailureValue(0, [&] { return sogouRatingOf(page); });
}

std::string alexaRankFromReply(const std::string& reply)
{
    return orFailureValue(std::string("查询失败"), [&] { return alexaRankOf(reply); });
}

std::string chinaRankFromPage(const std::string& page)
{
    return orFailureValue(std::string("0"), [&] { return chinaRankOf(page); });
}

fetch::Outcome<int> QueryPageRank(const std::string& domain)
{
    return fetch::outcomeOf(0, fetch::safetyReadTimeoutMs(), [&] {
        return pageRankOf(fetch::fetchQueryPage(url(endpoints::kMaker, "/pr/?domain=", domain),
                                         {.sendUserAgent = true, .fetchTimeoutMs = fetch::kOverviewCountFetchTimeoutMs}));
    });
}

fetch::Outcome<int> QuerySogouRating(const std::string& domain, run::EventPump& pump)
{
    fetch::Outcome<int> rating = fetch::outcomeOf(0, fetch::safetyReadTimeoutMs(), [&] {
        return sogouRatingOf(fetch::fetchQueryPage(url(endpoints::kSogou, "/web?query=link:", domain),
                                            {.form = fetch::PageForm::Stream, .fetchTimeoutMs = fetch::kOverviewCountFetchTimeoutMs}));
    });
    pump.processPendingEvents();
    return rating;
}

fetch::Outcome<std::string> QueryAlexaRank(const std::string& domain, run::EventPump& pump)
{
    fetch::Outcome<std::string> result = fetch::outcomeOf(std::string("查询失败"), kRankReadTimeoutMs, [&] {
        return alexaRankOf(fetch::fetchQueryPage(
            url(endpoints::kMaker, "/api/alexa.asp?d=", domain),
            {.followRedirects = true, .readTimeoutMs = kRankReadTimeoutMs, .fetchTimeoutMs = fetch::kRankFetchTimeoutMs}));
    });
    pump.processPendingEvents();
    return result;
}

fetch::Outcome<std::string> QueryChinaRank(const std::string& domain, run::EventPump& pump)
{
    fetch::Outcome<std::string> result = fetch::outcomeOf(std::string("0"), kRankReadTimeoutMs, [&] {
        return chinaRankOf(fetch::fetchQueryPage(url(endpoints::kChinaRank, "/overview/Info.do?url=", domain),
                                          {.form = fetch::PageForm::Stream,
                                           .followRedirects = true,
                                           .readTimeoutMs = kRankReadTimeoutMs,
                                           .fetchTimeoutMs = fetch::kRankFetchTimeoutMs}));
    });
    pump.processPendingEvents();
    return result;
}

} // namespace kaldrani::queries
