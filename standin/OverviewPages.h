#pragma once

#include "core/model/SearchEngine.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kaldrani::standin {

class StandinServer;

// The figures the stand-in pages state for one domain: stable for a domain, different
// across domains, plausible in size.
struct OverviewFigures {
    kaldrani::PerEngine<std::int64_t> indexed{};
    kaldrani::PerEngine<std::int64_t> backlinks{};
    int pageRank = 0;                        // 0..10
    int sogouRating = 0;                     // 0..100
    std::int64_t alexaRank = 0;
    std::int64_t chinaRank = 0;
};

// The figures the default pages show for domain on a day (see StandinServer::setDay): on day
// d every indexed count is (5 + d) / 5 times its day-0 value, the other figures stay.
OverviewFigures overviewFigures(std::string_view domain, int day = 0);

// A hash of salt and text (ASCII letters folded: host names ignore case), stable across
// runs and machines, from which the stand-in pages draw their made-up figures.
std::uint64_t fnv1a(std::string_view salt, std::string_view text);

// 1234567 -> "1,234,567".
std::string withGroupingCommas(std::int64_t value);

// Installs the pages of the site overview: the seven engines' result pages, the Sogou
// rating (on Sogou's page), the maker's PageRank and Alexa services, ChinaRank's overview
// page and the maker's version page.
void addOverviewRoutes(StandinServer& server);

} // namespace kaldrani::standin
