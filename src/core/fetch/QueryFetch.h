#pragma once

#include "core/fetch/FailureReason.h"
#include "core/fetch/Outcome.h"
#include "core/profiles/Profile.h"

#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kaldrani::net {
class THttpClient;
}

namespace kaldrani::fetch {

// How a query reads its page: Stream takes the body's bytes and reads them back as GBK,
// String takes the body as the fetch decodes it.
using PageForm = profiles::PageForm;

// The client settings a query uses, as its profile gives them.
struct QueryFetch {
    PageForm form = PageForm::String;
    // The User-Agent line; empty sends none.
    std::string userAgent;
    bool followRedirects = false;
    // The per-wait limit in milliseconds; 0 takes the safety bound (safetyReadTimeoutMs).
    int readTimeoutMs = 0;
    // The connect limit in milliseconds; 0 takes the safety bound.
    int connectTimeoutMs = 0;
    // The bound on the whole fetch in milliseconds; 0 keeps the client's own.
    int fetchTimeoutMs = 0;
    // The profile's name of the service, for the pages kept.
    std::string service;
    // The service's own proxy ("" direct); unset: the program's default rules.
    std::optional<std::string> proxy;
    // Request headers sent beside the client's own.
    std::vector<std::pair<std::string, std::string>> headers;
    // The service's blocked markers: a redirect whose Location matches one is a refusal.
    std::vector<std::string> blocked;
    // The least time between two requests to the host; 0: none.
    int minIntervalMs = 0;
};

// The settings service's profile gives.
QueryFetch fetchSettings(const profiles::Service& service);

// The per-wait bound service's fetch runs with, in milliseconds (the safety bound for 0).
int readTimeoutOf(const profiles::Service& service);

// Makes the proxy rules every fetch starts from: the environment's (http_proxy, ...),
// then the user file's top-level proxy, then commandLine (--proxy) above both. Raises
// std::invalid_argument when the file's or commandLine's address does not read.
void useProxySettings(const std::optional<std::string>& commandLine);

// Sets client up as `how` says.
void setUpClient(net::THttpClient& client, const QueryFetch& how);

// Fetches url with client (set up by setUpClient, and reused for each page of a scan) and
// returns the page as UTF-8, read back as `form` says. Raises what the fetch raises. The
// answer goes to the page keeper first, if one is set, named after service.
std::string fetchQueryPage(net::THttpClient& client, const std::string& url, PageForm form,
                           const std::string& service = {});

// The same, with the redirects the fetch met checked against how.blocked (BlockedPage
// when a Location matches one, followed or not) and the host spacing kept.
std::string fetchQueryPage(net::THttpClient& client, const std::string& url, const QueryFetch& how);

// bytes as UTF-8 by the charset the answer declares: contentType's, else a <meta> one
// near the page's start; UTF-8 when neither names one.
std::string decodeDeclared(const std::string& bytes, const std::string& contentType);

// Fetches url with a fresh client set up as `how` says and returns the page as UTF-8.
// Raises what the fetch raises.
std::string fetchQueryPage(const std::string& url, const QueryFetch& how);

// Raises BlockedPage ("blocked: verification page") when page matches one of service's
// blocked markers.
void checkNotBlocked(const profiles::Service& service, const std::string& page);

// One answer a query received: the address asked, the status line (empty when none came),
// and the body's bytes as they arrived (for a failed answer, as the failure kept them).
struct KeptPage {
    std::string service;
    std::string url;
    std::string statusLine;
    std::string body;
};

// Hands every answer the queries receive to keeper from now on (nothing: stop keeping).
// The keeper is called on the query's thread and must not raise.
void setPageKeeper(std::function<void(const KeptPage&)> keeper);

// The queries' failure rule: the query's result, or failureValue when it raises anything,
// with the reason of what it raised (a read time-out with the bound readTimeoutMs) and
// whether it was a refusal. A bad pattern is caught too.
template <class T, class Query>
Outcome<T> outcomeOf(T failureValue, int readTimeoutMs, Query&& query) noexcept
{
    try {
        return {std::forward<Query>(query)(), std::nullopt};
    } catch (...) {
        return {std::move(failureValue), failureOf(std::current_exception(), readTimeoutMs)};
    }
}

// The outcome of a service the profile says is gone: failureValue, nothing asked.
template <class T>
Outcome<T> retiredOutcome(T failureValue, const std::string& why)
{
    return {std::move(failureValue), Failure{FailureKind::Retired, "retired: " + why}};
}

// The outcome of a service the user's profile switched off: failureValue, nothing asked.
template <class T>
Outcome<T> switchedOff(T failureValue)
{
    return {std::move(failureValue), Failure{FailureKind::SwitchedOff, "switched off in the engine profile"}};
}

} // namespace kaldrani::fetch
