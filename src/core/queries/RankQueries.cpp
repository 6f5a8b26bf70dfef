#include "core/queries/RankQueries.h"

#include "core/net/HttpClient.h"
#include "core/net/TRegExp.h"
#include "core/queries/DisplayText.h"
#include "core/queries/Endpoints.h"
#include "core/queries/FetchDeadlines.h"
#include "core/queries/SafetyTimeout.h"
#include "core/queries/TextRemoval.h"
#include "core/text/Ascii.h"

#include <charconv>
#include <cstdint>
#include <optional>
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

// A decimal 32-bit integer with an optional sign and nothing else; no value on overflow.
std::optional<int> readInteger(std::string_view text)
{
    const bool negative = !text.empty() && text.front() == '-';
    if (!text.empty() && (text.front() == '+' || text.front() == '-'))
        text.remove_prefix(1);
    if (text.empty() || text.front() < '0' || text.front() > '9')
        return std::nullopt;
    long long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    if (negative)
        value = -value;
    if (value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return static_cast<int>(value);
}

std::string fetchStream(net::THttpClient& client, const std::string& address)
{
    std::string buffer;
    client.FetchPage(address, buffer);
    return net::readAnsi(buffer);
}

// Alexa and ChinaRank: no agent, redirects followed, short waits.
void setUpRankClient(net::THttpClient& client)
{
    client.UserAgent.clear();
    client.HandleRedirects = true;
    client.ReadTimeout = kRankReadTimeoutMs;
    client.FetchTimeout = kRankFetchTimeoutMs;
}

} // namespace

int pageRankFromPage(const std::string& page)
{
    std::string text = net::firstMatch("<strong>((.|\\n)*?)</strong>", page);
    removeAll(text, "<strong>");
    removeAll(text, "</strong>");
    text = text::trimControls(text);
    if (text.empty())
        return 0;
    const int value = readInteger(text).value_or(0);
    return value < 0 ? 0 : value;
}

int sogouRatingFromPage(const std::string& page)
{
    std::string text = net::firstMatch("搜狗评级:((.|\\n)*?)/100", page);
    removeAll(text, "搜狗评级:");
    removeAll(text, "/100");
    removeAll(text, ",");
    if (text.empty())
        text = "0";
    std::string_view digits = text;
    while (!digits.empty() && digits.front() == ' ')
        digits.remove_prefix(1);
    return readInteger(digits).value_or(0);
}

std::string alexaRankFromReply(const std::string& reply)
{
    std::string result = boundDisplayText(text::trimControls(reply));
    return result.empty() ? "查询失败" : result;
}

std::string chinaRankFromPage(const std::string& page)
{
    static constexpr std::string_view kMarker = "<span class=\"bold\">当前排名：</span><span class=\"rank_font_y2\">";
    // The match ends at the first ">" after the marker: normally that of the rank's "</span>".
    std::string result = net::firstMatch(std::string(kMarker) + "((.|\\n)*?)>", page);
    removeAll(result, kMarker);
    removeAll(result, "</span>");
    replaceAll(result, "子网站不参与综合排名", "子网站不参与排名");
    removeAll(result, ",");
    return result.empty() ? "0" : boundDisplayText(std::move(result));
}

int QueryPageRank(const std::string& domain)
{
    try {
        std::string page;
        {
            net::THttpClient client;
            client.ReadTimeout = safetyReadTimeoutMs();
            client.FetchTimeout = kOverviewCountFetchTimeoutMs;
            page = client.FetchPage(url(endpoints::kMaker, "/pr/?domain=", domain));
        }
        return pageRankFromPage(page);
    } catch (...) {
        return 0;
    }
}

int QuerySogouRating(const std::string& domain, EventPump& pump)
{
    int rating = 0;
    try {
        std::string page;
        {
            net::THttpClient client;
            client.UserAgent.clear();
            client.ReadTimeout = safetyReadTimeoutMs();
            client.FetchTimeout = kOverviewCountFetchTimeoutMs;
            page = fetchStream(client, url(endpoints::kSogou, "/web?query=link:", domain));
        }
        rating = sogouRatingFromPage(page);
    } catch (...) {
        rating = 0;
    }
    pump.processPendingEvents();
    return rating;
}

std::string QueryAlexaRank(const std::string& domain, EventPump& pump)
{
    std::string result;
    try {
        std::string reply;
        {
            net::THttpClient client;
            setUpRankClient(client);
            reply = client.FetchPage(url(endpoints::kMaker, "/api/alexa.asp?d=", domain));
        }
        result = alexaRankFromReply(reply);
    } catch (...) {
        result = alexaRankFromReply({});
    }
    pump.processPendingEvents();
    return result;
}

std::string QueryChinaRank(const std::string& domain, EventPump& pump)
{
    std::string result;
    try {
        std::string page;
        {
            net::THttpClient client;
            setUpRankClient(client);
            page = fetchStream(client, url(endpoints::kChinaRank, "/overview/Info.do?url=", domain));
        }
        result = chinaRankFromPage(page);
    } catch (...) {
        result = "0";
    }
    pump.processPendingEvents();
    return result;
}

} // namespace kaldrani::queries
