// A redirect's Location resolved against the current address, and the request it makes.
#include "FuzzSupport.h"

#include "core/net/HttpAddress.h"

#include <algorithm>

using namespace kaldrani;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // current address \n Location value
    const auto parts = fuzz::splitInput(fuzz::asText(data, size), "\n");
    const net::HttpAddress current = net::splitAddress(parts[0]);
    const std::string_view location = parts.size() > 1 ? parts[1] : std::string_view();
    const std::string next = net::resolveLocation(current, location);
    const net::HttpAddress resolved = net::splitAddress(next);
    std::string slashed(location);
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    if (next.find("://") != std::string::npos && slashed.find("://") == std::string::npos
        && next.find('\\') == std::string::npos) {
        // A relative Location keeps the server it came from.
        FUZZ_CHECK(resolved.host == current.host || current.host.find_first_of("/?#@[]") != std::string::npos);
    }
    FUZZ_CHECK(resolved.path.empty() || resolved.path.front() == '/');
    (void)net::requestTarget(resolved);
    (void)net::hostHeaderValue(resolved);
    (void)net::joinAddress(resolved);

    const std::string path = net::removeDotSegments(location);
    if (location.starts_with('/'))
        FUZZ_CHECK(path.starts_with('/'));
    FUZZ_CHECK(path.find("/../") == std::string::npos && path.find("/./") == std::string::npos);
    return 0;
}
