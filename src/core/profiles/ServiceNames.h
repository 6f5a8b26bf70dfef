#pragma once

#include "core/model/CountKind.h"
#include "core/model/SearchEngine.h"

#include <string>
#include <string_view>

// The names the profile gives the services; the queries look themselves up by them.
namespace kaldrani::profiles {

inline constexpr std::string_view kPageRank = "rank.pagerank";
inline constexpr std::string_view kSogouRating = "rank.sogou";
inline constexpr std::string_view kAlexaRank = "rank.alexa";
inline constexpr std::string_view kChinaRank = "rank.chinarank";
inline constexpr std::string_view kWhois = "lookup.whois";
inline constexpr std::string_view kOwnAddress = "lookup.own-address";
inline constexpr std::string_view kIpLookup = "lookup.ip";
inline constexpr std::string_view kVersionPage = "version";

// "count.baidu.indexed", "count.bing.backlinks", ...
std::string countService(SearchEngine engine, CountKind kind);

// "keyword.baidu", ...
std::string keywordService(SearchEngine engine);

} // namespace kaldrani::profiles
