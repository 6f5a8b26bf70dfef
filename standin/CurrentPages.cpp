#include "CurrentPages.h"

#include "KeywordPages.h"
#include "LookupPages.h"
#include "OverviewPages.h"
#include "StandinServer.h"
#include "core/text/Ascii.h"
#include "core/text/Encoding.h"

#include <zlib.h>

#include <charconv>
#include <stdexcept>

// Written from the facts gathered about each service in December 2026 (the wordings, the
// class names, the link wrapping), not from any site's page.
namespace kaldrani::standin {

namespace {

// Only a client that presents itself as a browser gets results, as with the real engines.
bool looksLikeBrowser(const Request& r)
{
    return r.header("User-Agent").value_or("").starts_with("Mozilla/5.0");
}

bool acceptsGzip(const Request& r)
{
    return text::asciiLower(r.header("Accept-Encoding").value_or("")).find("gzip") != std::string::npos;
}

// A UTF-8 answer, gzip-coded when the request accepts it.
Response answer(const Request& r, std::string body, std::string_view mediaType = "text/html")
{
    Response response = utf8Page(body, mediaType);
    if (acceptsGzip(r)) {
        response.body = gzipped(response.body);
        response.headers.emplace_back("Content-Encoding", "gzip");
    }
    return response;
}

Response redirect(const std::string& location)
{
    Response response;
    response.status = 302;
    response.reason = "Found";
    response.headers = {{"Location", location}};
    return response;
}

std::string head(std::string_view title)
{
    return "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">\n<title>" + std::string(title)
           + "</title></head>\n<body>\n";
}

std::optional<std::string> after(const std::optional<std::string>& term, std::string_view op)
{
    if (term && term->starts_with(op))
        return term->substr(op.size());
    return std::nullopt;
}

// The page a page value asks for (value = (page - 1) * factor + offset); 1 for nonsense.
long long pageOf(const std::optional<std::string>& value, int factor, int offset)
{
    long long v = 0;
    if (!value)
        return 1;
    const auto [end, ec] = std::from_chars(value->data(), value->data() + value->size(), v);
    if (ec != std::errc() || end != value->data() + value->size() || v < offset)
        return 1;
    return (v - offset) / factor + 1;
}

std::string base64Url(std::string_view bytes)
{
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (const char c : bytes) {
        bits = (bits << 8) | static_cast<unsigned char>(c);
        count += 8;
        while (count >= 6) {
            count -= 6;
            out += kAlphabet[(bits >> count) & 0x3F];
        }
    }
    if (count > 0)
        out += kAlphabet[(bits << (6 - count)) & 0x3F];
    return out;
}

constexpr const char* kNoResults = "<div class=\"nors\">抱歉，没有找到与您的查询相关的网页。</div>\n";

// Baidu: site: counts in three wordings, results as div.result c-container with the real
// address in mu, an advertisement first.
Response baidu(StandinServer& server, const Request& r)
{
    if (!looksLikeBrowser(r))
        return redirect("https://wappass.baidu.com/static/captcha/tuxing.html?&logid=1&ak=demo&backurl="
                        + std::string("https%3A%2F%2Fwww.baidu.com%2Fs"));
    const std::string wd = text::sanitizeUtf8(r.param("wd").value_or(""));
    std::string html = head(htmlEscape(wd) + "_百度搜索") + "<div id=\"content_left\">\n";
    if (const auto site = after(r.param("wd"), "site:")) {
        const std::string n = withGroupingCommas(overviewFigures(*site, server.day()).indexed[0]);
        switch (baiduWording(*site)) {
        case 0: html += "<span class=\"nums_text\">百度为您找到相关结果约" + n + "个</span>\n"; break;
        case 1: html += "<span class=\"hint_PIwZX c_font_2AD7M\">找到相关结果数约" + n + "个</span>\n"; break;
        default:
            html += "<div class=\"c-border op_site_domain\"><p>该网站共有 <b style=\"color:#333\">" + n
                    + "</b> 个网页被百度收录</p></div>\n";
        }
    } else if (r.param("pn")) {
        const long long page = pageOf(r.param("pn"), 10, 0);
        html += "<div class=\"ec-tuiguang\" data-tuiguang=\"1\"><h3><a href=\"https://www.baidu.com/baidu.php?url=ad\">"
                "推广 example.com 广告</a></h3><span class=\"ec-tuiguang-label\">广告</span></div>\n";
        if (wd.empty() || page > kKeywordResultPages) {
            html += kNoResults;
        } else {
            for (int i = 0; i < kKeywordResultsPerPage; ++i) {
                const int position = static_cast<int>((page - 1) * kKeywordResultsPerPage) + i + 1;
                const std::string address = "https://" + keywordResultDomain(SearchEngine::Baidu, wd, position, server.day()) + "/";
                const std::string mu = "mu=\"" + address + "\"";
                const std::string cls = "class=\"result c-container xpath-log new-pmd\"";
                // Attribute order differs between result templates.
                html += "<div " + (i % 2 == 0 ? cls + " id=\"" + std::to_string(position) + "\" srcid=\"1599\" " + mu
                                              : mu + " srcid=\"1599\" " + cls + " id=\"" + std::to_string(position) + "\"")
                        + " tpl=\"se_com_default\"><h3 class=\"c-title t\"><a href=\"http://www.baidu.com/link?url=r"
                        + std::to_string(position) + "x\">" + htmlEscape(wd) + " 的结果</a></h3></div>\n";
            }
        }
    } else {
        html += kNoResults;
    }
    return answer(r, html + "</div>\n</body></html>\n");
}

// Sogou: num-tips counts; results as .vrwrap / .rb with the address in <cite>.
Response sogou(StandinServer& server, const Request& r)
{
    if (!looksLikeBrowser(r))
        return redirect("/antispider/?from=%2Fweb");
    const std::string query = text::sanitizeUtf8(r.param("query").value_or(""));
    std::string html = head(htmlEscape(query) + " - 搜狗搜索") + "<div class=\"results\">\n";
    if (const auto site = after(r.param("query"), "site:")) {
        html += "<p class=\"num-tips\">搜狗已为您找到约" + withGroupingCommas(overviewFigures(*site, server.day()).indexed[3])
                + "条相关结果</p>\n";
    } else if (r.param("page")) {
        const long long page = pageOf(r.param("page"), 1, 1);
        html += "<div class=\"biz_rb\"><h3><a href=\"/bill?ad=1\">推广</a></h3><cite>example.com 广告</cite></div>\n";
        if (query.empty() || page > kKeywordResultPages) {
            html += kNoResults;
        } else {
            for (int i = 0; i < kKeywordResultsPerPage; ++i) {
                const int position = static_cast<int>((page - 1) * kKeywordResultsPerPage) + i + 1;
                const std::string domain = keywordResultDomain(SearchEngine::Sogou, query, position, server.day());
                html += std::string("<div ") + (i % 3 == 0 ? "class=\"rb\"" : "class=\"vrwrap\" data-pos=\"x\"")
                        + "><h3 class=\"vr-title\"><a href=\"/link?url=hedJjaC291N" + std::to_string(position) + "\">"
                        + htmlEscape(query) + "</a></h3><div class=\"citeurl\"><cite id=\"cacheresult_info_" + std::to_string(i)
                        + "\">" + domain + "/<span>…</span> - 2026-12-1</cite></div></div>\n";
            }
        }
    } else {
        html += kNoResults;
    }
    return answer(r, html + "</div>\n</body></html>\n");
}

// Bing: sb_count in Chinese or English; results as li.b_algo with wrapped links.
Response bing(StandinServer& server, const Request& r)
{
    if (!looksLikeBrowser(r))
        return answer(r, head("必应") + "<div id=\"b_captcha\" class=\"b_captcha\">请完成人机验证后继续</div>\n</body></html>\n");
    const std::string q = text::sanitizeUtf8(r.param("q").value_or(""));
    std::string html = head(htmlEscape(q) + " - 搜索") + "<ol id=\"b_results\">\n";
    if (const auto site = after(r.param("q"), "site:")) {
        const std::string n = withGroupingCommas(overviewFigures(*site, server.day()).indexed[6]);
        html += fnv1a("bingwording", *site) % 2 == 0 ? "<span class=\"sb_count\">约 " + n + " 个结果</span>\n"
                                                      : "<span class=\"sb_count\" data-bm=\"2\">About " + n + " results</span>\n";
    } else if (r.param("first")) {
        const long long page = pageOf(r.param("first"), 10, 1);
        html += "<li class=\"b_ad\"><h2><a href=\"https://www.bing.com/aclk?ld=ad\">example.com 广告</a></h2></li>\n";
        if (q.empty() || page > kKeywordResultPages) {
            html += kNoResults;
        } else {
            for (int i = 0; i < kKeywordResultsPerPage; ++i) {
                const int position = static_cast<int>((page - 1) * kKeywordResultsPerPage) + i + 1;
                const std::string address = "https://" + keywordResultDomain(SearchEngine::Bing, q, position, server.day()) + "/";
                html += std::string("<li ") + (i % 2 == 0 ? "class=\"b_algo\" data-id=\"\"" : "data-tag=\"\" class=\"b_algo\"")
                        + "><div class=\"b_tpcn\"></div><h2><a target=\"_blank\" href=\"https://www.bing.com/ck/a?!&amp;&amp;p=ab"
                        + std::to_string(position) + "&amp;ptn=3&amp;u=a1" + base64Url(address) + "&amp;ntb=1\">" + htmlEscape(q)
                        + "</a></h2></li>\n";
            }
        }
    } else {
        html += kNoResults;
    }
    return answer(r, html + "</ol>\n</body></html>\n");
}

Response tranco(const Request& r)
{
    const std::string prefix = "/api/ranks/domain/";
    const std::string domain = r.path.substr(prefix.size());
    std::string json = "{\"domain\": \"" + htmlEscape(domain) + "\", \"ranks\": [";
    if (const auto rank = trancoRank(domain)) {
        // Not in date order: the newest is the one that counts.
        json += "{\"date\": \"2026-12-09\", \"rank\": " + std::to_string(*rank + 7) + "}, ";
        json += "{\"date\": \"2026-12-10\", \"rank\": " + std::to_string(*rank) + "}, ";
        json += "{\"date\": \"2026-12-08\", \"rank\": " + std::to_string(*rank + 12) + "}";
    }
    return answer(r, json + "]}", "application/json");
}

} // namespace

std::string gzipped(std::string_view bytes)
{
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("gzip does not start");
    std::string out(deflateBound(&stream, static_cast<uLong>(bytes.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END)
        throw std::runtime_error("gzip did not finish");
    return out;
}

std::optional<std::int64_t> trancoRank(std::string_view domain)
{
    const std::string name = text::asciiLower(domain);
    if (name.starts_with("unranked") || (fnv1a("tranco", name) % 5 == 0 && name != "example.com"))
        return std::nullopt;
    return 1 + static_cast<std::int64_t>(fnv1a("trancorank", name) % 999999);
}

int baiduWording(std::string_view domain)
{
    return static_cast<int>(fnv1a("baiduwording", domain) % 3);
}

void addCurrentRoutes(StandinServer& server)
{
    // Result pages and count pages share their addresses, as before.
    server.addRoute("www.baidu.com", "/s", [&server](const Request& r) { return baidu(server, r); });
    server.addRoute("wappass.baidu.com", "/static/captcha/tuxing.html", [](const Request& r) {
        return answer(r, head("百度安全验证") + "<p>网络不给力，请稍后重试</p><p>请输入验证码</p>\n</body></html>\n");
    });
    server.addRoute("www.sogou.com", "/web", [&server](const Request& r) { return sogou(server, r); });
    server.addRoute("www.sogou.com", "/antispider/", [](const Request& r) {
        return answer(r, head("搜狗搜索验证") + "<p>您的访问过于频繁，请输入验证码后继续</p>\n</body></html>\n");
    });
    server.addRoute("cn.bing.com", "/search", [&server](const Request& r) { return bing(server, r); });
    server.addRoute("tranco-list.eu", "/api/ranks/domain/*", [](const Request& r) { return tranco(r); });
    server.addRoute("api.ipify.org", "/", [](const Request& r) { return answer(r, std::string(kStandinOwnAddress), "text/plain"); });
}

} // namespace kaldrani::standin
