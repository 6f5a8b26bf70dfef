#pragma once

#include "core/fetch/Outcome.h"
#include "core/profiles/Profile.h"

#include <string>
#include <string_view>

namespace kaldrani::queries {

// What the traffic-rank slot shows for a domain Tranco lists no rank for: an answer, not a failure.
inline constexpr std::string_view kNotRanked = "未上榜";

// Tranco's ranks JSON ({"domain": ..., "ranks": [{"date": "YYYY-MM-DD", "rank": N}, ...]}):
// the rank of the newest date, kNotRanked for an empty list. Raises fetch::MissingFigure
// for an answer that is no such JSON.
std::string trancoRankOf(const std::string& reply);

// Each query below gives its failure value with the failure's reason.

// The domain's PageRank from the maker's service: never negative, not limited above;
// 0 on any failure. Never raises.
fetch::Outcome<int> QueryPageRank(const std::string& domain);

// The Sogou rating read from Sogou's result page, not clamped; 0 on any failure. Never
// raises.
fetch::Outcome<int> QuerySogouRating(const std::string& domain);

// The Alexa service's reply, trimmed; "查询失败" when empty or on any failure (reads
// give up after 2000 ms). Never raises.
fetch::Outcome<std::string> QueryAlexaRank(const std::string& domain);

// ChinaRank's rank digits without grouping commas, "子网站不参与排名", leftover text, or
// "0" on any failure (reads give up after 2000 ms). Never raises.
fetch::Outcome<std::string> QueryChinaRank(const std::string& domain);

// What each rank query makes of its fetched page (decoded as its fetch form decodes it);
// the texts are cut to kMaxDisplayChars characters. Each raises only when the match fails.
int pageRankFromPage(const std::string& page);
int sogouRatingFromPage(const std::string& page);
std::string alexaRankFromReply(const std::string& reply);
std::string chinaRankFromPage(const std::string& page);

// The same with the profile of service given; each raises fetch::MissingFigure when the
// page states no figure, fetch::BlockedPage when it matches a blocked marker, and what the
// match raises.
int pageRankOf(const profiles::Service& service, const std::string& page);
int sogouRatingOf(const profiles::Service& service, const std::string& page);
std::string alexaRankOf(const profiles::Service& service, const std::string& reply);
std::string chinaRankOf(const profiles::Service& service, const std::string& page);

} // namespace kaldrani::queries
