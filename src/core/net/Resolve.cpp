#include "core/net/Resolve.h"

#include "core/net/NetError.h"
#include "core/net/Resolver.h"
#include "core/net/TcpConnection.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <algorithm>
#include <chrono>

namespace kaldrani::net {

std::vector<std::string> resolveAddresses(const std::string& host, int timeoutMs)
{
    // The fetch's own lookup: stoppable, bounded, and asking what the fetches ask.
    std::vector<SocketAddress> found;
    try {
        // Any port will do: only the addresses are kept, and the resolver gives none for port 0.
        found = lookUpHost(host, 80, std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs));
    } catch (const NetError& e) {
        if (e.kind() == NetError::Kind::Deadline)
            throw NetError(NetError::Kind::TimedOut, "Host lookup timed out.");
        throw;
    }
    std::vector<std::string> v4, v6;
    for (const SocketAddress& a : found) {
        char text[INET6_ADDRSTRLEN] = {};
        if (a.family() == AF_INET)
            ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&a.storage)->sin_addr, text, sizeof text);
        else if (a.family() == AF_INET6)
            ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&a.storage)->sin6_addr, text, sizeof text);
        else
            continue;
        auto& into = a.family() == AF_INET ? v4 : v6;
        if (std::find(into.begin(), into.end(), text) == into.end())
            into.emplace_back(text);
    }
    v4.insert(v4.end(), v6.begin(), v6.end());
    if (v4.empty())
        throw NetError(NetError::Kind::Socket, socketErrorMessage(EAI_NONAME, "Host not found."));
    return v4;
}

} // namespace kaldrani::net
