#include "OverviewPages.h"

#include "StandinServer.h"
#include "core/fetch/Endpoints.h"

#include <optional>

namespace kaldrani::standin {

namespace {

// A number of minDigits..maxDigits digits, drawn from the hash.
std::int64_t drawCount(std::uint64_t h, int minDigits, int maxDigits)
{
    const int digits = minDigits + static_cast<int>(h % static_cast<std::uint64_t>(maxDigits - minDigits + 1));
    std::int64_t low = 1;
    for (int i = 1; i < digits; ++i)
        low *= 10;
    return low + static_cast<std::int64_t>((h >> 16) % static_cast<std::uint64_t>(9 * low));
}

enum class Kind { Indexed, Backlinks };

// "site:example.com" and the like: the operator names the question.
std::optional<std::pair<Kind, std::string>> splitOperator(const std::optional<std::string>& term,
                                                         std::string_view indexedOp, std::string_view backlinksOp)
{
    if (!term)
        return std::nullopt;
    if (term->starts_with(indexedOp))
        return std::pair{Kind::Indexed, term->substr(indexedOp.size())};
    if (term->starts_with(backlinksOp))
        return std::pair{Kind::Backlinks, term->substr(backlinksOp.size())};
    return std::nullopt;
}

std::int64_t countFor(int engine, Kind kind, const std::string& domain, int day)
{
    const OverviewFigures f = overviewFigures(domain, day);
    return kind == Kind::Indexed ? f.indexed[engine] : f.backlinks[engine];
}

std::string pageHead(std::string_view title, std::string_view charset)
{
    return "<!DOCTYPE html>\n<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset="
           + std::string(charset) + "\">\n<title>" + std::string(title) + "</title></head>\n<body>\n";
}

const char* const kNothingFound = "<p class=\"empty\">没有找到与您的查询相符的结果。</p>\n";

} // namespace

std::uint64_t fnv1a(std::string_view salt, std::string_view text)
{
    std::uint64_t h = 1469598103934665603ull;
    auto mix = [&h](unsigned char c) {
        h ^= c;
        h *= 1099511628211ull;
    };
    for (const char c : salt)
        mix(static_cast<unsigned char>(c));
    mix('|');
    // Host names are case-insensitive: one site, one set of figures.
    for (const char c : text)
        mix(static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c));
    // A final avalanche, so that neighbouring names give unrelated figures.
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    return h;
}

std::string withGroupingCommas(std::int64_t value)
{
    std::string digits = std::to_string(value < 0 ? -value : value);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return value < 0 ? "-" + out : out;
}

OverviewFigures overviewFigures(std::string_view domain, int day)
{
    const auto& engines = kaldrani::kEngineKeys;
    OverviewFigures f;
    for (std::size_t i = 0; i < kaldrani::kEngineCount; ++i) {
        f.indexed[i] = drawCount(fnv1a(std::string(engines[i]) + ":indexed", domain), 3, 8);
        f.backlinks[i] = drawCount(fnv1a(std::string(engines[i]) + ":backlinks", domain), 2, 6);
    }
    f.pageRank = static_cast<int>(fnv1a("pagerank", domain) % 11);
    f.sogouRating = static_cast<int>(fnv1a("sogourating", domain) % 101);
    f.alexaRank = drawCount(fnv1a("alexa", domain), 3, 7);
    f.chinaRank = drawCount(fnv1a("chinarank", domain), 2, 6);
    // A later day: every indexed count grows by a fifth a day, the rest stay.
    for (auto& count : f.indexed)
        count = count * (5 + day) / 5;
    return f;
}

void addOverviewRoutes(StandinServer& server)
{
    // Engine numbers follow the SearchEngine order: Baidu 0 .. Bing 6.
    server.addRoute(endpoints::kBaidu, "/s", [&server](const Request& r) {
        const auto asked = splitOperator(r.param("wd"), "site:", "domain:");
        std::string html = pageHead("百度搜索", "gb2312") + "<div id=\"head\">百度一下</div>\n";
        if (asked)
            html += "<div class=\"nums\">找到相关网页约" + withGroupingCommas(countFor(0, asked->first, asked->second, server.day()))
                    + "篇，用时0.021秒</div>\n<div class=\"result\"><h3>" + htmlEscape(asked->second) + "</h3></div>\n";
        else
            html += kNothingFound;
        return gbkPage(html + "</body></html>\n");
    });

    server.addRoute(endpoints::kGoogle, "/search", [&server](const Request& r) {
        const auto asked = splitOperator(r.param("q"), "site:", "link:");
        std::string html = pageHead("Google 搜索", "gb2312");
        if (!asked)
            html += kNothingFound;
        else if (asked->first == Kind::Indexed)
            html += "<div id=\"resultStats\">获得约 <b>" + withGroupingCommas(countFor(1, asked->first, asked->second, server.day()))
                    + "</b> 条结果<nobr>（用时 0.12 秒）</nobr></div>\n";
        else
            html += "<div id=\"resultStats\">链接到 " + htmlEscape(asked->second) + " 的网页共有 <b>"
                    + withGroupingCommas(countFor(1, asked->first, asked->second, server.day())) + "</b> 项</div>\n";
        return gbkPage(html + "</body></html>\n");
    });

    server.addRoute(endpoints::kYahoo, "/search", [&server](const Request& r) {
        const auto domain = r.param("p");
        std::string html = pageHead("雅虎站点查询", "utf-8");
        if (domain && !domain->empty()) {
            const Kind kind = r.param("bwm") ? Kind::Backlinks : Kind::Indexed;
            html += "<div class=\"summary\">" + std::string(kind == Kind::Indexed ? "站点 " : "链接到 ")
                    + htmlEscape(*domain) + (kind == Kind::Indexed ? " 的网页：" : " 的网页：") + "<strong>"
                    + withGroupingCommas(countFor(2, kind, *domain, server.day())) + "</strong> 个</div>\n";
        } else {
            html += kNothingFound;
        }
        return utf8Page(html + "</body></html>\n");
    });

    // One page answers the count queries and the rating query alike.
    server.addRoute(endpoints::kSogou, "/web", [&server](const Request& r) {
        const auto asked = splitOperator(r.param("query"), "site:", "link:");
        std::string html = pageHead("搜狗搜索", "gb2312");
        if (asked) {
            html += "<div class=\"num\">找到 " + withGroupingCommas(countFor(3, asked->first, asked->second, server.day()))
                    + " <!-- resultbarnum -->条结果</div>\n";
            html += "<div class=\"rating\">搜狗评级:" + std::to_string(overviewFigures(asked->second, server.day()).sogouRating)
                    + "/100</div>\n";
        } else {
            html += kNothingFound;
        }
        return gbkPage(html + "</body></html>\n");
    });

    server.addRoute(endpoints::kSoso, "/q", [&server](const Request& r) {
        const auto asked = splitOperator(r.param("w"), "site:", "link:");
        std::string html = pageHead("搜搜网页", "gb2312");
        if (asked)
            html += "<div id=\"sInfo\">搜索到约 " + withGroupingCommas(countFor(4, asked->first, asked->second, server.day()))
                    + " 项结果</div>\n";
        else
            html += kNothingFound;
        return gbkPage(html + "</body></html>\n");
    });

    server.addRoute(endpoints::kYoudao, "/search", [&server](const Request& r) {
        const auto asked = splitOperator(r.param("q"), "site:", "link:");
        std::string html = pageHead("有道搜索", "utf-8");
        if (asked)
            html += "<p class=\"stat\">共约" + withGroupingCommas(countFor(5, asked->first, asked->second, server.day()))
                    + "条结果</p>\n";
        else
            html += kNothingFound;
        return utf8Page(html + "</body></html>\n");
    });

    server.addRoute(endpoints::kBing, "/search", [&server](const Request& r) {
        const auto asked = splitOperator(r.param("q"), "site:", "link:");
        std::string html = pageHead("必应搜索", "utf-8");
        if (asked)
            html += "<span class=\"sb_count\">1-10 条结果，共 "
                    + withGroupingCommas(countFor(6, asked->first, asked->second, server.day())) + " 条</span>\n";
        else
            html += kNothingFound;
        return utf8Page(html + "</body></html>\n");
    });

    server.addRoute(endpoints::kMaker, "/pr/", [&server](const Request& r) {
        const auto domain = r.param("domain");
        std::string html = pageHead("PageRank", "utf-8");
        if (domain && !domain->empty())
            html += "<p>" + htmlEscape(*domain) + " 的 PageRank：<strong>"
                    + std::to_string(overviewFigures(*domain, server.day()).pageRank) + "</strong></p>\n";
        else
            html += "<p>请输入域名。</p>\n";
        return utf8Page(html + "</body></html>\n");
    });

    server.addRoute(endpoints::kMaker, "/api/alexa.asp", [&server](const Request& r) {
        const auto domain = r.param("d");
        if (!domain || domain->empty())
            return utf8Page("", "text/plain");
        return utf8Page(std::to_string(overviewFigures(*domain, server.day()).alexaRank) + "\r\n", "text/plain");
    });

    server.addRoute(endpoints::kChinaRank, "/overview/Info.do", [&server](const Request& r) {
        const auto domain = r.param("url");
        std::string html = pageHead("ChinaRank 网站综合信息", "gb2312");
        if (domain && !domain->empty())
            html += "<div class=\"site\">" + htmlEscape(*domain)
                    + "</div>\n<div><span class=\"bold\">当前排名：</span><span class=\"rank_font_y2\">"
                    + withGroupingCommas(overviewFigures(*domain, server.day()).chinaRank) + "</span></div>\n";
        else
            html += "<div>未收录该网站。</div>\n";
        return gbkPage(html + "</body></html>\n");
    });
}

} // namespace kaldrani::standin
