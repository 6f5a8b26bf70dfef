#pragma once

#include "core/fetch/FailureReason.h"
#include "core/fetch/Outcome.h"

#include <exception>
#include <string>
#include <utility>

namespace kaldrani::net {
class THttpClient;
}

namespace kaldrani::fetch {

// How a query reads its page: Stream takes the body's bytes and reads them back as GBK,
// String takes the body as the fetch decodes it.
enum class PageForm { Stream, String };

// The client settings a query changes from the fetch's defaults.
struct QueryFetch {
    PageForm form = PageForm::String;
    // Most services are asked with no User-Agent line; some keep the client's own.
    bool sendUserAgent = false;
    bool followRedirects = false;
    // The per-wait limit in milliseconds; 0 takes the safety bound (safetyReadTimeoutMs).
    int readTimeoutMs = 0;
    // The connect limit in milliseconds; 0 leaves it to the system (minutes).
    int connectTimeoutMs = 0;
    // The bound on the whole fetch in milliseconds; 0 keeps the client's own.
    int fetchTimeoutMs = 0;
};

// Sets client up as `how` says.
void setUpClient(net::THttpClient& client, const QueryFetch& how);

// Fetches url with client (set up by setUpClient, and reused for each page of a scan) and
// returns the page as UTF-8, read back as `form` says. Raises what the fetch raises.
std::string fetchQueryPage(net::THttpClient& client, const std::string& url, PageForm form);

// Fetches url with a fresh client set up as `how` says and returns the page as UTF-8.
// Raises what the fetch raises.
std::string fetchQueryPage(const std::string& url, const QueryFetch& how);

// The queries' failure rule: the query's result, or failureValue when it raises anything,
// with the reason of what it raised (a read time-out with the bound readTimeoutMs). A bad
// pattern is caught too, so the tests compile every pattern constant.
template <class T, class Query>
Outcome<T> outcomeOf(T failureValue, int readTimeoutMs, Query&& query) noexcept
{
    try {
        return {std::forward<Query>(query)(), {}};
    } catch (...) {
        std::string why = failureReason(std::current_exception(), readTimeoutMs);
        // An empty reason would read as success.
        if (why.empty())
            why = "unknown failure";
        return {std::move(failureValue), std::move(why)};
    }
}

} // namespace kaldrani::fetch
