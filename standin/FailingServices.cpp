#include "FailingServices.h"
#include "RefusalPages.h"

#include "StandinServer.h"
#include "core/fetch/Endpoints.h"

#include <stdexcept>
#include <string>

namespace kaldrani::standin {

namespace {

struct Service {
    std::string_view name;
    std::string_view host;
    const char* path;
};

const Service services[] = {
    {"baidu", endpoints::kBaidu, "/s"},
    {"google", endpoints::kGoogle, "/search"},
    {"yahoo", endpoints::kYahoo, "/search"},
    {"sogou", endpoints::kSogou, "/web"},
    {"soso", endpoints::kSoso, "/q"},
    {"youdao", endpoints::kYoudao, "/search"},
    {"bing", endpoints::kBing, "/search"},
    {"pagerank", endpoints::kMaker, "/pr/"},
    {"alexa", endpoints::kMaker, "/api/alexa.asp"},
    {"chinarank", endpoints::kChinaRank, "/overview/Info.do"},
};

// Longer than every read time-out of the queries, short enough for a demo.
constexpr int kSlowMs = 5000;

Response failure(std::string_view how)
{
    if (how.empty() || how == "http") {
        Response r = utf8Page("<html><body><h1>503 Service Unavailable</h1></body></html>");
        r.status = 503;
        r.reason = "Service Unavailable";
        return r;
    }
    if (how == "empty")
        return utf8Page("");
    if (std::optional<Response> refused = refusal(how))
        return *refused;
    if (how == "slow") {
        Response r = utf8Page("<html><body></body></html>");
        r.delayMs = kSlowMs;
        return r;
    }
    throw std::invalid_argument("--fail: unknown way to fail \"" + std::string(how)
                                + "\" (use http, empty, slow, verify or 429)");
}

} // namespace

void failServices(StandinServer& server, std::string_view list)
{
    while (!list.empty()) {
        const size_t comma = list.find(',');
        std::string_view item = list.substr(0, comma);
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
        if (item.empty())
            continue;
        const size_t colon = item.find(':');
        const std::string_view name = item.substr(0, colon);
        const std::string_view how = colon == std::string_view::npos ? std::string_view() : item.substr(colon + 1);
        const Response response = failure(how);
        bool known = false;
        for (const auto& s : services) {
            if (s.name != name)
                continue;
            server.setAnswer(s.host, s.path, response);
            known = true;
        }
        if (!known)
            throw std::invalid_argument("--fail: unknown service \"" + std::string(name)
                                        + "\" (use baidu, google, yahoo, sogou, soso, youdao, bing, pagerank, alexa, chinarank)");
    }
}

} // namespace kaldrani::standin
