#pragma once

#include <string_view>

// The patterns that cut the answers out of the services' pages. They live together so
// that one test compiles each of them: at run time a pattern that fails to compile only
// gives the query's failure value, which would hide the typing mistake.
namespace kaldrani::patterns {

// The lazy group (.|\n)*? spans line breaks, and stops at the first closing marker.
inline constexpr std::string_view kBaiduCount = "找到相关网页((.|\\n)*?)篇";
inline constexpr std::string_view kGoogleIndexed = "获得约 <b>((.|\\n)*?)</b> ";
inline constexpr std::string_view kGoogleBacklinks = "有 <b>((.|\\n)*?)</b> ";
inline constexpr std::string_view kStrong = "<strong>((.|\\n)*?)</strong>";
inline constexpr std::string_view kSogouCount = "找到 ((.|\\n)*?) <!--";
inline constexpr std::string_view kSosoCount = "搜索到约((.|\\n)*?)项结果";
inline constexpr std::string_view kYoudaoCount = "共((.|\\n)*?)条结果";
inline constexpr std::string_view kBingCount = "条结果，共 ((.|\\n)*?) 条";

// One element of each search result, for the keyword position scan.
inline constexpr std::string_view kGreenAddress = "<font color=\"#008000\">((.|\\n)*?)</font>";
inline constexpr std::string_view kCite = "<cite>((.|\\n)*?) </cite>";
inline constexpr std::string_view kHeading = "<h3>((.|\\n)*?)</h3>";
inline constexpr std::string_view kSogouAddress = "<font color=\"#008000\">((.|\\n)*?)/&nbsp";
inline constexpr std::string_view kYoudaoAddress = "<td  class=\"wss\">((.|\\n)*?)<nobr>";

inline constexpr std::string_view kSogouRating = "搜狗评级:((.|\\n)*?)/100";
inline constexpr std::string_view kChinaRankMarker =
    "<span class=\"bold\">当前排名：</span><span class=\"rank_font_y2\">";
// The match ends at the first ">" after the marker: normally that of the rank's "</span>".
inline constexpr std::string_view kChinaRank =
    "<span class=\"bold\">当前排名：</span><span class=\"rank_font_y2\">((.|\\n)*?)>";

// The whois record between its two markers.
inline constexpr std::string_view kWhoisRecord = "<!-- start -->((.|\\n)*?)友情提示";
// The IP service's colon after "IP" is full-width on its own-address page, ASCII in a lookup.
inline constexpr std::string_view kOwnAddress = "您的IP是：((.|\\n)*?)</div>";
inline constexpr std::string_view kIpLookup = "您查询的IP:((.|\\n)*?)<br/>";

inline constexpr std::string_view kDomain =
    "^\\w+((-\\w+)|(\\.\\w+))*[A-Za-z0-9]+((\\.|-)[A-Za-z0-9]+)*\\.[A-Za-z]+$";

} // namespace kaldrani::patterns
