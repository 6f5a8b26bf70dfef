#include "core/fetch/QueryFetch.h"

#include "core/fetch/RequestPacing.h"
#include "core/fetch/SafetyTimeout.h"
#include "core/net/HttpClient.h"
#include "core/profiles/ActiveProfile.h"
#include "core/net/TRegExp.h"
#include "core/text/Ascii.h"
#include "core/text/Encoding.h"

#include <cctype>

#include <mutex>

namespace kaldrani::fetch {

namespace {

std::mutex g_keeperMutex;
std::function<void(const KeptPage&)> g_keeper;

void keep(const std::string& service, const std::string& url, const std::string& statusLine, const std::string& body)
{
    const std::lock_guard lock(g_keeperMutex);
    if (g_keeper)
        g_keeper({service, url, statusLine, body});
}

bool keeping()
{
    const std::lock_guard lock(g_keeperMutex);
    return static_cast<bool>(g_keeper);
}

} // namespace

void setPageKeeper(std::function<void(const KeptPage&)> keeper)
{
    const std::lock_guard lock(g_keeperMutex);
    g_keeper = std::move(keeper);
}

QueryFetch fetchSettings(const profiles::Service& service)
{
    return {.form = service.form,
            .userAgent = service.userAgent,
            .followRedirects = service.followRedirects,
            .readTimeoutMs = service.readTimeoutMs,
            .connectTimeoutMs = service.connectTimeoutMs,
            .fetchTimeoutMs = service.deadlineMs,
            .service = service.name,
            .proxy = service.proxy,
            .headers = service.headers,
            .blocked = service.blocked,
            .minIntervalMs = service.minIntervalMs};
}

int readTimeoutOf(const profiles::Service& service)
{
    return service.readTimeoutMs > 0 ? service.readTimeoutMs : safetyReadTimeoutMs();
}

void setUpClient(net::THttpClient& client, const QueryFetch& how)
{
    client.UserAgent = how.userAgent;
    client.HandleRedirects = how.followRedirects;
    client.ReadTimeout = how.readTimeoutMs > 0 ? how.readTimeoutMs : safetyReadTimeoutMs();
    client.ConnectTimeout = how.connectTimeoutMs > 0 ? how.connectTimeoutMs : safetyReadTimeoutMs();
    if (how.fetchTimeoutMs > 0)
        client.FetchTimeout = how.fetchTimeoutMs;
    client.ExtraHeaders = how.headers;
    client.Proxy.service = how.proxy;
}

void useProxySettings(const std::optional<std::string>& commandLine)
{
    net::ProxyRules rules = net::ProxyRules::fromEnvironment();
    if (const auto& fromFile = profiles::activeProfile()->proxy)
        rules.everything = *fromFile;
    if (commandLine)
        rules.everything = *commandLine;
    if (rules.everything && !rules.everything->empty())
        net::parseProxyUrl(*rules.everything);
    net::setDefaultProxyRules(std::move(rules));
}

std::string fetchQueryPage(net::THttpClient& client, const std::string& url, PageForm form, const std::string& service)
{
    PacedRequest paced(url);
    std::string buffer;
    try {
        if (form == PageForm::Auto) {
            client.FetchPage(url, buffer);
            if (keeping())
                keep(service, url, client.lastStatusLine(), buffer);
            return decodeDeclared(buffer, client.lastContentType());
        }
        if (form == PageForm::String) {
            std::string page = client.FetchPage(url);
            if (keeping())
                keep(service, url, client.lastStatusLine(), page);
            return page;
        }
        client.FetchPage(url, buffer);
    } catch (const net::HttpStatusError& e) {
        paced.answered(e.code());
        if (keeping())
            keep(service, url, e.statusLine(), e.body());
        throw;
    } catch (...) {
        if (keeping())
            keep(service, url, client.lastStatusLine(), {});
        throw;
    }
    if (keeping())
        keep(service, url, client.lastStatusLine(), buffer);
    return net::readAnsi(buffer);
}

namespace {

void checkLocations(const net::THttpClient& client, const std::vector<std::string>& markers)
{
    for (const std::string& location : client.lastLocations())
        for (const std::string& marker : markers) {
            net::TRegExp re;
            re.setPattern(marker);
            if (re.Execute(location).Count() > 0)
                throw BlockedPage("blocked: verification page");
        }
}

// The charset named after "charset=" in text (any case), lower case; empty when none.
std::string charsetIn(std::string_view text)
{
    const std::string lower = text::asciiLower(text);
    const std::size_t at = lower.find("charset=");
    if (at == std::string::npos)
        return {};
    std::size_t begin = at + 8;
    while (begin < lower.size() && (lower[begin] == '"' || lower[begin] == '\'' || lower[begin] == ' '))
        ++begin;
    std::size_t end = begin;
    while (end < lower.size() && (std::isalnum(static_cast<unsigned char>(lower[end])) || lower[end] == '-' || lower[end] == '_'))
        ++end;
    return lower.substr(begin, end - begin);
}

} // namespace

std::string decodeDeclared(const std::string& bytes, const std::string& contentType)
{
    std::string charset = charsetIn(contentType);
    // A <meta> charset stands in the head, near the start.
    if (charset.empty())
        charset = charsetIn(std::string_view(bytes).substr(0, 4096));
    if (charset == "gbk" || charset == "gb2312" || charset == "gb18030" || charset == "x-gbk")
        return text::gbkToUtf8(bytes);
    if (charset == "iso-8859-1" || charset == "latin1" || charset == "us-ascii")
        return text::latin1ToUtf8(bytes);
    return text::sanitizeUtf8(bytes);
}

std::string fetchQueryPage(net::THttpClient& client, const std::string& url, const QueryFetch& how)
{
    keepHostInterval(url, how.minIntervalMs);
    try {
        std::string page = fetchQueryPage(client, url, how.form, how.service);
        checkLocations(client, how.blocked);
        return page;
    } catch (const net::HttpStatusError&) {
        // A refusal sent as a redirect not followed says more than its status line.
        checkLocations(client, how.blocked);
        throw;
    }
}

std::string fetchQueryPage(const std::string& url, const QueryFetch& how)
{
    net::THttpClient client;
    setUpClient(client, how);
    return fetchQueryPage(client, url, how);
}

void checkNotBlocked(const profiles::Service& service, const std::string& page)
{
    for (const std::string& marker : service.blocked) {
        net::TRegExp re;
        re.setPattern(marker);
        if (re.Execute(page).Count() > 0)
            throw BlockedPage("blocked: verification page");
    }
}

} // namespace kaldrani::fetch
