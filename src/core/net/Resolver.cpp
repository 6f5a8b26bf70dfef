#include "core/net/Resolver.h"

#include "core/net/NetError.h"
#include "core/net/StopSignal.h"
#include "core/text/Ascii.h"

#include <ares.h>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>

namespace kaldrani::net {

namespace {

std::mutex g_serversMutex;
std::string g_servers;

std::string nameServers()
{
    std::lock_guard lock(g_serversMutex);
    return g_servers;
}

[[noreturn]] void notFound()
{
    throw NetError(NetError::Kind::Socket, "Socket Error # " + std::to_string(EAI_NONAME) + "\r\nHost not found.", EAI_NONAME);
}

struct Lookup {
    bool done = false;
    int status = ARES_SUCCESS;
    ares_addrinfo* result = nullptr;
};

void lookupDone(void* arg, int status, int /*timeouts*/, ares_addrinfo* result)
{
    auto* lookup = static_cast<Lookup*>(arg);
    lookup->done = true;
    lookup->status = status;
    lookup->result = result;
}

// Destroying the channel ends a lookup still under way (its callback runs once more).
struct Channel {
    ares_channel channel = nullptr;
    ~Channel()
    {
        if (channel)
            ares_destroy(channel);
    }
};

struct ResultFree {
    void operator()(ares_addrinfo* list) const { ares_freeaddrinfo(list); }
};

} // namespace

std::string SocketAddress::text() const
{
    char buffer[INET6_ADDRSTRLEN] = {};
    if (family() == AF_INET6) {
        const auto* a = reinterpret_cast<const sockaddr_in6*>(&storage);
        ::inet_ntop(AF_INET6, &a->sin6_addr, buffer, sizeof buffer);
        // Appended piece by piece: a literal joined to a temporary trips GCC 12's -Wrestrict.
        std::string out = "[";
        out.append(buffer).append("]:").append(std::to_string(ntohs(a->sin6_port)));
        return out;
    }
    const auto* a = reinterpret_cast<const sockaddr_in*>(&storage);
    ::inet_ntop(AF_INET, &a->sin_addr, buffer, sizeof buffer);
    std::string out = buffer;
    out.append(":").append(std::to_string(ntohs(a->sin_port)));
    return out;
}

std::optional<SocketAddress> literalAddress(const std::string& host, int port)
{
    SocketAddress address;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address.storage);
    if (::inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<uint16_t>(port));
        address.length = sizeof(sockaddr_in);
        return address;
    }
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address.storage);
    if (::inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<uint16_t>(port));
        address.length = sizeof(sockaddr_in6);
        return address;
    }
    return std::nullopt;
}

std::vector<SocketAddress> lookUpHost(const std::string& host, int port,
                                      std::optional<std::chrono::steady_clock::time_point> deadline)
{
    // A NUL would cut the name short and ask for some other host.
    if (host.empty() || host.find('\0') != std::string::npos)
        notFound();
    if (auto literal = literalAddress(host, port))
        return {*literal};
    // RFC 6761 6.4: such names never resolve, so nobody is asked.
    std::string lower = text::asciiLower(host);
    if (!lower.empty() && lower.back() == '.')
        lower.pop_back();
    if (lower == "invalid" || lower.ends_with(".invalid"))
        notFound();

    static std::once_flag initialised;
    std::call_once(initialised, [] { ares_library_init(ARES_LIB_INIT_ALL); });

    // A channel per lookup: it reads the system's resolver settings as they are now, and
    // ending it ends everything it started.
    Lookup lookup;
    Channel channel;
    if (ares_init(&channel.channel) != ARES_SUCCESS)
        throw NetError(NetError::Kind::Socket, "Socket Error # " + std::to_string(EAI_SYSTEM) + "\r\nCannot start the name lookup.");
    if (const std::string servers = nameServers(); !servers.empty())
        ares_set_servers_ports_csv(channel.channel, servers.c_str());
    ares_addrinfo_hints hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = ARES_AI_NUMERICSERV;
    const std::string service = std::to_string(port);
    ares_getaddrinfo(channel.channel, host.c_str(), service.c_str(), &hints, lookupDone, &lookup);

    using Clock = std::chrono::steady_clock;
    while (!lookup.done) {
        ares_socket_t sockets[ARES_GETSOCK_MAXNUM];
        const int bits = ares_getsock(channel.channel, sockets, ARES_GETSOCK_MAXNUM);
        pollfd waits[ARES_GETSOCK_MAXNUM + 1];
        nfds_t count = 0;
        for (int i = 0; i < ARES_GETSOCK_MAXNUM; ++i) {
            short events = 0;
            if (ARES_GETSOCK_READABLE(bits, i))
                events |= POLLIN;
            if (ARES_GETSOCK_WRITABLE(bits, i))
                events |= POLLOUT;
            if (events != 0)
                waits[count++] = {sockets[i], events, 0};
        }
        const nfds_t stopIndex = count;
        if (currentStopFd() >= 0)
            waits[count++] = {currentStopFd(), POLLIN, 0};

        timeval limit{};
        const timeval* next = ares_timeout(channel.channel, nullptr, &limit);
        long long waitMs = next ? next->tv_sec * 1000LL + (next->tv_usec + 999) / 1000 : 1000;
        if (deadline) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count();
            if (left <= 0)
                throw NetError(NetError::Kind::Deadline, "Fetch deadline exceeded.");
            waitMs = std::min<long long>(waitMs, left);
        }
        const int r = ::poll(waits, count, static_cast<int>(std::min<long long>(waitMs, 1 << 30)));
        if (r < 0 && errno != EINTR)
            throw NetError(NetError::Kind::Socket, "Socket Error # " + std::to_string(errno) + "\r\n" + std::strerror(errno) + ".");
        if (stopIndex < count && waits[stopIndex].revents != 0)
            throw NetError(NetError::Kind::Stopped, "Run stopped.");
        bool any = false;
        for (nfds_t i = 0; i < stopIndex; ++i) {
            if (waits[i].revents == 0)
                continue;
            any = true;
            const bool readable = (waits[i].revents & (POLLIN | POLLERR | POLLHUP)) != 0;
            const bool writable = (waits[i].revents & POLLOUT) != 0;
            ares_process_fd(channel.channel, readable ? waits[i].fd : ARES_SOCKET_BAD, writable ? waits[i].fd : ARES_SOCKET_BAD);
            if (lookup.done)
                break;
        }
        // Time-outs and retries are handled on an empty call.
        if (!any && !lookup.done)
            ares_process_fd(channel.channel, ARES_SOCKET_BAD, ARES_SOCKET_BAD);
    }
    const std::unique_ptr<ares_addrinfo, ResultFree> result(lookup.result);
    std::vector<SocketAddress> found;
    if (lookup.status == ARES_SUCCESS && result) {
        for (const ares_addrinfo_node* node = result->nodes; node != nullptr; node = node->ai_next) {
            if (node->ai_family != AF_INET && node->ai_family != AF_INET6)
                continue;
            if (node->ai_addrlen <= 0 || static_cast<size_t>(node->ai_addrlen) > sizeof(sockaddr_storage))
                continue;
            SocketAddress address;
            std::memcpy(&address.storage, node->ai_addr, static_cast<size_t>(node->ai_addrlen));
            address.length = static_cast<socklen_t>(node->ai_addrlen);
            // The same address may come once per socket type asked for.
            bool seen = false;
            for (const auto& earlier : found)
                seen = seen || (earlier.length == address.length && std::memcmp(&earlier.storage, &address.storage, address.length) == 0);
            if (!seen)
                found.push_back(address);
        }
    }
    if (found.empty())
        notFound();
    return found;
}

std::vector<SocketAddress> happyEyeballsOrder(std::vector<SocketAddress> addresses)
{
    std::vector<SocketAddress> v6;
    std::vector<SocketAddress> v4;
    for (auto& a : addresses)
        (a.family() == AF_INET6 ? v6 : v4).push_back(a);
    std::vector<SocketAddress> ordered;
    ordered.reserve(addresses.size());
    for (size_t i = 0; i < std::max(v6.size(), v4.size()); ++i) {
        if (i < v6.size())
            ordered.push_back(v6[i]);
        if (i < v4.size())
            ordered.push_back(v4[i]);
    }
    return ordered;
}

void setNameServers(const std::string& servers)
{
    std::lock_guard lock(g_serversMutex);
    g_servers = servers;
}

} // namespace kaldrani::net
