#include "core/queries/RankQueries.h"

#include "core/net/TRegExp.h"
#include "core/queries/Endpoints.h"
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

} // namespace

int QueryPageRank(const std::string& domain, std::string* why)
{
    return valueOrFailure(0, why, safetyReadTimeoutMs(), [&] {
        const std::string page = fetchQueryPage(url(endpoints::kMaker, "/pr/?domain=", domain), {.sendUserAgent = true});
        std::string text = net::firstMatch(patterns::kStrong, page);
        removeAll(text, "<strong>");
        removeAll(text, "</strong>");
        text = text::trimControls(text);
        // Both give 0, as a failure does; only a number the page states is an answer.
        if (text.empty())
            throw MissingFigure("no PageRank on the page");
        const auto value = text::parseInt32(text);
        if (!value)
            throw MissingFigure("no number where the PageRank stands");
        return *value < 0 ? 0 : *value;
    });
}

int QuerySogouRating(const std::string& domain, EventPump& pump, std::string* why)
{
    const int rating = valueOrFailure(0, why, safetyReadTimeoutMs(), [&] {
        const std::string page =
            fetchQueryPage(url(endpoints::kSogou, "/web?query=link:", domain), {.form = PageForm::Stream});
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
    });
    pump.processPendingEvents();
    return rating;
}

std::string QueryAlexaRank(const std::string& domain, EventPump& pump, std::string* why)
{
    std::string result = valueOrFailure(std::string("查询失败"), why, kRankReadTimeoutMs, [&] {
        std::string reply = text::trimControls(fetchQueryPage(
            url(endpoints::kMaker, "/api/alexa.asp?d=", domain), {.followRedirects = true, .readTimeoutMs = kRankReadTimeoutMs}));
        if (reply.empty())
            throw MissingFigure("empty reply");
        return reply;
    });
    pump.processPendingEvents();
    return result;
}

std::string QueryChinaRank(const std::string& domain, EventPump& pump, std::string* why)
{
    std::string result = valueOrFailure(std::string("0"), why, kRankReadTimeoutMs, [&] {
        const std::string page = fetchQueryPage(
            url(endpoints::kChinaRank, "/overview/Info.do?url=", domain),
            {.form = PageForm::Stream, .followRedirects = true, .readTimeoutMs = kRankReadTimeoutMs});
        std::string text = net::firstMatch(patterns::kChinaRank, page);
        removeAll(text, patterns::kChinaRankMarker);
        removeAll(text, "</span>");
        replaceAll(text, "子网站不参与综合排名", "子网站不参与排名");
        removeAll(text, ",");
        if (text.empty())
            throw MissingFigure("no rank on the page");
        return text;
    });
    pump.processPendingEvents();
    return result;
}

} // namespace kaldrani::queries
