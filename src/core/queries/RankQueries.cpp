#include "core/queries/RankQueries.h"

#include "core/fetch/QueryFetch.h"
#include "core/net/TRegExp.h"
#include "core/profiles/ActiveProfile.h"
#include "core/profiles/ServiceNames.h"
#include "core/queries/DisplayText.h"
#include "core/text/Ascii.h"
#include "core/text/Numbers.h"

#include <nlohmann/json.hpp>

#include <memory>
#include <optional>
#include <string_view>

namespace kaldrani::queries {

namespace {

std::shared_ptr<const profiles::Service> service(std::string_view name)
{
    return profiles::activeService(name);
}

} // namespace

// Each raises fetch::MissingFigure when the page states no figure: the query shows its failure
// value then, as for a failed fetch, but can say why; fetch::BlockedPage for a refusal.
int pageRankOf(const profiles::Service& service, const std::string& page)
{
    fetch::checkNotBlocked(service, page);
    std::string text = text::trimControls(service.edited(service.matched(page)));
    if (text.empty())
        throw fetch::MissingFigure("no PageRank on the page");
    const auto value = text::parseInt32(text);
    if (!value)
        throw fetch::MissingFigure("no number where the PageRank stands");
    return *value < 0 ? 0 : *value;
}

int sogouRatingOf(const profiles::Service& service, const std::string& page)
{
    fetch::checkNotBlocked(service, page);
    std::string text = service.edited(service.matched(page));
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

std::string trancoRankOf(const std::string& reply)
{
    nlohmann::json doc;
    try {
        doc = nlohmann::json::parse(reply);
    } catch (const nlohmann::json::exception&) {
        throw fetch::MissingFigure("the answer is not JSON");
    }
    const auto ranks = doc.is_object() ? doc.find("ranks") : doc.end();
    if (!doc.is_object() || ranks == doc.end() || !ranks->is_array())
        throw fetch::MissingFigure("no ranks in the answer");
    // The dates are ISO (YYYY-MM-DD), so the newest is the greatest text.
    std::string newestDate;
    std::optional<long long> newestRank;
    for (const nlohmann::json& entry : *ranks) {
        if (!entry.is_object())
            continue;
        const auto date = entry.find("date");
        const auto rank = entry.find("rank");
        if (date == entry.end() || !date->is_string() || rank == entry.end() || !rank->is_number_integer())
            continue;
        const long long value = rank->get<long long>();
        if (value < 1)
            continue;
        const std::string& day = date->get_ref<const std::string&>();
        if (!newestRank || day > newestDate) {
            newestDate = day;
            newestRank = value;
        }
    }
    if (newestRank)
        return std::to_string(*newestRank);
    // An empty list is an answer: the domain is not among the ranked ones.
    if (ranks->empty())
        return std::string(kNotRanked);
    throw fetch::MissingFigure("no usable rank in the answer");
}

std::string alexaRankOf(const profiles::Service& service, const std::string& reply)
{
    fetch::checkNotBlocked(service, reply);
    if (service.reader == profiles::AnswerReader::TrancoJson)
        return trancoRankOf(reply);
    // No pattern: the whole reply is the rank.
    const std::string text = service.pattern.empty() ? reply : service.matched(reply);
    std::string result = boundDisplayText(text::trimControls(service.edited(text)));
    if (result.empty())
        throw fetch::MissingFigure("empty reply");
    return result;
}

std::string chinaRankOf(const profiles::Service& service, const std::string& page)
{
    fetch::checkNotBlocked(service, page);
    std::string text = service.edited(service.matched(page));
    if (text.empty())
        throw fetch::MissingFigure("no rank on the page");
    return boundDisplayText(std::move(text));
}

namespace {

template <class T, class Extract>
T orFailureValue(T failureValue, Extract&& extract)
{
    try {
        return std::forward<Extract>(extract)();
    } catch (const fetch::MissingFigure&) {
        return failureValue;
    } catch (const fetch::BlockedPage&) {
        return failureValue;
    }
}

// The query of service: its figure read from the page by extract, or failureValue.
template <class T, class Extract>
fetch::Outcome<T> rankQuery(std::string_view name, const std::string& domain, T failureValue, Extract&& extract)
{
    const std::shared_ptr<const profiles::Service> s = service(name);
    if (!s->retired.empty())
        return fetch::retiredOutcome(std::move(failureValue), s->retired);
    if (!s->enabled)
        return fetch::switchedOff(std::move(failureValue));
    return fetch::outcomeOf(std::move(failureValue), fetch::readTimeoutOf(*s), [&] {
        return extract(*s, fetch::fetchQueryPage(s->url({{"site", domain}}), fetch::fetchSettings(*s)));
    });
}

} // namespace

int pageRankFromPage(const std::string& page)
{
    return orFailureValue(0, [&] { return pageRankOf(*service(profiles::kPageRank), page); });
}

int sogouRatingFromPage(const std::string& page)
{
    return orFailureValue(0, [&] { return sogouRatingOf(*service(profiles::kSogouRating), page); });
}

std::string alexaRankFromReply(const std::string& reply)
{
    return orFailureValue(std::string("查询失败"), [&] { return alexaRankOf(*service(profiles::kAlexaRank), reply); });
}

std::string chinaRankFromPage(const std::string& page)
{
    return orFailureValue(std::string("0"), [&] { return chinaRankOf(*service(profiles::kChinaRank), page); });
}

fetch::Outcome<int> QueryPageRank(const std::string& domain)
{
    return rankQuery(profiles::kPageRank, domain, 0, pageRankOf);
}

fetch::Outcome<int> QuerySogouRating(const std::string& domain)
{
    return rankQuery(profiles::kSogouRating, domain, 0, sogouRatingOf);
}

fetch::Outcome<std::string> QueryAlexaRank(const std::string& domain)
{
    return rankQuery(profiles::kAlexaRank, domain, std::string("查询失败"), alexaRankOf);
}

fetch::Outcome<std::string> QueryChinaRank(const std::string& domain)
{
    return rankQuery(profiles::kChinaRank, domain, std::string("0"), chinaRankOf);
}

} // namespace kaldrani::queries
