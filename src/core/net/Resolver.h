#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include <sys/socket.h>

namespace kaldrani::net {

// One address a name gave, with the port filled in.
struct SocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;
    int family() const { return storage.ss_family; }
    // "127.0.0.1:80", "[::1]:443".
    std::string text() const;
};

// The address of an IPv4 or IPv6 literal (no brackets), or nothing when host is a name.
std::optional<SocketAddress> literalAddress(const std::string& host, int port);

// Every address of host, in the order the resolver gives them, both families. Runs on the
// calling thread with c-ares: the wait watches the thread's stop signal (NetError kind
// Stopped) and ends at deadline (kind Deadline). A literal is its own answer; a name under
// "invalid." is never asked for. Raises NetError of kind Socket "Socket Error # -2\r\nHost
// not found." when there is no address.
std::vector<SocketAddress> lookUpHost(const std::string& host, int port,
                                      std::optional<std::chrono::steady_clock::time_point> deadline);

// The order connections are tried in (RFC 8305 4): IPv6 first when there is one, then the
// families alternate; within a family the resolver's order stays.
std::vector<SocketAddress> happyEyeballsOrder(std::vector<SocketAddress> addresses);

// For tests: the name servers every later lookup asks ("127.0.0.1:5353,..."), instead of
// the system's; empty restores the system's.
void setNameServers(const std::string& servers);

} // namespace kaldrani::net
