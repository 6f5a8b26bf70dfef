#pragma once

#include <string>
#include <vector>

namespace kaldrani::net {

// The IPv4 and IPv6 addresses host resolves to (A and AAAA), as text, IPv4 first, each
// once. Waits at most timeoutMs: a resolver that takes longer is left to finish on its
// own. Raises NetError "Socket Error # CODE\r\nHost not found." (kind Socket) when the
// name does not resolve, kind TimedOut ("Host lookup timed out.") when the wait ran out.
std::vector<std::string> resolveAddresses(const std::string& host, int timeoutMs);

} // namespace kaldrani::net
