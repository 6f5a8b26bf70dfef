#pragma once

#include "core/model/SearchEngine.h"

#include <optional>
#include <string>
#include <string_view>

namespace kaldrani::standin {

class StandinServer;

// The results per page and the pages every keyword has; later pages list nothing.
inline constexpr int kKeywordResultsPerPage = 10;
inline constexpr int kKeywordResultPages = 100;

// Where the engine's results for keyword list the site: a 1-based position on pages 1..5,
// stable for site, keyword and engine; nothing for a site the pages never list. Only the
// demo's sites are listed (example.com, kaldrani-demo.cn, example.org, example.net,
// example.cn and 例子.中国, with or without "www."), and each of them not for every keyword.
// Google's, Yahoo's and Bing's pages name 例子.中国 in A-labels (xn--fsqu00a.xn--fiqs8s),
// the others in Unicode; site may be typed either way. The keyword is UTF-8 text; sites
// compare without regard to ASCII case.
// On day d (see StandinServer::setDay) every listed site stands 4 * d places further down,
// wrapping round within the first 50.
std::optional<int> keywordRank(SearchEngine engine, std::string_view site, std::string_view keyword, int day = 0);

// The domain the engine's results for keyword show at a 1-based position ("www." and a
// listed site, or a made-up name), as keywordRank places the listed sites.
std::string keywordResultDomain(SearchEngine engine, std::string_view keyword, int position, int day = 0);

// Installs the seven engines' keyword result pages, in each engine's own markup, ten
// results a page. They share host and path with the count pages; a request that names
// a result page goes to them, any other to the route that was there before.
void addKeywordRoutes(StandinServer& server);

} // namespace kaldrani::standin
