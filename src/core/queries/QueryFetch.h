#pragma once

#include "core/queries/FailureReason.h"

#include <exception>
#include <string>
#include <utility>

namespace kaldrani::queries {

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

// Fetches url with a fresh client set up as `how` says and returns the page as UTF-8.
// Raises what the fetch raises.
std::string fetchQueryPage(const std::string& url, const QueryFetch& how);

// The queries' failure rule: the query's result, or failureValue when it raises anything.
// A bad pattern is caught too, so the tests compile every pattern constant.
// Also says why when why is given: the reason of what the query raised (a read time-out
// with the bound readTimeoutMs), or an empty text when it did not fail.
template <class T, class Query>
T valueOrFailure(T failureValue, std::string* why, int readTimeoutMs, Query&& query) noexcept
{
    try {
        T value = std::forward<Query>(query)();
        if (why)
            why->clear();
        return value;
    } catch (...) {
        if (why)
            *why = failureReason(std::current_exception(), readTimeoutMs);
        return failureValue;
    }
}

template <class T, class Query>
T valueOrFailure(T failureValue, Query&& query) noexcept
{
    return valueOrFailure(std::move(failureValue), nullptr, 0, std::forward<Query>(query));
}

} // namespace kaldrani::queries
