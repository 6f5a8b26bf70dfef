#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kaldrani::net {

// The bounds of one port-43 exchange.
struct WhoisLimits {
    int connectTimeoutMs = 10000;
    // Each wait for data.
    int readTimeoutMs = 10000;
    // The whole exchange, connect included.
    int deadlineMs = 30000;
    std::size_t maxBytes = 1u << 20;
};

inline constexpr int kWhoisPort = 43;
inline constexpr const char* kWhoisTooLarge = "Whois answer too large.";

// Asks a whois server ([rfc3912]): connects to host:port where the connect-to rules send
// it, sends query and CR LF, and returns every byte until the server closes, undecoded.
// Raises NetError: a query holding CR, LF or NUL (kind Protocol, nothing sent), a failed
// connect, a wait or the deadline run out, or more than maxBytes (kind TooLarge).
std::string askWhoisServer(const std::string& host, int port, std::string_view query, const WhoisLimits& limits);

} // namespace kaldrani::net
