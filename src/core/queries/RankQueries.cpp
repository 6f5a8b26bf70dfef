#include "core/queries/RankQueries.h"

#include "core/net/TRegExp.h"
#include "core/queries/DisplayText.h"
#include "core/queries/Endpoints.h"
#include "core/queries/FetchDeadlines.h"
#include "core/queries/Patterns.h"
#include "core/queries/QueryFetch.h"
#include "core/queries/SafetyTimeout.h"
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

// Each raises MissingFigure when the page states no figure: the query shows its failure
// value then, as for a failed fetch, but can say why.
int pageRankOf(const std::string& page)
{
    std::string text = net::firstMatch(patterns::kStrong, page);
    removeAll(text, "<strong>");
    removeAll(text, "</strong>");
    text = text::trimControls(text);
    if (text.empty())
        throw MissingFigure("no PageRank on the page");
    const auto value = text::parseInt32(text);
    if (!value)
        throw MissingFigure("no number where the PageRank stands");
    return *value < 0 ? 0 : *value;
}

int sogouRatingOf(const std::string& page)
{
    std::string text = net::firstMatch(patterns::kSogouRating, page);
    removeAll(text, "搜狗评级:");
    removeAll(text, "/100");
    removeAll(text, ",");
    if (text.empty())
        throw MissingFigure("no rating on the page");
    std::string_view digits = text;
    while (!digits.empty() && digits.front() == ' ')
        digits.remove_prefix(1);
    const auto rating = text::parseInt32(digits);
    if (!rating)
        throw MissingFigure("no number where the rating stands");
    return *rating;
}

std::string alexaRankOf(const std::string& reply)
{
    std::string result = boundDisplayText(text::trimControls(reply));
    if (result.empty())
        throw MissingFigure("empty reply");
    return result;
}

std::string chinaRankOf(const std::string& page)
{
    std::string text = net::firstMatch(patterns::kChinaRank, page);
    removeAll(text, patterns::kChinaRankMarker);
    removeAll(text, "</span>");
    replaceAll(text, "子网站不参与综合排名", "子网站不参与排名");
    removeAll(text, ",");
    if (text.empty())
        throw MissingFigure("no rank on the page");
    return boundDisplayText(std::move(text));
}

template <class T, class Extract>
T orFailureValue(T failureValue, Extract&& extract)
{
    try {
        return std::forward<Extract>(extract)();
    } catch (const MissingFigure&) {
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

Outcome<int> QueryPageRank(const std::string& domain)
{
    return outcomeOf(0, safetyReadTimeoutMs(), [&] {
        return pageRankOf(fetchQueryPage(url(endpoints::kMaker, "/pr/?domain=", domain),
                                         {.sendUserAgent = true, .fetchTimeoutMs = kOverviewCountFetchTimeoutMs}));
    });
}

Outcome<int> QuerySogouRating(const std::string& domain, EventPump& pump)
{
    Outcome<int> rating = outcomeOf(0, safetyReadTimeoutMs(), [&] {
        return sogouRatingOf(fetchQueryPage(url(endpoints::kSogou, "/web?query=link:", domain),
                                            {.form = PageForm::Stream, .fetchTimeoutMs = kOverviewCountFetchTimeoutMs}));
    });
    pump.processPendingEvents();
    return rating;
}

Outcome<std::string> QueryAlexaRank(const std::string& domain, EventPump& pump)
{
    Outcome<std::string> result = outcomeOf(std::string("查询失败"), kRankReadTimeoutMs, [&] {
        return alexaRankOf(fetchQueryPage(
            url(endpoints::kMaker, "/api/alexa.asp?d=", domain),
            {.followRedirects = true, .readTimeoutMs = kRankReadTimeoutMs, .fetchTimeoutMs = kRankFetchTimeoutMs}));
    });
    pump.processPendingEvents();
    return result;
}

Outcome<std::string> QueryChinaRank(const std::string& domain, EventPump& pump)
{
    Outcome<std::string> result = outcomeOf(std::string("0"), kRankReadTimeoutMs, [&] {
        return chinaRankOf(fetchQueryPage(url(endpoints::kChinaRank, "/overview/Info.do?url=", domain),
                                          {.form = PageForm::Stream,
                                           .followRedirects = true,
                                           .readTimeoutMs = kRankReadTimeoutMs,
                                           .fetchTimeoutMs = kRankFetchTimeoutMs}));
    });
    pump.processPendingEvents();
    return result;
}

} // namespace kaldrani::queries
