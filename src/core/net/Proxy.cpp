#include "core/net/Proxy.h"

#include "core/net/NetError.h"
#include "core/text/Ascii.h"
#include "core/text/Numbers.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <netinet/in.h>
#include <stdexcept>
#include <vector>

namespace kaldrani::net {

namespace {

std::mutex g_mutex;
ProxyRules g_rules;

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string percentDecoded(std::string_view text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// An IP literal's bytes (4 or 16), or nothing.
std::optional<std::vector<unsigned char>> ipBytes(const std::string& text)
{
    unsigned char b[16];
    if (::inet_pton(AF_INET, text.c_str(), b) == 1)
        return std::vector<unsigned char>(b, b + 4);
    if (::inet_pton(AF_INET6, text.c_str(), b) == 1)
        return std::vector<unsigned char>(b, b + 16);
    return std::nullopt;
}

bool sameNetwork(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b, size_t bits)
{
    if (a.size() != b.size() || bits > a.size() * 8)
        return false;
    for (size_t i = 0; i < bits; ++i) {
        const int mask = 0x80 >> (i % 8);
        if ((a[i / 8] & mask) != (b[i / 8] & mask))
            return false;
    }
    return true;
}

bool entryMatches(std::string entry, const std::string& host, const std::optional<std::vector<unsigned char>>& hostIp, int port)
{
    // ":PORT" at the end, after a bracketed or plain host; a bare IPv6 address has colons of its own.
    std::optional<int> entryPort;
    if (!entry.empty() && entry[0] == '[') {
        const size_t close = entry.find(']');
        if (close == std::string::npos)
            return false;
        const std::string rest = entry.substr(close + 1);
        if (rest.size() > 1 && rest[0] == ':')
            entryPort = text::parsePort(rest.substr(1));
        else if (!rest.empty())
            return false;
        entry = entry.substr(1, close - 1);
    } else if (const size_t colon = entry.rfind(':'); colon != std::string::npos && entry.find(':') == colon) {
        entryPort = text::parsePort(entry.substr(colon + 1));
        if (!entryPort)
            return false;
        entry.resize(colon);
    }
    if (entryPort && *entryPort != port)
        return false;

    std::string network = entry;
    std::optional<size_t> bits;
    if (const size_t slash = entry.find('/'); slash != std::string::npos) {
        const auto n = text::parsePort(entry.substr(slash + 1));
        if (!n)
            return false;
        bits = static_cast<size_t>(*n);
        network = entry.substr(0, slash);
    }
    if (const auto entryIp = ipBytes(network)) {
        if (!hostIp)
            return false;
        return sameNetwork(*entryIp, *hostIp, bits.value_or(entryIp->size() * 8));
    }
    if (bits || hostIp)
        return false;
    while (!entry.empty() && entry.front() == '.')
        entry.erase(0, 1);
    if (!entry.empty() && entry.back() == '.')
        entry.pop_back();
    if (entry.empty())
        return false;
    if (text::equalsIgnoreAsciiCase(entry, host))
        return true;
    return host.size() > entry.size() && host[host.size() - entry.size() - 1] == '.'
           && text::equalsIgnoreAsciiCase(std::string_view(host).substr(host.size() - entry.size()), entry);
}

} // namespace

std::string ProxyAddress::hostPort() const
{
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::string ProxyAddress::display() const
{
    const char* name = scheme == Scheme::Http ? "http" : scheme == Scheme::Socks5 ? "socks5" : "socks5h";
    return std::string(name) + "://" + hostPort();
}

ProxyAddress parseProxyUrl(const std::string& url)
{
    ProxyAddress proxy;
    std::string_view rest = text::trimView(url);
    const size_t sep = rest.find("://");
    std::string scheme = "http";
    if (sep != std::string_view::npos) {
        scheme = text::asciiLower(rest.substr(0, sep));
        rest.remove_prefix(sep + 3);
    }
    if (scheme == "http")
        proxy.scheme = ProxyAddress::Scheme::Http;
    else if (scheme == "socks5")
        proxy.scheme = ProxyAddress::Scheme::Socks5;
    else if (scheme == "socks5h")
        proxy.scheme = ProxyAddress::Scheme::Socks5h;
    else
        throw std::invalid_argument("proxy scheme \"" + scheme + "\" is not http, socks5 or socks5h");
    if (const size_t slash = rest.find('/'); slash != std::string_view::npos) {
        if (rest.substr(slash) != "/")
            throw std::invalid_argument("a proxy address has no path");
        rest = rest.substr(0, slash);
    }
    if (const size_t at = rest.rfind('@'); at != std::string_view::npos) {
        const std::string_view credentials = rest.substr(0, at);
        const size_t colon = credentials.find(':');
        proxy.user = percentDecoded(credentials.substr(0, colon));
        if (colon != std::string_view::npos)
            proxy.password = percentDecoded(credentials.substr(colon + 1));
        rest.remove_prefix(at + 1);
    }
    std::string_view portText;
    if (!rest.empty() && rest[0] == '[') {
        const size_t close = rest.find(']');
        if (close == std::string_view::npos)
            throw std::invalid_argument("proxy address: unclosed \"[\"");
        proxy.host = std::string(rest.substr(1, close - 1));
        rest.remove_prefix(close + 1);
        if (!rest.empty() && rest[0] != ':')
            throw std::invalid_argument("proxy address: text after \"]\"");
        if (!rest.empty())
            portText = rest.substr(1);
    } else {
        const size_t colon = rest.find(':');
        proxy.host = std::string(rest.substr(0, colon));
        if (colon != std::string_view::npos)
            portText = rest.substr(colon + 1);
    }
    if (proxy.host.empty() || proxy.host.find_first_of(" \t\r\n\0", 0, 5) != std::string::npos)
        throw std::invalid_argument("proxy address names no host");
    if (!portText.empty() || (rest.size() == 1 && rest[0] == ':')) {
        const auto port = text::parsePort(std::string(portText));
        if (!port || *port == 0)
            throw std::invalid_argument("proxy port \"" + std::string(portText) + "\" is not 1 to 65535");
        proxy.port = *port;
    }
    return proxy;
}

bool noProxyMatches(const std::string& noProxy, const std::string& host, int port)
{
    const std::string_view all = text::trimView(noProxy);
    if (all == "*")
        return true;
    std::string name = host;
    if (!name.empty() && name.back() == '.')
        name.pop_back();
    const auto hostIp = ipBytes(name);
    size_t start = 0;
    while (start < noProxy.size()) {
        const size_t end = noProxy.find_first_of(", \t", start);
        const std::string entry = noProxy.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!entry.empty() && entryMatches(entry, name, hostIp, port))
            return true;
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return false;
}

std::optional<ProxyAddress> ProxyRules::proxyFor(const std::string& scheme, const std::string& host, int port) const
{
    if (service)
        return service->empty() ? std::nullopt : std::optional(parseProxyUrl(*service));
    if (!noProxy.empty() && noProxyMatches(noProxy, host, port))
        return std::nullopt;
    if (rotation) {
        if (auto p = rotation->forHost(text::asciiLower(host)))
            return p;
        throw NetError(NetError::Kind::Proxy, "proxy: every proxy of the list was set aside");
    }
    if (everything)
        return everything->empty() ? std::nullopt : std::optional(parseProxyUrl(*everything));
    const bool tls = text::equalsIgnoreAsciiCase(scheme, "https");
    const std::string& chosen = tls ? (httpsProxy.empty() ? allProxy : httpsProxy) : (httpProxy.empty() ? allProxy : httpProxy);
    if (chosen.empty())
        return std::nullopt;
    return parseProxyUrl(chosen);
}

ProxyRules ProxyRules::fromEnvironment(const std::function<const char*(const char*)>& getenv)
{
    const auto get = [&getenv](std::initializer_list<const char*> names) {
        for (const char* name : names) {
            const char* value = getenv ? getenv(name) : std::getenv(name);
            if (value != nullptr && *value != '\0')
                return std::string(value);
        }
        return std::string();
    };
    ProxyRules rules;
    // Upper-case HTTP_PROXY is never read: a CGI program's request can set it (httpoxy).
    rules.httpProxy = get({"http_proxy"});
    rules.httpsProxy = get({"https_proxy", "HTTPS_PROXY"});
    rules.allProxy = get({"all_proxy", "ALL_PROXY"});
    rules.noProxy = get({"no_proxy", "NO_PROXY"});
    return rules;
}

ProxyRotation::ProxyRotation(std::vector<ProxyAddress> proxies,
                             std::function<void(const ProxyAddress&, const std::string&)> setAside)
    : m_proxies(std::move(proxies)), m_aside(m_proxies.size(), false), m_setAside(std::move(setAside))
{
}

std::optional<ProxyAddress> ProxyRotation::forHost(const std::string& host)
{
    const std::lock_guard lock(m_mutex);
    if (const auto kept = m_hosts.find(host); kept != m_hosts.end() && !m_aside[kept->second])
        return m_proxies[kept->second];
    for (size_t tried = 0; tried < m_proxies.size(); ++tried) {
        const size_t i = m_next++ % m_proxies.size();
        if (!m_aside[i]) {
            m_hosts[host] = i;
            return m_proxies[i];
        }
    }
    return std::nullopt;
}

void ProxyRotation::setAside(const ProxyAddress& proxy, const std::string& why)
{
    std::function<void(const ProxyAddress&, const std::string&)> tell;
    {
        const std::lock_guard lock(m_mutex);
        for (size_t i = 0; i < m_proxies.size(); ++i) {
            const ProxyAddress& p = m_proxies[i];
            if (m_aside[i] || p.display() != proxy.display() || p.user != proxy.user || p.password != proxy.password)
                continue;
            m_aside[i] = true;
            tell = m_setAside;
            break;
        }
    }
    if (tell)
        tell(proxy, why);
}

void setDefaultProxyRules(ProxyRules rules)
{
    const std::lock_guard lock(g_mutex);
    g_rules = std::move(rules);
}

ProxyRules defaultProxyRules()
{
    const std::lock_guard lock(g_mutex);
    return g_rules;
}

} // namespace kaldrani::net
