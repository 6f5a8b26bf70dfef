// The IP service's pages: the own address, a lookup's answer, and the lookup address.
#include "FuzzSupport.h"

#include <algorithm>

#include "core/lookups/IpQuery.h"
#include "core/profiles/ActiveProfile.h"
#include "core/profiles/ServiceNames.h"

using namespace kaldrani;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string page(fuzz::asText(data, size));
    const bool utf8 = text::isValidUtf8(page);

    const std::string own = lookups::ownAddressText(page);
    FUZZ_CHECK(own.size() <= size);
    FUZZ_CHECK(!utf8 || text::isValidUtf8(own));

    const std::string answer = lookups::ipLookupText(page);
    // ":" grows to three bytes; everything else shrinks or stays.
    FUZZ_CHECK(answer.size() <= std::max(3 * size, lookups::kIpNotFound.size()));
    FUZZ_CHECK(!utf8 || text::isValidUtf8(answer));
    FUZZ_CHECK(answer.find(':') == std::string::npos);

    const std::string url = lookups::ipLookupUrl(page);
    // The lookup's address up to where the typed text goes, whichever base is in use.
    const std::string address = profiles::activeService(profiles::kIpLookup)->url({});
    const std::string head = address.substr(0, address.find("{address}"));
    // Each byte a request target may not hold is sent as three.
    FUZZ_CHECK(url.starts_with(head) && url.size() <= head.size() + 3 * size);
    // No byte that could end or split the request line reaches it.
    for (const char c : std::string(url))
        FUZZ_CHECK(static_cast<unsigned char>(c) > 0x20 && c != 0x7F && c != '#');
    return 0;
}
