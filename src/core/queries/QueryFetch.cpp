#include "core/queries/QueryFetch.h"

#include "core/net/HttpClient.h"
#include "core/queries/SafetyTimeout.h"

namespace kaldrani::queries {

std::string fetchQueryPage(const std::string& url, const QueryFetch& how)
{
    net::THttpClient client;
    if (!how.sendUserAgent)
        client.UserAgent.clear();
    client.HandleRedirects = how.followRedirects;
    client.ReadTimeout = how.readTimeoutMs > 0 ? how.readTimeoutMs : safetyReadTimeoutMs();
    if (how.form == PageForm::String)
        return client.FetchPage(url);
    std::string buffer;
    client.FetchPage(url, buffer);
    return net::readAnsi(buffer);
}

} // namespace kaldrani::queries
