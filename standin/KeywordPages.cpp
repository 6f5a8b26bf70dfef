#include "KeywordPages.h"

#include "StandinServer.h"
#include "core/fetch/Endpoints.h"
#include "core/text/Ascii.h"
#include "core/text/DomainName.h"
#include "core/text/Encoding.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <string>

namespace kaldrani::standin {

namespace {

// Each new site goes last: the places of those before it stay where they were.
constexpr std::array<std::string_view, 6> kListedSites = {
    "example.com", "kaldrani-demo.cn", "example.org", "example.net", "example.cn", "例子.中国",
};

// A results page may name an international domain in Unicode or in A-labels; the stand-in's
// engines do both, so a scan must find the site whichever way it was typed.
bool showsALabels(SearchEngine engine)
{
    return engine == SearchEngine::Google || engine == SearchEngine::Yahoo || engine == SearchEngine::Bing;
}

// The site as engine's pages name it.
std::string shownName(SearchEngine engine, std::string_view site)
{
    if (!showsALabels(engine))
        return std::string(site);
    return text::domainForms(site).ascii;
}

std::uint64_t mixHash(std::string_view salt, std::string_view text, std::uint64_t extra)
{
    std::uint64_t h = 0xcbf29ce484222325ull ^ extra;
    for (const std::string_view part : {salt, std::string_view("|"), text})
        for (const char c : part) {
            h ^= static_cast<unsigned char>(c);
            h *= 0x100000001b3ull;
        }
    h ^= h >> 31;
    h *= 0x9e3779b97f4a7c15ull;
    h ^= h >> 29;
    return h;
}

std::string_view engineKey(SearchEngine engine)
{
    return kEngineKeys[engineIndex(engine)];
}

// The listed sites' positions for one engine and keyword (0: not listed). Two sites that
// draw the same place are set one after the other, so every page stays ten results.
std::array<int, kListedSites.size()> placements(SearchEngine engine, std::string_view keyword, int day)
{
    std::array<int, kListedSites.size()> places{};
    for (std::size_t s = 0; s < kListedSites.size(); ++s) {
        const std::uint64_t h = mixHash(engineKey(engine), keyword, s + 1);
        if (h % 4 == 0)
            continue;
        int place = 1 + static_cast<int>(((h >> 8) % 50 + 4 * static_cast<std::uint64_t>(day)) % 50);
        for (bool taken = true; taken;) {
            taken = false;
            for (std::size_t t = 0; t < s; ++t)
                if (places[t] == place) {
                    taken = true;
                    ++place;
                }
        }
        places[s] = place;
    }
    return places;
}

// The domain shown at a position: a listed site, or a made-up one that contains none of them.
std::string domainAt(SearchEngine engine, std::string_view keyword, int position, int day)
{
    const auto places = placements(engine, keyword, day);
    for (std::size_t s = 0; s < kListedSites.size(); ++s)
        if (places[s] == position)
            return "www." + shownName(engine, kListedSites[s]);
    constexpr std::array<std::string_view, 12> syllables = {"zhan", "wang", "xin", "hua",  "tian", "long",
                                                            "feng", "yun",  "hai", "shu",  "ke",   "lan"};
    const std::uint64_t h = mixHash(engineKey(engine), keyword, 1000 + static_cast<std::uint64_t>(position));
    std::string name = "www.";
    name += syllables[h % syllables.size()];
    name += syllables[(h >> 8) % syllables.size()];
    name += std::to_string((h >> 16) % 90 + 10);
    name += (h >> 24) % 3 == 0 ? ".cn" : ".com";
    return name;
}

std::string resultHtml(SearchEngine engine, const std::string& domain, const std::string& title, int position)
{
    const std::string path = "/article/" + std::to_string(position) + ".html";
    const std::string link = "<a href=\"http://" + domain + path + "\" target=\"_blank\">" + title + "</a>";
    const std::string snippet = "关于" + title + "的介绍、资料和最新动态……";
    switch (engine) {
    case SearchEngine::Baidu:
        return "<table class=\"result\" id=\"" + std::to_string(position) + "\"><tr><td class=\"f\"><h3 class=\"t\">"
               + link + "</h3><font size=\"-1\">" + snippet + "<br><font color=\"#008000\">" + domain + path
               + " 12K 2010-5-18 </font></font></td></tr></table>\n";
    case SearchEngine::Google:
        return "<li class=\"g\"><h3 class=\"r\">" + link + "</h3><div class=\"s\">" + snippet + "<br><cite>" + domain
               + path + " - 15k - </cite></div></li>\n";
    case SearchEngine::Sogou:
        return "<div class=\"rb\"><h3 class=\"pt\">" + link + "</h3><div class=\"ft\">" + snippet
               + "</div><cite><font color=\"#008000\">" + domain + path
               + " - 2010-5-18/&nbsp;-&nbsp;</font><a href=\"#\">快照</a></cite></div>\n";
    case SearchEngine::Youdao:
        return "<table><tr><td  class=\"wss\">" + link + "<br>" + snippet + "<br><span class=\"a\">" + domain + path
               + "</span> <nobr>- 2010-5-18</nobr></td></tr></table>\n";
    case SearchEngine::Yahoo:
    case SearchEngine::Soso:
    case SearchEngine::Bing:
        return "<li><div class=\"res\"><h3>" + link + "</h3><p>" + snippet + "</p><span class=\"url\">" + domain + path
               + "</span></div></li>\n";
    }
    return {};
}

struct KeywordRoute {
    SearchEngine engine;
    std::string_view host;
    const char* path;
    const char* termKey;
    const char* pageKey;
    int pageFactor; // page value = (page - 1) * factor + offset
    int pageOffset;
    const char* title;
};

const PerEngine<KeywordRoute> kRoutes = {{
    {SearchEngine::Baidu, endpoints::kBaidu, "/s", "wd", "pn", 10, 0, "百度搜索"},
    {SearchEngine::Google, endpoints::kGoogle, "/search", "q", "start", 10, 0, "Google 搜索"},
    {SearchEngine::Yahoo, endpoints::kYahooSearch, "/s", "p", "b", 10, 0, "雅虎搜索"},
    {SearchEngine::Sogou, endpoints::kSogou, "/web", "query", "page", 1, 1, "搜狗搜索"},
    {SearchEngine::Soso, endpoints::kSoso, "/q", "w", "pg", 1, 1, "搜搜"},
    {SearchEngine::Youdao, endpoints::kYoudao, "/search", "q", "start", 10, 0, "有道搜索"},
    {SearchEngine::Bing, endpoints::kBing, "/search", "q", "first", 10, 1, "必应"},
}};

// The page a page value asks for; a value that is no whole number asks for page 1.
long long pageOf(const KeywordRoute& route, const std::string& value)
{
    long long v = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), v);
    if (ec != std::errc() || end != value.data() + value.size() || v < route.pageOffset)
        return 1;
    return (v - route.pageOffset) / route.pageFactor + 1;
}

Response keywordPage(const KeywordRoute& route, const Request& request, int day)
{
    const std::string raw = request.param(route.termKey).value_or("");
    const std::string keyword = route.engine == SearchEngine::Bing ? text::sanitizeUtf8(raw) : text::gbkToUtf8(raw);
    const long long page = pageOf(route, request.param(route.pageKey).value_or(""));
    const std::string shown = htmlEscape(keyword);

    std::string html = "<!DOCTYPE html>\n<html><head><meta http-equiv=\"Content-Type\" "
                       "content=\"text/html; charset=gb2312\">\n<title>"
                       + shown + " - " + route.title + "</title></head>\n<body>\n<div id=\"results\">\n";
    if (keyword.empty() || page > kKeywordResultPages) {
        html += "<p class=\"empty\">没有找到与您的查询相符的结果。</p>\n";
    } else {
        html += "<p class=\"nums\">第 " + std::to_string(page) + " 页</p>\n<ol>\n";
        for (int i = 0; i < kKeywordResultsPerPage; ++i) {
            const int position = static_cast<int>((page - 1) * kKeywordResultsPerPage) + i + 1;
            html += resultHtml(route.engine, domainAt(route.engine, keyword, position, day), shown, position);
        }
        html += "</ol>\n";
    }
    return gbkPage(html + "</div>\n</body></html>\n");
}

} // namespace

std::optional<int> keywordRank(SearchEngine engine, std::string_view site, std::string_view keyword, int day)
{
    std::string name = text::asciiLower(site);
    if (name.starts_with("www."))
        name.erase(0, 4);
    try {
        name = text::domainForms(name).unicode;
    } catch (const text::DomainNameError&) {
        // Not a name the pages could list.
    }
    const auto places = placements(engine, keyword, day);
    for (std::size_t s = 0; s < kListedSites.size(); ++s)
        if (kListedSites[s] == name && places[s] > 0)
            return places[s];
    return std::nullopt;
}

std::string keywordResultDomain(SearchEngine engine, std::string_view keyword, int position, int day)
{
    return domainAt(engine, keyword, position, day);
}

void addKeywordRoutes(StandinServer& server)
{
    for (const KeywordRoute& route : kRoutes) {
        Handler before = server.route(route.host, route.path);
        server.addRoute(route.host, route.path, [route, before, &server](const Request& request) {
            if (request.param(route.pageKey))
                return keywordPage(route, request, server.day());
            if (before)
                return before(request);
            Response missing = utf8Page("<html><body><h1>404 Not Found</h1></body></html>");
            missing.status = 404;
            missing.reason = "Not Found";
            return missing;
        });
    }
}

} // namespace kaldrani::standin
