#include "core/fetch/QueryFetch.h"

#include "core/fetch/RequestPacing.h"
#include "core/fetch/SafetyTimeout.h"
#include "core/net/HttpClient.h"

namespace kaldrani::fetch {

void setUpClient(net::THttpClient& client, const QueryFetch& how)
{
    if (!how.sendUserAgent)
        client.UserAgent.clear();
    client.HandleRedirects = how.followRedirects;
    client.ReadTimeout = how.readTimeoutMs > 0 ? how.readTimeoutMs : safetyReadTimeoutMs();
    if (how.connectTimeoutMs > 0)
        client.ConnectTimeout = how.connectTimeoutMs;
    if (how.fetchTimeoutMs > 0)
        client.FetchTimeout = how.fetchTimeoutMs;
}

std::string fetchQueryPage(net::THttpClient& client, const std::string& url, PageForm form)
{
    PacedRequest paced(url);
    try {
        if (form == PageForm::String)
            return client.FetchPage(url);
        std::string buffer;
        client.FetchPage(url, buffer);
        return net::readAnsi(buffer);
    } catch (const net::HttpStatusError& e) {
        paced.answered(e.code());
        throw;
    }
}

std::string fetchQueryPage(const std::string& url, const QueryFetch& how)
{
    net::THttpClient client;
    setUpClient(client, how);
    return fetchQueryPage(client, url, how.form);
}

} // namespace kaldrani::fetch
