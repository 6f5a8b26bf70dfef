#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// Which proxy a fetch goes through, and how its address reads. Mail never takes one.
namespace kaldrani::net {

struct ProxyAddress {
    enum class Scheme {
        Http,    // CONNECT for https, absolute-form requests for http
        Socks5,  // the program looks the name up, the proxy gets the address
        Socks5h, // the proxy looks the name up
    };
    Scheme scheme = Scheme::Http;
    std::string host; // without the brackets of an IPv6 literal
    int port = 1080;
    std::string user;     // percent-decoded; empty: no credentials
    std::string password; // percent-decoded

    // "http://127.0.0.1:3128": what a person is shown, never the credentials.
    std::string display() const;
    // "127.0.0.1:3128", "[::1]:1080".
    std::string hostPort() const;
};

// Reads a proxy address as curl does: "SCHEME://[USER[:PASSWORD]@]HOST[:PORT][/]", the
// scheme http (also when none is given), socks5 or socks5h, the port 1080 when none is
// given. Raises std::invalid_argument with a message that never holds the credentials.
ProxyAddress parseProxyUrl(const std::string& url);

// Whether host (no brackets), reached on port, is exempt by a no_proxy value, by curl's
// rules: "*" exempts every host; otherwise a list separated by commas or blanks whose
// entries match a host name and every name under it (a leading "." changes nothing),
// ignoring ASCII case and a final "."; an IP address or a network ("10.0.0.0/8",
// "::1", "[::1]") matches IP literals; an entry with ":PORT" matches on that port only.
bool noProxyMatches(const std::string& noProxy, const std::string& host, int port);

// A list of proxies spread over the hosts a run asks (track --proxies): each host, when
// first seen, takes the next proxy in turn and keeps it. A proxy that cannot be connected
// to is set aside for the rest of the run; its hosts move on to the next. Shared by the
// fetches of every thread.
class ProxyRotation {
public:
    // setAside is told each proxy set aside, once, with why (never with its credentials).
    ProxyRotation(std::vector<ProxyAddress> proxies, std::function<void(const ProxyAddress&, const std::string&)> setAside);

    // The proxy host goes through; nothing when every proxy was set aside.
    std::optional<ProxyAddress> forHost(const std::string& host);
    // Sets proxy aside (a second call for it does nothing).
    void setAside(const ProxyAddress& proxy, const std::string& why);

private:
    std::mutex m_mutex;
    std::vector<ProxyAddress> m_proxies;
    std::vector<bool> m_aside;
    std::map<std::string, size_t> m_hosts;
    size_t m_next = 0;
    std::function<void(const ProxyAddress&, const std::string&)> m_setAside;
};

// Where the fetches take their proxy from.
struct ProxyRules {
    // The environment's variables, read once: http_proxy (lower case only, as curl),
    // https_proxy/HTTPS_PROXY, all_proxy/ALL_PROXY, no_proxy/NO_PROXY; an empty value is
    // none.
    std::string httpProxy;
    std::string httpsProxy;
    std::string allProxy;
    std::string noProxy;
    // A proxy for every fetch, above the environment's ("--proxy", the user file's); its
    // value "" sends fetches direct. no_proxy still applies to it.
    std::optional<std::string> everything;
    // The service's own proxy (its profile's), above everything and no_proxy; "" sends
    // its fetches direct.
    std::optional<std::string> service;
    // Proxies spread over hosts, above everything (no_proxy still applies).
    std::shared_ptr<ProxyRotation> rotation;

    // The proxy a fetch of scheme://host:port goes through, or nothing for a direct one.
    // Raises std::invalid_argument when the address that applies does not read, NetError
    // of kind Proxy when every proxy of the rotation was set aside.
    std::optional<ProxyAddress> proxyFor(const std::string& scheme, const std::string& host, int port) const;

    // The rules of the environment getenv gives (the process's own when null).
    static ProxyRules fromEnvironment(const std::function<const char*(const char*)>& getenv = nullptr);
};

// The rules every new THttpClient starts from: set once at start (the environment, then
// --proxy or the user file's top-level proxy), read on any thread.
void setDefaultProxyRules(ProxyRules rules);
ProxyRules defaultProxyRules();

} // namespace kaldrani::net
