#pragma once

#include <string>
#include <vector>

// Where connections really go. Entries "HOST1:PORT1:HOST2:PORT2", as curl's --connect-to,
// send a connection meant for HOST1:PORT1 to HOST2:PORT2; an empty HOST1 or PORT1 matches
// any host or port. The request bytes (target, Host header) never change, so tests and
// the stand-in services can take the real hosts' place.
namespace kaldrani::net {

struct ConnectToRule {
    std::string fromHost; // empty: any host
    std::string fromPort; // empty: any port
    std::string toHost;   // empty: keep the host
    std::string toPort;   // empty: keep the port
};

// Parses one entry. Raises std::invalid_argument with a message when it is not of the
// form HOST1:PORT1:HOST2:PORT2 (an IPv6 literal in brackets is allowed for a host).
ConnectToRule parseConnectTo(const std::string& entry);

// Adds rules for the whole process; the first matching rule wins, in the order added.
void addConnectToRules(const std::vector<ConnectToRule>& rules);
void clearConnectToRules();

// Adds the entries of KALDRANI_CONNECT_TO (comma-separated). Raises
// std::invalid_argument for a malformed entry.
void loadConnectToFromEnvironment();

// The host and port a connection for host:port is opened to.
struct ConnectTarget {
    std::string host;
    int port;
};
ConnectTarget resolveConnectTarget(const std::string& host, int port);

} // namespace kaldrani::net
