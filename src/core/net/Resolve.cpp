#include "core/net/Resolve.h"

#include "core/net/NetError.h"
#include "core/net/TcpConnection.h"
#include "core/sys/AddrInfo.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

namespace kaldrani::net {

namespace {

struct Answer {
    int rc = 0;
    std::vector<std::string> addresses;
};

Answer lookUp(const std::string& host)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* raw = nullptr;
    Answer answer;
    answer.rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &raw);
    const sys::AddrInfoList list(raw);
    if (answer.rc != 0)
        return answer;
    std::vector<std::string> v4, v6;
    for (const addrinfo* a = list.get(); a != nullptr; a = a->ai_next) {
        char text[INET6_ADDRSTRLEN] = {};
        if (a->ai_family == AF_INET)
            ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr, text, sizeof text);
        else if (a->ai_family == AF_INET6)
            ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(a->ai_addr)->sin6_addr, text, sizeof text);
        else
            continue;
        auto& into = a->ai_family == AF_INET ? v4 : v6;
        if (std::find(into.begin(), into.end(), text) == into.end())
            into.emplace_back(text);
    }
    answer.addresses = std::move(v4);
    answer.addresses.insert(answer.addresses.end(), v6.begin(), v6.end());
    return answer;
}

} // namespace

std::vector<std::string> resolveAddresses(const std::string& host, int timeoutMs)
{
    // getaddrinfo cannot be stopped; its thread owns what it needs, so a late answer
    // lands in a promise nobody waits for any more.
    auto promise = std::make_shared<std::promise<Answer>>();
    std::future<Answer> future = promise->get_future();
    std::thread([promise, host] { promise->set_value(lookUp(host)); }).detach();
    if (future.wait_for(std::chrono::milliseconds(timeoutMs)) != std::future_status::ready)
        throw NetError(NetError::Kind::TimedOut, "Host lookup timed out.");
    const Answer answer = future.get();
    if (answer.rc != 0 || answer.addresses.empty())
        throw NetError(NetError::Kind::Socket, socketErrorMessage(answer.rc != 0 ? answer.rc : EAI_NONAME, "Host not found."));
    return answer.addresses;
}

} // namespace kaldrani::net
