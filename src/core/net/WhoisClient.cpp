#include "core/net/WhoisClient.h"

#include "core/net/NetError.h"
#include "core/net/TcpConnection.h"

#include <chrono>

namespace kaldrani::net {

std::string askWhoisServer(const std::string& host, int port, std::string_view query, const WhoisLimits& limits)
{
    if (query.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
        throw NetError(NetError::Kind::Protocol, "Whois query holds a line break.");
    TcpConnection connection;
    connection.setDeadline(std::chrono::steady_clock::now() + std::chrono::milliseconds(limits.deadlineMs));
    connection.open(host, port, limits.connectTimeoutMs);
    std::string line(query);
    line += "\r\n";
    connection.sendAll(line, limits.readTimeoutMs);
    std::string answer;
    connection.readToEnd(&answer, limits.maxBytes, limits.readTimeoutMs, kWhoisTooLarge);
    return answer;
}

} // namespace kaldrani::net
