#include "core/lookups/LookupFetch.h"

#include "core/net/HttpClient.h"
#include "core/net/TRegExp.h"
#include "core/queries/SafetyTimeout.h"

namespace kaldrani::lookups {

std::string fetchLookupPage(const std::string& url, const LookupSettings& settings)
{
    net::THttpClient client;
    if (settings.clearUserAgent)
        client.UserAgent.clear();
    client.ReadTimeout = settings.readTimeoutMs;
    // An unreachable host must not hold the caller for the system's connect limit.
    client.ConnectTimeout = queries::safetyReadTimeoutMs();
    std::string buffer;
    client.FetchPage(url, buffer);
    return net::readAnsi(buffer);
}

std::string matchOrWhole(std::string_view pattern, const std::string& page)
{
    net::TRegExp re;
    re.setPattern(std::string(pattern));
    const net::TMatchCollection matches = re.Execute(page);
    return matches.Count() > 0 ? matches.Item(0).Value : page;
}

} // namespace kaldrani::lookups
